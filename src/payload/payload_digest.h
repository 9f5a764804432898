// Digests of the payload: an XXH64 of the archive's header, block table and
// directory, and one of every block's stored bytes (for a compressed block,
// its compressed bytes), kept by InstallerBuilder in a resource of their own
// (RT_RCDATA 102, payload_resource.h) beside the payload, which itself stays as
// it is. setup.exe compares every block it will write from with its digest
// before it writes anything, so a damaged download never installs damaged
// files, and the check never needs to decompress. Portable.
//
// Resource layout (little-endian): "ZELXXH64", version (u32), block count
// (u32), directory digest (u64), then one u64 per block in block order. The
// version is the archive's: 1 for a version 1 archive (where every entry is a
// block of its own), 2 for a version 2 archive.
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
    std::uint32_t version = kPayloadDigestsVersion;  // the archive's version
    std::uint64_t directory = 0;                     // of the archive's first directorySize bytes
    std::vector<std::uint64_t> blocks;               // one per block, in block order
};

std::vector<std::uint8_t> SerializePayloadDigests(const PayloadDigests& digests);

// True when the resource is well-formed, of the archive's version and holds
// exactly one digest per block of it.
bool ParsePayloadDigests(std::span<const std::uint8_t> resource, const PayloadArchive& archive,
                         PayloadDigests& digests);

// True when the archive's header, block table and directory match the directory digest.
bool PayloadDirectoryIntact(std::span<const std::uint8_t> bytes, const PayloadArchive& archive,
                            const PayloadDigests& digests) noexcept;

// True when the stored bytes of block `index` (which must lie within the
// archive) match its digest; always true when there are no digests.
bool PayloadBlockIntact(std::span<const std::uint8_t> bytes, const PayloadArchive& archive,
                        const PayloadDigests* digests, std::size_t index) noexcept;

// True when every block holding an entry stored under this name matches its
// digest (ASCII letter case and the separators "/" and "\" are not told
// apart, as on the file system that receives the entries); true as well
// without digests or such an entry.
bool PayloadEntriesNamedIntact(std::span<const std::uint8_t> bytes, const PayloadArchive& archive,
                               const PayloadDigests* digests, std::string_view name);

}  // namespace zel
