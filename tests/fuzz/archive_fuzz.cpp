// libFuzzer target: the payload archive reader on arbitrary bytes (both
// versions), the walk over the product entries it yields, and the decoding of
// every entry's block. Every block it accepts must lie within the input and
// every entry within its block; the name checks must not crash on any name;
// every file the walk gives must be a product entry whose name the run-time
// check accepts, named by a relative path that stays below the install folder;
// decoding never hands out more than the entry's size.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "payload/block_reader.h"
#include "payload/payload_archive.h"
#include "payload/payload_files.h"

namespace {

bool StaysBelow(const std::wstring& relative) {
    if (relative.empty() || relative.front() == L'\\') return false;
    std::size_t start = 0;
    while (start <= relative.size()) {
        std::size_t end = relative.find(L'\\', start);
        if (end == std::wstring::npos) end = relative.size();
        const std::wstring element = relative.substr(start, end - start);
        if (element.empty() || element == L"." || element == L".." || element.find(L':') != std::wstring::npos ||
            element.find(L'/') != std::wstring::npos) {
            return false;
        }
        start = end + 1;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    zel::PayloadArchive archive;
    if (!zel::ParsePayloadArchive(bytes, archive)) {
        if (!archive.entries.empty() || !archive.blocks.empty()) std::abort();
        return 0;
    }
    for (const zel::PayloadBlock& block : archive.blocks) {
        if (block.offset > size || block.storedSize > size - block.offset) std::abort();
    }
    const std::vector<zel::PayloadEntry>& entries = archive.entries;
    for (const zel::PayloadEntry& entry : entries) {
        if (entry.block >= archive.blocks.size()) std::abort();
        const zel::PayloadBlock& block = archive.blocks[entry.block];
        if (entry.offset > block.originalSize || entry.size > block.originalSize - entry.offset) std::abort();
        (void)zel::IsSafeEntryName(entry.name);
        // Small entries only: a claimed size of gigabytes would only take time.
        if (entry.size > (1u << 20)) continue;
        std::uint64_t handed = 0;
        const zel::BlockRead read =
            zel::ReadBlockRange(bytes, block, entry.offset, entry.size, [&](std::span<const std::uint8_t> chunk) {
                handed += chunk.size();
                return true;
            });
        if (handed > entry.size || (read == zel::BlockRead::Done && handed != entry.size)) std::abort();
    }
    const std::size_t unsafe = zel::FirstUnsafeProductEntry(entries);
    if (unsafe > entries.size()) std::abort();
    if (unsafe < entries.size() && zel::IsSafeProductFileName(entries[unsafe].name)) std::abort();
    for (const zel::PayloadFile& file : zel::ProductFilesInWalkOrder(entries)) {
        if (file.entry >= entries.size()) std::abort();
        if (!zel::IsSafeProductFileName(entries[file.entry].name)) std::abort();
        if (!StaysBelow(file.relative)) std::abort();
    }
    (void)zel::StartupEntries(entries);
    return 0;
}
