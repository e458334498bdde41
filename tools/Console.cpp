#include "Console.h"

#include "engine/ReplacingFile.h"
#include "engine/Text.h"

#include <cstring>
#include <iostream>
#include <sys/ioctl.h>
#include <unistd.h>

void Complain(const std::string& message) {
    std::cerr << "ctlgrm: " << ReplaceControlChars(message) << '\n';
}

std::string StandardOutputFailure(const std::string& what, int error) {
    return "cannot write " + what + " to standard output: " + std::strerror(error);
}

int WriteToStandardOutput(std::string_view text) {
    return WriteAll(STDOUT_FILENO, text);
}

MessageAnswer CStreamPrompter::Prompt(const std::string& text, const std::string& caption,
                                      MessageIcon, MessageButtons buttons) {
    m_out << caption << ": " << text << '\n' << std::flush;
    return buttons == MessageButtons::YesNo ? MessageAnswer::No : MessageAnswer::Ok;
}

void CTerminalProgressNote::SetStatusText(const std::string& text) {
    auto now = m_clock();
    if (m_shown && now - m_lastShown < kInterval)
        return;
    // The last column stays free so that the terminal never wraps the line.
    std::size_t room = m_columns > 1 ? m_columns - 1 : 1;
    m_out << '\r' << FirstChars(ReplaceControlChars(text), room) << "\x1b[K" << std::flush;
    m_lastShown = now;
    m_shown = true;
}

// The next note starts afresh: its first text is shown at once, however soon it comes.
void CTerminalProgressNote::RemoveProgress() {
    if (m_shown)
        m_out << "\r\x1b[K" << std::flush;
    m_shown = false;
}

std::size_t TerminalColumns(int fd) {
    winsize size{};
    if (::ioctl(fd, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
    return 80;
}
