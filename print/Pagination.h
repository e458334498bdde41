#pragma once

#include "engine/FolderEntry.h"

#include <vector>

// The entries that one Standard page or one case-insert panel shows.
struct PageSpan {
    int first = 0;
    // Index of the last entry shown; first - 1 when the span shows none.
    int last = -1;
    // 0 when every comment line of the span's entries fits on it; else the number (1 to 3) of
    // the first comment of the last entry that continues at the top of the next span.
    int overflowKind = 0;
    bool operator==(const PageSpan&) const = default;
};

// Lines of the first span of a job and of every later one.
struct SpanCapacity {
    int first = 0;
    int later = 0;
    bool operator==(const SpanCapacity&) const = default;
};

// The lines of a span: an entry is one line, each comment line shown under it one more. The
// two-column setting doubles a panel of the case inserts and is ignored on the Standard page.
SpanCapacity LayoutCapacity(int printAs, bool twoColumn);
// The pages (sheets of two panels for the case inserts) that `spans` spans fill.
int PagesForSpans(int spans, int printAs);
// The lines the listing prints: every entry, plus each non-empty comment line when comments
// are shown.
int CountListingLines(const EntryList& entries, bool addComments);

// Places entries from `start` on a span of `capacity` lines whose top already holds `carry`
// comment lines of the previous span's last entry. Returns the index of the last entry placed
// (start - 1 when none); `carry` becomes the comment positions of that entry that did not fit
// and `kind` the number of the first of them (0 when all fit).
int FitEntries(const EntryList& entries, int start, int capacity, int& carry, int& kind);
// The spans of a job, `spanCount` of them, in order.
std::vector<PageSpan> BuildPageTable(const EntryList& entries, int spanCount, SpanCapacity capacity,
                                     bool addComments);
// The spans of a job: those that placing every entry takes, with the comment lines that
// continue after the last entry; one for an empty listing. Without comments that is 1 up to
// the first span's capacity, then one more for each later capacity begun; with comments it can
// be more than the line count alone asks for, as carried positions may hold no line.
int CountSpansToPlace(const EntryList& entries, SpanCapacity capacity, bool addComments);
