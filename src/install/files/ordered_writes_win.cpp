#include "install/files/ordered_writes.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <system_error>
#include <utility>

namespace zel {
namespace {

// Creating a file costs far more than writing a typical one, and much of that
// cost is waiting: a few threads keep the system busy. The look-ahead lets the
// workers go on while the calling thread is busy elsewhere (the wizard redraws
// its log from time to time) and bounds how many files a failure leaves written
// beyond the one that failed.
constexpr std::size_t kWorkers = 3;
constexpr std::size_t kLookAhead = 256;

}  // namespace

OrderedWrites::OrderedWrites(const MappedPayload& payload, std::vector<EntryWriteJob> jobs,
                             std::function<void(const std::filesystem::path&)> prepare)
    : payload_(payload), jobs_(std::move(jobs)), prepare_(std::move(prepare)), outcomes_(jobs_.size()) {
    // Jobs whose entries share a block become one unit, ordered by where their
    // bytes lie in it; a job whose bytes overlap those before it is a unit of
    // its own, decoding the block once more.
    const std::vector<PayloadEntry>& entries = payload_.entries();
    std::map<std::uint32_t, std::vector<std::size_t>> byBlock;
    for (std::size_t i = 0; i < jobs_.size(); ++i) byBlock[entries[jobs_[i].entry].block].push_back(i);
    for (auto& [block, members] : byBlock) {
        std::stable_sort(members.begin(), members.end(), [&](std::size_t a, std::size_t b) {
            return entries[jobs_[a].entry].offset < entries[jobs_[b].entry].offset;
        });
        Unit shared;
        std::uint64_t end = 0;
        for (const std::size_t job : members) {
            const PayloadEntry& entry = entries[jobs_[job].entry];
            if (!shared.jobs.empty() && entry.offset < end) {
                units_.push_back({{job}, job});
                continue;
            }
            shared.jobs.push_back(job);
            end = entry.offset + entry.size;
        }
        shared.first = *std::min_element(shared.jobs.begin(), shared.jobs.end());
        units_.push_back(std::move(shared));
    }
    std::sort(units_.begin(), units_.end(), [](const Unit& a, const Unit& b) { return a.first < b.first; });

    const std::size_t workers = std::min(kWorkers, units_.size() > 1 ? units_.size() : std::size_t{0});
    // Reserved first, so that only starting a thread can fail once one runs.
    workers_.reserve(workers);
    try {
        for (std::size_t i = 0; i < workers; ++i) workers_.emplace_back([this] { Work(); });
    } catch (const std::system_error&) {
        // Fewer workers, or none: Next() then writes each unit itself.
    }
}

OrderedWrites::~OrderedWrites() { StopAndWait(); }

void OrderedWrites::StopAndWait() noexcept {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    handedOut_.notify_all();
    for (std::thread& worker : workers_) {
        if (worker.joinable()) worker.join();
    }
}

void OrderedWrites::HandOutUpTo(std::size_t end) {
    while (handed_ < units_.size() && units_[handed_].first < end && !prepareFailed_) {
        const Unit& unit = units_[handed_];
        try {
            if (prepare_) {
                for (const std::size_t job : unit.jobs) prepare_(jobs_[job].target);
            }
        } catch (...) {
            std::lock_guard lock(mutex_);
            outcomes_[unit.first].done = true;
            outcomes_[unit.first].error = std::current_exception();
            prepareFailed_ = true;
            prepareFailedJob_ = unit.first;
            return;
        }
        {
            std::lock_guard lock(mutex_);
            ++handed_;
        }
        handedOut_.notify_one();
    }
}

void OrderedWrites::Work() {
    for (;;) {
        std::size_t unit = 0;
        {
            std::unique_lock lock(mutex_);
            handedOut_.wait(lock, [this] { return stop_ || taken_ < handed_; });
            if (stop_) return;
            unit = taken_++;
        }
        Write(unit);
    }
}

void OrderedWrites::Finish(std::size_t job, EntryWrite result, std::exception_ptr error) {
    {
        std::lock_guard lock(mutex_);
        outcomes_[job] = {true, result, std::move(error)};
    }
    finished_.notify_all();
}

void OrderedWrites::Write(std::size_t index) noexcept {
    const Unit& unit = units_[index];
    if (unit.jobs.size() == 1) {
        const std::size_t job = unit.jobs.front();
        EntryWrite result = EntryWrite::Written;
        std::exception_ptr error;
        try {
            result = WritePayloadEntry(payload_, jobs_[job].entry, jobs_[job].target);
        } catch (...) {
            error = std::current_exception();
        }
        Finish(job, result, error);
        return;
    }
    std::vector<EntryWriteJob> ordered;
    ordered.reserve(unit.jobs.size());
    for (const std::size_t job : unit.jobs) ordered.push_back(jobs_[job]);
    WriteBlockEntries(payload_, ordered, [&](std::size_t i, EntryWrite result, std::exception_ptr error) {
        Finish(unit.jobs[i], result, std::move(error));
    });
}

EntryWrite OrderedWrites::Next() {
    const std::size_t index = next_++;
    HandOutUpTo(std::min(jobs_.size(), index + kLookAhead));
    if (workers_.empty()) {
        // Without workers the units are written here, in order, up to this job's.
        while (taken_ < handed_ && !outcomes_[index].done) Write(taken_++);
    }
    Outcome outcome;
    {
        std::unique_lock lock(mutex_);
        finished_.wait(lock, [&] { return outcomes_[index].done; });
        outcome = outcomes_[index];
    }
    if (outcome.error || outcome.result == EntryWrite::Damaged) StopAndWait();
    if (outcome.error) std::rethrow_exception(outcome.error);
    return outcome.result;
}

}  // namespace zel
