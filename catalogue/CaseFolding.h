#pragma once

#include <cstddef>
#include <span>

// Unicode's simple case folding (the C and S mappings of CaseFolding.txt): each character to
// the one character its case variants share, the same on every locale. `İ` and `ı` fold to
// themselves, `ß` stays one character. Folding a folded character changes nothing.
char32_t SimpleCaseFold(char32_t c);

// The characters that folding changes (so that no folded text holds them), counted from 0 in
// code point order; `index` below 128.
char32_t FoldedAwayChar(std::size_t index);

// One mapping of simple case folding.
struct CaseFold {
    char32_t from;
    char32_t to;
};

// Every character that folding changes, with what it folds to, in code point order.
std::span<const CaseFold> SimpleCaseFolds();
