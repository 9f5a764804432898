#include "builder/compression/lzma2_encoder.h"

#include <algorithm>
#include <stdexcept>

#include "builder/compression/lzma_parser.h"
#include "builder/compression/lzma_symbol_coder.h"
#include "builder/compression/match_finder.h"

namespace zel {

namespace {

using lzma::ParsedOp;

// An LZMA chunk holds at most 2 MiB of data and 64 KiB of compressed bytes;
// an uncompressed chunk at most 64 KiB.
constexpr std::size_t kChunkDataMax = std::size_t{1} << 21;
constexpr std::size_t kChunkPackedMax = std::size_t{1} << 16;
constexpr std::size_t kStoredChunkMax = std::size_t{1} << 16;
// Room left in a chunk for the largest symbol (well under 32 bytes).
constexpr std::size_t kSymbolMargin = 64;
constexpr std::uint32_t kMinDictionary = 4096;

enum Control : std::uint8_t {
    kEnd = 0x00,
    kStoredResetDictionary = 0x01,
    kStored = 0x02,
    kLzma = 0x80,               // continues state and probabilities
    kLzmaResetState = 0xA0,     // starts from fresh probabilities
    kLzmaNewProperties = 0xC0,  // fresh probabilities, properties byte follows
    kLzmaResetAll = 0xE0,       // and an empty dictionary
};

class ChunkWriter {
public:
    explicit ChunkWriter(std::vector<std::uint8_t>& out) : out_(out) {}

    void Lzma(std::span<const std::uint8_t> packed, std::size_t dataSize) {
        std::uint8_t control = kLzma;
        if (needDictionaryReset_) {
            control = kLzmaResetAll;
        } else if (needProperties_) {
            control = kLzmaNewProperties;
        } else if (needStateReset_) {
            control = kLzmaResetState;
        }
        const std::size_t u = dataSize - 1;
        const std::size_t c = packed.size() - 1;
        out_.push_back(static_cast<std::uint8_t>(control | (u >> 16)));
        out_.push_back(static_cast<std::uint8_t>(u >> 8));
        out_.push_back(static_cast<std::uint8_t>(u));
        out_.push_back(static_cast<std::uint8_t>(c >> 8));
        out_.push_back(static_cast<std::uint8_t>(c));
        if (control >= kLzmaNewProperties) out_.push_back(lzma::kPropertiesByte);
        out_.insert(out_.end(), packed.begin(), packed.end());
        needDictionaryReset_ = needProperties_ = needStateReset_ = false;
    }

    // Stored chunks leave the decoder's model where it was, but the encoder
    // has moved on, so the next LZMA chunk starts from fresh probabilities.
    void Stored(std::span<const std::uint8_t> data) {
        while (!data.empty()) {
            const std::size_t n = std::min(data.size(), kStoredChunkMax);
            out_.push_back(needDictionaryReset_ ? kStoredResetDictionary : kStored);
            out_.push_back(static_cast<std::uint8_t>((n - 1) >> 8));
            out_.push_back(static_cast<std::uint8_t>(n - 1));
            out_.insert(out_.end(), data.begin(), data.begin() + static_cast<std::ptrdiff_t>(n));
            data = data.subspan(n);
            needDictionaryReset_ = false;
        }
        needStateReset_ = true;
    }

    bool NeedStateReset() const { return needStateReset_; }
    std::size_t LzmaHeaderSize() const { return needProperties_ ? 6 : 5; }
    static std::size_t StoredSize(std::size_t dataSize) {
        return dataSize + 3 * ((dataSize + kStoredChunkMax - 1) / kStoredChunkMax);
    }

private:
    std::vector<std::uint8_t>& out_;
    bool needDictionaryReset_ = true;
    bool needProperties_ = true;
    bool needStateReset_ = true;
};

// Codes one parsed symbol by its distance: as a rep match where the distance
// is one of the four recent ones (the parser's choice, or the same bytes after
// a state reset), else as a new match; a short rep that no longer fits becomes a literal.
void EncodeOp(lzma::SymbolCoder& coder, const std::uint8_t* data, std::size_t pos, const ParsedOp& op) {
    if (op.distance == ParsedOp::kLiteral) {
        coder.EncodeLiteral(data, pos);
        return;
    }
    const auto& reps = coder.State().reps;
    for (int i = 0; i < 4; ++i) {
        if (reps[i] == op.distance && (op.length > 1 || i == 0)) {
            coder.EncodeRep(i, op.length, pos);
            return;
        }
    }
    if (op.length == 1) {
        coder.EncodeLiteral(data, pos);
    } else {
        coder.EncodeMatch(op.distance, op.length, pos);
    }
}

}  // namespace

std::vector<std::uint8_t> EncodeLzma2(std::span<const std::uint8_t> input, const Lzma2EncoderOptions& options) {
    // Positions are 32-bit, one value kept free to mark "none".
    if (input.size() >= 0xFFFFFFFFu) throw std::length_error("LZMA2 block of 4 GiB or more");
    std::vector<std::uint8_t> out;
    if (input.empty()) {
        out.push_back(kEnd);
        return out;
    }
    const std::uint32_t niceLength = std::clamp(options.niceLength, 8u, lzma::kMatchLenMax);
    lzma::MatchFinder finder(input, std::max(options.dictionarySize, kMinDictionary), niceLength, options.searchDepth);
    lzma::SymbolCoder coder;
    lzma::Parser parser(input, finder, coder, niceLength);
    ChunkWriter writer(out);
    out.reserve(input.size() / 3 + 64);

    std::span<const ParsedOp> ops;
    std::size_t nextOp = 0;
    std::size_t pos = 0;
    while (pos < input.size()) {
        const std::size_t chunkStart = pos;
        if (writer.NeedStateReset()) coder.Reset(niceLength);
        lzma::RangeEncoder& rc = coder.Rc();
        rc.Reset();
        while (pos < input.size()) {
            if (nextOp == ops.size()) {
                coder.RefreshPrices();
                ops = parser.Next(pos);
                nextOp = 0;
            }
            const ParsedOp& op = ops[nextOp];
            if (pos - chunkStart + op.length > kChunkDataMax || rc.PendingSize() + kSymbolMargin > kChunkPackedMax) {
                break;
            }
            EncodeOp(coder, input.data(), pos, op);
            pos += op.length;
            ++nextOp;
        }
        rc.Flush();
        const std::size_t dataSize = pos - chunkStart;
        const std::span<const std::uint8_t> data = input.subspan(chunkStart, dataSize);
        if (rc.Bytes().size() + writer.LzmaHeaderSize() < ChunkWriter::StoredSize(dataSize)) {
            writer.Lzma(rc.Bytes(), dataSize);
        } else {
            writer.Stored(data);
        }
    }
    out.push_back(kEnd);
    return out;
}

std::uint8_t Lzma2DictionaryProperty(std::uint32_t dictionarySize) {
    // Property p states (2 | (p & 1)) << (p / 2 + 11) bytes; 40 states 4 GiB - 1.
    for (std::uint8_t p = 0; p < 40; ++p) {
        const std::uint64_t size = std::uint64_t{2 | (p & 1u)} << (p / 2 + 11);
        if (size >= dictionarySize) return p;
    }
    return 40;
}

}  // namespace zel
