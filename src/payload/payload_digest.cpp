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

std::vector<std::uint8_t> SerializePayloadDigests(const PayloadDigests& digests) {
    std::vector<std::uint8_t> out(kPayloadDigestsMagic, kPayloadDigestsMagic + sizeof(kPayloadDigestsMagic));
    out.reserve(kHeaderSize + 8 * digests.blocks.size());
    PutLe(out, digests.version, 4);
    PutLe(out, digests.blocks.size(), 4);
    PutLe(out, digests.directory, 8);
    for (const std::uint64_t digest : digests.blocks) PutLe(out, digest, 8);
    return out;
}

bool ParsePayloadDigests(std::span<const std::uint8_t> resource, const PayloadArchive& archive,
                         PayloadDigests& digests) {
    const std::size_t blockCount = archive.blocks.size();
    if (resource.size() != kHeaderSize + 8 * static_cast<std::uint64_t>(blockCount)) return false;
    if (std::memcmp(resource.data(), kPayloadDigestsMagic, sizeof(kPayloadDigestsMagic)) != 0) return false;
    ByteReader reader(resource, sizeof(kPayloadDigestsMagic));
    std::uint32_t count = 0;
    if (!reader.readU32(digests.version) || digests.version != archive.version) return false;
    if (!reader.readU32(count) || count != blockCount) return false;
    if (!reader.readU64(digests.directory)) return false;
    digests.blocks.assign(blockCount, 0);
    for (std::uint64_t& digest : digests.blocks) {
        if (!reader.readU64(digest)) return false;
    }
    return true;
}

bool PayloadDirectoryIntact(std::span<const std::uint8_t> bytes, const PayloadArchive& archive,
                            const PayloadDigests& digests) noexcept {
    if (archive.directorySize > bytes.size()) return false;
    return Xxh64(bytes.first(static_cast<std::size_t>(archive.directorySize))) == digests.directory;
}

bool PayloadBlockIntact(std::span<const std::uint8_t> bytes, const PayloadArchive& archive,
                        const PayloadDigests* digests, std::size_t index) noexcept {
    if (!digests) return true;
    if (index >= archive.blocks.size() || index >= digests->blocks.size()) return false;
    const PayloadBlock& block = archive.blocks[index];
    if (block.offset > bytes.size() || block.storedSize > bytes.size() - block.offset) return false;
    const auto data = bytes.subspan(static_cast<std::size_t>(block.offset), static_cast<std::size_t>(block.storedSize));
    return Xxh64(data) == digests->blocks[index];
}

bool PayloadEntriesNamedIntact(std::span<const std::uint8_t> bytes, const PayloadArchive& archive,
                               const PayloadDigests* digests, std::string_view name) {
    for (const PayloadEntry& entry : archive.entries) {
        if (SamePayloadName(entry.name, name) && !PayloadBlockIntact(bytes, archive, digests, entry.block)) {
            return false;
        }
    }
    return true;
}

}  // namespace zel
