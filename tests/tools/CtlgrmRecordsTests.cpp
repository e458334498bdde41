// What ctlgrm prints for --find and --media: every byte of a name told back, nothing that a
// terminal acts on, no record forged by a name, and a failure when the records are lost.

#include "tests/support/ReadAll.h"
#include "tests/support/RunCommand.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

// Runs `argv` to its end, its standard output going to `stdoutPath` (a file of `scratch` when
// empty, then read back) and its standard error to a file of `scratch`.
FinishedCommand RunInScratch(const TempDir& scratch, const std::vector<std::string>& argv,
                             const std::string& stdoutPath = {}) {
    return RunToEnd(scratch.path(), argv,
                    EnvironmentWith({"XDG_CONFIG_HOME=" + (scratch.path() / "config").string()}),
                    stdoutPath);
}

std::vector<std::string> Ctlgrm(std::vector<std::string> args) {
    args.insert(args.begin(), CTLGRM_PATH);
    return args;
}

// Decodes escaped records (fields between tabs, one record a line; "\\", "\t", "\n", "\r" and
// "\xHH") back to their bytes, each field followed by a NUL as -0 prints them. It fails
// (exit status 3) when the escaped text holds anything a terminal would act on: it must be
// valid UTF-8 without a control character other than the tab and the line feed that frame
// the records.
constexpr const char* kDecoder = R"(
import re, sys
data = open(sys.argv[1], 'rb').read()
text = data.decode('utf-8')
if any((ord(c) < 0x20 and c not in '\t\n') or 0x7f <= ord(c) <= 0x9f for c in text):
    sys.exit(3)
named = {b'\\': b'\\', b't': b'\t', b'n': b'\n', b'r': b'\r'}
def unescape(m):
    s = m.group(1)
    return bytes([int(s[1:], 16)]) if s.startswith(b'x') else named[s]
out = bytearray()
for line in data.split(b'\n')[:-1]:
    for field in line.split(b'\t'):
        out += re.sub(rb'\\(x[0-9a-f]{2}|[\\tnr])', unescape, field) + b'\0'
sys.stdout.buffer.write(bytes(out))
)";

// The records of NUL-terminated fields, `fields` to a record.
std::vector<std::vector<std::string>> SplitRecords(const std::string& bytes, std::size_t fields) {
    std::vector<std::vector<std::string>> records;
    std::vector<std::string> record;
    std::size_t start = 0;
    for (std::size_t nul; (nul = bytes.find('\0', start)) != std::string::npos; start = nul + 1) {
        record.push_back(bytes.substr(start, nul - start));
        if (record.size() == fields)
            records.push_back(std::exchange(record, {}));
    }
    EXPECT_TRUE(record.empty() && start == bytes.size()) << "a record is cut short";
    return records;
}

// The files below `folder` as find(1) names them.
std::set<std::string> FoundPaths(const fs::path& folder) {
    const CommandResult found = RunCommand({"find", folder.string(), "-mindepth", "1", "-print0"});
    std::set<std::string> paths;
    for (const auto& record : SplitRecords(found.out, 1))
        paths.insert(record[0]);
    return paths;
}

class CtlgrmRecordsTest : public ::testing::Test {
protected:
    std::string Catalogue() const { return (dir.path() / "catalogue.sqlite").string(); }

    // Adds `folder` as the medium `name`; the listing goes nowhere.
    void Add(const std::string& name, const fs::path& folder) {
        const FinishedCommand r =
            RunInScratch(scratch, Ctlgrm({"--catalogue", Catalogue(), "--add", name, "-o",
                                          "/dev/null", folder.string()}));
        ASSERT_EQ(r.status, 0) << r.err;
    }

    // --find or --media (`args`) printed both ways: the escaped text decoded by the decoder
    // above, and the NUL-terminated bytes.
    std::pair<std::string, std::string> BothWays(const std::vector<std::string>& args) {
        std::vector<std::string> all{"--catalogue", Catalogue()};
        all.insert(all.end(), args.begin(), args.end());
        const FinishedCommand escaped = RunInScratch(scratch, Ctlgrm(all));
        EXPECT_EQ(escaped.status, 0) << escaped.err;
        const fs::path escapedFile = scratch.path() / "escaped";
        std::ofstream(escapedFile, std::ios::binary) << escaped.out;
        const CommandResult decoded = RunCommand({"python3", "-c", kDecoder, escapedFile});
        EXPECT_EQ(decoded.status, 0) << "the escaped records are not clean text";
        all.push_back("-0");
        const FinishedCommand raw = RunInScratch(scratch, Ctlgrm(all));
        EXPECT_EQ(raw.status, 0) << raw.err;
        return {decoded.out, raw.out};
    }

    TempDir dir;
    TempDir scratch;
};

// One name holding every byte a name can hold (all but NUL and "/"), one name for each such
// byte alone, and names that are not UTF-8 or that hold what a terminal would obey.
std::vector<std::string> HostileNames() {
    std::vector<std::string> names;
    std::string everyByte;
    for (int byte = 1; byte < 256; ++byte) {
        if (byte == '/')
            continue;
        everyByte += static_cast<char>(byte);
        names.push_back("b" + std::string(1, static_cast<char>(byte)));
    }
    names.push_back(everyByte);
    for (const char* name : {"\xc0\xaf", "\xed\xa0\x80", "\xf4\x90\x80\x80", "cut\xe2\x82",
                             "\xc2\x9b"
                             "31m",
                             "\x1b]0;owned\x07", "a\tforged\tfields\tx\nforged\tline\r",
                             "\\x41 \\n", "caf\xc3\xa9", "\xf0\x9f\x93\x80"})
        names.emplace_back(name);
    return names;
}

TEST_F(CtlgrmRecordsTest, FoundEntriesAndMediaGiveBackEveryByteOfTheirNames) {
    const fs::path disc = dir.path() / "disc\x1b[2J\tx\ny";
    fs::create_directories(disc / "sub\x7f");
    for (const std::string& name : HostileNames())
        std::ofstream(disc / "sub\x7f" / name) << "x";
    // Medium names are one line of text, but may hold what looks like an escape.
    const std::string medium = "Disc \\x41 \\ caf\xc3\xa9";
    Add(medium, disc);

    const auto [decodedMatches, rawMatches] = BothWays({"--find", "*"});
    EXPECT_EQ(decodedMatches, rawMatches);
    std::set<std::string> paths;
    for (const auto& record : SplitRecords(rawMatches, 4)) {
        EXPECT_EQ(record[0], medium);
        paths.insert(record[1]);
    }
    EXPECT_EQ(paths, FoundPaths(disc));
    EXPECT_EQ(paths.size(), HostileNames().size() + 1);

    const auto [decodedMedia, rawMedia] = BothWays({"--media"});
    EXPECT_EQ(decodedMedia, rawMedia);
    const auto media = SplitRecords(rawMedia, 5);
    ASSERT_EQ(media.size(), 1u);
    EXPECT_EQ(media[0][0], medium);
    EXPECT_EQ(media[0][1], disc.string());
    EXPECT_EQ(media[0][2], std::to_string(HostileNames().size()));
}

TEST_F(CtlgrmRecordsTest, NullGoesOnlyWithFindOrMedia) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"-0", dir.str()}, {"--null", "--forget", "x"}}) {
        const FinishedCommand r = RunInScratch(scratch, Ctlgrm(args));
        EXPECT_EQ(r.status, 2);
        EXPECT_NE(
            r.err.find("--null goes with --find, --media, --which, --duplicates or --only-on-one"),
            std::string::npos)
            << r.err;
    }
}

// ---- standard output that cannot take the records ------------------------------------------

// Many matches, far more than a pipe or a small file system holds.
void AddManyFiles(const fs::path& folder, int count) {
    fs::create_directories(folder);
    for (int i = 0; i < count; ++i)
        std::ofstream(folder / ("file-" + std::to_string(i) + ".txt"));
}

TEST_F(CtlgrmRecordsTest, RecordsLostOnAFullDeviceAreAFailure) {
    AddManyFiles(dir.path() / "many", 100);
    Add("Many", dir.path() / "many");
    const std::string full = ": No space left on device\n";
    const struct {
        std::vector<std::string> args;
        int exitCode;
        std::string message;
    } cases[] = {
        {{"--catalogue", Catalogue(), "--find", "file-"},
         2,
         "ctlgrm: cannot write the matches to standard output" + full},
        {{"--catalogue", Catalogue(), "--find", "file-", "-0"},
         2,
         "ctlgrm: cannot write the matches to standard output" + full},
        {{"--catalogue", Catalogue(), "--media"},
         1,
         "ctlgrm: cannot write the media to standard output" + full},
        {{"--help"}, 1, "ctlgrm: cannot write the usage to standard output" + full},
    };
    for (const auto& c : cases) {
        const FinishedCommand r = RunInScratch(scratch, Ctlgrm(c.args), "/dev/full");
        EXPECT_EQ(r.status, c.exitCode) << c.args.back();
        EXPECT_EQ(r.err, c.message);
    }
}

// Runs `ctlgrm` with its standard output in a 16 KiB tmpfs mounted on `mountPoint` in a mount
// namespace of its own, so nothing outside sees it; what it wrote there is copied to `kept`.
// Exit status 99 when the file system cannot be mounted.
FinishedCommand RunOnSmallFileSystem(const TempDir& scratch, const fs::path& mountPoint,
                                     const fs::path& kept, const std::vector<std::string>& ctlgrm) {
    const fs::path err = scratch.path() / "stderr";
    std::vector<std::string> argv{
        "unshare",
        "-m",
        "--propagation",
        "private",
        "sh",
        "-c",
        "mount -t tmpfs -o size=16k tmpfs \"$1\" || exit 99; out=$1/out kept=$2 err=$3; "
        "shift 3; \"$@\" > \"$out\" 2> \"$err\"; status=$?; cp \"$out\" \"$kept\"; exit $status",
        "sh",
        mountPoint.string(),
        kept.string(),
        err.string()};
    argv.insert(argv.end(), ctlgrm.begin(), ctlgrm.end());
    FinishedCommand result;
    result.status = RunCommand(argv).status;
    result.err = ReadAll(err);
    return result;
}

// A real file system that fills up part of the way through the matches.
TEST_F(CtlgrmRecordsTest, RecordsLostOnAFullFileSystemAreAFailure) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to mount a small file system";
    AddManyFiles(dir.path() / "many", 1000);
    Add("Many", dir.path() / "many");
    const fs::path small = dir.MakeDir("small");
    const fs::path kept = dir.path() / "kept";
    for (const bool nulTerminated : {false, true}) {
        std::vector<std::string> args{"--catalogue", Catalogue(), "--find", "file-"};
        if (nulTerminated)
            args.push_back("-0");
        const FinishedCommand whole = RunInScratch(scratch, Ctlgrm(args));
        ASSERT_EQ(whole.status, 0) << whole.err;
        const FinishedCommand r = RunOnSmallFileSystem(scratch, small, kept, Ctlgrm(args));
        if (r.status == 99)
            GTEST_SKIP() << "cannot mount a tmpfs in a mount namespace: " << r.err;
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.err,
                  "ctlgrm: cannot write the matches to standard output: No space left on device\n");
        const std::string written = ReadAll(kept);
        EXPECT_LT(written.size(), whole.out.size());
        EXPECT_EQ(whole.out.rfind(written, 0), 0u) << "what was written is not the start";
    }
}

// ---- the listing of an add -------------------------------------------------------------------

// The listing is written once the medium is in the catalogue: an add that is refused leaves
// the listing file as it was.
TEST_F(CtlgrmRecordsTest, RefusedAddLeavesTheListingFileAsItWas) {
    AddManyFiles(dir.path() / "disc", 3);
    Add("Disc", dir.path() / "disc");
    const fs::path listing = dir.WriteFile("listing.txt", "the listing before");
    const std::vector<std::string> add{"--catalogue",
                                       Catalogue(),
                                       "--add",
                                       "Disc",
                                       "-o",
                                       listing.string(),
                                       (dir.path() / "disc").string()};
    FinishedCommand r = RunInScratch(scratch, Ctlgrm(add));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("--replace replaces it."), std::string::npos) << r.err;
    EXPECT_EQ(ReadAll(listing), "the listing before");

    std::vector<std::string> replace = add;
    replace.push_back("--replace");
    r = RunInScratch(scratch, Ctlgrm(replace));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(ReadAll(listing).find("file-2.txt"), std::string::npos);
}

} // namespace
