#pragma once

#include "catalogue/Connection.h"
#include "catalogue/NameKey.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The name index. A key is framed by a byte that no key holds (keys are valid UTF-8, which never
// holds 0xFF), once before it and twice after, and every run of three bytes of the framed key is
// a gram. For each medium and
// gram the index keeps the ids of the entries whose key holds it, ascending, as the differences
// between them in LEB128 bytes: a row (medium, gram, part, ids) per gram and part, a part being
// what one add wrote at a time.
//
// Thanks to the frame, every byte of a key begins a gram: a name that holds "ab" holds a gram
// "ab?", one that holds "a" a gram "a??", and one that begins with "a" the gram "\xFFa?".
using Gram = std::uint32_t;

inline constexpr unsigned char kKeyFrame = 0xFF;

// The distinct grams of `key`, ascending.
std::vector<Gram> KeyGrams(std::string_view key);

// Ids ascending, from `blob` appended to `ids`. Throws CatalogueError when the bytes are not a
// list of ascending ids.
void DecodeIds(std::string_view blob, std::vector<std::int64_t>& ids);

// What the index can tell of the names that match a pattern.
struct GramLookup {
    // Every match holds all of these grams (none when the pattern has no three bytes in a row).
    std::vector<Gram> all;
    // Otherwise every match holds one of the grams first..last: those that a run of one or two
    // bytes begins.
    std::optional<std::pair<Gram, Gram>> range;
    bool Usable() const { return !all.empty() || range.has_value(); }
};

// The grams that every name matching `pattern` holds. A glob's literal runs next to its start
// or end are framed, as the keys are.
GramLookup LookupFor(const NamePattern& pattern);

// The table of the name index: (medium, gram, part, ids).
inline constexpr const char* kNameIndexTable = "name_grams";

// The lists held in memory before a part is written: 16 MiB of ids, about 10 million entries'
// worth of names.
inline constexpr std::size_t kNameIndexPartBytes = std::size_t{16} << 20;

// Builds one medium's index while its entries are added, in ascending order of ids. The lists
// are held in memory until a part is written: the caller writes one whenever PartDue says so
// (between its own bulk loads), so that an add's memory stays the same whatever the size of
// the medium, and once at the end.
class NameIndexBuilder {
public:
    // A part is due once the lists held reach `partBytes`.
    NameIndexBuilder(IConnection& db, std::string table, std::int64_t medium,
                     std::size_t partBytes = kNameIndexPartBytes);

    // Throws std::logic_error when `id` is not above the last one added.
    void Add(std::int64_t id, std::string_view key);
    bool PartDue() const;
    // Writes the lists held in memory, in a bulk load of its own.
    void WritePart();

private:
    struct Ids {
        Gram gram = 0;
        std::int64_t last = 0;
        std::string bytes;
    };
    Ids& ListOf(Gram gram);
    void Grow();

    IConnection& m_db;
    std::string m_table;
    std::int64_t m_medium;
    std::int64_t m_lastId = 0;
    // The lists, found through an open-addressed table of their places plus one (0: free), as
    // a gram is looked up for every byte of every name.
    std::vector<Ids> m_lists;
    std::vector<std::uint32_t> m_slots;
    std::size_t m_partBytes;
    std::size_t m_heldBytes = 0;
    std::int64_t m_part = 0;
};

// The columns of the index's table.
extern const std::vector<std::string> kNameIndexColumns;

// The ids of the entries of `medium` that hold what `lookup` asks, ascending; read from `table`.
// Throws std::logic_error for a lookup that is not Usable.
std::vector<std::int64_t> LookUpCandidates(IConnection& db, const std::string& table,
                                           std::int64_t medium, const GramLookup& lookup);
