#include "Text.h"

#include <algorithm>
#include <locale.h>
#include <wctype.h>

namespace {

// One character of a UTF-8 text: its code point and its length in bytes. An invalid byte
// (a stray continuation byte, an overlong form, a surrogate, a code point above U+10FFFF or a
// truncated sequence) is a character of its own, one byte long, without a code point.
struct Utf8Char {
    char32_t codePoint;
    std::size_t length;
    bool valid;
};

constexpr bool IsContinuation(unsigned char byte) {
    return (byte & 0xC0) == 0x80;
}

// The length a lead byte announces, with the smallest code point that length may carry.
struct LeadInfo {
    std::size_t length;
    char32_t minimum;
    char32_t bits;
};

constexpr LeadInfo ReadLead(unsigned char byte) {
    if (byte < 0x80)
        return {1, 0, byte};
    if ((byte & 0xE0) == 0xC0)
        return {2, 0x80, static_cast<char32_t>(byte & 0x1F)};
    if ((byte & 0xF0) == 0xE0)
        return {3, 0x800, static_cast<char32_t>(byte & 0x0F)};
    if ((byte & 0xF8) == 0xF0)
        return {4, 0x10000, static_cast<char32_t>(byte & 0x07)};
    return {0, 0, 0};
}

Utf8Char DecodeAt(std::string_view text, std::size_t pos) {
    const auto lead = static_cast<unsigned char>(text[pos]);
    const LeadInfo info = ReadLead(lead);
    const Utf8Char invalid{lead, 1, false};
    if (info.length == 0 || pos + info.length > text.size())
        return invalid;
    char32_t cp = info.bits;
    for (std::size_t i = 1; i < info.length; ++i) {
        const auto byte = static_cast<unsigned char>(text[pos + i]);
        if (!IsContinuation(byte))
            return invalid;
        cp = (cp << 6) | (byte & 0x3F);
    }
    if (cp < info.minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return invalid;
    return {cp, info.length, true};
}

inline std::size_t CharLengthAt(std::string_view text, std::size_t pos) {
    return static_cast<unsigned char>(text[pos]) < 0x80 ? 1 : DecodeAt(text, pos).length;
}

// The byte offset after the first `count` characters (the size when the text is shorter).
std::size_t OffsetOfChar(std::string_view text, std::size_t count) {
    std::size_t pos = 0;
    for (std::size_t n = 0; n < count && pos < text.size(); ++n)
        pos += CharLengthAt(text, pos);
    return pos;
}

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// Case rules that do not depend on the user's locale: the Unicode tables of C.UTF-8. Without
// that locale only a-z have an upper case.
locale_t UnicodeCaseLocale() {
    static const locale_t locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t{});
    return locale;
}

char32_t SimpleUpperCase(char32_t cp) {
    if (cp < 0x80)
        return (cp >= 'a' && cp <= 'z') ? cp - ('a' - 'A') : cp;
    const locale_t locale = UnicodeCaseLocale();
    if (locale == locale_t{})
        return cp;
    return static_cast<char32_t>(towupper_l(static_cast<wint_t>(cp), locale));
}

// Each valid code point of `text` through `map`; invalid bytes copied as they are.
template <typename Map> std::string MapCodePoints(std::string_view text, Map map) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t pos = 0; pos < text.size();) {
        const Utf8Char c = DecodeAt(text, pos);
        if (c.valid)
            AppendUtf8(out, map(c.codePoint));
        else
            out += text[pos];
        pos += c.length;
    }
    return out;
}

constexpr bool IsControl(char32_t cp) {
    return cp < 0x20 || (cp >= 0x7F && cp <= 0x9F);
}

// A byte of 0x80 to 0x9F that is no part of a character: a terminal that takes 8-bit controls
// (0x9B is CSI) would obey it as one.
constexpr bool IsEightBitControl(unsigned char byte) {
    return byte >= 0x80 && byte <= 0x9F;
}

// Whether a byte may belong to a control character (U+0080 to U+009F begin with 0xC2) or be
// an 8-bit one.
constexpr bool MayStartControl(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7F || byte == 0xC2 || IsEightBitControl(byte);
}

constexpr bool IsWhiteSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

} // namespace

std::size_t CountChars(std::string_view text) {
    std::size_t count = 0;
    for (std::size_t pos = 0; pos < text.size(); pos += CharLengthAt(text, pos))
        ++count;
    return count;
}

std::string FirstChars(std::string_view text, std::size_t count) {
    return std::string(text.substr(0, OffsetOfChar(text, count)));
}

std::string LastChars(std::string_view text, std::size_t count) {
    const std::size_t total = CountChars(text);
    if (total <= count)
        return std::string(text);
    return std::string(text.substr(OffsetOfChar(text, total - count)));
}

std::string ToUpperCase(std::string_view text) {
    return MapCodePoints(text, SimpleUpperCase);
}

std::u32string DecodeLenient(std::string_view text) {
    std::u32string out;
    out.reserve(text.size());
    for (std::size_t pos = 0; pos < text.size();) {
        const Utf8Char c = DecodeAt(text, pos);
        out += c.valid ? c.codePoint : 0xDC00 + static_cast<unsigned char>(text[pos]);
        pos += c.length;
    }
    return out;
}

std::string EncodeUtf8(std::u32string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char32_t cp : text)
        AppendUtf8(out, cp);
    return out;
}

LeadingChar ReadLeadingChar(std::string_view text) {
    if (text.empty())
        return {0, false};
    const Utf8Char c = DecodeAt(text, 0);
    return c.valid ? LeadingChar{c.length, IsControl(c.codePoint)} : LeadingChar{0, false};
}

std::string ReplaceControlChars(std::string_view text) {
    if (std::none_of(text.begin(), text.end(), MayStartControl))
        return std::string(text);
    std::string out;
    out.reserve(text.size());
    for (std::size_t pos = 0; pos < text.size();) {
        const Utf8Char c = DecodeAt(text, pos);
        if (c.valid ? IsControl(c.codePoint)
                    : IsEightBitControl(static_cast<unsigned char>(text[pos])))
            out += '?';
        else
            out.append(text.substr(pos, c.length));
        pos += c.length;
    }
    return out;
}

std::string PadLeft(std::string_view text, std::size_t width) {
    const std::size_t length = CountChars(text);
    std::string out(length < width ? width - length : 0, ' ');
    out += text;
    return out;
}

std::string TrimWhiteSpace(std::string_view text) {
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && IsWhiteSpace(text[begin]))
        ++begin;
    while (end > begin && IsWhiteSpace(text[end - 1]))
        --end;
    return std::string(text.substr(begin, end - begin));
}
