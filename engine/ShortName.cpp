#include "ShortName.h"

#include "engine/Text.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <deque>
#include <functional>
#include <iterator>
#include <unordered_map>

namespace {

constexpr std::size_t kStemChars = 8;
constexpr std::size_t kExtensionChars = 3;
constexpr std::size_t kAliasStemChars = 6;

struct NameParts {
    std::string_view stem;
    std::string_view extension;
    bool hasDot = false; // between the stem and the extension
};

// The extension follows the last dot, unless that dot begins the name (a name of its own
// short name may begin with one).
NameParts SplitAtLastDot(std::string_view name) {
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || dot == 0)
        return {name, {}, false};
    return {name.substr(0, dot), name.substr(dot + 1), true};
}

bool IsOwnShortName(std::string_view name) {
    if (CountChars(name) <= kStemChars)
        return true;
    const NameParts parts = SplitAtLastDot(name);
    return parts.hasDot && parts.stem.find('.') == std::string_view::npos &&
           CountChars(parts.stem) <= kStemChars && CountChars(parts.extension) <= kExtensionChars;
}

// An alias without its number. Names whose aliases share it are numbered together.
struct AliasBase {
    std::string stem;
    std::string extension;
};

// Leading dots go first (".hidden folder" is taken as "hidden folder", "..two dots" as
// "two dots"), then blanks and dots leave the stem.
AliasBase AliasBaseOf(std::string_view name) {
    const NameParts parts =
        SplitAtLastDot(name.substr(std::min(name.find_first_not_of('.'), name.size())));
    // Six characters take at most 24 bytes.
    char stem[4 * kAliasStemChars];
    std::size_t length = 0;
    for (auto c = parts.stem.begin(); c != parts.stem.end() && length < sizeof stem; ++c)
        if (*c != ' ' && *c != '.')
            stem[length++] = *c;
    return {FirstChars({stem, length}, kAliasStemChars),
            FirstChars(parts.extension, kExtensionChars)};
}

// The characters of the stem that an alias whose number has `digits` digits keeps.
std::size_t StemRoom(std::size_t digits) {
    return digits + 1 < kStemChars ? kStemChars - digits - 1 : 0;
}

std::string NumberedAlias(const AliasBase& base, std::uint64_t number) {
    const std::string digits = std::to_string(number);
    std::string alias = FirstChars(base.stem, StemRoom(digits.size())) + "~" + digits;
    if (!base.extension.empty())
        alias += "." + base.extension;
    return alias;
}

// Names that are their own short names and may be aliases too, held as pointers to the strings
// that hold them, in a table of at least twice as many slots as names: no name is copied.
class TakenNames {
public:
    explicit TakenNames(std::size_t names)
        : m_slots(std::bit_ceil(std::max<std::size_t>(2 * names, 16)), nullptr) {}

    bool Contains(std::string_view name) const { return m_slots[SlotOf(name)] != nullptr; }
    void Insert(const std::string& name) { m_slots[SlotOf(name)] = &name; } // not yet taken

private:
    // The slot that holds `name`, or the empty slot where it belongs.
    std::size_t SlotOf(std::string_view name) const {
        const std::size_t mask = m_slots.size() - 1;
        const std::size_t hash = std::hash<std::string_view>{}(name);
        std::size_t i = hash & mask;
        while (m_slots[i] != nullptr && *m_slots[i] != name)
            i = (i + 1) & mask;
        return i;
    }

    std::vector<const std::string*> m_slots;
};

// The numbers given to aliases, by group. The aliases whose numbers have the same count of
// digits, whose stems keep the same characters for that count and whose extensions are the
// same differ only in their number: they form a group ("DSC00~10.JPG" ... "DSC00~99.JPG"
// comes from all of "DSC000*.JPG" to "DSC009*.JPG"). An alias names its group and number: the
// stem has no dot, so the number is what lies between the last "~" and the first dot. Each
// name takes the first number from 1 up whose alias is free, and numbers are given in the
// names' byte order, so a group's numbers are always taken from its smallest up: the next
// number to try is one past the last one given there, no alias given can be met again, and
// only a name that already is such an alias may stand in the way. This keeps the work linear
// where thousands of numbered names share a few letters.
class AliasNumbers {
public:
    // `taken` holds the names that may stand in the way; `anyTaken` says whether there are any.
    AliasNumbers(const TakenNames& taken, bool anyTaken) : m_taken(taken), m_anyTaken(anyTaken) {}

    // The number of an alias base, the same for every name of that base.
    std::uint32_t IdOf(const AliasBase& base) {
        const auto [at, added] = m_ids.try_emplace(base.stem + '/' + base.extension,
                                                   static_cast<std::uint32_t>(m_bases.size()));
        if (added)
            m_bases.emplace_back(&at->first);
        return at->second;
    }

    // The number of the next alias of the base (its names come in byte order).
    std::uint64_t NextNumber(std::uint32_t id) {
        Base& base = m_bases[id];
        for (;;) {
            const std::uint64_t end = base.first * 10;
            for (std::uint64_t& next = *base.next; next < end; ++next)
                if (!m_anyTaken || !m_taken.Contains(NumberedAlias(base.Parts(), next)))
                    return next++;
            // Every number of this many digits is taken: on to the group of one more digit.
            base.first = end;
            ++base.digits;
            base.next =
                &m_groups.try_emplace(GroupKey(base.Parts(), base.digits), end).first->second;
        }
    }

private:
    // One alias base: its stem and extension, and the group whose numbers its names take now,
    // which is the base's own while the numbers have one digit.
    struct Base {
        explicit Base(const std::string* stemAndExtension) : key(stemAndExtension) {}
        Base(const Base&) = delete;
        Base& operator=(const Base&) = delete;

        AliasBase Parts() const {
            const std::size_t slash = key->find('/');
            return {key->substr(0, slash), key->substr(slash + 1)};
        }

        const std::string* key; // stem '/' extension
        std::size_t digits = 1;
        std::uint64_t first = 1;
        std::uint64_t own = 1;
        std::uint64_t* next = &own;
    };

    static std::string GroupKey(const AliasBase& base, std::size_t digits) {
        // No name holds a '/'.
        return FirstChars(base.stem, StemRoom(digits)) + '/' + base.extension + '/' +
               static_cast<char>('0' + digits);
    }

    const TakenNames& m_taken;
    const bool m_anyTaken;
    std::unordered_map<std::string, std::uint32_t> m_ids;    // of the bases, by stem and extension
    std::deque<Base> m_bases;                                // by id; never moved
    std::unordered_map<std::string, std::uint64_t> m_groups; // the next number to try
};

// Eight bytes of `name` from `offset` on, as a number that orders as the bytes do (a name
// that ends before is taken as padded with zero bytes, which no name holds).
std::uint64_t OrderKey(std::string_view name, std::size_t offset) {
    std::uint64_t key = 0;
    for (std::size_t i = offset; i < offset + 8; ++i)
        key = (key << 8) | (i < name.size() ? static_cast<unsigned char>(name[i]) : 0u);
    return key;
}

// How many bytes all the names share at their start.
template <typename NameAt>
std::size_t CommonStart(const std::vector<std::uint32_t>& indexes, NameAt nameAt) {
    if (indexes.empty())
        return 0;
    const std::string_view first = nameAt(indexes[0]);
    std::size_t common = first.size();
    for (const std::uint32_t i : indexes) {
        const std::string_view name = nameAt(i);
        common = static_cast<std::size_t>(
            std::mismatch(first.begin(), first.begin() + static_cast<std::ptrdiff_t>(common),
                          name.begin(), name.end())
                .first -
            first.begin());
    }
    return common;
}

// The number of the alias of each name of `needingAlias`, in the same order. The entries lie
// all over memory, so they are read in their own order only: the names are numbered in byte
// order by a sort of eight bytes of each (from where the names begin to differ) held beside
// its alias base, which reads the names only where those bytes are the same.
template <typename NameAt>
std::vector<std::uint32_t> AliasNumbersOf(const std::vector<std::uint32_t>& needingAlias,
                                          NameAt nameAt, AliasNumbers& numbers) {
    const std::size_t common = CommonStart(needingAlias, nameAt);
    struct Keyed {
        std::uint64_t key;
        std::uint32_t at; // in needingAlias
        std::uint32_t base;
    };
    std::vector<Keyed> keyed;
    keyed.reserve(needingAlias.size());
    for (std::uint32_t at = 0; at < needingAlias.size(); ++at) {
        const std::string_view name = nameAt(needingAlias[at]);
        keyed.push_back({OrderKey(name, common), at, numbers.IdOf(AliasBaseOf(name))});
    }
    std::sort(keyed.begin(), keyed.end(), [&](const Keyed& a, const Keyed& b) {
        return a.key != b.key ? a.key < b.key
                              : nameAt(needingAlias[a.at]) < nameAt(needingAlias[b.at]);
    });
    std::vector<std::uint32_t> numberAt(needingAlias.size());
    for (const Keyed& k : keyed)
        numberAt[k.at] = static_cast<std::uint32_t>(numbers.NextNumber(k.base));
    return numberAt;
}

// Gives shortNameAt(i) the short name of nameAt(i) for each of `count` distinct names. The
// strings that shortNameAt gives must stay where they are until the step ends.
template <typename NameAt, typename ShortNameAt>
void GiveShortNames(std::size_t count, NameAt nameAt, ShortNameAt shortNameAt) {
    std::vector<std::uint32_t> needingAlias;
    std::vector<std::uint32_t> aliasLike; // their own short names, holding a '~' as aliases do
    for (std::size_t i = 0; i < count; ++i) {
        if (!IsOwnShortName(nameAt(i))) {
            needingAlias.push_back(static_cast<std::uint32_t>(i));
            continue;
        }
        shortNameAt(i) = nameAt(i);
        if (nameAt(i).find('~') != std::string_view::npos)
            aliasLike.push_back(static_cast<std::uint32_t>(i));
    }
    TakenNames taken(aliasLike.size());
    for (const std::uint32_t i : aliasLike)
        taken.Insert(shortNameAt(i));
    AliasNumbers numbers(taken, !aliasLike.empty());
    const std::vector<std::uint32_t> numberAt = AliasNumbersOf(needingAlias, nameAt, numbers);
    for (std::size_t at = 0; at < needingAlias.size(); ++at) {
        const std::uint32_t i = needingAlias[at];
        shortNameAt(i) = NumberedAlias(AliasBaseOf(nameAt(i)), numberAt[at]);
    }
}

} // namespace

std::vector<std::string> MakeShortNames(const std::vector<std::string_view>& names) {
    std::vector<std::string> shortNames(names.size());
    GiveShortNames(
        names.size(), [&](std::size_t i) { return names[i]; },
        [&](std::size_t i) -> std::string& { return shortNames[i]; });
    return shortNames;
}

void AssignShortNames(ScanList& entries) {
    GiveShortNames(
        entries.size(), [&](std::size_t i) { return std::string_view(entries[i]->m_strName); },
        [&](std::size_t i) -> std::string& { return entries[i]->m_strShortName; });
}
