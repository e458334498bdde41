// A catalogued folder listed again from the catalogue: ctlgrm --from-catalogue against a live
// ctlgrm run on the same folder with the same settings and the same "now", on both kinds of
// catalogue.

#include "catalogue/CataloguedListing.h"
#include "tests/catalogue/CatalogueFixture.h"
#include "tests/support/FileTimes.h"
#include "tests/support/ReadAll.h"
#include "tests/support/RunCommand.h"

#include <gmock/gmock.h>

#include <algorithm>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using ::testing::HasSubstr;

constexpr const char* kNow = "1796663109"; // 12/07/26 17:05:09 UTC

// Runs ctlgrm to its end in `scratch`, with the same "now" for every run and no user profile.
FinishedCommand RunCtlgrm(const TempDir& scratch, std::vector<std::string> args) {
    args.insert(args.begin(), CTLGRM_PATH);
    return RunToEnd(scratch.path(), args,
                    EnvironmentWith({"TZ=UTC0", "SOURCE_DATE_EPOCH=" + std::string(kNow),
                                     "XDG_CONFIG_HOME=" + (scratch.path() / "config").string()}),
                    {}, scratch.str());
}

// A folder with what a listing shows differently: sizes in every unit (a sparse 5 GB file),
// times before 1970 and two in the same second that differ below it, read-only, hidden,
// link, FIFO, folders with files below them and an empty one, names that sort differently by
// name, extension and case, long names sharing their start (their short names must differ),
// names with control characters and invalid UTF-8, and a folder of names holding every byte
// from 1 to 255 that a name can hold.
void FillHostileFolder(TempDir& dir) {
    struct File {
        std::string name;
        std::size_t size;
        std::time_t time;
    };
    const std::string longStart(70, 'L');
    const std::vector<File> files = {
        {"b.txt", 13312, 1796662000},
        {"A.doc", 1010, 1790000000},
        {"zeta", 0, 1795000000},
        {"archive.tar.gz", 2500000, -31536000},
        {".hidden", 7, 1700000000},
        {longStart + " one.txt", 1, 1700000001},
        {longStart + " two.txt", 2, 1700000002},
        {"Ünïcødé name with blanks.pdf", 3, 1700000003},
        {"tab\there\nline", 4, 1700000004},
        {"bad \xff\xfe utf8 \xc3", 5, 1700000005},
        {"comma, \"quoted\".csv", 6, 1700000006},
        {"Photos/one.jpg", 700, 1600000000},
        {"Photos/deep/two.jpg", 900, 1600000000},
        {"music/x.mp3", 5000, 1600000000},
    };
    for (const auto& f : files)
        SetLastWrite(dir.WriteFile("disc/" + f.name, std::string(f.size, 'x')), f.time);
    const auto disc = dir.path() / "disc";
    for (int byte = 1; byte <= 255; ++byte)
        if (byte != '/')
            dir.WriteFile("disc/every byte/" + std::string(1, static_cast<char>(byte)) + "x", "");
    ASSERT_EQ(::truncate(dir.WriteFile("disc/sparse.img", "").c_str(), 5000000000), 0);
    SetLastWrite(disc / "sparse.img", 1796000000, 999999999);
    SetLastWrite(dir.WriteFile("disc/same second early", "e"), 1796000000, 1);
    dir.WriteFile("disc/read only", "r");
    ::chmod((disc / "read only").c_str(), 0444);
    std::filesystem::create_symlink("b.txt", disc / "link to b");
    ASSERT_EQ(::mkfifo((disc / "fifo").c_str(), 0644), 0);
    dir.MakeDir("disc/empty folder");
    SetLastWrite(disc / "Photos", 1780000000);
    SetLastWrite(disc / "music", 1781000000);
}

// The folder is added with ctlgrm --add once per test, then listed live and from the catalogue
// with each set of settings.
class Relisting : public CatalogueTest {
protected:
    void SetUp() override {
        CatalogueTest::SetUp();
        FillHostileFolder(m_dir);
        const FinishedCommand add = RunCtlgrm(
            m_scratch, {"--catalogue", Location(), "--add", "Disc", "-o", "/dev/null", Disc()});
        ASSERT_EQ(add.status, 0) << add.err;
    }

    std::string Disc() const { return (m_dir.path() / "disc").string(); }

    // The live run on `folder` (below the disc) and the run from the catalogue, with `options`.
    std::pair<FinishedCommand, FinishedCommand>
    LiveAndRelisted(const std::vector<std::string>& options, const std::string& below = {}) {
        std::vector<std::string> live = options;
        live.push_back(below.empty() ? Disc() : Disc() + "/" + below);
        std::vector<std::string> relisted = options;
        relisted.insert(relisted.end(), {"--catalogue", Location(), "--from-catalogue",
                                         below.empty() ? "Disc" : "Disc/" + below});
        return {RunCtlgrm(m_scratch, live), RunCtlgrm(m_scratch, relisted)};
    }

    TempDir m_scratch;
};

// Every setting of the listing file, alone and together.
const std::vector<std::vector<std::string>> kTextSettings = {
    {},
    {"--sort", "none"},
    {"--sort", "none", "--entries", "folders"},
    {"--sort", "size"},
    {"--sort", "size", "--descend"},
    {"--sort", "name"},
    {"--sort", "name", "--descend", "--uppercase"},
    {"--sort", "attribute"},
    {"--sort", "extension", "--descend"},
    {"--sort", "time"},
    {"--sort", "time", "--descend", "--entries", "files"},
    {"--entries", "folders"},
    {"--entries", "files", "--uppercase"},
    {"--delimited"},
    {"--delimited", "--sort", "time", "--set", "number File Lines=0"},
    {"--set", "number File Lines=0", "--set", "Add Size in Bytes=1"},
    {"--set", "Add Size=0", "--set", "Add Attribute=0", "--set", "Add Date=0"},
    {"--set", "Add Size in Bytes=1", "--delimited", "--set", "Add Attribute=0"},
};

TEST_P(Relisting, TextEqualsTheLiveListingForEverySetting) {
    for (const auto& settings : kTextSettings) {
        SCOPED_TRACE(::testing::PrintToString(settings));
        const auto [live, relisted] = LiveAndRelisted(settings);
        ASSERT_EQ(live.status, 0) << live.err;
        EXPECT_EQ(relisted.status, 0) << relisted.err;
        EXPECT_EQ(relisted.out, live.out);
        EXPECT_EQ(relisted.err, "");
    }
}

TEST_P(Relisting, SubFoldersEqualTheirLiveListings) {
    for (const std::string below : {"every byte", "Photos", "Photos/deep", "empty folder"})
        for (const auto& settings : {std::vector<std::string>{"--sort", "none"},
                                     std::vector<std::string>{"--sort", "name", "--uppercase"},
                                     std::vector<std::string>{"--delimited", "--descend"}}) {
            SCOPED_TRACE(below + " " + ::testing::PrintToString(settings));
            const auto [live, relisted] = LiveAndRelisted(settings, below);
            ASSERT_EQ(live.status, 0) << live.err;
            EXPECT_EQ(relisted.status, 0) << relisted.err;
            EXPECT_EQ(relisted.out, live.out);
        }
    const FinishedCommand doubled =
        RunCtlgrm(m_scratch, {"--catalogue", Location(), "--from-catalogue", "Disc//Photos/deep/"});
    EXPECT_EQ(doubled.out, LiveAndRelisted({}, "Photos/deep").first.out);
}

// The order of an unsorted listing is the order the directory gave, which no sort restores:
// the live listing's order is checked against the directory's own.
TEST_P(Relisting, UnsortedListingKeepsTheOrderTheFolderWasRead) {
    std::vector<std::string> readOrder;
    for (const auto& entry : std::filesystem::directory_iterator(m_dir.path() / "disc/every byte"))
        readOrder.push_back(entry.path().filename().string());
    const auto [live, relisted] =
        LiveAndRelisted({"--sort", "none", "--delimited", "--set", "number File Lines=0", "--set",
                         "Add Size=0", "--set", "Add Attribute=0", "--set", "Add Date=0"},
                        "every byte");
    EXPECT_EQ(relisted.out, live.out);
    // Each name as the comma-delimited file writes it: without the white space at its ends,
    // quoted with its quotes doubled when it holds a comma, a quote or a line break.
    std::string expected = "Type,Name\r\n";
    for (std::string name : readOrder) {
        name.erase(0, name.find_first_not_of(" \t\r\n\v\f"));
        const bool quoted = name.find_first_of(",\"\r\n") != std::string::npos;
        for (std::size_t at = name.find('"'); at != std::string::npos; at = name.find('"', at + 2))
            name.insert(at, 1, '"');
        expected += "N," + (quoted ? "\"" + name + "\"" : name) + "\r\n";
    }
    EXPECT_EQ(relisted.out, expected);
}

// Comments given when the medium is added are kept with it; a comments file given to the
// re-listing is attached as to a live listing.
TEST_P(Relisting, CommentsOfTheAddedListingComeBack) {
    const auto comments = m_scratch.WriteFile("comments.txt", "b.txt\tfirst\tsecond\n"
                                                              "music\ttunes\n"
                                                              "zeta\tnot kept\n"
                                                              "zeta\tlater wins\n"
                                                              "nowhere\tunmatched\n");
    for (const bool upperCase : {false, true}) {
        SCOPED_TRACE(upperCase);
        std::vector<std::string> settings{"--sort", "name"};
        if (upperCase)
            settings.push_back("--uppercase");
        std::vector<std::string> add = settings;
        add.insert(add.end(), {"--comments", comments.string(), "--catalogue", Location(), "--add",
                               "Disc", "--replace", "-o", "/dev/null", Disc()});
        ASSERT_EQ(RunCtlgrm(m_scratch, add).status, 0);
        std::vector<std::string> live = settings;
        live.insert(live.end(), {"--comments", comments.string()});
        const auto [withComments, relisted] = LiveAndRelisted(live);
        EXPECT_THAT(withComments.out,
                    HasSubstr("  *** comment:   first\r\n  *** comment:   second\r\n"));
        EXPECT_THAT(withComments.out, HasSubstr("  *** comment:   later wins\r\n"));
        EXPECT_EQ(relisted.out, withComments.out);
        EXPECT_EQ(LiveAndRelisted(settings).second.out, withComments.out);
    }
    // The comments are the listed folder's entries' only.
    const auto [live, relisted] = LiveAndRelisted({}, "Photos");
    EXPECT_EQ(relisted.out, live.out);
}

// Bad names, each with its message and the status of a failure; no catalogue at all is told
// apart, as for --media.
TEST_P(Relisting, MissingMediumOrFolderIsAClearFailure) {
    struct Case {
        std::string folder; // MEDIUM[/PATH], as --from-catalogue takes it
        std::string message;
    };
    for (const Case& c :
         std::vector<Case>{{"Dis", "no medium named \"Dis\" in the catalogue"},
                           {"Disc2", "no medium named \"Disc2\" in the catalogue"},
                           {"Disc/nowhere", "the medium \"Disc\" has no folder \"nowhere\""},
                           {"Disc/b.txt", "the medium \"Disc\" has no folder \"b.txt\""},
                           {"Disc/Photos/..", "the medium \"Disc\" has no folder \"Photos/..\""},
                           {"Disc/\x1b[31m", "the medium \"Disc\" has no folder \"?[31m\""}}) {
        SCOPED_TRACE(c.folder);
        const FinishedCommand run =
            RunCtlgrm(m_scratch, {"--catalogue", Location(), "--from-catalogue", c.folder});
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, "ctlgrm: " + c.message + "\n");
    }
    if (IsSqlite()) {
        const FinishedCommand none =
            RunCtlgrm(m_scratch, {"--catalogue", (m_scratch.path() / "none.sqlite").string(),
                                  "--from-catalogue", "Disc"});
        EXPECT_EQ(none.status, 2);
        EXPECT_FALSE(std::filesystem::exists(m_scratch.path() / "none.sqlite"));
    }
}

// Sparse files on tmpfs may claim 2^63 - 1 bytes each: three of them total more than 2^64 - 1,
// where a listing's totals stop, and so must the catalogue's.
TEST_P(Relisting, TotalsBeyondTheLargestCountStopThereAsInTheLiveListing) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "mounting a tmpfs in a namespace of its own needs root";
    const auto huge = m_dir.MakeDir("huge");
    const std::string script =
        "set -e; mount -t tmpfs -o size=1m none \"$1\"; mkdir \"$1/sub\";"
        "for f in a b c; do truncate -s 9223372036854775807 \"$1/sub/$f\"; done;"
        "export TZ=UTC0 SOURCE_DATE_EPOCH=" +
        std::string(kNow) +
        ";"
        "\"$2\" --sort none \"$1\" > \"$4/live.txt\";"
        "\"$2\" --catalogue \"$3\" --add Huge -o /dev/null \"$1\";"
        "\"$2\" --catalogue \"$3\" --from-catalogue Huge --sort none > \"$4/relisted.txt\"";
    const CommandResult run = RunCommand({"unshare", "-m", "sh", "-c", script, "sh", huge.string(),
                                          CTLGRM_PATH, Location(), m_scratch.str()});
    ASSERT_EQ(run.status, 0);
    const std::string live = ReadAll(m_scratch.path() / "live.txt");
    // (2^64 - 1) / 2^30 = 17179869183 and nine tenths, the tenths rounded down.
    EXPECT_THAT(live, HasSubstr("Size(bytes):  17179869183.9 Gb\r\n"));
    EXPECT_EQ(ReadAll(m_scratch.path() / "relisted.txt"), live);
}

bool PdfToolsAvailable() {
    return std::system("command -v pdftotext >/dev/null 2>&1 && "
                       "command -v pdftoppm >/dev/null 2>&1") == 0;
}

// What the pages show: every word with its place (the file's creation date left out), and
// each page drawn at 40 dots an inch.
struct PdfPages {
    std::string words;
    std::string drawn;
};

PdfPages PdfPageContent(const TempDir& scratch, const std::string& pdf) {
    PdfPages pages;
    const std::string words = RunCommand({"pdftotext", "-bbox", pdf, "-"}).out;
    pages.words = words.substr(std::min(words.find("<doc>"), words.size()));
    const std::string prefix = (scratch.path() / "page").string();
    RunCommand({"pdftoppm", "-r", "40", "-gray", pdf, prefix});
    for (int page = 1;; ++page) {
        const std::string file = prefix + "-" + std::to_string(page) + ".pgm";
        if (!std::filesystem::exists(file))
            break;
        pages.drawn += ReadAll(file);
        std::filesystem::remove(file);
    }
    return pages;
}

TEST_P(Relisting, PdfPagesEqualTheLiveOnesInEveryLayout) {
    if (!PdfToolsAvailable())
        GTEST_SKIP() << "poppler-utils not installed";
    const std::string pdf = (m_scratch.path() / "listing.pdf").string();
    for (const auto& settings : std::vector<std::vector<std::string>>{
             {"--layout", "standard", "--sort", "none"},
             {"--layout", "cd", "--sort", "size", "--descend"},
             {"--layout", "zip", "--uppercase", "--entries", "files"},
             {"--layout", "zip", "--two-column", "--sort", "extension"},
             {"--layout", "cd", "--title", "One|Two|Three", "--set", "number File Lines=1"}}) {
        SCOPED_TRACE(::testing::PrintToString(settings));
        std::vector<std::string> withPdf = settings;
        withPdf.insert(withPdf.end(), {"-o", pdf});
        const FinishedCommand live = RunCtlgrm(m_scratch, [&] {
            auto args = withPdf;
            args.push_back(Disc());
            return args;
        }());
        ASSERT_EQ(live.status, 0) << live.err;
        const PdfPages livePages = PdfPageContent(m_scratch, pdf);
        std::filesystem::remove(pdf);
        withPdf.insert(withPdf.end(), {"--catalogue", Location(), "--from-catalogue", "Disc"});
        const FinishedCommand relisted = RunCtlgrm(m_scratch, withPdf);
        ASSERT_EQ(relisted.status, 0) << relisted.err;
        const PdfPages relistedPages = PdfPageContent(m_scratch, pdf);
        EXPECT_THAT(livePages.words, HasSubstr("</word>"));
        EXPECT_FALSE(livePages.drawn.empty());
        EXPECT_EQ(relistedPages.words, livePages.words);
        EXPECT_TRUE(relistedPages.drawn == livePages.drawn) << "the pages are drawn differently";
    }
}

INSTANTIATE_TEST_SUITE_P(Backends, Relisting, ::testing::Values("sqlite", "postgres"), BackendName);

using CataloguedFolderNames = CatalogueTest;

// Medium names may hold "/": the longest name that fits names the medium.
TEST_P(CataloguedFolderNames, MediumNameWithSlashesIsTakenAtItsLongest) {
    m_dir.WriteFile("a/b/c/file", "x");
    auto catalogue = Open();
    Add(*catalogue, "A", m_dir.path() / "a");
    Add(*catalogue, "A/b", m_dir.path() / "a/b");
    const auto named = [&](const std::string& text) {
        const CataloguedFolder folder = NameCataloguedFolder(*catalogue, text);
        return folder.medium + "|" + folder.pathBelow;
    };
    EXPECT_EQ(named("A"), "A|");
    EXPECT_EQ(named("A/"), "A|");
    EXPECT_EQ(named("A/b"), "A/b|");
    EXPECT_EQ(named("A/b/c//"), "A/b|c");
    EXPECT_EQ(named("A/bc"), "A|bc");
    EXPECT_THROW(named("a"), CatalogueError);
    EXPECT_THROW(named(""), CatalogueError);
}

// A window that knows a folder by its id lists it by its path: every folder's path comes back
// as the bytes that name it, hostile names too.
TEST_P(CataloguedFolderNames, PathOfAFolderIdIsThePathThatFindsIt) {
    const std::vector<std::string> paths = {"",
                                            "one",
                                            "one/two \xff\xfe",
                                            "one/two \xff\xfe/line\nbreak",
                                            "one/two \xff\xfe/line\nbreak/x",
                                            "sibling"};
    for (const auto& path : paths)
        m_dir.MakeDir("medium/" + path);
    m_dir.WriteFile("medium/one/file", "not a folder");
    auto catalogue = Open();
    Add(*catalogue, "Medium", m_dir.path() / "medium");
    for (const auto& path : paths) {
        SCOPED_TRACE(path);
        const auto id = catalogue->FolderOf("Medium", path);
        ASSERT_TRUE(id);
        EXPECT_EQ(catalogue->PathOf("Medium", *id), path);
    }
    const auto file = catalogue->FolderOf("Medium", "one");
    const auto entries = catalogue->FolderEntries("Medium", *file);
    const auto notAFolder = std::ranges::find(entries, std::string("file"), &CataloguedEntry::name);
    ASSERT_NE(notAFolder, entries.end());
    EXPECT_EQ(catalogue->PathOf("Medium", notAFolder->id), std::nullopt);
    EXPECT_EQ(catalogue->PathOf("Medium", 1000), std::nullopt);
    EXPECT_EQ(catalogue->PathOf("Medium", -1), std::nullopt);
    EXPECT_EQ(catalogue->PathOf("Other", 0), std::nullopt);
}

INSTANTIATE_TEST_SUITE_P(Backends, CataloguedFolderNames, ::testing::Values("sqlite", "postgres"),
                         BackendName);

} // namespace
