#include "builder/compression/deflate_encoder.h"

#include <zlib.h>

#include <algorithm>
#include <limits>
#include <stdexcept>
#include <vector>

namespace zel {

struct DeflateEncoder::State {
    z_stream stream{};
    std::vector<std::uint8_t> buffer = std::vector<std::uint8_t>(256 * 1024);
};

DeflateEncoder::DeflateEncoder(Sink out) : state_(std::make_unique<State>()), out_(std::move(out)) {
    // Level 9, the largest window and hash: the smallest output zlib gives.
    if (::deflateInit2(&state_->stream, 9, Z_DEFLATED, -MAX_WBITS, 9, Z_DEFAULT_STRATEGY) != Z_OK) {
        throw std::runtime_error("cannot set up deflate (out of memory?)");
    }
}

DeflateEncoder::~DeflateEncoder() { ::deflateEnd(&state_->stream); }

void DeflateEncoder::Add(std::span<const std::uint8_t> input) { Run(input, false); }

void DeflateEncoder::Finish() { Run({}, true); }

void DeflateEncoder::Run(std::span<const std::uint8_t> input, bool finish) {
    z_stream& z = state_->stream;
    std::vector<std::uint8_t>& buffer = state_->buffer;
    for (;;) {
        if (z.avail_in == 0 && !input.empty()) {
            const std::size_t n = std::min<std::size_t>(input.size(), std::numeric_limits<uInt>::max());
            z.next_in = const_cast<Bytef*>(input.data());
            z.avail_in = static_cast<uInt>(n);
            input = input.subspan(n);
        }
        const bool last = finish && input.empty();
        z.next_out = buffer.data();
        z.avail_out = static_cast<uInt>(buffer.size());
        const int status = ::deflate(&z, last ? Z_FINISH : Z_NO_FLUSH);
        if (status == Z_STREAM_ERROR) throw std::runtime_error("deflate failed");
        const std::size_t produced = buffer.size() - z.avail_out;
        if (produced > 0) out_({buffer.data(), produced});
        if (last ? status == Z_STREAM_END : (z.avail_in == 0 && input.empty() && z.avail_out != 0)) return;
    }
}

}  // namespace zel
