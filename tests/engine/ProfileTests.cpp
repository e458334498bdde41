#include "engine/Profile.h"
#include "tests/support/Golden.h"
#include "tests/support/ReadAll.h"
#include "tests/support/ScopedVariable.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <functional>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <fcntl.h>
#include <unistd.h>

namespace {

// Every setting away from its default.
ListingOptions ChangedOptions() {
    ListingOptions o;
    o.m_nPrintAs = kPrintToFile;
    o.m_bAddSize = 0;
    o.m_bAddDate = 1;
    o.m_bAddAttribute = 1;
    o.m_bAddComments = 1;
    o.m_bPrintSummary = 0;
    o.m_bPrintTitle = 0;
    o.m_bTwoColumn = 1;
    o.m_bDelimited = 1;
    o.m_nSortBy = kSortTime;
    o.m_bDescend = 1;
    o.m_nFilesAndFolders = kFilesOnly;
    o.m_bNumberStdLines = 0;
    o.m_bNumberCDLines = 1;
    o.m_bNumberFileLines = 0;
    o.m_strFontName = "Times New Roman";
    o.m_bNoGrid = 1;
    o.m_bSizeInBytes = 1;
    o.m_bAutoRefresh = 1;
    o.m_bUpperCase = 1;
    return o;
}

// The options of a profile that is expected to be readable.
ListingOptions Loaded(const std::string& path) {
    ListingOptions options;
    std::string error;
    EXPECT_TRUE(LoadListingOptions(path, options, error)) << error;
    return options;
}

class ProfileTest : public ::testing::Test {
protected:
    std::string Path() const { return (dir.path() / "catalogrium3.ini").string(); }
    ListingOptions LoadText(const std::string& text) {
        dir.WriteFile("catalogrium3.ini", text);
        return Loaded(Path());
    }

    TempDir dir;
    std::string error;
};

// ---- defaults and the keys that are only written -----------------------------------------

// The first-run values themselves are those the new profile's golden file holds.
TEST_F(ProfileTest, NoProfileGivesTheFirstRunSettings) {
    EXPECT_EQ(Loaded(Path()), ListingOptions{});
}

TEST_F(ProfileTest, SizeAndAttributesKeysAreNeverRead) {
    ListingOptions o = LoadText("[Options]\nSize=0\nAttributes=1\n");
    EXPECT_EQ(o.m_bAddSize, 1);
    EXPECT_EQ(o.m_bAddAttribute, 0);

    o = LoadText("[Options]\nSize=1\nAdd Size=0\nAttributes=0\nAdd Attribute=1\n");
    EXPECT_EQ(o.m_bAddSize, 0);
    EXPECT_EQ(o.m_bAddAttribute, 1);
}

TEST_F(ProfileTest, SizeAndAttributesRepeatTheirColumnsOnSave) {
    ListingOptions o;
    o.m_bAddSize = 0;
    o.m_bAddAttribute = 1;
    ASSERT_TRUE(SaveListingOptions(Path(), o, error));
    std::string text = ReadAll(Path());
    EXPECT_NE(text.find("\nSize=0\n"), std::string::npos);
    EXPECT_NE(text.find("\nAdd Size=0\n"), std::string::npos);
    EXPECT_NE(text.find("\nAttributes=1\n"), std::string::npos);
    EXPECT_NE(text.find("\nAdd Attribute=1\n"), std::string::npos);
}

TEST_F(ProfileTest, LayoutKeyKeepsItsTrailingBlank) {
    EXPECT_EQ(LoadText("[Options]\nPrint as=0\n").m_nPrintAs, kPrintCD);
    EXPECT_EQ(LoadText("[Options]\nPrint as =0\n").m_nPrintAs, kPrintStandard);

    ListingOptions o;
    o.m_nPrintAs = kPrintZip;
    ASSERT_TRUE(SaveListingOptions(Path(), o, error));
    std::string text = ReadAll(Path());
    EXPECT_NE(text.find("\nPrint as =3\n"), std::string::npos);
    EXPECT_EQ(text.find("Print as="), std::string::npos);
}

// ---- saving ------------------------------------------------------------------------------

// Every key with its first-run value, in the order of a save.
TEST_F(ProfileTest, NewProfileHoldsEveryKeyInSaveOrder) {
    ASSERT_TRUE(SaveListingOptions(Path(), ListingOptions{}, error));
    EXPECT_TRUE(MatchesGolden(std::string(GOLDEN_DIR) + "/new-profile.ini", ReadAll(Path())));
}

TEST_F(ProfileTest, RoundTripKeepsEverySetting) {
    ListingOptions saved = ChangedOptions();
    ASSERT_TRUE(SaveListingOptions(Path(), saved, error));
    EXPECT_EQ(Loaded(Path()), saved);
}

TEST_F(ProfileTest, StoredValuesAreTakenWithoutRangeChecks) {
    ListingOptions o;
    o.m_nPrintAs = 7;
    o.m_nSortBy = -3;
    o.m_bUpperCase = 2147483647;
    o.m_strFontName = "";
    ASSERT_TRUE(SaveListingOptions(Path(), o, error));
    EXPECT_EQ(Loaded(Path()), o);
}

TEST_F(ProfileTest, SaveKeepsOtherSectionsUnknownKeysAndComments) {
    dir.WriteFile("catalogrium3.ini", "; written by hand\n"
                                      "[Window]\n"
                                      "Summary=left alone\n"
                                      "\n"
                                      "[Options]\n"
                                      "Sort by=4\n"
                                      "Favourite=blue\n"
                                      "Summary=0\n"
                                      "\n"
                                      "[Later]\n"
                                      "x=1");
    ListingOptions o;
    o.m_nSortBy = kSortName;
    ASSERT_TRUE(SaveListingOptions(Path(), o, error));
    std::string text = ReadAll(Path());

    EXPECT_EQ(text.rfind("; written by hand\n[Window]\nSummary=left alone\n\n[Options]\n"
                         "Sort by=2\nFavourite=blue\nSummary=1\nSize=1\n",
                         0),
              0u)
        << text;
    EXPECT_NE(text.find("Delimited=0\n\n[Later]\nx=1\n"), std::string::npos) << text;
    EXPECT_EQ(Loaded(Path()), o);
}

TEST_F(ProfileTest, SaveAppendsTheSectionToAFileWithoutOne) {
    dir.WriteFile("catalogrium3.ini", "[Other]\nkey=value\n");
    ASSERT_TRUE(SaveListingOptions(Path(), ChangedOptions(), error));
    EXPECT_EQ(ReadAll(Path()).rfind("[Other]\nkey=value\n\n[Options]\nSize=0\n", 0), 0u);
    EXPECT_EQ(Loaded(Path()), ChangedOptions());
}

TEST_F(ProfileTest, SaveCreatesMissingFolders) {
    std::string path = (dir.path() / "a" / "b" / "catalogrium3.ini").string();
    ASSERT_TRUE(SaveListingOptions(path, ChangedOptions(), error));
    EXPECT_EQ(Loaded(path), ChangedOptions());
}

TEST_F(ProfileTest, SaveThroughALinkReplacesItsTarget) {
    dir.WriteFile("real.ini", "[Options]\nSummary=0\n");
    std::filesystem::create_symlink(dir.path() / "real.ini", Path());
    ASSERT_TRUE(SaveListingOptions(Path(), ChangedOptions(), error));
    EXPECT_TRUE(std::filesystem::is_symlink(Path()));
    EXPECT_EQ(Loaded((dir.path() / "real.ini").string()), ChangedOptions());
}

// The link stays a link also when its target is not there yet, and a relative target is
// taken from the link's folder.
TEST_F(ProfileTest, SaveThroughALinkToAMissingFileCreatesItsTarget) {
    dir.MakeDir("real");
    const struct {
        std::string linkTo;
        std::string created;
    } cases[] = {
        {"real/new.ini", "real/new.ini"},
        {(dir.path() / "real/absolute.ini").string(), "real/absolute.ini"},
        {"second-link", "real/chained.ini"},
    };
    std::filesystem::create_symlink("real/chained.ini", dir.path() / "second-link");
    for (const auto& c : cases) {
        std::filesystem::remove(Path());
        std::filesystem::create_symlink(c.linkTo, Path());
        ASSERT_TRUE(SaveListingOptions(Path(), ChangedOptions(), error)) << error;
        EXPECT_TRUE(std::filesystem::is_symlink(Path())) << c.linkTo;
        EXPECT_EQ(Loaded((dir.path() / c.created).string()), ChangedOptions()) << c.linkTo;
    }
}

// A byte-order mark hides no setting; a save keeps it, the one [Options] section and the
// file's own line ends, on the lines it changes and on those it adds.
TEST_F(ProfileTest, ByteOrderMarkAndLineEndsAreKept) {
    const std::string bom = "\xEF\xBB\xBF";
    for (const std::string end : {"\n", "\r\n"}) {
        const std::string text =
            bom + "; kept" + end + "[Options]" + end + "Sort by=4" + end + "Favourite=blue" + end;
        EXPECT_EQ(LoadText(text).m_nSortBy, kSortExtension);
        ListingOptions o;
        o.m_nSortBy = kSortName;
        ASSERT_TRUE(SaveListingOptions(Path(), o, error)) << error;
        const std::string saved = ReadAll(Path());
        EXPECT_EQ(saved.rfind(bom + "; kept" + end + "[Options]" + end + "Sort by=2" + end +
                                  "Favourite=blue" + end + "Size=1" + end,
                              0),
                  0u)
            << saved;
        EXPECT_EQ(saved.find("[Options]"), saved.rfind("[Options]"));
        EXPECT_EQ(std::count(saved.begin(), saved.end(), '\r'),
                  end == "\r\n" ? std::count(saved.begin(), saved.end(), '\n') : 0);
        EXPECT_EQ(Loaded(Path()), o);
    }
}

// What a save writes can always be read back: a profile that would pass the read limit of
// 1 MiB is refused with a message, and the file stays as it was.
TEST_F(ProfileTest, SaveNeverWritesMoreThanCanBeReadBack) {
    ASSERT_TRUE(SaveListingOptions(Path(), ListingOptions{}, error)) << error;
    const std::size_t keys = ReadAll(Path()).size() - std::string("[Options]\n").size();
    const std::size_t limit = 1 << 20;
    for (const std::size_t excess : {0u, 1u}) {
        const std::size_t room = limit + excess - keys - std::string("[Options]\n").size();
        const std::string old = ";" + std::string(room - 2, 'x') + "\n[Options]\n";
        dir.WriteFile("catalogrium3.ini", old);
        error.clear();
        const bool saved = SaveListingOptions(Path(), ListingOptions{}, error);
        EXPECT_EQ(saved, excess == 0);
        if (saved) {
            EXPECT_EQ(ReadAll(Path()).size(), limit);
            EXPECT_EQ(error, "");
        } else {
            EXPECT_EQ(ReadAll(Path()), old);
            EXPECT_EQ(error, "The settings were not saved: " + Path() +
                                 " would grow larger than 1 MiB, too large to be read back.");
        }
        EXPECT_EQ(NamesIn(dir.path()),
                  (std::vector<std::string>{"catalogrium3.ini", "catalogrium3.ini.lock"}));
    }
}

TEST_F(ProfileTest, FontNameWithALineBreakCannotAddKeys) {
    ListingOptions o;
    o.m_strFontName = "Arial\nSummary=0";
    ASSERT_TRUE(SaveListingOptions(Path(), o, error));
    ListingOptions loaded = Loaded(Path());
    EXPECT_EQ(loaded.m_strFontName, "Arial");
    EXPECT_EQ(loaded.m_bPrintSummary, 1);
}

TEST_F(ProfileTest, SaveOntoAFolderFails) {
    dir.MakeDir("catalogrium3.ini");
    EXPECT_FALSE(SaveListingOptions(Path(), ChangedOptions(), error));
    EXPECT_TRUE(std::filesystem::is_directory(Path()));
}

TEST_F(ProfileTest, SaveBelowAFileFails) {
    dir.WriteFile("plain", "x");
    EXPECT_FALSE(
        SaveListingOptions((dir.path() / "plain" / "p.ini").string(), ListingOptions{}, error));
}

// A write that runs out of room (the file size limit stands in for a full disk) leaves the
// previous profile whole and no temporary file behind.
TEST_F(ProfileTest, FailedWriteLeavesTheOldFile) {
    const std::string old = "[Options]\nSummary=0\n";
    dir.WriteFile("catalogrium3.ini", old);
    ListingOptions o;
    o.m_strFontName = std::string(64 * 1024, 'F');

    auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit previous{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &previous), 0);
    rlimit small = previous;
    small.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    bool saved = SaveListingOptions(Path(), o, error);
    setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, previousHandler);

    EXPECT_FALSE(saved);
    EXPECT_EQ(ReadAll(Path()), old);
    EXPECT_EQ(NamesIn(dir.path()),
              (std::vector<std::string>{"catalogrium3.ini", "catalogrium3.ini.lock"}));
}

// A save waits while another one (here the test, holding the lock) reads and replaces the
// profile, and then writes its own settings over the other's.
TEST_F(ProfileTest, SaveWaitsForTheSaveThatHoldsTheLock) {
    ASSERT_TRUE(SaveListingOptions(Path(), ListingOptions{}, error)) << error;
    const int lock = ::open((Path() + ".lock").c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(lock, 0);
    ASSERT_EQ(::flock(lock, LOCK_EX), 0);
    const std::string before = ReadAll(Path());

    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(lock); // the test's copy of the lock stays with the test
        ::_exit(SaveListingOptions(Path(), ChangedOptions(), error) ? 0 : 1);
    }
    // However long the child runs, it cannot write while the lock is held.
    ::usleep(300 * 1000);
    EXPECT_EQ(::waitpid(child, nullptr, WNOHANG), 0);
    EXPECT_EQ(ReadAll(Path()), before);

    ::close(lock);
    int status = -1;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(Loaded(Path()), ChangedOptions());
}

TEST_F(ProfileTest, TooLargeProfileIsNeitherReadNorReplaced) {
    std::string huge = "[Options]\nSummary=0\n" + std::string(2 << 20, '#');
    dir.WriteFile("catalogrium3.ini", huge);
    EXPECT_FALSE(SaveListingOptions(Path(), ChangedOptions(), error));
    EXPECT_EQ(error,
              "The settings were not saved: " + Path() + " is not a profile that can be read.");
    EXPECT_EQ(ReadAll(Path()).size(), huge.size());
}

// ---- files that are not clean profiles ---------------------------------------------------

TEST_F(ProfileTest, KeysOutsideTheOptionsSectionAreIgnored) {
    EXPECT_EQ(LoadText("Summary=0\nSort by=2\n"), ListingOptions{});
    EXPECT_EQ(LoadText("[Other]\nSummary=0\n[Options]\nSort by=2\n").m_bPrintSummary, 1);
}

TEST_F(ProfileTest, BadLinesAndValuesLeaveTheirDefaults) {
    ListingOptions o = LoadText("[Options]\n"
                                "garbage without equals\n"
                                "=5\n"
                                "Summary=off\n"
                                "Sort by=3x\n"
                                "Descend=\n"
                                "Files and Folders=99999999999\n"
                                " Add Date=1\n"
                                "Add Comments = 1 \r\n"
                                "Delimited=1\n");
    EXPECT_EQ(o.m_bPrintSummary, 1);
    EXPECT_EQ(o.m_nSortBy, kSortUnsorted);
    EXPECT_EQ(o.m_bDescend, 0);
    EXPECT_EQ(o.m_nFilesAndFolders, kFilesAndFolders);
    EXPECT_EQ(o.m_bAddDate, 0);
    EXPECT_EQ(o.m_bAddComments, 0); // "Add Comments " is not a key
    EXPECT_EQ(o.m_bDelimited, 1);
}

TEST_F(ProfileTest, ValuesMayBeSurroundedByBlanksAndEndInCarriageReturn) {
    ListingOptions o =
        LoadText("[Options]\r\nSort by= 5 \r\nDescend=+1\r\ncurrent Font= Courier New \t\r\n");
    EXPECT_EQ(o.m_nSortBy, kSortTime);
    EXPECT_EQ(o.m_bDescend, 1);
    EXPECT_EQ(o.m_strFontName, "Courier New");
}

TEST_F(ProfileTest, FirstLineOfAKeyCounts) {
    EXPECT_EQ(LoadText("[Options]\nSort by=2\nSort by=3\n").m_nSortBy, kSortName);
    EXPECT_EQ(LoadText("[Options]\nSort by=bad\nSort by=3\n").m_nSortBy, kSortUnsorted);
}

TEST_F(ProfileTest, BinaryFileGivesDefaults) {
    std::string bytes;
    for (int i = 0; i < 4096; ++i)
        bytes += static_cast<char>((i * 7919) % 256);
    EXPECT_EQ(LoadText(bytes), ListingOptions{});
}

TEST_F(ProfileTest, NulBytesSpoilOnlyTheirOwnLine) {
    std::string text = "[Options]\nSummary=0";
    text += std::string(1, '\0') + "7\ncurrent Font=Ar";
    text += std::string(1, '\0') + "ial\nSort by=2\n";
    ListingOptions o = LoadText(text);
    EXPECT_EQ(o.m_bPrintSummary, 1);
    EXPECT_EQ(o.m_strFontName, "Arial");
    EXPECT_EQ(o.m_nSortBy, kSortName);
}

// A folder, or a file over 1 MiB, gives the defaults and says why.
TEST_F(ProfileTest, UnreadableProfileGivesTheDefaultsWithAMessage) {
    const std::vector<std::function<void()>> makers{
        [this] { dir.MakeDir("catalogrium3.ini"); },
        [this] {
            dir.WriteFile("catalogrium3.ini", "[Options]\nSummary=0\n" + std::string(2 << 20, '#'));
        },
    };
    for (const auto& make : makers) {
        std::filesystem::remove_all(Path());
        make();
        ListingOptions o = ChangedOptions();
        error.clear();
        EXPECT_FALSE(LoadListingOptions(Path(), o, error));
        EXPECT_EQ(o, ListingOptions{});
        EXPECT_EQ(error, "The settings were not read: " + Path() +
                             " is not a profile that can be read; the defaults are used.");
    }
}

// ---- single settings and the default location ------------------------------------------

TEST(ApplyProfileSetting, SetsTheFieldOfAKnownKey) {
    ListingOptions o;
    EXPECT_TRUE(ApplyProfileSetting(o, "Print as ", "1"));
    EXPECT_TRUE(ApplyProfileSetting(o, "current Font", " Liberation Sans \t"));
    EXPECT_EQ(o.m_nPrintAs, kPrintToFile);
    EXPECT_EQ(o.m_strFontName, "Liberation Sans");
}

TEST(ApplyProfileSetting, RefusesUnknownKeysAndBadValues) {
    ListingOptions o;
    EXPECT_FALSE(ApplyProfileSetting(o, "Print as", "1"));
    EXPECT_FALSE(ApplyProfileSetting(o, "summary", "0"));
    EXPECT_FALSE(ApplyProfileSetting(o, "Size", "0"));
    EXPECT_FALSE(ApplyProfileSetting(o, "Attributes", "1"));
    EXPECT_FALSE(ApplyProfileSetting(o, "Sort by", "two"));
    EXPECT_FALSE(ApplyProfileSetting(o, "Sort by", "4294967296"));
    EXPECT_FALSE(ApplyProfileSetting(o, "Sort by", "+-2"));
    EXPECT_FALSE(ApplyProfileSetting(o, "Sort by", "+"));
    EXPECT_FALSE(ApplyProfileSetting(o, "current Font", "Arial\nSummary=0"));
    EXPECT_EQ(o, ListingOptions{});
}

TEST(DefaultProfilePath, FollowsTheConfigFolder) {
    const ScopedVariable home("HOME", "/home/ann");
    const ScopedVariable config("XDG_CONFIG_HOME", "/cfg");
    EXPECT_EQ(DefaultProfilePath(), "/cfg/catalogrium3.ini");
    for (const char* ignored : {static_cast<const char*>(nullptr), "", "relative/cfg"}) {
        config.Set(ignored);
        EXPECT_EQ(DefaultProfilePath(), "/home/ann/.config/catalogrium3.ini")
            << "XDG_CONFIG_HOME=" << (ignored ? ignored : "(unset)");
    }
}

} // namespace
