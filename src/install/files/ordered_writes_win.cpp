#include "install/files/ordered_writes.h"

#include <algorithm>
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
    const std::size_t workers = std::min(kWorkers, jobs_.size() > 1 ? jobs_.size() : std::size_t{0});
    // Reserved first, so that only starting a thread can fail once one runs.
    workers_.reserve(workers);
    try {
        for (std::size_t i = 0; i < workers; ++i) workers_.emplace_back([this] { Work(); });
    } catch (const std::system_error&) {
        // Fewer workers, or none: Next() then writes each job itself.
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
    while (handed_ < end && !prepareFailed_) {
        try {
            if (prepare_) prepare_(jobs_[handed_].target);
        } catch (...) {
            std::lock_guard lock(mutex_);
            outcomes_[handed_].done = true;
            outcomes_[handed_].error = std::current_exception();
            prepareFailed_ = true;
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
        std::size_t index = 0;
        {
            std::unique_lock lock(mutex_);
            handedOut_.wait(lock, [this] { return stop_ || taken_ < handed_; });
            if (stop_) return;
            index = taken_++;
        }
        Write(index);
    }
}

void OrderedWrites::Write(std::size_t index) noexcept {
    Outcome outcome;
    try {
        outcome.result = WritePayloadEntry(payload_, jobs_[index].entry, jobs_[index].target);
    } catch (...) {
        outcome.error = std::current_exception();
    }
    outcome.done = true;
    {
        std::lock_guard lock(mutex_);
        outcomes_[index] = std::move(outcome);
    }
    finished_.notify_all();
}

EntryWrite OrderedWrites::Next() {
    const std::size_t index = next_++;
    HandOutUpTo(std::min(jobs_.size(), index + kLookAhead));
    if (workers_.empty() && !PrepareFailedFor(index)) Write(index);
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
