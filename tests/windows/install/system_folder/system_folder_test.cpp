#include "install/system_folder/system_folder.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "common/pe_image_cases.h"
#include "common/show_text.h"
#include "config/text_encoding.h"
#include "e2e/automation/access_list.h"
#include "install/destination/folder_security.h"
#include "install/system_folder/pe_image.h"
#include "install/system_folder/shared_dll_count.h"
#include "util/module_path.h"
#include "util/path_forms.h"
#include "util/unicode.h"
#include "windows/install/install_test_support.h"
#include "windows/recording_reporter.h"
#include "windows/wow64_programs.h"

namespace zel {
namespace {

namespace fs = std::filesystem;
using test::LogOf;
using test::RecordingReporter;
using test::ScratchFolder;

using test::Show;

constexpr wchar_t kTestKey[] = L"Software\\ZelSetupTest";

// The COM test libraries, built beside the test program.
fs::path ComLibrary(const wchar_t* name) { return fs::path(OwnModulePath()).parent_path() / L"comdll" / name; }

fs::path Canonical(const fs::path& path) {
    fs::path result;
    EXPECT_TRUE(WeaklyCanonical(path, result)) << path;
    return result;
}

fs::path NativeFolder() {
    wchar_t buffer[MAX_PATH];
    const UINT length = ::GetSystemDirectoryW(buffer, MAX_PATH);
    return Canonical(std::wstring(buffer, length));
}

fs::path Wow64Folder() {
    wchar_t buffer[MAX_PATH];
    const UINT length = ::GetSystemWow64DirectoryW(buffer, MAX_PATH);
    return length == 0 ? NativeFolder() : Canonical(std::wstring(buffer, length));
}

// A value under HKLM\Software\ZelSetupTest in the 64-bit view; nullopt-like empty flag when absent.
bool ReadTestValue(const wchar_t* name, std::wstring* data = nullptr) {
    UniqueHKey key;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kTestKey, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, key.put()) !=
        ERROR_SUCCESS) {
        return false;
    }
    wchar_t buffer[1024] = L"";
    DWORD size = sizeof(buffer) - sizeof(wchar_t);
    if (::RegQueryValueExW(key.get(), name, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size) !=
        ERROR_SUCCESS) {
        return false;
    }
    if (data) *data = buffer;
    return true;
}

void WriteTestValue(const wchar_t* name) {
    UniqueHKey key;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kTestKey, 0, nullptr, 0, KEY_SET_VALUE | KEY_WOW64_64KEY, nullptr,
                                key.put(), nullptr),
              ERROR_SUCCESS);
    static const wchar_t kData[] = L"registered";
    ::RegSetValueExW(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(kData), sizeof(kData));
}

void DeleteTestKey() { ::RegDeleteKeyExW(HKEY_LOCAL_MACHINE, kTestKey, KEY_WOW64_64KEY, 0); }

void WriteManifest(const fs::path& file, const std::vector<std::wstring>& lines) {
    std::string bytes = "\xEF\xBB\xBF";
    for (const auto& line : lines) bytes += WideToUtf8(line) + "\n";
    test::WriteFile(file, bytes);
}

void ForceDelete(const fs::path& file) {
    ::SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_NORMAL);
    ::DeleteFileW(file.c_str());
}

// Gives everyone full control of the folder, as a folder a standard user made.
void LetEveryoneWrite(const fs::path& folder) {
    ASSERT_EQ(test::SetAccessListFromSddl(folder, L"D:(A;OICI;FA;;;WD)"), static_cast<DWORD>(ERROR_SUCCESS));
    ASSERT_TRUE(StandardUsersCanWrite(folder)) << "the folder's list did not change";
}

// A payload root (tempDir) with its files folder, and clean system folders and
// registry before and after each test.
class SystemFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        Cleanup();
        ASSERT_TRUE(fs::exists(ComLibrary(L"zel_com64.dll"))) << "test libraries missing";
    }
    void TearDown() override { Cleanup(); }

    void Cleanup() {
        for (const wchar_t* name :
             {L"zel_com64.dll", L"zel_noexport64.dll", L"zel_com32.dll", L"zel_comfail32.dll", L"zel_notimage.txt",
              L"zel_thumb.dll", L"zel_comhang64.dll", L"zel_earlier64.dll"}) {
            ForceDelete(NativeFolder() / name);
            ForceDelete(Wow64Folder() / name);
            WriteSharedDllCount(NativeFolder() / name, false, 0);
            WriteSharedDllCount(Wow64Folder() / name, true, 0);
        }
        DeleteTestKey();
        ::RegDeleteKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\ZelSetup\\SystemManifests", KEY_WOW64_64KEY, 0);
        counted_.clear();
        raised_.clear();
    }

    fs::path Files() const { return payload_.path() / L"files"; }
    void AddLibrary(const std::wstring& relative, const wchar_t* library) {
        fs::create_directories((Files() / relative).parent_path());
        fs::copy_file(ComLibrary(library), Files() / relative, fs::copy_options::overwrite_existing);
    }

    ScratchFolder payload_{L"sysfolder_payload"};
    ScratchFolder install_{L"sysfolder_install"};
    std::vector<std::wstring> counted_;      // what "this product" holds counts on
    std::vector<RaisedSharedCount> raised_;  // the counts its runs raised
};

TEST(SystemFolderImages, TableOfImages) {
    ScratchFolder scratch(L"sysfolder_images");
    int index = 0;
    for (const test::PeImageCase& c : test::PeImageCases()) {
        SCOPED_TRACE(c.name);
        fs::path file;
        if (c.realLibrary) {
            file = ComLibrary(fs::path(c.realLibrary).c_str());
        } else {
            file = scratch.path() / (L"case" + std::to_wstring(index++) + L".dll");
            test::WriteFile(file, std::string(c.crafted.begin(), c.crafted.end()));
        }
        WORD machine = 0;
        EXPECT_EQ(ReadPeMachine(file, machine), c.machineRead);
        if (c.machineRead) {
            EXPECT_EQ(machine, c.machine);
        }
        EXPECT_EQ(HasDllRegisterServerExport(file), c.exportFound);

        bool use32 = false;
        std::wstring error;
        const bool picked = PickSystemFolder(file, nullptr, use32, error);
        EXPECT_EQ(picked, c.folder != test::Folder::Unsupported);
        if (picked) {
            EXPECT_EQ(use32, c.folder == test::Folder::ThirtyTwoBit);
            EXPECT_EQ(error, L"");
        }
    }
}

TEST(SystemFolderPaths, IsInSystemFolder) {
    EXPECT_TRUE(IsInSystemFolder(NativeFolder() / L"zel_x.dll"));
    EXPECT_TRUE(IsInSystemFolder(Wow64Folder() / L"sub" / L"zel_x.dll"));
    EXPECT_FALSE(IsInSystemFolder(NativeFolder()));
    EXPECT_FALSE(IsInSystemFolder(NativeFolder() / L".." / L"zel_x.dll"));
    EXPECT_FALSE(IsInSystemFolder(fs::temp_directory_path() / L"zel_x.dll"));
}

TEST(SystemFolderTools, LocateAndRunRegsvr32) {
    ZEL_SKIP_UNLESS_32BIT_PROGRAMS_RUN();
    fs::path folder;
    fs::path regsvr32;
    std::wstring error;
    ASSERT_TRUE(LocateRegsvr32(false, folder, regsvr32, error)) << Show(error);
    EXPECT_EQ(folder, NativeFolder());
    EXPECT_EQ(regsvr32, NativeFolder() / L"regsvr32.exe");
    ASSERT_TRUE(LocateRegsvr32(true, folder, regsvr32, error)) << Show(error);
    EXPECT_EQ(folder, Wow64Folder());
    EXPECT_TRUE(fs::exists(regsvr32));

    ScratchFolder scratch(L"sysfolder_tools");
    EXPECT_FALSE(RunRegsvr32(nullptr, false, scratch.path() / L"no_regsvr32.exe", scratch.path() / L"x.dll", error));
    EXPECT_EQ(error, L"regsvr32 の起動に失敗しました (2)。");
}

// A library whose registration never returns: regsvr32.exe is ended once the
// time limit has passed, and the registration counts as failed with a log line.
TEST(SystemFolderTools, HangingRegistrationIsEndedAfterTheTimeLimit) {
    const std::chrono::milliseconds previous = SetRegsvr32TimeLimit(std::chrono::seconds(2));
    fs::path folder;
    fs::path regsvr32;
    std::wstring error;
    ASSERT_TRUE(LocateRegsvr32(false, folder, regsvr32, error)) << Show(error);
    const fs::path library = ComLibrary(L"zel_comhang64.dll");
    RecordingReporter reporter;

    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(RunRegsvr32(&reporter, false, regsvr32, library, error));
    const auto elapsed = std::chrono::steady_clock::now() - start;
    SetRegsvr32TimeLimit(previous);

    EXPECT_GE(elapsed, std::chrono::seconds(2));
    EXPECT_LT(elapsed, std::chrono::seconds(30));
    EXPECT_EQ(error, L"regsvr32 が 2 秒以内に終わらなかったため終了させました。");
    EXPECT_EQ(reporter.lines,
              std::vector<std::wstring>{L"[エラー] regsvr32 が 2 秒以内に終わらなかったため終了させました。 " +
                                        library.wstring()});
}

// regsvr32.exe runs in its own system folder at install and at uninstall, not
// in the folder setup was started from: a dependency the library does not bring
// is never looked up where a user could have planted one.
TEST_F(SystemFolderTest, Regsvr32RunsInTheSystemFolder) {
    ScratchFolder startedFrom(L"sysfolder_started_from");
    wchar_t previous[MAX_PATH];
    ASSERT_GT(::GetCurrentDirectoryW(MAX_PATH, previous), 0u);
    ASSERT_TRUE(::SetCurrentDirectoryW(startedFrom.path().c_str()));
    fs::path folder;
    fs::path regsvr32;
    std::wstring error;
    const bool located = LocateRegsvr32(false, folder, regsvr32, error);
    const bool registered = located && RunRegsvr32(nullptr, false, regsvr32, ComLibrary(L"zel_com64.dll"), error);
    const bool unregistered = located && RunRegsvr32(nullptr, true, regsvr32, ComLibrary(L"zel_com64.dll"), error);
    ::SetCurrentDirectoryW(previous);
    ASSERT_TRUE(registered && unregistered) << Show(error);

    for (const wchar_t* value : {L"RegisterFolder", L"UnregisterFolder"}) {
        std::wstring current;
        ASSERT_TRUE(ReadTestValue(value, &current)) << Show(value);
        EXPECT_EQ(Canonical(current), NativeFolder()) << Show(value);
    }
}

// The whole install side with the real regsvr32.exe: both architectures, a
// library without the export, a file that is not an image, an entry in a
// subfolder, a duplicate file name, a ".." entry and blank entries.
TEST_F(SystemFolderTest, DeploysRegistersAndUndoes) {
    ZEL_SKIP_UNLESS_32BIT_PROGRAMS_RUN();
    AddLibrary(L"zel_com64.dll", L"zel_com64.dll");
    AddLibrary(L"sub\\zel_com32.dll", L"zel_com32.dll");
    AddLibrary(L"zel_noexport64.dll", L"zel_noexport64.dll");
    AddLibrary(L"other\\zel_com64.dll", L"zel_noexport64.dll");  // same target name: skipped, never copied
    test::WriteFile(Files() / L"zel_notimage.txt", "not an image\r\n");
    SetupConfig config;
    config.System32RegSvr = {L" zel_com64.dll\t",       L"sub/zel_com32.dll",    L"",
                             L"zel_noexport64.dll",     L"other\\ZEL_COM64.dll", L"..\\zel_outside.dll",
                             L"sub\\..\\zel_com64.dll", L"zel_notimage.txt"};

    RecordingReporter wizard;
    std::vector<std::wstring> regsvrFiles = {L"stale"};
    std::vector<std::wstring> copyOnlyFiles = {L"stale"};
    std::wstring error = L"stale";
    ASSERT_TRUE(
        DeploySystemFiles(&wizard, payload_.path(), config, regsvrFiles, copyOnlyFiles, error, counted_, raised_))
        << Show(error);
    EXPECT_EQ(error, L"");

    const fs::path com64 = NativeFolder() / L"zel_com64.dll";
    const fs::path com32 = Wow64Folder() / L"zel_com32.dll";
    const fs::path noExport = NativeFolder() / L"zel_noexport64.dll";
    const fs::path notImage = Wow64Folder() / L"zel_notimage.txt";
    EXPECT_EQ(regsvrFiles, (std::vector<std::wstring>{com64, com32}));
    EXPECT_EQ(copyOnlyFiles, (std::vector<std::wstring>{noExport, notImage}));
    EXPECT_EQ(wizard.LogText(),
              LogOf({
                  L"システムフォルダへコピー: " + com64.wstring(),
                  L"システムフォルダへコピー: " + com32.wstring(),
                  L"システムフォルダへコピー: " + noExport.wstring(),
                  L"[警告] PE を判定できなかったため 32bit 用 (SysWOW64) に配置します: zel_notimage.txt",
                  L"システムフォルダへコピー: " + notImage.wstring(),
                  L"登録: " + com64.wstring(),
                  L"登録: " + com32.wstring(),
                  L"regsvr32 を省略 (DllRegisterServer なし): " + noExport.wstring(),
                  L"regsvr32 を省略 (DllRegisterServer なし): " + notImage.wstring(),
              }));
    EXPECT_TRUE(ReadTestValue(L"zel_com64.dll"));
    EXPECT_TRUE(ReadTestValue(L"zel_com32.dll"));
    EXPECT_FALSE(fs::exists(Wow64Folder() / L"zel_com64.dll"));
    // The first entry for a target wins: the 64-bit library, not the duplicate's bytes.
    EXPECT_EQ(test::ReadFile(com64), test::ReadFile(ComLibrary(L"zel_com64.dll")));

    // Uninstall side. A manifest line outside the system folders is left alone:
    // a registered library there keeps its file and its registry value.
    const fs::path outside = install_.path() / L"zel_outside64.dll";
    fs::copy_file(ComLibrary(L"zel_com64.dll"), outside);
    WriteTestValue(L"zel_outside64.dll");
    const fs::path keep = install_.path() / L"keep.txt";
    test::WriteFile(keep, "keep");
    ::SetFileAttributesW(noExport.c_str(), FILE_ATTRIBUTE_READONLY);
    WriteManifest(install_.path() / L"system32_regsvr_manifest.txt",
                  {com64, L"", outside, NativeFolder() / L"zel_gone.dll", com32});
    WriteManifest(install_.path() / L"system32_copy_manifest.txt", {noExport, keep, notImage});

    UnregisterSystemFiles(install_.path());
    std::wstring order;
    ASSERT_TRUE(ReadTestValue(L"UnregisterOrder", &order));
    EXPECT_EQ(order, L"zel_com32.dll;zel_com64.dll;");  // last line first
    EXPECT_FALSE(ReadTestValue(L"zel_com64.dll"));
    EXPECT_FALSE(ReadTestValue(L"zel_com32.dll"));
    EXPECT_FALSE(fs::exists(com64));
    EXPECT_FALSE(fs::exists(com32));
    EXPECT_TRUE(ReadTestValue(L"zel_outside64.dll"));
    EXPECT_TRUE(fs::exists(outside));
    EXPECT_TRUE(fs::exists(noExport));  // not in this manifest

    RemoveSystemFileCopies(install_.path());
    EXPECT_FALSE(fs::exists(noExport));
    EXPECT_FALSE(fs::exists(notImage));
    EXPECT_TRUE(fs::exists(keep));

    // Without manifests both sides do nothing.
    fs::remove(install_.path() / L"system32_regsvr_manifest.txt");
    fs::remove(install_.path() / L"system32_copy_manifest.txt");
    UnregisterSystemFiles(install_.path());
    RemoveSystemFileCopies(install_.path());
}

std::optional<DWORD> Count(const fs::path& file) { return ReadSharedDllCount(file, false); }

void SetLastWriteTime(const fs::path& file, ULONGLONG time) {
    UniqueKernelHandle handle(
        ::CreateFileW(file.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(handle);
    FILETIME stamp{static_cast<DWORD>(time), static_cast<DWORD>(time >> 32)};
    ASSERT_TRUE(::SetFileTime(handle.get(), nullptr, nullptr, &stamp));
}

// Two products share one library: each install raises its count, a repair does
// not, and only the uninstall that lowers it to zero unregisters and deletes it;
// one product's uninstall never lowers it twice.
TEST_F(SystemFolderTest, SharedLibraryIsCountedAcrossProducts) {
    AddLibrary(L"zel_com64.dll", L"zel_com64.dll");
    SetupConfig config;
    config.System32RegSvr = {L"zel_com64.dll"};
    const fs::path com64 = NativeFolder() / L"zel_com64.dll";
    ScratchFolder productB(L"sysfolder_product_b");

    struct Step {
        const wchar_t* what;
        std::vector<std::wstring>* counted;
        DWORD count;
    };
    std::vector<std::wstring> countedB;
    std::vector<std::wstring> repairOfA;  // a later run of A: counted from A's manifests
    for (const Step& step : {Step{L"install A", &counted_, 1}, Step{L"install B", &countedB, 2},
                             Step{L"retry of B", &countedB, 2}, Step{L"repair of A", &repairOfA, 2}}) {
        if (step.counted == &repairOfA) repairOfA = CountedSystemFiles(install_.path());
        std::vector<std::wstring> regsvrFiles;
        std::vector<std::wstring> copyOnlyFiles;
        std::wstring error;
        ASSERT_TRUE(DeploySystemFiles(nullptr, payload_.path(), config, regsvrFiles, copyOnlyFiles, error,
                                      *step.counted, raised_))
            << Show(error);
        EXPECT_EQ(regsvrFiles, std::vector<std::wstring>{com64}) << Show(step.what);
        EXPECT_EQ(Count(com64), step.count) << Show(step.what);
        const fs::path folder = step.counted == &countedB ? productB.path() : install_.path();
        WriteManifest(folder / L"system32_regsvr_manifest.txt", regsvrFiles);
    }

    UnregisterSystemFiles(install_.path());  // A goes: B still uses it
    EXPECT_EQ(Count(com64), 1u);
    EXPECT_TRUE(fs::exists(com64));
    EXPECT_TRUE(ReadTestValue(L"zel_com64.dll"));
    // A's uninstall again, its manifest back (a drive that was gone): B's count stays.
    WriteManifest(install_.path() / L"system32_regsvr_manifest.txt", {com64});
    UnregisterSystemFiles(install_.path());
    EXPECT_EQ(Count(com64), 1u);
    EXPECT_TRUE(fs::exists(com64));

    UnregisterSystemFiles(productB.path());  // the last owner goes
    EXPECT_EQ(Count(com64), std::nullopt);
    EXPECT_FALSE(fs::exists(com64));
    EXPECT_FALSE(ReadTestValue(L"zel_com64.dll"));
}

// A file that is there without a count belongs to someone else: it is neither
// replaced nor listed, and registered only when it holds our exact bytes.
TEST_F(SystemFolderTest, UncountedFileThereIsNeverTakenOver) {
    ZEL_SKIP_UNLESS_32BIT_PROGRAMS_RUN();
    AddLibrary(L"zel_com64.dll", L"zel_com64.dll");
    AddLibrary(L"zel_com32.dll", L"zel_com32.dll");
    const fs::path same = NativeFolder() / L"zel_com64.dll";
    const fs::path other = Wow64Folder() / L"zel_com32.dll";
    fs::copy_file(ComLibrary(L"zel_com64.dll"), same);   // our bytes, placed by someone else
    test::WriteFile(other, "another vendor's library");  // same name, other bytes
    SetupConfig config;
    config.System32RegSvr = {L"zel_com64.dll", L"zel_com32.dll"};

    RecordingReporter wizard;
    std::vector<std::wstring> regsvrFiles;
    std::vector<std::wstring> copyOnlyFiles;
    std::wstring error;
    ASSERT_TRUE(
        DeploySystemFiles(&wizard, payload_.path(), config, regsvrFiles, copyOnlyFiles, error, counted_, raised_))
        << Show(error);
    EXPECT_EQ(test::ReadFile(other), "another vendor's library");
    EXPECT_TRUE(regsvrFiles.empty());
    EXPECT_TRUE(copyOnlyFiles.empty());
    EXPECT_TRUE(counted_.empty());
    EXPECT_EQ(Count(same), std::nullopt);
    EXPECT_EQ(ReadSharedDllCount(other, true), std::nullopt);
    EXPECT_TRUE(ReadTestValue(L"zel_com64.dll")) << "our own bytes are registered";
    EXPECT_FALSE(ReadTestValue(L"zel_com32.dll")) << "another vendor's file was registered";
    EXPECT_EQ(wizard.LogText(),
              LogOf({
                  L"[警告] 参照カウントのない同名ファイルがあるため置き換えません: " + same.wstring(),
                  L"[警告] 参照カウントのない同名ファイルがあるため置き換えません: " + other.wstring(),
                  L"登録: " + same.wstring(),
              }));
}

// A copy of the system's kernel32.dll (it has a version resource) whose file
// version reads as the given one.
std::string VersionedLibrary(unsigned long long version) {
    wchar_t system[MAX_PATH];
    const fs::path kernel32 = fs::path(std::wstring(system, ::GetSystemDirectoryW(system, MAX_PATH))) / L"kernel32.dll";
    std::string bytes = test::ReadFile(kernel32);
    // Every VS_FIXEDFILEINFO signature: the loader reads the first in the
    // resource, and the code may hold the constant too.
    const std::string signature("\xBD\x04\xEF\xFE", 4);
    std::size_t patched = 0;
    for (std::size_t info = bytes.find(signature); info != std::string::npos && info + 16 <= bytes.size();
         info = bytes.find(signature, info + 1), ++patched) {
        for (int i = 0; i < 4; ++i) {
            bytes[info + 8 + i] = static_cast<char>(version >> (32 + 8 * i));  // dwFileVersionMS
            bytes[info + 12 + i] = static_cast<char>(version >> (8 * i));      // dwFileVersionLS
        }
    }
    EXPECT_GT(patched, 0u) << "kernel32.dll without VS_FIXEDFILEINFO";
    return bytes;
}

// Whether ours replaces the file there: the file version decides, a file
// without one never replaces one with one, and where neither has one only this
// product's own file is replaced. File times play no part: ours is always the
// newer, having just been staged. A file this product's record lists is its own
// even without a count (installed before counting began): it is replaced and
// counted. A product never counts a file twice.
TEST_F(SystemFolderTest, ReplacesByVersionAndNeverAnotherOwnersUnversionedFile) {
    constexpr unsigned long long kV1 = 0x0001000000000000ULL;
    constexpr unsigned long long kV2 = 0x0002000000000000ULL;
    const std::string unversionedOurs = test::ReadFile(ComLibrary(L"zel_noexport64.dll"));
    const std::string unversionedTheirs = unversionedOurs + "their build";
    const fs::path source = Files() / L"zel_noexport64.dll";
    const fs::path target = NativeFolder() / L"zel_noexport64.dll";
    SetupConfig config;
    config.System32RegSvr = {L"zel_noexport64.dll"};
    constexpr ULONGLONG kDay = 864000000000ULL;
    const ULONGLONG now = 133000000000000000ULL;
    struct Case {
        const char* what;
        std::string ours;
        std::string theirs;
        bool listedAsOurs;
        std::optional<DWORD> countBefore;
        bool replaced;
        DWORD countAfter;
    };
    const Case cases[] = {
        {"higher version", VersionedLibrary(kV2), VersionedLibrary(kV1), false, 3, true, 4},
        {"same version", VersionedLibrary(kV1), VersionedLibrary(kV1), false, 3, true, 4},
        {"lower version", VersionedLibrary(kV1), VersionedLibrary(kV2), false, 3, false, 4},
        {"unversioned over versioned", unversionedOurs, VersionedLibrary(kV1), false, 3, false, 4},
        {"versioned over unversioned", VersionedLibrary(kV1), unversionedTheirs, false, 3, true, 4},
        {"neither versioned, another owner's", unversionedOurs, unversionedTheirs, false, 3, false, 4},
        {"neither versioned, our own", unversionedOurs, unversionedTheirs, true, 3, true, 3},
        {"our own without a count", unversionedOurs, unversionedTheirs, true, std::nullopt, true, 1},
        {"our own versioned one without a count", unversionedOurs, VersionedLibrary(kV1), true, std::nullopt, false, 1},
    };
    for (const Case& c : cases) {
        test::WriteFile(source, c.ours);
        test::WriteFile(target, c.theirs);
        WriteSharedDllCount(target, false, c.countBefore.value_or(0));
        // Ours is the newer by its time, as a freshly staged file always is.
        SetLastWriteTime(source, now + kDay);
        SetLastWriteTime(target, now);
        counted_.clear();
        if (c.listedAsOurs) counted_.push_back(target.wstring());
        std::vector<std::wstring> regsvrFiles;
        std::vector<std::wstring> copyOnlyFiles;
        std::wstring error;
        RecordingReporter wizard;
        ASSERT_TRUE(
            DeploySystemFiles(&wizard, payload_.path(), config, regsvrFiles, copyOnlyFiles, error, counted_, raised_))
            << Show(error);
        EXPECT_EQ(test::ReadFile(target) == c.ours, c.replaced) << c.what;
        // Replaced or not, this product now uses it and lists it.
        EXPECT_EQ(Count(target), c.countAfter) << c.what;
        EXPECT_EQ(copyOnlyFiles, std::vector<std::wstring>{target}) << c.what;
        const std::wstring placedLine = c.replaced
                                            ? L"システムフォルダへコピー: "
                                            : L"[情報] システムフォルダのファイルの方が新しいため置き換えません: ";
        EXPECT_EQ(wizard.LogText(), LogOf({placedLine + target.wstring(),
                                           L"regsvr32 を省略 (DllRegisterServer なし): " + target.wstring()}))
            << c.what;
    }
}

// Lines of a system manifest that name files without a count (the system's own,
// another vendor's, or files installed before counting) are ignored.
TEST_F(SystemFolderTest, ForgedManifestDeletesNothing) {
    wchar_t system[MAX_PATH];
    const fs::path folder(std::wstring(system, ::GetSystemDirectoryW(system, MAX_PATH)));
    const fs::path foreign = NativeFolder() / L"zel_com64.dll";
    fs::copy_file(ComLibrary(L"zel_com64.dll"), foreign);
    WriteTestValue(L"zel_com64.dll");
    const std::vector<std::wstring> lines = {(folder / L"notepad.exe").wstring(), (folder / L"winver.exe").wstring(),
                                             foreign.wstring()};
    WriteManifest(install_.path() / L"system32_regsvr_manifest.txt", lines);
    WriteManifest(install_.path() / L"system32_copy_manifest.txt", lines);
    UnregisterSystemFiles(install_.path());
    RemoveSystemFileCopies(install_.path());
    for (const std::wstring& line : lines) EXPECT_TRUE(fs::exists(line)) << Show(line);
    EXPECT_TRUE(ReadTestValue(L"zel_com64.dll")) << "a foreign registration was undone";
}

// A manifest that standard users could have written (its folder lets them
// change it) releases nothing, even for a file with a count.
TEST_F(SystemFolderTest, ManifestStandardUsersCanChangeIsNotTrusted) {
    const fs::path counted = NativeFolder() / L"zel_noexport64.dll";
    fs::copy_file(ComLibrary(L"zel_noexport64.dll"), counted);
    ASSERT_TRUE(WriteSharedDllCount(counted, false, 1));
    WriteManifest(install_.path() / L"system32_copy_manifest.txt", {counted});

    LetEveryoneWrite(install_.path());
    EXPECT_TRUE(CountedSystemFiles(install_.path()).empty());

    RemoveSystemFileCopies(install_.path());
    EXPECT_TRUE(fs::exists(counted));
    EXPECT_EQ(Count(counted), 1u);
}

// In an install folder standard users can write, the manifest files are not
// trusted, but the product's own record of them is: repairs find the count they
// hold and raise it no further, and the uninstall lowers it and removes the
// file. A repeated uninstall, even one that finds the manifest again, releases
// nothing twice.
TEST_F(SystemFolderTest, CountsFollowTheProductWhereItsManifestsAreNotTrusted) {
    LetEveryoneWrite(install_.path());
    AddLibrary(L"zel_noexport64.dll", L"zel_noexport64.dll");
    SetupConfig config;
    config.System32RegSvr = {L"zel_noexport64.dll"};
    const fs::path placed = NativeFolder() / L"zel_noexport64.dll";
    const fs::path manifest = install_.path() / L"system32_copy_manifest.txt";
    for (const char* run : {"install", "repair", "second repair"}) {
        std::vector<std::wstring> counted = CountedSystemFiles(install_.path());  // a new start each time
        std::vector<std::wstring> regsvrFiles;
        std::vector<std::wstring> copyOnlyFiles;
        std::wstring error;
        ASSERT_TRUE(
            DeploySystemFiles(nullptr, payload_.path(), config, regsvrFiles, copyOnlyFiles, error, counted, raised_))
            << Show(error);
        ASSERT_TRUE(WriteSystemManifest(manifest, copyOnlyFiles)) << run;
        EXPECT_EQ(Count(placed), 1u) << run;
    }
    EXPECT_EQ(RecordedManifestLines(manifest), std::vector<std::wstring>{placed});

    RemoveSystemFileCopies(install_.path());
    EXPECT_EQ(Count(placed), std::nullopt);
    EXPECT_FALSE(fs::exists(placed));

    // Another product counts it now; this product's uninstall runs again with
    // its manifest back in place, and takes nothing from the other.
    fs::copy_file(ComLibrary(L"zel_noexport64.dll"), placed);
    ASSERT_TRUE(WriteSharedDllCount(placed, false, 1));
    WriteManifest(manifest, {placed});
    RemoveSystemFileCopies(install_.path());
    EXPECT_EQ(Count(placed), 1u);
    EXPECT_TRUE(fs::exists(placed));
}

// A failed run undoes the counts it raised: a library it placed where nothing
// was goes again, unregistered (also one whose registration hung), and files
// that were there before, another owner's or an earlier installation's, stay
// with the counts they had.
TEST_F(SystemFolderTest, FailedRunUndoesTheCountsItRaised) {
    AddLibrary(L"zel_com64.dll", L"zel_com64.dll");
    AddLibrary(L"zel_noexport64.dll", L"zel_noexport64.dll");
    AddLibrary(L"zel_comhang64.dll", L"zel_comhang64.dll");
    const fs::path com64 = NativeFolder() / L"zel_com64.dll";
    const fs::path shared = NativeFolder() / L"zel_noexport64.dll";
    const fs::path hanging = NativeFolder() / L"zel_comhang64.dll";
    fs::copy_file(ComLibrary(L"zel_noexport64.dll"), shared);
    ASSERT_TRUE(WriteSharedDllCount(shared, false, 2));  // another owner's two counts
    const fs::path earlier = NativeFolder() / L"zel_earlier64.dll";
    test::WriteFile(earlier, "an earlier installation's file, placed before counting");
    AddLibrary(L"zel_earlier64.dll", L"zel_noexport64.dll");
    counted_ = {earlier.wstring()};  // listed by the installation's record
    SetupConfig config;
    config.System32RegSvr = {L"zel_com64.dll", L"zel_noexport64.dll", L"zel_earlier64.dll", L"zel_comhang64.dll"};

    const std::chrono::milliseconds previous = SetRegsvr32TimeLimit(std::chrono::seconds(8));
    std::vector<std::wstring> regsvrFiles;
    std::vector<std::wstring> copyOnlyFiles;
    std::wstring error;
    const bool deployed =
        DeploySystemFiles(nullptr, payload_.path(), config, regsvrFiles, copyOnlyFiles, error, counted_, raised_);
    EXPECT_FALSE(deployed);
    EXPECT_EQ(error, L"regsvr32 が 8 秒以内に終わらなかったため終了させました。 (" + hanging.wstring() + L")");
    EXPECT_EQ(Count(com64), 1u);
    EXPECT_EQ(Count(hanging), 1u);
    EXPECT_EQ(Count(shared), 3u);
    EXPECT_EQ(Count(earlier), 1u) << "the earlier installation's file is counted now";
    UndoRaisedCounts(raised_, counted_);
    SetRegsvr32TimeLimit(previous);
    ForceDelete(hanging);

    EXPECT_FALSE(fs::exists(com64));
    EXPECT_EQ(Count(com64), std::nullopt);
    EXPECT_FALSE(ReadTestValue(L"zel_com64.dll")) << "left registered";
    EXPECT_EQ(Count(hanging), std::nullopt);
    EXPECT_TRUE(fs::exists(shared));
    EXPECT_EQ(Count(shared), 2u);
    EXPECT_TRUE(fs::exists(earlier));
    EXPECT_EQ(Count(earlier), std::nullopt);
    EXPECT_EQ(counted_, std::vector<std::wstring>{earlier.wstring()});
    EXPECT_TRUE(raised_.empty());
}

TEST_F(SystemFolderTest, FailingRegistrationStopsTheStep) {
    ZEL_SKIP_UNLESS_32BIT_PROGRAMS_RUN();
    AddLibrary(L"zel_com64.dll", L"zel_com64.dll");
    AddLibrary(L"zel_comfail32.dll", L"zel_comfail32.dll");
    SetupConfig config;
    config.System32RegSvr = {L"zel_com64.dll", L"zel_comfail32.dll"};
    std::vector<std::wstring> regsvrFiles;
    std::vector<std::wstring> copyOnlyFiles;
    std::wstring error;
    EXPECT_FALSE(
        DeploySystemFiles(nullptr, payload_.path(), config, regsvrFiles, copyOnlyFiles, error, counted_, raised_));
    const fs::path failing = Wow64Folder() / L"zel_comfail32.dll";
    EXPECT_EQ(error, L"regsvr32 が失敗しました (exit=5)。 (" + failing.wstring() + L")");
    // What was placed and registered before the failure stays.
    EXPECT_EQ(regsvrFiles, (std::vector<std::wstring>{NativeFolder() / L"zel_com64.dll"}));
    EXPECT_TRUE(copyOnlyFiles.empty());
    EXPECT_TRUE(fs::exists(failing));
    EXPECT_TRUE(ReadTestValue(L"zel_com64.dll"));
}

TEST_F(SystemFolderTest, StepErrors) {
    test::CraftedImage thumb;
    thumb.machine = 0x01C4;
    thumb.exportNames = {"DllRegisterServer"};
    const std::vector<std::uint8_t> bytes = test::BuildImage(thumb);
    test::WriteFile(Files() / L"zel_thumb.dll", std::string(bytes.begin(), bytes.end()));
    AddLibrary(L"zel_com64.dll", L"zel_com64.dll");

    struct Case {
        std::vector<std::wstring> entries;
        std::wstring error;
    };
    const Case cases[] = {
        {{L"zel_com64.dll", L"zel_thumb.dll"},
         L"未対応の PE Machine (0x01C4): " + (payload_.path() / L"files" / L"zel_thumb.dll").wstring()},
        {{L"zel_com64.dll", L" sub/none.dll "}, L"システム登録用ソースが見つかりません: files\\sub\\none.dll"},
        {{L"zel_com64.dll", L"sub"}, L"システム登録用ソースが見つかりません: files\\sub"},
    };
    fs::create_directories(Files() / L"sub");
    for (const Case& c : cases) {
        SetupConfig config;
        config.System32RegSvr = c.entries;
        std::vector<std::wstring> regsvrFiles;
        std::vector<std::wstring> copyOnlyFiles;
        std::wstring error;
        RecordingReporter wizard;
        EXPECT_FALSE(
            DeploySystemFiles(&wizard, payload_.path(), config, regsvrFiles, copyOnlyFiles, error, counted_, raised_));
        EXPECT_EQ(error, c.error);
        // A copy-phase failure registers nothing and reports nothing registered.
        EXPECT_TRUE(regsvrFiles.empty());
        EXPECT_TRUE(copyOnlyFiles.empty());
        EXPECT_FALSE(ReadTestValue(L"zel_com64.dll"));
        EXPECT_EQ(wizard.LogText(),
                  LogOf({L"システムフォルダへコピー: " + (NativeFolder() / L"zel_com64.dll").wstring()}))
            << Show(c.error);
    }
}

TEST_F(SystemFolderTest, EmptyListDoesNothing) {
    SetupConfig config;
    config.System32RegSvr = {};
    RecordingReporter wizard;
    std::vector<std::wstring> regsvrFiles = {L"stale"};
    std::vector<std::wstring> copyOnlyFiles = {L"stale"};
    std::wstring error = L"stale";
    EXPECT_TRUE(
        DeploySystemFiles(&wizard, payload_.path(), config, regsvrFiles, copyOnlyFiles, error, counted_, raised_));
    EXPECT_TRUE(regsvrFiles.empty());
    EXPECT_TRUE(copyOnlyFiles.empty());
    EXPECT_EQ(error, L"");
    EXPECT_EQ(wizard.LogText(), L"");
}

}  // namespace
}  // namespace zel
