// The payload archive: "ZELSETUP", a version, a directory of entries and their
// data, all little-endian. Parsing and writing are portable so that the
// installer and InstallerBuilder share one definition.
//
// Version 1 (stored payloads, and every payload the builder writes unless
// compression is asked for):
//   magic "ZELSETUP" (8) | version 1 (u32) | entry count (u32)
//   per entry: name length (u32) | name (UTF-8) | offset in the archive (u64) | size (u64)
//   the entries' bytes
//
// Version 2 (blocks). A block is one stream of stored bytes: kept as they are,
// or compressed. It holds the original bytes of one entry or of several
// entries back to back (a solid block). Blocks decode independently of each
// other, and the table says where every entry lies, so one entry is found by
// decoding its own block only:
//   magic "ZELSETUP" (8) | version 2 (u32) | entry count (u32) | block count (u32) | 0 (u32)
//   per block (32 bytes): method (u8) | filter (u8) | property (u8) | 0 (u8) | 0 (u32)
//                         | offset in the archive (u64) | stored size (u64) | original size (u64)
//   per entry: name length (u32) | name (UTF-8) | block (u32) | offset in the block's original bytes (u64)
//              | size (u64)
//   the blocks' stored bytes, in block order, without gaps
// A method is 0 stored, 1 deflate (raw RFC 1951 data, no zlib header) or
// 2 LZMA2 (raw, end marker included; property: its dictionary size byte). A
// filter is 0 none or 1 the x86 branch converter, undone after decoding.
// A stored block has no filter and its two sizes are equal. The digests of
// the payload (payload_digest.h) cover each block's stored bytes.
//
// In memory both versions read as blocks: a version 1 entry is a stored block
// of its own.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zel {

inline constexpr char kPayloadMagic[8] = {'Z', 'E', 'L', 'S', 'E', 'T', 'U', 'P'};
inline constexpr std::uint32_t kPayloadVersion = 1;
inline constexpr std::uint32_t kPayloadBlocksVersion = 2;
inline constexpr std::size_t kPayloadHeaderSize = 16;
inline constexpr std::size_t kPayloadBlocksHeaderSize = 24;
inline constexpr std::size_t kPayloadBlockRecordSize = 32;

enum class BlockMethod : std::uint8_t { Stored = 0, Deflate = 1, Lzma2 = 2 };
enum class BlockFilter : std::uint8_t { None = 0, X86 = 1 };

struct PayloadBlock {
    BlockMethod method = BlockMethod::Stored;
    BlockFilter filter = BlockFilter::None;
    std::uint8_t property = 0;       // LZMA2: the dictionary size byte; otherwise 0
    std::uint64_t offset = 0;        // of its stored bytes, from the archive's start
    std::uint64_t storedSize = 0;    // bytes in the archive
    std::uint64_t originalSize = 0;  // bytes once decoded
};

struct PayloadEntry {
    std::string name;  // UTF-8 as stored, "/" or "\" separators
    std::uint32_t block = 0;
    std::uint64_t offset = 0;  // within the block's original bytes
    std::uint64_t size = 0;    // original size
};

struct PayloadArchive {
    std::uint32_t version = 0;
    std::vector<PayloadBlock> blocks;
    std::vector<PayloadEntry> entries;
    std::uint64_t directorySize = 0;  // header, block table and directory: what the directory digest covers
};

// Reads the header, block table and directory of either version. True when the
// magic and version are right, every block's stored bytes lie within the
// archive after the directory, every method, filter and reserved field is
// known, and every entry lies within its block's original bytes.
bool ParsePayloadArchive(std::span<const std::uint8_t> archive, PayloadArchive& parsed);

// True when the name is a relative path that stays below the extraction folder:
// not empty, no drive, no root, no "..", no empty or "." element, no ':' (which
// on Windows would open an alternate data stream).
bool IsSafeEntryName(std::string_view name);

// One file to be written into a version 1 archive.
struct ArchiveItem {
    std::string name;  // UTF-8, "/" separators
    std::uint64_t size = 0;
};

// Header and directory of a version 1 archive for the given items, with each
// entry's data placed right after the directory, in item order and without
// gaps. The data blocks follow in the same order.
std::vector<std::uint8_t> BuildArchiveDirectory(const std::vector<ArchiveItem>& items);

// Size of the whole version 1 archive for the given items (directory plus data).
std::uint64_t ArchiveTotalSize(const std::vector<ArchiveItem>& items);

// Header, block table and directory of a version 2 archive. Each block's
// offset is set here: the blocks' stored bytes follow the directory in block
// order, without gaps. The entries name their blocks by index.
std::vector<std::uint8_t> BuildBlockArchiveDirectory(std::vector<PayloadBlock>& blocks,
                                                     const std::vector<PayloadEntry>& entries);

}  // namespace zel
