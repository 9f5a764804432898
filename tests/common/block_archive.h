// Version 2 payload archives for tests, made the way the builder lays them
// out: stored blocks, one deflate block per entry, or every entry in one
// solid deflate block. zlib compresses; the archive's tables come from the
// format's own writer. Portable.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "payload/payload_archive.h"
#include "payload/payload_digest.h"
#include "payload/xxh64.h"

namespace zel::test {

struct BlockItem {
    std::string name;
    std::vector<std::uint8_t> data;
};

// Raw deflate (no zlib header) at level 9.
inline std::vector<std::uint8_t> RawDeflate(std::span<const std::uint8_t> input) {
    z_stream z{};
    if (deflateInit2(&z, 9, Z_DEFLATED, -MAX_WBITS, 9, Z_DEFAULT_STRATEGY) != Z_OK) throw std::runtime_error("zlib");
    std::vector<std::uint8_t> out(deflateBound(&z, static_cast<uLong>(input.size())) + 16);
    z.next_in = const_cast<Bytef*>(input.data());
    z.avail_in = static_cast<uInt>(input.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    const int status = deflate(&z, Z_FINISH);
    out.resize(out.size() - z.avail_out);
    deflateEnd(&z);
    if (status != Z_STREAM_END) throw std::runtime_error("zlib");
    return out;
}

enum class Blocks { Stored, DeflateEach, DeflateSolid };

struct BuiltArchive {
    std::vector<std::uint8_t> bytes;
    PayloadDigests digests;
};

inline BuiltArchive BuildBlockArchive(const std::vector<BlockItem>& items, Blocks how) {
    std::vector<PayloadBlock> blocks;
    std::vector<PayloadEntry> entries;
    std::vector<std::vector<std::uint8_t>> stored;
    if (how == Blocks::DeflateSolid) {
        std::vector<std::uint8_t> all;
        for (const BlockItem& item : items) {
            entries.push_back({item.name, 0, all.size(), item.data.size()});
            all.insert(all.end(), item.data.begin(), item.data.end());
        }
        stored.push_back(RawDeflate(all));
        blocks.push_back({BlockMethod::Deflate, BlockFilter::None, 0, 0, stored.back().size(), all.size()});
    } else {
        for (const BlockItem& item : items) {
            entries.push_back({item.name, static_cast<std::uint32_t>(blocks.size()), 0, item.data.size()});
            PayloadBlock block{BlockMethod::Stored, BlockFilter::None, 0, 0, item.data.size(), item.data.size()};
            stored.push_back(item.data);
            if (how == Blocks::DeflateEach) {
                std::vector<std::uint8_t> packed = RawDeflate(item.data);
                if (packed.size() < item.data.size()) {
                    block.method = BlockMethod::Deflate;
                    block.storedSize = packed.size();
                    stored.back() = std::move(packed);
                }
            }
            blocks.push_back(block);
        }
    }
    BuiltArchive built;
    built.bytes = BuildBlockArchiveDirectory(blocks, entries);
    built.digests.version = kPayloadBlocksVersion;
    built.digests.directory = Xxh64(built.bytes);
    for (const std::vector<std::uint8_t>& block : stored) {
        built.bytes.insert(built.bytes.end(), block.begin(), block.end());
        built.digests.blocks.push_back(Xxh64(block));
    }
    return built;
}

}  // namespace zel::test
