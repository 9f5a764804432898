#include "install/files/manifest.h"

#include <algorithm>
#include <fstream>

#include "util/unicode.h"

namespace zel {

namespace {

bool WriteManifestLines(const std::filesystem::path& path, const std::vector<std::wstring>& entries,
                        bool backslashSeparators) {
    std::ofstream out(path, std::ios::out | std::ios::binary | std::ios::trunc);
    if (!out.is_open()) return false;
    out.write("\xEF\xBB\xBF", 3);
    for (const std::wstring& entry : entries) {
        std::string line;
        if (backslashSeparators) {
            std::wstring relative = entry;
            std::replace(relative.begin(), relative.end(), L'/', L'\\');
            line = WideToUtf8(relative);
        } else {
            line = WideToUtf8(entry);
        }
        line += '\n';
        out.write(line.data(), static_cast<std::streamsize>(line.size()));
    }
    // Flushed before the check: a manifest whose tail could not be written is a
    // failed manifest, not a successful one.
    out.flush();
    return !out.fail();
}

}  // namespace

bool WriteManifest(const std::filesystem::path& path, const std::vector<std::wstring>& entries) {
    return WriteManifestLines(path, entries, false);
}

bool WriteInstallManifest(const std::filesystem::path& installDir, const std::vector<std::wstring>& entries) {
    return WriteManifestLines(installDir / kInstallManifestName, entries, true);
}

}  // namespace zel
