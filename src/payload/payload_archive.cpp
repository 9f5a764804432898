#include "payload/payload_archive.h"

#include <cstring>

#include "util/byte_reader.h"

namespace zel {
namespace {

bool ParseVersion1(ByteReader& reader, std::uint64_t length, PayloadArchive& parsed) {
    std::uint32_t count = 0;
    if (!reader.readU32(count)) return false;
    for (std::uint32_t i = 0; i < count; ++i) {
        std::uint32_t nameLength = 0;
        std::span<const std::uint8_t> name;
        PayloadBlock block;
        if (!reader.readU32(nameLength) || !reader.readBytes(nameLength, name)) return false;
        if (!reader.readU64(block.offset) || !reader.readU64(block.storedSize)) return false;
        if (block.offset > length || block.storedSize > length - block.offset) return false;
        block.originalSize = block.storedSize;
        PayloadEntry entry;
        entry.name.assign(reinterpret_cast<const char*>(name.data()), name.size());
        entry.block = i;
        entry.size = block.storedSize;
        parsed.blocks.push_back(block);
        parsed.entries.push_back(std::move(entry));
    }
    parsed.directorySize = reader.position();
    return true;
}

bool KnownBlockKind(std::uint8_t method, std::uint8_t filter, std::uint8_t property) {
    switch (static_cast<BlockMethod>(method)) {
        case BlockMethod::Stored:
            return filter == static_cast<std::uint8_t>(BlockFilter::None) && property == 0;
        case BlockMethod::Deflate:
            return filter <= static_cast<std::uint8_t>(BlockFilter::X86) && property == 0;
        case BlockMethod::Lzma2:
            return filter <= static_cast<std::uint8_t>(BlockFilter::X86) && property <= 40;
    }
    return false;
}

bool ParseVersion2(ByteReader& reader, std::uint64_t length, PayloadArchive& parsed) {
    std::uint32_t entryCount = 0, blockCount = 0, reserved = 0;
    if (!reader.readU32(entryCount) || !reader.readU32(blockCount) || !reader.readU32(reserved) || reserved != 0) {
        return false;
    }
    // Counts are believed only as far as the bytes that must hold them reach.
    if (blockCount > reader.remaining() / kPayloadBlockRecordSize) return false;
    parsed.blocks.reserve(blockCount);
    for (std::uint32_t i = 0; i < blockCount; ++i) {
        std::span<const std::uint8_t> kind;
        std::uint32_t zero = 0;
        PayloadBlock block;
        if (!reader.readBytes(4, kind) || !reader.readU32(zero) || zero != 0 || kind[3] != 0) return false;
        if (!KnownBlockKind(kind[0], kind[1], kind[2])) return false;
        block.method = static_cast<BlockMethod>(kind[0]);
        block.filter = static_cast<BlockFilter>(kind[1]);
        block.property = kind[2];
        if (!reader.readU64(block.offset) || !reader.readU64(block.storedSize) || !reader.readU64(block.originalSize)) {
            return false;
        }
        if (block.offset > length || block.storedSize > length - block.offset) return false;
        if (block.method == BlockMethod::Stored && block.storedSize != block.originalSize) return false;
        parsed.blocks.push_back(block);
    }
    for (std::uint32_t i = 0; i < entryCount; ++i) {
        std::uint32_t nameLength = 0;
        std::span<const std::uint8_t> name;
        PayloadEntry entry;
        if (!reader.readU32(nameLength) || !reader.readBytes(nameLength, name)) return false;
        if (!reader.readU32(entry.block) || !reader.readU64(entry.offset) || !reader.readU64(entry.size)) return false;
        if (entry.block >= parsed.blocks.size()) return false;
        const std::uint64_t original = parsed.blocks[entry.block].originalSize;
        if (entry.offset > original || entry.size > original - entry.offset) return false;
        entry.name.assign(reinterpret_cast<const char*>(name.data()), name.size());
        parsed.entries.push_back(std::move(entry));
    }
    parsed.directorySize = reader.position();
    // Block data lies after the directory: no block overlaps the tables.
    for (const PayloadBlock& block : parsed.blocks) {
        if (block.offset < parsed.directorySize) return false;
    }
    return true;
}

void AppendLe(std::vector<std::uint8_t>& out, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

std::uint64_t DirectorySize(const std::vector<ArchiveItem>& items) {
    std::uint64_t size = kPayloadHeaderSize;
    for (const ArchiveItem& item : items) size += 4 + item.name.size() + 16;
    return size;
}

}  // namespace

bool ParsePayloadArchive(std::span<const std::uint8_t> archive, PayloadArchive& parsed) {
    parsed = PayloadArchive{};
    if (archive.size() < kPayloadHeaderSize) return false;
    if (std::memcmp(archive.data(), kPayloadMagic, sizeof(kPayloadMagic)) != 0) return false;

    ByteReader reader(archive, sizeof(kPayloadMagic));
    PayloadArchive read;
    if (!reader.readU32(read.version)) return false;
    bool ok = false;
    if (read.version == kPayloadVersion) ok = ParseVersion1(reader, archive.size(), read);
    if (read.version == kPayloadBlocksVersion) ok = ParseVersion2(reader, archive.size(), read);
    if (!ok) return false;
    parsed = std::move(read);
    return true;
}

bool IsSafeEntryName(std::string_view name) {
    if (name.empty()) return false;
    if (name.front() == '/' || name.front() == '\\') return false;  // root or UNC
    std::size_t start = 0;
    while (start <= name.size()) {
        std::size_t end = name.find_first_of("/\\", start);
        if (end == std::string_view::npos) end = name.size();
        const std::string_view element = name.substr(start, end - start);
        if (element.empty() || element == "." || element == "..") return false;
        if (element.find(':') != std::string_view::npos) return false;  // drive or stream
        if (element.find('\0') != std::string_view::npos) return false;
        start = end + 1;
    }
    return true;
}

std::vector<std::uint8_t> BuildArchiveDirectory(const std::vector<ArchiveItem>& items) {
    std::vector<std::uint8_t> out(std::begin(kPayloadMagic), std::end(kPayloadMagic));
    out.reserve(static_cast<std::size_t>(DirectorySize(items)));
    AppendLe(out, kPayloadVersion, 4);
    AppendLe(out, items.size(), 4);
    std::uint64_t offset = DirectorySize(items);
    for (const ArchiveItem& item : items) {
        AppendLe(out, item.name.size(), 4);
        out.insert(out.end(), item.name.begin(), item.name.end());
        AppendLe(out, offset, 8);
        AppendLe(out, item.size, 8);
        offset += item.size;
    }
    return out;
}

std::uint64_t ArchiveTotalSize(const std::vector<ArchiveItem>& items) {
    std::uint64_t size = DirectorySize(items);
    for (const ArchiveItem& item : items) size += item.size;
    return size;
}

std::vector<std::uint8_t> BuildBlockArchiveDirectory(std::vector<PayloadBlock>& blocks,
                                                     const std::vector<PayloadEntry>& entries) {
    std::uint64_t offset = kPayloadBlocksHeaderSize + kPayloadBlockRecordSize * blocks.size();
    for (const PayloadEntry& entry : entries) offset += 4 + entry.name.size() + 20;
    for (PayloadBlock& block : blocks) {
        block.offset = offset;
        offset += block.storedSize;
    }
    std::vector<std::uint8_t> out(std::begin(kPayloadMagic), std::end(kPayloadMagic));
    AppendLe(out, kPayloadBlocksVersion, 4);
    AppendLe(out, entries.size(), 4);
    AppendLe(out, blocks.size(), 4);
    AppendLe(out, 0, 4);
    for (const PayloadBlock& block : blocks) {
        out.push_back(static_cast<std::uint8_t>(block.method));
        out.push_back(static_cast<std::uint8_t>(block.filter));
        out.push_back(block.property);
        out.push_back(0);
        AppendLe(out, 0, 4);
        AppendLe(out, block.offset, 8);
        AppendLe(out, block.storedSize, 8);
        AppendLe(out, block.originalSize, 8);
    }
    for (const PayloadEntry& entry : entries) {
        AppendLe(out, entry.name.size(), 4);
        out.insert(out.end(), entry.name.begin(), entry.name.end());
        AppendLe(out, entry.block, 4);
        AppendLe(out, entry.offset, 8);
        AppendLe(out, entry.size, 8);
    }
    return out;
}

}  // namespace zel
