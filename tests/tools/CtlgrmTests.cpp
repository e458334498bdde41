// Runs the built ctlgrm on generated folders and compares what it writes with what the
// engine writes for the same folder and settings.

#include "engine/CatalogriumDoc.h"
#include "engine/Profile.h"
#include "tests/support/FifoReader.h"
#include "tests/support/FileTimes.h"
#include "tests/support/ReadAll.h"
#include "tests/support/Recorders.h"
#include "tests/support/RunCommand.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>

namespace {

constexpr std::time_t kNow = 1796663109; // 12/07/26 17:05:09 UTC

// Changes to ctlgrm's environment: a value sets the variable, nothing removes it.
using Environment = std::map<std::string, std::optional<std::string>>;

// The test's own environment with SOURCE_DATE_EPOCH set and XDG_CONFIG_HOME in `scratch`, so
// that no profile of the user is ever read, and then `changes`.
std::vector<std::string> CtlgrmEnvironment(const TempDir& scratch, const Environment& changes) {
    Environment all{{"SOURCE_DATE_EPOCH", std::to_string(kNow)},
                    {"XDG_CONFIG_HOME", (scratch.path() / "config").string()}};
    for (const auto& [name, value] : changes)
        all[name] = value;
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        const std::string_view entry(*e);
        if (!all.contains(std::string(entry.substr(0, entry.find('=')))))
            env.emplace_back(entry);
    }
    for (const auto& [name, value] : all)
        if (value)
            env.push_back(name + "=" + *value);
    return env;
}

// Starts ctlgrm with `args`, its standard output going to `stdoutPath` and its standard error
// to `stderrPath`; the process id, or -1.
pid_t StartCtlgrm(const TempDir& scratch, const std::vector<std::string>& args,
                  const std::string& stdoutPath, const std::string& stderrPath,
                  const std::string& workingFolder = {}, const Environment& changes = {}) {
    std::vector<std::string> argv{CTLGRM_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    return SpawnWithOutputFiles(argv, CtlgrmEnvironment(scratch, changes), stdoutPath, stderrPath,
                                workingFolder);
}

// Runs ctlgrm with `args` to its end, its standard output going to `stdoutPath` (a file of
// `scratch` when empty).
FinishedCommand RunCtlgrm(const TempDir& scratch, const std::vector<std::string>& args,
                          const std::string& stdoutPath = {}, const std::string& workingFolder = {},
                          const Environment& changes = {}) {
    std::vector<std::string> argv{CTLGRM_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    return RunToEnd(scratch.path(), argv, CtlgrmEnvironment(scratch, changes), stdoutPath,
                    workingFolder);
}

// A folder with files of several sizes and times, folders with files below them, and names
// that sort differently by name, extension and case.
void FillFolder(TempDir& dir) {
    struct File {
        const char* name;
        std::size_t size;
        std::time_t time;
    };
    const File files[] = {
        {"b.txt", 13312, 1796662000}, {"A.doc", 1010, 1790000000},
        {"zeta", 0, 1795000000},      {"archive.tar.gz", 2500000, 1793000000},
        {"Photos/one.jpg", 700, 0},   {"Photos/deep/two.jpg", 900, 0},
        {"music/x.mp3", 5000, 0},
    };
    for (const auto& f : files) {
        auto p = dir.WriteFile(std::string("tree/") + f.name, std::string(f.size, 'x'));
        if (f.time)
            SetLastWrite(p, f.time);
    }
    SetLastWrite(dir.path() / "tree/Photos", 1780000000);
    SetLastWrite(dir.path() / "tree/music", 1781000000);
}

// What the engine writes for `folder` with `options` (and optional comments on one entry).
std::string EngineListing(std::string folder, ListingOptions options,
                          const std::string& commentedName = {}, const std::string& comment = {}) {
    RecordingPrompter prompter;
    RecordingProgressNote progress;
    CCatalogriumDoc doc(prompter, progress);
    doc.SetOptions(&options);
    doc.SetClock([] { return kNow; });
    EXPECT_TRUE(doc.ValidateFolderName(folder));
    EXPECT_TRUE(doc.ScanFolder(folder, options.m_nFilesAndFolders));
    doc.SortEntries(options.m_bDescend != 0, options.m_nSortBy);
    for (auto& entry : doc.m_entryList)
        if (entry->m_strName == commentedName)
            entry->m_comments.m_strComment1 = comment;
    std::ostringstream out;
    doc.Serialize(out);
    return out.str();
}

class CtlgrmTest : public ::testing::Test {
protected:
    void SetUp() override { FillFolder(dir); }
    std::string Folder() const { return (dir.path() / "tree").string(); }

    TempDir dir;
    TempDir scratch;
};

// ---- the listing written --------------------------------------------------------------

TEST_F(CtlgrmTest, WritesTheEngineListingToStandardOutput) {
    FinishedCommand r = RunCtlgrm(scratch, {Folder()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, EngineListing(Folder(), ListingOptions{}));
    EXPECT_NE(r.out.find("Catalogrium3: Listing of   <" + Folder() + "> Created on: 12/07/26"),
              std::string::npos);
}

TEST_F(CtlgrmTest, OutputFileHoldsTheSameBytes) {
    std::string file = (scratch.path() / "listing.txt").string();
    FinishedCommand r = RunCtlgrm(scratch, {"-o", file, Folder() + "//"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(ReadAll(file), EngineListing(Folder(), ListingOptions{}));
}

// Names too long for a listing line are written as their short names, one for each entry.
TEST_F(CtlgrmTest, NamesTooLongForTheLineAreWrittenAsDistinctShortNames) {
    const std::string stem = "entry_with_a_really_much_longer_name_than_any_listing_line_can_hold_";
    for (int i = 1; i <= 60; ++i)
        dir.WriteFile("long/" + stem + std::to_string(1000 + i) + ".dat", "");
    FinishedCommand r = RunCtlgrm(scratch, {"--sort", "name", (dir.path() / "long").string()});
    ASSERT_EQ(r.status, 0) << r.err;
    std::istringstream listing(r.out);
    std::vector<std::string> shown;
    for (std::string line; std::getline(listing, line);)
        if (const std::size_t at = line.find("entry"); at != std::string::npos)
            shown.push_back(line.substr(at, line.find_first_of(" \r", at) - at));
    ASSERT_EQ(shown.size(), 60u) << r.out;
    EXPECT_EQ(shown.front(), "entry_~1.dat");
    EXPECT_EQ(shown[9], "entry~10.dat");
    EXPECT_EQ(shown.back(), "entry~60.dat");
    EXPECT_EQ(std::set<std::string>(shown.begin(), shown.end()).size(), 60u);
}

// ".." is the kernel's: through a link it leads to the parent of the link's target.
TEST_F(CtlgrmTest, RelativeFolderIsTakenFromTheCurrentFolder) {
    dir.WriteFile("elsewhere/marker.txt", "m");
    dir.MakeDir("elsewhere/inner");
    std::filesystem::create_symlink(dir.path() / "elsewhere/inner", dir.path() / "L");
    const struct {
        std::string argument;
        std::string listed; // the folder that the engine lists alike
        std::string holds;  // a name in that folder
    } cases[] = {
        {"./tree/", Folder(), "archive.tar.gz"},
        {"tree//./music", Folder() + "/music", "x.mp3"},
        {"L/..", dir.str() + "/L/..", "marker.txt"},
        {"./L/../inner", dir.str() + "/L/../inner", ""},
    };
    for (const auto& c : cases) {
        FinishedCommand r = RunCtlgrm(scratch, {c.argument}, {}, dir.str());
        ASSERT_EQ(r.status, 0) << c.argument << ": " << r.err;
        EXPECT_EQ(r.out, EngineListing(c.listed, ListingOptions{})) << c.argument;
        EXPECT_NE(r.out.find(c.holds), std::string::npos) << c.argument;
    }
}

TEST_F(CtlgrmTest, ReadsTheGivenProfileAndNeverWritesOne) {
    ListingOptions stored;
    stored.m_bDelimited = 1;
    stored.m_bAddDate = 1;
    stored.m_bAddAttribute = 1;
    stored.m_nSortBy = kSortTime;
    std::string profile = (scratch.path() / "p.ini").string();
    std::string error;
    ASSERT_TRUE(SaveListingOptions(profile, stored, error)) << error;
    std::string before = ReadAll(profile);

    FinishedCommand r = RunCtlgrm(scratch, {"--profile", profile, Folder()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, EngineListing(Folder(), stored));
    EXPECT_EQ(r.out.rfind("Number,Type,Name,Size(bytes),Attributes,Last Modified\r\n", 0), 0u);
    EXPECT_EQ(ReadAll(profile), before);
    EXPECT_FALSE(std::filesystem::exists(scratch.path() / "config"));
}

TEST_F(CtlgrmTest, UnreadableProfileIsReportedAndTheDefaultsAreUsed) {
    const std::string profile = (scratch.path() / "folder.ini").string();
    std::filesystem::create_directory(profile);
    FinishedCommand r = RunCtlgrm(scratch, {"--profile", profile, Folder()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "ctlgrm: The settings were not read: " + profile +
                         " is not a profile that can be read; the defaults are used.\n");
    EXPECT_EQ(r.out, EngineListing(Folder(), ListingOptions{}));
}

TEST_F(CtlgrmTest, DefaultProfileComesFromTheConfigFolder) {
    ListingOptions stored;
    stored.m_bNumberFileLines = 0;
    std::string error;
    ASSERT_TRUE(
        SaveListingOptions((scratch.path() / "config/catalogrium3.ini").string(), stored, error))
        << error;
    FinishedCommand r = RunCtlgrm(scratch, {Folder()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, EngineListing(Folder(), stored));
}

TEST_F(CtlgrmTest, SettingOptionsChangeTheListing) {
    ListingOptions expected;
    expected.m_nSortBy = kSortSize;
    expected.m_bDescend = 1;
    expected.m_nFilesAndFolders = kFilesOnly;
    expected.m_bUpperCase = 1;
    expected.m_bAddDate = 1;
    FinishedCommand r = RunCtlgrm(scratch, {"--sort", "size", "--descend", "--entries=files",
                                            "--uppercase", "--set", "Add Date=1", Folder()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, EngineListing(Folder(), expected));
    EXPECT_NE(r.out.find("******OUTPUT FILES ONLY********"), std::string::npos);
    EXPECT_LT(r.out.find("ARCHIVE.TAR.GZ"), r.out.find("B.TXT"));
}

TEST_F(CtlgrmTest, LaterSettingsWinOverEarlierOnes) {
    ListingOptions expected;
    expected.m_nSortBy = kSortExtension;
    FinishedCommand r = RunCtlgrm(scratch, {"--sort", "name", "--set", "Sort by=4", Folder()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, EngineListing(Folder(), expected));
}

// The listing file is the To File output: bytes mode holds whatever layout the profile last
// printed, two-column case inserts included.
TEST_F(CtlgrmTest, ListingFileGivesSizesInBytesWhateverLayoutTheProfilePrints) {
    ListingOptions expected;
    expected.m_bTwoColumn = 1;
    expected.m_bSizeInBytes = 1;
    expected.m_nPrintAs = kPrintToFile;
    const std::string file = (scratch.path() / "listing.txt").string();
    for (const char* layout : {"0", "1", "2", "3"})
        for (const std::string& output : {std::string("-"), file}) {
            FinishedCommand r = RunCtlgrm(
                scratch, {"--set", "Two Column=1", "--set", "Add Size in Bytes=1", "--set",
                          std::string("Print as =") + layout, "-o", output, Folder()});
            ASSERT_EQ(r.status, 0) << r.err;
            const std::string written = output == "-" ? r.out : ReadAll(file);
            EXPECT_EQ(written, EngineListing(Folder(), expected)) << layout << " " << output;
            EXPECT_NE(written.find("13,312 b"), std::string::npos) << layout << " " << output;
        }
}

TEST_F(CtlgrmTest, CommentsAreWrittenUnderTheirEntries) {
    std::string comments = dir.WriteFile("comments.txt", "Photos\tholiday 2026\nnobody\tx\n");
    FinishedCommand r = RunCtlgrm(scratch, {"--comments", comments, Folder()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, EngineListing(Folder(), ListingOptions{}, "Photos", "holiday 2026"));
    EXPECT_NE(r.out.find("  *** comment:   holiday 2026\r\n"), std::string::npos);
    EXPECT_NE(r.err.find("no entry named \"nobody\""), std::string::npos);
}

// ---- failures ----------------------------------------------------------------------------

TEST_F(CtlgrmTest, RefusedPathsAreReportedWithTheirCaptions) {
    FinishedCommand r = RunCtlgrm(scratch, {""});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Catalogrium3: Error: Please enter Folder name and Path\n");
    EXPECT_EQ(r.out, "");

    r = RunCtlgrm(scratch, {"~nobody"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Catalogrium3: Error: Please check Folder name and Path\n");

    r = RunCtlgrm(scratch, {"--", "/tmp/a*b"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.rfind("Catalogrium: A folder/file Name cannot contain", 0), 0u) << r.err;
}

TEST_F(CtlgrmTest, UnreadableFolderFailsWithTheScanMessage) {
    std::string missing = (dir.path() / "missing").string();
    FinishedCommand r = RunCtlgrm(scratch, {missing});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Catalogrium: There are problem reading folder  " + missing + "\n");
    EXPECT_EQ(r.out, "");
}

TEST_F(CtlgrmTest, BadUsageExitsTwoWithTheUsage) {
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{},
                                               {Folder(), Folder()},
                                               {"--sort", "colour", Folder()},
                                               {"--set", "Print as=1", Folder()},
                                               {"--frobnicate", Folder()},
                                               {Folder(), "-o"}}) {
        FinishedCommand r = RunCtlgrm(scratch, args);
        EXPECT_EQ(r.status, 2);
        EXPECT_NE(r.err.find("Usage: ctlgrm"), std::string::npos);
        EXPECT_EQ(r.out, "");
    }
}

TEST_F(CtlgrmTest, HelpGoesToStandardOutput) {
    FinishedCommand r = RunCtlgrm(scratch, {"--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("Usage: ctlgrm", 0), 0u);
}

TEST_F(CtlgrmTest, UnwritableOutputFails) {
    std::string file = (scratch.path() / "no/such/folder/out.txt").string();
    FinishedCommand r = RunCtlgrm(scratch, {"-o", file, Folder()});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("out.txt"), std::string::npos) << r.err;

    r = RunCtlgrm(scratch, {Folder()}, "/dev/full");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("standard output"), std::string::npos) << r.err;
}

// A file that cannot hold comments, one that never ends among them.
TEST_F(CtlgrmTest, BadCommentsFileFailsBeforeAnythingIsWritten) {
    const struct {
        std::string comments;
        std::string message;
    } cases[] = {
        {dir.WriteFile("long.txt", "a\tmuch too long for a comment line\n"), "long.txt:1:"},
        {dir.WriteFile("name.txt", std::string(500, 'n') + "\tc\n"),
         "name.txt:1: the line is longer than 486 bytes"},
        {"/dev/zero", "\"/dev/zero\" is larger than 31232000 bytes"},
    };
    std::string file = (scratch.path() / "out.txt").string();
    for (const auto& c : cases) {
        FinishedCommand r = RunCtlgrm(scratch, {"--comments", c.comments, "-o", file, Folder()});
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_FALSE(std::filesystem::exists(file));
    }
}

// A name holding ESC ] 0 ; ... BEL would retitle the terminal.
TEST_F(CtlgrmTest, ControlCharactersNeverReachStandardError) {
    const std::string hostile = "x\x1b]0;owned\x07";
    const std::string shown = "x?]0;owned?";
    dir.WriteFile("comments.txt", hostile + "\tc\n");
    dir.WriteFile(hostile + ".sqlite", "not a catalogue");
    // A look-up never makes a catalogue: this one is made by an add.
    ASSERT_EQ(RunCtlgrm(scratch, {"--catalogue", dir.str() + "/catalogue.sqlite", "--add", "Disc",
                                  "-o", "/dev/null", Folder()})
                  .status,
              0);
    const struct {
        std::vector<std::string> args;
        std::string message;
    } cases[] = {
        {{dir.str() + "/" + hostile},
         "Catalogrium: There are problem reading folder  " + dir.str() + "/" + shown + "\n"},
        {{"--comments", dir.str() + "/comments.txt", Folder()},
         "ctlgrm: no entry named \"" + shown + "\" for its comments\n"},
        {{"-o", dir.str() + "/" + hostile + "/out.txt", Folder()}, shown + "/out.txt could not"},
        {{"--comments", dir.str() + "/" + hostile, Folder()}, "comments file \"" + dir.str()},
        {{"--sort", hostile, Folder()}, "unknown choice \"" + shown + "\""},
        {{"--catalogue", dir.str() + "/catalogue.sqlite", "--forget", hostile},
         "ctlgrm: no medium named \"" + shown + "\" in the catalogue\n"},
        {{"--catalogue", dir.str() + "/" + hostile + ".sqlite", "--media"},
         "ctlgrm: The catalogue " + dir.str() + "/" + shown + ".sqlite is "},
    };
    for (const auto& c : cases) {
        FinishedCommand r = RunCtlgrm(scratch, c.args);
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_EQ(std::count_if(r.err.begin(), r.err.end(),
                                [](unsigned char ch) { return ch < 0x20 && ch != '\n'; }),
                  0)
            << r.err;
    }
}

// 0x9B alone is CSI to a terminal that takes 8-bit controls; a name holding it is listed
// with "?" in its place, as other control characters are.
TEST_F(CtlgrmTest, EightBitControlsInNamesAreShownAsQuestionMarks) {
    dir.WriteFile(std::string("c1/x\x9b") + "31mred\xc2\x85.txt", "abc");
    FinishedCommand r = RunCtlgrm(scratch, {dir.str() + "/c1"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("x?31mred?.txt"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find('\x9b'), std::string::npos);
    EXPECT_EQ(r.out.find('\x85'), std::string::npos);
}

// A folder that may be read but not searched: its names are known, nothing else. Root may
// search it all the same, so as root ctlgrm runs as nobody.
TEST_F(CtlgrmTest, EntriesThatCannotBeExaminedAreListedWithOneWarning) {
    dir.WriteFile("names-only/big file", std::string(5000, 'x'));
    dir.WriteFile("names-only/inner/deep", std::string(700, 'x'));
    dir.WriteFile("searchable/seen", std::string(300, 'x'));
    for (const auto& folder : {dir.path(), scratch.path(), dir.path() / "searchable"})
        std::filesystem::permissions(folder, std::filesystem::perms(0755));
    std::filesystem::permissions(dir.path() / "names-only", std::filesystem::perms(0444));
    const auto runAsUser = [&](const std::string& folder) {
        std::vector<std::string> argv{CTLGRM_PATH, folder};
        if (::geteuid() == 0)
            argv.insert(argv.begin(),
                        {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"});
        return RunToEnd(scratch.path(), argv, CtlgrmEnvironment(scratch, {}));
    };

    const FinishedCommand r = runAsUser(dir.str() + "/names-only");
    EXPECT_EQ(r.status, 0) << r.err;
    // Both are listed with what is known: their names, size 0 and the time 0.
    EXPECT_NE(r.out.find("big file"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("inner"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("5,000"), std::string::npos) << r.out;
    const std::string first = r.err.substr(std::min(r.err.find(dir.str()), r.err.size()));
    EXPECT_TRUE(r.err.starts_with("ctlgrm: warning: 2 entries could not be examined (the first: " +
                                  dir.str() + "/names-only/"))
        << r.err;
    EXPECT_TRUE(first.starts_with(dir.str() + "/names-only/big file)") ||
                first.starts_with(dir.str() + "/names-only/inner)"))
        << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;

    const FinishedCommand searchable = runAsUser(dir.str() + "/searchable");
    EXPECT_EQ(searchable.status, 0);
    EXPECT_EQ(searchable.err, "");
}

TEST_F(CtlgrmTest, SourceDateEpochMustBeADate) {
    for (const char* value : {"", "now", "1.5", " 0", "+1", "0x10", "99999999999999999999",
                              "67768036191676800", "-67768040609740801"}) {
        FinishedCommand r = RunCtlgrm(scratch, {Folder()}, {}, {}, {{"SOURCE_DATE_EPOCH", value}});
        EXPECT_EQ(r.status, 2) << value;
        EXPECT_EQ(r.err.rfind(std::string("ctlgrm: SOURCE_DATE_EPOCH=\"") + value + "\" is ", 0),
                  0u)
            << r.err;
        EXPECT_EQ(r.out, "");
    }
    const struct {
        const char* value;
        const char* created;
    } dates[] = {
        {"-1", "Created on: 12/31/69 23:59:59"},
        {"67768036191676799", "Created on: 12/31/47 23:59:59"}, // the year 2147485547
    };
    for (const auto& d : dates) {
        FinishedCommand r =
            RunCtlgrm(scratch, {Folder()}, {}, {}, {{"SOURCE_DATE_EPOCH", d.value}});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.out.find(d.created), std::string::npos) << d.value;
    }
}

// Not even the toolkit's remark about a missing XDG_RUNTIME_DIR.
TEST_F(CtlgrmTest, SuccessfulRunSaysNothingOnStandardError) {
    for (const std::string output : {"-", "listing.txt", "listing.pdf"}) {
        const std::string target = output == "-" ? output : (scratch.path() / output).string();
        FinishedCommand r = RunCtlgrm(scratch, {"-o", target, Folder()}, {}, {},
                                      {{"XDG_RUNTIME_DIR", std::nullopt}});
        EXPECT_EQ(r.status, 0) << output;
        EXPECT_EQ(r.err, "") << output;
    }
}

// ---- where the output goes ------------------------------------------------------------------

bool IsFifo(const std::filesystem::path& path) {
    return std::filesystem::is_fifo(std::filesystem::symlink_status(path));
}

// The listing file and the PDF go alike: into a FIFO or a device as it is, through a link to
// its target (also one that does not exist yet), a regular file replaced keeping its
// permissions. Nothing else is left in the folder.
TEST_F(CtlgrmTest, OutputGoesIntoPipesDevicesAndLinkTargets) {
    const std::string listing = EngineListing(Folder(), ListingOptions{});
    for (const std::string name : {"view.txt", "view.pdf"}) {
        const std::string head = name.ends_with(".pdf") ? "%PDF-" : listing.substr(0, 40);
        const auto out = scratch.path() / "out";
        const auto target = out / name;

        std::filesystem::create_directories(out);
        ASSERT_EQ(mkfifo(target.c_str(), 0600), 0);
        FifoReader reader(target);
        FinishedCommand r = RunCtlgrm(scratch, {"-o", target.string(), Folder()});
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(reader.Bytes().rfind(head, 0), 0u) << name;
        EXPECT_TRUE(IsFifo(target)) << name;
        std::filesystem::remove_all(out);

        std::filesystem::create_directories(out / "real");
        std::filesystem::create_symlink("real/" + name, target);
        r = RunCtlgrm(scratch, {"-o", target.string(), Folder()});
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_TRUE(std::filesystem::is_symlink(target)) << name;
        EXPECT_EQ(ReadAll(out / "real" / name).rfind(head, 0), 0u) << name;
        EXPECT_EQ(NamesIn(out / "real"), std::vector<std::string>{name});
        std::filesystem::remove_all(out);

        std::filesystem::create_directories(out);
        std::ofstream(target) << "previous";
        ASSERT_EQ(chmod(target.c_str(), 0604), 0);
        r = RunCtlgrm(scratch, {"-o", target.string(), Folder()});
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(ReadAll(target).rfind(head, 0), 0u) << name;
        struct stat st {};
        ASSERT_EQ(stat(target.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0604u) << name;
        EXPECT_EQ(NamesIn(out), std::vector<std::string>{name});
        std::filesystem::remove_all(out);
    }
}

// A device node of our own (the null device's numbers), reached through a link.
TEST_F(CtlgrmTest, DeviceBehindALinkStaysADevice) {
    const auto device = scratch.path() / "null";
    if (mknod(device.c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0)
        GTEST_SKIP() << "no right to make a device node";
    for (const std::string name : {"view.txt", "view.pdf"}) {
        const auto link = scratch.path() / name;
        std::filesystem::create_symlink(device, link);
        FinishedCommand r = RunCtlgrm(scratch, {"-o", link.string(), Folder()});
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_TRUE(std::filesystem::is_symlink(link)) << name;
        EXPECT_TRUE(std::filesystem::is_character_file(device)) << name;
    }
}

// A loop of links, or a chain of more links than the kernel follows, is refused as the kernel
// refuses it; every link stays as it was, and nothing is written.
TEST_F(CtlgrmTest, LinksTheKernelWouldNotFollowAreRefused) {
    namespace fs = std::filesystem;
    const auto out = scratch.path() / "out";
    fs::create_directories(out);
    std::map<std::string, std::string> links;
    for (const std::string ext : {".txt", ".pdf"}) {
        links["loopA" + ext] = "loopB" + ext;
        links["loopB" + ext] = "loopA" + ext;
        for (int i = 1; i <= 45; ++i)
            links["chain" + std::to_string(i) + ext] =
                i == 45 ? "listing" + ext : "chain" + std::to_string(i + 1) + ext;
    }
    for (const auto& [name, target] : links)
        fs::create_symlink(target, out / name);
    for (const std::string name : {"loopA.txt", "chain1.txt", "loopB.pdf", "chain1.pdf"}) {
        FinishedCommand r = RunCtlgrm(scratch, {"-o", (out / name).string(), Folder()});
        EXPECT_EQ(r.status, 1) << name;
        EXPECT_NE(r.err.find("Too many levels of symbolic links"), std::string::npos) << r.err;
    }
    std::map<std::string, std::string> after;
    for (const auto& entry : fs::directory_iterator(out))
        after[entry.path().filename().string()] =
            entry.is_symlink() ? fs::read_symlink(entry.path()).string() : "not a link";
    EXPECT_EQ(after, links);
}

// The files that `pid` has open in `folder`, by the names /proc gives them.
std::vector<std::string> OpenFilesIn(pid_t pid, const std::filesystem::path& folder) {
    std::vector<std::string> files;
    std::error_code ec;
    const auto fds = std::filesystem::path("/proc") / std::to_string(pid) / "fd";
    for (const auto& fd : std::filesystem::directory_iterator(fds, ec)) {
        const auto target = std::filesystem::read_symlink(fd.path(), ec).string();
        if (!ec && target.starts_with(folder.string() + "/"))
            files.push_back(target);
    }
    return files;
}

// Starts ctlgrm on `args` and sends it `signal` once it has a file open in `folder` (its
// temporary file); false when the run ended before that was seen. Its exit status goes to
// `status`.
bool SignalDuringSave(const TempDir& scratch, const std::vector<std::string>& args,
                      const std::filesystem::path& folder, int signal, int& status) {
    const pid_t pid = StartCtlgrm(scratch, args, (scratch.path() / "stdout").string(),
                                  (scratch.path() / "stderr").string());
    if (pid <= 0)
        return false;
    bool saving = false;
    while (!saving && waitpid(pid, &status, WNOHANG) == 0) {
        saving = !OpenFilesIn(pid, folder).empty();
        if (saving)
            kill(pid, signal);
    }
    return saving && waitpid(pid, &status, 0) == pid;
}

// SIGINT or SIGTERM while a long PDF (some 50 sheets of Zip inserts) is written: ctlgrm ends at
// once with 128 + the signal, the file it was replacing is as it was, and no temporary file is
// left. A run that ends before its save is seen is tried again.
TEST_F(CtlgrmTest, SignalDuringASaveKeepsThePreviousFile) {
    for (int i = 0; i < 1000; ++i)
        std::ofstream(dir.path() / "tree" / ("many" + std::to_string(i)));
    const auto out = scratch.path() / "out";
    std::filesystem::create_directories(out);
    const auto target = out / "view.pdf";
    for (int signal : {SIGINT, SIGTERM}) {
        bool caught = false;
        int status = 0;
        for (int attempt = 0; attempt < 20 && !caught; ++attempt) {
            std::ofstream(target) << "previous";
            caught = SignalDuringSave(scratch, {"--layout", "zip", "-o", target.string(), Folder()},
                                      out, signal, status);
        }
        ASSERT_TRUE(caught) << "no save was seen under way";
        ASSERT_TRUE(WIFEXITED(status)) << signal;
        EXPECT_EQ(WEXITSTATUS(status), 128 + signal);
        EXPECT_EQ(ReadAll(target), "previous");
        EXPECT_EQ(NamesIn(out), std::vector<std::string>{target.filename().string()});
    }
}

} // namespace
