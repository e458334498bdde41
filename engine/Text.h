#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Names are UTF-8 bytes as the directory gave them. Every length, limit, cut and padding
// counts characters: code points, an invalid byte counting as one; a cut never splits one.

// The number of characters of `text`.
std::size_t CountChars(std::string_view text);
// The first `count` characters of `text` (all of it when shorter).
std::string FirstChars(std::string_view text, std::size_t count);
// The last `count` characters of `text` (all of it when shorter).
std::string LastChars(std::string_view text, std::size_t count);
// Each code point to its Unicode simple upper case, the same on every locale; invalid bytes
// stay as they are.
std::string ToUpperCase(std::string_view text);
// The code points of `text`, an invalid byte b becoming U+DC00 + b (a lone surrogate, which
// valid text never holds), so that every character stays apart from every other.
std::u32string DecodeLenient(std::string_view text);
// `text` in UTF-8.
std::string EncodeUtf8(std::u32string_view text);
// Control characters (below U+0020, and U+007F to U+009F) replaced by "?", one for each; so
// is a byte of 0x80 to 0x9F that is no part of a valid character (an 8-bit control).
std::string ReplaceControlChars(std::string_view text);
// The first character of `text` when it is valid UTF-8: its length in bytes and whether it is
// a control character (as above). A length of 0 when the first byte is invalid or `text` is
// empty.
struct LeadingChar {
    std::size_t length;
    bool control;
};
LeadingChar ReadLeadingChar(std::string_view text);
// Blanks before `text` up to `width` characters (a longer text is not cut).
std::string PadLeft(std::string_view text, std::size_t width);
// `text` without leading and trailing blank, tab, CR, LF, VT and FF.
std::string TrimWhiteSpace(std::string_view text);
