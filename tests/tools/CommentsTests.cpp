#include "tests/support/TempDir.h"
#include "tools/Comments.h"

#include <gtest/gtest.h>

namespace {

class CommentsFileTest : public ::testing::Test {
protected:
    bool Read(const std::string& text) {
        comments.clear();
        error.clear();
        return ReadCommentsFile(dir.WriteFile("c.txt", text).string(), comments, error);
    }

    TempDir dir;
    std::vector<EntryComments> comments;
    std::string error;
};

TEST_F(CommentsFileTest, ReadsOneToThreeCommentsPerName) {
    ASSERT_TRUE(Read("a.txt\tone\n\nb dir\tone\ttwo\tthree\r\nc\t\tsecond only\nd\n")) << error;
    ASSERT_EQ(comments.size(), 4u);
    EXPECT_EQ(comments[0].name, "a.txt");
    EXPECT_EQ(comments[0].comments, (CommentLines{"one", "", ""}));
    EXPECT_EQ(comments[1].name, "b dir");
    EXPECT_EQ(comments[1].comments, (CommentLines{"one", "two", "three"}));
    EXPECT_EQ(comments[2].comments, (CommentLines{"", "second only", ""}));
    EXPECT_EQ(comments[3].comments, (CommentLines{"", "", ""}));
}

TEST_F(CommentsFileTest, CommentLengthCountsCharacters) {
    std::string nineteen;
    for (int i = 0; i < 19; ++i)
        nineteen += "\xc3\xa9"; // é
    EXPECT_TRUE(Read("x\t" + nineteen + "\n")) << error;
    EXPECT_FALSE(Read("x\t" + nineteen + "e\n"));
    EXPECT_NE(error.find(":1:"), std::string::npos) << error;
}

TEST_F(CommentsFileTest, RefusesLinesOfAnotherShapeNamingTheLine) {
    EXPECT_FALSE(Read("a\t1\nb\t1\t2\t3\t4\n"));
    EXPECT_NE(error.find(":2:"), std::string::npos) << error;
    EXPECT_FALSE(Read("\tno name\n"));
    EXPECT_FALSE(Read(std::string("a\tn\0l\n", 6)));
}

// A listing carries at most 64,000 commented entries, each with a name of up to 255 bytes and
// three comments of 19 characters of up to four bytes: a file or a line beyond that is refused
// (a device that never ends included).
TEST_F(CommentsFileTest, FilesAndLinesLargerThanAListingCanCarryAreRefused) {
    std::string comment;
    for (int i = 0; i < 19; ++i)
        comment += "\xf0\x9f\x93\x80"; // a four-byte character
    const std::string longest =
        std::string(255, 'n') + "\t" + comment + "\t" + comment + "\t" + comment;
    ASSERT_EQ(longest.size(), 486u);
    EXPECT_TRUE(Read(longest + "\r\n")) << error;
    EXPECT_FALSE(Read("x" + longest + "\r\n"));
    EXPECT_EQ(error.substr(error.find(':')),
              ":1: the line is longer than 486 bytes, more than a name and three comments can be");

    const std::size_t limit = 64000 * (486 + 2);
    EXPECT_TRUE(Read(std::string(limit, '\n'))) << error;
    EXPECT_FALSE(Read(std::string(limit + 1, '\n')));
    EXPECT_NE(error.find("is larger than 31232000 bytes"), std::string::npos) << error;
    EXPECT_FALSE(ReadCommentsFile("/dev/zero", comments, error));
    EXPECT_NE(error.find("is larger than 31232000 bytes"), std::string::npos) << error;
}

TEST_F(CommentsFileTest, MissingFileIsAnError) {
    EXPECT_FALSE(ReadCommentsFile((dir.path() / "none.txt").string(), comments, error));
    EXPECT_NE(error.find("none.txt"), std::string::npos);
}

EntryList Entries(std::initializer_list<const char*> names) {
    EntryList list;
    for (const char* name : names) {
        list.push_back(std::make_unique<CFolderEntry>());
        list.back()->m_strName = name;
    }
    return list;
}

TEST(AttachComments, MatchesNamesAndReportsTheRest) {
    EntryList entries = Entries({"a", "b", "c"});
    entries[2]->m_comments.m_strComment3 = "old";
    std::vector<EntryComments> comments{{"c", {"new", "", ""}},
                                        {"zz", {"lost", "", ""}},
                                        {"a", {"1", "2", "3"}},
                                        {"c", {"newer", "", ""}}};
    auto unmatched = AttachComments(entries, comments, false);
    EXPECT_EQ(unmatched, std::vector<std::string>{"zz"});
    EXPECT_EQ(entries[0]->m_comments.m_strComment1, "1");
    EXPECT_EQ(entries[0]->m_comments.m_strComment3, "3");
    EXPECT_EQ(entries[1]->m_comments.CountNonEmpty(), 0);
    EXPECT_EQ(entries[2]->m_comments.m_strComment1, "newer");
    EXPECT_EQ(entries[2]->m_comments.m_strComment3, "");
}

TEST(AttachComments, UpperCasedListingMatchesNamesOfAnyCase) {
    EntryList entries = Entries({"R\xc3\x89SUM\xc3\x89.TXT"});
    std::vector<EntryComments> comments{{"r\xc3\xa9sum\xc3\xa9.txt", {"cv", "", ""}}};
    EXPECT_TRUE(AttachComments(entries, comments, true).empty());
    EXPECT_EQ(entries[0]->m_comments.m_strComment1, "cv");
    EXPECT_EQ(AttachComments(entries, comments, false).size(), 1u);
}

} // namespace
