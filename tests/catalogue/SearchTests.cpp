#include "tests/catalogue/CatalogueFixture.h"
#include "tests/support/NulFields.h"
#include "tests/support/RunCommand.h"

#include <gmock/gmock.h>
#include <sqlite3.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <ostream>
#include <set>

using ::testing::HasSubstr;

namespace {

constexpr const char* kCaseFolding = "/usr/share/unicode/CaseFolding.txt";

// The search written again in Python, independently of the catalogue: names and patterns are
// decoded with each invalid byte a character of its own, folded by the C and S mappings of
// Unicode's CaseFolding.txt, then compared with fnmatch (which knows `[`, so it is escaped:
// searches know only `*` and `?`) or as a substring. Prints, for each pattern of the file
// argv[3] (NUL-separated), "INDEX\0PATH\0" for every entry below argv[2] that it finds.
constexpr const char* kReference = R"(
import fnmatch, os, sys

fold = {}
with open(sys.argv[1], encoding="utf-8") as table:
    for line in table:
        fields = [f.strip() for f in line.split("#")[0].split(";")]
        if len(fields) >= 3 and fields[1] in ("C", "S"):
            fold[chr(int(fields[0], 16))] = chr(int(fields[2], 16))

def folded(raw):
    return "".join(fold.get(c, c) for c in raw.decode("utf-8", "surrogateescape"))

def matches(pattern, name):
    if "*" in pattern or "?" in pattern:
        return fnmatch.fnmatchcase(name, pattern.replace("[", "[[]"))
    return pattern in name

names = []
for folder, dirs, files in os.walk(os.fsencode(sys.argv[2])):
    names += [(os.path.join(folder, n), folded(n)) for n in dirs + files]
with open(sys.argv[3], "rb") as source:
    patterns = source.read().split(b"\0")[:-1]
out = sys.stdout.buffer
for index, pattern in enumerate(patterns):
    for path, name in names:
        if matches(folded(pattern), name):
            out.write(b"%d\0%s\0" % (index, path))
)";

// Names that take folding, wildcards and invalid bytes to their edges: every byte but NUL and
// "/", Turkish i's, sharp s, Greek sigmas, title case, Cherokee (which folds to capitals), the
// Kelvin sign, U+10FFFF beside the invalid byte 0xFF, and the characters that SQL patterns
// treat specially.
std::vector<std::string> HostileNames() {
    // Wildcards, and what SQL patterns treat specially.
    std::vector<std::string> names = {"*abc.txt",    "a*c",      "*c*",   "?q", "[ab].txt",
                                      "a[b",         "b]",       "%",     "_x", "x%_y",
                                      "back\\slash", "quote\"d", "\"\"\""};
    // ı.txt, Dış, İstanbul, istanbul, ISTANBUL, Istanbul, Iğdır.
    names.insert(names.end(), {"\xC4\xB1.txt", "D\xC4\xB1\xC5\x9F", "\xC4\xB0stanbul", "istanbul",
                               "ISTANBUL", "Istanbul", "I\xC4\x9F\x64\xC4\xB1r"});
    // ß, straße, STRASSE, ẞ; ΟΔΟΣ, οδος with a final sigma, οδοσ; ǅ, Ǆ, ǆ; Cherokee Ꭰ,
    // ꭰ; the Kelvin sign, k, K; the long s, s.
    names.insert(names.end(),
                 {"\xC3\x9F", "stra\303\237e", "STRASSE", "\xE1\xBA\x9E",
                  "\xCE\x9F\xCE\x94\xCE\x9F\xCE\xA3", "\xCE\xBF\xCE\xB4\xCE\xBF\xCF\x82",
                  "\xCE\xBF\xCE\xB4\xCE\xBF\xCF\x83", "\xC7\x85", "\xC7\x84", "\xC7\x86",
                  "\xE1\x8E\xA0", "\xEA\xAD\xB0", "\xE2\x84\xAA", "k", "K", "\xC5\xBF", "s"});
    // U+10FFFF and the byte 0xFF, U+10FF80 and the byte 0x80, and the character that U+10FF80
    // is kept as; invalid UTF-8 of every kind; composed and decomposed ä; control characters.
    names.insert(names.end(),
                 {"\xF4\x8F\xBF\xBF", "\xFF", "x\xF4\x8F\xBF\xBFy", "x\xFFy", "x\xF4\x8F\xBE\x80y",
                  "x\x80y", "xAy", "\xED\xA0\x80surrogate", "\xC0\xAFoverlong",
                  "\xF0\x9F\x98truncated", "emoji\xF0\x9F\x98\x80", "\xC3(", "\xC3\xA4.txt",
                  "A\xCC\x88.txt", "new\nline", "tab\tname", "del\x7F", "\xC2\x85nel"});
    for (int byte = 1; byte < 256; ++byte)
        if (byte != '/')
            names.push_back("byte" + std::string(1, static_cast<char>(byte)) + "end");
    return names;
}

std::vector<std::string> Patterns() {
    // Wildcards, and what SQL patterns treat specially.
    std::vector<std::string> patterns = {
        "",    "*",    "?",  "??",   "???",      "*.txt",  "*.TXT", "*c*", "*abc*",
        "a*c", "*A*C", "?q", "[ab]", "[ab].txt", "[",      "]",     "a[b", "%",
        "_",   "%_",   "\\", "\\s",  "e\"d",     "\"\"\"", "*\"d"};
    // The folding at its edges, as in the names.
    patterns.insert(patterns.end(), {"\xC4\xB1",
                                     "i",
                                     "I",
                                     "\xC4\xB0",
                                     "istanbul",
                                     "\xC4\xB0STANBUL",
                                     "?stanbul",
                                     "\xC4\xB1r",
                                     "*\xC4\xB1?",
                                     "\xC3\x9F",
                                     "\xE1\xBA\x9E",
                                     "ss",
                                     "STRA\303\237E",
                                     "\xCF\x83",
                                     "\xCE\xA3",
                                     "\xCF\x82",
                                     "\xCE\xBF\xCE\xB4\xCE\xBF\xCF\x82",
                                     "???\xCE\xA3",
                                     "\xC7\x85",
                                     "\xC7\x86",
                                     "\xE1\x8E\xA0",
                                     "\xEA\xAD\xB0",
                                     "k",
                                     "\xE2\x84\xAA",
                                     "\xC5\xBF"});
    // Invalid bytes beside the characters they are kept as, and control characters.
    patterns.insert(patterns.end(), {"\xFF",
                                     "\xF4\x8F\xBF\xBF",
                                     "x\xFFy",
                                     "x?y",
                                     "x\xF4\x8F\xBF\xBF?",
                                     "\x80",
                                     "\xF4\x8F\xBE\x80",
                                     "A",
                                     "xay",
                                     "byte?end",
                                     "BYTE??END",
                                     "byte*\x80*",
                                     "*\xC3*",
                                     "\xED\xA0\x80",
                                     "\xF0\x9F\x98",
                                     "*truncated",
                                     "?truncated",
                                     "???truncated",
                                     "\xC3\xA4",
                                     "a\xCC\x88",
                                     "\n",
                                     "\t",
                                     "\x7F",
                                     "del\x7F",
                                     "\xC2\x85",
                                     "zzz-nothing"});
    for (int byte = 1; byte < 256; ++byte)
        patterns.emplace_back(1, static_cast<char>(byte));
    return patterns;
}

// For each pattern, the paths below `root` that the reference finds.
std::vector<std::set<std::string>> ReferenceMatches(const std::filesystem::path& root,
                                                    const std::vector<std::string>& patterns,
                                                    const std::filesystem::path& scratch) {
    const auto script = scratch / "reference.py";
    const auto patternFile = scratch / "patterns";
    std::ofstream(script) << kReference;
    {
        std::ofstream out(patternFile, std::ios::binary);
        for (const auto& pattern : patterns)
            out << pattern << '\0';
    }
    const CommandResult result =
        RunCommand({"python3", script.string(), kCaseFolding, root.string(), patternFile.string()});
    if (result.status != 0)
        throw std::runtime_error("the reference search failed");
    std::vector<std::set<std::string>> found(patterns.size());
    const std::vector<std::string> fields = NulFields(result.out);
    for (std::size_t i = 0; i + 1 < fields.size(); i += 2)
        found.at(std::stoul(fields[i])).insert(fields[i + 1]);
    return found;
}

std::string Printable(const std::string& bytes) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string text;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte > 0x20 && byte < 0x7F) {
            text += c;
        } else {
            text += "\\x";
            text += kHex[byte >> 4];
            text += kHex[byte & 0xF];
        }
    }
    return text;
}

using SearchReference = CatalogueTest;

// Both stores find, for every pattern, what the independent reference finds: among names in
// the listed folder and in a folder below whose own name holds wildcards.
TEST_P(SearchReference, BothStoresFindWhatTheReferenceFinds) {
    if (!std::filesystem::exists(kCaseFolding))
        FAIL() << kCaseFolding << " is missing: run scripts/install-deps.sh";
    const auto tree = m_dir.path() / "tree";
    const auto below = tree / "Sub*Dir?" / "\xC4\xB0nner";
    std::filesystem::create_directories(below);
    const std::vector<std::string> names = HostileNames();
    for (std::size_t i = 0; i < names.size(); ++i) {
        std::ofstream(tree / names[i]) << names[i];
        if (i % 3 == 0)
            std::ofstream(below / names[i]) << names[i];
    }
    const std::vector<std::string> patterns = Patterns();
    const auto expected = ReferenceMatches(tree, patterns, m_dir.path());

    auto catalogue = Open();
    Add(*catalogue, "Hostile", tree);
    std::set<bool> readWhole; // the patterns cover both ways of checking the candidates
    for (std::size_t i = 0; i < patterns.size(); ++i) {
        SCOPED_TRACE("pattern " + Printable(patterns[i]));
        EXPECT_EQ(Paths(Matches(*catalogue, Query(patterns[i]))), expected[i]);
        EXPECT_EQ(catalogue->Count(Query(patterns[i])), expected[i].size());
        const std::string plan = catalogue->ExplainFind(Query(patterns[i]));
        if (plan.starts_with("name index"))
            readWhole.insert(plan.find(", 1 of them read whole") != std::string::npos);
    }
    EXPECT_EQ(readWhole, (std::set<bool>{false, true}));
}

INSTANTIATE_TEST_SUITE_P(Backends, SearchReference, ::testing::Values("sqlite", "postgres"),
                         BackendName);

// The paths below argv[1] whose names hold argv[2], in the order of a search by path: the
// folders in the byte order of their paths, each followed by "/", the names of a folder as bytes.
constexpr const char* kPathOrderReference = R"(
import os, sys
found = []
for folder, dirs, files in os.walk(os.fsencode(sys.argv[1])):
    found += [(folder + b"/", n) for n in dirs + files if os.fsencode(sys.argv[2]) in n]
sys.stdout.buffer.write(b"".join(f + n + b"\0" for f, n in sorted(found)))
)";

std::vector<std::string> PathOrderReference(const std::filesystem::path& root,
                                            const std::string& text) {
    const CommandResult result =
        RunCommand({"python3", "-c", kPathOrderReference, root.string(), text});
    if (result.status != 0)
        throw std::runtime_error("the reference of the path order failed");
    return NulFields(result.out);
}

using SearchPaths = CatalogueTest;

// A search looks up the folders of its matches with those above them when they are few, and
// reads every folder of the medium when they are many: both ways give each match its folder's
// path, and the folders their order. 160 folders, two levels, names that sort around "/".
TEST_P(SearchPaths, MatchesInFewOrManyFoldersHaveTheirPathsInOrder) {
    const auto tree = m_dir.path() / "tree";
    const std::vector<std::string> outer = {"a", "a b", "a-b", "a.b",      "a\xFF",
                                            "B", "a!",  "ab",  "\xC3\xA4", "x y z"};
    for (std::size_t i = 0; i < outer.size(); ++i)
        for (int j = 0; j < 16; ++j) {
            const auto folder = tree / outer[i] / ("sub " + std::to_string(j));
            std::filesystem::create_directories(folder);
            std::ofstream(folder / "hit.dat") << j;
            std::ofstream(folder / ("hit " + std::to_string(i) + ".dat")) << i;
            if (j == 3 && i % 5 == 1)
                std::ofstream(folder / "rare.dat") << "rare";
        }
    std::ofstream(tree / "hit top.dat") << "top";
    auto catalogue = Open();
    Add(*catalogue, "Tree", tree);
    for (const std::string text : {"rare", "hit"}) {
        SCOPED_TRACE(text);
        const std::vector<std::string> expected = PathOrderReference(tree, text);
        ASSERT_FALSE(expected.empty());
        std::vector<std::string> found;
        for (const auto& match : Matches(*catalogue, Query(text)))
            found.push_back(match.path);
        EXPECT_EQ(found, expected);
        FindQuery descending = Query(text);
        descending.descending = true;
        found.clear();
        for (const auto& match : Matches(*catalogue, descending))
            found.push_back(match.path);
        EXPECT_EQ(found, std::vector(expected.rbegin(), expected.rend()));
    }
}

INSTANTIATE_TEST_SUITE_P(Backends, SearchPaths, ::testing::Values("sqlite", "postgres"),
                         BackendName);

struct Found {
    std::string medium;
    std::string path;
    std::uint64_t size = 0;
    bool operator==(const Found&) const = default;
};

std::vector<Found> Listed(const std::vector<CatalogueMatch>& matches) {
    std::vector<Found> found;
    for (const auto& match : matches)
        found.push_back({match.medium, match.path, match.size});
    return found;
}

std::ostream& operator<<(std::ostream& out, const Found& found) {
    return out << found.medium << ':' << found.path << ':' << found.size;
}

using SearchMedia = CatalogueTest;

// Media searched together come in the order of their names, each in the order of its paths,
// whichever connection read them (on a server, every other medium is read on a second one):
// both directions, a window across media and an order by size, against a reference made here.
TEST_P(SearchMedia, ManyMediaComeInTheirOrderWhicheverConnectionReadThem) {
    auto catalogue = Open();
    std::map<std::string, std::filesystem::path> folders; // by name, as the media are ordered
    // Added against the order of their names; the first has no match.
    for (int k = 0; k < 7; ++k) {
        const std::string folder = "disc" + std::to_string(k);
        for (int j = 0; j < 3 * k; ++j)
            m_dir.WriteFile(folder + "/sub " + std::to_string(j % 2) + "/hit " + std::to_string(j) +
                                ".dat",
                            std::string(static_cast<std::size_t>((j + k) % 4), 'x'));
        m_dir.WriteFile(folder + "/other.dat", "o");
        const std::string name = std::string(1, static_cast<char>('G' - k)) + " disc";
        folders[name] = m_dir.path() / folder;
        Add(*catalogue, name, folders[name]);
    }
    std::vector<Found> expected;
    for (const auto& [name, folder] : folders)
        for (const std::string& path : PathOrderReference(folder, "hit"))
            expected.push_back({name, path, std::filesystem::file_size(path)});
    ASSERT_EQ(expected.size(), 63u);

    EXPECT_EQ(Listed(Matches(*catalogue, Query("hit"))), expected);
    FindQuery query = Query("hit");
    query.descending = true;
    EXPECT_EQ(Listed(Matches(*catalogue, query)), std::vector(expected.rbegin(), expected.rend()));
    query.descending = false;
    query.offset = 4;
    query.limit = 20;
    EXPECT_EQ(Listed(Matches(*catalogue, query)),
              std::vector(expected.begin() + 4, expected.begin() + 24));

    // By size, ties in the order of media and paths.
    std::vector<Found> bySize = expected;
    std::ranges::stable_sort(bySize, {}, &Found::size);
    query = Query("hit");
    query.order = MatchOrder::Size;
    EXPECT_EQ(Listed(Matches(*catalogue, query)), bySize);
    query.limit = 10;
    EXPECT_EQ(Listed(Matches(*catalogue, query)), std::vector(bySize.begin(), bySize.begin() + 10));
}

INSTANTIATE_TEST_SUITE_P(Backends, SearchMedia, ::testing::Values("sqlite", "postgres"),
                         BackendName);

// Runs `sql` on the SQLite catalogue at `path`, past the program.
void SqliteExec(const std::string& path, const std::string& sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK)
        << sqlite3_errmsg(db);
    sqlite3_close(db);
}

// Folder links that were lost are made up for by looking the folders up; links whose bytes are
// damaged are reported, never followed.
TEST(SqliteSearch, LostFolderLinksStillGivePathsAndDamagedOnesAnError) {
    TempDir dir;
    for (int i = 0; i < 8; ++i)
        dir.WriteFile("disc/d" + std::to_string(i) + "/sub/hit.dat", "h");
    const std::string path = (dir.path() / "catalogue.sqlite").string();
    Add(*OpenCatalogue(path), "Disc", dir.path() / "disc");
    const std::vector<std::string> expected = PathOrderReference(dir.path() / "disc", "hit");
    ASSERT_EQ(expected.size(), 8u);
    const auto found = [&] {
        std::vector<std::string> paths;
        for (const auto& match : Matches(*OpenCatalogue(path), Query("hit")))
            paths.push_back(match.path);
        return paths;
    };
    EXPECT_EQ(found(), expected);
    SqliteExec(path, "UPDATE folder_links SET links = x'05FFFFFFFF'");
    EXPECT_THROW(found(), CatalogueError);
    SqliteExec(path, "UPDATE folder_links SET links = x'050A0103787878'"); // a loop: 5's parent 10
    EXPECT_THROW(found(), CatalogueError);
    SqliteExec(path, "DELETE FROM folder_links");
    EXPECT_EQ(found(), expected);
}

// A database in another encoding would hold the keys as bytes, so that `?` matched one byte
// of a character: it is refused, and nothing is made in it.
TEST(PostgresSearch, RefusesADatabaseNotInUtf8) {
    SKIP_WITHOUT_POSTGRES();
    for (const std::string encoding : {"LATIN1", "SQL_ASCII"}) {
        SCOPED_TRACE(encoding);
        const std::string database =
            "encoded_" + std::string(encoding == "LATIN1" ? "latin1" : "ascii");
        PostgresExec(SharedPostgres().Uri(), "CREATE DATABASE " + database + " ENCODING '" +
                                                 encoding + "' TEMPLATE template0 LOCALE 'C'");
        try {
            OpenCatalogue(SharedPostgres().Uri(database));
            FAIL() << "opened";
        } catch (const CatalogueError& error) {
            EXPECT_THAT(error.what(), HasSubstr(encoding));
            EXPECT_THAT(error.what(), HasSubstr("UTF8"));
            EXPECT_THAT(error.what(), HasSubstr(database));
        }
        EXPECT_EQ(PostgresValue(SharedPostgres().Uri(database),
                                "SELECT count(*) FROM pg_tables WHERE schemaname = 'public'"),
                  "0");
    }
}

// An environment that asks for another client encoding must not change what a search finds.
TEST(PostgresSearch, SpeaksUtf8WhateverTheEnvironmentAsks) {
    SKIP_WITHOUT_POSTGRES();
    PostgresExec(SharedPostgres().Uri(), "CREATE DATABASE latin1_client");
    TempDir dir;
    dir.WriteFile("disc/\xC3\xA4.txt", "a");
    dir.WriteFile("disc/ab.txt", "ab");
    struct LatinClient {
        LatinClient() { ::setenv("PGCLIENTENCODING", "LATIN1", 1); }
        ~LatinClient() { ::unsetenv("PGCLIENTENCODING"); }
    } latinClient;
    auto catalogue = OpenCatalogue(SharedPostgres().Uri("latin1_client"));
    Add(*catalogue, "\xD0\x94\xD0\xB8\xD1\x81\xD0\xBA", dir.path() / "disc"); // Диск
    const auto singles = Paths(Matches(*catalogue, Query("?.txt")));
    const auto media = catalogue->Media();
    EXPECT_EQ(singles, std::set<std::string>{(dir.path() / "disc/\xC3\xA4.txt").string()});
    ASSERT_EQ(media.size(), 1u);
    EXPECT_EQ(media[0].name, "\xD0\x94\xD0\xB8\xD1\x81\xD0\xBA");
}

// A server that lets the catalogue's user have one connection only: searches read every medium
// on it, as before there were two.
TEST(PostgresSearch, AUserAllowedOneConnectionSearchesOnIt) {
    SKIP_WITHOUT_POSTGRES();
    const std::string owner = SharedPostgres().Uri("one_connection");
    PostgresExec(SharedPostgres().Uri(), "CREATE DATABASE one_connection");
    TempDir dir;
    for (const std::string disc : {"a", "b", "c"})
        dir.WriteFile(disc + "/hit " + disc + ".txt", disc);
    {
        auto catalogue = OpenCatalogue(owner);
        for (const std::string disc : {"a", "b", "c"})
            Add(*catalogue, "Disc " + disc, dir.path() / disc);
    }
    PostgresExec(owner, "CREATE ROLE lone_reader LOGIN CONNECTION LIMIT 1; "
                        "GRANT SELECT ON ALL TABLES IN SCHEMA public TO lone_reader");
    std::string reader = owner;
    reader.replace(reader.find("user=postgres"), std::string("user=postgres").size(),
                   "user=lone_reader");
    auto catalogue = OpenCatalogue(reader, CatalogueUse::LookUp);
    for (int search = 0; search < 2; ++search) {
        const auto found = Matches(*catalogue, Query("hit"));
        ASSERT_EQ(found.size(), 3u);
        EXPECT_EQ(found[0].path, (dir.path() / "a/hit a.txt").string());
        EXPECT_EQ(found[2].medium, "Disc c");
    }
}

// A catalogue kept open between searches (as the Find window keeps it) whose connections the
// server closed meanwhile (a restart, an administrator, an idle timeout) connects again for the
// next search instead of failing it.
TEST(PostgresSearch, ConnectionsClosedByTheServerBetweenSearchesAreMadeAgain) {
    SKIP_WITHOUT_POSTGRES();
    const std::string uri = SharedPostgres().Uri("closed_between");
    PostgresExec(SharedPostgres().Uri(), "CREATE DATABASE closed_between");
    TempDir dir;
    for (const std::string disc : {"a", "b"})
        dir.WriteFile(disc + "/hit " + disc + ".txt", disc);
    auto catalogue = OpenCatalogue(uri);
    for (const std::string disc : {"a", "b"})
        Add(*catalogue, "Disc " + disc, dir.path() / disc);
    for (int search = 0; search < 3; ++search) {
        SCOPED_TRACE(search);
        EXPECT_EQ(Matches(*catalogue, Query("hit")).size(), 2u);
        PostgresExec(SharedPostgres().Uri(),
                     "SELECT pg_terminate_backend(pid, 5000) FROM pg_stat_activity WHERE datname = "
                     "'closed_between'");
    }
    EXPECT_EQ(catalogue->Media().size(), 2u);
}

// Most keys equal their names and are not stored twice; forgetting a medium still takes every
// name out of the index, whether its key was stored or not, and its folders out of the links.
TEST(SqliteSearch, ForgettingAMediumLeavesNothingOfItInTheNameIndexOrTheFolderLinks) {
    TempDir dir;
    dir.WriteFile("disc/lower.txt", "a");
    dir.WriteFile("disc/UPPER.TXT", "b");
    dir.WriteFile("disc/stra\xC3\x9F"
                  "e.txt",
                  "c");
    dir.WriteFile("disc/bad\xFF.txt", "d");
    dir.WriteFile("disc/sub/deeper/e.txt", "e");
    const std::string path = (dir.path() / "catalogue.sqlite").string();
    const auto rows = [&](const std::string& table) {
        sqlite3* db = nullptr;
        sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
        sqlite3_stmt* stmt = nullptr;
        sqlite3_prepare_v2(db, ("SELECT count(*) FROM " + table).c_str(), -1, &stmt, nullptr);
        const int count = sqlite3_step(stmt) == SQLITE_ROW ? sqlite3_column_int(stmt, 0) : -1;
        sqlite3_finalize(stmt);
        sqlite3_close(db);
        return count;
    };
    auto catalogue = OpenCatalogue(path);
    Add(*catalogue, "Disc", dir.path() / "disc");
    EXPECT_EQ(catalogue->Count(Query("*.TXT")), 5u);
    EXPECT_GT(rows("name_grams"), 4);
    EXPECT_EQ(rows("folder_links"), 1);
    EXPECT_TRUE(catalogue->Forget("Disc"));
    EXPECT_EQ(rows("name_grams"), 0);
    EXPECT_EQ(rows("folder_links"), 0);
}

} // namespace
