#include "engine/CatalogriumDoc.h"
#include "tests/support/Recorders.h"
#include "tests/support/ScopedVariable.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>

namespace {

class ValidateFolderNameTest : public ::testing::Test {
protected:
    // The path after the check, or nothing when it was refused.
    std::optional<std::string> Check(std::string path) {
        if (!doc.ValidateFolderName(path))
            return std::nullopt;
        return path;
    }
    // Refuses `path` with exactly one message, which it returns.
    RecordingPrompter::Message Refusal(const std::string& path) {
        prompter.messages.clear();
        std::string changed = path;
        EXPECT_FALSE(doc.ValidateFolderName(changed)) << path;
        EXPECT_EQ(prompter.messages.size(), 1u) << path;
        return prompter.messages.empty() ? RecordingPrompter::Message{} : prompter.messages[0];
    }

    RecordingPrompter prompter;
    CSilentProgressNote progress;
    CCatalogriumDoc doc{prompter, progress};
};

std::string CharacterMessage() {
    const std::string blanks5(5, ' ');
    return "A folder/file Name cannot contain any of the following characters: \n" +
           std::string(18, ' ') + "\\" + blanks5 + "*" + blanks5 + ">" + blanks5 + "<" + blanks5 +
           "/" + blanks5 + "\"" + blanks5 + "|" + blanks5 + ":" + std::string(4, ' ') + "?" +
           std::string(3, ' ') + "\n" + std::string(14, ' ') + "\\" + std::string(3, ' ') +
           "is reserved for directory(folder)" + std::string(3, ' ') + "breakup.";
}

TEST_F(ValidateFolderNameTest, EmptyPathAsksForOne) {
    const auto message = Refusal("");
    EXPECT_EQ(message.text, "Please enter Folder name and Path");
    EXPECT_EQ(message.caption, "Catalogrium3: Error");
    EXPECT_EQ(message.icon, MessageIcon::Error);
    EXPECT_EQ(message.buttons, MessageButtons::Ok);
}

TEST_F(ValidateFolderNameTest, WhiteSpaceAloneGivesTheEmptyPathForTheRoot) {
    EXPECT_EQ(Check(" \t\r\n\v\f"), "");
    EXPECT_TRUE(prompter.messages.empty());
}

TEST_F(ValidateFolderNameTest, WhiteSpaceAroundThePathIsRemoved) {
    EXPECT_EQ(Check(" \t/data/music\r\n"), "/data/music");
    EXPECT_EQ(Check("\v\f/data with blanks  "), "/data with blanks");
}

TEST_F(ValidateFolderNameTest, PathsThatDoNotBeginAtTheRootAreRefused) {
    for (const char* path : {"data", "c:", "c", "./data", "../data", "~user/data", " data/"}) {
        const auto message = Refusal(path);
        EXPECT_EQ(message.text, "Please check Folder name and Path") << path;
        EXPECT_EQ(message.caption, "Catalogrium3: Error") << path;
        EXPECT_EQ(message.icon, MessageIcon::Error) << path;
    }
}

TEST_F(ValidateFolderNameTest, TildeStandsForTheHomeFolder) {
    const ScopedVariable home("HOME", "/home/ann");
    EXPECT_EQ(Check("~"), "/home/ann");
    EXPECT_EQ(Check(" ~/music/ "), "/home/ann/music");
    EXPECT_EQ(Check("~/"), "/home/ann");
    home.Set("/home/ann/");
    EXPECT_EQ(Check("~/music"), "/home/ann/music");
    home.Set("/");
    EXPECT_EQ(Check("~"), "/");
    EXPECT_EQ(Check("~/music"), "/music");
}

TEST_F(ValidateFolderNameTest, TildeWithoutAHomeIsRefused) {
    for (const char* home : {static_cast<const char*>(nullptr), "", "relative/home"}) {
        const ScopedVariable guard("HOME", home);
        EXPECT_EQ(Refusal("~/music").text, "Please check Folder name and Path")
            << "HOME=" << (home ? home : "(unset)");
    }
}

TEST_F(ValidateFolderNameTest, TrailingSlashesAndForbiddenCharactersAreDropped) {
    EXPECT_EQ(Check("/data//"), "/data");
    EXPECT_EQ(Check("/"), "/");
    EXPECT_EQ(Check("///"), "/");
    EXPECT_EQ(Check("/data*?\"|<>/"), "/data");
    EXPECT_EQ(Check("/*"), "/");
    EXPECT_TRUE(prompter.messages.empty());
}

// The edit shows the checked path, and the next Go checks it again.
TEST_F(ValidateFolderNameTest, ACheckedPathChecksAgainUnchanged) {
    const std::pair<const char*, const char*> cases[] = {
        {"/data /", "/data"},   {"/data / /", "/data"}, {"/b+ \t/", "/b+"},
        {"/data* /*", "/data"}, {"/ /", "/"},           {"/data/my folder/", "/data/my folder"},
    };
    for (const auto& [typed, checked] : cases) {
        EXPECT_EQ(Check(typed), checked) << typed;
        EXPECT_EQ(Check(checked), checked) << typed;
    }
}

TEST_F(ValidateFolderNameTest, BackslashColonAndInnerSlashesAreOrdinary) {
    EXPECT_EQ(Check("/data:x"), "/data:x");
    EXPECT_EQ(Check("/a\\b\\"), "/a\\b\\");
    EXPECT_EQ(Check("//server/share"), "//server/share");
    EXPECT_EQ(Check("/a b,c'd/\xff\xfe"), "/a b,c'd/\xff\xfe");
    EXPECT_TRUE(prompter.messages.empty());
}

TEST_F(ValidateFolderNameTest, ForbiddenCharacterInsideThePathShowsTheCharacterMessage) {
    for (char c : std::string("*?\"|<>")) {
        const std::string path = std::string("/da") + c + "ta/";
        const auto message = Refusal(path);
        EXPECT_EQ(message.text, CharacterMessage()) << path;
        EXPECT_EQ(message.caption, "Catalogrium") << path;
        EXPECT_EQ(message.icon, MessageIcon::Error) << path;
        EXPECT_EQ(message.buttons, MessageButtons::Ok) << path;
    }
    EXPECT_EQ(Refusal("/a*/b").caption, "Catalogrium");
}

} // namespace
