// A file copy that runs on a thread of its own while the caller does other
// work, and is put in place only when the caller's turn for it comes.
#pragma once

#include <atomic>
#include <filesystem>
#include <string>
#include <thread>

namespace zel {

class BackgroundFileCopy {
public:
    // Starts copying source to draft, a file that must not exist yet in
    // target's folder. Nothing is started when source is target or when the
    // thread cannot be.
    BackgroundFileCopy(std::filesystem::path source, std::filesystem::path draft, std::filesystem::path target);
    // Stops a copy still running, waits for it and removes the draft, unless
    // Finish moved it in place.
    ~BackgroundFileCopy();
    BackgroundFileCopy(const BackgroundFileCopy&) = delete;
    BackgroundFileCopy& operator=(const BackgroundFileCopy&) = delete;

    // Waits for the copy and moves the draft onto target, replacing a file
    // (or a link, as itself) there. Where the early copy did not run, failed or
    // cannot be moved, copies source onto target now without following a link
    // there. True when target holds the copy.
    bool Finish();

private:
    void Wait();
    void RemoveDraft() noexcept;

    std::filesystem::path source_;
    std::filesystem::path draft_;
    std::filesystem::path target_;
    std::atomic<bool> stop_{false};
    bool copied_ = false;       // the draft holds the whole copy
    bool draftIsOurs_ = false;  // the draft may exist and was made by this copy
    std::thread thread_;
};

}  // namespace zel
