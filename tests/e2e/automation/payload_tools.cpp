#include "automation/payload_tools.h"

#include <windows.h>

#include <algorithm>
#include <cstring>

#include "payload/payload_archive.h"
#include "payload/payload_digest.h"
#include "payload/xxh64.h"
#include "util/unique_handle.h"

namespace zel::e2e {

namespace fs = std::filesystem;

namespace {

// BeginUpdateResourceW's handle is released by EndUpdateResourceW, which either
// writes or discards the changes.
class ResourceUpdate {
public:
    explicit ResourceUpdate(const fs::path& exe) : handle_(::BeginUpdateResourceW(exe.c_str(), FALSE)) {}
    ~ResourceUpdate() {
        if (handle_) ::EndUpdateResourceW(handle_, TRUE);
    }
    ResourceUpdate(const ResourceUpdate&) = delete;
    ResourceUpdate& operator=(const ResourceUpdate&) = delete;
    HANDLE get() const { return handle_; }
    bool Commit() { return ::EndUpdateResourceW(std::exchange(handle_, nullptr), FALSE) != FALSE; }

private:
    HANDLE handle_;
};

}  // namespace

std::vector<ArchiveFile> ReadProductFolder(const fs::path& folder) {
    std::vector<ArchiveFile> files;
    for (const auto& [relative, path] : ListFiles(folder)) {
        std::wstring name = relative;
        std::replace(name.begin(), name.end(), L'\\', L'/');
        const Bytes utf8 = Utf8Bytes(name);
        files.push_back({std::string(utf8.begin(), utf8.end()), ReadFileBytes(path).value_or(Bytes{})});
    }
    return files;
}

Bytes BuildArchive(const std::vector<ArchiveFile>& files) {
    std::vector<ArchiveItem> items;
    for (const ArchiveFile& file : files) items.push_back({file.name, file.data.size()});
    Bytes archive = BuildArchiveDirectory(items);
    for (const ArchiveFile& file : files) archive.insert(archive.end(), file.data.begin(), file.data.end());
    return archive;
}

bool EmbedPayload(const fs::path& stub, const fs::path& output, const Bytes& archive, std::wstring& errorText) {
    std::error_code error;
    fs::create_directories(output.parent_path(), error);
    if (!::CopyFileW(stub.c_str(), output.c_str(), FALSE)) {
        errorText = L"cannot copy " + stub.wstring() + L" to " + output.wstring();
        return false;
    }
    ResourceUpdate update(output);
    if (!update.get()) {
        errorText = L"BeginUpdateResourceW failed: " + std::to_wstring(::GetLastError());
        return false;
    }
    if (!::UpdateResourceW(update.get(), RT_RCDATA, MAKEINTRESOURCEW(101), MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL),
                           const_cast<std::uint8_t*>(archive.data()), static_cast<DWORD>(archive.size()))) {
        errorText = L"UpdateResourceW failed: " + std::to_wstring(::GetLastError());
        return false;
    }
    if (!update.Commit()) {
        errorText = L"EndUpdateResourceW failed: " + std::to_wstring(::GetLastError());
        return false;
    }
    return true;
}

std::optional<Bytes> ReadPayloadResource(const fs::path& exe) {
    UniqueModule module(
        ::LoadLibraryExW(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
    if (!module) return std::nullopt;
    HRSRC resource = ::FindResourceW(module.get(), MAKEINTRESOURCEW(101), RT_RCDATA);
    if (!resource) return std::nullopt;
    const DWORD size = ::SizeofResource(module.get(), resource);
    HGLOBAL loaded = ::LoadResource(module.get(), resource);
    const void* data = loaded ? ::LockResource(loaded) : nullptr;
    if (!data || size == 0) return std::nullopt;
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    return Bytes(bytes, bytes + size);
}

namespace {

// Where the payload archive lies in the file of a built setup.exe: its first
// bytes (magic, version, count, first directory entry) occur in the file only
// where the resource lies; the program's own copy of the magic stands alone.
// Fills file and payload; returns the archive's offset in the file, or npos.
std::size_t PayloadInFile(const fs::path& exe, Bytes& file, Bytes& payload, std::wstring& errorText) {
    std::optional<Bytes> resource = ReadPayloadResource(exe);
    std::optional<Bytes> bytes = ReadFileBytes(exe);
    if (!resource || !bytes) {
        errorText = L"cannot read the payload of " + exe.wstring();
        return std::string::npos;
    }
    file = std::move(*bytes);
    payload = std::move(*resource);
    const std::size_t probe = std::min<std::size_t>(payload.size(), 64);
    const auto found = std::search(file.begin(), file.end(), payload.begin(), payload.begin() + probe);
    if (found == file.end() ||
        std::search(found + 1, file.end(), payload.begin(), payload.begin() + probe) != file.end()) {
        errorText = L"the payload is not found exactly once in " + exe.wstring();
        return std::string::npos;
    }
    return static_cast<std::size_t>(found - file.begin());
}

bool WriteChanged(const fs::path& output, const Bytes& file, std::wstring& errorText) {
    if (WriteFileBytes(output, file)) return true;
    errorText = L"cannot write " + output.wstring();
    return false;
}

}  // namespace

bool WriteWithCorruptMagic(const fs::path& exe, const fs::path& output, std::wstring& errorText) {
    Bytes file, payload;
    const std::size_t at = PayloadInFile(exe, file, payload, errorText);
    if (at == std::string::npos) return false;
    file[at + 7] = 'Q';
    return WriteChanged(output, file, errorText);
}

bool WriteWithFlippedByte(const fs::path& exe, const fs::path& output, const std::string& entryName,
                          std::wstring& errorText) {
    Bytes file, payload;
    const std::size_t at = PayloadInFile(exe, file, payload, errorText);
    if (at == std::string::npos) return false;
    PayloadArchive archive;
    if (!ParsePayloadArchive(payload, archive)) {
        errorText = L"the payload of " + exe.wstring() + L" cannot be read";
        return false;
    }
    // A byte of the entry's stored bytes: of its compressed block, when it has one.
    for (const PayloadEntry& entry : archive.entries) {
        const PayloadBlock& block = archive.blocks[entry.block];
        if (entry.name != entryName || block.storedSize == 0) continue;
        file[at + block.offset + block.storedSize / 2] ^= 0x01;
        return WriteChanged(output, file, errorText);
    }
    errorText = L"no entry with data named " + fs::path(std::u8string(entryName.begin(), entryName.end())).wstring();
    return false;
}

bool WriteWithRenamedEntry(const fs::path& exe, const fs::path& output, const std::string& from, const std::string& to,
                           std::wstring& errorText) {
    Bytes file, payload;
    const std::size_t at = PayloadInFile(exe, file, payload, errorText);
    if (at == std::string::npos) return false;
    PayloadArchive archive;
    if (from.size() != to.size() || !ParsePayloadArchive(payload, archive) || archive.version != kPayloadVersion) {
        errorText = L"the stored payload of " + exe.wstring() + L" cannot be read, or the names differ in length";
        return false;
    }
    const std::vector<PayloadEntry>& entries = archive.entries;
    // The directory: the header, then per entry its name's length, the name,
    // its offset and size.
    std::size_t position = kPayloadHeaderSize;
    bool renamed = false;
    for (const PayloadEntry& entry : entries) {
        position += 4;
        if (entry.name == from) {
            std::copy(to.begin(), to.end(), file.begin() + static_cast<std::ptrdiff_t>(at + position));
            renamed = true;
        }
        position += entry.name.size() + 16;
    }
    // The digests resource: its magic, version 1 and the number of entries.
    Bytes header(std::begin(kPayloadDigestsMagic), std::end(kPayloadDigestsMagic));
    for (const std::uint32_t value : {kPayloadDigestsVersion, static_cast<std::uint32_t>(entries.size())}) {
        for (int i = 0; i < 4; ++i) header.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    }
    const auto digests = std::search(file.begin(), file.end(), header.begin(), header.end());
    if (!renamed || digests == file.end()) {
        errorText = L"no entry of that name, or no digests, in " + exe.wstring();
        return false;
    }
    const std::uint64_t directory = Xxh64(std::span<const std::uint8_t>(file.data() + at, archive.directorySize));
    for (int i = 0; i < 8; ++i) *(digests + 16 + i) = static_cast<std::uint8_t>(directory >> (8 * i));
    return WriteChanged(output, file, errorText);
}

}  // namespace zel::e2e
