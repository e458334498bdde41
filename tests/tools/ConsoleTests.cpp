#include "tools/Console.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

TEST(StreamPrompter, WritesCaptionAndTextAndAnswersQuestionsNo) {
    std::ostringstream out;
    CStreamPrompter prompter(out);
    EXPECT_EQ(prompter.Prompt("There are problem reading folder  /x", "Catalogrium",
                              MessageIcon::Error, MessageButtons::Ok),
              MessageAnswer::Ok);
    EXPECT_EQ(
        prompter.Prompt("Go on?", "Catalogrium", MessageIcon::Question, MessageButtons::YesNo),
        MessageAnswer::No);
    EXPECT_EQ(out.str(), "Catalogrium: There are problem reading folder  /x\n"
                         "Catalogrium: Go on?\n");
}

class TerminalNoteTest : public ::testing::Test {
protected:
    CTerminalProgressNote Note(std::size_t columns) {
        return CTerminalProgressNote(out, columns, [this] { return now; });
    }
    void Advance(int ms) { now += std::chrono::milliseconds(ms); }

    std::ostringstream out;
    std::chrono::steady_clock::time_point now{std::chrono::seconds(1000)};
};

TEST_F(TerminalNoteTest, RewritesOneLineAtMostEveryHundredMilliseconds) {
    auto note = Note(80);
    note.BeginProgress();
    Advance(40);
    note.SetStatusText("skipped");
    Advance(60);
    note.SetStatusText("b.txt");
    Advance(99);
    note.SetStatusText("skipped too");
    note.RemoveProgress();
    EXPECT_EQ(out.str(), "\rWorking...\x1b[K\rb.txt\x1b[K\r\x1b[K");
}

TEST_F(TerminalNoteTest, NoteThatFollowsAtOnceShowsItsFirstText) {
    auto note = Note(80);
    note.BeginProgress();
    note.RemoveProgress();
    Advance(10);
    note.BeginProgress();
    note.RemoveProgress();
    note.RemoveProgress();
    EXPECT_EQ(out.str(), "\rWorking...\x1b[K\r\x1b[K\rWorking...\x1b[K\r\x1b[K");
}

TEST_F(TerminalNoteTest, CutsToTheTerminalWidthAndHidesControlCharacters) {
    auto note = Note(6);
    note.SetStatusText("a\nb\xc3\xa9\xc3\xa9xyz");
    Advance(100);
    note.SetStatusText("\x9b"
                       "2J\xc2\x9b"
                       "3");
    EXPECT_EQ(out.str(), "\ra?b\xc3\xa9\xc3\xa9\x1b[K\r?2J?3\x1b[K");
}

TEST_F(TerminalNoteTest, NothingToEraseWhenNothingWasShown) {
    auto note = Note(80);
    note.RemoveProgress();
    EXPECT_EQ(out.str(), "");
}

} // namespace
