// Payload entries written on worker threads and handed back in the order they
// were asked for: the caller logs and counts each file as if they were written
// one after the other, while creating many small files overlaps.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <exception>
#include <filesystem>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "install/files/entry_write.h"
#include "payload/mapped_payload.h"

namespace zel {

struct EntryWriteJob {
    std::size_t entry = 0;  // index into the payload's entries
    std::filesystem::path target;
};

class OrderedWrites {
public:
    // prepare(target) runs on the calling thread, for each job in order, before
    // the job is handed to a worker (to make its folder); what it throws becomes
    // that job's outcome. Nothing is written until the first Next(). Without a
    // worker thread every job is written by Next() itself.
    OrderedWrites(const MappedPayload& payload, std::vector<EntryWriteJob> jobs,
                  std::function<void(const std::filesystem::path&)> prepare);
    // Hands out no further job and waits for those under way.
    ~OrderedWrites();
    OrderedWrites(const OrderedWrites&) = delete;
    OrderedWrites& operator=(const OrderedWrites&) = delete;

    // The outcome of the next job in order, once it is written: what
    // WritePayloadEntry gave, or its exception rethrown. After an exception or
    // Damaged no later job is handed out, and those under way are waited for
    // before this returns; Next() is not called again.
    EntryWrite Next();

    // Whether the exception Next() raised came from prepare, before any write.
    bool FailedBeforeWriting() const noexcept { return next_ > 0 && PrepareFailedFor(next_ - 1); }

private:
    struct Outcome {
        bool done = false;
        EntryWrite result = EntryWrite::Written;
        std::exception_ptr error;
    };

    // A job whose prepare threw is never handed out: handed_ stops at it.
    bool PrepareFailedFor(std::size_t index) const noexcept { return prepareFailed_ && handed_ == index; }
    void HandOutUpTo(std::size_t end);
    void Work();
    void Write(std::size_t index) noexcept;
    void StopAndWait() noexcept;

    const MappedPayload& payload_;
    std::vector<EntryWriteJob> jobs_;
    std::function<void(const std::filesystem::path&)> prepare_;
    std::vector<Outcome> outcomes_;
    // Used by the calling thread only.
    std::size_t next_ = 0;  // the job Next() gives
    bool prepareFailed_ = false;

    std::mutex mutex_;
    std::condition_variable handedOut_;
    std::condition_variable finished_;
    std::size_t handed_ = 0;  // jobs [0, handed_) may be taken; written by the calling thread
    std::size_t taken_ = 0;   // jobs [0, taken_) are taken
    bool stop_ = false;
    std::vector<std::thread> workers_;
};

}  // namespace zel
