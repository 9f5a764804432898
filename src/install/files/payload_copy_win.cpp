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
#include "payload/payload_check.h"
#include "payload/payload_files.h"
#include "util/ascii.h"
#include "util/no_follow_write.h"
#include "util/path_forms.h"
#include "util/unicode.h"
#include "util/unique_handle.h"

namespace zel {
namespace {

namespace fs = std::filesystem;

constexpr wchar_t kLinkRefusedLine[] = L"[エラー] リンクまたはジャンクションを経由するため書き込めません: ";
constexpr wchar_t kDamagedLine[] = L"[エラー] 埋め込みペイロードのファイルが破損しています: ";

bool IsSelected(const std::wstring& rel, const std::vector<std::wstring>& patterns) {
    if (patterns.empty()) return true;
    return std::any_of(patterns.begin(), patterns.end(),
                       [&](const std::wstring& pattern) { return MatchFilesPattern(rel, pattern); });
}

}  // namespace

bool CheckPayloadFiles(const InstallPlan& plan, RunReporter& reporter) {
    const std::vector<PayloadFile> files = ProductFilesInWalkOrder(plan.payload.entries());
    std::vector<std::size_t> entries;
    entries.reserve(files.size());
    for (const PayloadFile& file : files) entries.push_back(file.entry);
    const std::size_t damaged = FirstDamagedEntry(plan.payload, entries);
    if (damaged == entries.size()) return true;
    reporter.Log(kDamagedLine + files[damaged].relative);
    return false;
}

bool CopyPayloadFiles(const InstallPlan& plan, RunReporter& reporter, std::vector<std::wstring>* copiedFiles) {
    // The builder stores no name that leaves the files folder or that Windows
    // would alter: such a name means the payload was changed, and nothing of
    // it is written, as a damaged file would stop the copy.
    const std::vector<PayloadEntry>& entries = plan.payload.entries();
    if (const std::size_t unsafe = FirstUnsafeProductEntry(entries); unsafe < entries.size()) {
        reporter.Log(kDamagedLine + Utf8ToWide(entries[unsafe].name));
        return false;
    }
    // Straight from the mapped payload: every installed byte is written once, and
    // nothing of the product passes through the temp folder. The files are
    // written on worker threads and reported here in walk order, one by one.
    const std::vector<PayloadFile> payloadFiles = ProductFilesInWalkOrder(plan.payload.entries());
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
    // Every folder and file is written without following a link, by the name
    // the file system gives the install folder.
    // The install run has made the install folder; a caller that has not gets
    // it made as any folder above the files would be.
    if (!fs::exists(installDir)) fs::create_directories(installDir);
    const fs::path writeRoot = FinalFolderPath(installDir);
    if (writeRoot.empty()) {
        throw fs::filesystem_error("cannot open folder", installDir,
                                   std::error_code(static_cast<int>(::GetLastError()), std::system_category()));
    }
    std::vector<EntryWriteJob> jobs;
    jobs.reserve(selected.size());
    for (const PayloadFile* file : selected) jobs.push_back({file->entry, writeRoot / file->relative});
    // Files of one folder follow each other in walk order: the folder is made
    // once, not asked for again before every file. The folders stay held until
    // the copy ends, so that none of them is swapped for a link meanwhile.
    fs::path madeFolder;
    std::vector<UniqueKernelHandle> heldFolders;
    OrderedWrites writes(plan.payload, std::move(jobs), [&](const fs::path& target) {
        if (fs::path parent = target.parent_path(); !parent.empty() && parent != madeFolder) {
            // The folders above it that are made and held already are not asked for again.
            fs::path base = madeFolder.empty() ? writeRoot : madeFolder;
            while (base != writeRoot && !IsLexicallyInside(base.native(), parent.native())) base = base.parent_path();
            fs::path failedAt;
            DWORD error = 0;
            if (!CreateFoldersNoFollow(base, parent, heldFolders, failedAt, error)) {
                throw fs::filesystem_error("create_directory", failedAt,
                                           std::error_code(static_cast<int>(error), std::system_category()));
            }
            madeFolder = std::move(parent);
        }
    });
    for (size_t i = 0; i < selected.size(); ++i) {
        const std::wstring& rel = selected[i]->relative;
        EntryWrite written;
        try {
            written = writes.Next();
        } catch (const fs::filesystem_error& error) {
            // A link where a folder or file goes is refused, never written through.
            if (static_cast<DWORD>(error.code().value()) == kLinkInTheWay) {
                reporter.Log(kLinkRefusedLine + error.path1().wstring());
                return false;
            }
            // The log is the only place that says which file and why.
            if (!writes.FailedBeforeWriting()) {
                reporter.Log(CopyFailureLine(rel, installDir / rel, static_cast<DWORD>(error.code().value())));
            }
            throw;
        }
        if (written == EntryWrite::Damaged) {
            reporter.Log(kDamagedLine + rel);
            return false;
        }
        if (copiedFiles) copiedFiles->push_back(rel);
        reporter.Log(L"コピー: " + rel);
        reporter.SetProgressPosition(static_cast<std::uint32_t>(i + 1));
    }
    return true;
}

}  // namespace zel
