// FindInstalledProduct and ReadRegistryString against the real registry (64-bit
// view). Every test seeds Uninstall subkeys of its own, with names unique to the
// test program, and deletes them afterwards; the Uninstall key also holds the
// system's own subkeys, which must never match.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "install/registration/uninstall_entry.h"
#include "util/unique_handle.h"

namespace zel {
namespace {

constexpr REGSAM kView = KEY_WOW64_64KEY;

struct SeedValue {
    std::wstring name;
    DWORD type;
    std::vector<std::uint8_t> data;
};

std::vector<std::uint8_t> Bytes(std::wstring_view text, bool terminated = true) {
    const auto* begin = reinterpret_cast<const std::uint8_t*>(text.data());
    std::vector<std::uint8_t> bytes(begin, begin + text.size() * sizeof(wchar_t));
    if (terminated) bytes.insert(bytes.end(), sizeof(wchar_t), 0);
    return bytes;
}

SeedValue Sz(std::wstring name, std::wstring_view text) { return {std::move(name), REG_SZ, Bytes(text)}; }

// Uninstall subkeys created for one test and deleted at its end.
class SeededKeys {
public:
    ~SeededKeys() {
        for (const std::wstring& name : names_) {
            ::RegDeleteKeyExW(HKEY_LOCAL_MACHINE, (std::wstring(kUninstallKeyPath) + L"\\" + name).c_str(), kView, 0);
        }
    }
    void Add(const std::wstring& name, const std::vector<SeedValue>& values) {
        UniqueHKey key;
        const std::wstring path = std::wstring(kUninstallKeyPath) + L"\\" + name;
        ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_WRITE | kView, nullptr,
                                    key.put(), nullptr),
                  ERROR_SUCCESS);
        names_.push_back(name);
        for (const SeedValue& v : values) {
            ASSERT_EQ(::RegSetValueExW(key.get(), v.name.c_str(), 0, v.type, v.data.data(),
                                       static_cast<DWORD>(v.data.size())),
                      ERROR_SUCCESS);
        }
    }

private:
    std::vector<std::wstring> names_;
};

// Names unique to this test program run, sorted after each other as the suffixes.
std::wstring KeyName(const wchar_t* suffix) {
    return L"ZelLookupTest_" + std::to_wstring(::GetCurrentProcessId()) + L"_" + suffix;
}
std::wstring AppName() { return L"Zel Lookup App " + std::to_wstring(::GetCurrentProcessId()); }

struct LookupCase {
    const char* name;
    std::wstring appName;
    std::vector<std::vector<SeedValue>> keys;  // seeded as ..._A, ..._B, ... (enumerated in that order)
    std::optional<size_t> foundKey;            // index into keys, nullopt: not found
    std::wstring installLocation;
    std::wstring displayVersion;
};

TEST(FindInstalledProduct, MatchRules) {
    const std::wstring app = AppName();
    const std::wstring lowerApp = L"zel lookup app " + std::to_wstring(::GetCurrentProcessId());
    const std::wstring dir = L"C:\\Program Files\\Zel Lookup";
    const std::vector<LookupCase> cases = {
        {"SetupAppNameExact",
         app,
         {{Sz(L"ZelSetupAppName", app), Sz(L"InstallLocation", dir), Sz(L"DisplayVersion", L"4.9.0"),
           Sz(L"Publisher", L"Someone Else")}},
         0,
         dir,
         L"4.9.0"},
        {"SetupAppNameIsCaseSensitive",
         app,
         {{Sz(L"ZelSetupAppName", lowerApp), Sz(L"InstallLocation", dir)}},
         std::nullopt,
         L"",
         L""},
        {"SetupAppNameLongerDoesNotMatch",
         app,
         {{Sz(L"ZelSetupAppName", app + L" "), Sz(L"InstallLocation", dir)}},
         std::nullopt,
         L"",
         L""},
        {"OwnPublisherAndDisplayNamePrefix",
         app,
         {{Sz(L"Publisher", L"ZelSetup"), Sz(L"DisplayName", lowerApp + L" 4.15"), Sz(L"InstallLocation", dir)}},
         0,
         dir,
         L""},
        {"DisplayNameEqualToAppNameOnly",
         app,
         {{Sz(L"Publisher", L"ZelSetup"), Sz(L"DisplayName", app), Sz(L"InstallLocation", dir)}},
         std::nullopt,
         L"",
         L""},
        {"DisplayNameWithoutSpace",
         app,
         {{Sz(L"Publisher", L"ZelSetup"), Sz(L"DisplayName", app + L"X"), Sz(L"InstallLocation", dir)}},
         std::nullopt,
         L"",
         L""},
        {"PublisherIsCaseSensitive",
         app,
         {{Sz(L"Publisher", L"zelsetup"), Sz(L"DisplayName", app + L" 1"), Sz(L"InstallLocation", dir)}},
         std::nullopt,
         L"",
         L""},
        {"OtherProductsSetupAppNameWins",
         app,
         {{Sz(L"ZelSetupAppName", L"Other"), Sz(L"Publisher", L"ZelSetup"), Sz(L"DisplayName", app + L" 1"),
           Sz(L"InstallLocation", dir)}},
         std::nullopt,
         L"",
         L""},
        {"EmptySetupAppNameFallsBackToPublisher",
         app,
         {{Sz(L"ZelSetupAppName", L""), Sz(L"Publisher", L"ZelSetup"), Sz(L"DisplayName", app + L" 1"),
           Sz(L"InstallLocation", dir)}},
         0,
         dir,
         L""},
        {"UnusableInstallLocationsPassedOver",
         app,
         {{Sz(L"ZelSetupAppName", app), Sz(L"DisplayVersion", L"1")},
          {Sz(L"ZelSetupAppName", app), Sz(L"InstallLocation", L""), Sz(L"DisplayVersion", L"2")},
          {Sz(L"ZelSetupAppName", app),
           {L"InstallLocation", REG_EXPAND_SZ, Bytes(L"%ProgramFiles%\\Zel")},
           Sz(L"DisplayVersion", L"3")},
          {Sz(L"ZelSetupAppName", app), Sz(L"InstallLocation", dir + L"\\4"), Sz(L"DisplayVersion", L"4")},
          {Sz(L"ZelSetupAppName", app), Sz(L"InstallLocation", dir + L"\\5"), Sz(L"DisplayVersion", L"5")}},
         3,
         dir + L"\\4",
         L"4"},
        {"UnreadableDisplayVersionIsEmpty",
         app,
         {{Sz(L"ZelSetupAppName", app),
           Sz(L"InstallLocation", dir),
           {L"DisplayVersion", REG_EXPAND_SZ, Bytes(L"1.0")}}},
         0,
         dir,
         L""},
        // An empty AppName matches keys that record an empty AppName, not every
        // key that lacks the value (other programs' keys).
        {"EmptyAppNameIgnoresForeignKeys",
         L"",
         {{Sz(L"DisplayName", L"Another Program"), Sz(L"Publisher", L"Another Vendor"), Sz(L"InstallLocation", dir)}},
         std::nullopt,
         L"",
         L""},
        {"EmptyAppNameFindsItsOwnKey",
         L"",
         {{Sz(L"DisplayName", L"Another Program"), Sz(L"InstallLocation", dir + L"\\other")},
          {Sz(L"ZelSetupAppName", L""), Sz(L"InstallLocation", dir), Sz(L"DisplayVersion", L"1.0")}},
         1,
         dir,
         L"1.0"},
    };

    for (const LookupCase& c : cases) {
        SCOPED_TRACE(c.name);
        SeededKeys seeded;
        std::vector<std::wstring> names;
        for (size_t i = 0; i < c.keys.size(); ++i) {
            const wchar_t suffix[] = {static_cast<wchar_t>(L'A' + i), L'\0'};
            names.push_back(KeyName(suffix));
            seeded.Add(names.back(), c.keys[i]);
        }
        InstalledProduct product{L"stale key", L"stale location", L"stale version"};
        const bool found = FindInstalledProduct(c.appName, product);
        ASSERT_EQ(found, c.foundKey.has_value());
        if (found) {
            EXPECT_EQ(product.keyName, names[*c.foundKey]);
            EXPECT_EQ(product.installLocation, c.installLocation);
            EXPECT_EQ(product.displayVersion, c.displayVersion);
        } else {
            EXPECT_TRUE(product.keyName.empty() && product.installLocation.empty() && product.displayVersion.empty());
        }
    }
}

TEST(FindInstalledProduct, FindsWhatRegistrationWrote) {
    SetupConfig config;
    config.AppName = AppName() + L" 登録";
    config.ProgramsDisplayName = config.AppName;
    config.DisplayVersion = L"2.0";
    config.Publisher = L"ZelSetup";
    const std::wstring key = KeyName(L"Registered");
    SeededKeys cleanup;
    cleanup.Add(key, {});
    ASSERT_TRUE(RegisterUninstallEntry(L"C:\\Zel Lookup", L"C:\\Zel Lookup\\Uninstall.exe", config, key, 1));

    InstalledProduct product;
    ASSERT_TRUE(FindInstalledProduct(config.AppName, product));
    EXPECT_EQ(product.keyName, key);
    EXPECT_EQ(product.installLocation, L"C:\\Zel Lookup");
    EXPECT_EQ(product.displayVersion, L"2.0");
}

struct ReadCase {
    const char* name;
    DWORD type;
    std::vector<std::uint8_t> data;
    std::optional<std::wstring> result;  // nullopt: false, output unchanged
};

TEST(ReadRegistryString, Rules) {
    const std::vector<ReadCase> cases = {
        {"Terminated", REG_SZ, Bytes(L"C:\\Apps\\アプリ"), L"C:\\Apps\\アプリ"},
        {"WithoutTerminatingNul", REG_SZ, Bytes(L"abc", false), L"abc"},
        {"UpToFirstNul", REG_SZ, Bytes(std::wstring_view(L"ab\0cd", 5)), L"ab"},
        {"EmptyStringTwoBytes", REG_SZ, Bytes(L""), L""},
        {"ExpandStringRejected", REG_EXPAND_SZ, Bytes(L"%TEMP%"), std::nullopt},
        {"MultiStringRejected", REG_MULTI_SZ, Bytes(L"a\0", true), std::nullopt},
        {"DwordRejected", REG_DWORD, {1, 0, 0, 0}, std::nullopt},
        {"ZeroBytesRejected", REG_SZ, {}, std::nullopt},
        {"OneByteRejected", REG_SZ, {0x41}, std::nullopt},
    };
    SeededKeys seeded;
    const std::wstring name = KeyName(L"Read");
    std::vector<SeedValue> values;
    for (const ReadCase& c : cases) values.push_back({std::wstring(c.name, c.name + strlen(c.name)), c.type, c.data});
    seeded.Add(name, values);

    UniqueHKey key;
    ASSERT_EQ(::RegOpenKeyExW(HKEY_LOCAL_MACHINE, (std::wstring(kUninstallKeyPath) + L"\\" + name).c_str(), 0,
                              KEY_READ | kView, key.put()),
              ERROR_SUCCESS);
    for (const ReadCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::wstring value = L"unchanged";
        const std::wstring valueName(c.name, c.name + strlen(c.name));
        EXPECT_EQ(ReadRegistryString(key.get(), valueName.c_str(), value), c.result.has_value());
        EXPECT_EQ(value, c.result.value_or(L"unchanged"));
    }
    std::wstring value = L"unchanged";
    EXPECT_FALSE(ReadRegistryString(key.get(), L"Missing", value));
    EXPECT_EQ(value, L"unchanged");
}

}  // namespace
}  // namespace zel
