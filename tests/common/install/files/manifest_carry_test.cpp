// Which entries of an earlier install manifest an Update or a Repair keeps
// listing, and which names are drafts of Uninstall.exe.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/show_text.h"
#include "install/files/manifest.h"
#include "install/files/uninstall_exe_draft.h"

namespace zel {
namespace {

using test::Show;

TEST(ManifestCarry, KeepsEachEarlierNameInsideTheFolderOnce) {
    const std::vector<std::wstring> own = {L"App.exe", L"Doc/Manual.txt", L"Ärger.txt", L"install_manifest.txt",
                                           L"Uninstall.exe"};
    const std::vector<std::wstring> previous = {L"APP.EXE",
                                                L"Doc\\MANUAL.txt",
                                                L"ärger.TXT",  // the run's own names in another form
                                                L"README.txt",
                                                L"Old\\Tool.dll",
                                                L"readme.TXT",                    // carried once
                                                L"system32_regsvr_manifest.txt",  // an earlier run's system manifest
                                                L"uninstall.exe",
                                                L"INSTALL_MANIFEST.TXT",  // the run's own names: never twice
                                                L"..\\outside.txt",
                                                L"Doc\\..\\..\\outside.txt",
                                                L"C:\\Windows\\x.dll",
                                                L"C:x.dll",
                                                L"\\root.dll",
                                                L"\\\\server\\share\\x.dll",
                                                L"Data\\.\\x.dll",
                                                L"file.txt:stream",
                                                L"Uninstall.exe.4242-0.tmp",
                                                L"Sub\\Uninstall.exe.1-2.tmp",
                                                L""};

    const std::vector<std::wstring> merged = WithEntriesCarriedOver(own, previous);

    std::vector<std::wstring> expected = own;
    for (const wchar_t* name : {L"README.txt", L"Old\\Tool.dll", L"system32_regsvr_manifest.txt"}) {
        expected.push_back(name);
    }
    EXPECT_EQ(merged, expected);
}

TEST(UninstallExeDraft, NamesAndTheProcessTheyBelongTo) {
    EXPECT_EQ(UninstallExeDraftName(1234, 0), L"Uninstall.exe.1234-0.tmp");
    const struct {
        std::wstring name;
        std::optional<std::uint32_t> process;
    } cases[] = {
        {L"Uninstall.exe.1234-0.tmp", 1234},
        {L"uninstall.EXE.4294967295-17.TMP", 4294967295u},
        {L"Uninstall.exe.4294967296-0.tmp", std::nullopt},  // more than 32 bits
        {L"Uninstall.exe.1234.tmp", std::nullopt},
        {L"Uninstall.exe.-0.tmp", std::nullopt},
        {L"Uninstall.exe.12-.tmp", std::nullopt},
        {L"Uninstall.exe.1x-0.tmp", std::nullopt},
        {L"Uninstall.exe.+1-0.tmp", std::nullopt},
        {L"Uninstall.exe.1-0.tmp.bak", std::nullopt},
        {L"Uninstall.exe", std::nullopt},
        {L"Uninstall.exe.tmp", std::nullopt},
        {L"Setup.exe.1-0.tmp", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(UninstallExeDraftProcess(c.name), c.process) << Show(c.name);
    }
}

}  // namespace
}  // namespace zel
