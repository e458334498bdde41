#include "Pagination.h"

#include "engine/ListingOptions.h"

#include <algorithm>

SpanCapacity LayoutCapacity(int printAs, bool twoColumn) {
    SpanCapacity capacity{70, 80};
    if (printAs == kPrintCD)
        capacity = {29, 32};
    else if (printAs == kPrintZip)
        capacity = {20, 24};
    if (twoColumn && IsCaseInsertLayout(printAs))
        capacity = {2 * capacity.first, 2 * capacity.later};
    return capacity;
}

int PagesForSpans(int spans, int printAs) {
    return IsCaseInsertLayout(printAs) ? (spans + 1) / 2 : spans;
}

int CountListingLines(const EntryList& entries, bool addComments) {
    int lines = static_cast<int>(entries.size());
    if (addComments)
        for (const auto& entry : entries)
            lines += entry->m_comments.CountNonEmpty();
    return lines;
}

int FitEntries(const EntryList& entries, int start, int capacity, int& carry, int& kind) {
    const int count = static_cast<int>(entries.size());
    int limit = start + capacity - carry;
    carry = 0;
    kind = 0;
    int i = start;
    for (; i < count && i < limit; ++i) {
        const CFolderEntry& entry = *entries[static_cast<std::size_t>(i)];
        for (int number = 1; number <= 3; ++number) {
            if (!entry.m_comments.Line(number).empty())
                --limit;
            // Once one comment runs over, every later position of the entry is carried too.
            if (i >= limit) {
                ++carry;
                if (kind == 0)
                    kind = number;
            }
        }
    }
    return i - 1;
}

namespace {

// Fills one span from `first`, passing the comment carry on to the next.
PageSpan FillSpan(const EntryList& entries, int first, int capacity, bool addComments, int& carry) {
    PageSpan span{first, first - 1, 0};
    if (addComments) {
        span.last = FitEntries(entries, first, capacity, carry, span.overflowKind);
    } else {
        const int count = static_cast<int>(entries.size());
        span.last = std::min(count, first + capacity) - 1;
    }
    return span;
}

} // namespace

std::vector<PageSpan> BuildPageTable(const EntryList& entries, int spanCount, SpanCapacity capacity,
                                     bool addComments) {
    std::vector<PageSpan> table;
    table.reserve(static_cast<std::size_t>(std::max(spanCount, 0)));
    int carry = 0;
    int first = 0;
    for (int i = 0; i < spanCount; ++i) {
        const int lines = i == 0 ? capacity.first : capacity.later;
        table.push_back(FillSpan(entries, first, lines, addComments, carry));
        first = table.back().last + 1;
    }
    return table;
}

int CountSpansToPlace(const EntryList& entries, SpanCapacity capacity, bool addComments) {
    const int count = static_cast<int>(entries.size());
    int carry = 0;
    int first = 0;
    int spans = 0;
    do {
        const int lines = spans == 0 ? capacity.first : capacity.later;
        first = FillSpan(entries, first, lines, addComments, carry).last + 1;
        ++spans;
    } while (first < count || carry > 0);
    return spans;
}
