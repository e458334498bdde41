#include "NameKey.h"

#include "catalogue/CaseFolding.h"
#include "engine/Text.h"

namespace {

// Decoding gives an invalid byte b (always 0x80 to 0xFF) as the lone surrogate U+DC00 + b; in a
// key it becomes the private character U+10FF00 + b, which keeps the key valid UTF-8.
constexpr char32_t kFirstEscapedByte = 0xDC80;
constexpr char32_t kLastEscapedByte = 0xDCFF;
constexpr char32_t kFirstByteInKey = 0x10FF80;

// One character of a name or pattern in key form: its simple case folding. A name's own
// U+10FF80 to U+10FFFF, which would meet the invalid bytes, becomes instead a character that
// folding never leaves, so that no two characters share a key character.
char32_t KeyChar(char32_t c) {
    if (c >= kFirstEscapedByte && c <= kLastEscapedByte)
        return kFirstByteInKey + (c - kFirstEscapedByte);
    const char32_t folded = SimpleCaseFold(c);
    return folded >= kFirstByteInKey ? FoldedAwayChar(folded - kFirstByteInKey) : folded;
}

std::u32string KeyChars(std::string_view text) {
    std::u32string chars = DecodeLenient(text);
    for (char32_t& c : chars)
        c = KeyChar(c);
    return chars;
}

bool IsWildcard(char32_t c) {
    return c == U'*' || c == U'?';
}

} // namespace

// Most names are ASCII, whose folding needs no tables.
std::string SearchKey(std::string_view name) {
    std::string key(name);
    for (char& c : key) {
        if (static_cast<unsigned char>(c) >= 0x80)
            return EncodeUtf8(KeyChars(name));
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return key;
}

NamePattern ParsePattern(std::string_view pattern) {
    const std::u32string chars = KeyChars(pattern);
    NamePattern parsed;
    for (const char32_t c : chars)
        parsed.glob = parsed.glob || IsWildcard(c);
    parsed.key = EncodeUtf8(chars);
    return parsed;
}

// Matching that backtracks only to the last star: linear in practice, never exponential.
bool GlobMatches(std::string_view patternKey, std::string_view key) {
    const std::u32string p = DecodeLenient(patternKey);
    const std::u32string s = DecodeLenient(key);
    std::size_t pi = 0;
    std::size_t si = 0;
    std::size_t star = std::u32string::npos;
    std::size_t resume = 0;
    while (si < s.size()) {
        if (pi < p.size() && p[pi] == U'*') {
            star = pi++;
            resume = si;
        } else if (pi < p.size() && (p[pi] == U'?' || p[pi] == s[si])) {
            ++pi;
            ++si;
        } else if (star != std::u32string::npos) {
            pi = star + 1;
            si = ++resume;
        } else {
            return false;
        }
    }
    while (pi < p.size() && p[pi] == U'*')
        ++pi;
    return pi == p.size();
}
