#pragma once

#include "engine/ProgressNote.h"
#include "engine/Prompter.h"

#include <chrono>
#include <cstddef>
#include <functional>
#include <iosfwd>
#include <string>
#include <string_view>

// One line of ctlgrm's own on standard error: "ctlgrm: MESSAGE". Names and arguments in it may
// hold control characters, which must not reach the terminal: they show as "?".
void Complain(const std::string& message);

// The message for `what` (such as "the listing") that could not be written to standard output
// because of `error` (an errno value).
std::string StandardOutputFailure(const std::string& what, int error);

// Writes `text` to standard output; errno of the failure, or 0.
int WriteToStandardOutput(std::string_view text);

// Messages of a run without a window: "CAPTION: TEXT" on the given stream. Nobody can answer
// a question there, so a question is answered No (nothing is done that was not asked for).
class CStreamPrompter final : public IPrompter {
public:
    explicit CStreamPrompter(std::ostream& out) : m_out(out) {}
    MessageAnswer Prompt(const std::string& text, const std::string& caption, MessageIcon icon,
                         MessageButtons buttons) override;

private:
    std::ostream& m_out;
};

// The status text on one line of a terminal, rewritten in place (carriage return, then the
// text cut to the terminal's width, then the rest of the line erased), at most once per
// 100 ms whatever the pace of the callers; the line is erased when the progress ends.
class CTerminalProgressNote final : public IProgressNote {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    CTerminalProgressNote(std::ostream& out, std::size_t columns,
                          Clock clock = std::chrono::steady_clock::now)
        : m_out(out), m_columns(columns), m_clock(std::move(clock)) {}

    void BeginProgress() override { SetStatusText("Working..."); }
    void SetStatusText(const std::string& text) override;
    void SetRange(int, int) override {}
    void SetStep(int) override {}
    void StepIt() override {}
    void RemoveProgress() override;

    static constexpr std::chrono::milliseconds kInterval{100};

private:
    std::ostream& m_out;
    std::size_t m_columns;
    Clock m_clock;
    std::chrono::steady_clock::time_point m_lastShown{};
    bool m_shown = false;
};

// The width of the terminal on `fd`, 80 when it cannot be told.
std::size_t TerminalColumns(int fd);
