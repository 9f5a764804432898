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

std::string LicenseEncodingProblem(std::span<const std::uint8_t> bytes) {
    if (bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) return {};
    if (bytes.size() >= 2 && bytes[0] == 0xFE && bytes[1] == 0xFF) {
        return "is UTF-16 big-endian, which the wizard shows as replacement characters";
    }
    if (bytes.size() >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) bytes = bytes.subspan(3);
    std::wstring text;
    if (!Utf8ToWideStrict(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), text)) {
        return "is neither UTF-8 nor UTF-16LE with a byte-order mark (a legacy code page such as Shift_JIS?), so "
               "the wizard shows replacement characters wherever its bytes are not UTF-8";
    }
    if (text.find(L'\0') != std::wstring::npos) {
        return "holds NUL characters (UTF-16 without a byte-order mark?), and the wizard shows its text only up to "
               "the first";
    }
    return {};
}

}  // namespace zel
