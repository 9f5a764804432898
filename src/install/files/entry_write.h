// Writes one payload entry from the mapped payload straight into a file.
// Digests are not checked here: the run checks every block it writes from
// before it writes anything (CheckPayloadFiles).
#pragma once

#include <cstddef>
#include <exception>
#include <filesystem>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "payload/mapped_payload.h"

namespace zel {

enum class EntryWrite { Written, Damaged };

struct EntryWriteJob {
    std::size_t entry = 0;  // index into the payload's entries
    std::filesystem::path target;
};

// Writes the original bytes of entry `index` to target, creating or
// truncating the file: a stored entry with one write, a compressed one chunk
// by chunk as it is decoded. A block that does not decode gives Damaged and
// leaves no file. No attribute is cleared
// first: a read-only or hidden file in the way makes the write fail. target is
// in final form and is written without following a link (util/no_follow_write.h):
// a link or junction there fails with kLinkInTheWay. Throws
// std::filesystem::filesystem_error when the file cannot be created or written.
EntryWrite WritePayloadEntry(const MappedPayload& payload, std::size_t index, const std::filesystem::path& target);

// Writes entries that share one block (a solid block) with one pass through
// it: the block is decoded once, from its start, and each entry's bytes go to
// its target as they come. jobs are in the order of the entries' offsets in the
// block and must not overlap. done(i, result, error) is called for jobs[i] as
// soon as its file is complete or has failed; after a failure every job not
// yet done gets the same outcome (Damaged, or the same exception), since the
// pass cannot go on. Writes like WritePayloadEntry; never throws.
void WriteBlockEntries(const MappedPayload& payload, std::span<const EntryWriteJob> jobs,
                       const std::function<void(std::size_t, EntryWrite, std::exception_ptr)>& done) noexcept;

// The payload files named (relative to files\, as [System32RegSvr] names them)
// written below root\files for a step that reads them from a folder, and removed
// again when this goes out of scope. Names the payload does not hold are left to
// that step to report. Throws like WritePayloadEntry.
class StagedPayloadFiles {
public:
    StagedPayloadFiles(const MappedPayload& payload, const std::vector<std::wstring>& relatives,
                       const std::filesystem::path& root);
    ~StagedPayloadFiles();
    StagedPayloadFiles(const StagedPayloadFiles&) = delete;
    StagedPayloadFiles& operator=(const StagedPayloadFiles&) = delete;

    // The first file whose block does not decode (nothing is staged then), or empty.
    const std::wstring& damaged() const noexcept { return damaged_; }

private:
    std::vector<std::filesystem::path> written_;
    std::wstring damaged_;
};

}  // namespace zel
