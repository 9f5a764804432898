#include "install/files/entry_write.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <span>
#include <system_error>

#include "payload/payload_files.h"
#include "util/ascii.h"
#include "util/no_follow_write.h"
#include "util/unique_handle.h"

namespace zel {
namespace {

[[noreturn]] void Throw(const char* what, const std::filesystem::path& target, DWORD error) {
    throw std::filesystem::filesystem_error(what, target,
                                            std::error_code(static_cast<int>(error), std::system_category()));
}

}  // namespace

EntryWrite WritePayloadEntry(const MappedPayload& payload, std::size_t index, const std::filesystem::path& target) {
    DWORD error = 0;
    UniqueKernelHandle file = CreateFileNoFollow(target, error);
    if (!file) Throw("cannot create file", target, error);
    // Chunk by chunk as the entry's block gives them: a stored entry in one
    // write, a compressed one as it is decoded, never held whole in memory.
    const BlockRead read = payload.ReadEntry(index, [&](std::span<const std::uint8_t> chunk) {
        const std::uint8_t* data = chunk.data();
        // The loop only matters if the system ever writes less than it was asked to.
        for (std::uint64_t left = chunk.size(); left > 0;) {
            const DWORD part = static_cast<DWORD>(std::min<std::uint64_t>(left, 0x40000000u));
            DWORD written = 0;
            if (!::WriteFile(file.get(), data, part, &written, nullptr) || written == 0) {
                error = ::GetLastError();
                return false;
            }
            data += written;
            left -= written;
        }
        return true;
    });
    if (read == BlockRead::Stopped) Throw("cannot write file", target, error);
    if (read == BlockRead::Malformed) {
        // What was decoded before the stream broke is no file of the product.
        file.reset();
        ::DeleteFileW(target.c_str());
        return EntryWrite::Damaged;
    }
    // Closing can report a failure to write what the system still held.
    if (!::CloseHandle(file.release())) Throw("cannot write file", target, ::GetLastError());
    return EntryWrite::Written;
}

StagedPayloadFiles::StagedPayloadFiles(const MappedPayload& payload, const std::vector<std::wstring>& relatives,
                                       const std::filesystem::path& root) {
    const std::vector<PayloadFile> files = ProductFilesInWalkOrder(payload.entries());
    // Named as the file system names the folder, as the writes require.
    std::filesystem::path finalRoot = FinalFolderPath(root);
    if (finalRoot.empty()) finalRoot = root;
    for (const std::wstring& wanted : relatives) {
        const std::wstring relative = ReplaceAll(wanted, L'/', L'\\');
        const auto file = std::find_if(files.begin(), files.end(), [&](const PayloadFile& f) {
            return EqualsIgnoreAsciiCase(f.relative, relative);
        });
        if (file == files.end()) continue;
        const std::filesystem::path target = finalRoot / L"files" / file->relative;
        std::filesystem::create_directories(target.parent_path());
        if (WritePayloadEntry(payload, file->entry, target) == EntryWrite::Damaged) {
            damaged_ = file->relative;
            return;
        }
        written_.push_back(target);
    }
}

StagedPayloadFiles::~StagedPayloadFiles() {
    for (const std::filesystem::path& file : written_) {
        std::error_code ignored;
        std::filesystem::remove(file, ignored);
    }
}

}  // namespace zel
