// A fresh folder of the test's own under the temp path, and whole-file reads
// and writes for the files the tests put there. Used by the native and the
// Windows tests alike.
#pragma once

#ifdef _WIN32
#include <windows.h>
#endif

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>

namespace zel::test {

// temp path \ "zel_" + name + "_" + a random number: a folder made anew for
// each object, so test programs running side by side, and two folders of one
// test, never share one or find one left over from an earlier run. Removed
// with everything in it (read-only entries included) at destruction.
class ScratchFolder {
public:
    explicit ScratchFolder(const std::wstring& name) {
        std::random_device device;
        std::mt19937_64 random((std::uint64_t{device()} << 32) | device());
        const std::filesystem::path base = std::filesystem::temp_directory_path();
        do {
            path_ = base / (L"zel_" + name + L"_" + std::to_wstring(random() % 1000000000));
        } while (!std::filesystem::create_directory(path_));
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    ~ScratchFolder() { Remove(); }

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::filesystem::path& relative) const { return path_ / relative; }

private:
    // A program a test has just run may still hold one of its files for a
    // moment, so removal is tried again for a few seconds.
    void Remove() const {
        for (int attempt = 0; attempt < 50; ++attempt) {
            MakeRemovable();
            std::error_code error;
            std::filesystem::remove_all(path_, error);
            if (!error && !std::filesystem::exists(path_, error)) return;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    }

    // Clears read-only attributes (Windows) and gives back the permissions a
    // test took away (POSIX), so that everything in the folder can go.
    void MakeRemovable() const {
        namespace fs = std::filesystem;
        std::error_code error;
#ifndef _WIN32
        fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, error);
#endif
        for (auto it = fs::recursive_directory_iterator(path_, error);
             !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
#ifdef _WIN32
            ::SetFileAttributesW(it->path().c_str(), FILE_ATTRIBUTE_NORMAL);
#else
            std::error_code ignored;
            if (!it->is_symlink(ignored))
                fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
#endif
        }
    }

    std::filesystem::path path_;
};

// Writes the bytes as the whole file, making missing parent folders.
inline void WriteFile(const std::filesystem::path& path, std::string_view bytes) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// The whole file's bytes; empty when it cannot be read.
inline std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace zel::test
