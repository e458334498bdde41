#include "engine/Text.h"

#include <gtest/gtest.h>

#include <clocale>

namespace {

// "é" (2 bytes), "€" (3 bytes) and "𝄞" (4 bytes).
const std::string kE = "\xC3\xA9";
const std::string kEuro = "\xE2\x82\xAC";
const std::string kClef = "\xF0\x9D\x84\x9E";

TEST(TextCount, CountsCodePointsNotBytes) {
    EXPECT_EQ(CountChars(""), 0u);
    EXPECT_EQ(CountChars("abc"), 3u);
    EXPECT_EQ(CountChars("a" + kE + kEuro + kClef), 4u);
}

TEST(TextCount, EveryInvalidByteIsOneCharacter) {
    EXPECT_EQ(CountChars("\xFF\xFE"), 2u);         // bytes that never start a character
    EXPECT_EQ(CountChars("\x80\x80x"), 3u);        // stray continuation bytes
    EXPECT_EQ(CountChars("\xE2\x82"), 2u);         // a character cut short at the end
    EXPECT_EQ(CountChars("\xE2\x82x"), 3u);        // ... or by an ASCII byte
    EXPECT_EQ(CountChars("\xC0\xAF"), 2u);         // overlong "/"
    EXPECT_EQ(CountChars("\xED\xA0\x80"), 3u);     // a surrogate
    EXPECT_EQ(CountChars("\xF4\x90\x80\x80"), 4u); // above U+10FFFF
    EXPECT_EQ(CountChars("\xC3" + kE), 2u);        // a lone lead byte before a valid one
}

TEST(TextCut, FirstCharsNeverSplitsACharacter) {
    const std::string text = kE + kEuro + "x" + kClef;
    EXPECT_EQ(FirstChars(text, 0), "");
    EXPECT_EQ(FirstChars(text, 1), kE);
    EXPECT_EQ(FirstChars(text, 2), kE + kEuro);
    EXPECT_EQ(FirstChars(text, 4), text);
    EXPECT_EQ(FirstChars(text, 100), text);
    EXPECT_EQ(FirstChars("\xFF"
                         "ab",
                         2),
              "\xFF"
              "a");
}

TEST(TextCut, LastCharsNeverSplitsACharacter) {
    const std::string text = "x" + kClef + kE + kEuro;
    EXPECT_EQ(LastChars(text, 0), "");
    EXPECT_EQ(LastChars(text, 1), kEuro);
    EXPECT_EQ(LastChars(text, 3), kClef + kE + kEuro);
    EXPECT_EQ(LastChars(text, 4), text);
    EXPECT_EQ(LastChars(text, 9), text);
    // Read from the front: the trailing continuation bytes of a broken character are
    // characters of their own.
    EXPECT_EQ(LastChars("a\x82\xAC", 2), "\x82\xAC");
}

TEST(TextUpperCase, MapsAsciiAndOtherScripts) {
    EXPECT_EQ(ToUpperCase("report_1.doc"), "REPORT_1.DOC");
    EXPECT_EQ(ToUpperCase("caf" + kE), "CAF\xC3\x89");
    EXPECT_EQ(ToUpperCase("\xC3\xBF"), "\xC5\xB8");                 // ÿ -> Ÿ, 2 bytes to 2
    EXPECT_EQ(ToUpperCase("\xCF\x83\xCF\x82"), "\xCE\xA3\xCE\xA3"); // σς -> ΣΣ
    EXPECT_EQ(ToUpperCase("\xD0\xB0\xD0\xB1"), "\xD0\x90\xD0\x91"); // аб -> АБ
    EXPECT_EQ(ToUpperCase("\xC9\x90"), "\xE2\xB1\xAF");             // ɐ -> Ɐ grows a byte
    EXPECT_EQ(ToUpperCase("\xF0\x90\x90\xA8"), "\xF0\x90\x90\x80"); // Deseret, 4 bytes
}

TEST(TextUpperCase, UsesSimpleMappingsOnly) {
    EXPECT_EQ(ToUpperCase("stra\xC3\x9F"
                          "e"),
              "STRA\xC3\x9F"
              "E");                                 // ß has no single upper case
    EXPECT_EQ(ToUpperCase("\xC7\x86"), "\xC7\x84"); // ǆ -> Ǆ, not "DŽ"
    EXPECT_EQ(ToUpperCase(kEuro + kClef + "1"), kEuro + kClef + "1");
}

TEST(TextUpperCase, KeepsInvalidBytes) {
    EXPECT_EQ(ToUpperCase("a\xFF"
                          "b\xC3"),
              "A\xFF"
              "B\xC3");
    EXPECT_EQ(ToUpperCase("\xE2\x82"
                          "e"),
              "\xE2\x82"
              "E");
}

TEST(TextUpperCase, IgnoresTheProcessLocale) {
    // A Turkish locale would make "i" a dotted capital; the names must not depend on it.
    const std::string before = std::setlocale(LC_ALL, nullptr);
    std::setlocale(LC_ALL, "tr_TR.UTF-8");
    const std::string upper = ToUpperCase("i" + kE);
    std::setlocale(LC_ALL, "C");
    const std::string upperInC = ToUpperCase("i" + kE);
    std::setlocale(LC_ALL, before.c_str());
    EXPECT_EQ(upper, "I\xC3\x89");
    EXPECT_EQ(upperInC, "I\xC3\x89");
}

TEST(TextControl, ReplacesEachControlCharacterByOneQuestionMark) {
    EXPECT_EQ(ReplaceControlChars("a\nb\rc\td"), "a?b?c?d");
    EXPECT_EQ(ReplaceControlChars(std::string("x\0y", 3)), "x?y");
    EXPECT_EQ(ReplaceControlChars("\x7F"
                                  "\xC2\x85"
                                  "\xC2\x9F"),
              "???"); // DEL, NEL, C1 range
    EXPECT_EQ(ReplaceControlChars("\xC2\xA0" + kE + " ~"), "\xC2\xA0" + kE + " ~");
    EXPECT_EQ(ReplaceControlChars("\xC2"), "\xC2");
}

// Outside a valid character, a byte of 0x80 to 0x9F is an 8-bit control (0x9B is CSI); the
// same bytes inside a character are part of it.
TEST(TextControl, EightBitControlsOutsideCharactersAreReplacedToo) {
    EXPECT_EQ(ReplaceControlChars("x\x9B"
                                  "31mred\x80\x9F"),
              "x?31mred??");
    EXPECT_EQ(ReplaceControlChars("\xE2\x82\xAC \xC3\x9C \xF0\x9F\x8E\xB5"),
              "\xE2\x82\xAC \xC3\x9C \xF0\x9F\x8E\xB5"); // euro, U with diaeresis, note
    EXPECT_EQ(ReplaceControlChars("\xE2\x82"), "\xE2?"); // cut short: 0x82 stands alone
    EXPECT_EQ(ReplaceControlChars("\xC0\x9B"), "\xC0?"); // an overlong form is no character
    EXPECT_EQ(ReplaceControlChars("\xA0\xFF\xFE"), "\xA0\xFF\xFE"); // other stray bytes stay
}

TEST(TextPad, PadsOnTheLeftByCharacters) {
    EXPECT_EQ(PadLeft(kClef, 3), "  " + kClef);
    EXPECT_EQ(PadLeft("abcdef", 3), "abcdef");
    EXPECT_EQ(PadLeft("", 2), "  ");
}

TEST(TextTrim, RemovesTheSixWhiteSpaceCharactersAtBothEnds) {
    EXPECT_EQ(TrimWhiteSpace(" \t\r\n\v\fa b\f\v\n\r\t "), "a b");
    EXPECT_EQ(TrimWhiteSpace(" \t "), "");
    EXPECT_EQ(TrimWhiteSpace("\xC2\xA0x"), "\xC2\xA0x"); // no-break space is kept
}

} // namespace
