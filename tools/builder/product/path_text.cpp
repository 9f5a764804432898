#include "builder/product/path_text.h"

namespace zel {

std::string PathToUtf8(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

std::string QuotedPath(const std::filesystem::path& path) {
    std::string quoted = "\"";
    quoted.append(PathToUtf8(path));
    quoted.push_back('"');
    return quoted;
}

std::filesystem::path PathFromUtf8(std::string_view utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

}  // namespace zel
