#include "install/payload_copy.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <system_error>

#include "install/files_pattern.h"
#include "util/ascii.h"

namespace zel {
namespace {

namespace fs = std::filesystem;

bool IsSelected(const std::wstring& rel, const std::vector<std::wstring>& patterns) {
    if (patterns.empty()) return true;
    return std::any_of(patterns.begin(), patterns.end(),
                       [&](const std::wstring& pattern) { return MatchFilesPattern(rel, pattern); });
}

}  // namespace

bool CopyPayloadFiles(SetupContext& context, RunReporter& reporter, std::vector<std::wstring>* copiedFiles) {
    const fs::path sourceRoot = fs::path(context.tempDir) / L"files";
    if (!fs::exists(sourceRoot)) {  // throws when the status cannot be read
        reporter.Log(L"[エラー] payload の files フォルダが見つかりません: files\\");
        return false;
    }
    if (copiedFiles) copiedFiles->clear();

    const SetupConfig& config = context.config;
    const std::wstring licenseRel =
        config.LicenseFile.empty() ? std::wstring() : LicenseRelativePath(config.LicenseFile);

    // Selection first, so that the progress range is known before the first copy.
    std::vector<fs::path> sources;
    std::vector<std::wstring> relatives;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(sourceRoot)) {
        if (!fs::is_regular_file(entry.status())) continue;
        // The walk yields sourceRoot/<rel> and follows no folder links, so the lexical
        // relative path is the file's place in the payload. Resolving links as well
        // would send a linked file's copy to wherever its target lies (even outside the
        // install folder) and costs file-system queries per file.
        std::wstring rel = ReplaceAll(entry.path().lexically_relative(sourceRoot).wstring(), L'/', L'\\');
        // The licence is shown by the wizard, never installed.
        if (!config.LicenseFile.empty() && EqualsIgnoreAsciiCase(rel, licenseRel)) continue;
        if (!IsSelected(rel, config.Files)) continue;
        sources.push_back(entry.path());
        relatives.push_back(std::move(rel));
    }
    if (sources.empty()) {
        reporter.Log(L"[エラー] [Files] の指定に一致するファイルがありません。");
        return false;
    }

    reporter.SetProgressRange(static_cast<std::uint32_t>(sources.size()));

    const fs::path installDir(context.installDir);
    for (size_t i = 0; i < sources.size(); ++i) {
        const fs::path dest = installDir / relatives[i];
        if (const fs::path parent = dest.parent_path(); !parent.empty()) fs::create_directories(parent);
        // No attribute is cleared first: a read-only or hidden file in the way makes the copy fail.
        if (!::CopyFileW(sources[i].c_str(), dest.c_str(), FALSE)) {
            const DWORD error = ::GetLastError();
            throw fs::filesystem_error("cannot copy file", sources[i], dest,
                                       std::error_code(static_cast<int>(error), std::system_category()));
        }
        if (copiedFiles) copiedFiles->push_back(relatives[i]);
        reporter.Log(L"コピー: " + relatives[i]);
        reporter.SetProgressPosition(static_cast<std::uint32_t>(i + 1));
    }
    return true;
}

}  // namespace zel
