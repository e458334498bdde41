#include "ShortName.h"

#include "Text.h"

#include <algorithm>
#include <iterator>
#include <unordered_map>
#include <unordered_set>

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

// The indexes of the names that need an alias, in the names' byte order.
std::vector<std::size_t> NamesNeedingAnAlias(const std::vector<std::string_view>& names) {
    std::vector<std::size_t> indexes;
    for (std::size_t i = 0; i < names.size(); ++i)
        if (!IsOwnShortName(names[i]))
            indexes.push_back(i);
    std::sort(indexes.begin(), indexes.end(),
              [&](std::size_t a, std::size_t b) { return names[a] < names[b]; });
    return indexes;
}

} // namespace

std::vector<std::string> MakeShortNames(const std::vector<std::string_view>& names) {
    std::vector<std::string> shortNames(names.size());
    std::unordered_set<std::string> taken;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (IsOwnShortName(names[i])) {
            shortNames[i] = names[i];
            taken.insert(shortNames[i]);
        }
    }
    std::unordered_map<std::string, unsigned> nextNumber;
    for (const std::size_t i : NamesNeedingAnAlias(names)) {
        const AliasBase base = AliasBaseOf(names[i]);
        unsigned& number = nextNumber.try_emplace(base.Key(), 1).first->second;
        std::string alias = NumberedAlias(base, number);
        while (taken.count(alias) != 0)
            alias = NumberedAlias(base, ++number);
        ++number;
        shortNames[i] = alias;
        taken.insert(std::move(alias));
    }
    return shortNames;
}

void AssignShortNames(ScanList& entries) {
    std::vector<std::string_view> names;
    names.reserve(entries.size());
    for (const auto& entry : entries)
        names.push_back(entry->m_strName);
    std::vector<std::string> shortNames = MakeShortNames(names);
    for (std::size_t i = 0; i < entries.size(); ++i)
        entries[i]->m_strShortName = std::move(shortNames[i]);
}
