#include "builder/product/license_text.h"

#include <string_view>

#include "util/unicode.h"

namespace zel {

std::wstring DecodeLicenseText(std::span<const std::uint8_t> bytes) {
    if (bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
        if (bytes.size() % 2 != 0) return {};
        std::wstring text = DecodeUtf16Le(bytes.subspan(2));
        while (!text.empty() && text.back() == L'\0') text.pop_back();
        return text;
    }
    if (bytes.size() >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) bytes = bytes.subspan(3);
    return Utf8ToWide(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

}  // namespace zel
