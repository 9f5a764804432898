#include "install/files/manifest.h"

#include <algorithm>
#include <string>
#include <system_error>

#include "config/text_encoding.h"
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

std::vector<std::wstring> CarryOverInstalledEntries(const std::filesystem::path& installDir,
                                                    std::vector<std::wstring> entries) {
    std::vector<std::wstring> previous;
    for (std::wstring& entry : ReadUtf8Lines(installDir / kInstallManifestName)) {
        // A file gone since is no longer carried; one whose state cannot be
        // read is (its type is "none"), as it may still be there.
        std::error_code error;
        const auto status = std::filesystem::symlink_status(installDir / entry, error);
        if (status.type() != std::filesystem::file_type::not_found) previous.push_back(std::move(entry));
    }
    return WithEntriesCarriedOver(std::move(entries), previous);
}

}  // namespace zel
