#include "install/files/payload_copy.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <system_error>

#include "install/files/copy_failure.h"
#include "install/files/entry_write.h"
#include "install/files/files_pattern.h"
#include "install/files/ordered_writes.h"
#include "payload/payload_files.h"
#include "util/ascii.h"
#include "util/unicode.h"

namespace zel {
namespace {

namespace fs = std::filesystem;

bool IsSelected(const std::wstring& rel, const std::vector<std::wstring>& patterns) {
    if (patterns.empty()) return true;
    return std::any_of(patterns.begin(), patterns.end(),
                       [&](const std::wstring& pattern) { return MatchFilesPattern(rel, pattern); });
}

}  // namespace

bool CopyPayloadFiles(const InstallPlan& plan, RunReporter& reporter, std::vector<std::wstring>* copiedFiles) {
    // The builder stores no name that leaves the files folder or that Windows
    // would alter: such a name means the payload was changed, and nothing of
    // it is written, as a damaged file would stop the copy.
    const std::vector<PayloadEntry>& entries = plan.payload.entries;
    if (const std::size_t unsafe = FirstUnsafeProductEntry(entries); unsafe < entries.size()) {
        reporter.Log(L"[エラー] 埋め込みペイロードのファイルが破損しています: " + Utf8ToWide(entries[unsafe].name));
        return false;
    }
    // Straight from the mapped payload: every installed byte is written once, and
    // nothing of the product passes through the temp folder. The files are
    // written on worker threads and reported here in walk order, one by one.
    const std::vector<PayloadFile> payloadFiles = ProductFilesInWalkOrder(plan.payload.entries);
    if (payloadFiles.empty()) {
        reporter.Log(L"[エラー] payload の files フォルダが見つかりません: files\\");
        return false;
    }
    if (copiedFiles) copiedFiles->clear();

    const SetupConfig& config = plan.config;
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

    const fs::path installDir(plan.installDir);
    std::vector<EntryWriteJob> jobs;
    jobs.reserve(selected.size());
    for (const PayloadFile* file : selected) jobs.push_back({file->entry, installDir / file->relative});
    // Files of one folder follow each other in walk order: the folder is made
    // once, not asked for again before every file.
    fs::path madeFolder;
    OrderedWrites writes(plan.payload, std::move(jobs), [&madeFolder](const fs::path& target) {
        if (fs::path parent = target.parent_path(); !parent.empty() && parent != madeFolder) {
            fs::create_directories(parent);
            madeFolder = std::move(parent);
        }
    });
    for (size_t i = 0; i < selected.size(); ++i) {
        const std::wstring& rel = selected[i]->relative;
        EntryWrite written;
        try {
            written = writes.Next();
        } catch (const fs::filesystem_error& error) {
            // The log is the only place that says which file and why.
            if (!writes.FailedBeforeWriting()) {
                reporter.Log(CopyFailureLine(rel, installDir / rel, static_cast<DWORD>(error.code().value())));
            }
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
