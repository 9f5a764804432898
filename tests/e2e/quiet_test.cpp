// Quiet runs of the sample setup.exe as deployment tools start them: with no
// display at all (any window would fail), a log file and exit codes. A quiet
// install leaves what the wizard leaves, the registered quiet uninstall command
// removes it, an installed product is updated, repaired or left alone, and every
// failure ends with its own code.
#include <windows.h>

// After windows.h
#include <knownfolders.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "automation/access_list.h"
#include "automation/payload_tools.h"
#include "automation/registry.h"
#include "automation/shell.h"
#include "automation/unix_links.h"
#include "e2e_fixture.h"
#include "sample_install.h"
#include "util/unique_handle.h"
#include "wizard_steps.h"

namespace zel::e2e {
namespace {

namespace fs = std::filesystem;

constexpr DWORD kBadCommandLine = 87;
constexpr DWORD kFailed = 1603;
constexpr DWORD kUnknownProduct = 1605;
constexpr DWORD kAlreadyRunning = 1618;
constexpr DWORD kLogFailed = 1622;
constexpr DWORD kNewerInstalled = 1638;
constexpr DWORD kRestartRequired = 3010;

// Runs a whole command line as the system would, with no display at all: under
// Wine any window the program tried to make would fail. scripts/run-e2e.sh runs
// the command lines dropped into ZEL_NODISPLAY_DIR with DISPLAY unset and
// writes back their exit codes.
std::optional<DWORD> RunWithoutDisplay(const std::wstring& commandLine,
                                       std::chrono::milliseconds timeout = kInstallTimeout + 40s) {
    const wchar_t* folder = ::_wgetenv(L"ZEL_NODISPLAY_DIR");
    if (!folder || !*folder) {
        ADD_FAILURE() << "ZEL_NODISPLAY_DIR is not set (scripts/run-e2e.sh sets it)";
        return std::nullopt;
    }
    static int serial = 0;
    const fs::path request = fs::path(folder) / (L"request" + std::to_wstring(++serial));
    const std::wstring text = commandLine;
    Bytes bytes(reinterpret_cast<const BYTE*>(text.data()), reinterpret_cast<const BYTE*>(text.data() + text.size()));
    if (!WriteFileBytes(request.wstring() + L".tmp", bytes) ||
        !::MoveFileExW((request.wstring() + L".tmp").c_str(), (request.wstring() + L".cmd").c_str(), 0)) {
        ADD_FAILURE() << "cannot write the request " << U8(request.wstring());
        return std::nullopt;
    }
    const fs::path result = request.wstring() + L".exit";
    Bytes answer;
    if (!WaitFor(
            [&] {
                answer = ReadFileBytes(result).value_or(Bytes{});
                return !answer.empty();
            },
            timeout, 100ms)) {
        ADD_FAILURE() << "no result for " << U8(commandLine);
        return std::nullopt;
    }
    const std::string code(answer.begin(), answer.end());
    if (code.empty() || code.find_first_not_of("0123456789") != std::string::npos) {
        ADD_FAILURE() << U8(commandLine) << ": " << code;
        return std::nullopt;
    }
    return static_cast<DWORD>(std::stoul(code));
}

fs::path Helper(const wchar_t* name) {
    wchar_t self[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    return fs::path(self).parent_path() / name;
}

// The lines of a log file without their time stamps. Records a failure for a
// missing byte-order mark, a line end other than CR LF, or a line without its
// "YYYY-MM-DD hh:mm:ss " stamp.
std::vector<std::wstring> LogFileLines(const fs::path& file) {
    std::vector<std::wstring> lines;
    const std::optional<Bytes> bytes = ReadFileBytes(file);
    if (!bytes) {
        ADD_FAILURE() << "no log file " << U8(file.wstring());
        return lines;
    }
    EXPECT_TRUE(bytes->size() >= 3 && (*bytes)[0] == 0xEF && (*bytes)[1] == 0xBB && (*bytes)[2] == 0xBF)
        << "UTF-8 byte-order mark";
    const std::string text(bytes->begin() + std::min<std::size_t>(3, bytes->size()), bytes->end());
    static const std::regex stamped(
        R"(^20\d\d-(0[1-9]|1[0-2])-(0[1-9]|[12]\d|3[01]) ([01]\d|2[0-3]):[0-5]\d:[0-5]\d (.*)$)");
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find("\r\n", start);
        if (end == std::string::npos) {
            ADD_FAILURE() << "the last line has no CR LF: " << text.substr(start);
            break;
        }
        const std::string line = text.substr(start, end - start);
        EXPECT_EQ(line.find('\n'), std::string::npos) << "a bare line feed in: " << line;
        std::smatch match;
        if (std::regex_match(line, match, stamped)) {
            lines.push_back(FromUtf8(match[4].str()));
        } else {
            ADD_FAILURE() << "no time stamp: " << line;
        }
        start = end + 2;
    }
    return lines;
}

// The lines of the wizard's log control.
std::vector<std::wstring> ControlLines(const std::wstring& text) {
    std::vector<std::wstring> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find(L"\r\n", start);
        if (end == std::wstring::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

std::string Joined(const std::vector<std::wstring>& lines) {
    std::string text;
    for (const std::wstring& line : lines) text += U8(line) + "\n";
    return text;
}

// Everything an install of the sample leaves, with the product key written as
// "{KEY}" so that two installs under fresh keys compare equal.
struct InstallState {
    std::map<std::wstring, Bytes> files;          // below the install folder
    std::map<std::wstring, std::wstring> values;  // the product's Uninstall key: type and data as text
    std::map<std::wstring, std::wstring> links;   // desktop shortcut and Start-menu items
    std::optional<Bytes> systemDll;
    std::optional<std::wstring> comRegistration;
    bool operator==(const InstallState&) const = default;
};

std::wstring ReplaceAllText(std::wstring text, const std::wstring& from, const std::wstring& to) {
    for (std::size_t at = text.find(from); !from.empty() && at != std::wstring::npos; at = text.find(from, at)) {
        text.replace(at, from.size(), to);
        at += to.size();
    }
    return text;
}

void PrintTo(const InstallState& state, std::ostream* os) {
    *os << "\n files:";
    for (const auto& [name, bytes] : state.files) *os << " " << U8(name) << "(" << bytes.size() << ")";
    *os << "\n values:";
    for (const auto& [name, value] : state.values) *os << "\n  " << U8(name) << " = " << U8(value);
    *os << "\n links:";
    for (const auto& [name, link] : state.links) *os << "\n  " << U8(name) << " -> " << U8(link);
    *os << "\n system library: " << (state.systemDll ? "present" : "absent")
        << ", registration: " << U8(state.comRegistration.value_or(L"(none)")) << "\n";
}

class QuietTest : public SampleInstallTest {
protected:
    // Runs setup.exe (or another program) with the arguments, with no display,
    // and returns its exit code.
    std::optional<DWORD> Run(const std::vector<std::wstring>& arguments, const fs::path& exe = {},
                             std::chrono::milliseconds timeout = kInstallTimeout + 40s) {
        std::wstring commandLine = QuoteArgument((exe.empty() ? GetInputs().setupExe : exe).wstring());
        for (const std::wstring& argument : arguments) commandLine += L" " + QuoteArgument(argument);
        return RunWithoutDisplay(commandLine, timeout);
    }

    // The same on the display the other tests use: a message box would wait for
    // an answer, so the run would not end.
    std::optional<DWORD> RunOnTheDisplay(const std::vector<std::wstring>& arguments, const fs::path& exe) {
        Process process = StartProcess(exe.empty() ? GetInputs().setupExe : exe, arguments);
        EXPECT_TRUE(process);
        return ExitCode(process, kWindowTimeout);
    }

    std::wstring OnlyKey() {
        const std::vector<std::wstring> keys = KeysOfProduct(Sample().appName);
        EXPECT_EQ(keys.size(), 1u);
        return keys.empty() ? std::wstring() : keys[0];
    }

    InstallState Snapshot() {
        InstallState state;
        for (const auto& [name, path] : ListFiles(installDir_))
            state.files[name] = ReadFileBytes(path).value_or(Bytes{});
        const std::wstring key = OnlyKey();
        for (const RegistryValue& value : ReadUninstallValues(key)) {
            std::wstring data;
            if (value.type == REG_DWORD && value.data.size() == 4) {
                DWORD number = 0;
                std::memcpy(&number, value.data.data(), 4);
                data = L"dword:" + std::to_wstring(number);
            } else {
                data = L"type " + std::to_wstring(value.type) + L": " +
                       std::wstring(reinterpret_cast<const wchar_t*>(value.data.data()), value.data.size() / 2);
            }
            state.values[value.name] = ReplaceAllText(data, key, L"{KEY}");
        }
        std::vector<fs::path> links = {desktopLink_};
        for (const auto& [name, path] : ListFiles(startMenuGroup_)) links.push_back(path);
        for (const fs::path& link : links) {
            const std::optional<ShortcutContent> content = ReadShortcut(link);
            state.links[link.wstring()] = content ? content->target + L"|" + content->workingDirectory + L"|" +
                                                        content->iconPath + L"|" + std::to_wstring(content->iconIndex) +
                                                        L"|" + content->arguments
                                                  : L"(missing)";
        }
        state.systemDll = ReadFileBytes(systemDll_);
        state.comRegistration = ReadMachineString(kComTestKey, kComDllName);
        return state;
    }

    // Runs the registered QuietUninstallString exactly as it stands, with no
    // display, and expects the whole product gone.
    void RemoveWithQuietUninstallString() {
        const std::wstring key = OnlyKey();
        const std::wstring quiet = ReadUninstallString(key, L"QuietUninstallString").value_or(L"");
        ASSERT_EQ(U8(quiet),
                  U8(L"\"" + (installDir_ / L"Uninstall.exe").wstring() + L"\" /uninstall " + key + L" /quiet"));
        const std::vector<std::wstring> manifest =
            ManifestLines(ReadFileBytes(installDir_ / L"install_manifest.txt").value_or(Bytes{}));
        ASSERT_GE(manifest.size(), 4u);
        EXPECT_EQ(RunWithoutDisplay(quiet), std::optional<DWORD>(0));
        for (const std::wstring& entry : manifest) {
            if (entry == L"Uninstall.exe") continue;  // removes itself after the exit
            EXPECT_FALSE(fs::exists(installDir_ / entry)) << U8(entry);
        }
        EXPECT_TRUE(WaitFor([&] { return !fs::exists(installDir_ / L"Uninstall.exe"); }, 10s, 100ms))
            << "Uninstall.exe is still there 10 s after its exit";
        EXPECT_FALSE(UninstallKeyExists(key));
        EXPECT_FALSE(fs::exists(desktopLink_));
        EXPECT_FALSE(fs::exists(startMenuGroup_));
        EXPECT_FALSE(fs::exists(systemDll_));
        EXPECT_EQ(ReadMachineString(kComTestKey, kComDllName), std::nullopt);
        RemoveTree(installDir_);
        RemoveTracesOutsideTheFolder();
    }
};

TEST_F(QuietTest, InstallsWhatTheWizardInstallsAndItsQuietUninstallStringRemovesIt) {
    ComApartment com;
    // Without a display a message box cannot appear: it fails at once instead of
    // waiting for an answer that never comes.
    ASSERT_TRUE(Run({L"error", L"t", L"no display"}, Helper(L"e2e_box_helper.exe")).has_value())
        << "programs run without a display still have one";

    // The wizard with /log: the file holds what the log control shows.
    const fs::path wizardLog = scratch_ / L"wizard.log";
    Process setup = StartProcess(GetInputs().setupExe, {L"/log", wizardLog.wstring()});
    HWND wizard = Expect(setup, WindowKind::Wizard, L"welcome");
    ASSERT_NE(wizard, nullptr);
    ASSERT_TRUE(StartInstall(wizard, installDir_.wstring()));
    ASSERT_TRUE(WaitForFinish(setup, wizard, Mode::Install));
    const std::vector<std::wstring> wizardLines = ControlLines(ControlText(wizard, kLog));
    Click(wizard, kNext);
    ASSERT_EQ(ExitCode(setup), std::optional<DWORD>(0));
    ASSERT_GE(wizardLines.size(), 5u);
    EXPECT_EQ(Joined(LogFileLines(wizardLog)), Joined(wizardLines));
    const InstallState byWizard = Snapshot();
    ASSERT_EQ(byWizard.values.count(L"QuietUninstallString"), 1u);

    RemoveWithQuietUninstallString();

    // The same install without a window, into the /dir folder.
    const fs::path quietLog = scratch_ / L"quiet.log";
    EXPECT_EQ(Run({L"/quiet", L"/dir", installDir_.wstring(), L"/log", quietLog.wstring()}), std::optional<DWORD>(0));
    EXPECT_EQ(Snapshot(), byWizard);
    EXPECT_EQ(Joined(LogFileLines(quietLog)), Joined(wizardLines));

    RemoveWithQuietUninstallString();
}

fs::path EnvPath(const wchar_t* name) {
    wchar_t value[32768] = {};
    const DWORD length = ::GetEnvironmentVariableW(name, value, 32768);
    return length > 0 && length < 32768 ? fs::path(value) : fs::path();
}

// The sample built with Compression=deflate and with Compression=lzma (its
// solid blocks decoded on the writer threads) installs exactly what the
// stored one installs: the same files, manifests, registry values, shortcuts
// and log lines. Only Uninstall.exe differs, being a copy of its own setup.exe.
TEST_F(QuietTest, CompressedSetupInstallsWhatTheStoredOneInstalls) {
    const fs::path deflate = EnvPath(L"ZEL_DEFLATE_SETUP_EXE");
    const fs::path lzma = EnvPath(L"ZEL_LZMA_SETUP_EXE");
    if (deflate.empty() || lzma.empty()) GTEST_SKIP() << "scripts/run-e2e.sh builds the compressed samples";
    ComApartment com;
    std::vector<InstallState> states;
    std::vector<std::vector<std::wstring>> logs;
    for (const fs::path& setup : {GetInputs().setupExe, deflate, lzma}) {
        SCOPED_TRACE(U8(setup.wstring()));
        const fs::path log = scratch_ / (setup.stem().wstring() + L".log");
        ASSERT_EQ(Run({L"/quiet", L"/dir", installDir_.wstring(), L"/log", log.wstring()}, setup),
                  std::optional<DWORD>(0));
        EXPECT_EQ(ReadFileBytes(installDir_ / L"Uninstall.exe"), ReadFileBytes(setup));
        states.push_back(Snapshot());
        states.back().files.erase(L"Uninstall.exe");
        logs.push_back(LogFileLines(log));
        RemoveWithQuietUninstallString();
    }
    for (std::size_t i = 1; i < states.size(); ++i) {
        EXPECT_EQ(states[i], states[0]);
        EXPECT_EQ(Joined(logs[i]), Joined(logs[0]));
    }
    EXPECT_GE(states[0].files.size(), 5u);
}

// One byte flipped in a product file's stored bytes (its compressed block in
// a compressed setup.exe, a solid block shared with other files for LZMA),
// patched after building: the whole payload is
// checked before anything is written, so nothing of the product is created,
// not even the install folder; the run ends with the damaged-file line and
// 1603, and no Uninstall key.
TEST_F(QuietTest, FlippedByteInAnyPayloadEndsWith1603BeforeAnythingIsCreated) {
    const fs::path deflate = EnvPath(L"ZEL_DEFLATE_SETUP_EXE");
    const fs::path lzma = EnvPath(L"ZEL_LZMA_SETUP_EXE");
    if (deflate.empty() || lzma.empty()) GTEST_SKIP() << "scripts/run-e2e.sh builds the compressed samples";
    // The run names the first file in walk order whose block is damaged: in
    // the LZMA sample Doc\Manual.txt shares its solid block with App.exe.
    const std::pair<fs::path, const wchar_t*> cases[] = {
        {GetInputs().setupExe, L"Doc\\Manual.txt"}, {deflate, L"Doc\\Manual.txt"}, {lzma, L"App.exe"}};
    for (const auto& [setup, named] : cases) {
        SCOPED_TRACE(U8(setup.wstring()));
        const fs::path damaged = scratch_ / (L"damaged-" + setup.filename().wstring());
        std::wstring problem;
        // Sorted after App.exe and Data\..., so a copy in walk order would write those first.
        ASSERT_TRUE(WriteWithFlippedByte(setup, damaged, "files/Doc/Manual.txt", problem)) << U8(problem);
        const fs::path log = scratch_ / (L"damaged-" + setup.stem().wstring() + L".log");

        EXPECT_EQ(Run({L"/quiet", L"/dir", installDir_.wstring(), L"/log", log.wstring()}, damaged),
                  std::optional<DWORD>(kFailed));

        // The damaged file named, then the run's failure, and no file copied before.
        EXPECT_EQ(Joined(LogFileLines(log)),
                  Joined({L"[エラー] 埋め込みペイロードのファイルが破損しています: " + std::wstring(named),
                          L"[エラー] インストールに失敗しました。詳細はログを確認してください。"}));
        EXPECT_FALSE(fs::exists(installDir_)) << "nothing of the product is created";
        EXPECT_TRUE(KeysOfProduct(Sample().appName).empty());
        EXPECT_FALSE(fs::exists(systemDll_));
    }
}

// A product file held open by a running program is left to the next restart;
// deployment tools learn it from the exit code, a person from the log.
TEST_F(QuietTest, UninstallThatLeavesFilesToTheRestartEndsWith3010) {
    ASSERT_EQ(Run({L"/quiet", L"/dir", installDir_.wstring()}), std::optional<DWORD>(0));
    const std::wstring key = OnlyKey();
    const std::wstring quiet = ReadUninstallString(key, L"QuietUninstallString").value_or(L"");
    const fs::path held = installDir_ / L"Doc" / L"Manual.txt";
    const fs::path log = scratch_ / L"uninstall.log";
    UniqueKernelHandle lock(::CreateFileW(held.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(lock);
    EXPECT_EQ(RunWithoutDisplay(quiet + L" /log " + QuoteArgument(log.wstring())),
              std::optional<DWORD>(kRestartRequired));
    lock.reset();
    EXPECT_FALSE(UninstallKeyExists(key));
    EXPECT_TRUE(fs::exists(held));
    const std::string lines = Joined(LogFileLines(log));
    EXPECT_NE(lines.find(U8(L"再起動")), std::string::npos) << lines;
    EXPECT_NE(lines.find(U8(held.wstring())), std::string::npos) << lines;
    RemoveTree(installDir_);
    RemoveTracesOutsideTheFolder();
}

std::optional<DWORD> SharedCount(const fs::path& file) {
    DWORD value = 0;
    DWORD size = sizeof(value);
    if (::RegGetValueW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs", file.c_str(),
                       RRF_RT_REG_DWORD | RRF_SUBKEY_WOW6464KEY, nullptr, &value, &size) == ERROR_SUCCESS) {
        return value;
    }
    return std::nullopt;
}

// An installation made before shared files were counted left its library in
// System32 without a count; its own system manifest lists it. An update takes it
// as the product's: it replaces and registers it, counts it and keeps it listed,
// and the uninstall removes it.
TEST_F(QuietTest, UpdateTakesOverItsOwnSystemLibraryFromBeforeCounting) {
    ASSERT_EQ(Run({L"/quiet", L"/dir", installDir_.wstring()}), std::optional<DWORD>(0));
    const std::wstring key = OnlyKey();
    const Bytes library = ReadFileBytes(systemDll_).value_or(Bytes{});
    ASSERT_FALSE(library.empty());
    ASSERT_TRUE(fs::exists(installDir_ / L"system32_regsvr_manifest.txt"));
    // What such an installation looks like: an older library, no count, no
    // record but the manifest.
    const Bytes older = {'o', 'l', 'd', 'e', 'r'};
    ASSERT_TRUE(WriteFileBytes(systemDll_, older));
    ::RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs",
                         systemDll_.c_str());
    DeleteMachineKey(L"SOFTWARE\\ZelSetup\\SystemManifests");
    DeleteMachineKey(kComTestKey);
    ASSERT_TRUE(WriteUninstallKey(key, {{L"DisplayVersion", L"1.1.9"}}));

    const fs::path log = scratch_ / L"update.log";
    EXPECT_EQ(Run({L"/quiet", L"/dir", installDir_.wstring(), L"/log", log.wstring()}), std::optional<DWORD>(0));
    const std::vector<std::wstring> lines = LogFileLines(log);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(U8(lines.back()), U8(L"アップデートが正常に完了しました。"));
    for (const std::wstring& line : lines) EXPECT_EQ(line.find(L"参照カウントのない"), std::wstring::npos) << U8(line);
    EXPECT_EQ(ReadFileBytes(systemDll_), std::optional<Bytes>(library));
    EXPECT_EQ(SharedCount(systemDll_), std::optional<DWORD>(1));
    EXPECT_EQ(ReadMachineString(kComTestKey, kComDllName), std::optional<std::wstring>(L"registered"));
    const std::vector<std::wstring> manifest =
        ManifestLines(ReadFileBytes(installDir_ / L"install_manifest.txt").value_or(Bytes{}));
    EXPECT_NE(std::find(manifest.begin(), manifest.end(), L"system32_regsvr_manifest.txt"), manifest.end());

    RemoveWithQuietUninstallString();  // the library goes with its registration
}

TEST_F(QuietTest, OverAnInstallationUpdatesOlderRepairsEqualAndLeavesNewerAlone) {
    ASSERT_EQ(Run({L"/quiet", L"/dir", installDir_.wstring()}), std::optional<DWORD>(0));
    const std::wstring key = OnlyKey();
    const fs::path elsewhere = scratch_ / L"elsewhere";
    const Bytes app = ReadFileBytes(GetInputs().sampleDir / L"files" / L"App.exe").value_or(Bytes{});
    const Bytes damaged = {'o', 'l', 'd'};
    const std::wstring newer =
        L"[エラー] より新しいバージョン (1.10) がインストールされています。このセットアップのバージョンは " +
        Sample().appVersion + L" です。";
    struct Case {
        const char* name;
        std::wstring installedVersion;
        DWORD exitCode;
        std::wstring lastLine;
    };
    const Case cases[] = {
        {"older", L"1.1.9", 0, L"アップデートが正常に完了しました。"},
        {"unknown", L"", 0, L"アップデートが正常に完了しました。"},
        {"equal after trailing zeros", L"1.2", 0, L"修復が正常に完了しました。"},
        {"newer by number, not text", L"1.10", kNewerInstalled, newer},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(WriteUninstallKey(key, {{L"DisplayVersion", c.installedVersion}}));
        ASSERT_TRUE(WriteFileBytes(installDir_ / L"App.exe", damaged));
        const fs::path log = scratch_ / (std::wstring(c.name, c.name + std::strlen(c.name)) + L".log");

        EXPECT_EQ(Run({L"/quiet", L"/dir", elsewhere.wstring(), L"/log", log.wstring()}),
                  std::optional<DWORD>(c.exitCode));

        const std::vector<std::wstring> lines = LogFileLines(log);
        ASSERT_GE(lines.size(), 2u);
        EXPECT_EQ(U8(lines.front()), U8(L"[情報] インストール済みの製品が見つかったため、/dir の指定を無視します: " +
                                        elsewhere.wstring()));
        EXPECT_EQ(U8(lines.back()), U8(c.lastLine));
        EXPECT_FALSE(fs::exists(elsewhere));
        EXPECT_EQ(KeysOfProduct(Sample().appName), std::vector<std::wstring>{key}) << "the found key is reused";
        if (c.exitCode == 0) {
            EXPECT_EQ(ReadFileBytes(installDir_ / L"App.exe"), std::optional<Bytes>(app));
            EXPECT_EQ(ReadUninstallString(key, L"DisplayVersion"),
                      std::optional<std::wstring>(Sample().displayVersion));
        } else {
            EXPECT_EQ(ReadFileBytes(installDir_ / L"App.exe"), std::optional<Bytes>(damaged)) << "nothing changed";
            EXPECT_EQ(ReadUninstallString(key, L"DisplayVersion"), std::optional<std::wstring>(c.installedVersion));
        }
    }
}

// Quiet runs that fail before installing anything, each with its exit code and
// the log line that says why.
struct FailureCase {
    const char* name;
    std::vector<std::wstring> arguments;  // "LOG" stands for the log file's path
    DWORD exitCode;
    std::vector<std::wstring> lastLines;  // the end of the log file; empty: no log file
    bool bareStub = false;                // InstallerCore.exe without a payload
};

const std::vector<FailureCase>& FailureCases() {
    static const std::vector<FailureCase> cases = {
        {"DirWithoutValue",
         {L"/quiet", L"/log", L"LOG", L"/dir"},
         kBadCommandLine,
         {L"[エラー] /dir の値がありません。"}},
        {"DirFollowedBySwitch",
         {L"/quiet", L"/dir", L"/log", L"LOG"},
         kBadCommandLine,
         {L"[エラー] /dir の値がありません。"}},
        {"LogWithoutValue", {L"/quiet", L"/log"}, kBadCommandLine, {}},
        {"RelativeDir",
         {L"/quiet", L"/log", L"LOG", L"/dir", L"Apps\\Zel"},
         kBadCommandLine,
         {L"[エラー] /dir には絶対パスを指定してください: Apps\\Zel"}},
        {"OverlongDir",
         {L"/quiet", L"/log", L"LOG", L"/dir", L"C:\\" + std::wstring(310, L'x')},
         kBadCommandLine,
         {L"[エラー] /dir のフォルダを使えません (C:\\" + std::wstring(310, L'x') +
          L"): インストール先のパスが長すぎます。Uninstall.exe のパスが 259 文字以内に収まるよう、245 "
          L"文字以内のフォルダを指定してください。"}},
        {"DirInTheWindowsFolder",
         {L"/quiet", L"/log", L"LOG", L"/dir", L"C:\\windows\\Zel"},
         kBadCommandLine,
         {L"[エラー] Windows フォルダとその中にはインストールできません。"}},
        {"PercentInDir",
         {L"/quiet", L"/log", L"LOG", L"/dir", L"C:\\Apps\\Zel%20App"},
         kBadCommandLine,
         {L"[エラー] /dir のフォルダを使えません (C:\\Apps\\Zel%20App): インストール先のパスに % は使えません "
          L"(アンインストールのコマンドが正しく実行できなくなります): Zel%20App"}},
        {"ConsoleDeviceDir",
         {L"/quiet", L"/log", L"LOG", L"/dir", L"C:\\ZelDevices\\CONIN$"},
         kBadCommandLine,
         {L"[エラー] /dir のフォルダを使えません (C:\\ZelDevices\\CONIN$): "
          L"インストール先のパスに、フォルダ名に使えない文字または名前が含まれています: CONIN$"}},
        {"SuperscriptPortDir",
         {L"/quiet", L"/log", L"LOG", L"/dir", L"C:\\ZelDevices\\COM\x00B9\\Zel"},
         kBadCommandLine,
         {L"[エラー] /dir のフォルダを使えません (C:\\ZelDevices\\COM\x00B9\\Zel): "
          L"インストール先のパスに、フォルダ名に使えない文字または名前が含まれています: COM\x00B9"}},
        {"NetworkDir",
         {L"/quiet", L"/log", L"LOG", L"/dir", L"\\\\server\\share\\Zel"},
         kBadCommandLine,
         {L"[エラー] /dir のフォルダを使えません (\\\\server\\share\\Zel): インストール先には、ドライブ文字から始まる"
          L"フルパスを指定してください (例: C:\\Program Files\\製品名)。"}},
        {"UnknownSwitch",
         {L"-QUIET", L"/LOG", L"LOG", L"/silent"},
         kBadCommandLine,
         {L"[エラー] 不明な引数です: /silent"}},
        {"HelpInAQuietRun",
         {L"/quiet", L"/log", L"LOG", L"/?"},
         kBadCommandLine,
         {L"[エラー] /? は /quiet と一緒には使えません。"}},
        {"LogFolderMissing", {L"/quiet", L"/log", L"C:\\no such folder\\setup.log"}, kLogFailed, {}},
        {"UnknownProductKey",
         {L"/uninstall", L"{00000000-0000-0000-0000-000000000000}", L"/quiet", L"/log", L"LOG"},
         kUnknownProduct,
         {L"[アンインストール] インストール情報がレジストリに見つかりません。"}},
        {"NoPayload",
         {L"/quiet", L"/log", L"LOG"},
         kFailed,
         {L"[無効なセットアップ] 埋め込みペイロードリソースが見つかりません。",
          L"InstallerBuilder を実行して setup.exe を再生成してください。"},
         true},
    };
    return cases;
}

class QuietFailureTest : public QuietTest {
protected:
    void RunCases(bool onTheDisplay) {
        const bool defaultFolderBefore = fs::exists(Sample().defaultInstallDir);
        for (const FailureCase& c : FailureCases()) {
            SCOPED_TRACE(c.name);
            const fs::path log = scratch_ / (std::wstring(c.name, c.name + std::strlen(c.name)) + L".log");
            std::vector<std::wstring> arguments = c.arguments;
            for (std::wstring& argument : arguments) {
                if (argument == L"LOG") argument = log.wstring();
            }
            const fs::path exe = c.bareStub ? GetInputs().stubExe : fs::path();
            EXPECT_EQ(onTheDisplay ? RunOnTheDisplay(arguments, exe) : Run(arguments, exe),
                      std::optional<DWORD>(c.exitCode));
            if (!c.lastLines.empty()) {
                const std::vector<std::wstring> lines = LogFileLines(log);
                ASSERT_GE(lines.size(), c.lastLines.size());
                EXPECT_EQ(Joined(std::vector<std::wstring>(lines.end() - c.lastLines.size(), lines.end())),
                          Joined(c.lastLines));
            }
            EXPECT_TRUE(KeysOfProduct(Sample().appName).empty());
            EXPECT_EQ(fs::exists(Sample().defaultInstallDir), defaultFolderBefore);
            EXPECT_FALSE(fs::exists(L"C:\\ZelDevices")) << "a refused folder is not made";
        }
    }
};

TEST_F(QuietFailureTest, EachEndsWithItsCodeAndLogLineWithoutADisplay) { RunCases(false); }

// With a display, a message box would wait for an answer and the run would not end.
TEST_F(QuietFailureTest, NoneShowsAWindowWhenADisplayIsThere) { RunCases(true); }

// The names of the running processes, as the system lists them.
std::vector<std::wstring> RunningProgramNames() {
    std::vector<std::wstring> names;
    UniqueKernelHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) return names;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more; more = ::Process32NextW(snapshot.get(), &entry))
        names.push_back(entry.szExeFile);
    return names;
}

// A product library whose registration never returns (its DllRegisterServer
// sleeps for ever): the install ends that regsvr32.exe after its two-minute
// limit, fails the step as any failed registration does, registers nothing and
// leaves no regsvr32.exe running, and takes the library and its count out of the
// system folder again. The real limit: this test takes two minutes.
TEST_F(QuietTest, HangingRegistrationIsEndedAfterTwoMinutesAndFailsTheInstall) {
    const fs::path library = Helper(L"..\\comdll\\zel_comhang64.dll").lexically_normal();
    const std::optional<Bytes> libraryBytes = ReadFileBytes(library);
    ASSERT_TRUE(libraryBytes.has_value()) << "missing " << U8(library.wstring());
    std::vector<ArchiveFile> files = ReadProductFolder(GetInputs().sampleDir);
    for (ArchiveFile& file : files) {
        if (file.name != "setup.ini") continue;
        ASSERT_GE(file.data.size(), 2u);
        std::wstring ini(reinterpret_cast<const wchar_t*>(file.data.data() + 2), (file.data.size() - 2) / 2);
        ASSERT_NE(ini.find(L"Dll1=com\\ZelSampleCom.dll"), std::wstring::npos);
        file.data = Utf16LeWithBom(ReplaceAllText(ini, L"Dll1=com\\ZelSampleCom.dll", L"Dll1=com\\zel_comhang64.dll"));
    }
    files.push_back({"files/com/zel_comhang64.dll", *libraryBytes});
    const fs::path exe = scratch_ / L"setup_hanging_registration.exe";
    std::wstring error;
    ASSERT_TRUE(EmbedPayload(GetInputs().stubExe, exe, BuildArchive(files), error)) << U8(error);
    wchar_t systemFolder[MAX_PATH] = {};
    ASSERT_GT(::GetSystemDirectoryW(systemFolder, MAX_PATH), 0u);
    const fs::path placed = fs::path(systemFolder) / L"zel_comhang64.dll";
    const auto removePlaced = [&] {
        ::SetFileAttributesW(placed.c_str(), FILE_ATTRIBUTE_NORMAL);
        std::error_code ignored;
        fs::remove(placed, ignored);
        ::RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs",
                             placed.c_str());
    };
    removePlaced();

    const fs::path log = scratch_ / L"hanging.log";
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(Run({L"/quiet", L"/dir", installDir_.wstring(), L"/log", log.wstring()}, exe, 5min),
              std::optional<DWORD>(kFailed));
    const auto took = std::chrono::steady_clock::now() - started;
    // The failed fresh install took back what it placed in the system folder.
    EXPECT_FALSE(fs::exists(placed)) << "the library stayed in the system folder";
    EXPECT_EQ(SharedCount(placed), std::nullopt) << "the library's count stayed";
    removePlaced();

    EXPECT_GE(took, 115s) << "the registration was not given its time";
    EXPECT_LT(took, 200s);
    const std::vector<std::wstring> lines = LogFileLines(log);
    const std::wstring ended =
        L"[エラー] regsvr32 が 120 秒以内に終わらなかったため終了させました。 " + placed.wstring();
    EXPECT_NE(std::find_if(lines.begin(), lines.end(),
                           [&](const std::wstring& line) { return ::_wcsicmp(line.c_str(), ended.c_str()) == 0; }),
              lines.end())
        << Joined(lines);
    // The step fails as a failed registration does: its error line, then the reason.
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(U8(lines[lines.size() - 2]),
              U8(L"[エラー] システムフォルダへの配置または regsvr32 登録に失敗しました。"));
    EXPECT_EQ(U8(lines.back()),
              U8(L"regsvr32 が 120 秒以内に終わらなかったため終了させました。 (" + placed.wstring() + L")"))
        << Joined(lines);
    EXPECT_TRUE(KeysOfProduct(Sample().appName).empty()) << "a failed run registers nothing";
    EXPECT_FALSE(fs::exists(installDir_ / L"install_manifest.txt"));
    for (const std::wstring& name : RunningProgramNames())
        EXPECT_NE(::_wcsicmp(name.c_str(), L"regsvr32.exe"), 0) << "a regsvr32.exe is still running";
}

TEST_F(QuietTest, FatalInstallStepEndsWith1603AndRegistersNothing) {
    // Held open without sharing, as by a running program: the copy fails.
    ASSERT_TRUE(WriteFileBytes(installDir_ / L"Doc" / L"Manual.txt", {'o', 'l', 'd'}));
    UniqueKernelHandle lock(::CreateFileW((installDir_ / L"Doc" / L"Manual.txt").c_str(), GENERIC_READ, 0, nullptr,
                                          OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(lock);
    const fs::path log = scratch_ / L"failed.log";

    EXPECT_EQ(Run({L"/quiet", L"/dir", installDir_.wstring(), L"/log", log.wstring()}), std::optional<DWORD>(kFailed));

    const std::vector<std::wstring> lines = LogFileLines(log);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(U8(lines.back()), U8(L"[エラー] インストール中に予期しないエラーが発生しました。"));
    EXPECT_TRUE(KeysOfProduct(Sample().appName).empty());
    EXPECT_FALSE(fs::exists(installDir_ / L"install_manifest.txt"));
}

// A setup.exe whose product entry was renamed to climb out of the install
// folder, its digests made again: the quiet install refuses the payload as a
// damaged one, writes nothing outside the folder and registers nothing.
TEST_F(QuietTest, PayloadNameLeavingTheInstallFolderEndsWith1603AndWritesNothingOutside) {
    const fs::path exe = scratch_ / L"setup_renamed_entry.exe";
    std::wstring error;
    ASSERT_TRUE(
        WriteWithRenamedEntry(GetInputs().setupExe, exe, "files/Data/sample.dat", "files/../../zelsec.da", error))
        << U8(error);
    const fs::path log = scratch_ / L"renamed_entry.log";

    EXPECT_EQ(Run({L"/quiet", L"/dir", installDir_.wstring(), L"/log", log.wstring()}, exe),
              std::optional<DWORD>(kFailed));

    const std::vector<std::wstring> lines = LogFileLines(log);
    const std::wstring refused = L"[エラー] 埋め込みペイロードのファイルが破損しています: files/../../zelsec.da";
    EXPECT_NE(std::find(lines.begin(), lines.end(), refused), lines.end()) << Joined(lines);
    for (const std::wstring& line : lines) EXPECT_NE(line.find(L"コピー: "), 0u) << "nothing is copied: " << U8(line);
    EXPECT_FALSE(fs::exists(installDir_.parent_path().parent_path() / L"zelsec.da"));
    EXPECT_FALSE(fs::exists(installDir_.parent_path() / L"zelsec.da"));
    EXPECT_FALSE(fs::exists(installDir_ / L"App.exe"));
    EXPECT_TRUE(KeysOfProduct(Sample().appName).empty());
}

// The MstaFolder mirror as an administrator's quiet install meets it: a
// Korvel_10.ini that standard users can write (Wine shows a list that lets
// Everyone) is ignored with a warning and nothing is mirrored; once it can be
// trusted, the mirror copies, but keeps another program's read-only file.
TEST_F(QuietTest, MirrorIgnoresSettingsUsersCanWriteAndKeepsReadOnlyFiles) {
    const fs::path settings = KnownFolder(FOLDERID_LocalAppData) / L"Korvel" / L"Korvel_10.ini";
    const fs::path mirror = scratch_ / L"Msta";
    const fs::path vendorFile = mirror / L"Data" / L"sample.dat";
    ASSERT_TRUE(WriteFileBytes(vendorFile, {'v', 'e', 'n', 'd', 'o', 'r'}));
    ASSERT_TRUE(::SetFileAttributesW(vendorFile.c_str(), FILE_ATTRIBUTE_READONLY));
    const std::string text = "[Korvel]\r\nMstaFolder=" + U8(mirror.wstring()) + "\r\n";
    ASSERT_TRUE(WriteFileBytes(settings, Bytes(text.begin(), text.end())));
    struct RemoveSettings {
        fs::path file;
        ~RemoveSettings() {
            std::error_code ignored;
            fs::remove(file, ignored);
        }
    } removeSettings{settings};

    ASSERT_EQ(test::SetAccessListFromSddl(settings, L"D:P(A;;FA;;;WD)"), static_cast<DWORD>(ERROR_SUCCESS));

    const fs::path firstLog = scratch_ / L"mirror_untrusted.log";
    EXPECT_EQ(Run({L"/quiet", L"/dir", installDir_.wstring(), L"/log", firstLog.wstring()}), std::optional<DWORD>(0));
    const std::vector<std::wstring> first = LogFileLines(firstLog);
    const std::wstring ignored =
        L"[警告] 標準ユーザーが書き換えられる Korvel_10.ini のため MstaFolder を使いません: " + settings.wstring();
    EXPECT_NE(std::find(first.begin(), first.end(), ignored), first.end()) << Joined(first);
    EXPECT_FALSE(fs::exists(mirror / L"Data" / L"config.xml")) << "nothing is mirrored";

    // A file only the administrator can change (as a new file has it here).
    std::error_code error;
    fs::remove(settings, error);
    ASSERT_TRUE(WriteFileBytes(settings, Bytes(text.begin(), text.end())));
    const fs::path secondLog = scratch_ / L"mirror_trusted.log";
    EXPECT_EQ(Run({L"/quiet", L"/dir", installDir_.wstring(), L"/log", secondLog.wstring()}), std::optional<DWORD>(0));
    const std::vector<std::wstring> second = LogFileLines(secondLog);
    const std::wstring kept = L"[警告] 読み取り専用のファイルがあるため MstaFolder 先へコピーしません: ";
    EXPECT_NE(std::find_if(second.begin(), second.end(),
                           [&](const std::wstring& line) {
                               return line.starts_with(kept) && line.ends_with(L"\\Data\\sample.dat");
                           }),
              second.end())
        << Joined(second);
    EXPECT_EQ(ReadFileBytes(vendorFile), std::optional<Bytes>(Bytes{'v', 'e', 'n', 'd', 'o', 'r'}));
    EXPECT_TRUE(fs::exists(mirror / L"Data" / L"config.xml")) << Joined(second);
    ::SetFileAttributesW(vendorFile.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(QuietTest, UninstallOfAKeyWithoutItsFolderEndsWith1603AndKeepsTheKey) {
    ScopedUninstallKey key(L"{ZEL-QUIET-NO-LOCATION-TEST}");
    ASSERT_TRUE(WriteUninstallKey(key.name(), {{L"DisplayName", L"Zel"}, {L"ZelSetupAppName", Sample().appName}}));
    const fs::path log = scratch_ / L"uninstall.log";

    EXPECT_EQ(Run({L"/uninstall", key.name(), L"/quiet", L"/log", log.wstring()}), std::optional<DWORD>(kFailed));

    EXPECT_EQ(Joined(LogFileLines(log)),
              Joined({L"[アンインストール] インストール先 (InstallLocation) を読み取れません。"}));
    EXPECT_TRUE(UninstallKeyExists(key.name()));
}

TEST_F(QuietTest, AnotherRunOfTheProductMakesSetupAndUninstallEndWith1618) {
    const fs::path ready = scratch_ / L"lock_ready";
    Process holder = StartProcess(Helper(L"e2e_lock_holder.exe"), {Sample().appName, ready.wstring()});
    ASSERT_TRUE(holder);
    ASSERT_TRUE(WaitFor([&] { return fs::exists(ready); })) << "the helper did not take the mutex";

    const fs::path log = scratch_ / L"busy.log";
    EXPECT_EQ(Run({L"/quiet", L"/dir", installDir_.wstring(), L"/log", log.wstring()}),
              std::optional<DWORD>(kAlreadyRunning));
    EXPECT_EQ(Joined(LogFileLines(log)),
              Joined({L"[エラー] 同じ製品のセットアップまたはアンインストールが実行中です。"}));
    EXPECT_FALSE(fs::exists(installDir_));

    // The uninstall of the same product, found by the AppName its key records.
    fs::create_directories(installDir_);
    ScopedUninstallKey key(L"{ZEL-QUIET-BUSY-TEST}");
    ASSERT_TRUE(WriteUninstallKey(
        key.name(), {{L"InstallLocation", installDir_.wstring()}, {L"ZelSetupAppName", Sample().appName}}));
    EXPECT_EQ(Run({L"/uninstall", key.name(), L"/quiet"}), std::optional<DWORD>(kAlreadyRunning));
    EXPECT_TRUE(UninstallKeyExists(key.name()));

    holder.Terminate();
}

// An interactive run of a product another run holds says so and waits: Cancel
// ends it with 1 before anything is done, in setup and in uninstall mode; Retry
// asks again while the other run lasts and goes on once it has ended.
TEST_F(QuietTest, InteractiveRunWaitsInABoxWhileAnotherRunHoldsTheProduct) {
    const fs::path ready = scratch_ / L"lock_ready";
    Process holder = StartProcess(Helper(L"e2e_lock_holder.exe"), {Sample().appName, ready.wstring()});
    ASSERT_TRUE(holder);
    ASSERT_TRUE(WaitFor([&] { return fs::exists(ready); })) << "the helper did not take the lock";
    const std::wstring title = L"セットアップ実行中";
    const std::wstring text =
        L"同じ製品の別のセットアップまたはアンインストールが実行中です。\n"
        L"そちらが終わってから [再試行] を押してください。[キャンセル] を押すと何もせずに終了します。";
    const auto expectBusyBox = [&](const MessageBoxContent& box) {
        EXPECT_EQ(U8(box.title), U8(title));
        EXPECT_EQ(U8(box.text), U8(text));
        EXPECT_EQ(box.icon, BoxIcon::Warning) << BoxIconName(box.icon) << " found by " << box.iconFoundBy;
        EXPECT_EQ(box.buttons, (std::vector<int>{IDCANCEL, IDRETRY}));
    };

    const fs::path log = scratch_ / L"busy.log";
    Process cancelled = StartProcess(GetInputs().setupExe, {L"/log", log.wstring()});
    HWND box = Expect(cancelled, WindowKind::MessageBox, L"busy");
    ASSERT_NE(box, nullptr);
    expectBusyBox(AnswerBox(box, IDCANCEL, L"busy"));
    EXPECT_EQ(ExitCode(cancelled), std::optional<DWORD>(1)) << "nothing was done";
    EXPECT_EQ(Joined(LogFileLines(log)),
              Joined({L"[" + title + L"] " + text.substr(0, text.find(L'\n')), text.substr(text.find(L'\n') + 1)}));

    // The uninstall of the same product, found by the AppName its key records.
    fs::create_directories(installDir_);
    ScopedUninstallKey key(L"{ZEL-INTERACTIVE-BUSY-TEST}");
    ASSERT_TRUE(WriteUninstallKey(
        key.name(), {{L"InstallLocation", installDir_.wstring()}, {L"ZelSetupAppName", Sample().appName}}));
    Process uninstall = StartProcess(GetInputs().setupExe, {L"/uninstall", key.name()});
    box = Expect(uninstall, WindowKind::MessageBox, L"busy_uninstall");
    ASSERT_NE(box, nullptr);
    expectBusyBox(AnswerBox(box, IDCANCEL, L"busy_uninstall"));
    EXPECT_EQ(ExitCode(uninstall), std::optional<DWORD>(1));
    EXPECT_TRUE(UninstallKeyExists(key.name()));
    RemoveTree(installDir_);

    // Retry: the box again while the other run holds the product, then the
    // wizard, with the /dir folder and without the log file it cannot open.
    const std::wstring folder = L"C:\\Apps\\Zel Viewer";
    Process setup = StartProcess(
        GetInputs().setupExe, {L"/log", (scratch_ / L"no such folder" / L"x.log").wstring(), L"/dir", folder + L"\\"});
    box = Expect(setup, WindowKind::MessageBox, L"busy_retry");
    ASSERT_NE(box, nullptr);
    expectBusyBox(AnswerBox(box, IDRETRY, L"busy_retry"));
    box = Expect(setup, WindowKind::MessageBox, L"busy_retry_again");
    ASSERT_NE(box, nullptr) << "Retry while the other run lasts asks again";
    holder.Terminate();
    ASSERT_TRUE(holder.Wait(10s).has_value());
    expectBusyBox(AnswerBox(box, IDRETRY, L"busy_retry_again"));
    HWND wizard = Expect(setup, WindowKind::Wizard, L"welcome");
    ASSERT_NE(wizard, nullptr);
    ASSERT_TRUE(GoNext(wizard, WizardPage::License));
    ASSERT_TRUE(SetAccepted(wizard, true));
    ASSERT_TRUE(GoNext(wizard, WizardPage::Destination));
    EXPECT_EQ(U8(ControlText(wizard, kPathEdit)), U8(folder));
    Click(wizard, kCancel);
    EXPECT_EQ(ExitCode(setup), std::optional<DWORD>(0));
    EXPECT_FALSE(fs::exists(scratch_ / L"no such folder"));
    EXPECT_FALSE(fs::exists(folder));
}

// Without a display the wizard cannot appear: whatever else the command line
// says (other installers' silent switches, /?), the run did nothing and ends
// with 1 and the reason in its log, never with 0.
TEST_F(QuietTest, InteractiveRunThatCannotShowItsWizardEndsWith1) {
    const std::wstring failed = L"[エラー] セットアップの画面を表示できませんでした。";
    const bool defaultFolderBefore = fs::exists(Sample().defaultInstallDir);
    const std::vector<std::wstring> arguments[] = {{}, {L"/S"}, {L"/VERYSILENT"}, {L"/?"}};
    for (const std::vector<std::wstring>& extra : arguments) {
        const std::string name = extra.empty() ? "none" : U8(extra[0]);
        SCOPED_TRACE(name);
        const fs::path log = scratch_ / (L"nodisplay" + std::to_wstring(&extra - arguments) + L".log");
        std::vector<std::wstring> command = {L"/log", log.wstring()};
        command.insert(command.end(), extra.begin(), extra.end());
        EXPECT_EQ(Run(command), std::optional<DWORD>(1));
        const std::vector<std::wstring> lines = LogFileLines(log);
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(U8(lines.back().substr(0, failed.size())), U8(failed)) << Joined(lines);
        EXPECT_TRUE(KeysOfProduct(Sample().appName).empty());
        EXPECT_EQ(fs::exists(Sample().defaultInstallDir), defaultFolderBefore);
    }
}

// With a display, /? shows the switches and the exit codes and does nothing else.
TEST_F(QuietTest, HelpShowsTheCommandLineInABox) {
    const BoxOutcome outcome = RunToMessageBox(GetInputs().setupExe, {L"/?"}, L"help");
    ASSERT_TRUE(outcome.boxShown);
    EXPECT_EQ(U8(outcome.box.title), U8(L"コマンドライン"));
    EXPECT_EQ(outcome.box.icon, BoxIcon::Information) << BoxIconName(outcome.box.icon);
    for (const wchar_t* part : {L"/quiet", L"/dir <フォルダ>", L"/log <ファイル>", L"/uninstall <キー>", L"/help",
                                L"87", L"1603", L"1605", L"1618", L"1622", L"1638", L"3010"}) {
        EXPECT_NE(outcome.box.text.find(part), std::wstring::npos) << U8(part) << " in " << U8(outcome.box.text);
    }
    EXPECT_EQ(outcome.exitCode, std::optional<DWORD>(0));
    EXPECT_TRUE(KeysOfProduct(Sample().appName).empty());
}

// A log file another tool keeps in UTF-16LE gets UTF-16LE lines; one in
// Shift_JIS is not touched, and the quiet run ends with 1622.
TEST_F(QuietTest, LogFileKeepsItsEncodingOrTheRunEndsWith1622) {
    const std::wstring before = L"\xFEFF配布ツール開始\r\n";
    Bytes utf16(reinterpret_cast<const BYTE*>(before.data()),
                reinterpret_cast<const BYTE*>(before.data() + before.size()));
    const fs::path utf16Log = scratch_ / L"utf16.log";
    ASSERT_TRUE(WriteFileBytes(utf16Log, utf16));
    EXPECT_EQ(Run({L"/quiet", L"/log", utf16Log.wstring(), L"/dir", L"Apps\\Zel"}),
              std::optional<DWORD>(kBadCommandLine));
    const Bytes after = ReadFileBytes(utf16Log).value_or(Bytes{});
    ASSERT_GT(after.size(), utf16.size());
    ASSERT_EQ(after.size() % 2, 0u);
    ASSERT_TRUE(std::equal(utf16.begin(), utf16.end(), after.begin()));
    const std::wstring added(reinterpret_cast<const wchar_t*>(after.data() + utf16.size()),
                             (after.size() - utf16.size()) / 2);
    static const std::wregex line(LR"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d (.*)\r\n)");
    std::wsmatch match;
    ASSERT_TRUE(std::regex_match(added, match, line)) << U8(added);
    EXPECT_EQ(U8(match[1].str()), U8(L"[エラー] /dir には絶対パスを指定してください: Apps\\Zel"));

    const Bytes shiftJis = {0x94, 0x7A, 0x95, 0x7A, 0x0D, 0x0A};  // 配布 in Shift_JIS
    const fs::path sjisLog = scratch_ / L"sjis.log";
    ASSERT_TRUE(WriteFileBytes(sjisLog, shiftJis));
    EXPECT_EQ(Run({L"/quiet", L"/log", sjisLog.wstring(), L"/dir", installDir_.wstring()}),
              std::optional<DWORD>(kLogFailed));
    EXPECT_EQ(ReadFileBytes(sjisLog), std::optional<Bytes>(shiftJis));
    EXPECT_FALSE(fs::exists(installDir_));
    EXPECT_TRUE(KeysOfProduct(Sample().appName).empty());
}

// What a standard user prepared before an administrator's quiet install,
// simulated with a folder's mode (0777: writable by everyone, as a folder any
// user makes under C:\\) and Unix links standing for junctions and links into
// the system folder. Each run ends 1603 with its log line, and nothing reaches
// the links' targets.
TEST_F(QuietTest, LinksAndFoldersOfStandardUsersAreNeverWrittenThrough) {
    const fs::path system = scratch_ / L"System32";
    ASSERT_TRUE(WriteFileBytes(system / L"notepad.exe", Utf8Bytes(L"system's")));
    const fs::path data = installDir_ / L"Data";
    const fs::path manual = installDir_ / L"Doc" / L"Manual.txt";
    struct LinksGoFirst {  // the scratch folder's clean-up cannot take them
        ~LinksGoFirst() {
            test::RemoveUnixLink(data);
            test::RemoveUnixLink(manual);
        }
        fs::path data;
        fs::path manual;
    } links{data, manual};
    const struct {
        const char* name;
        bool usersMayChange;  // the install folder's mode
        bool dataLinked;
        bool manualLinked;
        std::wstring lineStart;
        std::wstring lineEnd;
    } cases[] = {
        {"folder users may change", true, true, true,
         L"[エラー] 標準ユーザーが書き込めるフォルダにはインストールできません: " + installDir_.wstring(), L""},
        {"folder link inside", false, true, false, L"[エラー] リンクまたはジャンクションを経由するため書き込めません: ",
         L"\\Data"},
        {"file link inside", false, false, true, L"[エラー] リンクまたはジャンクションを経由するため書き込めません: ",
         L"\\Doc\\Manual.txt"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::RemoveUnixLink(data);
        test::RemoveUnixLink(manual);
        RemoveTree(installDir_);
        ASSERT_TRUE(fs::create_directories(installDir_ / L"Doc"));
        if ((c.dataLinked && !test::MakeUnixLink(data, system)) ||
            (c.manualLinked && !test::MakeUnixLink(manual, system / L"notepad.exe")) ||
            !test::SetUnixMode(installDir_, c.usersMayChange ? 0777 : 0755)) {
            GTEST_SKIP() << "links and modes are made with Wine's help only";
        }
        const fs::path log = scratch_ / L"linked.log";
        EXPECT_EQ(Run({L"/quiet", L"/dir", installDir_.wstring(), L"/log", log.wstring()}),
                  std::optional<DWORD>(kFailed));
        const std::vector<std::wstring> lines = LogFileLines(log);
        EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [&](const std::wstring& line) {
            return line.starts_with(c.lineStart) && line.ends_with(c.lineEnd);
        })) << Joined(lines);
        EXPECT_EQ(ReadFileBytes(system / L"notepad.exe"), std::optional<Bytes>(Utf8Bytes(L"system's")));
        std::vector<fs::path> inSystem;
        for (const auto& entry : fs::directory_iterator(system)) inSystem.push_back(entry.path().filename());
        EXPECT_EQ(inSystem, std::vector<fs::path>{L"notepad.exe"});
        EXPECT_TRUE(KeysOfProduct(Sample().appName).empty());
        if (c.usersMayChange) {
            std::vector<fs::path> inFolder;
            for (const auto& entry : fs::directory_iterator(installDir_)) inFolder.push_back(entry.path().filename());
            std::sort(inFolder.begin(), inFolder.end());
            EXPECT_EQ(inFolder, (std::vector<fs::path>{L"Data", L"Doc"})) << "refused before anything is written";
        }
    }
}

TEST_F(QuietTest, InteractiveLogFileAlsoHoldsTheBoxesShown) {
    const fs::path log = scratch_ / L"startup.log";
    const BoxOutcome outcome = RunToMessageBox(GetInputs().stubExe, {L"/log", log.wstring()}, L"no_payload");
    ASSERT_TRUE(outcome.boxShown);
    EXPECT_EQ(U8(outcome.box.title), U8(L"無効なセットアップ"));
    EXPECT_EQ(outcome.exitCode, std::optional<DWORD>(1)) << "an interactive run keeps its exit code";
    EXPECT_EQ(Joined(LogFileLines(log)), Joined({L"[無効なセットアップ] 埋め込みペイロードリソースが見つかりません。",
                                                 L"InstallerBuilder を実行して setup.exe を再生成してください。"}));
}

// A folder holding this product's own installation is not another product's.
// With its Uninstall key deleted, a quiet /dir install takes the folder again;
// a stale key of the product (its folder gone) listed in front of the live one
// leads to the live one; and with only the stale key left, the Destination
// page takes the folder too.
TEST_F(QuietTest, OwnInstallationIsInstalledOverWithoutItsKeyOrBehindAStaleKey) {
    // Through the wizard first: under Wine the desktop window is made by the
    // first program that shows one, and a run without a display cannot make it.
    ASSERT_TRUE(InstallThroughWizard());
    const std::wstring first = OnlyKey();
    ASSERT_TRUE(DeleteUninstallKey(first));

    const fs::path log = scratch_ / L"own.log";
    EXPECT_EQ(Run({L"/quiet", L"/dir", installDir_.wstring(), L"/log", log.wstring()}), std::optional<DWORD>(0))
        << Joined(LogFileLines(log));
    const std::wstring live = OnlyKey();
    EXPECT_EQ(ReadUninstallString(live, L"InstallLocation"), std::optional<std::wstring>(installDir_.wstring()));

    // Sorts before any key an install makes.
    const std::wstring stale = L"{00000000-0000-4000-8000-000000000000}";
    ASSERT_TRUE(WriteUninstallKey(stale, {{L"InstallLocation", (scratch_ / L"gone").wstring()},
                                          {L"DisplayVersion", Sample().displayVersion},
                                          {L"ZelSetupAppName", Sample().appName}}));
    const fs::path staleLog = scratch_ / L"stale.log";
    EXPECT_EQ(Run({L"/quiet", L"/dir", installDir_.wstring(), L"/log", staleLog.wstring()}), std::optional<DWORD>(0));
    const std::vector<std::wstring> lines = LogFileLines(staleLog);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(U8(lines.front()),
              U8(L"[情報] インストール済みの製品が見つかったため、/dir の指定を無視します: " + installDir_.wstring()));
    EXPECT_EQ(KeysOfProduct(Sample().appName), (std::vector<std::wstring>{stale, live})) << "the live key is reused";

    ASSERT_TRUE(DeleteUninstallKey(live));
    Process setup = StartProcess(GetInputs().setupExe, {});
    HWND wizard = Expect(setup, WindowKind::Wizard, L"welcome");
    ASSERT_NE(wizard, nullptr);
    ASSERT_TRUE(StartInstall(wizard, installDir_.wstring()));
    ASSERT_TRUE(WaitForFinish(setup, wizard, Mode::Install));
    Click(wizard, kNext);
    EXPECT_EQ(ExitCode(setup), std::optional<DWORD>(0));
    const std::vector<std::wstring> keys = KeysOfProduct(Sample().appName);
    ASSERT_EQ(keys.size(), 2u);
    EXPECT_EQ(ReadUninstallString(keys[1], L"InstallLocation"), std::optional<std::wstring>(installDir_.wstring()));
}

// DefaultInstallDir=%ProgramFiles%\... names Program Files where this machine
// has it: the Destination page proposes the expanded folder, and a quiet run
// without /dir installs and registers it there.
TEST_F(QuietTest, DefaultInstallDirWithProgramFilesVariableIsExpanded) {
    std::vector<ArchiveFile> files = ReadProductFolder(GetInputs().sampleDir);
    for (ArchiveFile& file : files) {
        if (file.name != "setup.ini") continue;
        ASSERT_GE(file.data.size(), 2u);
        std::wstring ini(reinterpret_cast<const wchar_t*>(file.data.data() + 2), (file.data.size() - 2) / 2);
        const std::wstring line = L"DefaultInstallDir=" + Sample().defaultInstallDir;
        ASSERT_NE(ini.find(line), std::wstring::npos);
        file.data = Utf16LeWithBom(ReplaceAllText(ini, line, L"DefaultInstallDir=%ProgramFiles%\\ZelVariable\\App"));
    }
    const fs::path exe = scratch_ / L"setup_program_files_variable.exe";
    std::wstring error;
    ASSERT_TRUE(EmbedPayload(GetInputs().stubExe, exe, BuildArchive(files), error)) << U8(error);
    const fs::path vendor = KnownFolder(FOLDERID_ProgramFiles) / L"ZelVariable";
    const fs::path expected = vendor / L"App";
    RemoveTree(vendor);

    Process setup = StartProcess(exe, {});
    HWND wizard = Expect(setup, WindowKind::Wizard, L"welcome");
    ASSERT_NE(wizard, nullptr);
    ASSERT_TRUE(GoNext(wizard, WizardPage::License));
    ASSERT_TRUE(SetAccepted(wizard, true));
    ASSERT_TRUE(GoNext(wizard, WizardPage::Destination));
    EXPECT_EQ(U8(ControlText(wizard, kPathEdit)), U8(expected.wstring()));
    Click(wizard, kCancel);
    EXPECT_EQ(ExitCode(setup), std::optional<DWORD>(0));

    const fs::path log = scratch_ / L"variable.log";
    EXPECT_EQ(Run({L"/quiet", L"/log", log.wstring()}, exe), std::optional<DWORD>(0)) << Joined(LogFileLines(log));
    EXPECT_TRUE(fs::exists(expected / L"App.exe"));
    EXPECT_EQ(ReadUninstallString(OnlyKey(), L"InstallLocation"), std::optional<std::wstring>(expected.wstring()));
    RemoveTree(vendor);
}

}  // namespace
}  // namespace zel::e2e
