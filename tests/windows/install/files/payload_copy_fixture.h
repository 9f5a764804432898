// The fixture of the payload copy tests: a temp folder whose files/ becomes the
// payload, an install folder, and a reporter that records the log and progress.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "common/scratch_folder.h"
#include "run/install_plan.h"
#include "windows/install/install_test_support.h"
#include "windows/recording_reporter.h"

namespace zel::test {

// The log lines of files copied in this order, after the lines before them.
inline std::vector<std::wstring> CopyLines(const std::vector<std::wstring>& files,
                                           std::vector<std::wstring> lines = {}) {
    for (const auto& rel : files) lines.push_back(L"コピー: " + rel);
    return lines;
}

class PayloadCopyFixture : public ::testing::Test {
protected:
    PayloadCopyFixture() : temp_(L"copy_temp"), install_(L"copy_dest") {
        plan_.tempDir = temp_.path().wstring();
        plan_.installDir = (install_.path() / L"App").wstring();
        plan_.config.LicenseFile = L"files\\License.txt";
    }

    std::filesystem::path Files() const { return temp_.path() / L"files"; }

    // App.exe, License.txt, readme.txt, Doc\Manual.pdf, Doc\a\b.txt, bin\Tool.exe.
    void WriteSampleTree() {
        for (const wchar_t* rel :
             {L"App.exe", L"License.txt", L"readme.txt", L"Doc\\Manual.pdf", L"Doc\\a\\b.txt", L"bin\\Tool.exe"}) {
            WriteFile(Files() / rel, "content of " + std::filesystem::path(rel).string());
        }
        payload_.Load(temp_.path(), plan_);
    }

    TestPayload payload_;
    RecordingReporter reporter_;
    ScratchFolder temp_;
    ScratchFolder install_;
    InstallPlan plan_;
};

}  // namespace zel::test
