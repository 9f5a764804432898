// A fresh folder of the test's own under the temp path, and whole-file reads
// and writes for the files the tests put there.
#pragma once

#ifdef _WIN32
#include <windows.h>
#endif

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>

namespace zel::test {

// temp path \ "zel_" + name + "_" + process id: made empty at construction,
// removed with everything in it (read-only entries included) at destruction.
class ScratchFolder {
public:
    explicit ScratchFolder(const std::wstring& name)
        : path_(std::filesystem::temp_directory_path() / (L"zel_" + name + L"_" + std::to_wstring(ProcessId()))) {
        Remove();
        std::filesystem::create_directories(path_);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    ~ScratchFolder() { Remove(); }
    const std::filesystem::path& path() const { return path_; }

private:
    static unsigned long ProcessId() {
#ifdef _WIN32
        return ::GetCurrentProcessId();
#else
        return 0;
#endif
    }
    void Remove() {
        std::error_code error;
#ifdef _WIN32
        if (std::filesystem::exists(path_, error)) {
            for (const auto& entry : std::filesystem::recursive_directory_iterator(path_, error)) {
                ::SetFileAttributesW(entry.path().c_str(), FILE_ATTRIBUTE_NORMAL);
            }
        }
#endif
        std::filesystem::remove_all(path_, error);
    }
    std::filesystem::path path_;
};

// Writes the bytes as the whole file, making missing parent folders.
inline void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
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
