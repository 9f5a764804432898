// Paths as the builder's messages and payload names hold them: UTF-8 text, the
// same on Linux and on Windows, where a path's native form is UTF-16. Portable.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace zel {

std::string PathToUtf8(const std::filesystem::path& path);
// The path in UTF-8 between double quotes, as messages name paths.
std::string QuotedPath(const std::filesystem::path& path);
std::filesystem::path PathFromUtf8(std::string_view utf8);

}  // namespace zel
