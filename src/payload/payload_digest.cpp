#include "payload/payload_digest.h"

#include <cstring>

#include "payload/payload_files.h"
#include "payload/xxh64.h"
#include "util/byte_reader.h"

namespace zel {
namespace {

constexpr std::size_t kHeaderSize = 24;  // magic, version, count, directory digest

void PutLe(std::vector<std::uint8_t>& out, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

}  // namespace

std::uint64_t PayloadDirectorySize(const std::vector<PayloadEntry>& entries) noexcept {
    std::uint64_t size = kPayloadHeaderSize;
    for (const PayloadEntry& entry : entries) size += 4 + entry.name.size() + 16;
    return size;
}

std::vector<std::uint8_t> SerializePayloadDigests(const PayloadDigests& digests) {
    std::vector<std::uint8_t> out(kPayloadDigestsMagic, kPayloadDigestsMagic + sizeof(kPayloadDigestsMagic));
    out.reserve(kHeaderSize + 8 * digests.entries.size());
    PutLe(out, kPayloadDigestsVersion, 4);
    PutLe(out, digests.entries.size(), 4);
    PutLe(out, digests.directory, 8);
    for (const std::uint64_t digest : digests.entries) PutLe(out, digest, 8);
    return out;
}

bool ParsePayloadDigests(std::span<const std::uint8_t> resource, std::size_t entryCount, PayloadDigests& digests) {
    if (resource.size() != kHeaderSize + 8 * static_cast<std::uint64_t>(entryCount)) return false;
    if (std::memcmp(resource.data(), kPayloadDigestsMagic, sizeof(kPayloadDigestsMagic)) != 0) return false;
    ByteReader reader(resource, sizeof(kPayloadDigestsMagic));
    std::uint32_t version = 0, count = 0;
    if (!reader.readU32(version) || version != kPayloadDigestsVersion) return false;
    if (!reader.readU32(count) || count != entryCount) return false;
    if (!reader.readU64(digests.directory)) return false;
    digests.entries.assign(entryCount, 0);
    for (std::uint64_t& digest : digests.entries) {
        if (!reader.readU64(digest)) return false;
    }
    return true;
}

bool PayloadDirectoryIntact(std::span<const std::uint8_t> archive, const std::vector<PayloadEntry>& entries,
                            const PayloadDigests& digests) noexcept {
    const std::uint64_t size = PayloadDirectorySize(entries);
    if (size > archive.size()) return false;
    return Xxh64(archive.first(static_cast<std::size_t>(size))) == digests.directory;
}

bool PayloadEntryIntact(std::span<const std::uint8_t> archive, const std::vector<PayloadEntry>& entries,
                        const PayloadDigests* digests, std::size_t index) noexcept {
    if (!digests) return true;
    if (index >= entries.size() || index >= digests->entries.size()) return false;
    const PayloadEntry& entry = entries[index];
    if (entry.offset > archive.size() || entry.size > archive.size() - entry.offset) return false;
    const auto data = archive.subspan(static_cast<std::size_t>(entry.offset), static_cast<std::size_t>(entry.size));
    return Xxh64(data) == digests->entries[index];
}

bool PayloadEntriesNamedIntact(std::span<const std::uint8_t> archive, const std::vector<PayloadEntry>& entries,
                               const PayloadDigests* digests, std::string_view name) {
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (SamePayloadName(entries[i].name, name) && !PayloadEntryIntact(archive, entries, digests, i)) return false;
    }
    return true;
}

}  // namespace zel
