#include "util/file_names.h"

#include <array>

#include "util/ascii.h"

namespace zel {

bool IsDeviceName(std::wstring_view element) {
    std::wstring_view stem = element.substr(0, element.find(L'.'));
    while (!stem.empty() && stem.back() == L' ') stem.remove_suffix(1);
    static constexpr std::array<std::wstring_view, 6> kDevices = {L"con", L"prn",    L"aux",
                                                                  L"nul", L"conin$", L"conout$"};
    for (const std::wstring_view device : kDevices) {
        if (EqualsIgnoreAsciiCase(stem, device)) return true;
    }
    if (stem.size() != 4 || !(StartsWithIgnoreAsciiCase(stem, L"com") || StartsWithIgnoreAsciiCase(stem, L"lpt"))) {
        return false;
    }
    const wchar_t digit = stem[3];
    return (digit >= L'0' && digit <= L'9') || digit == L'\x00B9' || digit == L'\x00B2' || digit == L'\x00B3';
}

bool IsNameWindowsAlters(std::wstring_view element) {
    if (element.empty()) return true;
    for (const wchar_t c : element) {
        if (c < 0x20 || std::wstring_view(L"<>:\"|?*").find(c) != std::wstring_view::npos) return true;
    }
    if (element.back() == L'.' || element.back() == L' ') return true;
    return IsDeviceName(element);
}

}  // namespace zel
