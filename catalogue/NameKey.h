#pragma once

#include <string>
#include <string_view>

// The form of a name that searches compare: each character folded to one case (Unicode simple
// folding, the same on every locale) and every invalid byte made a valid private character of
// its own, so the key is valid UTF-8 that a text index accepts and no two names that differ
// other than by case share a key.
std::string SearchKey(std::string_view name);

// A search pattern, taken apart for the index and for checking candidates.
struct NamePattern {
    bool glob = false; // `*`/`?` over the whole name; otherwise a substring
    std::string key;   // the pattern in key form
};

NamePattern ParsePattern(std::string_view pattern);

// Whether `key` (a name's key) matches the glob pattern `patternKey`: `*` any run of
// characters, `?` exactly one.
bool GlobMatches(std::string_view patternKey, std::string_view key);
