// The catalogue's JSON and CSV export and its import, through the built ctlgrm on both kinds of
// catalogue: checked against the installed schema and against Python's own walk of the tree.

#include "catalogue/Exchange.h"
#include "tests/catalogue/CatalogueFixture.h"
#include "tests/support/RunCommand.h"

#include <gmock/gmock.h>

#include <fstream>
#include <limits>
#include <map>
#include <sstream>
#include <sys/stat.h>

namespace {

using ::testing::HasSubstr;
using ::testing::Not;

// Checks an export against the tree it was made of: the document against the schema, then each
// medium named on the command line against a walk of its folder (lstat, links never followed):
// every path below it, its kind, size (a folder's: the bytes of the files below it), time and
// folder totals. Prints what differs, nothing when all agree.
constexpr const char* kCheckJson = R"(
import json, os, stat, sys, jsonschema
document_path, schema_path, media = sys.argv[1], sys.argv[2], sys.argv[3:]
document = json.load(open(document_path, encoding="utf-8"))
jsonschema.Draft202012Validator(json.load(open(schema_path))).validate(document)
def exact(obj, key):
    return bytes.fromhex(obj[key + "_hex"]) if key + "_hex" in obj else obj[key].encode()
def kind(st):
    if stat.S_ISDIR(st.st_mode): return "folder"
    if stat.S_ISLNK(st.st_mode): return "link"
    if stat.S_ISREG(st.st_mode): return "file"
    return "other"
def walk(root):
    found, totals = {}, {}
    def visit(path, below):
        t = [0, 0, 0]
        for name in os.listdir(path):
            full = os.path.join(path, name)
            st = os.lstat(full)
            if stat.S_ISDIR(st.st_mode):
                sub = visit(full, below + name + b"/")
                found[below + name] = ("folder", sub[2], int(st.st_mtime))
                totals[below + name] = sub
                t = [t[0] + sub[0], t[1] + sub[1] + 1, t[2] + sub[2]]
            else:
                found[below + name] = (kind(st), st.st_size, int(st.st_mtime))
                t = [t[0] + 1, t[1], t[2] + st.st_size]
        return t
    return found, totals, visit(root, b"")
for name in media:
    medium = [m for m in document["media"] if m["name"] == name][0]
    found, totals, all_ = walk(exact(medium, "folder"))
    paths, got, got_totals = {0: b""}, {}, {}
    for e in medium["entries"]:
        path = paths[e["parent"]] + exact(e, "name")
        if e["kind"] == "folder": paths[e["id"]] = path + b"/"
        mtime = e["modified"]
        got[path] = (e["kind"], e["size"], mtime)
        if "totals" in e:
            t = e["totals"]; got_totals[path] = [t["files"], t["folders"], t["bytes"]]
    import datetime
    def iso(s):
        return datetime.datetime.fromtimestamp(s, datetime.timezone.utc).strftime("%Y-%m-%dT%H:%M:%SZ")
    want = {p: (k, s, iso(m)) for p, (k, s, m) in found.items()}
    if got != want: print(name, "entries differ:", sorted(set(got.items()) ^ set(want.items()))[:5])
    if got_totals != totals: print(name, "folder totals differ")
    t = medium["totals"]
    if [t["files"], t["folders"], t["bytes"]] != all_: print(name, "totals differ", t, all_)
)";

constexpr const char* kCheckSchema = R"(
import json, sys, jsonschema
jsonschema.Draft202012Validator(json.load(open(sys.argv[2]))).validate(json.load(open(sys.argv[1])))
)";

// Checks a CSV export with Python's csv module against a walk of the listed folder.
constexpr const char* kCheckCsv = R"(
import csv, datetime, os, stat, sys
rows = list(csv.reader(open(sys.argv[1], newline="", encoding="utf-8")))
medium, root = sys.argv[2], sys.argv[3]
want = []
for path, dirs, files in os.walk(root):
    for name in dirs + files:
        full = os.path.join(path, name)
        st = os.lstat(full)
        if stat.S_ISDIR(st.st_mode):
            kind = "folder"
            size = sum(os.lstat(os.path.join(p, f)).st_size for p, _, fs in os.walk(full) for f in fs)
            size += sum(os.lstat(os.path.join(p, d)).st_size for p, ds, _ in os.walk(full) for d in ds
                        if os.path.islink(os.path.join(p, d)))
        else:
            kind = "link" if stat.S_ISLNK(st.st_mode) else "file" if stat.S_ISREG(st.st_mode) else "other"
            size = st.st_size
        when = datetime.datetime.fromtimestamp(int(st.st_mtime), datetime.timezone.utc)
        want.append([medium, full, kind, str(size), when.strftime("%Y-%m-%dT%H:%M:%SZ")])
if rows[0] != ["medium", "path", "kind", "size", "modified", "attributes"]: print("header", rows[0])
got = sorted(row[:5] for row in rows[1:])
if got != sorted(want): print("rows differ:", sorted(map(tuple, got))[:3], sorted(map(tuple, want))[:3])
)";

// Names of every byte from 1 to 255 but "/", alone and in runs, control characters, bytes that
// are no UTF-8, and folders of such names.
void MakeHostileTree(const std::filesystem::path& root) {
    std::filesystem::create_directories(root / "empty folder");
    for (int byte = 1; byte < 256; ++byte) {
        if (byte == '/' || byte == '.')
            continue;
        const std::string name(1, static_cast<char>(byte));
        std::ofstream(root / ("one " + name)) << name;
    }
    std::string run;
    for (int byte = 1; byte < 256; ++byte)
        if (byte != '/')
            run += static_cast<char>(byte);
    const auto folder = root / ("run " + run.substr(0, 120));
    std::filesystem::create_directories(folder / run.substr(120, 100));
    std::ofstream(folder / run.substr(120, 100) / run.substr(220)) << "deep";
    std::ofstream(root / "\xff\xfe invalid \xc3\x28 \xed\xa0\x80 \xf4\x90\x80\x80") << "bytes";
    std::ofstream(root / "tab\there, new\nline \"quoted\" \\ \x7f \xc2\x85") << "controls";
    std::filesystem::create_symlink("one A", root / "link");
    ::mkfifo((root / "fifo").c_str(), 0600);
}

class Exchange : public CatalogueTest {
protected:
    // ctlgrm on the catalogue at `location`.
    FinishedCommand Ctlgrm(const std::string& location, std::vector<std::string> args) {
        args.insert(args.begin(), {CTLGRM_PATH, "--catalogue", location});
        return RunWithTimesInUtc(m_dir.path(), args);
    }

    // A second, empty catalogue of the same kind.
    std::string OtherLocation(const std::string& tag) {
        if (IsSqlite())
            return (m_dir.path() / "data" / (tag + ".sqlite")).string();
        static int databases = 0;
        const std::string name = "exchange" + std::to_string(++databases);
        PostgresExec(SharedPostgres().Uri(), "CREATE DATABASE " + name);
        return SharedPostgres().Uri(name);
    }

    std::string Media(const std::string& location) { return Ctlgrm(location, {"--media"}).out; }

    // The fields of --media by medium: name, folder, files, bytes, added.
    std::map<std::string, std::vector<std::string>> MediaFields(const std::string& location) {
        std::map<std::string, std::vector<std::string>> media;
        std::istringstream lines(Media(location));
        for (std::string line; std::getline(lines, line);) {
            std::vector<std::string> fields;
            std::istringstream split(line);
            for (std::string field; std::getline(split, field, '\t');)
                fields.push_back(field);
            media[fields.front()] = fields;
        }
        return media;
    }

    // Python's verdict on `args`: empty when it found nothing wrong.
    static std::string Python(const char* script, std::vector<std::string> args) {
        args.insert(args.begin(), {"python3", "-c", script});
        const CommandResult result = RunCommand(args);
        return result.status == 0 ? result.out : "python3 failed: " + result.out;
    }
};

TEST_P(Exchange, RoundTripOfHostileNamesLosesNothing) {
    const auto tree = m_dir.path() / "tree";
    MakeHostileTree(tree);
    ASSERT_EQ(Ctlgrm(Location(), {"--add", "Hostile", "-o", "/dev/null", tree.string()}).status, 0);
    ASSERT_EQ(
        Ctlgrm(Location(), {"--add", "Plain", "-o", "/dev/null", (tree / "empty folder").string()})
            .status,
        0);
    const auto first = m_dir.path() / "first.json";
    ASSERT_EQ(Ctlgrm(Location(), {"--export", "json", "-o", first.string()}).status, 0);
    EXPECT_EQ(Python(kCheckJson, {first.string(), CATALOGUE_SCHEMA, "Hostile", "Plain"}), "");

    const std::string other = OtherLocation("other");
    const FinishedCommand imported = Ctlgrm(other, {"--import", first.string()});
    ASSERT_EQ(imported.status, 0) << imported.err;
    const auto second = m_dir.path() / "second.json";
    ASSERT_EQ(Ctlgrm(other, {"--export", "json", "-o", second.string()}).status, 0);
    EXPECT_EQ(ReadAll(second), ReadAll(first));
    EXPECT_EQ(Media(other), Media(Location()));

    // One medium alone, under a name of its own.
    const FinishedCommand plain = Ctlgrm(Location(), {"--export", "json", "--medium", "Plain"});
    EXPECT_THAT(plain.out, Not(HasSubstr("Hostile")));
    std::ofstream(m_dir.path() / "plain.json") << plain.out;
    const std::string third = OtherLocation("third");
    EXPECT_EQ(
        Ctlgrm(third, {"--import", (m_dir.path() / "plain.json").string(), "--as", "Copy"}).status,
        0);
    EXPECT_THAT(Media(third),
                ::testing::StartsWith("Copy\t" + (tree / "empty folder").string() + "\t0\t0\t"));
}

// What no walk gives: comments and hashes, paths on a volume of any bytes, a folder that was not
// read and one that was read empty, made through the catalogue's own add.
void AddMadeUpMedium(ICatalogue& catalogue) {
    Medium medium;
    medium.name = "Made up";
    medium.folder = "/media/\xff disc";
    // The catalogue keeps the folder's and the mount's paths as bytes, the other texts as text.
    medium.volume = {"LABEL \x01\xc3\xa9", "1234-ABCD", "vfat", "/\xc3"};
    medium.mountPoint = "/media/\xff disc";
    medium.added = -86401;
    medium.location = "Shelf \"3\"\n\xc3\xa9";
    medium.note = "tab\there \x7f \xc2\x85 end";
    medium.checksums = true;
    auto add = catalogue.BeginAdd(medium, false);
    AddedEntry file{"a \xff", EntryKind::File, 12, 1700000000, 0x21, ContentHash{~0ULL, 1}, {}};
    file.comments = {"first \"line\"", "", "third \xfe\x01"};
    AddedEntry unread{"unread", EntryKind::Folder, 0, -1, 0x10, std::nullopt, {}};
    AddedEntry empty{"empty", EntryKind::Folder, 0, 0, 0x13, std::nullopt, {"only", "", ""}};
    AddedEntry below{"below", EntryKind::Folder, 0, 5, 0x10, std::nullopt, {}};
    add->AddFolder({0, 1, {file, unread, empty, below}});
    add->AddFolder({4, 5, {{"deep", EntryKind::Link, 7, 9, 0x20, std::nullopt, {}}}});
    add->AddFolder({3, 6, {}});
    add->Commit();
}

TEST_P(Exchange, RoundTripKeepsCommentsHashesAndFoldersThatWereNotRead) {
    AddMadeUpMedium(*Open());
    const auto first = m_dir.path() / "first.json";
    ASSERT_EQ(Ctlgrm(Location(), {"--export", "json", "-o", first.string()}).status, 0);
    const std::string document = ReadAll(first);
    EXPECT_THAT(document, HasSubstr("\"xxh3_128\": \"ffffffffffffffff0000000000000001\""));
    EXPECT_THAT(document, HasSubstr("\"comment3_hex\": \"746869726420fe01\""));
    EXPECT_THAT(document, HasSubstr("\"checksums\": true"));
    EXPECT_THAT(document, HasSubstr("\"modified\": \"1969-12-31T23:59:59Z\""));
    EXPECT_THAT(document, HasSubstr("\"attributes\": 33"));
    EXPECT_EQ(Python(kCheckSchema, {first.string(), CATALOGUE_SCHEMA}), "");
    const std::string other = OtherLocation("other");
    const FinishedCommand imported = Ctlgrm(other, {"--import", first.string()});
    ASSERT_EQ(imported.status, 0) << imported.err;
    const auto second = m_dir.path() / "second.json";
    ASSERT_EQ(Ctlgrm(other, {"--export", "json", "-o", second.string()}).status, 0);
    EXPECT_EQ(ReadAll(second), document);
    // Read back by the catalogue: the unread folder has no totals, the empty one has.
    const auto entries = OpenCatalogue(other)->FolderEntries("Made up", 0);
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_EQ(entries[0].hash, (ContentHash{~0ULL, 1}));
    EXPECT_EQ(entries[0].comments.m_strComment3, "third \xfe\x01");
    EXPECT_FALSE(entries[1].totals);
    EXPECT_EQ(entries[2].totals, FolderTotals{});
    EXPECT_EQ(entries[3].totals, (FolderTotals{7, 1, 0}));
}

TEST_P(Exchange, CsvRowsAreTheEntriesOfAWalk) {
    const auto tree = m_dir.path() / "tree";
    m_dir.WriteFile("tree/a, \"quoted\"/b\nc/file", "12345");
    m_dir.WriteFile("tree/a, \"quoted\"/other", "1");
    m_dir.WriteFile("tree/tab\tand \x01 control", "xy");
    std::filesystem::create_directories(tree / "empty");
    std::filesystem::create_symlink("nowhere", tree / "dangling");
    ASSERT_EQ(Ctlgrm(Location(), {"--add", "Tree", "-o", "/dev/null", tree.string()}).status, 0);
    const auto csv = m_dir.path() / "tree.csv";
    ASSERT_EQ(Ctlgrm(Location(), {"--export", "csv", "-o", csv.string()}).status, 0);
    EXPECT_EQ(Python(kCheckCsv, {csv.string(), "Tree", tree.string()}), "");
    const std::string text = ReadAll(csv);
    // RFC 4180: CR LF after the header and each of the 7 rows; the line feeds in names quoted.
    EXPECT_EQ(std::ranges::count(text, '\r'), 8);
    EXPECT_TRUE(text.ends_with("\r\n"));
}

TEST_P(Exchange, NcduFileImportsWithTheTotalsOfALiveListing) {
    if (RunCommand({"sh", "-c", "command -v ncdu"}).status != 0)
        GTEST_SKIP() << "ncdu is not installed (scripts/install-deps.sh installs it)";
    const auto tree = m_dir.path() / "tree";
    MakeHostileTree(tree);
    for (int folder = 0; folder < 5; ++folder)
        for (int file = 0; file < 40; ++file)
            m_dir.WriteFile("tree/folder " + std::to_string(folder) + "/f" + std::to_string(file),
                            std::string(static_cast<std::size_t>(file * folder), 'x'));
    const auto ncdu = m_dir.path() / "tree.ncdu.json";
    ASSERT_EQ(RunCommand({"ncdu", "-0", "-e", "-o", ncdu.string(), tree.string()}).status, 0);
    const FinishedCommand imported = Ctlgrm(Location(), {"--import", ncdu.string()});
    ASSERT_EQ(imported.status, 0) << imported.err;
    ASSERT_EQ(Ctlgrm(Location(), {"--add", "Live", "-o", "/dev/null", tree.string()}).status, 0);
    // Named after its root, with the totals and the entries of the live listing.
    const std::string root = tree.string();
    const auto media = MediaFields(Location());
    ASSERT_TRUE(media.contains(root) && media.contains("Live"));
    EXPECT_EQ(media.at(root)[1], root);
    EXPECT_EQ(media.at(root)[2], media.at("Live")[2]); // files
    EXPECT_EQ(media.at(root)[3], media.at("Live")[3]); // bytes
    const auto json = m_dir.path() / "both.json";
    ASSERT_EQ(Ctlgrm(Location(), {"--export", "json", "-o", json.string()}).status, 0);
    EXPECT_EQ(Python(kCheckJson, {json.string(), CATALOGUE_SCHEMA, root, "Live"}), "");
}

TEST_P(Exchange, MalformedFilesAreRefusedAtTheirPlaceAndChangeNothing) {
    m_dir.WriteFile("tree/file", "abc");
    ASSERT_EQ(
        Ctlgrm(Location(), {"--add", "Kept", "-o", "/dev/null", m_dir.str() + "/tree"}).status, 0);
    const std::string before = Media(Location());
    const std::string head =
        "{\"format\": \"catalogrium3-catalogue\", \"version\": 1, \"media\": [\n";
    const auto medium = [](const std::string& name, const std::string& entries) {
        return "{\"name\": \"" + name + "\", \"folder\": \"/x\", \"entries\": [" + entries + "]}";
    };
    const std::string good = "{\"id\": 1, \"parent\": 0, \"name\": \"a\", \"kind\": \"file\"}";
    const std::string deep(100000, '[');
    std::string deepFolders;
    for (int level = 0; level < 100000; ++level)
        deepFolders += "[{\"name\": \"d\"}, ";
    const std::vector<std::pair<std::string, std::string>> cases{
        {head + medium("New", good), "line 2, column 98: a comma or \"]\""}, // truncated
        {head + medium("One", good) + ",\n" + medium("Two", good) + ",\n" +
             medium("Three", "{\"id\": 1, \"parent\": 0, \"name\": \"a\", \"size\": \"12\"}") +
             "]}",
         "line 4, column 91: \"size\" must be a number"},
        {head + medium("New", "{\"id\": 1, \"parent\": 0, \"name\": \"a\\x\"}") + "]}",
         "line 2, column 78: unknown escape"},
        {head + medium("New", "{\"id\": 1, \"parent\": 0, \"name\": \"a\xff\"}") + "]}",
         "line 2, column 78: a string holds bytes that are no valid UTF-8"},
        {head + medium("New", "{\"id\": 1, \"parent\": 0, \"name\": \"\\udc00\"}") + "]}",
         "line 2, column 77: a \"\\u\" escape of a lone low surrogate"},
        {head + medium("New", "{\"id\": 1, \"parent\": 0, \"name\": \"a/b\", \"kind\": \"file\"}") +
             "]}",
         "line 2, column 76: an entry's name must not"},
        {head + medium("New", "{\"id\": 1, \"parent\": 5, \"name\": \"a\", \"kind\": \"file\"}") +
             "]}",
         "line 2, column 65: \"parent\" must be 0 or a folder's id"},
        {head + medium("Kept", good) + "]}", "already"},
        {head + medium("New", good) + "], \"extra\": 1}", "line 2, column 101: unknown member"},
        {"{\"format\": \"catalogrium3-catalogue\", \"version\": 2, \"media\": []}",
         "line 1, column 49: this program reads version 1"},
        {"[1, 2, {}, [{\"name\": \"/r\"}, " + deep, "line 1, column 30: an object was expected"},
        {"[1, 2, {}, [{\"name\": \"/r\"}, [{\"name\": \"d\", \"x\": " + deep,
         "the document ends where a value should be"},
        {"[1, 2, {}, [{\"name\": \"/r\"}, " + deepFolders,
         "the document ends where a value should be"},
        {"", "line 1, column 1: the document ends"},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const auto file = m_dir.path() / ("bad" + std::to_string(i) + ".json");
        std::ofstream(file, std::ios::binary) << cases[i].first;
        const FinishedCommand run = Ctlgrm(Location(), {"--import", file.string()});
        EXPECT_EQ(run.status, 1) << i;
        EXPECT_THAT(run.err, HasSubstr(cases[i].second)) << i;
        EXPECT_EQ(Media(Location()), before) << i;
    }
}

// An export that cannot be made says why with its status and leaves a file it would replace as
// it was; a missing catalogue is not made.
TEST_P(Exchange, FailedExportsTellWhyAndKeepTheOldFile) {
    m_dir.WriteFile("tree/file", "abc");
    ASSERT_EQ(
        Ctlgrm(Location(), {"--add", "Disc", "-o", "/dev/null", m_dir.str() + "/tree"}).status, 0);
    m_dir.WriteFile("old.json", "old");
    const std::string old = m_dir.str() + "/old.json";
    const FinishedCommand unknown =
        Ctlgrm(Location(), {"--export", "json", "--medium", "Disc", "--medium", "Gone", "-o", old});
    EXPECT_EQ(unknown.status, 1);
    EXPECT_THAT(unknown.err, HasSubstr("no medium named \"Gone\" in the catalogue"));
    EXPECT_EQ(ReadAll(old), "old");

    const FinishedCommand unwritable =
        Ctlgrm(Location(), {"--export", "csv", "-o", m_dir.str() + "/no such folder/t.csv"});
    EXPECT_EQ(unwritable.status, 1);
    EXPECT_THAT(unwritable.err, HasSubstr("no such folder"));

    const std::string err = m_dir.str() + "/full.err";
    const pid_t pid =
        SpawnWithOutputFiles({CTLGRM_PATH, "--catalogue", Location(), "--export", "json"},
                             EnvironmentWith({}), "/dev/full", err);
    int status = -1;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
    EXPECT_THAT(ReadAll(err), HasSubstr("No space left on device"));

    const std::string none = m_dir.str() + "/none.sqlite";
    EXPECT_EQ(Ctlgrm(none, {"--export", "json"}).status, 2);
    EXPECT_FALSE(std::filesystem::exists(none));
    const FinishedCommand unreadable =
        Ctlgrm(Location(), {"--import", m_dir.str() + "/absent.json"});
    EXPECT_EQ(unreadable.status, 1);
    EXPECT_THAT(unreadable.err, HasSubstr("cannot read"));
}

INSTANTIATE_TEST_SUITE_P(Stores, Exchange, ::testing::Values("sqlite", "postgres"), BackendName);

TEST(ExchangeTimes, AreIsoTextInUtcBothWays) {
    const std::vector<std::pair<std::int64_t, std::string>> known{
        {0, "1970-01-01T00:00:00Z"},
        {-1, "1969-12-31T23:59:59Z"},
        {951782400, "2000-02-29T00:00:00Z"},
        {1700000000, "2023-11-14T22:13:20Z"},
        {253402300799, "9999-12-31T23:59:59Z"},
        {253402300800, "10000-01-01T00:00:00Z"},
        {-62167219200, "0000-01-01T00:00:00Z"},
        {-62167219201, "-0001-12-31T23:59:59Z"},
        {std::numeric_limits<std::int64_t>::max(), "292277026596-12-04T15:30:07Z"},
        {std::numeric_limits<std::int64_t>::min(), "-292277022657-01-27T08:29:52Z"},
    };
    for (const auto& [seconds, text] : known) {
        EXPECT_EQ(IsoUtcText(seconds), text);
        EXPECT_EQ(ParseIsoUtc(text), seconds) << text;
    }
    for (const char* wrong :
         {"2023-02-29T00:00:00Z", "2023-01-01T24:00:00Z", "2023-1-01T00:00:00Z",
          "2023-01-01 00:00:00Z", "2023-01-01T00:00:00", "+2023-01-01T00:00:00Z",
          "292277026596-12-04T15:30:08Z", "", "2023-01-01T00:00:60Z"})
        EXPECT_EQ(ParseIsoUtc(wrong), std::nullopt) << wrong;
}

} // namespace
