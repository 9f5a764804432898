#include "payload/payload_archive.h"

#include <cstring>

#include "util/byte_reader.h"

namespace zel {

bool ParsePayloadArchive(std::span<const std::uint8_t> archive, std::vector<PayloadEntry>& entries) {
    entries.clear();
    if (archive.size() < kPayloadHeaderSize) return false;
    if (std::memcmp(archive.data(), kPayloadMagic, sizeof(kPayloadMagic)) != 0) return false;

    ByteReader reader(archive, sizeof(kPayloadMagic));
    std::uint32_t version = 0;
    std::uint32_t count = 0;
    if (!reader.readU32(version) || version != kPayloadVersion) return false;
    if (!reader.readU32(count)) return false;

    const std::uint64_t length = archive.size();
    std::vector<PayloadEntry> parsed;
    for (std::uint32_t i = 0; i < count; ++i) {
        std::uint32_t nameLength = 0;
        std::span<const std::uint8_t> name;
        PayloadEntry entry;
        if (!reader.readU32(nameLength) || !reader.readBytes(nameLength, name)) return false;
        if (!reader.readU64(entry.offset) || !reader.readU64(entry.size)) return false;
        if (entry.offset > length || entry.size > length - entry.offset) return false;
        entry.name.assign(reinterpret_cast<const char*>(name.data()), name.size());
        parsed.push_back(std::move(entry));
    }
    entries = std::move(parsed);
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

namespace {

void AppendLe(std::vector<std::uint8_t>& out, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

std::uint64_t DirectorySize(const std::vector<ArchiveItem>& items) {
    std::uint64_t size = kPayloadHeaderSize;
    for (const ArchiveItem& item : items) size += 4 + item.name.size() + 16;
    return size;
}

}  // namespace

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

}  // namespace zel
