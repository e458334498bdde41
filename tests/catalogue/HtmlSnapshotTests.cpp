// The HTML page of a catalogue, searched in a real headless Chromium: it finds what ctlgrm
// --find finds, in the same order, shown the same way, on hostile names.

#include "catalogue/CaseFolding.h"
#include "tests/catalogue/CatalogueFixture.h"
#include "tests/support/FileTimes.h"
#include "tests/support/RunCommand.h"

#include <gmock/gmock.h>

#include <algorithm>
#include <cctype>
#include <ctime>
#include <map>
#include <regex>
#include <sys/stat.h>

namespace {

using ::testing::HasSubstr;

std::string Chromium() {
    for (const char* path : {"/usr/bin/chromium", "/usr/bin/chromium-browser"})
        if (::access(path, X_OK) == 0)
            return path;
    return {};
}

// `bytes` for the page's address: every byte but letters and digits as %HH.
std::string PercentEncoded(const std::string& bytes) {
    static constexpr std::string_view kDigits = "0123456789ABCDEF";
    std::string out;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (std::isalnum(byte)) {
            out += c;
        } else {
            out += '%';
            out += kDigits[byte >> 4];
            out += kDigits[byte & 0x0F];
        }
    }
    return out;
}

// The text of an element as HTML's serializer writes it, back to the text.
std::string Unescaped(const std::string& html) {
    std::string text;
    for (std::size_t i = 0; i < html.size(); ++i) {
        if (html[i] != '&') {
            text += html[i];
            continue;
        }
        const std::size_t end = html.find(';', i);
        const std::string entity = html.substr(i + 1, end - i - 1);
        if (entity == "amp")
            text += '&';
        else if (entity == "lt")
            text += '<';
        else if (entity == "gt")
            text += '>';
        else if (entity == "nbsp")
            text += "\xC2\xA0";
        else
            ADD_FAILURE() << "unexpected entity &" << entity << ";";
        i = end;
    }
    return text;
}

// The rows that `rowOpening` begins in serialized HTML, each as its cells' texts between tabs, a
// line each: ctlgrm --find's records for the rows of matches.
std::string RowLines(const std::string& html, const std::string& rowOpening) {
    const std::regex row(rowOpening + R"((.*?)</tr>)");
    static const std::regex field(R"(<td[^>]*>(.*?)</td>)");
    std::string lines;
    for (auto r = std::sregex_iterator(html.begin(), html.end(), row); r != std::sregex_iterator();
         ++r) {
        const std::string cells = (*r)[1];
        std::string line;
        for (auto f = std::sregex_iterator(cells.begin(), cells.end(), field);
             f != std::sregex_iterator(); ++f)
            line += (line.empty() ? "" : "\t") + Unescaped((*f)[1]);
        lines += line + '\n';
    }
    return lines;
}

// YYYY-MM-DD HH:MM:SS in UTC, the time zone the page and ctlgrm are run in.
std::string UtcText(std::int64_t seconds) {
    const std::time_t t = static_cast<std::time_t>(seconds);
    std::tm utc{};
    char text[32] = "";
    ::gmtime_r(&t, &utc);
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &utc);
    return text;
}

// The page in headless Chromium, its DOM once it has loaded, after the search of `fragment`.
std::string LoadedPage(const TempDir& dir, const std::filesystem::path& page,
                       const std::string& fragment) {
    const TempDir profile;
    const FinishedCommand run =
        RunWithTimesInUtc(dir.path(), {Chromium(), "--headless", "--no-sandbox", "--disable-gpu",
                                       "--user-data-dir=" + profile.str(), "--dump-dom",
                                       "file://" + page.string() + fragment});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("data-ready-ms="), std::string::npos)
        << "the page's script did not finish";
    return run.out;
}

class HtmlSnapshot : public CatalogueTest {
protected:
    void SetUp() override {
        CatalogueTest::SetUp();
        MakeHostileTree(m_dir.MakeDir("disc"));
        m_dir.WriteFile("drive/Beach ball.png", "ball");
        m_dir.WriteFile("drive/Straße/ẞ.txt", "capital sharp s");
        auto catalogue = Open();
        Add(*catalogue, "disc one", m_dir.path() / "disc");
        Add(*catalogue, "Drive", m_dir.path() / "drive");
    }

    // Names that folding, decoding and escaping must all get right.
    void MakeHostileTree(const std::filesystem::path& disc) {
        const std::vector<std::string> names = {"Straße.txt",
                                                "STRASSE.txt",
                                                "strasse.log",
                                                "İstanbul.txt",
                                                "ISTANBUL.md",
                                                "ıı.txt",
                                                "iI.txt",
                                                "ΣΟΦΟΣ.txt",
                                                "σοφος.txt",
                                                "σοφοσ.txt",
                                                "e\xCC\x81"
                                                "cole",
                                                "\xC3\xA9"
                                                "cole",
                                                "bad\xFF\xFE.bin",
                                                "caf\xE9.txt",
                                                "\xED\xA0\x80surrogate",
                                                "tab\there",
                                                "line\nfeed",
                                                "cr\rname",
                                                "back\\slash",
                                                "esc\x1B[31m",
                                                "<script>alert(1)",
                                                "<!--<script>",
                                                "a&amp;b\".txt",
                                                "http:x",
                                                "nbsp\xC2\xA0space",
                                                "c1\xC2\x85next",
                                                "\xF0\x9F\x8E\xB5 tune.mp3",
                                                "\xF4\x8F\xBE\x80private"};
        for (const std::string& name : names)
            std::ofstream(disc / name) << name;
        // A file for every byte that a name may hold.
        const auto bytes = disc / "Bytes";
        std::filesystem::create_directory(bytes);
        for (int b = 1; b < 256; ++b)
            if (b != '/')
                std::ofstream(bytes / ("b" + std::string(1, static_cast<char>(b)) + ".x"));
        const auto photos = disc / "Photos" / "2024";
        std::filesystem::create_directories(photos);
        std::ofstream(photos / "Beach.JPG") << "12345";
        std::ofstream(disc / "Photos" / "beach-notes.txt") << "notes";
        // Folders whose names sort before "Photos/" in paths but after "Photos" as names.
        for (const char* folder : {"Photos-old", "Photos.bak"}) {
            std::filesystem::create_directory(disc / folder);
            std::ofstream(disc / folder / "Beach old.jpg") << folder;
        }
        std::filesystem::create_symlink("Photos", disc / "link to photos");
        ::mkfifo((disc / "a fifo").c_str(), 0600);
        SetLastWrite(photos / "Beach.JPG", 1700000000);
    }

    FinishedCommand Ctlgrm(std::vector<std::string> args) {
        args.insert(args.begin(), {CTLGRM_PATH, "--catalogue", Location()});
        return RunWithTimesInUtc(m_dir.path(), args);
    }

    std::filesystem::path WritePage(const std::vector<std::string>& more = {}) {
        const auto page = m_dir.path() / "catalogue.html";
        std::vector<std::string> args = {"--html", "-o", page.string()};
        args.insert(args.end(), more.begin(), more.end());
        const FinishedCommand run = Ctlgrm(args);
        EXPECT_EQ(run.status, 0) << run.err;
        return page;
    }

    // The matches that the page lists for `pattern` searched as it loads, all of them.
    std::string PageMatches(const std::filesystem::path& page, const std::string& pattern,
                            const std::string& medium = {}) {
        std::string fragment = "#search=" + PercentEncoded(pattern) + "&show=all";
        if (!medium.empty())
            fragment += "&medium=" + PercentEncoded(medium);
        const std::string dom = LoadedPage(m_dir, page, fragment);
        EXPECT_NE(dom.find("data-matches="), std::string::npos) << "the search did not run";
        return RowLines(dom, R"(<tr class="match">)");
    }

    std::string FindMatches(const std::string& pattern, const std::string& medium = {}) {
        std::vector<std::string> args = {"--find", pattern};
        if (!medium.empty())
            args.insert(args.end(), {"--medium", medium});
        const FinishedCommand run = Ctlgrm(args);
        EXPECT_LE(run.status, 1) << run.err;
        return run.out;
    }
};

TEST_P(HtmlSnapshot, SearchedInChromiumFindsWhatFindFinds) {
    if (Chromium().empty())
        GTEST_SKIP() << "no chromium to load the page in (Debian's chromium package)";
    const auto page = WritePage();
    const std::vector<std::vector<std::string>> groups = {
        // Parts of names and patterns.
        {"beach", "*.JPG", "b?.x", "*", "a"},
        // Simple case folding: ß stays one character, the Turkish i's and the sigmas fold as
        // Unicode's table says, a combining mark is a character of its own.
        {"STRASSE", "straße", "ẞ", "İ", "i", "ı", "?ı.txt", "ς", "ΣΟΦΟΣ.*", "é", "e\xCC\x81", "🎵",
         "\xF4\x8F\xBE\x80"},
        // Invalid bytes, control characters and what HTML or the escapes use.
        {"\xFF", "\xE9", "\xED", "\xC2\x85", "\\", "<script", "&", "\t", "*\n*"},
    };
    std::vector<std::string> patterns;
    for (const auto& group : groups)
        patterns.insert(patterns.end(), group.begin(), group.end());
    for (const std::string& pattern : patterns) {
        const std::string expected = FindMatches(pattern);
        EXPECT_NE(expected, "") << "pattern " << pattern;
        EXPECT_EQ(PageMatches(page, pattern), expected) << "pattern " << pattern;
    }
    // No name holds a "/".
    for (const std::string pattern : {"nothing at all", "/", "*/*"}) {
        EXPECT_EQ(FindMatches(pattern), "");
        EXPECT_EQ(PageMatches(page, pattern), "") << "pattern " << pattern;
    }
    EXPECT_EQ(PageMatches(page, "beach", "Drive"), FindMatches("beach", "Drive"));
    EXPECT_NE(FindMatches("b?.x").find("b\\xff.x"), std::string::npos)
        << "an invalid byte is one character";
}

// Typed into the search box, a key at a time through the browser's input: the first page of
// matches, then the rest through "Show more", are what --find prints.
TEST_P(HtmlSnapshot, TypedSearchListsItsMatchesPageByPage) {
    if (Chromium().empty())
        GTEST_SKIP() << "no chromium to load the page in (Debian's chromium package)";
    const auto page = WritePage();
    const std::string expected = FindMatches("B");
    ASSERT_GT(std::ranges::count(expected, '\n'), 200) << "more matches than a page shows";
    const FinishedCommand typed = RunWithTimesInUtc(
        m_dir.path(), {"/usr/bin/python3", TYPE_IN_PAGE, Chromium(), page.string(), "B"});
    ASSERT_EQ(typed.status, 0) << typed.err;
    EXPECT_EQ(typed.out, expected);
}

TEST_P(HtmlSnapshot, ListsEveryMediumWithItsIdentityAndTotals) {
    if (Chromium().empty())
        GTEST_SKIP() << "no chromium to load the page in (Debian's chromium package)";
    auto catalogue = Open();
    ASSERT_TRUE(catalogue->SetShelf("Drive", "shelf 3", "the <b>blue</b> one & more"));
    const std::string dom = LoadedPage(m_dir, WritePage(), "");
    const auto table = dom.substr(dom.find("<table id=\"media\">"));
    std::string expected;
    for (const Medium& m : catalogue->Media())
        expected += m.name + '\t' + m.folder + '\t' + m.volume.label + '\t' + m.volume.uuid + '\t' +
                    m.volume.fsType + '\t' + m.volume.path + '\t' + m.mountPoint + '\t' +
                    UtcText(m.added) + '\t' + std::to_string(m.files) + '\t' +
                    std::to_string(m.folders) + '\t' + std::to_string(m.bytes) + '\t' + m.location +
                    '\t' + m.note + '\n';
    EXPECT_EQ(RowLines(table.substr(0, table.find("</table>")), "<tr>"), expected);
}

// Bytes, files and folders below `folder`, walked here.
std::string WalkedTotals(const std::filesystem::path& folder) {
    std::uintmax_t bytes = 0;
    int files = 0;
    int folders = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
        if (entry.is_directory()) {
            ++folders;
        } else {
            ++files;
            bytes += entry.file_size();
        }
    }
    return std::to_string(bytes) + " bytes, " + std::to_string(files) + " files, " +
           std::to_string(folders) + " folders";
}

TEST_P(HtmlSnapshot, TreeShowsTheTotalsOfEveryFolder) {
    if (Chromium().empty())
        GTEST_SKIP() << "no chromium to load the page in (Debian's chromium package)";
    const std::string dom = LoadedPage(m_dir, WritePage(), "#open=all");
    static const std::regex line(
        R"(<summary><span class="name">(.*?)</span><span class="totals"> — ([^,]*, [^,]*, [^,<]*))");
    std::map<std::string, std::string> totals;
    for (auto l = std::sregex_iterator(dom.begin(), dom.end(), line); l != std::sregex_iterator();
         ++l)
        totals[Unescaped((*l)[1])] = (*l)[2];
    EXPECT_EQ(totals["Photos"], WalkedTotals(m_dir.path() / "disc" / "Photos"));
    EXPECT_EQ(totals["Bytes"], WalkedTotals(m_dir.path() / "disc" / "Bytes"));
    EXPECT_EQ(totals["Drive (" + (m_dir.path() / "drive").string() + ")"],
              WalkedTotals(m_dir.path() / "drive"));
    EXPECT_THAT(dom, HasSubstr(R"(<span class="name">b\xff.x</span>)"))
        << "entries of opened folders are listed";
}

TEST_P(HtmlSnapshot, PageRequestsNothingAndHoldsOnlyTheChosenMedia) {
    const std::string whole = ReadAll(WritePage());
    std::string lower = whole;
    std::ranges::transform(lower, lower.begin(), [](unsigned char c) { return std::tolower(c); });
    EXPECT_EQ(lower.find("http:"), std::string::npos);
    EXPECT_EQ(lower.find("https:"), std::string::npos);
    EXPECT_EQ(lower.find("src="), std::string::npos);
    EXPECT_EQ(lower.find("<link"), std::string::npos);

    const std::string one = ReadAll(WritePage({"--medium", "Drive"}));
    EXPECT_THAT(one, HasSubstr("Beach ball.png"));
    EXPECT_EQ(one.find("disc one"), std::string::npos);
}

TEST_P(HtmlSnapshot, UnknownMediumWritesNoPage) {
    const auto page = m_dir.path() / "none.html";
    const FinishedCommand run =
        Ctlgrm({"--html", "--medium", "Drive", "--medium", "lost", "-o", page.string()});
    EXPECT_EQ(run.status, 1);
    EXPECT_THAT(run.err, HasSubstr("\"lost\""));
    EXPECT_FALSE(std::filesystem::exists(page));
}

INSTANTIATE_TEST_SUITE_P(Backends, HtmlSnapshot, ::testing::Values("sqlite"), BackendName);

// The page folds a name unit by unit of its UTF-16 text, which holds only while folding keeps
// every character in its plane.
TEST(HtmlSnapshotFolding, NoFoldingLeavesItsPlane) {
    for (const CaseFold& fold : SimpleCaseFolds())
        EXPECT_EQ(fold.from > 0xFFFF, fold.to > 0xFFFF)
            << std::hex << static_cast<std::uint32_t>(fold.from);
}

} // namespace
