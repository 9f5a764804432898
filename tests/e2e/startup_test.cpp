// Start-up of the real setup.exe: payload extraction, the start-up failures with
// their boxes and exit codes, and which road each command line takes.
#include <windows.h>

#include <algorithm>
#include <functional>
#include <set>

#include "automation/payload_tools.h"
#include "e2e_fixture.h"

namespace zel::e2e {
namespace {

namespace fs = std::filesystem;

const std::wstring kPayloadMissing =
    L"埋め込みペイロードリソースが見つかりません。\nInstallerBuilder を実行して setup.exe を再生成してください。";
const std::wstring kInvalidSetup = L"無効なセットアップ";
const std::wstring kLicenseFileUnset = L"setup.ini の [Setup] LicenseFile が未設定です。";
const std::wstring kLicenseUnreadable = L"使用許諾ファイルを読み込めませんでした。LicenseFile を確認してください。";
const std::wstring kConfigError = L"設定エラー";
const std::wstring kNotRegistered = L"インストール情報がレジストリに見つかりません。";

FILETIME Now() {
    FILETIME now{};
    ::GetSystemTimeAsFileTime(&now);
    return now;
}

std::set<std::wstring> NamesBetween(FILETIME from, FILETIME to) {
    std::set<std::wstring> names;
    ULARGE_INTEGER t{{from.dwLowDateTime, from.dwHighDateTime}};
    ULARGE_INTEGER end{{to.dwLowDateTime, to.dwHighDateTime}};
    for (; t.QuadPart <= end.QuadPart + 10'000'000ull; t.QuadPart += 10'000'000ull) {
        FILETIME f{t.LowPart, t.HighPart};
        names.insert(TempFolderNameAt(f));
    }
    return names;
}

// Start-up writes what it reads (setup.ini and the licence) into a new temp
// folder; the product's files go from the payload straight to the install folder.
TEST_F(E2eTest, SampleSetupWritesWhatStartUpReadsIntoTemp) {
    for (const fs::path& old : SetupTempFolders()) RemoveTree(old);
    const FILETIME before = Now();
    Process setup = StartProcess(GetInputs().setupExe, {});
    ASSERT_TRUE(setup);
    HWND wizard = Expect(setup, WindowKind::Wizard, L"wizard");
    ASSERT_NE(wizard, nullptr);
    const FILETIME after = Now();

    const std::vector<fs::path> folders = SetupTempFolders();
    ASSERT_EQ(folders.size(), 1u) << "expected exactly one ZelSetup_ folder in " << fs::temp_directory_path();
    const std::set<std::wstring> names = NamesBetween(before, after);
    EXPECT_TRUE(names.count(folders[0].filename().wstring()))
        << "folder name " << U8(folders[0].filename().wstring()) << " is not the start time";

    auto expected = ListFiles(GetInputs().sampleDir);
    std::erase_if(expected,
                  [](const auto& item) { return item.first != L"setup.ini" && item.first != L"License.txt"; });
    const auto extracted = ListFiles(folders[0]);
    std::vector<std::string> expectedNames, extractedNames;
    for (const auto& [name, path] : expected) expectedNames.push_back(U8(name));
    for (const auto& [name, path] : extracted) extractedNames.push_back(U8(name));
    EXPECT_EQ(extractedNames, expectedNames);
    for (const auto& [name, path] : expected) {
        const auto found = extracted.find(name);
        if (found == extracted.end()) continue;
        EXPECT_EQ(ReadFileBytes(found->second), ReadFileBytes(path)) << U8(name) << " differs";
    }
    const Bytes ini = ReadFileBytes(folders[0] / L"setup.ini").value_or(Bytes{});
    ASSERT_GE(ini.size(), 2u);
    EXPECT_TRUE(ini[0] == 0xFF && ini[1] == 0xFE) << "setup.ini keeps its UTF-16LE byte-order mark";

    Click(wizard, 1010);
    EXPECT_EQ(ExitCode(setup), std::optional<DWORD>(0));
    EXPECT_FALSE(fs::exists(folders[0])) << "the extraction folder outlives setup.exe";
    RemoveTree(folders[0]);
}

// ---- start-up failures ---------------------------------------------------------

std::wstring DecodeUtf16Le(const Bytes& bytes) {
    std::wstring text;
    for (std::size_t i = 2; i + 1 < bytes.size(); i += 2)
        text.push_back(static_cast<wchar_t>(bytes[i] | (bytes[i + 1] << 8)));
    return text;
}

ArchiveFile* FindEntry(std::vector<ArchiveFile>& files, const std::string& name) {
    for (ArchiveFile& file : files) {
        if (_stricmp(file.name.c_str(), name.c_str()) == 0) return &file;
    }
    return nullptr;
}

// Replaces the sample setup.ini's LicenseFile line; an empty replacement removes it.
void SetLicenseLine(std::vector<ArchiveFile>& files, const std::wstring& line) {
    ArchiveFile* ini = FindEntry(files, "setup.ini");
    ASSERT_NE(ini, nullptr);
    std::wstring text = DecodeUtf16Le(ini->data);
    const std::size_t start = text.find(L"LicenseFile=");
    ASSERT_NE(start, std::wstring::npos);
    std::size_t end = text.find_first_of(L"\r\n", start);
    if (end == std::wstring::npos) end = text.size();
    text.replace(start, end - start, line);
    ini->data = Utf16LeWithBom(text);
}

void SetLicenseBytes(std::vector<ArchiveFile>& files, Bytes bytes) {
    ArchiveFile* licence = FindEntry(files, "License.txt");
    ASSERT_NE(licence, nullptr);
    licence->data = std::move(bytes);
}

struct FailureCase {
    const char* name;
    std::function<void(std::vector<ArchiveFile>&)> changeFiles;  // null: no archive of our own
    std::function<void(Bytes&)> changeArchive;
    std::wstring text;
    std::wstring title;
    const char* flippedEntry = nullptr;  // an entry of the built setup.exe damaged by one bit
};

std::vector<FailureCase> FailureCases() {
    return {
        {"BareStub", nullptr, nullptr, kPayloadMissing, kInvalidSetup},
        {"CorruptMagic", nullptr, nullptr, kPayloadMissing, kInvalidSetup},
        {"Version2", [](auto&) {}, [](Bytes& a) { a[8] = 2; }, kPayloadMissing, kInvalidSetup},
        {"CountBeyondEntries", [](auto&) {}, [](Bytes& a) { ++a[12]; }, kPayloadMissing, kInvalidSetup},
        {"DataBeyondEnd", [](auto&) {}, [](Bytes& a) { a.pop_back(); }, kPayloadMissing, kInvalidSetup},
        {"ShorterThanHeader", [](auto&) {}, [](Bytes& a) { a.resize(12); }, kPayloadMissing, kInvalidSetup},
        {"LicenseFileEmpty", [](auto& f) { SetLicenseLine(f, L"LicenseFile="); }, nullptr, kLicenseFileUnset,
         kConfigError},
        {"LicenseFileBlank", [](auto& f) { SetLicenseLine(f, L"LicenseFile=   "); }, nullptr, kLicenseFileUnset,
         kConfigError},
        {"LicenseFileMissing", [](auto& f) { SetLicenseLine(f, L""); }, nullptr, kLicenseFileUnset, kConfigError},
        {"NoSetupIni",
         [](auto& f) {
             f.erase(std::remove_if(f.begin(), f.end(), [](auto& e) { return e.name == "setup.ini"; }), f.end());
         },
         nullptr, kLicenseFileUnset, kConfigError},
        {"LicenceFileAbsent", [](auto& f) { SetLicenseLine(f, L"LicenseFile=NoSuchLicense.txt"); }, nullptr,
         kLicenseUnreadable, kConfigError},
        {"LicenceIsAFolder", [](auto& f) { SetLicenseLine(f, L"LicenseFile=files"); }, nullptr, kLicenseUnreadable,
         kConfigError},
        {"LicenceEmpty", [](auto& f) { SetLicenseBytes(f, {}); }, nullptr, kLicenseUnreadable, kConfigError},
        {"LicenceOddLengthUtf16",
         [](auto& f) {
             SetLicenseBytes(f, {0xFF, 0xFE, 0x41, 0x00, 0x42});
         },
         nullptr, kLicenseUnreadable, kConfigError},
        // A damaged download: the archive is well-formed but an entry start-up
        // reads differs from its digest.
        {"FlippedBitInSetupIni", nullptr, nullptr, kPayloadMissing, kInvalidSetup, "setup.ini"},
        {"FlippedBitInLicence", nullptr, nullptr, kPayloadMissing, kInvalidSetup, "License.txt"},
        {"LicenceOnlyByteOrderMark",
         [](auto& f) {
             SetLicenseBytes(f, {0xFF, 0xFE});
         },
         nullptr, kLicenseUnreadable, kConfigError},
    };
}

class StartupFailureTest : public E2eTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(StartupFailureTest, ShowsItsErrorBoxAndExitsWithOne) {
    const FailureCase& c = GetParam();
    const Inputs& inputs = GetInputs();
    fs::path exe;
    std::wstring error;
    if (std::string(c.name) == "BareStub") {
        exe = inputs.stubExe;
    } else if (std::string(c.name) == "CorruptMagic") {
        exe = scratch_ / L"setup_corrupt.exe";
        ASSERT_TRUE(WriteWithCorruptMagic(inputs.setupExe, exe, error)) << U8(error);
    } else if (c.flippedEntry) {
        exe = scratch_ / L"setup_damaged.exe";
        ASSERT_TRUE(WriteWithFlippedByte(inputs.setupExe, exe, c.flippedEntry, error)) << U8(error);
    } else {
        std::vector<ArchiveFile> files = ReadProductFolder(inputs.sampleDir);
        ASSERT_FALSE(files.empty());
        c.changeFiles(files);
        if (HasFatalFailure()) return;
        Bytes archive = BuildArchive(files);
        if (c.changeArchive) c.changeArchive(archive);
        exe = scratch_ / L"setup_variant.exe";
        ASSERT_TRUE(EmbedPayload(inputs.stubExe, exe, archive, error)) << U8(error);
    }

    for (const fs::path& old : SetupTempFolders()) RemoveTree(old);
    const BoxOutcome outcome = RunToMessageBox(exe, {}, L"box");
    ASSERT_TRUE(outcome.boxShown);
    EXPECT_EQ(U8(outcome.box.text), U8(c.text));
    EXPECT_EQ(U8(outcome.box.title), U8(c.title));
    EXPECT_EQ(outcome.box.icon, BoxIcon::Error) << BoxIconName(outcome.box.icon);
    EXPECT_EQ(outcome.box.buttons, std::vector<int>{IDOK});
    EXPECT_EQ(outcome.exitCode, std::optional<DWORD>(1));
    EXPECT_TRUE(SetupTempFolders().empty()) << "a failed start leaves its extraction folder";
}

INSTANTIATE_TEST_SUITE_P(Cases, StartupFailureTest, ::testing::ValuesIn(FailureCases()),
                         [](const ::testing::TestParamInfo<FailureCase>& info) {
                             return std::string(info.param.name);
                         });

// ---- rich-edit library missing ---------------------------------------------------

// Wine's per-program setting that makes a library unavailable to one program name.
class DisabledLibrary {
public:
    DisabledLibrary(const std::wstring& exeName, const std::wstring& library)
        : key_(L"Software\\Wine\\AppDefaults\\" + exeName + L"\\DllOverrides"),
          exeKey_(L"Software\\Wine\\AppDefaults\\" + exeName) {
        HKEY key = nullptr;
        if (::RegCreateKeyExW(HKEY_CURRENT_USER, key_.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) ==
            ERROR_SUCCESS) {
            const wchar_t disabled[] = L"";
            ::RegSetValueExW(key, library.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(disabled),
                             sizeof(disabled));
            ::RegCloseKey(key);
        }
    }
    ~DisabledLibrary() { ::RegDeleteTreeW(HKEY_CURRENT_USER, exeKey_.c_str()); }

private:
    std::wstring key_;
    std::wstring exeKey_;
};

// Without Msftedit.dll the program stops before anything else, in setup mode and
// in uninstall mode alike.
TEST_F(E2eTest, MissingRichEditStopsEveryRoad) {
    const fs::path exe = scratch_ / L"setup_norichedit.exe";
    ASSERT_TRUE(fs::copy_file(GetInputs().setupExe, exe, fs::copy_options::overwrite_existing));
    const DisabledLibrary disabled(L"setup_norichedit.exe", L"msftedit");
    for (const std::vector<std::wstring>& arguments :
         {std::vector<std::wstring>{},
          std::vector<std::wstring>{L"/uninstall", L"{0BADC0DE-0000-4000-8000-000000000002}"}}) {
        SCOPED_TRACE(arguments.size());
        const BoxOutcome outcome = RunToMessageBox(exe, arguments, arguments.empty() ? L"setup" : L"uninstall");
        ASSERT_TRUE(outcome.boxShown);
        EXPECT_EQ(U8(outcome.box.text), U8(L"RichEdit コンポーネントの読み込みに失敗しました。"));
        EXPECT_EQ(U8(outcome.box.title), U8(L"初期化エラー"));
        EXPECT_EQ(outcome.box.icon, BoxIcon::Error) << BoxIconName(outcome.box.icon);
        EXPECT_EQ(outcome.box.buttons, std::vector<int>{IDOK});
        EXPECT_EQ(outcome.exitCode, std::optional<DWORD>(1));
    }
}

// ---- command-line roads ----------------------------------------------------------

enum class Road { Wizard, UninstallOfUnknownKey };

struct CommandLineCase {
    const char* name;
    std::wstring arguments;  // written exactly as typed after the program path
    Road road;
};

class CommandLineTest : public E2eTest, public ::testing::WithParamInterface<CommandLineCase> {};

TEST_P(CommandLineTest, TakesItsRoad) {
    const CommandLineCase& c = GetParam();
    Process setup = StartProcessWithCommandLine(GetInputs().setupExe, c.arguments);
    ASSERT_TRUE(setup);
    if (c.road == Road::Wizard) {
        HWND wizard = Expect(setup, WindowKind::Wizard, L"wizard");
        ASSERT_NE(wizard, nullptr);
        Click(wizard, 1010);
        EXPECT_EQ(ExitCode(setup), std::optional<DWORD>(0));
        return;
    }
    HWND box = Expect(setup, WindowKind::MessageBox, L"box");
    ASSERT_NE(box, nullptr);
    const MessageBoxContent content = AnswerBox(box, IDOK, L"box");
    EXPECT_EQ(U8(content.text), U8(kNotRegistered));
    EXPECT_EQ(U8(content.title), U8(L"アンインストール"));
    EXPECT_EQ(content.icon, BoxIcon::Error) << BoxIconName(content.icon);
    EXPECT_EQ(ExitCode(setup), std::optional<DWORD>(1));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CommandLineTest,
    ::testing::Values(
        CommandLineCase{"MixedCaseSwitchWithKey", L"/UnInstall {0BADC0DE-0000-4000-8000-000000000001}",
                        Road::UninstallOfUnknownKey},
        CommandLineCase{"DashSwitchWithBareKey", L"-UNINSTALL 0BADC0DE-0000-4000-8000-000000000001",
                        Road::UninstallOfUnknownKey},
        CommandLineCase{"OtherArgumentsAround", L"x /uninstall {0BADC0DE-0000-4000-8000-000000000001} y",
                        Road::UninstallOfUnknownKey},
        CommandLineCase{"SwitchTwiceTakesTheSecondAsKey", L"/uninstall /uninstall K", Road::UninstallOfUnknownKey},
        CommandLineCase{"SwitchLast", L"-uninstall", Road::Wizard},
        CommandLineCase{"SwitchGluedToKey", L"/uninstall={0BADC0DE-0000-4000-8000-000000000001}", Road::Wizard},
        CommandLineCase{"EmptyKey", L"/uninstall \"\"", Road::Wizard},
        CommandLineCase{"UnrelatedArguments", L"/S /D=C:\\x", Road::Wizard}),
    [](const ::testing::TestParamInfo<CommandLineCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace zel::e2e
