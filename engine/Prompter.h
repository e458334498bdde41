#pragma once

#include <string>

// The program's name: the caption of most of its messages and the title of its window.
inline constexpr const char* kAppTitle = "Catalogrium3";

enum class MessageIcon { Error, Warning, Question, Information };
enum class MessageButtons { Ok, YesNo };
enum class MessageAnswer { Ok, Yes, No };

// Shows a message to the user and waits for the answer (a message box without owner window
// in the application; a recording fake in tests; standard error in ctlgrm).
class IPrompter {
public:
    virtual ~IPrompter() = default;
    virtual MessageAnswer Prompt(const std::string& text, const std::string& caption,
                                 MessageIcon icon, MessageButtons buttons) = 0;
};

// A prompter that shows nothing and answers Ok, for runs whose caller reports the outcome.
class CSilentPrompter final : public IPrompter {
public:
    MessageAnswer Prompt(const std::string&, const std::string&, MessageIcon,
                         MessageButtons) override {
        return MessageAnswer::Ok;
    }
};
