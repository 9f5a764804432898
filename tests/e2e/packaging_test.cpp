// The packager's side end to end: a setup.exe signed after building still
// installs, and InstallerBuilder.exe on Windows builds a product with Japanese
// file and folder names into the same bytes as the Linux builder, which then
// installs what --list says it installs.
#include <windows.h>

#include <shlobj.h>

#include <algorithm>

#include "automation/registry.h"
#include "automation/shell.h"
#include "e2e_fixture.h"
#include "sample_install.h"
#include "util/unique_handle.h"
#include "wizard_steps.h"

namespace zel::e2e {
namespace {

namespace fs = std::filesystem;

fs::path EnvPath(const wchar_t* name) {
    wchar_t value[32768] = {};
    const DWORD length = ::GetEnvironmentVariableW(name, value, 32768);
    return length > 0 && length < 32768 ? fs::path(value) : fs::path();
}

// The Japanese product's names, as scripts/run-e2e.sh writes its setup.ini.
constexpr wchar_t kJpAppName[] = L"日本語テスト製品";
constexpr wchar_t kJpMainExe[] = L"アプリ\\ビューア.exe";

// Whether the image carries a certificate table (an Authenticode signature).
bool IsSigned(const Bytes& image) {
    if (image.size() < 64) return false;
    const std::uint32_t pe = image[60] | (image[61] << 8) | (image[62] << 16) | (image[63] << 24);
    const std::size_t security = pe + 24 + 112 + 8 * 4;  // PE32+ data directory 4
    if (security + 8 > image.size()) return false;
    return image[security + 4] | image[security + 5] | image[security + 6] | image[security + 7];
}

// A string of the version resource as the system reads it (language neutral, Unicode).
std::wstring VersionString(const fs::path& exe, const std::wstring& name) {
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(exe.c_str(), &ignored);
    if (size == 0) return L"(no version resource)";
    std::vector<std::uint8_t> block(size);
    if (!::GetFileVersionInfoW(exe.c_str(), 0, size, block.data())) return L"(unreadable)";
    wchar_t* value = nullptr;
    UINT length = 0;
    const std::wstring query = L"\\StringFileInfo\\000004b0\\" + name;
    if (!::VerQueryValueW(block.data(), query.c_str(), reinterpret_cast<void**>(&value), &length) || !value)
        return L"(missing)";
    return std::wstring(value, length > 0 ? length - 1 : 0);
}

// The "installs:" section of InstallerBuilder --list: one path per indented line.
std::vector<std::wstring> ListedInstalls(const Bytes& listing) {
    const std::wstring text = FromUtf8(std::string(listing.begin(), listing.end()));
    std::vector<std::wstring> installs;
    bool inside = false;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos) end = text.size();
        std::wstring line = text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == L'\r') line.pop_back();  // the Windows builder writes CR LF
        if (line.starts_with(L"installs: ")) {
            inside = true;
        } else if (inside && line.starts_with(L"  ")) {
            installs.push_back(line.substr(2));
        } else {
            inside = false;
        }
    }
    return installs;
}

class PackagingTest : public SampleInstallTest {
protected:
    void TearDown() override {
        for (const std::wstring& key : KeysOfProduct(kJpAppName)) DeleteUninstallKey(key);
        std::error_code ignored;
        fs::remove(KnownFolder(FOLDERID_Desktop) / (std::wstring(kJpAppName) + L".lnk"), ignored);
        RemoveTree(KnownFolder(FOLDERID_Programs) / kJpAppName);
        SampleInstallTest::TearDown();
    }

    // The files the listing names as installed are exactly the payload files of
    // install_manifest.txt, with the product's bytes.
    void ExpectListedIsInstalled(const fs::path& listing, const fs::path& product) {
        const std::vector<std::wstring> listed = ListedInstalls(ReadFileBytes(listing).value_or(Bytes{}));
        ASSERT_FALSE(listed.empty()) << "no installs in the listing " << U8(listing.wstring());
        const std::vector<std::wstring> lines =
            ManifestLines(ReadFileBytes(installDir_ / L"install_manifest.txt").value_or(Bytes{}));
        // The payload files come first, then the manifest's own name and the rest.
        const auto own = std::find(lines.begin(), lines.end(), L"install_manifest.txt");
        ASSERT_NE(own, lines.end());
        std::vector<std::string> copied, expected;
        for (auto line = lines.begin(); line != own; ++line) copied.push_back(U8(*line));
        std::sort(copied.begin(), copied.end());
        for (const std::wstring& name : listed) {
            expected.push_back(U8(name));
            EXPECT_EQ(ReadFileBytes(installDir_ / name), ReadFileBytes(product / L"files" / name)) << U8(name);
        }
        EXPECT_EQ(copied, expected);
    }

    // A fresh install of the given setup.exe into installDir_ through the wizard.
    bool InstallWith(const fs::path& setupExe) {
        Process setup = StartProcess(setupExe, {});
        HWND wizard = Expect(setup, WindowKind::Wizard, L"welcome");
        if (!wizard || !StartInstall(wizard, installDir_.wstring()) || !WaitForFinish(setup, wizard, Mode::Install))
            return false;
        Click(wizard, kNext);
        return ExitCode(setup) == std::optional<DWORD>(0);
    }
};

TEST_F(PackagingTest, SignedSetupStillInstalls) {
    const fs::path signedSetup = EnvPath(L"ZEL_SIGNED_SETUP_EXE");
    if (signedSetup.empty()) GTEST_SKIP() << "ZEL_SIGNED_SETUP_EXE is not set (scripts/run-e2e.sh signs the sample)";
    ASSERT_TRUE(IsSigned(ReadFileBytes(signedSetup).value_or(Bytes{}))) << "the file carries no signature";
    ASSERT_TRUE(InstallWith(signedSetup));
    EXPECT_EQ(ReadFileBytes(installDir_ / L"App.exe"), ReadFileBytes(GetInputs().sampleDir / L"files" / L"App.exe"));
    EXPECT_EQ(ReadFileBytes(installDir_ / L"Uninstall.exe"), ReadFileBytes(signedSetup))
        << "the signed file, signature included, becomes Uninstall.exe";
    EXPECT_EQ(KeysOfProduct(Sample().appName).size(), 1u);
    // InstallerBuilder --list of the signed file names what the install copied.
    ExpectListedIsInstalled(EnvPath(L"ZEL_SIGNED_LIST"), GetInputs().sampleDir);
}

TEST_F(PackagingTest, WindowsBuilderMatchesTheLinuxBuilderAndItsSetupInstalls) {
    const fs::path product = EnvPath(L"ZEL_JP_PRODUCT_DIR");
    const fs::path linuxSetup = EnvPath(L"ZEL_JP_LINUX_SETUP_EXE");
    const fs::path listing = EnvPath(L"ZEL_JP_LIST");
    if (GetInputs().builderExe.empty() || product.empty() || linuxSetup.empty() || listing.empty())
        GTEST_SKIP() << "ZEL_BUILDER_EXE and the Japanese product (scripts/run-e2e.sh) are needed";
    ComApartment com;

    const fs::path built = scratch_ / L"日本語 setup.exe";
    Process builder = StartProcess(
        GetInputs().builderExe, {product.wstring(), L"-o", built.wstring(), L"--stub", GetInputs().stubExe.wstring()});
    ASSERT_TRUE(builder);
    ASSERT_EQ(builder.Wait(std::chrono::seconds(60)), std::optional<DWORD>(0)) << "InstallerBuilder.exe failed";
    const std::optional<Bytes> windowsBytes = ReadFileBytes(built);
    ASSERT_TRUE(windowsBytes.has_value());
    EXPECT_TRUE(windowsBytes == ReadFileBytes(linuxSetup)) << "the Windows and the Linux builder differ";

    // Identity as Explorer reads it.
    EXPECT_EQ(U8(VersionString(built, L"ProductName")), U8(kJpAppName));
    EXPECT_EQ(U8(VersionString(built, L"FileDescription")), U8(std::wstring(kJpAppName) + L" セットアップ"));
    EXPECT_EQ(U8(VersionString(built, L"OriginalFilename")), "setup.exe");

    // InstallerBuilder.exe --list of its own output names the files the Linux
    // builder's --list of the product folder names.
    const fs::path windowsListing = scratch_ / L"list.txt";
    Process list =
        StartCommandLine(L"cmd.exe /c \"" + QuoteArgument(GetInputs().builderExe.wstring()) + L" --list " +
                         QuoteArgument(built.wstring()) + L" > " + QuoteArgument(windowsListing.wstring()) + L"\"");
    ASSERT_TRUE(list);
    EXPECT_EQ(list.Wait(std::chrono::seconds(60)), std::optional<DWORD>(0));
    const std::vector<std::wstring> windowsListed = ListedInstalls(ReadFileBytes(windowsListing).value_or(Bytes{}));
    EXPECT_FALSE(windowsListed.empty());
    EXPECT_TRUE(windowsListed == ListedInstalls(ReadFileBytes(listing).value_or(Bytes{})));

    ASSERT_TRUE(InstallWith(built));
    ExpectListedIsInstalled(listing, product);
    const std::optional<ShortcutContent> link =
        ReadShortcut(KnownFolder(FOLDERID_Desktop) / (std::wstring(kJpAppName) + L".lnk"));
    ASSERT_TRUE(link.has_value());
    EXPECT_EQ(U8(link->target), U8((installDir_ / kJpMainExe).wstring()));
}

}  // namespace
}  // namespace zel::e2e
