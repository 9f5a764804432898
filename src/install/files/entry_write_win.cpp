#include "install/files/entry_write.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <memory>
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

// One file being written from decoded chunks.
class EntryFile {
public:
    explicit EntryFile(std::filesystem::path target) : target_(std::move(target)) {
        DWORD error = 0;
        file_ = CreateFileNoFollow(target_, error);
        if (!file_) Throw("cannot create file", target_, error);
    }
    EntryFile(const EntryFile&) = delete;
    EntryFile& operator=(const EntryFile&) = delete;

    // False, with the error kept for Fail(), when the system refuses the bytes.
    bool Write(std::span<const std::uint8_t> chunk) noexcept {
        const std::uint8_t* data = chunk.data();
        // The loop only matters if the system ever writes less than it was asked to.
        for (std::uint64_t left = chunk.size(); left > 0;) {
            const DWORD part = static_cast<DWORD>(std::min<std::uint64_t>(left, 0x40000000u));
            DWORD written = 0;
            if (!::WriteFile(file_.get(), data, part, &written, nullptr) || written == 0) {
                error_ = ::GetLastError();
                return false;
            }
            data += written;
            left -= written;
        }
        return true;
    }
    [[noreturn]] void FailWriting() const { Throw("cannot write file", target_, error_); }
    // Closing can report a failure to write what the system still held.
    void Close() {
        if (!::CloseHandle(file_.release())) Throw("cannot write file", target_, ::GetLastError());
    }
    // What was decoded before the stream broke is no file of the product.
    void Discard() noexcept {
        file_.reset();
        ::DeleteFileW(target_.c_str());
    }

private:
    std::filesystem::path target_;
    UniqueKernelHandle file_;
    DWORD error_ = 0;
};

}  // namespace

EntryWrite WritePayloadEntry(const MappedPayload& payload, std::size_t index, const std::filesystem::path& target) {
    EntryFile file(target);
    // Chunk by chunk as the entry's block gives them: a stored entry in one
    // write, a compressed one as it is decoded, never held whole in memory.
    const BlockRead read =
        payload.ReadEntry(index, [&](std::span<const std::uint8_t> chunk) { return file.Write(chunk); });
    if (read == BlockRead::Stopped) file.FailWriting();
    if (read == BlockRead::Malformed) {
        file.Discard();
        return EntryWrite::Damaged;
    }
    file.Close();
    return EntryWrite::Written;
}

void WriteBlockEntries(const MappedPayload& payload, std::span<const EntryWriteJob> jobs,
                       const std::function<void(std::size_t, EntryWrite, std::exception_ptr)>& done) noexcept {
    if (jobs.empty()) return;
    const std::vector<PayloadEntry>& entries = payload.entries();
    const PayloadEntry& first = entries[jobs.front().entry];
    const PayloadEntry& last = entries[jobs.back().entry];
    std::size_t next = 0;  // the job whose bytes come next
    std::unique_ptr<EntryFile> open;
    std::uint64_t at = first.offset;  // position in the block's original bytes
    std::exception_ptr error;
    // Opens every file that starts at the current position; an empty one is complete at once.
    auto startFiles = [&] {
        while (!open && next < jobs.size() && entries[jobs[next].entry].offset <= at) {
            open = std::make_unique<EntryFile>(jobs[next].target);
            if (entries[jobs[next].entry].size > 0) break;
            open->Close();
            open.reset();
            done(next++, EntryWrite::Written, nullptr);
        }
    };
    try {
        startFiles();
        // Whether the block decoded shows in which files were completed.
        ReadBlockRange(
            payload.data, payload.archive.blocks[first.block], first.offset, last.offset + last.size - first.offset,
            [&](std::span<const std::uint8_t> chunk) {
                while (!chunk.empty()) {
                    if (next >= jobs.size()) return true;
                    const PayloadEntry& entry = entries[jobs[next].entry];
                    if (at < entry.offset) {  // bytes no job wants
                        const std::size_t skip =
                            static_cast<std::size_t>(std::min<std::uint64_t>(entry.offset - at, chunk.size()));
                        chunk = chunk.subspan(skip);
                        at += skip;
                        startFiles();
                        continue;
                    }
                    const std::size_t n =
                        static_cast<std::size_t>(std::min<std::uint64_t>(entry.offset + entry.size - at, chunk.size()));
                    if (!open->Write(chunk.first(n))) open->FailWriting();
                    chunk = chunk.subspan(n);
                    at += n;
                    if (at == entry.offset + entry.size) {
                        open->Close();
                        open.reset();
                        done(next++, EntryWrite::Written, nullptr);
                        startFiles();
                    }
                }
                return true;
            });
    } catch (...) {
        error = std::current_exception();
    }
    // A file still open was not completed: no file of the product.
    if (open) open->Discard();
    // The pass stops at its first failure, and what it has not reached shares
    // it: the exception, or Damaged when the block did not decode (or ended
    // before every file was complete).
    while (next < jobs.size()) done(next++, error ? EntryWrite::Written : EntryWrite::Damaged, error);
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
