#include "install/files/background_copy.h"

#include <windows.h>

#include <system_error>
#include <utility>

#include "util/ascii.h"
#include "util/no_follow_write.h"

namespace zel {
namespace {

DWORD CALLBACK StopWhenAsked(LARGE_INTEGER, LARGE_INTEGER, LARGE_INTEGER, LARGE_INTEGER, DWORD, DWORD, HANDLE, HANDLE,
                             LPVOID stop) {
    return static_cast<const std::atomic<bool>*>(stop)->load() ? PROGRESS_CANCEL : PROGRESS_CONTINUE;
}

}  // namespace

BackgroundFileCopy::BackgroundFileCopy(std::filesystem::path source, std::filesystem::path draft,
                                       std::filesystem::path target)
    : source_(std::move(source)), draft_(std::move(draft)), target_(std::move(target)) {
    // A program copying itself onto its own file: the copy at Finish fails as
    // it must, without an early copy that a rename could put over the running
    // file where the system allows that.
    if (EqualsIgnoreAsciiCase(source_.native(), target_.native())) return;
    try {
        thread_ = std::thread([this] {
            // Failing if the draft exists keeps a file that is not ours; every
            // other failure may have left a part of the copy behind.
            copied_ = ::CopyFileExW(source_.c_str(), draft_.c_str(), StopWhenAsked, &stop_, nullptr,
                                    COPY_FILE_FAIL_IF_EXISTS) != FALSE;
            draftIsOurs_ = copied_ || ::GetLastError() != ERROR_FILE_EXISTS;
        });
    } catch (const std::system_error&) {
        // No thread: Finish copies at its turn.
    }
}

BackgroundFileCopy::~BackgroundFileCopy() {
    stop_ = true;
    Wait();
    RemoveDraft();
}

void BackgroundFileCopy::Wait() {
    if (thread_.joinable()) thread_.join();
}

void BackgroundFileCopy::RemoveDraft() noexcept {
    if (draftIsOurs_) ::DeleteFileW(draft_.c_str());
    draftIsOurs_ = false;
    copied_ = false;
}

bool BackgroundFileCopy::Finish() {
    Wait();
    if (copied_ && ::MoveFileExW(draft_.c_str(), target_.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        draftIsOurs_ = false;
        return true;
    }
    RemoveDraft();
    // Over the file there, never through a link in its place. A program
    // copying itself fails here: its own file is open.
    const std::filesystem::path target = FinalFormOf(target_);
    DWORD error = 0;
    return !target.empty() && CopyFileNoFollow(source_, target, error);
}

}  // namespace zel
