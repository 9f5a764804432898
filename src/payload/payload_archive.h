// The payload archive format: "ZELSETUP", version 1, a directory of entries and
// their data, all little-endian. Parsing and writing are portable so that the
// installer and InstallerBuilder share one definition.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zel {

inline constexpr char kPayloadMagic[8] = {'Z', 'E', 'L', 'S', 'E', 'T', 'U', 'P'};
inline constexpr std::uint32_t kPayloadVersion = 1;
inline constexpr std::size_t kPayloadHeaderSize = 16;

struct PayloadEntry {
    std::string name;  // UTF-8 as stored, "/" or "\" separators
    std::uint64_t offset = 0;
    std::uint64_t size = 0;
};

// Reads the header and directory. True when the magic and version are right and
// every entry's fields, name and data range lie within the archive.
bool ParsePayloadArchive(std::span<const std::uint8_t> archive, std::vector<PayloadEntry>& entries);

// True when the name is a relative path that stays below the extraction folder:
// not empty, no drive, no root, no "..", no empty or "." element, no ':' (which
// on Windows would open an alternate data stream).
bool IsSafeEntryName(std::string_view name);

// One file to be written into an archive.
struct ArchiveItem {
    std::string name;  // UTF-8, "/" separators
    std::uint64_t size = 0;
};

// Header and directory for the given items, with each entry's data placed right
// after the directory, in item order and without gaps. The data blocks follow in
// the same order.
std::vector<std::uint8_t> BuildArchiveDirectory(const std::vector<ArchiveItem>& items);

// Size of the whole archive for the given items (directory plus data).
std::uint64_t ArchiveTotalSize(const std::vector<ArchiveItem>& items);

}  // namespace zel
