#include "run/run_failures.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>
#include <system_error>

namespace zel {
namespace {

TEST(RunFailures, StepResultsPassThrough) {
    EXPECT_EQ(CatchRunFailures([] { return std::optional<std::wstring>(); }), std::nullopt);
    EXPECT_EQ(CatchRunFailures([] { return std::optional<std::wstring>(L"step failed"); }),
              std::optional<std::wstring>(L"step failed"));
}

TEST(RunFailures, FileSystemAndAllocationErrorsEndTheAttempt) {
    const auto fileSystem = []() -> std::optional<std::wstring> {
        throw std::filesystem::filesystem_error("copy", std::make_error_code(std::errc::no_space_on_device));
    };
    const auto allocation = []() -> std::optional<std::wstring> { throw std::bad_alloc(); };
    EXPECT_EQ(CatchRunFailures(fileSystem), std::optional<std::wstring>(kUnexpectedInstallError));
    EXPECT_EQ(CatchRunFailures(allocation), std::optional<std::wstring>(kUnexpectedInstallError));
}

// A programming error is no install failure a retry could mend.
TEST(RunFailures, ProgrammingErrorsPassOn) {
    EXPECT_THROW(CatchRunFailures([]() -> std::optional<std::wstring> { throw std::out_of_range("index"); }),
                 std::out_of_range);
    EXPECT_THROW(CatchRunFailures([]() -> std::optional<std::wstring> { throw std::logic_error("state"); }),
                 std::logic_error);
    EXPECT_THROW(CatchRunFailures([]() -> std::optional<std::wstring> {
                     throw std::system_error(std::make_error_code(std::errc::invalid_argument));
                 }),
                 std::system_error);
}

}  // namespace
}  // namespace zel
