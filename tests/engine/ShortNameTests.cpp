// The short names the listing makes for a folder's entries: a name that fits 8.3 keeps itself,
// any other gets a numbered alias that no other entry of the listing has.
#include "engine/ShortName.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>

namespace {

std::vector<std::string> ShortNamesOf(const std::vector<std::string>& names) {
    return MakeShortNames(std::vector<std::string_view>(names.begin(), names.end()));
}

struct ShortNameCase {
    const char* what;
    std::vector<std::string> names;
    std::vector<std::string> shortNames; // in the order of `names`
};

const ShortNameCase kCases[] = {
    {"names that fit 8.3 keep themselves, whatever they hold",
     {"plain", "ABCDEFGH.TXT", ".cache", ".profile", "a b c", "a.b.c", "12345678", "read me.md",
      "abcdefgh."},
     {"plain", "ABCDEFGH.TXT", ".cache", ".profile", "a b c", "a.b.c", "12345678", "read me.md",
      "abcdefgh."}},
    {"too long a stem, too long an extension, no extension",
     {"abcdefghi.txt", "abcdefgh.html", "abcdefghi", "averyverylongname."},
     {"abcdef~1.txt", "abcdef~1.htm", "abcdef~1", "averyv~1"}},
    {"blanks and dots leave the stem; the extension follows the last dot",
     {"my long file name.txt", "archive.tar.gz", "a.b.c.d.e.f.g.h", "   spaced   out.text"},
     {"mylong~1.txt", "archiv~1.gz", "abcdef~1.h", "spaced~1.tex"}},
    {"leading dots are dropped before the alias is made",
     {".gitignore", ".config.backup", ".hidden folder", "..two dots", "...three.dots.txt",
      "..........."},
     {"gitign~1", "config~1.bac", "hidden~1", "twodot~1", "threed~1.txt", "~1"}},
    {"names sharing an alias are numbered in byte order, not in the folder's order",
     {"longfilename_c.txt", "longfilename_a.txt", "longfilename_b.txt", "longfile-other.doc"},
     {"longfi~3.txt", "longfi~1.txt", "longfi~2.txt", "longfi~1.doc"}},
    {"case is kept, and names differing in case get their own aliases",
     {"LongFileName.TXT", "longfilename.txt", "LONGFILENAME.txt"},
     {"LongFi~1.TXT", "longfi~1.txt", "LONGFI~1.txt"}},
    {"an alias that a name already is goes to the next number",
     {"entry_with_a_long_name_2.dat", "entry_~1.dat", "entry_with_a_long_name_1.dat"},
     {"entry_~3.dat", "entry_~1.dat", "entry_~2.dat"}},
    {"UTF-8 names are counted in characters, never cut inside one",
     {"\xc3\x84\xc3\x96\xc3\x9c\xc3\xa4\xc3\xb6\xc3\xbc\xc3\x9f.txt",
      "\xc3\x84\xc3\x96\xc3\x9c\xc3\xa4\xc3\xb6\xc3\xbc\xc3\x9f"
      "abcdefg",
      "reconnaissance.\xc3\xa9t\xc3\xa9s",
      "\xff\xfe"
      "abcdefghijk"},
     {"\xc3\x84\xc3\x96\xc3\x9c\xc3\xa4\xc3\xb6\xc3\xbc\xc3\x9f.txt",
      "\xc3\x84\xc3\x96\xc3\x9c\xc3\xa4\xc3\xb6\xc3\xbc~1", "reconn~1.\xc3\xa9t\xc3\xa9",
      "\xff\xfe"
      "abcd~1"}},
};

TEST(ShortNameTest, AliasRules) {
    for (const ShortNameCase& c : kCases)
        EXPECT_EQ(ShortNamesOf(c.names), c.shortNames) << c.what;
}

// The i-th name (from 1) of a run of names that differ only in their number.
std::string NumberedName(std::string_view stem, int i, std::string_view extension) {
    char number[8];
    std::snprintf(number, sizeof number, "%04d", i);
    return std::string(stem) + number + std::string(extension);
}

TEST(ShortNameTest, LongerNumbersShortenTheStem) {
    struct Row {
        int number;
        std::string shortName;
    };
    const struct {
        std::string_view stem, extension;
        std::vector<Row> rows;
    } runs[] = {
        {"entry_with_a_really_much_longer_name_",
         ".dat",
         {{1, "entry_~1.dat"},
          {9, "entry_~9.dat"},
          {10, "entry~10.dat"},
          {99, "entry~99.dat"},
          {100, "entr~100.dat"},
          {1200, "ent~1200.dat"}}},
        {"\xc3\xa4\xc3\xa4\xc3\xa4\xc3\xa4\xc3\xa4\xc3\xa4\xc3\xa4_",
         "",
         {{9, "\xc3\xa4\xc3\xa4\xc3\xa4\xc3\xa4\xc3\xa4\xc3\xa4~9"},
          {10, "\xc3\xa4\xc3\xa4\xc3\xa4\xc3\xa4\xc3\xa4~10"}}},
    };
    for (const auto& run : runs) {
        std::vector<std::string> names;
        for (int i = 1; i <= 1200; ++i)
            names.push_back(NumberedName(run.stem, i, run.extension));
        const std::vector<std::string> shortNames = ShortNamesOf(names);
        EXPECT_EQ(std::set<std::string>(shortNames.begin(), shortNames.end()).size(), names.size());
        for (const Row& row : run.rows)
            EXPECT_EQ(shortNames[static_cast<std::size_t>(row.number - 1)], row.shortName)
                << row.number;
    }
}

// Past 9, stems that differ only in their sixth character give the same alias: the second
// to reach it takes the next number.
TEST(ShortNameTest, AliasesOfDifferentStemsNeverMeet) {
    std::vector<std::string> names;
    for (int i = 1; i <= 11; ++i) {
        names.push_back(NumberedName("entry_long_", i, ".dat"));
        names.push_back(NumberedName("entryXlong_", i, ".dat"));
    }
    const std::vector<std::string> shortNames = ShortNamesOf(names);
    EXPECT_EQ(std::set<std::string>(shortNames.begin(), shortNames.end()).size(), names.size());
    // "entryX" sorts before "entry_", so its names are numbered first.
    EXPECT_EQ(shortNames[19], "entry~10.dat"); // entryXlong_0010.dat
    EXPECT_EQ(shortNames[21], "entry~11.dat"); // entryXlong_0011.dat
    EXPECT_EQ(shortNames[18], "entry~12.dat"); // entry_long_0010.dat
    EXPECT_EQ(shortNames[20], "entry~13.dat"); // entry_long_0011.dat
    EXPECT_EQ(shortNames[16], "entry_~9.dat"); // entry_long_0009.dat
}

// ---- against a plain model of the rule ---------------------------------------------------

// The rule as it reads: in the names' byte order, each name needing an alias tries 1, 2, ...
// until its alias is free. Slow, but plainly right.
std::string ModelAlias(const std::string& stem, const std::string& extension, unsigned number) {
    const std::string digits = "~" + std::to_string(number);
    const std::size_t room = digits.size() < 8 ? 8 - digits.size() : 0;
    std::string alias = stem.substr(0, std::min(room, stem.size())) + digits;
    return extension.empty() ? alias : alias + "." + extension;
}

// ASCII names only: the model counts bytes.
std::vector<std::string> ModelShortNames(const std::vector<std::string>& names) {
    std::vector<std::string> shortNames(names.size());
    std::set<std::string> taken;
    std::vector<std::size_t> needing;
    for (std::size_t i = 0; i < names.size(); ++i) {
        const std::string& name = names[i];
        const std::size_t dot = name.rfind('.');
        const bool own = name.size() <= 8 || (dot != std::string::npos && dot > 0 && dot <= 8 &&
                                              name.find('.') == dot && name.size() - dot - 1 <= 3);
        if (own) {
            shortNames[i] = name;
            taken.insert(name);
        } else {
            needing.push_back(i);
        }
    }
    std::sort(needing.begin(), needing.end(),
              [&](std::size_t a, std::size_t b) { return names[a] < names[b]; });
    for (const std::size_t i : needing) {
        std::string name =
            names[i].substr(std::min(names[i].find_first_not_of('.'), names[i].size()));
        const std::size_t dot = name.rfind('.');
        std::string stem, extension;
        if (dot != std::string::npos && dot > 0)
            extension = name.substr(dot + 1, 3);
        for (char c : name.substr(0, dot == 0 ? name.size() : dot))
            if (c != ' ' && c != '.')
                stem += c;
        stem.resize(std::min<std::size_t>(stem.size(), 6));
        unsigned number = 1;
        while (taken.contains(ModelAlias(stem, extension, number)))
            ++number;
        shortNames[i] = ModelAlias(stem, extension, number);
        taken.insert(shortNames[i]);
    }
    return shortNames;
}

// Numbered names whose stems share most of their letters, so that aliases of different stems
// meet once their numbers grow; names that already are such aliases; and leading dots.
TEST(ShortNameTest, CrowdedNumberedNamesGetTheAliasesOfThePlainRule) {
    std::mt19937 random(20261208);
    for (int round = 0; round < 20; ++round) {
        std::uniform_int_distribution<int> digit(0, 2), count(1, 400), which(0, 9);
        std::set<std::string> names;
        for (int n = count(random); n > 0; --n) {
            std::string stem = "IMG";
            for (int i = 0; i < 6; ++i)
                stem += static_cast<char>('0' + digit(random));
            switch (which(random)) {
            case 0:
                names.insert("IMG" + std::to_string(digit(random)) + "~" +
                             std::to_string(count(random) % 120) + ".JPG");
                break;
            case 1:
                names.insert("." + stem + ".JPG");
                break;
            case 2:
                names.insert(stem + ".jpeg");
                break;
            case 3:
                names.insert(stem);
                break;
            default:
                names.insert(stem + ".JPG");
            }
        }
        std::vector<std::string> shuffled(names.begin(), names.end());
        std::shuffle(shuffled.begin(), shuffled.end(), random);
        EXPECT_EQ(ShortNamesOf(shuffled), ModelShortNames(shuffled)) << round;
    }
}

// A camera's folder: its names share their first letters, so their aliases meet as soon as
// their numbers take two digits.
TEST(ShortNameTest, AHundredThousandPhotosGetDistinctAliases) {
    std::vector<std::string> names;
    char name[16];
    for (int i = 0; i < 100000; ++i) {
        std::snprintf(name, sizeof name, "DSC%06d.JPG", i);
        names.push_back(name);
    }
    const std::vector<std::string> shortNames = ShortNamesOf(names);
    EXPECT_EQ(std::set<std::string>(shortNames.begin(), shortNames.end()).size(), names.size());
    EXPECT_EQ(shortNames[0], "DSC000~1.JPG");    // DSC000000.JPG
    EXPECT_EQ(shortNames[9], "DSC00~10.JPG");    // DSC000009.JPG: DSC000~1 .. ~9 are used
    EXPECT_EQ(shortNames[1000], "DSC001~1.JPG"); // DSC001000.JPG
    // 9 x 100 + 90 x 10 + 900 + 9,000 names before take the numbers of one to four digits.
    EXPECT_EQ(shortNames[99999], "DS~98299.JPG"); // DSC099999.JPG
}

} // namespace
