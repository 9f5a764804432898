#include "payload/payload.h"

#include <filesystem>
#include <fstream>
#include <span>
#include <system_error>

#include "payload/payload_resource.h"
#include "util/unicode.h"

namespace zel {

namespace {

// The bytes of a resource of the module, empty when it is missing or empty.
std::span<const std::uint8_t> FindResourceBytes(HMODULE module, WORD id) {
    HRSRC resource = ::FindResourceW(module, MAKEINTRESOURCEW(id), RT_RCDATA);
    if (!resource) return {};
    const DWORD size = ::SizeofResource(module, resource);
    if (size == 0) return {};
    HGLOBAL loaded = ::LoadResource(module, resource);
    if (!loaded) return {};
    const auto* bytes = static_cast<const std::uint8_t*>(::LockResource(loaded));
    if (!bytes) return {};
    return {bytes, size};
}

}  // namespace

bool ReadPayload(HMODULE module, MappedPayload& payload) {
    payload.data = {};
    payload.archive = PayloadArchive{};
    // The resource is read where the loader mapped it: a copy would put the whole
    // payload into the process's private memory a second time.
    const std::span<const std::uint8_t> bytes = FindResourceBytes(module, static_cast<WORD>(kPayloadResourceId));
    if (bytes.empty() || !ParsePayloadArchive(bytes, payload.archive)) return false;
    payload.data = bytes;
    return true;
}

bool ReadPayloadDigests(HMODULE module, MappedPayload& payload) {
    payload.digests.reset();
    if (!::FindResourceW(module, MAKEINTRESOURCEW(kPayloadDigestsResourceId), RT_RCDATA)) return true;
    PayloadDigests read;
    if (!ParsePayloadDigests(FindResourceBytes(module, static_cast<WORD>(kPayloadDigestsResourceId)), payload.archive,
                             read)) {
        return false;
    }
    if (!PayloadDirectoryIntact(payload.data, payload.archive, read)) return false;
    payload.digests = std::move(read);
    return true;
}

bool ExtractPayload(const std::wstring& tempDir, const MappedPayload& payload,
                    const std::vector<std::size_t>& entries) {
    // An absolute name, a drive or a ".." element would place a file outside the
    // temp folder; such an archive is refused before anything is written.
    for (const std::size_t index : entries) {
        if (index >= payload.entries().size() || !IsSafeEntryName(payload.entries()[index].name)) return false;
    }

    const std::filesystem::path folder(tempDir);
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) return false;

    for (const std::size_t i : entries) {
        const PayloadEntry& entry = payload.entries()[i];
        const std::filesystem::path target = folder / Utf8ToWide(entry.name);
        std::filesystem::create_directories(target.parent_path(), error);
        if (error) return false;

        std::ofstream out(target, std::ios::out | std::ios::binary | std::ios::trunc);
        if (!out.is_open()) return false;
        const BlockRead read = payload.ReadEntry(i, [&](std::span<const std::uint8_t> chunk) {
            out.write(reinterpret_cast<const char*>(chunk.data()), static_cast<std::streamsize>(chunk.size()));
            return static_cast<bool>(out);
        });
        // Closed before the check so that a failure to write the buffered tail of
        // a small file, or to close it, is seen as well.
        out.close();
        if (read != BlockRead::Done || !out) return false;
    }
    return true;
}

}  // namespace zel
