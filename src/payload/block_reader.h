// The original bytes of payload blocks: a stored block's are its stored bytes,
// a compressed block's are decoded in chunks of bounded size, so that no entry
// is ever held whole in memory. Portable.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>

#include "payload/payload_archive.h"

namespace zel {

// Decoded bytes are handed out in chunks of at most this size. A stored
// block's bytes are views of the archive itself, of up to 1 GiB each: a file
// is then written with as few writes as before.
inline constexpr std::size_t kBlockChunkSize = 1 << 20;
inline constexpr std::size_t kStoredChunkSize = 1 << 30;

// Takes the next chunk of original bytes, a view valid during the call only;
// false stops the reading.
using ByteChunkSink = std::function<bool(std::span<const std::uint8_t>)>;

enum class BlockRead {
    Done,       // every byte asked for was handed out
    Malformed,  // the stored bytes do not decode to the block's original bytes
    Stopped,    // the sink returned false
};

// Hands out the original bytes [offset, offset + size) of the block, in order.
// A compressed block is decoded from its start; when the range reaches the
// block's end, the stored bytes must decode to exactly originalSize bytes and
// end where the block ends. A stream that lies in any way is Malformed, never
// read outside its stored bytes. The block's stored bytes must lie within
// archive, as ParsePayloadArchive ensures, and the range within its original
// bytes.
BlockRead ReadBlockRange(std::span<const std::uint8_t> archive, const PayloadBlock& block, std::uint64_t offset,
                         std::uint64_t size, const ByteChunkSink& out);

}  // namespace zel
