// The HTML page of a catalogue, searched in a real headless Chromium: it finds what ctlgrm
// --find finds, in the same order, shown the same way, on hostile names.

#include "CaseFolding.h"
#include "CatalogueFixture.h"
#include "RunCommand.h"

#include <gmock/gmock.h>

#include <algorithm>
#include <cctype>
#include <regex>
#include <sys/stat.h>
#include <sys/wait.h>

namespace {

using ::testing::HasSubstr;

// What a program wrote, each stream into a file of `dir`, and its exit status.
struct Finished {
    int status = -1;
    std::string out;
    std::string err;
};

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

Finished RunInto(const TempDir& dir, const std::vector<std::string>& argv) {
    const auto out = dir.path() / "run.out";
    const auto err = dir.path() / "run.err";
    const pid_t pid = SpawnWithOutputFiles(argv, EnvironmentWith({"TZ=UTC0"}), out.string(),
                                           err.string(), dir.str());
    int status = -1;
    if (pid > 0)
        ::waitpid(pid, &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(out), ReadFile(err)};
}

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

// The rows of matches in a page's serialized DOM, as ctlgrm --find prints its matches: fields
// between tabs, a line each.
std::string MatchLines(const std::string& dom) {
    static const std::regex row(R"(<tr class="match">(.*?)</tr>)");
    static const std::regex field(R"(<td[^>]*>(.*?)</td>)");
    std::string lines;
    for (auto r = std::sregex_iterator(dom.begin(), dom.end(), row); r != std::sregex_iterator();
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
        const std::vector<std::string> names = {
            "Straße.txt", "STRASSE.txt", "strasse.log", "İstanbul.txt", "ISTANBUL.md",
            "ıı.txt", "iI.txt", "ΣΟΦΟΣ.txt", "σοφος.txt", "σοφοσ.txt", "e\xCC\x81" "cole",
            "\xC3\xA9" "cole", "bad\xFF\xFE.bin", "caf\xE9.txt", "\xED\xA0\x80surrogate",
            "tab\there", "line\nfeed", "cr\rname", "back\\slash", "esc\x1B[31m",
            "<script>alert(1)", "a&amp;b\".txt", "http:x", "nbsp\xC2\xA0space",
            "c1\xC2\x85next", "\xF0\x9F\x8E\xB5 tune.mp3", "\xF4\x8F\xBE\x80private"};
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
        const timespec times[2] = {{0, UTIME_OMIT}, {1700000000, 0}};
        ::utimensat(AT_FDCWD, (photos / "Beach.JPG").c_str(), times, 0);
    }

    Finished Ctlgrm(std::vector<std::string> args) {
        args.insert(args.begin(), {CTLGRM_PATH, "--catalogue", Location()});
        return RunInto(m_dir, args);
    }

    std::filesystem::path WritePage(const std::vector<std::string>& more = {}) {
        const auto page = m_dir.path() / "catalogue.html";
        std::vector<std::string> args = {"--html", "-o", page.string()};
        args.insert(args.end(), more.begin(), more.end());
        const Finished run = Ctlgrm(args);
        EXPECT_EQ(run.status, 0) << run.err;
        return page;
    }

    // The matches that the page lists for `pattern` searched as it loads, all of them.
    std::string PageMatches(const std::string& browser, const std::filesystem::path& page,
                            const std::string& pattern, const std::string& medium = {}) {
        std::string address = "file://" + page.string() + "#search=" + PercentEncoded(pattern);
        if (!medium.empty())
            address += "&medium=" + PercentEncoded(medium);
        const TempDir profile;
        const Finished run = RunInto(m_dir, {browser, "--headless", "--no-sandbox", "--disable-gpu",
                                             "--user-data-dir=" + profile.str(), "--dump-dom",
                                             address + "&show=all"});
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_THAT(run.out, HasSubstr("data-matches=")) << "the search did not run";
        return MatchLines(run.out);
    }

    std::string FindMatches(const std::string& pattern, const std::string& medium = {}) {
        std::vector<std::string> args = {"--find", pattern};
        if (!medium.empty())
            args.insert(args.end(), {"--medium", medium});
        const Finished run = Ctlgrm(args);
        EXPECT_LE(run.status, 1) << run.err;
        return run.out;
    }
};

TEST_P(HtmlSnapshot, SearchedInChromiumFindsWhatFindFinds) {
    const std::string browser = Chromium();
    if (browser.empty())
        GTEST_SKIP() << "no chromium to load the page in (Debian's chromium package)";
    const auto page = WritePage();
    const std::vector<std::string> patterns = {
        "beach",  "*.JPG",     "b?.x",       "STRASSE",   "straße",      "ẞ",
        "İ",      "i",         "ı",          "ς",         "ΣΟΦΟΣ.*",     "é",
        "e\xCC\x81", "\xFF",   "\xE9",       "\xED",      "\\",          "<script",
        "&",      "\t",        "*\n*",       "?ı.txt",    "*",           "🎵",
        "\xC2\x85", "\xF4\x8F\xBE\x80", "a", "nothing at all", "/", "*/*"};
    for (const std::string& pattern : patterns) {
        const std::string expected = FindMatches(pattern);
        EXPECT_EQ(PageMatches(browser, page, pattern), expected) << "pattern " << pattern;
    }
    EXPECT_EQ(PageMatches(browser, page, "beach", "Drive"), FindMatches("beach", "Drive"));
    EXPECT_NE(FindMatches("b?.x").find("b\\xff.x"), std::string::npos)
        << "an invalid byte is one character";
}

TEST_P(HtmlSnapshot, PageRequestsNothingAndHoldsOnlyTheChosenMedia) {
    const std::string whole = ReadFile(WritePage());
    std::string lower = whole;
    std::ranges::transform(lower, lower.begin(), [](unsigned char c) { return std::tolower(c); });
    EXPECT_EQ(lower.find("http:"), std::string::npos);
    EXPECT_EQ(lower.find("https:"), std::string::npos);
    EXPECT_EQ(lower.find("src="), std::string::npos);
    EXPECT_EQ(lower.find("<link"), std::string::npos);

    const std::string one = ReadFile(WritePage({"--medium", "Drive"}));
    EXPECT_THAT(one, HasSubstr("Beach ball.png"));
    EXPECT_EQ(one.find("disc one"), std::string::npos);
}

TEST_P(HtmlSnapshot, UnknownMediumWritesNoPage) {
    const auto page = m_dir.path() / "none.html";
    const Finished run = Ctlgrm({"--html", "--medium", "Drive", "--medium", "lost", "-o", page.string()});
    EXPECT_EQ(run.status, 1);
    EXPECT_THAT(run.err, HasSubstr("\"lost\""));
    EXPECT_FALSE(std::filesystem::exists(page));
}

INSTANTIATE_TEST_SUITE_P(Backends, HtmlSnapshot, ::testing::Values("sqlite"), BackendName);

// The page folds a name unit by unit of its UTF-16 text, which holds only while folding keeps
// every character in its plane.
TEST(HtmlSnapshotFolding, NoFoldingLeavesItsPlane) {
    for (const CaseFold& fold : SimpleCaseFolds())
        EXPECT_EQ(fold.from > 0xFFFF, fold.to > 0xFFFF) << std::hex << fold.from;
}

} // namespace
