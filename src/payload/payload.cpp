#include "payload/payload.h"

#include <filesystem>
#include <fstream>
#include <span>
#include <system_error>

#include "config/text_encoding.h"
#include "payload/payload_resource.h"

namespace zel {

bool ReadPayload(HMODULE module, std::vector<std::uint8_t>& payloadData, std::vector<PayloadEntry>& payloadEntries) {
    payloadData.clear();
    payloadEntries.clear();
    HRSRC resource = ::FindResourceW(module, MAKEINTRESOURCEW(IDR_PAYLOAD), RT_RCDATA);
    if (!resource) return false;
    const DWORD size = ::SizeofResource(module, resource);
    if (size == 0) return false;
    HGLOBAL loaded = ::LoadResource(module, resource);
    if (!loaded) return false;
    const auto* bytes = static_cast<const std::uint8_t*>(::LockResource(loaded));
    if (!bytes) return false;

    // The copy is what the run keeps; the mapped resource is not read again.
    payloadData.assign(bytes, bytes + size);
    if (!ParsePayloadArchive(payloadData, payloadEntries)) {
        payloadData.clear();
        return false;
    }
    return true;
}

bool ExtractPayload(const std::wstring& tempDir, const std::vector<std::uint8_t>& payloadData,
                    const std::vector<PayloadEntry>& payloadEntries) {
    // An absolute name, a drive or a ".." element would place a file outside the
    // temp folder; such an archive is refused before anything is written.
    for (const PayloadEntry& entry : payloadEntries) {
        if (!IsSafeEntryName(entry.name)) return false;
        if (entry.offset > payloadData.size() || entry.size > payloadData.size() - entry.offset) return false;
    }

    const std::filesystem::path folder(tempDir);
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) return false;

    for (const PayloadEntry& entry : payloadEntries) {
        const std::filesystem::path target = folder / Utf8ToWide(entry.name);
        std::filesystem::create_directories(target.parent_path(), error);
        if (error) return false;

        std::ofstream out(target, std::ios::out | std::ios::binary | std::ios::trunc);
        if (!out.is_open()) return false;
        // One write straight from the archive copy: large entries go to the file
        // without passing through the stream's buffer.
        out.write(reinterpret_cast<const char*>(payloadData.data() + entry.offset),
                  static_cast<std::streamsize>(entry.size));
        // Closed before the check so that a failure to write the buffered tail of
        // a small file, or to close it, is seen as well.
        out.close();
        if (!out) return false;
    }
    return true;
}

}  // namespace zel
