// A run reporter for the engine tests: records every line, progress step,
// message and outcome, shows nothing, and answers questions as told.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "run/run_reporter.h"

namespace zel::test {

class RecordingReporter : public RunReporter {
public:
    struct Message {
        NoticeKind kind;  // Warning for a question
        std::wstring title;
        std::wstring text;
        bool question = false;
    };

    void Log(const std::wstring& line) override { lines.push_back(line); }
    void InstallStarted() override {
        ++starts;
        lines.clear();
    }
    void InstallFinished(bool succeeded) override { outcomes.push_back(succeeded); }
    void SetProgressRange(std::uint32_t total) override {
        range = total;
        positions.clear();
    }
    void SetProgressPosition(std::uint32_t position) override { positions.push_back(position); }
    void Notify(NoticeKind kind, const std::wstring& title, const std::wstring& text) override {
        messages.push_back({kind, title, text, false});
    }
    bool Ask(const std::wstring& title, const std::wstring& text, bool quietAnswer) override {
        messages.push_back({NoticeKind::Warning, title, text, true});
        quietAnswers.push_back(quietAnswer);
        return answer;
    }

    // The lines as the wizard's log control holds them: each followed by CR LF.
    std::wstring LogText() const {
        std::wstring text;
        for (const auto& line : lines) text += line + L"\r\n";
        return text;
    }
    // The outcome of the last finished run.
    bool Succeeded() const { return !outcomes.empty() && outcomes.back(); }
    bool Failed() const { return !outcomes.empty() && !outcomes.back(); }

    std::vector<std::wstring> lines;
    std::vector<Message> messages;
    std::vector<bool> quietAnswers;
    std::vector<bool> outcomes;
    int starts = 0;
    std::uint32_t range = 0;
    std::vector<std::uint32_t> positions;
    bool answer = true;  // what Ask returns
};

}  // namespace zel::test
