// Payload entries written on worker threads and handed back in the order they
// were asked for: the caller logs and counts each file as if they were written
// one after the other, while creating many small files and decoding blocks
// overlaps.
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

class OrderedWrites {
public:
    // prepare(target) runs on the calling thread for each job before the job is
    // handed to a worker (to make its folder); what it throws becomes the
    // outcome of the first job, in the order asked for, of the unit it was
    // preparing. A unit is one job, or every job whose entry lies in the same
    // solid block: a worker writes a unit's files with one pass through the
    // block, in the block's order. Nothing is written until the first Next().
    // Without a worker thread every unit is written by Next() itself.
    OrderedWrites(const MappedPayload& payload, std::vector<EntryWriteJob> jobs,
                  std::function<void(const std::filesystem::path&)> prepare);
    // Hands out no further unit and waits for those under way.
    ~OrderedWrites();
    OrderedWrites(const OrderedWrites&) = delete;
    OrderedWrites& operator=(const OrderedWrites&) = delete;

    // The outcome of the next job in order, once it is written: what
    // WritePayloadEntry gave, or its exception rethrown. After an exception or
    // Damaged no later unit is handed out, and those under way are waited for
    // before this returns; Next() is not called again.
    EntryWrite Next();

    // Whether the exception Next() raised came from prepare, before any write.
    bool FailedBeforeWriting() const noexcept { return next_ > 0 && prepareFailedJob_ == next_ - 1; }

private:
    struct Outcome {
        bool done = false;
        EntryWrite result = EntryWrite::Written;
        std::exception_ptr error;
    };
    struct Unit {
        std::vector<std::size_t> jobs;  // indices into jobs_, in the block's order
        std::size_t first = 0;          // the smallest of them: where the unit stands in the order asked for
    };

    void HandOutUpTo(std::size_t end);
    void Work();
    void Write(std::size_t unit) noexcept;
    void Finish(std::size_t job, EntryWrite result, std::exception_ptr error);
    void StopAndWait() noexcept;

    const MappedPayload& payload_;
    std::vector<EntryWriteJob> jobs_;
    std::function<void(const std::filesystem::path&)> prepare_;
    std::vector<Unit> units_;  // in the order of their first jobs
    std::vector<Outcome> outcomes_;
    // Used by the calling thread only.
    std::size_t next_ = 0;  // the job Next() gives
    bool prepareFailed_ = false;
    std::size_t prepareFailedJob_ = static_cast<std::size_t>(-1);

    std::mutex mutex_;
    std::condition_variable handedOut_;
    std::condition_variable finished_;
    std::size_t handed_ = 0;  // units [0, handed_) may be taken; written by the calling thread
    std::size_t taken_ = 0;   // units [0, taken_) are taken
    bool stop_ = false;
    std::vector<std::thread> workers_;
};

}  // namespace zel
