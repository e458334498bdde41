#include "engine/CatalogriumDoc.h"

#include "tests/engine/ScopedTimeZone.h"
#include "tests/support/Golden.h"
#include "tests/support/ReadAll.h"
#include "tests/support/Recorders.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

const std::int64_t kNow = 1796663109; // 2026-12-07 17:05:09 UTC

std::string Blanks(std::size_t count) {
    return std::string(count, ' ');
}

const std::string kRule = std::string(97, '=') + "\r\n";
const std::string kColumns = Blanks(9) + "Name" + Blanks(43) + "Size" + Blanks(9) + "Attributes" +
                             Blanks(4) + "Last Modified\r\n";

CFolderEntry& AddEntry(CCatalogriumDoc& doc, const std::string& name, bool folder,
                       std::uint64_t size = 0, std::uint32_t attributes = 0,
                       std::int64_t seconds = kNow) {
    auto entry = std::make_unique<CFolderEntry>();
    entry->m_strName = name;
    entry->m_strShortName = name.substr(0, 11);
    entry->m_dwAttributes = attributes | (folder ? kAttrFolder : 0u);
    entry->m_nSize = size;
    entry->m_ftLastWrite = FileTimeFromUnix(seconds);
    doc.m_entryList.push_back(std::move(entry));
    return *doc.m_entryList.back();
}

// The listed folder and totals of the worked example, with its two entries.
void ReportAndPhotos(CCatalogriumDoc& doc) {
    doc.m_strListedFolder = "/data/archive";
    doc.m_nTotalSize = 734016512;
    doc.m_nSubFolders = 3;
    doc.m_nFiles = 12;
    AddEntry(doc, "report.doc", false, 13312, kAttrArchive, kNow);
    AddEntry(doc, "Photos", true, 734003200, 0, 1796031662).m_comments.m_strComment1 =
        "holiday 2026";
}

class ListingWriterTest : public testing::Test {
protected:
    ListingWriterTest() {
        doc.SetOptions(&options);
        doc.SetClock([] { return static_cast<std::time_t>(kNow); });
    }

    CFolderEntry& Add(const std::string& name, bool folder, std::uint64_t size = 0,
                      std::uint32_t attributes = 0) {
        return AddEntry(doc, name, folder, size, attributes);
    }

    std::string Written() const {
        std::ostringstream out;
        doc.Serialize(out);
        return out.str();
    }

    // The lines after the header block (which ends with the second rule).
    std::string EntryLines() const {
        const std::string text = Written();
        const std::size_t end = text.find(kRule + kColumns + kRule);
        EXPECT_NE(end, std::string::npos);
        return text.substr(end + 2 * kRule.size() + kColumns.size());
    }

    ScopedTimeZone utc{"UTC0"};
    RecordingPrompter prompter;
    RecordingProgressNote progress;
    ListingOptions options;
    CCatalogriumDoc doc{prompter, progress};
};

// ---- the whole file of each layout, against its golden file in tests/engine/golden/ ----

struct ListingLayout {
    const char* golden; // the file's name, without ".txt"
    void (*set)(ListingOptions&, CCatalogriumDoc&);
};

void PrintTo(const ListingLayout& layout, std::ostream* out) {
    *out << layout.golden;
}

void AllColumnsOn(ListingOptions& options) {
    options.m_bAddSize = 1;
    options.m_bAddAttribute = 1;
    options.m_bAddDate = 1;
    options.m_bNumberFileLines = 1;
}

// One entry in bytes, without line numbers, attributes or date.
void BytesWithoutNumbers(ListingOptions& options, CCatalogriumDoc& doc) {
    options.m_bNumberFileLines = 0;
    options.m_bSizeInBytes = 1;
    options.m_bAddAttribute = 0;
    options.m_bAddDate = 0;
    options.m_bAddSize = 1;
    AddEntry(doc, "notes.txt", false, 1234567, kAttrArchive);
}

const ListingLayout kListingLayouts[] = {
    {"empty", [](ListingOptions&, CCatalogriumDoc&) {}},
    {"all-columns",
     [](ListingOptions& options, CCatalogriumDoc& doc) {
         AllColumnsOn(options);
         ReportAndPhotos(doc);
     }},
    {"bytes-without-numbers", BytesWithoutNumbers},
    {"no-size",
     [](ListingOptions& options, CCatalogriumDoc& doc) {
         BytesWithoutNumbers(options, doc);
         options.m_bAddSize = 0;
     }},
    {"folders-only",
     [](ListingOptions& options, CCatalogriumDoc&) { options.m_nFilesAndFolders = kFoldersOnly; }},
    {"files-only",
     [](ListingOptions& options, CCatalogriumDoc&) { options.m_nFilesAndFolders = kFilesOnly; }},
    {"delimited-all-columns",
     [](ListingOptions& options, CCatalogriumDoc& doc) {
         AllColumnsOn(options);
         options.m_bDelimited = 1;
         options.m_bSizeInBytes = 0;
         ReportAndPhotos(doc);
     }},
    {"delimited-empty",
     [](ListingOptions& options, CCatalogriumDoc&) {
         options.m_bDelimited = 1;
         options.m_bNumberFileLines = 0;
         options.m_bAddSize = 0;
     }},
    {"delimited-some-columns",
     [](ListingOptions& options, CCatalogriumDoc& doc) {
         options.m_bDelimited = 1;
         options.m_bNumberFileLines = 0;
         options.m_bSizeInBytes = 1;
         options.m_bAddDate = 1;
         AddEntry(doc, "  padded\t", false, 5000000000ULL, kAttrArchive);
     }},
    // Names that would break a row are quoted; comments are never written.
    {"delimited-quoting",
     [](ListingOptions& options, CCatalogriumDoc& doc) {
         options.m_bDelimited = 1;
         options.m_bAddSize = 0;
         AddEntry(doc, "a,b", false);
         AddEntry(doc, "say \"hi\"", false);
         AddEntry(doc, "two\nlines", true).m_comments.m_strComment2 = "note";
         for (const char* name : {"cr\rhere", " x,y ", "tab\there;ok"})
             AddEntry(doc, name, false);
     }},
};

class ListingLayouts : public ListingWriterTest,
                       public testing::WithParamInterface<ListingLayout> {};

TEST_P(ListingLayouts, MatchGolden) {
    GetParam().set(options, doc);
    EXPECT_TRUE(
        MatchesGolden(std::string(GOLDEN_DIR) + "/" + GetParam().golden + ".txt", Written()));
}

INSTANTIATE_TEST_SUITE_P(Files, ListingLayouts, testing::ValuesIn(kListingLayouts),
                         [](const testing::TestParamInfo<ListingLayout>& param) {
                             std::string name = param.param.golden;
                             std::erase(name, '-');
                             return name;
                         });

// ---- the fixed-column file's edge cases ----

TEST_F(ListingWriterTest, NamesUpToTheLimitAreWrittenInFullCountedInCharacters) {
    const std::string e = "\xC3\xA9"; // two bytes, one character
    std::string name67;
    for (int i = 0; i < 67; ++i)
        name67 += e;
    Add(name67, false);
    Add(std::string(68, 'n'), false).m_strShortName = "SHORT~1.TXT";
    const std::string lines = EntryLines();
    EXPECT_NE(lines.find("     1.   " + name67 + "     \r\n"), std::string::npos); // 82 chars
    EXPECT_NE(lines.find("     2.   SHORT~1.TXT" + Blanks(59) + "\r\n"), std::string::npos);
}

TEST_F(ListingWriterTest, WithoutLineNumbersTheLimitIsSeventyTwo) {
    options.m_bNumberFileLines = 0;
    Add(std::string(72, 'a'), true);
    Add(std::string(73, 'b'), false).m_strShortName = "bbbbbbbbbbb";
    const std::string lines = EntryLines();
    EXPECT_EQ(lines.find(" [ " + std::string(72, 'a') + " ]   \r\n"), 0u); // 80 chars
    EXPECT_NE(lines.find("   bbbbbbbbbbb" + Blanks(66) + "\r\n"), std::string::npos);
}

TEST_F(ListingWriterTest, ControlCharactersInNamesShowAsQuestionMarks) {
    doc.m_strListedFolder = "/media/odd\nfolder";
    Add("two\r\nlines\x7F", false);
    const std::string text = Written();
    EXPECT_EQ(text.find("Catalogrium3: Listing of   </media/odd?folder> Created on: "), 0u);
    EXPECT_NE(text.find("     1.   two??lines?    "), std::string::npos);
    // Every line break of the file is a CR LF of its own.
    std::size_t lineBreaks = 0;
    for (std::size_t pos = text.find('\n'); pos != std::string::npos;
         pos = text.find('\n', pos + 1)) {
        EXPECT_EQ(text[pos - 1], '\r');
        ++lineBreaks;
    }
    EXPECT_EQ(lineBreaks, 11u + 2u + 1u); // header without banner, entry, final line
}

TEST_F(ListingWriterTest, ControlCharactersInCommentsShowAsQuestionMarks) {
    Add("x", false).m_comments.m_strComment2 = "one\rtwo\x0Bthree";
    EXPECT_NE(EntryLines().find("\r\n  *** comment:   one?two?three\r\n\r\n"), std::string::npos);
}

TEST_F(ListingWriterTest, LeadingBlankOfANameIsKept) {
    Add(" spaced", false);
    EXPECT_EQ(EntryLines().find("     1.    spaced    "), 0u);
}

TEST_F(ListingWriterTest, CommentLinesFollowTheDetailLineInOrder) {
    CFolderEntry& entry = Add("x", false);
    entry.m_comments.m_strComment1 = "first";
    entry.m_comments.m_strComment3 = "third";
    options.m_bAddComments = 0;
    const std::string lines = EntryLines();
    EXPECT_NE(lines.find("\r\n  *** comment:   first\r\n  *** comment:   third\r\n\r\n"),
              std::string::npos);
}

TEST_F(ListingWriterTest, SizesBeyondSeventeenCharactersAreNotCut) {
    options.m_bSizeInBytes = 1;
    Add("big", false, 1000000000000ULL);
    EXPECT_NE(EntryLines().find("\r\n" + Blanks(50) + "1,000,000,000,000 b ......  \r\n"),
              std::string::npos);
}

TEST_F(ListingWriterTest, NothingIsWrittenWithoutOptions) {
    Add("x", false);
    doc.SetOptions(nullptr);
    EXPECT_EQ(Written(), "");
}

// ---- the size text of the listing ----

TEST_F(ListingWriterTest, FormatSizeTurnsBytesModeOffForTwoColumnCaseInserts) {
    options.m_bSizeInBytes = 1;
    std::string out;
    const std::string bytes = Blanks(10) + "1,024 b";
    const std::string units = Blanks(11) + "1.0 Kb";
    for (int printAs : {kPrintStandard, kPrintToFile, kPrintCD, kPrintZip}) {
        options.m_nPrintAs = printAs;
        options.m_bTwoColumn = 0;
        doc.FormatSize(out, 1024, 26);
        EXPECT_EQ(out, bytes) << printAs;
        options.m_bTwoColumn = 1;
        doc.FormatSize(out, 1024, 26);
        EXPECT_EQ(out, options.IsCaseInsert() ? units : bytes) << printAs;
        EXPECT_EQ(options.m_bSizeInBytes, 1);
    }
}

TEST_F(ListingWriterTest, FormatSizeLeavesTheTextAloneWithoutOptions) {
    doc.SetOptions(nullptr);
    std::string out = "kept";
    doc.FormatSize(out, 1024, 26);
    EXPECT_EQ(out, "kept");
}

// ---- saving the listing file ----
// (A file replaced keeping its permissions, and a link to a file not there yet, are checked
// where the user saves: ctlgrm's OutputGoesIntoPipesDevicesAndLinkTargets.)

mode_t PermissionsOf(const fs::path& path) {
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0);
    return st.st_mode & 07777;
}

class SaveListingTest : public ListingWriterTest {
protected:
    SaveListingTest() { ReportAndPhotos(doc); }
    TempDir dir;
    std::string error;
};

TEST_F(SaveListingTest, WritesWhatSerializeWritesWithTheUmaskApplied) {
    const mode_t previous = ::umask(027);
    const fs::path target = dir.path() / "listing.txt";
    const bool saved = doc.SaveListingFile(target, error);
    ::umask(previous);
    ASSERT_TRUE(saved) << error;
    EXPECT_EQ(ReadAll(target), Written());
    EXPECT_EQ(PermissionsOf(target), 0640u);
    EXPECT_EQ(NamesIn(dir.path()), std::vector<std::string>{"listing.txt"});
}

TEST_F(SaveListingTest, SavingThroughALinkReplacesTheLinkedFile) {
    const fs::path real = dir.WriteFile("real.txt", "old");
    const fs::path link = dir.path() / "link.txt";
    fs::create_symlink(real, link);
    ASSERT_TRUE(doc.SaveListingFile(link, error)) << error;
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(ReadAll(real), Written());
}

TEST_F(SaveListingTest, DevicesAreWrittenInPlaceNotReplaced) {
    ASSERT_TRUE(doc.SaveListingFile("/dev/null", error)) << error;
    struct stat st {};
    ASSERT_EQ(::stat("/dev/null", &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));
}

TEST_F(SaveListingTest, FolderAsTargetIsReported) {
    EXPECT_FALSE(doc.SaveListingFile(dir.str(), error));
    EXPECT_EQ(error, dir.str() + " could not be written: Is a directory.");
}

TEST_F(SaveListingTest, ReadOnlyFileIsRefusedAndKept) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "root may write into any file";
    const fs::path target = dir.WriteFile("locked.txt", "previous listing");
    ::chmod(target.c_str(), 0444);
    EXPECT_FALSE(doc.SaveListingFile(target, error));
    EXPECT_EQ(error, "Access to " + target.string() + " was denied.");
    EXPECT_EQ(ReadAll(target), "previous listing");
}

TEST_F(SaveListingTest, MissingFolderIsReported) {
    const std::string target = dir.str() + "/no-such-folder/listing.txt";
    EXPECT_FALSE(doc.SaveListingFile(target, error));
    EXPECT_EQ(error, target + " could not be written: No such file or directory.");
    EXPECT_TRUE(NamesIn(dir.path()).empty());
}

TEST_F(SaveListingTest, FolderRefusingNewFilesIsReportedAsDenied) {
    // The kernel's attribute tree refuses new files even to root.
    EXPECT_FALSE(doc.SaveListingFile("/sys/catalogrium3-listing.txt", error));
    EXPECT_EQ(error, "Access to /sys/catalogrium3-listing.txt was denied.");
}

TEST_F(SaveListingTest, FailedWriteKeepsThePreviousFileAndLeavesNoTemporaryFile) {
    for (int i = 0; i < 200; ++i)
        Add("entry " + std::to_string(i), false);
    const fs::path target = dir.WriteFile("listing.txt", "previous listing");

    // Files may not grow beyond 4 KiB while the listing is written.
    struct rlimit previous {};
    ::getrlimit(RLIMIT_FSIZE, &previous);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = previous;
    small.rlim_cur = 4096;
    ::setrlimit(RLIMIT_FSIZE, &small);
    const bool saved = doc.SaveListingFile(target.string(), error);
    ::setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, previousHandler);

    EXPECT_FALSE(saved);
    EXPECT_EQ(error, target.string() + " could not be written: File too large.");
    EXPECT_EQ(ReadAll(target), "previous listing");
    EXPECT_EQ(NamesIn(dir.path()), std::vector<std::string>{"listing.txt"});
}

} // namespace
