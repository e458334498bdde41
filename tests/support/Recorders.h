#pragma once

#include "engine/ProgressNote.h"
#include "engine/Prompter.h"

#include <string>
#include <vector>

// A prompter that records every message and gives a chosen answer.
class RecordingPrompter : public IPrompter {
public:
    struct Message {
        std::string text;
        std::string caption;
        MessageIcon icon;
        MessageButtons buttons;
    };

    MessageAnswer Prompt(const std::string& text, const std::string& caption, MessageIcon icon,
                         MessageButtons buttons) override {
        messages.push_back({text, caption, icon, buttons});
        return buttons == MessageButtons::YesNo ? yesNoAnswer : MessageAnswer::Ok;
    }

    std::vector<Message> messages;
    MessageAnswer yesNoAnswer = MessageAnswer::Yes;
};

// A progress note that records every call, in order, as text ("begin", "text:NAME",
// "range:0-5", "step:1", "stepit", "remove", "wait", "endwait").
class RecordingProgressNote : public IProgressNote {
public:
    void BeginProgress() override { calls.push_back("begin"); }
    void SetStatusText(const std::string& text) override { calls.push_back("text:" + text); }
    void SetRange(int lower, int upper) override {
        calls.push_back("range:" + std::to_string(lower) + "-" + std::to_string(upper));
    }
    void SetStep(int step) override { calls.push_back("step:" + std::to_string(step)); }
    void StepIt() override { calls.push_back("stepit"); }
    void RemoveProgress() override { calls.push_back("remove"); }
    void SetClosingRemark(const std::string& text) override { calls.push_back("remark:" + text); }
    void BeginWaitCursor() override { calls.push_back("wait"); }
    void EndWaitCursor() override { calls.push_back("endwait"); }

    int Count(const std::string& call) const {
        int n = 0;
        for (const auto& c : calls)
            n += c == call;
        return n;
    }

    std::vector<std::string> calls;
};
