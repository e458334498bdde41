// Runs the built ctlgrm on generated folders and compares what it writes with what the
// engine writes for the same folder and settings.

#include "CatalogriumDoc.h"
#include "Profile.h"
#include "Recorders.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <spawn.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>

extern char** environ;

namespace {

constexpr std::time_t kNow = 1796663109; // 12/07/26 17:05:09 UTC

std::string ReadAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct RunResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Runs ctlgrm with `args`, its standard output going to `stdoutPath` (a file of `scratch`
// when empty), with SOURCE_DATE_EPOCH set and XDG_CONFIG_HOME in `scratch`, so that no
// profile of the user is ever read.
RunResult RunCtlgrm(const TempDir& scratch, const std::vector<std::string>& args,
                    const std::string& stdoutPath = {}, const std::string& workingFolder = {}) {
    std::string outPath = stdoutPath.empty() ? (scratch.path() / "stdout").string() : stdoutPath;
    std::string errPath = (scratch.path() / "stderr").string();
    std::vector<std::string> env{"SOURCE_DATE_EPOCH=" + std::to_string(kNow),
                                 "XDG_CONFIG_HOME=" + (scratch.path() / "config").string()};
    for (char** e = environ; *e; ++e)
        if (std::string_view(*e).rfind("SOURCE_DATE_EPOCH=", 0) != 0 &&
            std::string_view(*e).rfind("XDG_CONFIG_HOME=", 0) != 0)
            env.emplace_back(*e);
    std::vector<char*> argv{const_cast<char*>(CTLGRM_PATH)}, envp;
    for (const auto& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    for (auto& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    if (!workingFolder.empty())
        posix_spawn_file_actions_addchdir_np(&actions, workingFolder.c_str());
    RunResult result;
    pid_t pid = 0;
    int status = 0;
    if (posix_spawn(&pid, CTLGRM_PATH, &actions, nullptr, argv.data(), envp.data()) == 0 &&
        waitpid(pid, &status, 0) == pid && WIFEXITED(status))
        result.exitCode = WEXITSTATUS(status);
    posix_spawn_file_actions_destroy(&actions);
    if (stdoutPath.empty())
        result.out = ReadAll(outPath);
    result.err = ReadAll(errPath);
    return result;
}

void SetTime(const std::filesystem::path& path, std::time_t seconds) {
    timespec times[2] = {{seconds, 0}, {seconds, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0);
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
            SetTime(p, f.time);
    }
    SetTime(dir.path() / "tree/Photos", 1780000000);
    SetTime(dir.path() / "tree/music", 1781000000);
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
    RunResult r = RunCtlgrm(scratch, {Folder()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, EngineListing(Folder(), ListingOptions{}));
    EXPECT_NE(r.out.find("Catalogrium3: Listing of   <" + Folder() + "> Created on: 12/07/26"),
              std::string::npos);
}

TEST_F(CtlgrmTest, OutputFileHoldsTheSameBytes) {
    std::string file = (scratch.path() / "listing.txt").string();
    RunResult r = RunCtlgrm(scratch, {"-o", file, Folder() + "//"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(ReadAll(file), EngineListing(Folder(), ListingOptions{}));
}

// Names too long for a listing line are written as their short names, one for each entry.
TEST_F(CtlgrmTest, NamesTooLongForTheLineAreWrittenAsDistinctShortNames) {
    const std::string stem = "entry_with_a_really_much_longer_name_than_any_listing_line_can_hold_";
    for (int i = 1; i <= 60; ++i)
        dir.WriteFile("long/" + stem + std::to_string(1000 + i) + ".dat", "");
    RunResult r = RunCtlgrm(scratch, {"--sort", "name", (dir.path() / "long").string()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
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

TEST_F(CtlgrmTest, RelativeFolderIsTakenFromTheCurrentFolder) {
    RunResult r = RunCtlgrm(scratch, {"./tree/"}, {}, dir.str());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, EngineListing(Folder(), ListingOptions{}));

    r = RunCtlgrm(scratch, {"tree/../tree"}, {}, dir.str());
    EXPECT_EQ(r.out, EngineListing(Folder(), ListingOptions{}));
}

TEST_F(CtlgrmTest, ReadsTheGivenProfileAndNeverWritesOne) {
    ListingOptions stored;
    stored.m_bDelimited = 1;
    stored.m_bAddDate = 1;
    stored.m_bAddAttribute = 1;
    stored.m_nSortBy = kSortTime;
    std::string profile = (scratch.path() / "p.ini").string();
    ASSERT_TRUE(SaveListingOptions(profile, stored));
    std::string before = ReadAll(profile);

    RunResult r = RunCtlgrm(scratch, {"--profile", profile, Folder()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, EngineListing(Folder(), stored));
    EXPECT_EQ(r.out.rfind("Number,Type,Name,Size(bytes),Attributes,Last Modified\r\n", 0), 0u);
    EXPECT_EQ(ReadAll(profile), before);
    EXPECT_FALSE(std::filesystem::exists(scratch.path() / "config"));
}

TEST_F(CtlgrmTest, DefaultProfileComesFromTheConfigFolder) {
    ListingOptions stored;
    stored.m_bNumberFileLines = 0;
    ASSERT_TRUE(SaveListingOptions((scratch.path() / "config/catalogrium3.ini").string(), stored));
    RunResult r = RunCtlgrm(scratch, {Folder()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, EngineListing(Folder(), stored));
}

TEST_F(CtlgrmTest, SettingOptionsChangeTheListing) {
    ListingOptions expected;
    expected.m_nSortBy = kSortSize;
    expected.m_bDescend = 1;
    expected.m_nFilesAndFolders = kFilesOnly;
    expected.m_bUpperCase = 1;
    expected.m_bAddDate = 1;
    RunResult r = RunCtlgrm(scratch, {"--sort", "size", "--descend", "--entries=files",
                                      "--uppercase", "--set", "Add Date=1", Folder()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, EngineListing(Folder(), expected));
    EXPECT_NE(r.out.find("******OUTPUT FILES ONLY********"), std::string::npos);
    EXPECT_LT(r.out.find("ARCHIVE.TAR.GZ"), r.out.find("B.TXT"));
}

TEST_F(CtlgrmTest, LaterSettingsWinOverEarlierOnes) {
    ListingOptions expected;
    expected.m_nSortBy = kSortExtension;
    RunResult r = RunCtlgrm(scratch, {"--sort", "name", "--set", "Sort by=4", Folder()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, EngineListing(Folder(), expected));
}

// Bytes mode is off for two-column case inserts, so the layout key changes the sizes.
TEST_F(CtlgrmTest, LayoutKeyWithItsBlankReachesTheSizeTexts) {
    ListingOptions expected;
    expected.m_bTwoColumn = 1;
    expected.m_bSizeInBytes = 1;
    expected.m_nPrintAs = kPrintToFile;
    RunResult r = RunCtlgrm(scratch, {"--set", "Two Column=1", "--set", "Add Size in Bytes=1",
                                      "--set", "Print as =1", Folder()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, EngineListing(Folder(), expected));
    EXPECT_NE(r.out.find("13,312 b"), std::string::npos);

    r = RunCtlgrm(scratch, {"--set", "Two Column=1", "--set", "Add Size in Bytes=1", Folder()});
    EXPECT_NE(r.out.find("13.0 Kb"), std::string::npos);
}

TEST_F(CtlgrmTest, CommentsAreWrittenUnderTheirEntries) {
    std::string comments = dir.WriteFile("comments.txt", "Photos\tholiday 2026\nnobody\tx\n");
    RunResult r = RunCtlgrm(scratch, {"--comments", comments, Folder()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, EngineListing(Folder(), ListingOptions{}, "Photos", "holiday 2026"));
    EXPECT_NE(r.out.find("  *** comment:   holiday 2026\r\n"), std::string::npos);
    EXPECT_NE(r.err.find("no entry named \"nobody\""), std::string::npos);
}

// ---- failures ----------------------------------------------------------------------------

TEST_F(CtlgrmTest, RefusedPathsAreReportedWithTheirCaptions) {
    RunResult r = RunCtlgrm(scratch, {""});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "Catalogrium3: Error: Please enter Folder name and Path\n");
    EXPECT_EQ(r.out, "");

    r = RunCtlgrm(scratch, {"~nobody"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "Catalogrium3: Error: Please check Folder name and Path\n");

    r = RunCtlgrm(scratch, {"--", "/tmp/a*b"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err.rfind("Catalogrium: A folder/file Name cannot contain", 0), 0u) << r.err;
}

TEST_F(CtlgrmTest, UnreadableFolderFailsWithTheScanMessage) {
    std::string missing = (dir.path() / "missing").string();
    RunResult r = RunCtlgrm(scratch, {missing});
    EXPECT_EQ(r.exitCode, 1);
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
        RunResult r = RunCtlgrm(scratch, args);
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_NE(r.err.find("Usage: ctlgrm"), std::string::npos);
        EXPECT_EQ(r.out, "");
    }
}

TEST_F(CtlgrmTest, HelpGoesToStandardOutput) {
    RunResult r = RunCtlgrm(scratch, {"--help"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out.rfind("Usage: ctlgrm", 0), 0u);
}

TEST_F(CtlgrmTest, UnwritableOutputFails) {
    std::string file = (scratch.path() / "no/such/folder/out.txt").string();
    RunResult r = RunCtlgrm(scratch, {"-o", file, Folder()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("out.txt"), std::string::npos) << r.err;

    r = RunCtlgrm(scratch, {Folder()}, "/dev/full");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("standard output"), std::string::npos) << r.err;
}

TEST_F(CtlgrmTest, BadCommentsFileFailsBeforeAnythingIsWritten) {
    std::string comments = dir.WriteFile("comments.txt", "a\tmuch too long for a comment line\n");
    std::string file = (scratch.path() / "out.txt").string();
    RunResult r = RunCtlgrm(scratch, {"--comments", comments, "-o", file, Folder()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("comments.txt:1:"), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(file));
}

} // namespace
