// Raw deflate (RFC 1951, no zlib header) at zlib's level 9, fed in chunks. The
// settings are fixed so that the same input gives the same bytes from every
// builder, on Linux and on Windows alike. Portable.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>

namespace zel {

class DeflateEncoder {
public:
    // Takes compressed bytes as they come, a view valid during the call only.
    using Sink = std::function<void(std::span<const std::uint8_t>)>;

    // Throws std::runtime_error when zlib cannot be set up (out of memory).
    explicit DeflateEncoder(Sink out);
    ~DeflateEncoder();
    DeflateEncoder(const DeflateEncoder&) = delete;
    DeflateEncoder& operator=(const DeflateEncoder&) = delete;

    void Add(std::span<const std::uint8_t> input);
    // Ends the stream; nothing may be added afterwards.
    void Finish();

private:
    struct State;
    void Run(std::span<const std::uint8_t> input, bool finish);

    std::unique_ptr<State> state_;
    Sink out_;
};

}  // namespace zel
