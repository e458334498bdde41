#include "NameGrams.h"

#include "catalogue/FindSql.h"
#include "catalogue/PackedNumbers.h"

#include <algorithm>
#include <map>
#include <stdexcept>

namespace {

constexpr std::size_t kFirstSlots = 4096;

// A gram's first slot: Fibonacci hashing, whose high bits mix all of the gram's.
std::size_t SlotOf(Gram gram, std::size_t mask) {
    return static_cast<std::size_t>((std::uint64_t{gram} * 0x9E3779B97F4A7C15u) >> 32) & mask;
}

Gram GramAt(std::string_view bytes, std::size_t at) {
    return Gram{static_cast<unsigned char>(bytes[at])} << 16 |
           Gram{static_cast<unsigned char>(bytes[at + 1])} << 8 |
           Gram{static_cast<unsigned char>(bytes[at + 2])};
}

// The key with the frame: one byte before it and two after, so that every byte of the key
// begins a gram.
std::string Framed(std::string_view key) {
    std::string framed;
    framed.reserve(key.size() + 3);
    framed += static_cast<char>(kKeyFrame);
    framed += key;
    framed.append(2, static_cast<char>(kKeyFrame));
    return framed;
}

void AddGrams(std::string_view bytes, std::vector<Gram>& grams) {
    for (std::size_t i = 0; i + 3 <= bytes.size(); ++i)
        grams.push_back(GramAt(bytes, i));
}

// The literal runs of a glob's key between its wildcards, framed where they touch the start or
// the end of the name.
std::vector<std::string> GlobRuns(const std::string& key) {
    std::vector<std::string> runs;
    std::string run(1, static_cast<char>(kKeyFrame));
    const auto push = [&] {
        if (run.find_first_not_of(static_cast<char>(kKeyFrame)) != std::string::npos)
            runs.push_back(run);
        run.clear();
    };
    for (const char c : key) {
        if (c == '*' || c == '?')
            push();
        else
            run += c;
    }
    run.append(2, static_cast<char>(kKeyFrame));
    push();
    return runs;
}

// Ids that are in both, ascending.
std::vector<std::int64_t> Common(const std::vector<std::int64_t>& a,
                                 const std::vector<std::int64_t>& b) {
    std::vector<std::int64_t> both;
    std::ranges::set_intersection(a, b, std::back_inserter(both));
    return both;
}

void SortUnique(std::vector<std::int64_t>& ids) {
    std::ranges::sort(ids);
    ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
}

} // namespace

const std::vector<std::string> kNameIndexColumns = {"medium", "gram", "part", "ids"};

std::vector<Gram> KeyGrams(std::string_view key) {
    std::vector<Gram> grams;
    AddGrams(Framed(key), grams);
    std::ranges::sort(grams);
    grams.erase(std::unique(grams.begin(), grams.end()), grams.end());
    return grams;
}

void DecodeIds(std::string_view blob, std::vector<std::int64_t>& ids) {
    std::uint64_t id = 0;
    for (std::size_t at = 0; at < blob.size();) {
        const auto step = ReadPackedNumber(blob, at);
        if (!step || (*step == 0 && !ids.empty()))
            throw CatalogueError("The catalogue's name index is damaged.");
        id += *step;
        ids.push_back(static_cast<std::int64_t>(id));
    }
}

GramLookup LookupFor(const NamePattern& pattern) {
    std::vector<std::string> runs;
    if (pattern.glob)
        runs = GlobRuns(pattern.key);
    else if (!pattern.key.empty())
        runs.push_back(pattern.key);
    GramLookup lookup;
    for (const std::string& run : runs)
        AddGrams(run, lookup.all);
    std::ranges::sort(lookup.all);
    lookup.all.erase(std::unique(lookup.all.begin(), lookup.all.end()), lookup.all.end());
    if (!lookup.all.empty() || runs.empty())
        return lookup;
    // Runs of one or two bytes, each beginning with a byte of the key or the frame before it:
    // the longest begins the grams of a range.
    const std::string& longest = *std::ranges::max_element(runs, {}, &std::string::size);
    const Gram first = GramAt(longest + std::string(2, '\0'), 0);
    lookup.range = std::pair(first, first | (longest.size() == 1 ? 0xFFFF : 0xFF));
    return lookup;
}

NameIndexBuilder::NameIndexBuilder(IConnection& db, std::string table, std::int64_t medium,
                                   std::size_t partBytes)
    : m_db(db), m_table(std::move(table)), m_medium(medium), m_slots(kFirstSlots),
      m_partBytes(partBytes) {}

NameIndexBuilder::Ids& NameIndexBuilder::ListOf(Gram gram) {
    const std::size_t mask = m_slots.size() - 1;
    for (std::size_t at = SlotOf(gram, mask);; at = (at + 1) & mask) {
        if (m_slots[at] == 0) {
            m_lists.push_back({gram, 0, {}});
            m_slots[at] = static_cast<std::uint32_t>(m_lists.size());
            if (2 * m_lists.size() > m_slots.size())
                Grow();
            return m_lists.back();
        }
        if (m_lists[m_slots[at] - 1].gram == gram)
            return m_lists[m_slots[at] - 1];
    }
}

void NameIndexBuilder::Grow() {
    std::vector<std::uint32_t> slots(2 * m_slots.size());
    const std::size_t mask = slots.size() - 1;
    for (std::size_t i = 0; i < m_lists.size(); ++i) {
        std::size_t at = SlotOf(m_lists[i].gram, mask);
        while (slots[at] != 0)
            at = (at + 1) & mask;
        slots[at] = static_cast<std::uint32_t>(i + 1);
    }
    m_slots = std::move(slots);
}

void NameIndexBuilder::Add(std::int64_t id, std::string_view key) {
    if (id <= m_lastId)
        throw std::logic_error("name index: ids out of order");
    m_lastId = id;
    // The framed key, a byte at a time: the frame, the key, the frame twice.
    Gram gram = kKeyFrame;
    for (std::size_t i = 0; i < key.size() + 2; ++i) {
        const unsigned char next = i < key.size() ? static_cast<unsigned char>(key[i]) : kKeyFrame;
        gram = (gram << 8 | next) & 0xFFFFFF;
        if (i == 0)
            continue;
        Ids& list = ListOf(gram);
        if (list.last == id)
            continue; // the gram is twice in the name
        const std::size_t before = list.bytes.size();
        AppendPackedNumber(list.bytes, static_cast<std::uint64_t>(id - list.last));
        list.last = id;
        m_heldBytes += list.bytes.size() - before;
    }
}

bool NameIndexBuilder::PartDue() const {
    return m_heldBytes >= m_partBytes;
}

// Lists of one part begin again from 0, so that each part reads alone.
void NameIndexBuilder::WritePart() {
    if (m_lists.empty())
        return;
    auto rows = m_db.BeginLoad(m_table, kNameIndexColumns);
    for (Ids& list : m_lists)
        rows->Row({m_medium, static_cast<std::int64_t>(list.gram), m_part,
                   SqlBytes{std::move(list.bytes)}});
    rows->Finish();
    m_lists.clear();
    std::ranges::fill(m_slots, 0);
    m_heldBytes = 0;
    ++m_part;
}

std::vector<std::int64_t> LookUpCandidates(IConnection& db, const std::string& table,
                                           std::int64_t medium, const GramLookup& lookup) {
    if (!lookup.Usable())
        throw std::logic_error("name index: a look-up of nothing");
    std::string grams;
    if (lookup.range) {
        grams = "gram BETWEEN " + std::to_string(lookup.range->first) + " AND " +
                std::to_string(lookup.range->second);
    } else {
        const std::vector<std::int64_t> numbers(lookup.all.begin(), lookup.all.end());
        grams = "gram IN (" + NumberList(numbers) + ")";
    }
    // The ids gram by gram, part after part: the builder took the ids in ascending order, so
    // each part's follow the last part's and a gram's list comes out ascending.
    std::map<Gram, std::vector<std::int64_t>> lists;
    db.Query("SELECT gram, ids FROM " + table + " WHERE medium = " + std::to_string(medium) +
                 " AND " + grams + " ORDER BY gram, part",
             {}, [&](const SqlRow& row) {
                 DecodeIds(row.Text(1), lists[static_cast<Gram>(row.Int(0))]);
                 return true;
             });
    std::vector<std::int64_t> ids;
    if (lookup.range) {
        for (auto& [gram, list] : lists)
            ids.insert(ids.end(), list.begin(), list.end());
        SortUnique(ids);
        return ids;
    }
    if (lists.size() < lookup.all.size())
        return ids; // a gram that no name of the medium holds
    std::vector<std::vector<std::int64_t>*> shortestFirst;
    for (auto& [gram, list] : lists)
        shortestFirst.push_back(&list);
    std::ranges::sort(shortestFirst, {}, [](const auto* list) { return list->size(); });
    ids = std::move(*shortestFirst.front());
    for (std::size_t i = 1; i < shortestFirst.size() && !ids.empty(); ++i)
        ids = Common(ids, *shortestFirst[i]);
    return ids;
}
