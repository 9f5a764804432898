#include "builder/product/setup_ini_text.h"

#include <stdexcept>
#include <string>

#include "util/unicode.h"

namespace zel {
namespace {

[[noreturn]] void Fail(const std::string& what) { throw std::runtime_error(what); }

}  // namespace

std::vector<std::uint8_t> SetupIniAsStored(std::span<const std::uint8_t> bytes) {
    constexpr const char* kTwoMarks =
        "setup.ini starts with two byte-order marks (an editor added one to a file that had one); save it with one";
    if (bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
        if (bytes.size() % 2 != 0) Fail("setup.ini: UTF-16LE text with an odd number of bytes");
        if (bytes.size() >= 4 && bytes[2] == 0xFF && bytes[3] == 0xFE) Fail(kTwoMarks);
        return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
    }
    if (bytes.size() >= 2 && bytes[0] == 0xFE && bytes[1] == 0xFF) {
        Fail("setup.ini is UTF-16 big-endian; save it as UTF-8 or as UTF-16LE with a byte-order mark");
    }
    std::span<const std::uint8_t> body = bytes;
    if (body.size() >= 3 && body[0] == 0xEF && body[1] == 0xBB && body[2] == 0xBF) body = body.subspan(3);
    std::wstring text;
    if (!Utf8ToWideStrict(std::string_view(reinterpret_cast<const char*>(body.data()), body.size()), text)) {
        Fail(
            "setup.ini is neither valid UTF-8 nor UTF-16LE with a byte-order mark (a legacy code page such as "
            "Shift_JIS?); save it as UTF-8 or as UTF-16LE with a byte-order mark");
    }
    if (!text.empty() && text.front() == L'\xFEFF') Fail(kTwoMarks);
    if (text.find(L'\0') != std::wstring::npos) {
        Fail(
            "setup.ini holds NUL characters (UTF-16 without a byte-order mark?); save it as UTF-8 or as UTF-16LE with "
            "a byte-order mark");
    }
    std::vector<std::uint8_t> stored = {0xFF, 0xFE};
    const std::vector<std::uint8_t> utf16 = EncodeUtf16Le(text);
    stored.insert(stored.end(), utf16.begin(), utf16.end());
    return stored;
}

}  // namespace zel
