#include "app/product_lock_name.h"

#include <cstdint>

#include "util/ascii.h"

namespace zel {
namespace {

// FNV-1a over the UTF-16 code units, after a prefix that keeps AppNames and keys apart.
std::wstring LockName(wchar_t kind, std::wstring_view text, bool foldCase) {
    std::uint64_t hash = 0xCBF29CE484222325ull;
    const auto add = [&hash](wchar_t c) {
        hash ^= static_cast<std::uint16_t>(c);
        hash *= 0x100000001B3ull;
    };
    add(kind);
    for (wchar_t c : text) add(foldCase ? AsciiLower(c) : c);
    std::wstring name = L"ZelSetup_";
    for (int shift = 60; shift >= 0; shift -= 4) name += L"0123456789ABCDEF"[(hash >> shift) & 0xF];
    return name;
}

}  // namespace

std::wstring ProductLockName(std::wstring_view appName) { return LockName(L'A', appName, false); }

std::wstring ProductKeyLockName(std::wstring_view productKey) { return LockName(L'K', productKey, true); }

}  // namespace zel
