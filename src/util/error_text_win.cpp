#include "util/error_text.h"

#include <iterator>

#include "util/unique_handle.h"

namespace zel {

std::wstring Win32ErrorText(DWORD code) {
    if (code == 0) return {};
    UniqueLocalMem buffer;
    const DWORD flags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER;
    // With FORMAT_MESSAGE_ALLOCATE_BUFFER the buffer argument receives the system's allocation.
    const DWORD length = ::FormatMessageW(flags, nullptr, code, 0, reinterpret_cast<LPWSTR>(buffer.put()), 0, nullptr);
    if (length == 0 || !buffer) return L"(Win32=" + UnsignedDecimal(code) + L")";

    std::wstring text(static_cast<const wchar_t*>(buffer.get()), length);
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' ')) text.pop_back();
    return text + L" (Win32=" + UnsignedDecimal(code) + L")";
}

std::wstring UnsignedDecimal(std::uint32_t value) {
    wchar_t digits[10];
    std::size_t count = 0;
    do {
        digits[count++] = static_cast<wchar_t>(L'0' + value % 10);
        value /= 10;
    } while (value != 0);
    return std::wstring(std::make_reverse_iterator(digits + count), std::make_reverse_iterator(digits));
}

}  // namespace zel
