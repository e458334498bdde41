// Page and panel counts, and which entries each page or panel of a job shows.
#include "tests/print/PrinterFixture.h"

namespace {

EntryList MakeEntries(int count) {
    EntryList entries;
    for (int i = 0; i < count; ++i) {
        auto entry = std::make_unique<CFolderEntry>();
        entry->m_strName = "file" + std::to_string(i);
        entries.push_back(std::move(entry));
    }
    return entries;
}

// The job's size as SizeJob gives it to the print dialog and as the page headers show it.
class JobSizeTest : public PrinterTest {
protected:
    JobSizeTest() {
        options.m_bPrintTitle = 0;
        options.m_bPrintSummary = 0;
    }
    // The total of " page 1 of N" on the first page or panel; 1 when none is shown.
    int SpansInHeader() {
        Print(1);
        for (const auto& call : canvas.Texts()) {
            const std::size_t at = call.text.find("page 1 of ");
            if (at != std::string::npos)
                return std::stoi(call.text.substr(at + 10));
        }
        return 1;
    }
};

TEST_F(JobSizeTest, PagesAndPanelsOfEachLayout) {
    struct Row {
        int printAs;
        bool twoColumn;
        int entries;
        int commented; // the entry with a first comment, or -1
        int pages;
        int spans; // pages, or panels of a case insert
    };
    const std::vector<Row> rows{
        {kPrintStandard, false, 0, -1, 1, 1},
        {kPrintStandard, false, 70, -1, 1, 1},
        {kPrintStandard, false, 71, -1, 2, 2},
        {kPrintStandard, false, 150, -1, 2, 2},
        {kPrintStandard, false, 151, -1, 3, 3},
        {kPrintStandard, true, 151, -1, 3, 3},
        {kPrintCD, false, 0, -1, 1, 1},
        {kPrintCD, false, 29, -1, 1, 1},
        {kPrintCD, false, 30, -1, 1, 2},
        {kPrintCD, false, 61, -1, 1, 2},
        {kPrintCD, false, 62, -1, 2, 3},
        {kPrintCD, true, 58, -1, 1, 1},
        {kPrintCD, true, 59, -1, 1, 2},
        {kPrintCD, true, 122, -1, 1, 2},
        {kPrintCD, true, 123, -1, 2, 3},
        {kPrintZip, false, 20, -1, 1, 1},
        {kPrintZip, false, 21, -1, 1, 2},
        {kPrintZip, false, 44, -1, 1, 2},
        {kPrintZip, false, 45, -1, 2, 3},
        {kPrintZip, true, 40, -1, 1, 1},
        {kPrintZip, true, 41, -1, 1, 2},
        {kPrintZip, true, 88, -1, 1, 2},
        {kPrintZip, true, 89, -1, 2, 3},
        {kPrintCD, true, 0, -1, 1, 1},
        // The comment of the last entry needs a page of its own.
        {kPrintStandard, false, 70, 69, 2, 2},
        // 150 lines fill two pages by count, but the comment carried from page 1 takes three
        // positions of page 2, so the last two entries need a third page.
        {kPrintStandard, false, 149, 69, 3, 3},
    };
    for (const Row& row : rows) {
        doc.m_entryList.clear();
        AddFiles(row.entries);
        options.m_bAddComments = row.commented >= 0;
        if (row.commented >= 0)
            doc.m_entryList[static_cast<std::size_t>(row.commented)]->m_comments.m_strComment1 =
                "note";
        const std::string name = std::to_string(row.printAs) +
                                 (row.twoColumn ? " two-column " : " ") +
                                 std::to_string(row.entries) + " entries";
        EXPECT_EQ(StartJob(row.printAs, row.twoColumn), row.pages) << name;
        EXPECT_EQ(SpansInHeader(), row.spans) << name;
    }
}

TEST(PageTableTest, WithoutCommentsSpansFollowTheCapacities) {
    const EntryList cd = MakeEntries(61);
    EXPECT_EQ(BuildPageTable(cd, 2, LayoutCapacity(kPrintCD, false), false),
              (std::vector<PageSpan>{{0, 28, 0}, {29, 60, 0}}));
    const EntryList standard = MakeEntries(100);
    EXPECT_EQ(BuildPageTable(standard, 2, LayoutCapacity(kPrintStandard, false), false),
              (std::vector<PageSpan>{{0, 69, 0}, {70, 99, 0}}));
}

TEST(PageTableTest, EmptyListingHasOneSpanWithoutEntries) {
    const EntryList none;
    EXPECT_EQ(BuildPageTable(none, 1, LayoutCapacity(kPrintStandard, false), true),
              (std::vector<PageSpan>{{0, -1, 0}}));
    EXPECT_EQ(BuildPageTable(none, 1, LayoutCapacity(kPrintZip, true), false),
              (std::vector<PageSpan>{{0, -1, 0}}));
}

TEST(PageTableTest, SpansPastTheLastEntryShowNone) {
    const EntryList entries = MakeEntries(10);
    const auto table = BuildPageTable(entries, 3, LayoutCapacity(kPrintCD, false), false);
    EXPECT_EQ(table[0], (PageSpan{0, 9, 0}));
    EXPECT_EQ(table[1], (PageSpan{10, 9, 0}));
    EXPECT_EQ(table[2], (PageSpan{10, 9, 0}));
}

// A first comment carried past a page's last row is tested where it is drawn, in
// ListingRowsTests.cpp; these are the other carries.
TEST(CommentCarryTest, SecondCommentRunsOverWithACarryOfTwo) {
    EntryList entries = MakeEntries(100);
    entries[68]->m_comments.m_strComment1 = "first";
    entries[68]->m_comments.m_strComment2 = "second";
    int carry = 0;
    int kind = 0;
    EXPECT_EQ(FitEntries(entries, 0, 70, carry, kind), 68);
    EXPECT_EQ(kind, 2);
    EXPECT_EQ(carry, 2);
    const auto table = BuildPageTable(entries, 2, LayoutCapacity(kPrintStandard, false), true);
    EXPECT_EQ(table[0], (PageSpan{0, 68, 2}));
    EXPECT_EQ(table[1].first, 69);
}

TEST(CommentCarryTest, ThirdCommentAloneRunsOverWithKindThree) {
    EntryList entries = MakeEntries(40);
    entries[28]->m_comments.m_strComment3 = "third";
    int carry = 0;
    int kind = 0;
    EXPECT_EQ(FitEntries(entries, 0, 29, carry, kind), 28);
    EXPECT_EQ(kind, 3);
    EXPECT_EQ(carry, 1);
}

TEST(CommentCarryTest, CommentsThatFitLeaveNoCarry) {
    EntryList entries = MakeEntries(40);
    entries[0]->m_comments.m_strComment1 = "a";
    entries[0]->m_comments.m_strComment2 = "b";
    int carry = 0;
    int kind = 0;
    // 27 entries and 2 comment lines fill the 29 lines exactly.
    EXPECT_EQ(FitEntries(entries, 0, 29, carry, kind), 26);
    EXPECT_EQ(kind, 0);
    EXPECT_EQ(carry, 0);
}

TEST(CommentCarryTest, CarryFromThePreviousSpanShortensTheLimit) {
    const EntryList entries = MakeEntries(100);
    int carry = 2;
    int kind = 0;
    EXPECT_EQ(FitEntries(entries, 10, 32, carry, kind), 39);
    EXPECT_EQ(carry, 0);
}

TEST(LineCountTest, CommentLinesCountOnlyWhenShown) {
    EntryList entries = MakeEntries(5);
    entries[1]->m_comments.m_strComment1 = "a";
    entries[1]->m_comments.m_strComment3 = "c";
    entries[4]->m_comments.m_strComment2 = "b";
    EXPECT_EQ(CountListingLines(entries, true), 8);
    EXPECT_EQ(CountListingLines(entries, false), 5);
}

} // namespace
