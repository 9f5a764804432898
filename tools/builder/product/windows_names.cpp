#include "builder/product/windows_names.h"

#include "util/file_names.h"
#include "util/unicode.h"

namespace zel {

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
        std::wstring wideElement;
        if (Utf8ToWideStrict(element, wideElement) && IsDeviceName(wideElement)) {
            std::string quoted = "\"";
            quoted.append(element);
            return quoted.append("\" is a device name on Windows");
        }
        start = end + 1;
    }
    return {};
}

}  // namespace zel
