#include "payload/lzma/lzma2_decoder.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "payload/lzma/lzma_decoder.h"
#include "payload/lzma/x86_branch_filter.h"

namespace zel {
namespace {

// The largest piece handed to `out` at once, and the filter's work buffer.
constexpr std::size_t kMaxPiece = std::size_t{1} << 20;
constexpr std::size_t kFilterBuffer = std::size_t{64} << 10;

// Chunk control bytes.
constexpr std::uint8_t kEndOfStream = 0x00;
constexpr std::uint8_t kStoredResetDictionary = 0x01;
constexpr std::uint8_t kStored = 0x02;
constexpr std::uint8_t kLzma = 0x80;                 // no reset
constexpr std::uint8_t kLzmaResetState = 0xA0;       // new probabilities and state
constexpr std::uint8_t kLzmaNewProperties = 0xC0;    // ... and a new lc/lp/pb byte
constexpr std::uint8_t kLzmaResetDictionary = 0xE0;  // ... and an empty dictionary

class Lzma2Block {
public:
    Lzma2Block(std::span<const std::uint8_t> input, std::size_t dictionarySize, bool x86Filter, std::uint64_t size,
               const std::function<bool(std::span<const std::uint8_t>)>& out)
        : input_(input),
          size_(size),
          out_(out),
          // Not zeroed: nothing is read before it is written, so a large
          // dictionary costs no up-front pass over its memory.
          buffer_(std::make_unique_for_overwrite<std::uint8_t[]>(dictionarySize)) {
        dictionary_.buffer = buffer_.get();
        dictionary_.size = dictionarySize;
        if (x86Filter) {
            filter_.emplace(X86BranchFilter::Direction::kDecode);
            filterBuffer_.resize(kFilterBuffer);
        }
        lzma_ = std::make_unique<LzmaDecoder>();
    }

    bool Run() {
        // The first chunk must start an empty dictionary, and the first LZMA
        // chunk after a dictionary reset must set the properties.
        bool needDictionaryReset = true;
        bool needProperties = true;
        for (;;) {
            if (at_ >= input_.size()) return false;
            const std::uint8_t control = input_[at_++];
            if (control == kEndOfStream) break;
            if (control >= kLzmaResetDictionary || control == kStoredResetDictionary) {
                if (!ResetDictionary()) return false;
                needDictionaryReset = false;
                needProperties = true;
            } else if (needDictionaryReset) {
                return false;
            }

            if (control >= kLzma) {
                const std::size_t header = control >= kLzmaNewProperties ? 5 : 4;
                if (input_.size() - at_ < header) return false;
                const std::uint8_t* h = input_.data() + at_;
                const std::size_t unpacked = (std::size_t{control & 0x1Fu} << 16 | std::size_t{h[0]} << 8 | h[1]) + 1;
                const std::size_t packed = (std::size_t{h[2]} << 8 | h[3]) + 1;
                if (control >= kLzmaNewProperties) {
                    if (!lzma_->SetProperties(h[4])) return false;
                    lzma_->ResetState();
                    needProperties = false;
                } else if (needProperties) {
                    return false;
                } else if (control >= kLzmaResetState) {
                    lzma_->ResetState();
                }
                at_ += header;
                if (input_.size() - at_ < packed || unpacked > size_ - produced_) return false;
                if (!DecodeLzmaChunk(input_.subspan(at_, packed), unpacked)) return false;
                at_ += packed;
            } else {
                if (control > kStored || input_.size() - at_ < 2) return false;
                const std::size_t stored = (std::size_t{input_[at_]} << 8 | input_[at_ + 1]) + 1;
                at_ += 2;
                if (input_.size() - at_ < stored || stored > size_ - produced_) return false;
                CopyStored(input_.subspan(at_, stored));
                at_ += stored;
            }
            if (stopped_) return false;
        }
        if (at_ != input_.size() || produced_ != size_) return false;
        return Flush() && FinishFilter();
    }

private:
    // The output so far goes out before the dictionary starts empty.
    bool ResetDictionary() {
        if (!Flush()) return false;
        dictionary_.pos = 0;
        dictionary_.full = 0;
        flushed_ = 0;
        dictionary_.buffer[dictionary_.size - 1] = 0;  // the byte "before" position 0 that the first literal sees
        return true;
    }

    // Makes room for at least one byte: hands on what is pending when a piece
    // is complete or the ring is at its end, and wraps the ring.
    bool MakeRoom() {
        if (dictionary_.pos - flushed_ < kMaxPiece && dictionary_.pos < dictionary_.size) return true;
        if (!Flush()) return false;
        if (dictionary_.pos == dictionary_.size) {
            dictionary_.pos = 0;
            flushed_ = 0;
        }
        return true;
    }

    // How far the next step may write: to the ring's end or a full piece.
    std::size_t StepLimit(std::size_t left) const {
        return std::min({dictionary_.size, dictionary_.pos + left, flushed_ + kMaxPiece});
    }

    bool DecodeLzmaChunk(std::span<const std::uint8_t> packed, std::size_t unpacked) {
        if (!lzma_->StartChunk(packed)) return false;
        std::size_t left = unpacked;
        while (left > 0) {
            if (!MakeRoom()) return false;
            const std::size_t before = dictionary_.pos;
            if (!lzma_->Decode(dictionary_, StepLimit(left))) return false;
            left -= dictionary_.pos - before;
        }
        produced_ += unpacked;
        return lzma_->FinishChunk();
    }

    void CopyStored(std::span<const std::uint8_t> bytes) {
        produced_ += bytes.size();
        while (!bytes.empty()) {
            if (!MakeRoom()) return;
            const std::size_t count = StepLimit(bytes.size()) - dictionary_.pos;
            std::memcpy(dictionary_.buffer + dictionary_.pos, bytes.data(), count);
            dictionary_.pos += count;
            dictionary_.full = std::min(dictionary_.full + count, dictionary_.size);
            bytes = bytes.subspan(count);
        }
    }

    // Hands on the bytes decoded since the last flush.
    bool Flush() {
        if (stopped_) return false;
        const std::span<const std::uint8_t> pending(dictionary_.buffer + flushed_, dictionary_.pos - flushed_);
        flushed_ = dictionary_.pos;
        if (pending.empty()) return true;
        if (!(filter_ ? Filter(pending) : out_(pending))) stopped_ = true;
        return !stopped_;
    }

    // The dictionary keeps the filtered bytes that matches refer to, so the
    // filter works on a copy; up to 4 bytes wait there for the next ones.
    bool Filter(std::span<const std::uint8_t> bytes) {
        while (!bytes.empty()) {
            const std::size_t count = std::min(bytes.size(), filterBuffer_.size() - filterPending_);
            std::memcpy(filterBuffer_.data() + filterPending_, bytes.data(), count);
            bytes = bytes.subspan(count);
            const std::size_t total = filterPending_ + count;
            const std::size_t done = filter_->Convert(std::span(filterBuffer_.data(), total));
            if (done != 0 && !out_(std::span<const std::uint8_t>(filterBuffer_.data(), done))) return false;
            std::memmove(filterBuffer_.data(), filterBuffer_.data() + done, total - done);
            filterPending_ = total - done;
        }
        return true;
    }

    // The last bytes the filter kept stay as they are.
    bool FinishFilter() {
        if (!filter_ || filterPending_ == 0) return true;
        return out_(std::span<const std::uint8_t>(filterBuffer_.data(), filterPending_));
    }

    std::span<const std::uint8_t> input_;
    std::size_t at_ = 0;
    std::uint64_t size_;
    std::uint64_t produced_ = 0;
    const std::function<bool(std::span<const std::uint8_t>)>& out_;
    std::unique_ptr<std::uint8_t[]> buffer_;
    LzmaDictionary dictionary_;
    std::size_t flushed_ = 0;  // dictionary position up to which `out_` has the bytes
    bool stopped_ = false;
    std::unique_ptr<LzmaDecoder> lzma_;  // 28 KiB of models: on the heap, not the stack
    std::optional<X86BranchFilter> filter_;
    std::vector<std::uint8_t> filterBuffer_;
    std::size_t filterPending_ = 0;
};

}  // namespace

std::optional<std::uint32_t> Lzma2DictionarySize(std::uint8_t property) noexcept {
    if (property > 40) return std::nullopt;
    if (property == 40) return 0xFFFFFFFFu;
    return (2u | (property & 1u)) << (property / 2 + 11);
}

bool DecodeLzma2Block(std::span<const std::uint8_t> input, std::uint8_t dictionaryProperty, bool x86Filter,
                      std::uint64_t size, const std::function<bool(std::span<const std::uint8_t>)>& out) {
    const std::optional<std::uint32_t> dictionarySize = Lzma2DictionarySize(dictionaryProperty);
    if (!dictionarySize) return false;
    // A dictionary larger than the output is never used beyond it. Multiples of
    // 16 keep positions' low bits (the lp and pb contexts) right across wraps.
    const std::uint64_t wanted = std::max<std::uint64_t>(std::min<std::uint64_t>(*dictionarySize, size), 1);
    const std::uint64_t rounded = (wanted + 15) & ~std::uint64_t{15};
    if (rounded > SIZE_MAX) return false;
    Lzma2Block block(input, static_cast<std::size_t>(rounded), x86Filter, size, out);
    return block.Run();
}

}  // namespace zel
