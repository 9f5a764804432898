// The payload as setup.exe holds it for the whole run: the archive where the
// loader mapped the module's resource (nothing is copied), its parsed blocks
// and entries, and their digests when the builder stored them. Portable.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "payload/block_reader.h"
#include "payload/payload_archive.h"
#include "payload/payload_digest.h"

namespace zel {

struct MappedPayload {
    std::span<const std::uint8_t> data;     // the whole archive, valid while the module is loaded
    PayloadArchive archive;                 // every block lies within data
    std::optional<PayloadDigests> digests;  // empty: built without digests, installed unchecked

    const std::vector<PayloadEntry>& entries() const noexcept { return archive.entries; }

    // The stored bytes of the block match its digest; always true without digests.
    bool BlockIntact(std::size_t block) const noexcept { return PayloadBlockIntact(data, archive, Digests(), block); }
    // Every entry stored under this name matches its digest (see PayloadEntriesNamedIntact).
    bool EntriesNamedIntact(std::string_view name) const {
        return PayloadEntriesNamedIntact(data, archive, Digests(), name);
    }
    // The original bytes of an entry, in chunks (see ReadBlockRange).
    BlockRead ReadEntry(std::size_t index, const ByteChunkSink& out) const {
        const PayloadEntry& entry = archive.entries[index];
        return ReadBlockRange(data, archive.blocks[entry.block], entry.offset, entry.size, out);
    }

private:
    const PayloadDigests* Digests() const noexcept { return digests ? &*digests : nullptr; }
};

}  // namespace zel
