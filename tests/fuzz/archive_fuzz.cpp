// libFuzzer target: the payload archive reader on arbitrary bytes. Every entry
// it accepts must lie within the input; the name check must not crash on any
// name it yields.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "payload/payload_archive.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<zel::PayloadEntry> entries;
    if (!zel::ParsePayloadArchive(std::span<const std::uint8_t>(data, size), entries)) {
        if (!entries.empty()) std::abort();
        return 0;
    }
    for (const zel::PayloadEntry& entry : entries) {
        if (entry.offset > size || entry.size > size - entry.offset) std::abort();
        (void)zel::IsSafeEntryName(entry.name);
    }
    return 0;
}
