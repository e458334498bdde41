// Page and panel counts, and which entries each page or panel of a job shows.
#include "ListingOptions.h"
#include "Pagination.h"

#include <gtest/gtest.h>

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

int Pages(int lines, int printAs, bool twoColumn = false) {
    return CountJob(lines, printAs, twoColumn).pages;
}
int Panels(int lines, int printAs, bool twoColumn = false) {
    return CountJob(lines, printAs, twoColumn).spans;
}

TEST(PageCountTest, StandardPagesHoldSeventyThenEighty) {
    EXPECT_EQ(Pages(0, kPrintStandard), 1);
    EXPECT_EQ(Pages(70, kPrintStandard), 1);
    EXPECT_EQ(Pages(71, kPrintStandard), 2);
    EXPECT_EQ(Pages(150, kPrintStandard), 2);
    EXPECT_EQ(Pages(151, kPrintStandard), 3);
}

TEST(PageCountTest, TwoColumnSettingIsIgnoredOnStandardPages) {
    EXPECT_EQ(CountJob(151, kPrintStandard, true), CountJob(151, kPrintStandard, false));
}

TEST(PageCountTest, CDPanelsTwoToASheet) {
    EXPECT_EQ(CountJob(0, kPrintCD, false), (JobCounts{1, 1}));
    EXPECT_EQ(CountJob(29, kPrintCD, false), (JobCounts{1, 1}));
    EXPECT_EQ(CountJob(30, kPrintCD, false), (JobCounts{1, 2}));
    EXPECT_EQ(CountJob(61, kPrintCD, false), (JobCounts{1, 2}));
    EXPECT_EQ(CountJob(62, kPrintCD, false), (JobCounts{2, 3}));
}

TEST(PageCountTest, CDTwoColumnsDoubleEachPanel) {
    EXPECT_EQ(Panels(58, kPrintCD, true), 1);
    EXPECT_EQ(CountJob(59, kPrintCD, true), (JobCounts{1, 2}));
    EXPECT_EQ(CountJob(122, kPrintCD, true), (JobCounts{1, 2}));
    EXPECT_EQ(CountJob(123, kPrintCD, true), (JobCounts{2, 3}));
}

TEST(PageCountTest, ZipPanelsInOneAndTwoColumns) {
    EXPECT_EQ(Panels(20, kPrintZip), 1);
    EXPECT_EQ(Panels(21, kPrintZip), 2);
    EXPECT_EQ(Panels(44, kPrintZip), 2);
    EXPECT_EQ(CountJob(45, kPrintZip, false), (JobCounts{2, 3}));
    EXPECT_EQ(Panels(40, kPrintZip, true), 1);
    EXPECT_EQ(Panels(41, kPrintZip, true), 2);
    EXPECT_EQ(Panels(88, kPrintZip, true), 2);
    EXPECT_EQ(CountJob(89, kPrintZip, true), (JobCounts{2, 3}));
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

TEST(CommentCarryTest, OneCommentOnTheLastRowContinuesOnTheNextPage) {
    EntryList entries = MakeEntries(100);
    entries[69]->m_strComment1 = "note";
    const auto table = BuildPageTable(entries, 2, LayoutCapacity(kPrintStandard, false), true);
    EXPECT_EQ(table[0], (PageSpan{0, 69, 1}));
    EXPECT_EQ(table[1], (PageSpan{70, 99, 0}));

    // The carried positions use up room at the top of the next page: 80 - 3 lines.
    EntryList many = MakeEntries(200);
    many[69]->m_strComment1 = "note";
    EXPECT_EQ(BuildPageTable(many, 2, LayoutCapacity(kPrintStandard, false), true)[1].last, 146);
}

TEST(CommentCarryTest, SecondCommentRunsOverWithACarryOfTwo) {
    EntryList entries = MakeEntries(100);
    entries[68]->m_strComment1 = "first";
    entries[68]->m_strComment2 = "second";
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
    entries[28]->m_strComment3 = "third";
    int carry = 0;
    int kind = 0;
    EXPECT_EQ(FitEntries(entries, 0, 29, carry, kind), 28);
    EXPECT_EQ(kind, 3);
    EXPECT_EQ(carry, 1);
}

TEST(CommentCarryTest, CommentsThatFitLeaveNoCarry) {
    EntryList entries = MakeEntries(40);
    entries[0]->m_strComment1 = "a";
    entries[0]->m_strComment2 = "b";
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
    entries[1]->m_strComment1 = "a";
    entries[1]->m_strComment3 = "c";
    entries[4]->m_strComment2 = "b";
    EXPECT_EQ(CountListingLines(entries, true), 8);
    EXPECT_EQ(CountListingLines(entries, false), 5);
}

TEST(SpansToPlaceTest, CommentsOfTheLastEntryNeedASpanOfTheirOwn) {
    EntryList entries = MakeEntries(70);
    entries[69]->m_strComment1 = "note";
    EXPECT_EQ(CountSpansToPlace(entries, LayoutCapacity(kPrintStandard, false), true), 2);
    EXPECT_EQ(CountSpansToPlace(entries, LayoutCapacity(kPrintStandard, false), false), 1);
}

TEST(SpansToPlaceTest, CarriedPositionsThatHoldNoLineCanNeedAnExtraSpan) {
    // 149 entries and one comment are 150 lines, two pages by count; but the comment carried
    // from page 1 takes three positions of page 2, so entries 147 and 148 need a third page.
    EntryList entries = MakeEntries(149);
    entries[69]->m_strComment1 = "note";
    const SpanCapacity standard = LayoutCapacity(kPrintStandard, false);
    EXPECT_EQ(CountSpansForLines(CountListingLines(entries, true), standard), 2);
    EXPECT_EQ(CountSpansToPlace(entries, standard, true), 3);
    EXPECT_EQ(BuildPageTable(entries, 3, standard, true).back(), (PageSpan{147, 148, 0}));
}

TEST(SpansToPlaceTest, EmptyListingTakesOneSpan) {
    EXPECT_EQ(CountSpansToPlace(EntryList{}, LayoutCapacity(kPrintCD, true), true), 1);
}

} // namespace
