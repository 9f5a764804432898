// The setup.ini fixtures through the portable reader.
#include <gtest/gtest.h>

#include "common/setup_config_cases.h"
#include "config/ini_document.h"
#include "config/setup_config.h"

namespace zel {
namespace {

using testcases::SetupIniCase;

class PortableSetupConfig : public ::testing::TestWithParam<SetupIniCase> {};

TEST_P(PortableSetupConfig, LoadsLikeTheProfileFunctions) {
    const SetupIniCase& c = GetParam();
    const std::vector<std::uint8_t> bytes = c.ini ? testcases::Utf16LeWithBom(*c.ini) : std::vector<std::uint8_t>{};
    SetupConfig config;
    LoadSetupConfig(IniDocument::Parse(bytes), config);
    SetupConfig expected = testcases::DefaultConfig();
    c.expectation(expected);
    testcases::ExpectSameConfig(config, expected);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, PortableSetupConfig, ::testing::ValuesIn(testcases::SetupIniCases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SetupConfigRules, DeriveLabel) { testcases::ExpectDeriveLabelCases(); }

TEST(SetupConfigRules, ValuesAsRead) { testcases::ExpectValueRules(); }

}  // namespace
}  // namespace zel
