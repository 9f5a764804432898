#include "install/payload_copy.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <system_error>

#include "install/copy_failure.h"
#include "install/files_pattern.h"
#include "install/payload_write.h"
#include "payload/payload_files.h"
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
    // Straight from the mapped payload: every installed byte is written once, and
    // nothing of the product passes through the temp folder.
    const std::vector<PayloadFile> payloadFiles = ProductFilesInWalkOrder(context.payloadEntries);
    if (payloadFiles.empty()) {
        reporter.Log(L"[エラー] payload の files フォルダが見つかりません: files\\");
        return false;
    }
    if (copiedFiles) copiedFiles->clear();

    const SetupConfig& config = context.config;
    const std::wstring licenseRel =
        config.LicenseFile.empty() ? std::wstring() : LicenseRelativePath(config.LicenseFile);

    // Selection first, so that the progress range is known before the first copy.
    std::vector<const PayloadFile*> selected;
    for (const PayloadFile& file : payloadFiles) {
        // The licence is shown by the wizard, never installed.
        if (!config.LicenseFile.empty() && EqualsIgnoreAsciiCase(file.relative, licenseRel)) continue;
        if (!IsSelected(file.relative, config.Files)) continue;
        selected.push_back(&file);
    }
    if (selected.empty()) {
        reporter.Log(L"[エラー] [Files] の指定に一致するファイルがありません。");
        return false;
    }

    reporter.SetProgressRange(static_cast<std::uint32_t>(selected.size()));

    const fs::path installDir(context.installDir);
    // Files of one folder follow each other in walk order: the folder is made
    // once, not asked for again before every file.
    fs::path madeFolder;
    for (size_t i = 0; i < selected.size(); ++i) {
        const std::wstring& rel = selected[i]->relative;
        const fs::path dest = installDir / rel;
        if (fs::path parent = dest.parent_path(); !parent.empty() && parent != madeFolder) {
            fs::create_directories(parent);
            madeFolder = std::move(parent);
        }
        EntryWrite written;
        try {
            written = WritePayloadEntry(context, selected[i]->entry, dest);
        } catch (const fs::filesystem_error& error) {
            // The log is the only place that says which file and why.
            reporter.Log(CopyFailureLine(rel, dest, static_cast<DWORD>(error.code().value())));
            throw;
        }
        if (written == EntryWrite::Damaged) {
            reporter.Log(L"[エラー] 埋め込みペイロードのファイルが破損しています: " + rel);
            return false;
        }
        if (copiedFiles) copiedFiles->push_back(rel);
        reporter.Log(L"コピー: " + rel);
        reporter.SetProgressPosition(static_cast<std::uint32_t>(i + 1));
    }
    return true;
}

}  // namespace zel
