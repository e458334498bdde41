#pragma once

#include "engine/Prompter.h"

// Shows each message in a QMessageBox without a parent window and waits for the answer.
class CMessageBoxPrompter final : public IPrompter {
public:
    MessageAnswer Prompt(const std::string& text, const std::string& caption, MessageIcon icon,
                         MessageButtons buttons) override;
};
