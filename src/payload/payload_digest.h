// Digests of the payload: an XXH64 of the archive's header and directory and one
// of every entry's data, kept by InstallerBuilder in a resource of their own
// (RT_RCDATA 102, payload_resource.h) beside the payload, which itself stays as
// it is. setup.exe compares an entry with its digest before it writes the entry
// anywhere, so a damaged download never installs damaged files. Portable.
//
// Resource layout (little-endian): "ZELXXH64", version 1 (u32), entry count
// (u32), directory digest (u64), then one u64 per entry in directory order.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "payload/payload_archive.h"

namespace zel {

inline constexpr char kPayloadDigestsMagic[8] = {'Z', 'E', 'L', 'X', 'X', 'H', '6', '4'};
inline constexpr std::uint32_t kPayloadDigestsVersion = 1;

struct PayloadDigests {
    std::uint64_t directory = 0;         // of the archive's first PayloadDirectorySize bytes
    std::vector<std::uint64_t> entries;  // one per directory entry, in directory order
};

// Bytes of the header and directory of an archive with these entries.
std::uint64_t PayloadDirectorySize(const std::vector<PayloadEntry>& entries) noexcept;

std::vector<std::uint8_t> SerializePayloadDigests(const PayloadDigests& digests);

// True when the resource is well-formed and holds exactly entryCount digests.
bool ParsePayloadDigests(std::span<const std::uint8_t> resource, std::size_t entryCount, PayloadDigests& digests);

// True when the archive's header and directory match the directory digest.
bool PayloadDirectoryIntact(std::span<const std::uint8_t> archive, const std::vector<PayloadEntry>& entries,
                            const PayloadDigests& digests) noexcept;

// True when the data of entry `index` (which must lie within the archive) matches
// its digest; always true when there are no digests.
bool PayloadEntryIntact(std::span<const std::uint8_t> archive, const std::vector<PayloadEntry>& entries,
                        const PayloadDigests* digests, std::size_t index) noexcept;

// True when every entry stored under this name matches its digest (ASCII letter
// case and the separators "/" and "\" are not told apart, as on the file system
// that receives the entries); true as well without digests or such an entry.
bool PayloadEntriesNamedIntact(std::span<const std::uint8_t> archive, const std::vector<PayloadEntry>& entries,
                               const PayloadDigests* digests, std::string_view name);

}  // namespace zel
