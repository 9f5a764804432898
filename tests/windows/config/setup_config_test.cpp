// The setup.ini fixtures through GetPrivateProfileStringW / GetPrivateProfileSectionW.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "common/scratch_folder.h"
#include "common/setup_config_cases.h"
#include "config/setup_config.h"

namespace zel {
namespace {

using testcases::SetupIniCase;

class ProfileSetupConfig : public ::testing::TestWithParam<SetupIniCase> {
protected:
    const test::ScratchFolder scratch_{L"setup_config"};
    const std::filesystem::path folder_ = scratch_.path();
};

TEST_P(ProfileSetupConfig, LoadsLikeThePortableReader) {
    const SetupIniCase& c = GetParam();
    const std::filesystem::path ini = folder_ / L"setup.ini";
    if (c.ini) {
        const std::vector<std::uint8_t> bytes = testcases::Utf16LeWithBom(*c.ini);
        std::ofstream out(ini, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    SetupConfig config;
    LoadSetupConfig(ini, config);
    SetupConfig expected = testcases::DefaultConfig();
    c.expectation(expected);
    testcases::ExpectSameConfig(config, expected);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, ProfileSetupConfig, ::testing::ValuesIn(testcases::SetupIniCases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SetupConfigRules, DeriveLabel) { testcases::ExpectDeriveLabelCases(); }

TEST(SetupConfigRules, ValuesAsRead) { testcases::ExpectValueRules(); }

}  // namespace
}  // namespace zel
