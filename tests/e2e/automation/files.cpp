#include "automation/files.h"

#include <windows.h>

#include <fstream>
#include <iterator>

namespace zel::e2e {

namespace fs = std::filesystem;

std::optional<Bytes> ReadFileBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    Bytes bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) return std::nullopt;
    return bytes;
}

bool WriteFileBytes(const fs::path& path, const Bytes& bytes) {
    std::error_code error;
    if (path.has_parent_path()) fs::create_directories(path.parent_path(), error);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.close();
    return static_cast<bool>(out);
}

std::map<std::wstring, fs::path> ListFiles(const fs::path& folder) {
    std::map<std::wstring, fs::path> files;
    std::error_code error;
    for (fs::recursive_directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        if (!it->is_regular_file(error)) continue;
        std::wstring relative = it->path().lexically_relative(folder).wstring();
        for (wchar_t& c : relative) {
            if (c == L'/') c = L'\\';
        }
        files.emplace(relative, it->path());
    }
    return files;
}

Bytes Utf16LeWithBom(const std::wstring& text) {
    Bytes bytes = {0xFF, 0xFE};
    for (wchar_t c : text) {
        bytes.push_back(static_cast<std::uint8_t>(c & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>((c >> 8) & 0xFF));
    }
    return bytes;
}

Bytes Utf8Bytes(const std::wstring& text) {
    if (text.empty()) return {};
    const int size =
        ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(size > 0 ? size : 0, '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size, nullptr, nullptr);
    return Bytes(out.begin(), out.end());
}

std::wstring FromUtf8(const std::string& bytes) {
    if (bytes.empty()) return {};
    const int size = ::MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring out(size > 0 ? size : 0, L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), out.data(), size);
    return out;
}

void RemoveTree(const fs::path& folder) {
    std::error_code error;
    if (!fs::exists(folder, error)) return;
    for (fs::recursive_directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        ::SetFileAttributesW(it->path().c_str(), FILE_ATTRIBUTE_NORMAL);
    }
    fs::remove_all(folder, error);
}

fs::path MakeScratchFolder(const std::wstring& name) {
    const fs::path folder = fs::temp_directory_path() / L"zel-e2e" / name;
    RemoveTree(folder);
    std::error_code error;
    fs::create_directories(folder, error);
    return folder;
}

}  // namespace zel::e2e
