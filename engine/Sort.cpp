#include "engine/CatalogriumDoc.h"

#include "engine/Format.h"
#include "engine/ProgressNote.h"
#include "engine/Text.h"

#include <algorithm>
#include <string_view>
#include <vector>

namespace {

// An entry with its sort key, worked out once before the sort. Numeric keys (size, attribute
// bits, local time) are held in `high` as unsigned numbers in the order of the key. Text keys
// (the name, folded, or the extension) keep their first 16 bytes in `high` and `low`,
// big-endian and padded with zeros, so that most comparisons never reach the entry itself;
// `offset` and `length` give the whole text within the name.
struct SortItem {
    std::unique_ptr<CFolderEntry> entry;
    std::uint64_t high = 0;
    std::uint64_t low = 0;
    std::uint32_t offset = 0;
    std::uint32_t length = 0;
};

using SortItems = std::vector<SortItem>;

constexpr std::size_t kHeadBytes = 16;

// A signed number as an unsigned one in the same order.
constexpr std::uint64_t OrderedAsUnsigned(std::int64_t value) {
    return static_cast<std::uint64_t>(value) ^ (std::uint64_t{1} << 63);
}

// The local calendar time to the second, packed so that later times give greater numbers.
// Calendar fields rather than seconds since 1970: two moments of the hour repeated when summer
// time ends compare by their local clock readings.
std::int64_t CalendarOrder(const std::tm& t) {
    std::int64_t order = t.tm_year;
    order = order * 16 + t.tm_mon;
    order = order * 32 + t.tm_mday;
    order = order * 32 + t.tm_hour;
    order = order * 64 + t.tm_min;
    return order * 64 + t.tm_sec;
}

// The extension is the name from its first "." on; a name without one is its own extension.
std::size_t ExtensionOffset(const std::string& name) {
    const std::size_t dot = name.find('.');
    return dot == std::string::npos ? 0 : dot;
}

constexpr unsigned char FoldAsciiCase(unsigned char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + ('a' - 'A')) : c;
}

unsigned char ByteOfKey(SortKey key, char c) {
    const auto byte = static_cast<unsigned char>(c);
    return key == kSortName ? FoldAsciiCase(byte) : byte;
}

void SetTextKey(SortItem& item, SortKey key, std::size_t offset) {
    const std::string_view text = std::string_view(item.entry->m_strName).substr(offset);
    std::uint64_t head[2] = {0, 0};
    for (std::size_t i = 0; i < kHeadBytes; ++i) {
        const unsigned char byte = i < text.size() ? ByteOfKey(key, text[i]) : 0;
        head[i / 8] = head[i / 8] << 8 | byte;
    }
    item.high = head[0];
    item.low = head[1];
    item.offset = static_cast<std::uint32_t>(offset);
    item.length = static_cast<std::uint32_t>(text.size());
}

void SetSortKey(SortItem& item, SortKey key) {
    const CFolderEntry& entry = *item.entry;
    switch (key) {
    case kSortSize:
        item.high = entry.m_nSize;
        return;
    case kSortAttribute:
        item.high = OrderedAsUnsigned(static_cast<std::int32_t>(entry.m_dwAttributes));
        return;
    case kSortTime:
        item.high = OrderedAsUnsigned(CalendarOrder(FileLocalTime(entry.m_ftLastWrite)));
        return;
    case kSortName:
        SetTextKey(item, key, 0);
        return;
    case kSortExtension:
        SetTextKey(item, key, ExtensionOffset(entry.m_strName));
        return;
    case kSortUnsorted:
        return;
    }
}

std::string_view TextBeyondHead(const SortItem& item) {
    return std::string_view(item.entry->m_strName).substr(item.offset + kHeadBytes);
}

// Byte by byte as unsigned values (names with A-Z folded to a-z); a text that is a prefix of
// the other comes first.
bool TextLess(SortKey key, const SortItem& a, const SortItem& b) {
    if (a.high != b.high)
        return a.high < b.high;
    if (a.low != b.low)
        return a.low < b.low;
    if (a.length <= kHeadBytes || b.length <= kHeadBytes)
        return a.length < b.length;
    const std::string_view restA = TextBeyondHead(a);
    const std::string_view restB = TextBeyondHead(b);
    return std::lexicographical_compare(
        restA.begin(), restA.end(), restB.begin(), restB.end(),
        [key](char x, char y) { return ByteOfKey(key, x) < ByteOfKey(key, y); });
}

// Whether `a` has the smaller key.
bool KeyLess(SortKey key, const SortItem& a, const SortItem& b) {
    switch (key) {
    case kSortSize:
    case kSortAttribute:
    case kSortTime:
        return a.high < b.high;
    case kSortName:
    case kSortExtension:
        return TextLess(key, a, b);
    case kSortUnsorted:
        return false;
    }
    return false;
}

// Equal keys keep their order in both directions.
void StableSortByKey(SortItems::iterator first, SortItems::iterator last, SortKey key,
                     bool descend) {
    std::stable_sort(first, last, [key, descend](const SortItem& a, const SortItem& b) {
        return descend ? KeyLess(key, b, a) : KeyLess(key, a, b);
    });
}

// Folders come first in the reverse of their order in the scan list (which holds them reversed,
// so they stand in search order again), then the files in their order.
SortItems FoldersFirst(ScanList& scanList) {
    SortItems items;
    items.reserve(scanList.size());
    for (auto it = scanList.rbegin(); it != scanList.rend(); ++it)
        if ((*it)->IsFolder())
            items.push_back({std::move(*it)});
    for (auto& entry : scanList)
        if (entry && !entry->IsFolder())
            items.push_back({std::move(entry)});
    scanList.clear();
    return items;
}

// Folders and files are sorted apart (folders keep their order by extension), and the bar
// steps once for every file, never for a folder. A key above the last one orders nothing.
void SortFoldersAndFiles(SortItems& items, bool descend, int sortBy, IProgressNote& progress) {
    const auto files = std::partition_point(items.begin(), items.end(),
                                            [](const SortItem& i) { return i.entry->IsFolder(); });
    if (sortBy <= kSortTime) {
        const auto key = static_cast<SortKey>(sortBy);
        for (auto& item : items)
            SetSortKey(item, key);
        if (key != kSortExtension)
            StableSortByKey(items.begin(), files, key, descend);
        StableSortByKey(files, items.end(), key, descend);
    }
    for (auto it = files; it != items.end(); ++it)
        progress.StepIt();
}

} // namespace

void CCatalogriumDoc::SortEntries(bool descend, int sortBy) {
    const int count = static_cast<int>(m_scanList.size());
    m_progress.RemoveProgress();
    if (!m_pOptions)
        return;
    m_progress.BeginProgress();
    m_progress.SetRange(0, count);
    m_progress.SetStep(count);
    m_progress.SetStep(1);
    m_progress.SetStatusText("Sorting......");
    m_progress.BeginWaitCursor();

    if (m_pOptions->m_bUpperCase)
        for (auto& entry : m_scanList)
            entry->m_strName = ToUpperCase(entry->m_strName);
    SortItems items = FoldersFirst(m_scanList);
    if (sortBy > kSortUnsorted)
        SortFoldersAndFiles(items, descend, sortBy, m_progress);

    m_progress.EndWaitCursor();
    m_progress.RemoveProgress();
    m_entryList.reserve(m_entryList.size() + items.size());
    for (auto& item : items)
        m_entryList.push_back(std::move(item.entry));
}
