#include "engine/CatalogriumDoc.h"

#include "engine/Text.h"
#include "tests/engine/ScopedTimeZone.h"
#include "tests/support/Recorders.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

using Names = std::vector<std::string>;

class SortTest : public testing::Test {
protected:
    SortTest() { doc.SetOptions(&options); }

    // Adds an entry in search order as the scan does: folders at the head, files at the tail.
    CFolderEntry& Found(const std::string& name, bool folder, std::uint64_t size = 0,
                        std::uint32_t attributes = 0, FileTime time = 0) {
        auto entry = std::make_unique<CFolderEntry>();
        entry->m_strName = name;
        entry->m_strShortName = FirstChars(name, 11);
        entry->m_dwAttributes = attributes | (folder ? kAttrFolder : kAttrArchive);
        entry->m_nSize = size;
        entry->m_ftLastWrite = time;
        CFolderEntry& added = *entry;
        if (folder)
            doc.m_scanList.push_front(std::move(entry));
        else
            doc.m_scanList.push_back(std::move(entry));
        return added;
    }
    CFolderEntry& File(const std::string& name, std::uint64_t size = 0) {
        return Found(name, false, size);
    }
    CFolderEntry& Folder(const std::string& name, std::uint64_t size = 0) {
        return Found(name, true, size);
    }

    Names Sorted(int key, bool descend = false) {
        doc.SortEntries(descend, key);
        Names names;
        for (const auto& entry : doc.m_entryList)
            names.push_back(entry->m_strName);
        return names;
    }

    RecordingPrompter prompter;
    RecordingProgressNote progress;
    ListingOptions options;
    CCatalogriumDoc doc{prompter, progress};
};

TEST_F(SortTest, UnsortedPutsFoldersFirstInSearchOrderThenFiles) {
    File("f1");
    Folder("d1");
    File("f2");
    Folder("d2");
    Folder("d3");
    EXPECT_EQ(Sorted(kSortUnsorted), (Names{"d1", "d2", "d3", "f1", "f2"}));
    EXPECT_TRUE(doc.m_scanList.empty());
    EXPECT_TRUE(prompter.messages.empty());
}

TEST_F(SortTest, KeysBelowOneLeaveTheSearchOrder) {
    File("b");
    File("a");
    Folder("z");
    EXPECT_EQ(Sorted(-3), (Names{"z", "b", "a"}));
}

TEST_F(SortTest, KeysAboveTimeOrderNothing) {
    File("b", 2);
    File("a", 1);
    Folder("y");
    Folder("x");
    EXPECT_EQ(Sorted(6), (Names{"y", "x", "b", "a"}));
}

TEST_F(SortTest, NameFoldsOnlyAsciiLettersAndKeepsTiesInBothDirections) {
    File("b.txt");
    File("A.txt");
    File("a.txt");
    EXPECT_EQ(Sorted(kSortName), (Names{"A.txt", "a.txt", "b.txt"}));
}

TEST_F(SortTest, NameDescendingKeepsTies) {
    File("A.txt");
    File("b.txt");
    File("a.txt");
    EXPECT_EQ(Sorted(kSortName, true), (Names{"b.txt", "A.txt", "a.txt"}));
}

TEST_F(SortTest, NameComparesBytesAsUnsignedWithPrefixFirst) {
    File("\xC3\xA9t\xC3\xA9"); // "été": bytes above 0x7F come after every ASCII letter
    File("Zeta");
    File("abc");
    File("_x");
    File("ab");
    File("\xC3\x89T\xC3\x89"); // "ÉTÉ": not folded, so not equal to "été"
    EXPECT_EQ(Sorted(kSortName),
              (Names{"_x", "ab", "abc", "Zeta", "\xC3\x89T\xC3\x89", "\xC3\xA9t\xC3\xA9"}));
}

TEST_F(SortTest, LongNamesAreComparedToTheirLastByte) {
    File("IMG_20240101_1234b.jpg");
    File("img_20240101_1234A.jpg");
    File("IMG_20240101_1234");
    File("img_20240101_123");
    File("IMG_20240101_1234a.JPG");
    File("img_20240101_1234aaaaaZ");
    EXPECT_EQ(Sorted(kSortName), (Names{"img_20240101_123", "IMG_20240101_1234",
                                        "img_20240101_1234A.jpg", "IMG_20240101_1234a.JPG",
                                        "img_20240101_1234aaaaaZ", "IMG_20240101_1234b.jpg"}));
}

TEST_F(SortTest, LongExtensionsAreComparedWithoutFolding) {
    File("a.aaaaaaaaaaaaaaaaa");
    File("b.aaaaaaaaaaaaaaaaZ");
    File("c.aaaaaaaaaaaaaaaa");
    EXPECT_EQ(Sorted(kSortExtension),
              (Names{"c.aaaaaaaaaaaaaaaa", "b.aaaaaaaaaaaaaaaaZ", "a.aaaaaaaaaaaaaaaaa"}));
}

TEST_F(SortTest, NameSortsFoldersAmongThemselves) {
    File("a");
    Folder("Beta");
    Folder("alpha");
    EXPECT_EQ(Sorted(kSortName), (Names{"alpha", "Beta", "a"}));
    EXPECT_EQ(progress.Count("stepit"), 1);
}

TEST_F(SortTest, ExtensionStartsAtTheFirstDotAndIsCaseSensitive) {
    Folder("m.zip");
    Folder("k.abc");
    File("x.txt");
    File("y");
    File("z.TXT");
    File("w.doc");
    File("notes.txt");
    File("archive.tar.gz");
    EXPECT_EQ(Sorted(kSortExtension), (Names{"m.zip", "k.abc", "z.TXT", "w.doc", "archive.tar.gz",
                                             "x.txt", "notes.txt", "y"}));
}

TEST_F(SortTest, ExtensionDescendingKeepsFolderOrderAndTies) {
    Folder("a.b");
    Folder("c.a");
    File("one.txt");
    File("two.doc");
    File("three.txt");
    EXPECT_EQ(Sorted(kSortExtension, true),
              (Names{"a.b", "c.a", "one.txt", "three.txt", "two.doc"}));
}

TEST_F(SortTest, SizeDescendingKeepsFoldersBeforeLargerFiles) {
    Folder("small", 1000000);
    Folder("big", 10000000);
    File("huge", 5000000000ULL);
    File("same1", 7);
    File("same2", 7);
    File("four-gib-and-one", 4294967297ULL); // not compared on its low 32 bits
    EXPECT_EQ(Sorted(kSortSize, true),
              (Names{"big", "small", "huge", "four-gib-and-one", "same1", "same2"}));
}

TEST_F(SortTest, SizeAscendingKeepsTies) {
    File("same1", 7);
    File("big", 4294967297ULL);
    File("same2", 7);
    File("zero", 0);
    EXPECT_EQ(Sorted(kSortSize), (Names{"zero", "same1", "same2", "big"}));
}

TEST_F(SortTest, AttributeComparesSignedWholeNumbers) {
    Found("normal", false, 0, 0x80);
    Found("readonly", false, 0, kAttrReadOnly);
    Found("plain", false);
    Found("high-bit", false, 0, 0x80000000u);
    EXPECT_EQ(Sorted(kSortAttribute), (Names{"high-bit", "plain", "readonly", "normal"}));
}

TEST_F(SortTest, AttributeOrdersFoldersToo) {
    Found("hidden", true, 0, kAttrHidden);
    Found("plain", true);
    EXPECT_EQ(Sorted(kSortAttribute, true), (Names{"hidden", "plain"}));
}

TEST_F(SortTest, TimeIsComparedToTheSecond) {
    const std::int64_t t = 1796663109;
    Found("later", false, 0, 0, FileTimeFromUnix(t + 1));
    Found("same-a", false, 0, 0, FileTimeFromUnix(t, 900000000));
    Found("same-b", false, 0, 0, FileTimeFromUnix(t, 100));
    Found("earlier", false, 0, 0, FileTimeFromUnix(t - 60));
    Found("old-folder", true, 0, 0, FileTimeFromUnix(t - 86400));
    Found("new-folder", true, 0, 0, FileTimeFromUnix(t));
    EXPECT_EQ(Sorted(kSortTime),
              (Names{"old-folder", "new-folder", "earlier", "same-a", "same-b", "later"}));
}

TEST_F(SortTest, TimeDescendingKeepsTies) {
    const std::int64_t t = 1796663109;
    Found("same-a", false, 0, 0, FileTimeFromUnix(t, 5));
    Found("later", false, 0, 0, FileTimeFromUnix(t + 1));
    Found("same-b", false, 0, 0, FileTimeFromUnix(t, 999999999));
    EXPECT_EQ(Sorted(kSortTime, true), (Names{"later", "same-a", "same-b"}));
}

TEST_F(SortTest, TimeComparesLocalClockReadings) {
    // Summer time ends at 01:00 UTC on 2026-10-25 in this zone: 00:45 UTC reads 02:45, while
    // the later moment 01:15 UTC reads 02:15, and 00:30 and 01:30 UTC both read 02:30.
    ScopedTimeZone zone("CET-1CEST,M3.5.0,M10.5.0/3");
    const std::int64_t midnight = 1792886400; // 2026-10-25 00:00:00 UTC
    Found("reads-02:45", false, 0, 0, FileTimeFromUnix(midnight + 45 * 60));
    Found("reads-02:30-summer", false, 0, 0, FileTimeFromUnix(midnight + 30 * 60));
    Found("reads-02:15", false, 0, 0, FileTimeFromUnix(midnight + 75 * 60));
    Found("reads-02:30-winter", false, 0, 0, FileTimeFromUnix(midnight + 90 * 60));
    EXPECT_EQ(Sorted(kSortTime),
              (Names{"reads-02:15", "reads-02:30-summer", "reads-02:30-winter", "reads-02:45"}));
}

TEST_F(SortTest, UpperCaseChangesNamesButNeverShortNames) {
    options.m_bUpperCase = 1;
    File("r\xC3\xA9sum\xC3\xA9 of the long year.txt");
    Folder("photos");
    EXPECT_EQ(Sorted(kSortUnsorted),
              (Names{"PHOTOS", "R\xC3\x89SUM\xC3\x89 OF THE LONG YEAR.TXT"}));
    EXPECT_EQ(doc.m_entryList[0]->m_strShortName, "photos");
    EXPECT_EQ(doc.m_entryList[1]->m_strShortName, "r\xC3\xA9sum\xC3\xA9 of t");
}

TEST_F(SortTest, UpperCaseComesBeforeTheComparison) {
    options.m_bUpperCase = 1;
    File("b.txt");
    File("a.TXT");
    File("c.doc");
    EXPECT_EQ(Sorted(kSortExtension), (Names{"C.DOC", "B.TXT", "A.TXT"}));
}

TEST_F(SortTest, ProgressNoteStepsOncePerFile) {
    Folder("d1");
    Folder("d2");
    File("f1");
    File("f2");
    File("f3");
    Sorted(kSortName);
    EXPECT_EQ(progress.calls,
              (Names{"remove", "begin", "range:0-5", "step:5", "step:1", "text:Sorting......",
                     "wait", "stepit", "stepit", "stepit", "endwait", "remove"}));
}

TEST_F(SortTest, FoldersOnlyNeverStepTheBar) {
    Folder("b");
    Folder("a");
    EXPECT_EQ(Sorted(kSortName), (Names{"a", "b"}));
    EXPECT_EQ(progress.Count("stepit"), 0);
}

TEST_F(SortTest, UnsortedNeverStepsTheBarButUnknownKeysDo) {
    File("a");
    File("b");
    Sorted(kSortUnsorted);
    EXPECT_EQ(progress.Count("stepit"), 0);

    File("c");
    Folder("d");
    doc.m_entryList.clear();
    progress.calls.clear();
    Sorted(7);
    EXPECT_EQ(progress.Count("stepit"), 1);
}

TEST_F(SortTest, EmptyListShowsAndRemovesTheNote) {
    EXPECT_TRUE(Sorted(kSortSize).empty());
    EXPECT_EQ(progress.calls, (Names{"remove", "begin", "range:0-0", "step:0", "step:1",
                                     "text:Sorting......", "wait", "endwait", "remove"}));
}

TEST_F(SortTest, RangeHoldsTheFullCountBeyondSixteenBits) {
    for (int i = 0; i < 70000; ++i)
        File(std::string("f").append(std::to_string(69999 - i)), static_cast<std::uint64_t>(i % 3));
    Folder("d");
    const Names names = Sorted(kSortSize);
    ASSERT_EQ(names.size(), 70001u);
    EXPECT_EQ(progress.calls[2], "range:0-70001");
    EXPECT_EQ(progress.Count("stepit"), 70000);
    // Equal sizes keep their order: the first three files of size 0 come from i = 0, 3, 6.
    EXPECT_EQ((Names{names[1], names[2], names[3]}), (Names{"f69999", "f69996", "f69993"}));
}

TEST_F(SortTest, WithoutOptionsNothingHappensButRemovingTheBar) {
    doc.SetOptions(nullptr);
    options.m_bUpperCase = 1;
    File("a");
    Folder("b");
    doc.SortEntries(false, kSortName);
    EXPECT_EQ(progress.calls, (Names{"remove"}));
    ASSERT_EQ(doc.m_scanList.size(), 2u);
    EXPECT_EQ(doc.m_scanList.back()->m_strName, "a");
    EXPECT_TRUE(doc.m_entryList.empty());
}

} // namespace
