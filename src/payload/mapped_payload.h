// The payload as setup.exe holds it for the whole run: the archive where the
// loader mapped the module's resource (nothing is copied), its parsed entries,
// and their digests when the builder stored them. Portable.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "payload/payload_archive.h"
#include "payload/payload_digest.h"

namespace zel {

struct MappedPayload {
    std::span<const std::uint8_t> data;     // the whole archive, valid while the module is loaded
    std::vector<PayloadEntry> entries;      // every entry lies within data
    std::optional<PayloadDigests> digests;  // empty: built without digests, installed unchecked

    // The entry's data matches its digest; always true without digests.
    bool EntryIntact(std::size_t index) const noexcept { return PayloadEntryIntact(data, entries, Digests(), index); }
    // Every entry stored under this name matches its digest (see PayloadEntriesNamedIntact).
    bool EntriesNamedIntact(std::string_view name) const {
        return PayloadEntriesNamedIntact(data, entries, Digests(), name);
    }
    // The bytes of an entry.
    std::span<const std::uint8_t> EntryData(std::size_t index) const noexcept {
        const PayloadEntry& entry = entries[index];
        return data.subspan(static_cast<std::size_t>(entry.offset), static_cast<std::size_t>(entry.size));
    }

private:
    const PayloadDigests* Digests() const noexcept { return digests ? &*digests : nullptr; }
};

}  // namespace zel
