// Quiet runs of the sample setup.exe as deployment tools start them: with no
// display at all (any window would fail), a log file and exit codes. A quiet
// install leaves what the wizard leaves, the registered quiet uninstall command
// removes it, an installed product is updated, repaired or left alone, and every
// failure ends with its own code.
#include <windows.h>

#include <tlhelp32.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>
#include <regex>
#include <string>
#include <vector>

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
        {"UnknownSwitch",
         {L"-QUIET", L"/LOG", L"LOG", L"/silent"},
         kBadCommandLine,
         {L"[エラー] 不明な引数です: /silent"}},
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
// leaves no regsvr32.exe running. The real limit: this test takes two minutes.
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

TEST_F(QuietTest, InteractiveRunStartsAtTheDirFolderWithoutItsLogFileWhileAnotherRunHoldsTheProduct) {
    const fs::path ready = scratch_ / L"lock_ready";
    Process holder = StartProcess(Helper(L"e2e_lock_holder.exe"), {Sample().appName, ready.wstring()});
    ASSERT_TRUE(holder);
    ASSERT_TRUE(WaitFor([&] { return fs::exists(ready); })) << "the helper did not take the mutex";

    const std::wstring folder = L"C:\\Apps\\Zel Viewer";
    Process setup = StartProcess(
        GetInputs().setupExe, {L"/log", (scratch_ / L"no such folder" / L"x.log").wstring(), L"/dir", folder + L"\\"});
    HWND wizard = Expect(setup, WindowKind::Wizard, L"welcome");
    ASSERT_NE(wizard, nullptr) << "no wizard (a box instead?)";
    ASSERT_TRUE(GoNext(wizard, WizardPage::License));
    ASSERT_TRUE(SetAccepted(wizard, true));
    ASSERT_TRUE(GoNext(wizard, WizardPage::Destination));
    EXPECT_EQ(U8(ControlText(wizard, kPathEdit)), U8(folder));
    Click(wizard, kCancel);
    EXPECT_EQ(ExitCode(setup), std::optional<DWORD>(0));
    EXPECT_FALSE(fs::exists(scratch_ / L"no such folder"));
    EXPECT_FALSE(fs::exists(folder));
    holder.Terminate();
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

}  // namespace
}  // namespace zel::e2e
