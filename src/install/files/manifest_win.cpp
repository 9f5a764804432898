#include "install/files/manifest.h"

#include <algorithm>
#include <fstream>
#include <system_error>

#include "config/text_encoding.h"
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
