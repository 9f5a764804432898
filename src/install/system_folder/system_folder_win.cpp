#include "install/system_folder/system_folder.h"

#include <chrono>
#include <cstdint>
#include <cwchar>
#include <system_error>

#include "config/setup_config.h"
#include "config/text_encoding.h"
#include "install/files/installed_names.h"
#include "install/system_folder/pe_image.h"
#include "install/system_folder/shared_dll_count.h"
#include "util/ascii.h"
#include "util/error_text.h"
#include "util/file_removal.h"
#include "util/hidden_process.h"
#include "util/path_forms.h"
#include "util/unique_handle.h"

namespace fs = std::filesystem;

namespace zel {
namespace {

constexpr UINT kFolderBufferLength = MAX_PATH;  // 260 characters, as the system folders always fit

bool NativeSystemFolder(std::wstring& folder) {
    wchar_t buffer[kFolderBufferLength];
    const UINT length = ::GetSystemDirectoryW(buffer, kFolderBufferLength);
    if (length == 0 || length >= kFolderBufferLength) return false;
    folder.assign(buffer, length);
    return true;
}

// The 32-bit system folder where one exists apart from the native one (64-bit Windows).
bool Wow64SystemFolder(std::wstring& folder) {
    wchar_t buffer[kFolderBufferLength];
    const UINT length = ::GetSystemWow64DirectoryW(buffer, kFolderBufferLength);
    if (length < 1 || length > kFolderBufferLength - 1) return false;
    folder.assign(buffer, length);
    return true;
}

bool ContainsIgnoreAsciiCase(std::wstring_view text, std::wstring_view part) {
    if (part.size() > text.size()) return false;
    for (std::size_t i = 0; i + part.size() <= text.size(); ++i) {
        if (EqualsIgnoreAsciiCase(text.substr(i, part.size()), part)) return true;
    }
    return false;
}

// Lines recorded for a system manifest (its registry copy, or the file when it
// is trusted), last first, that are safe to act on: their weakly canonical form
// lies inside a system folder.
std::vector<fs::path> ConfinedManifestLines(const fs::path& manifest) {
    std::error_code ec;
    if (!fs::exists(manifest, ec) && ec) throw fs::filesystem_error("exists", manifest, ec);
    std::vector<fs::path> files;
    const std::vector<std::wstring> lines = RecordedManifestLines(manifest);
    for (auto line = lines.rbegin(); line != lines.rend(); ++line) {
        if (line->empty()) continue;
        fs::path canonical;
        if (!WeaklyCanonical(*line, canonical)) continue;
        if (!IsInSystemFolder(canonical)) continue;  // never touch anything outside the system folders
        files.push_back(std::move(canonical));
    }
    return files;
}

// A file of the 32-bit system folder, counted in the 32-bit registry view.
bool IsIn32BitSystemFolder(const fs::path& file) {
    std::wstring wow64;
    fs::path canonical;
    return Wow64SystemFolder(wow64) && WeaklyCanonical(wow64, canonical) && IsPathInside(canonical, file);
}

}  // namespace

bool IsInSystemFolder(const fs::path& path) {
    std::wstring native;
    if (!NativeSystemFolder(native)) return false;
    fs::path canonical;
    if (WeaklyCanonical(native, canonical) && IsPathInside(canonical, path)) return true;
    std::wstring wow64;
    if (!Wow64SystemFolder(wow64)) return false;
    return WeaklyCanonical(wow64, canonical) && IsPathInside(canonical, path);
}

bool PickSystemFolder(const fs::path& source, RunReporter* logTarget, bool& use32BitFolder, std::wstring& errorText) {
    std::uint16_t machine = 0;
    const bool readable = ReadPeMachine(source, machine);
    switch (SystemFolderForImage(readable, machine)) {
        case SystemFolderKind::Native:
            use32BitFolder = false;
            return true;
        case SystemFolderKind::ThirtyTwoBit:
            use32BitFolder = true;
            if (!readable) {
                std::wstring wow64;
                if (logTarget && Wow64SystemFolder(wow64)) {
                    Log(logTarget, L"[警告] PE を判定できなかったため 32bit 用 (SysWOW64) に配置します: " +
                                       source.filename().wstring());
                }
            }
            return true;
        case SystemFolderKind::Unsupported:
            break;
    }
    wchar_t hex[8];
    std::swprintf(hex, std::size(hex), L"%04X", static_cast<unsigned>(machine));
    errorText = L"未対応の PE Machine (0x" + std::wstring(hex) + L"): " + source.wstring();
    return false;
}

bool LocateRegsvr32(bool use32BitFolder, fs::path& systemFolder, fs::path& regsvr32, std::wstring& errorText) {
    std::wstring folder;
    if (!NativeSystemFolder(folder)) {
        errorText = L"GetSystemDirectoryW が失敗しました。";
        return false;
    }
    std::wstring wow64;
    if (use32BitFolder && Wow64SystemFolder(wow64)) folder = wow64;
    if (!WeaklyCanonical(folder, systemFolder) || systemFolder.empty()) {
        errorText = L"システムフォルダパスの正規化に失敗しました。";
        return false;
    }
    regsvr32 = systemFolder / L"regsvr32.exe";
    std::error_code ec;
    const fs::file_status status = fs::status(regsvr32, ec);
    if (ec || !fs::exists(status)) {
        errorText = L"regsvr32.exe が見つかりません: " + regsvr32.wstring();
        return false;
    }
    return true;
}

// A library whose registration never returns must not hang setup for ever.
// Registering even a large library takes seconds; two minutes is generous.
namespace {
std::chrono::milliseconds regsvr32TimeLimit = std::chrono::minutes(2);
}  // namespace

std::chrono::milliseconds SetRegsvr32TimeLimit(std::chrono::milliseconds limit) {
    const std::chrono::milliseconds previous = regsvr32TimeLimit;
    regsvr32TimeLimit = limit;
    return previous;
}

bool RunRegsvr32(RunReporter* logTarget, bool unregister, const fs::path& regsvr32, const fs::path& file,
                 std::wstring& errorText) {
    std::wstring commandLine = L"\"" + regsvr32.wstring() + L"\" ";
    if (unregister) commandLine += L"/u ";
    commandLine += L"/s \"" + file.wstring() + L"\"";

    // Started in its own folder, never in the one setup was started from: a
    // dependency the library does not bring is then looked up only where the
    // system keeps its own, not where a user could have put one of that name.
    UniqueProcessInformation process;
    if (!StartHiddenProcess({}, commandLine, regsvr32.parent_path().wstring(), process)) {
        errorText = L"regsvr32 の起動に失敗しました (" + UnsignedDecimal(::GetLastError()) + L")。";
        return false;
    }
    if (::WaitForSingleObject(process.process(), static_cast<DWORD>(regsvr32TimeLimit.count())) == WAIT_TIMEOUT) {
        // Ended, and waited for, so that the library is no longer loaded when
        // the run goes on or retries.
        ::TerminateProcess(process.process(), ERROR_TIMEOUT);
        ::WaitForSingleObject(process.process(), INFINITE);
        const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(regsvr32TimeLimit).count();
        errorText = L"regsvr32 が " + UnsignedDecimal(static_cast<std::uint32_t>(seconds)) +
                    L" 秒以内に終わらなかったため終了させました。";
        Log(logTarget, L"[エラー] " + errorText + L" " + file.wstring());
        return false;
    }
    DWORD exitCode = 0;
    if (!::GetExitCodeProcess(process.process(), &exitCode)) exitCode = 1;
    process.reset();
    if (exitCode != 0) {
        errorText = L"regsvr32 が失敗しました (exit=" + UnsignedDecimal(exitCode) + L")。";
        return false;
    }
    Log(logTarget, (unregister ? L"登録解除: " : L"登録: ") + file.wstring());
    return true;
}

bool DeploySystemFiles(RunReporter* logTarget, const fs::path& payloadRoot, const SetupConfig& config,
                       std::vector<std::wstring>& regsvrFiles, std::vector<std::wstring>& copyOnlyFiles,
                       std::wstring& errorText, std::vector<std::wstring>& countedFiles,
                       std::vector<RaisedSharedCount>& raisedCounts) {
    errorText.clear();
    regsvrFiles.clear();
    copyOnlyFiles.clear();
    if (config.System32RegSvr.empty()) return true;

    const fs::path sourceBase = payloadRoot / L"files";
    std::vector<std::wstring> seenTargets;
    struct Deployed {
        fs::path target;
        fs::path regsvr32;
        bool counted;  // this product holds a count on it: listed in the manifests
    };
    std::vector<Deployed> deployed;

    for (const std::wstring& raw : config.System32RegSvr) {
        const std::wstring entry = ReplaceAll(TrimWhitespace(raw), L'/', L'\\');
        if (entry.empty()) continue;
        const fs::path entryPath(entry);
        if (HasParentReference(entryPath)) continue;

        const fs::path source = sourceBase / entryPath;
        if (!fs::is_regular_file(fs::status(source))) {  // throws for failures other than a missing file
            errorText = L"システム登録用ソースが見つかりません: files\\" + entry;
            return false;
        }
        bool use32BitFolder = false;
        if (!PickSystemFolder(source, logTarget, use32BitFolder, errorText)) return false;
        fs::path systemFolder;
        fs::path regsvr32;
        if (!LocateRegsvr32(use32BitFolder, systemFolder, regsvr32, errorText)) return false;

        const fs::path target = systemFolder / entryPath.filename();
        bool seen = false;
        for (const std::wstring& earlier : seenTargets) seen = seen || EqualsIgnoreAsciiCase(earlier, target.native());
        if (seen) continue;  // the first entry for a target wins
        seenTargets.push_back(target.native());

        std::wstring line;
        const SharedPlacement placement =
            PlaceSharedFile(source, target, use32BitFolder, countedFiles, raisedCounts, line, errorText);
        if (!line.empty()) Log(logTarget, line);
        if (placement == SharedPlacement::Failed) return false;
        if (placement == SharedPlacement::Skipped) continue;
        deployed.push_back({target, regsvr32, placement == SharedPlacement::Counted});
    }

    for (const Deployed& item : deployed) {
        if (HasDllRegisterServerExport(item.target)) {
            for (RaisedSharedCount& raised : raisedCounts) {
                if (EqualsIgnoreAsciiCase(raised.file, item.target.native())) raised.registered = true;
            }
            std::wstring runError;
            if (!RunRegsvr32(logTarget, false, item.regsvr32, item.target, runError)) {
                errorText = runError + L" (" + item.target.wstring() + L")";
                return false;
            }
            if (item.counted) regsvrFiles.push_back(item.target.wstring());
        } else {
            Log(logTarget, L"regsvr32 を省略 (DllRegisterServer なし): " + item.target.wstring());
            if (item.counted) copyOnlyFiles.push_back(item.target.wstring());
        }
    }
    return true;
}

void UndoRaisedCounts(std::vector<RaisedSharedCount>& raisedCounts, std::vector<std::wstring>& countedFiles) {
    for (auto raised = raisedCounts.rbegin(); raised != raisedCounts.rend(); ++raised) {
        const fs::path file(raised->file);
        // A file that was there before the run (another owner's, or an earlier
        // installation's) stays; only one this run brought goes, and only when
        // nobody else has counted it meanwhile.
        if (ReleaseSharedFile(file, raised->use32BitView) && raised->placedNew) {
            fs::path systemFolder;
            fs::path regsvr32;
            std::wstring ignored;
            if (raised->registered && LocateRegsvr32(raised->use32BitView, systemFolder, regsvr32, ignored)) {
                RunRegsvr32(nullptr, true, regsvr32, file, ignored);
            }
            DeleteFileAnyway(file);
        }
        if (raised->listedBefore) continue;
        std::erase_if(countedFiles,
                      [&](const std::wstring& counted) { return EqualsIgnoreAsciiCase(counted, raised->file); });
    }
    raisedCounts.clear();
}

void UnregisterSystemFiles(const fs::path& installDir) {
    const fs::path manifest = installDir / kRegsvrManifestName;
    for (const fs::path& file : ConfinedManifestLines(manifest)) {
        // Only the last owner of a shared file unregisters and deletes it; a
        // line for a file without a count (another owner's, or a forged line)
        // changes nothing.
        if (!ReleaseSharedFile(file, IsIn32BitSystemFolder(file))) continue;
        bool use32BitFolder = false;
        std::wstring ignored;
        if (!PickSystemFolder(file, nullptr, use32BitFolder, ignored)) {
            use32BitFolder = ContainsIgnoreAsciiCase(file.native(), L"SysWOW64");
        }
        fs::path systemFolder;
        fs::path regsvr32;
        if (!LocateRegsvr32(use32BitFolder, systemFolder, regsvr32, ignored)) continue;
        RunRegsvr32(nullptr, true, regsvr32, file, ignored);
        DeleteFileAnyway(file);
    }
    ForgetSystemManifest(manifest);
}

void RemoveSystemFileCopies(const fs::path& installDir) {
    const fs::path manifest = installDir / kCopyManifestName;
    for (const fs::path& file : ConfinedManifestLines(manifest)) {
        if (ReleaseSharedFile(file, IsIn32BitSystemFolder(file))) DeleteFileAnyway(file);
    }
    ForgetSystemManifest(manifest);
}

}  // namespace zel
