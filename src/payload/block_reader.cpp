#include "payload/block_reader.h"

#include <zlib.h>

#include <algorithm>
#include <limits>
#include <vector>

namespace zel {
namespace {

// Hands on only the bytes of [offset, offset + size) of what passes through it
// and says when the range is complete.
class RangeSink {
public:
    RangeSink(std::uint64_t offset, std::uint64_t size, const ByteChunkSink& out)
        : skip_(offset), left_(size), out_(out) {}

    // False when the sink stopped the reading.
    bool Take(std::span<const std::uint8_t> chunk) {
        if (skip_ >= chunk.size()) {
            skip_ -= chunk.size();
            return true;
        }
        chunk = chunk.subspan(static_cast<std::size_t>(skip_));
        skip_ = 0;
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(left_, chunk.size()));
        if (n == 0) return true;
        left_ -= n;
        return out_(chunk.first(n));
    }
    bool Complete() const noexcept { return left_ == 0; }

private:
    std::uint64_t skip_;
    std::uint64_t left_;
    const ByteChunkSink& out_;
};

BlockRead ReadStored(std::span<const std::uint8_t> archive, const PayloadBlock& block, std::uint64_t offset,
                     std::uint64_t size, const ByteChunkSink& out) {
    std::span<const std::uint8_t> bytes =
        archive.subspan(static_cast<std::size_t>(block.offset + offset), static_cast<std::size_t>(size));
    while (!bytes.empty()) {
        const std::size_t n = std::min(bytes.size(), kStoredChunkSize);
        if (!out(bytes.first(n))) return BlockRead::Stopped;
        bytes = bytes.subspan(n);
    }
    return BlockRead::Done;
}

// Owns an inflate stream for raw deflate data.
class Inflater {
public:
    Inflater() { ready_ = ::inflateInit2(&stream_, -MAX_WBITS) == Z_OK; }
    ~Inflater() {
        if (ready_) ::inflateEnd(&stream_);
    }
    Inflater(const Inflater&) = delete;
    Inflater& operator=(const Inflater&) = delete;
    bool ready() const noexcept { return ready_; }
    z_stream& stream() noexcept { return stream_; }

private:
    z_stream stream_{};
    bool ready_ = false;
};

BlockRead ReadDeflate(std::span<const std::uint8_t> archive, const PayloadBlock& block, std::uint64_t offset,
                      std::uint64_t size, const ByteChunkSink& out) {
    Inflater inflater;
    if (!inflater.ready()) return BlockRead::Malformed;
    z_stream& z = inflater.stream();
    std::span<const std::uint8_t> input =
        archive.subspan(static_cast<std::size_t>(block.offset), static_cast<std::size_t>(block.storedSize));
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(
        std::min<std::uint64_t>(std::max<std::uint64_t>(block.originalSize, 1), kBlockChunkSize)));
    RangeSink range(offset, size, out);
    const bool toTheEnd = offset + size == block.originalSize;
    std::uint64_t produced = 0;
    for (;;) {
        if (z.avail_in == 0 && !input.empty()) {
            const std::size_t n = std::min<std::size_t>(input.size(), std::numeric_limits<uInt>::max());
            z.next_in = const_cast<Bytef*>(input.data());
            z.avail_in = static_cast<uInt>(n);
            input = input.subspan(n);
        }
        z.next_out = buffer.data();
        z.avail_out = static_cast<uInt>(buffer.size());
        const int status = ::inflate(&z, Z_NO_FLUSH);
        const std::size_t got = buffer.size() - z.avail_out;
        if (status != Z_OK && status != Z_STREAM_END && !(status == Z_BUF_ERROR && got > 0)) {
            return BlockRead::Malformed;
        }
        if (got > block.originalSize - produced) return BlockRead::Malformed;
        produced += got;
        if (!range.Take({buffer.data(), got})) return BlockRead::Stopped;
        if (status == Z_STREAM_END) break;
        // What was asked for is out; the rest of the block is not needed.
        if (range.Complete() && !toTheEnd) return BlockRead::Done;
        if (got == 0 && z.avail_in == 0 && input.empty()) return BlockRead::Malformed;  // ends early
    }
    // The stream ends exactly where the block does, with every byte it claims.
    if (produced != block.originalSize || z.avail_in != 0 || !input.empty()) return BlockRead::Malformed;
    return range.Complete() ? BlockRead::Done : BlockRead::Malformed;
}

}  // namespace

BlockRead ReadBlockRange(std::span<const std::uint8_t> archive, const PayloadBlock& block, std::uint64_t offset,
                         std::uint64_t size, const ByteChunkSink& out) {
    if (offset > block.originalSize || size > block.originalSize - offset) return BlockRead::Malformed;
    if (block.filter != BlockFilter::None) return BlockRead::Malformed;  // no filter is known yet
    switch (block.method) {
        case BlockMethod::Stored:
            return ReadStored(archive, block, offset, size, out);
        case BlockMethod::Deflate:
            return ReadDeflate(archive, block, offset, size, out);
        case BlockMethod::Lzma2:
            break;
    }
    return BlockRead::Malformed;
}

}  // namespace zel
