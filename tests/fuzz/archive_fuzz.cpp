// libFuzzer target: the payload archive reader on arbitrary bytes, and the walk
// over the product entries it yields. Every entry it accepts must lie within
// the input; the name checks must not crash on any name; every file the walk
// gives must be a product entry whose name the run-time check accepts, named
// by a relative path that stays below the install folder.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

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
    std::vector<zel::PayloadEntry> entries;
    if (!zel::ParsePayloadArchive(std::span<const std::uint8_t>(data, size), entries)) {
        if (!entries.empty()) std::abort();
        return 0;
    }
    for (const zel::PayloadEntry& entry : entries) {
        if (entry.offset > size || entry.size > size - entry.offset) std::abort();
        (void)zel::IsSafeEntryName(entry.name);
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
