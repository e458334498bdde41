#include "CaseFolding.h"

#include <algorithm>
#include <iterator>

namespace {

constexpr CaseFold kFolds[] = {
#include "CaseFoldingTable.inc"
};

static_assert(std::size(kFolds) > 128);

} // namespace

char32_t SimpleCaseFold(char32_t c) {
    if (c < 0x80)
        return (c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c;
    const auto* fold =
        std::lower_bound(std::begin(kFolds), std::end(kFolds), c,
                         [](const CaseFold& f, char32_t value) { return f.from < value; });
    return fold != std::end(kFolds) && fold->from == c ? fold->to : c;
}

char32_t FoldedAwayChar(std::size_t index) {
    return kFolds[index].from;
}

std::span<const CaseFold> SimpleCaseFolds() {
    return kFolds;
}
