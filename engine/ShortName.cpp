#include "ShortName.h"

#include "Text.h"

#include <algorithm>
#include <bit>
#include <cstdint>
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

// The extension follows the last dot, unless that dot begins the name.
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

    std::string Key() const { return stem + '/' + extension; } // no name holds a '/'
};

AliasBase AliasBaseOf(std::string_view name) {
    const NameParts parts = SplitAtLastDot(name);
    std::string stem;
    std::copy_if(parts.stem.begin(), parts.stem.end(), std::back_inserter(stem),
                 [](char c) { return c != ' ' && c != '.'; });
    return {FirstChars(stem, kAliasStemChars), FirstChars(parts.extension, kExtensionChars)};
}

std::string NumberedAlias(const AliasBase& base, unsigned number) {
    const std::string digits = "~" + std::to_string(number);
    const std::size_t room = digits.size() < kStemChars ? kStemChars - digits.size() : 0;
    std::string alias = FirstChars(base.stem, room) + digits;
    if (!base.extension.empty())
        alias += "." + base.extension;
    return alias;
}

// The short names given so far, held as pointers to the strings that hold them, in a table
// of at least twice as many slots as names: the step copies no name and allocates once.
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

// Gives shortNameAt(i) the short name of nameAt(i) for each of `count` distinct names. The
// strings that shortNameAt gives must stay where they are until the step ends.
template <typename NameAt, typename ShortNameAt>
void GiveShortNames(std::size_t count, NameAt nameAt, ShortNameAt shortNameAt) {
    TakenNames taken(count);
    std::vector<std::uint32_t> needingAlias;
    for (std::size_t i = 0; i < count; ++i) {
        if (IsOwnShortName(nameAt(i))) {
            shortNameAt(i) = nameAt(i);
            taken.Insert(shortNameAt(i));
        } else {
            needingAlias.push_back(static_cast<std::uint32_t>(i));
        }
    }
    // Names whose aliases share a base are numbered in the names' byte order.
    std::sort(needingAlias.begin(), needingAlias.end(),
              [&](std::uint32_t a, std::uint32_t b) { return nameAt(a) < nameAt(b); });
    std::unordered_map<std::string, unsigned> nextNumber;
    for (const std::uint32_t i : needingAlias) {
        const AliasBase base = AliasBaseOf(nameAt(i));
        unsigned& number = nextNumber.try_emplace(base.Key(), 1).first->second;
        std::string alias = NumberedAlias(base, number);
        while (taken.Contains(alias))
            alias = NumberedAlias(base, ++number);
        ++number;
        shortNameAt(i) = std::move(alias);
        taken.Insert(shortNameAt(i));
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
