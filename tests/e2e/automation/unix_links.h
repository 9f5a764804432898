// Under Wine every program runs as one user and no access list is kept, so a
// test stands in for what a standard user prepared with Linux's own means: a
// Unix symbolic link for a link or junction, a folder's mode for its access
// list (Wine reports one made from the mode). The calls go straight to the
// Linux kernel; on Windows itself they are not available.
#pragma once

#include <windows.h>

#include <cstdint>
#include <filesystem>
#include <string>

namespace zel::test {

// The Unix name Wine gives a Windows path (its last element need not exist);
// empty outside Wine.
inline std::string UnixPathOf(const std::filesystem::path& path) {
    using Function = char*(CDECL*)(const wchar_t*);
    const auto toUnix = reinterpret_cast<Function>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (!toUnix) return {};
    char* name = toUnix(path.c_str());
    if (!name) return {};
    std::string result(name);
    ::HeapFree(::GetProcessHeap(), 0, name);
    return result;
}

// long is 32 bits on Windows: the registers are given 64-bit values.
inline std::int64_t LinuxCall(std::int64_t number, const void* first, std::int64_t second) {
    std::int64_t result = 0;
    __asm__ volatile("syscall" : "=a"(result) : "a"(number), "D"(first), "S"(second) : "rcx", "r11", "memory");
    return result;
}

// A Unix symbolic link at link to target (either may be a folder or a file;
// target need not exist). False outside Wine or when it cannot be made.
inline bool MakeUnixLink(const std::filesystem::path& link, const std::filesystem::path& target) {
    constexpr std::int64_t kSymlink = 88;
    const std::string from = UnixPathOf(target);
    const std::string at = UnixPathOf(link);
    if (from.empty() || at.empty()) return false;
    return LinuxCall(kSymlink, from.c_str(), reinterpret_cast<std::intptr_t>(at.c_str())) == 0;
}

// Removes a Unix link as itself (Wine's own calls cannot: it follows them all).
inline bool RemoveUnixLink(const std::filesystem::path& link) {
    constexpr std::int64_t kUnlink = 87;
    const std::string at = UnixPathOf(link);
    return !at.empty() && LinuxCall(kUnlink, at.c_str(), 0) == 0;
}

// chmod: 0777 makes a folder writable by everyone, as a folder a standard user
// made under C:\ is.
inline bool SetUnixMode(const std::filesystem::path& path, unsigned mode) {
    constexpr std::int64_t kChmod = 90;
    const std::string at = UnixPathOf(path);
    return !at.empty() && LinuxCall(kChmod, at.c_str(), static_cast<std::int64_t>(mode)) == 0;
}

}  // namespace zel::test
