// Writes one payload entry from the mapped payload straight into a file.
// Digests are not checked here: the run checks every block it writes from
// before it writes anything (CheckPayloadFiles).
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

#include "payload/mapped_payload.h"

namespace zel {

enum class EntryWrite { Written, Damaged };

// Writes the original bytes of entry `index` to target, creating or
// truncating the file: a stored entry with one write, a compressed one chunk
// by chunk as it is decoded. A block that does not decode gives Damaged and
// leaves no file. No attribute is cleared
// first: a read-only or hidden file in the way makes the write fail. target is
// in final form and is written without following a link (util/no_follow_write.h):
// a link or junction there fails with kLinkInTheWay. Throws
// std::filesystem::filesystem_error when the file cannot be created or written.
EntryWrite WritePayloadEntry(const MappedPayload& payload, std::size_t index, const std::filesystem::path& target);

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
