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

// One entry as the scan finds it.
struct FoundEntry {
    std::string name;
    bool folder = false;
    std::uint64_t size = 0;
    std::uint32_t attributes = 0;
    FileTime time = 0;
};

FoundEntry FileOf(std::string name, std::uint64_t size = 0) {
    return {std::move(name), false, size};
}
FoundEntry FolderOf(std::string name, std::uint64_t size = 0) {
    return {std::move(name), true, size};
}
FoundEntry WithAttributes(std::string name, bool folder, std::uint32_t attributes) {
    return {std::move(name), folder, 0, attributes};
}
FoundEntry WrittenAt(std::string name, bool folder, std::int64_t seconds, long nanoseconds = 0) {
    return {std::move(name), folder, 0, 0, FileTimeFromUnix(seconds, nanoseconds)};
}

// A document with its own options, prompter and progress note, filled as the scan fills it.
struct SortedDoc {
    SortedDoc() { doc.SetOptions(&options); }

    // Adds an entry in search order as the scan does: folders at the head, files at the tail.
    CFolderEntry& Found(const FoundEntry& found) {
        auto entry = std::make_unique<CFolderEntry>();
        entry->m_strName = found.name;
        entry->m_strShortName = FirstChars(found.name, 11);
        entry->m_dwAttributes = found.attributes | (found.folder ? kAttrFolder : kAttrArchive);
        entry->m_nSize = found.size;
        entry->m_ftLastWrite = found.time;
        CFolderEntry& added = *entry;
        if (found.folder)
            doc.m_scanList.push_front(std::move(entry));
        else
            doc.m_scanList.push_back(std::move(entry));
        return added;
    }
    CFolderEntry& File(const std::string& name, std::uint64_t size = 0) {
        return Found(FileOf(name, size));
    }
    CFolderEntry& Folder(const std::string& name, std::uint64_t size = 0) {
        return Found(FolderOf(name, size));
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

class SortTest : public testing::Test, protected SortedDoc {};

// Entries found in this order, sorted by `key`: the names in the order of the listing.
struct OrderRow {
    const char* what;
    int key;
    bool descend;
    std::vector<FoundEntry> found;
    Names listed;
    bool upperCase = false;
};

constexpr std::int64_t kSecond = 1796663109;

TEST(SortEntries, EachKeyAndDirectionOrdersTheEntries) {
    const OrderRow rows[] = {
        {"unsorted puts folders first in search order, then files",
         kSortUnsorted,
         false,
         {FileOf("f1"), FolderOf("d1"), FileOf("f2"), FolderOf("d2"), FolderOf("d3")},
         {"d1", "d2", "d3", "f1", "f2"}},
        {"keys below one leave the search order",
         -3,
         false,
         {FileOf("b"), FileOf("a"), FolderOf("z")},
         {"z", "b", "a"}},
        {"keys above time order nothing",
         6,
         false,
         {FileOf("b", 2), FileOf("a", 1), FolderOf("y"), FolderOf("x")},
         {"y", "x", "b", "a"}},
        {"name folds only ASCII letters and keeps ties",
         kSortName,
         false,
         {FileOf("b.txt"), FileOf("A.txt"), FileOf("a.txt")},
         {"A.txt", "a.txt", "b.txt"}},
        {"name descending keeps ties",
         kSortName,
         true,
         {FileOf("A.txt"), FileOf("b.txt"), FileOf("a.txt")},
         {"b.txt", "A.txt", "a.txt"}},
        // "été" after every ASCII letter (bytes above 0x7F), "ÉTÉ" not folded to it.
        {"name compares bytes as unsigned, a prefix first",
         kSortName,
         false,
         {FileOf("\xC3\xA9t\xC3\xA9"), FileOf("Zeta"), FileOf("abc"), FileOf("_x"), FileOf("ab"),
          FileOf("\xC3\x89T\xC3\x89")},
         {"_x", "ab", "abc", "Zeta", "\xC3\x89T\xC3\x89", "\xC3\xA9t\xC3\xA9"}},
        {"long names are compared to their last byte",
         kSortName,
         false,
         {FileOf("IMG_20240101_1234b.jpg"), FileOf("img_20240101_1234A.jpg"),
          FileOf("IMG_20240101_1234"), FileOf("img_20240101_123"), FileOf("IMG_20240101_1234a.JPG"),
          FileOf("img_20240101_1234aaaaaZ")},
         {"img_20240101_123", "IMG_20240101_1234", "img_20240101_1234A.jpg",
          "IMG_20240101_1234a.JPG", "img_20240101_1234aaaaaZ", "IMG_20240101_1234b.jpg"}},
        {"name sorts folders among themselves",
         kSortName,
         false,
         {FileOf("a"), FolderOf("Beta"), FolderOf("alpha")},
         {"alpha", "Beta", "a"}},
        {"extension starts at the first dot and is case-sensitive",
         kSortExtension,
         false,
         {FolderOf("m.zip"), FolderOf("k.abc"), FileOf("x.txt"), FileOf("y"), FileOf("z.TXT"),
          FileOf("w.doc"), FileOf("notes.txt"), FileOf("archive.tar.gz")},
         {"m.zip", "k.abc", "z.TXT", "w.doc", "archive.tar.gz", "x.txt", "notes.txt", "y"}},
        {"long extensions are compared without folding",
         kSortExtension,
         false,
         {FileOf("a.aaaaaaaaaaaaaaaaa"), FileOf("b.aaaaaaaaaaaaaaaaZ"),
          FileOf("c.aaaaaaaaaaaaaaaa")},
         {"c.aaaaaaaaaaaaaaaa", "b.aaaaaaaaaaaaaaaaZ", "a.aaaaaaaaaaaaaaaaa"}},
        {"extension descending keeps the folders' order and ties",
         kSortExtension,
         true,
         {FolderOf("a.b"), FolderOf("c.a"), FileOf("one.txt"), FileOf("two.doc"),
          FileOf("three.txt")},
         {"a.b", "c.a", "one.txt", "three.txt", "two.doc"}},
        {"upper case comes before the comparison",
         kSortExtension,
         false,
         {FileOf("b.txt"), FileOf("a.TXT"), FileOf("c.doc")},
         {"C.DOC", "B.TXT", "A.TXT"},
         true},
        // Sizes are not compared on their low 32 bits.
        {"size descending keeps folders before larger files",
         kSortSize,
         true,
         {FolderOf("small", 1000000), FolderOf("big", 10000000), FileOf("huge", 5000000000ULL),
          FileOf("same1", 7), FileOf("same2", 7), FileOf("four-gib-and-one", 4294967297ULL)},
         {"big", "small", "huge", "four-gib-and-one", "same1", "same2"}},
        {"size ascending keeps ties",
         kSortSize,
         false,
         {FileOf("same1", 7), FileOf("big", 4294967297ULL), FileOf("same2", 7), FileOf("zero", 0)},
         {"zero", "same1", "same2", "big"}},
        {"attribute compares signed whole numbers",
         kSortAttribute,
         false,
         {WithAttributes("normal", false, 0x80), WithAttributes("readonly", false, kAttrReadOnly),
          WithAttributes("plain", false, 0), WithAttributes("high-bit", false, 0x80000000u)},
         {"high-bit", "plain", "readonly", "normal"}},
        {"attribute orders folders too",
         kSortAttribute,
         true,
         {WithAttributes("hidden", true, kAttrHidden), WithAttributes("plain", true, 0)},
         {"hidden", "plain"}},
        {"time is compared to the second",
         kSortTime,
         false,
         {WrittenAt("later", false, kSecond + 1), WrittenAt("same-a", false, kSecond, 900000000),
          WrittenAt("same-b", false, kSecond, 100), WrittenAt("earlier", false, kSecond - 60),
          WrittenAt("old-folder", true, kSecond - 86400), WrittenAt("new-folder", true, kSecond)},
         {"old-folder", "new-folder", "earlier", "same-a", "same-b", "later"}},
        {"time descending keeps ties",
         kSortTime,
         true,
         {WrittenAt("same-a", false, kSecond, 5), WrittenAt("later", false, kSecond + 1),
          WrittenAt("same-b", false, kSecond, 999999999)},
         {"later", "same-a", "same-b"}},
    };
    for (const OrderRow& row : rows) {
        SCOPED_TRACE(row.what);
        SortedDoc sorted;
        sorted.options.m_bUpperCase = row.upperCase;
        for (const FoundEntry& found : row.found)
            sorted.Found(found);
        EXPECT_EQ(sorted.Sorted(row.key, row.descend), row.listed);
        EXPECT_TRUE(sorted.doc.m_scanList.empty());
        EXPECT_TRUE(sorted.prompter.messages.empty());
    }
}

TEST_F(SortTest, TimeComparesLocalClockReadings) {
    // Summer time ends at 01:00 UTC on 2026-10-25 in this zone: 00:45 UTC reads 02:45, while
    // the later moment 01:15 UTC reads 02:15, and 00:30 and 01:30 UTC both read 02:30.
    ScopedTimeZone zone("CET-1CEST,M3.5.0,M10.5.0/3");
    const std::int64_t midnight = 1792886400; // 2026-10-25 00:00:00 UTC
    File("reads-02:45").m_ftLastWrite = FileTimeFromUnix(midnight + 45 * 60);
    File("reads-02:30-summer").m_ftLastWrite = FileTimeFromUnix(midnight + 30 * 60);
    File("reads-02:15").m_ftLastWrite = FileTimeFromUnix(midnight + 75 * 60);
    File("reads-02:30-winter").m_ftLastWrite = FileTimeFromUnix(midnight + 90 * 60);
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
