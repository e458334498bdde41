// The name keys and the search patterns of the catalogue. The input is a pattern and a name
// split at the first NUL byte (a name only when there is none). For every input: the keys are
// valid UTF-8, case never matters, a pattern matches the name it was made from, and a name
// that a glob matches holds every index term of the glob (else the index would lose it).
// For valid UTF-8 without `[`, the glob's answer is fnmatch(3)'s on the keys.
#include "catalogue/NameGrams.h"
#include "catalogue/NameKey.h"
#include "fuzz/FuzzSupport.h"

#include <algorithm>
#include <clocale>
#include <cstddef>
#include <cstdint>
#include <fnmatch.h>
#include <string>
#include <string_view>

namespace {

// Stars beyond this make fnmatch(3) take exponential time; the matcher itself takes any.
constexpr std::size_t kMaxStarsForReference = 6;

// RFC 3629: shortest forms only, no surrogates, nothing above U+10FFFF.
bool IsValidUtf8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        std::size_t length = 0;
        char32_t c = 0;
        if (lead < 0x80) {
            ++i;
            continue;
        }
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
            c = lead & 0x1F;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            c = lead & 0x0F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            c = lead & 0x07;
        } else {
            return false;
        }
        if (text.size() - i < length)
            return false;
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80)
                return false;
            c = (c << 6) | (next & 0x3F);
        }
        const char32_t least = length == 2 ? 0x80 : length == 3 ? 0x800 : 0x10000;
        if (c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
            return false;
        i += length;
    }
    return true;
}

std::string AsciiUpper(std::string_view text) {
    std::string upper(text);
    for (char& c : upper)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return upper;
}

// glibc's fnmatch takes a `?` that follows a `*` for one byte, not one character: "*??" matches
// the one character "\xE2\x84\xA2".
bool FnmatchMiscountsAfterAStar(std::string_view pattern, std::string_view name) {
    const auto ascii = [](char c) { return static_cast<unsigned char>(c) < 0x80; };
    return pattern.find("*?") != std::string_view::npos && !std::ranges::all_of(name, ascii);
}

bool ComparableWithFnmatch(std::string_view pattern, std::string_view name) {
    return IsValidUtf8(pattern) && IsValidUtf8(name) &&
           !FnmatchMiscountsAfterAStar(pattern, name) &&
           pattern.find_first_of(std::string_view("[\0", 2)) == std::string_view::npos &&
           name.find('\0') == std::string_view::npos &&
           static_cast<std::size_t>(std::count(pattern.begin(), pattern.end(), '*')) <=
               kMaxStarsForReference;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // So that fnmatch's `?` is one character, not one byte.
    Require(std::setlocale(LC_ALL, "C.UTF-8") != nullptr);
    return 0;
}

// Whether the name index gives a name of these grams (sorted) as a candidate.
bool IndexGives(const GramLookup& lookup, const std::vector<Gram>& grams) {
    if (lookup.range)
        return std::ranges::any_of(grams, [&](Gram gram) {
            return gram >= lookup.range->first && gram <= lookup.range->second;
        });
    return std::ranges::includes(grams, lookup.all);
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t split = input.find('\0');
    const std::string_view pattern = input.substr(0, split);
    const std::string_view name = split == std::string_view::npos ? input : input.substr(split + 1);

    const NamePattern parsed = ParsePattern(pattern);
    const std::string key = SearchKey(name);
    Require(IsValidUtf8(parsed.key) && IsValidUtf8(key));
    Require(SearchKey(AsciiUpper(name)) == key);
    Require(GlobMatches(ParsePattern(name).key, key));

    const bool matches = GlobMatches(parsed.key, key);
    const bool holds = key.find(parsed.key) != std::string::npos;
    if (parsed.glob ? matches : holds)
        Require(IndexGives(LookupFor(parsed), KeyGrams(key)));

    if (ComparableWithFnmatch(pattern, name))
        Require(matches == (fnmatch(parsed.key.c_str(), key.c_str(), FNM_NOESCAPE) == 0));
    return 0;
}
