#include "catalogue/NameGrams.h"
#include "catalogue/NameKey.h"

#include <gtest/gtest.h>

#include <set>

namespace {

TEST(NameKey, FoldsCaseVariantsOntoOneKey) {
    const std::pair<std::string, std::string> same[] = {
        {"Report.PDF", "report.pdf"},
        {"\xC3\x84RGER", "\xC3\xA4rger"},         // ÄRGER, ärger
        {"\xE2\x84\xAA", "k"},                    // Kelvin sign
        {"\xC5\xBF", "s"},                        // long s
        {"\xCF\x82", "\xCF\x83"},                 // final sigma, sigma
        {"\xE1\xBA\x9E", "\xC3\x9F"},             // capital sharp s
        {"\xF0\x90\x90\x80", "\xF0\x90\x90\xA8"}, // Deseret
    };
    for (const auto& [a, b] : same)
        EXPECT_EQ(SearchKey(a), SearchKey(b)) << a;
    EXPECT_NE(SearchKey("\xC3\x9F"), SearchKey("ss")); // simple folding keeps ß one character
    // The dotless and the dotted i fold to themselves, not onto i, on every locale.
    for (const char* turkish : {"\xC4\xB1", "\xC4\xB0"}) {
        EXPECT_NE(SearchKey(turkish), SearchKey("i")) << turkish;
        EXPECT_NE(SearchKey(turkish), SearchKey("I")) << turkish;
    }
    EXPECT_NE(SearchKey("\xC4\xB0stanbul"), SearchKey("istanbul"));
}

TEST(NameKey, KeepsInvalidBytesApartAndValid) {
    const std::string a = SearchKey("bad\xFF");
    const std::string b = SearchKey("bad\xFE");
    EXPECT_NE(a, b);
    EXPECT_EQ(a.substr(0, 3), "bad");
    EXPECT_EQ(a.size(), 3u + 4u); // one private character of four bytes
    EXPECT_EQ(SearchKey("\xC3("), SearchKey("\xC3") + "(");
}

// Every invalid byte and every character from U+10FF80 to U+10FFFF (private use, where the
// bytes are kept) has a key of its own, apart from every ASCII character as well.
TEST(NameKey, InvalidBytesNeverMeetTheCharactersTheyAreKeptAs) {
    std::set<std::string> keys;
    std::size_t names = 0;
    for (char32_t byte = 0x80; byte <= 0xFF; ++byte) {
        const char32_t character = 0x10FF00 + byte;
        const char utf8[] = {static_cast<char>(0xF4), static_cast<char>(0x8F),
                             static_cast<char>(0x80 | ((character >> 6) & 0x3F)),
                             static_cast<char>(0x80 | (character & 0x3F))};
        keys.insert(SearchKey(std::string(1, static_cast<char>(byte))));
        keys.insert(SearchKey(std::string(utf8, sizeof utf8)));
        names += 2;
    }
    for (char ascii = 1; ascii < 0x7F; ++ascii, ++names)
        keys.insert(SearchKey(std::string(1, ascii)));
    EXPECT_EQ(keys.size(), names - 26); // only A-Z meet a-z
}

// What the name index is asked for: the runs of three bytes between wildcards (framed by 0xFF at
// the ends of a glob), or else the grams that the longest run of one or two bytes begins.
TEST(NameKey, TakesPatternsApartForTheNameIndex) {
    const auto gram = [](std::string_view three) {
        return static_cast<Gram>(static_cast<unsigned char>(three[0])) << 16 |
               static_cast<Gram>(static_cast<unsigned char>(three[1])) << 8 |
               static_cast<unsigned char>(three[2]);
    };
    const struct {
        const char* pattern;
        bool glob;
        std::vector<std::string> grams;
        std::string rangeOf; // the one or two bytes that begin every gram of the range
    } rows[] = {
        {"Holiday", false, {"day", "hol", "ida", "lid", "oli"}, ""},
        {"ab", false, {}, "ab"},
        {"x", false, {}, "x"},
        {"*.JPEG", true, {".jp", "eg\xFF", "g\xFF\xFF", "jpe", "peg"}, ""},
        {"img_??.jpg", true, {".jp", "g\xFF\xFF", "img", "jpg", "mg_", "pg\xFF", "\xFFim"}, ""},
        {"a*bc*def", true, {"def", "ef\xFF", "f\xFF\xFF"}, ""},
        {"a*",
         true,
         {},
         "\xFF"
         "a"},
        {"*c", true, {"c\xFF\xFF"}, ""},
        {"*", true, {}, ""},
        {"", false, {}, ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.pattern);
        const NamePattern parsed = ParsePattern(row.pattern);
        EXPECT_EQ(parsed.glob, row.glob);
        const GramLookup lookup = LookupFor(parsed);
        std::vector<Gram> grams;
        for (const std::string& three : row.grams)
            grams.push_back(gram(three));
        std::ranges::sort(grams);
        EXPECT_EQ(lookup.all, grams);
        EXPECT_EQ(lookup.range.has_value(), !row.rangeOf.empty());
        if (lookup.range && !row.rangeOf.empty()) {
            const std::size_t rest = 3 - row.rangeOf.size();
            EXPECT_EQ(lookup.range->first, gram(row.rangeOf + std::string(rest, '\0')));
            EXPECT_EQ(lookup.range->second, gram(row.rangeOf + std::string(rest, '\xFF')));
        }
    }
}

TEST(NameKey, GlobMatchesWholeNamesByCharacter) {
    const struct {
        const char* pattern;
        const char* key;
        bool matches;
    } rows[] = {
        {"*.txt", "a.txt", true},
        {"*.txt", "a.txt.bak", false},
        {"*.txt", "*abc.txt", true}, // a star in the name is still matched by the pattern's
        {"*c*", "*c*", true},
        {"*c*", "*ab", false},
        {"?", "*", true},
        {"a?c", "a*c", true},
        {"?.txt", "\xC3\xA4.txt", true}, // ? is one character, not one byte
        {"??.txt", "\xC3\xA4.txt", false},
        {"*", "", true},
        {"a*b*c", "aXbYbZc", true},
        {"a*b*c", "aXbYc.", false},
        {"*aaa*b", "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa", false},
        {"", "", true},
        {"x", "xx", false},
    };
    for (const auto& row : rows)
        EXPECT_EQ(GlobMatches(row.pattern, row.key), row.matches) << row.pattern << " " << row.key;
}

} // namespace
