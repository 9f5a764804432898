#include "builder/product/windows_names.h"

#include <algorithm>
#include <array>

#include "util/ascii.h"
#include "util/unicode.h"

namespace zel {
namespace {

bool IsDeviceName(std::string_view element) {
    // The part before the first dot, without trailing blanks, decides.
    std::string stem(element.substr(0, element.find('.')));
    for (char& c : stem) c = AsciiLower(c);
    while (!stem.empty() && stem.back() == ' ') stem.pop_back();
    static constexpr std::array<std::string_view, 4> kPlain = {"con", "prn", "aux", "nul"};
    if (std::find(kPlain.begin(), kPlain.end(), stem) != kPlain.end()) return true;
    return stem.size() == 4 && (stem.starts_with("com") || stem.starts_with("lpt")) && stem[3] >= '1' && stem[3] <= '9';
}

}  // namespace

std::string WindowsNameProblem(std::string_view name) {
    std::wstring decoded;
    if (!Utf8ToWideStrict(name, decoded)) return "the name is not valid UTF-8";
    std::size_t start = 0;
    while (start <= name.size()) {
        std::size_t end = name.find('/', start);
        if (end == std::string_view::npos) end = name.size();
        const std::string_view element = name.substr(start, end - start);
        for (const char c : element) {
            if (static_cast<unsigned char>(c) < 0x20) return "control characters are not allowed in Windows file names";
            if (std::string_view("<>:\"\\|?*").find(c) != std::string_view::npos) {
                return std::string("'") + c + "' is not allowed in Windows file names";
            }
        }
        if (!element.empty() && (element.back() == '.' || element.back() == ' ')) {
            return "Windows removes a trailing dot or space from file names";
        }
        if (IsDeviceName(element)) {
            std::string quoted = "\"";
            quoted.append(element);
            return quoted.append("\" is a device name on Windows");
        }
        start = end + 1;
    }
    return {};
}

}  // namespace zel
