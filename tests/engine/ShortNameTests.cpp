// The short names the listing makes for a folder's entries: a name that fits 8.3 keeps itself,
// any other gets a numbered alias that no other entry of the listing has.
#include "ShortName.h"

#include <gtest/gtest.h>

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
    {"a leading dot begins no extension",
     {".gitignore", ".config.backup"},
     {"gitign~1", "config~1.bac"}},
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

} // namespace
