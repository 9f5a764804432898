#include "install/files/manifest.h"

#include <algorithm>
#include <string>

#include "util/no_follow_write.h"
#include "util/unicode.h"

namespace zel {

namespace {

bool WriteManifestLines(const std::filesystem::path& path, const std::vector<std::wstring>& entries,
                        bool backslashSeparators) {
    std::string text = "\xEF\xBB\xBF";
    for (const std::wstring& entry : entries) {
        std::string line;
        if (backslashSeparators) {
            std::wstring relative = entry;
            std::replace(relative.begin(), relative.end(), L'/', L'\\');
            line = WideToUtf8(relative);
        } else {
            line = WideToUtf8(entry);
        }
        text += line;
        text += '\n';
    }
    // Written whole, without following a link where the manifest goes: a
    // manifest whose tail could not be written is a failed manifest.
    const std::filesystem::path target = FinalFormOf(path);
    DWORD error = 0;
    return !target.empty() && WriteFileNoFollow(target, text, error);
}

}  // namespace

bool WriteManifest(const std::filesystem::path& path, const std::vector<std::wstring>& entries) {
    return WriteManifestLines(path, entries, false);
}

bool WriteInstallManifest(const std::filesystem::path& installDir, const std::vector<std::wstring>& entries) {
    return WriteManifestLines(installDir / kInstallManifestName, entries, true);
}

}  // namespace zel
