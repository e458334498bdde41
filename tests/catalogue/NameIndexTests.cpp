// The name index as it is written and read back, in several parts, against a plain model of
// what it holds: for each run of three bytes of a name's key framed by 0xFF (once before, twice
// after), the names that hold it.

#include "catalogue/NameGrams.h"
#include "catalogue/NameKey.h"
#include "catalogue/SqliteConnection.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <set>
#include <stdexcept>

namespace {

constexpr std::int64_t kMedium = 7;

// Names of few letters, so that runs repeat: ASCII, two-byte and four-byte characters, a
// control character, invalid bytes, and names of one and two bytes.
std::vector<std::string> MadeUpNames() {
    const std::vector<std::string> pieces = {
        "a", "b", "ab", "A", "\xC3\xA4", "\xF0\x9F\x98\x80", "\x01", "\xFF", "\x80", ".", "*", "?"};
    std::mt19937 random(20261209);
    std::vector<std::string> names;
    for (int i = 0; i < 3000; ++i) {
        std::string name;
        const int count = 1 + static_cast<int>(random() % 6);
        for (int piece = 0; piece < count; ++piece)
            name += pieces[random() % pieces.size()];
        names.push_back(name);
    }
    return names;
}

// The ids (1, 2, ...) of the names whose framed key holds each run of three bytes.
std::map<std::string, std::set<std::int64_t>> ModelOf(const std::vector<std::string>& names) {
    std::map<std::string, std::set<std::int64_t>> holding;
    for (std::size_t i = 0; i < names.size(); ++i) {
        const std::string framed = "\xFF" + SearchKey(names[i]) + "\xFF\xFF";
        for (std::size_t at = 0; at + 3 <= framed.size(); ++at)
            holding[framed.substr(at, 3)].insert(static_cast<std::int64_t>(i + 1));
    }
    return holding;
}

std::string BytesOf(Gram gram) {
    return {static_cast<char>(gram >> 16), static_cast<char>(gram >> 8), static_cast<char>(gram)};
}

// What the model says the index gives for `lookup`: the names that hold all its grams, or one
// of its range.
std::vector<std::int64_t>
ModelCandidates(const std::map<std::string, std::set<std::int64_t>>& model,
                const GramLookup& lookup) {
    std::set<std::int64_t> ids;
    if (lookup.range) {
        for (const auto& [run, holders] : model)
            if (run >= BytesOf(lookup.range->first) && run <= BytesOf(lookup.range->second))
                ids.insert(holders.begin(), holders.end());
        return {ids.begin(), ids.end()};
    }
    bool first = true;
    for (const Gram gram : lookup.all) {
        const auto found = model.find(BytesOf(gram));
        const std::set<std::int64_t> holders =
            found == model.end() ? std::set<std::int64_t>{} : found->second;
        if (first)
            ids = holders;
        std::erase_if(ids, [&](std::int64_t id) { return !holders.contains(id); });
        first = false;
    }
    return {ids.begin(), ids.end()};
}

TEST(NameIndex, GivesWhatItWasGivenAcrossPartsAndNeverMissesAMatch) {
    TempDir dir;
    SqliteConnection db((dir.path() / "index.sqlite").string(), SqliteAccess::Create);
    db.ExecuteScript("CREATE TABLE name_grams(medium INTEGER, gram INTEGER, part INTEGER, ids "
                     "BLOB, PRIMARY KEY(medium, gram, part))");
    const std::vector<std::string> names = MadeUpNames();
    // A small bound: the lists go out in many parts.
    Transaction transaction(db);
    NameIndexBuilder builder(db, "name_grams", kMedium, 512);
    for (std::size_t i = 0; i < names.size(); ++i) {
        builder.Add(static_cast<std::int64_t>(i + 1), SearchKey(names[i]));
        if (builder.PartDue())
            builder.WritePart();
    }
    builder.WritePart();
    transaction.Commit();
    ASSERT_GT(QueryNumber(db, "SELECT max(part) FROM name_grams"), 5);

    const auto model = ModelOf(names);
    for (const char* pattern : {"a",
                                "b",
                                "ab",
                                "aba",
                                "abab",
                                "\xC3\xA4",
                                "A\xC3\xA4"
                                "b",
                                "\xF0\x9F\x98\x80",
                                "\x01",
                                "a*",
                                "*b",
                                "?a",
                                "a?",
                                "*ab*",
                                "a*b",
                                "b?a",
                                "\xC3\xA4*",
                                "*.",
                                "*",
                                "?",
                                "",
                                "abc"}) {
        SCOPED_TRACE("pattern \"" + std::string(pattern) + "\"");
        const NamePattern parsed = ParsePattern(pattern);
        const GramLookup lookup = LookupFor(parsed);
        if (!lookup.Usable()) {
            EXPECT_THROW(LookUpCandidates(db, "name_grams", kMedium, lookup), std::logic_error);
            continue;
        }
        const std::vector<std::int64_t> candidates =
            LookUpCandidates(db, "name_grams", kMedium, lookup);
        EXPECT_EQ(candidates, ModelCandidates(model, lookup));
        for (std::size_t i = 0; i < names.size(); ++i) {
            const std::string key = SearchKey(names[i]);
            const bool matches = parsed.glob ? GlobMatches(parsed.key, key)
                                             : key.find(parsed.key) != std::string::npos;
            if (matches) {
                EXPECT_TRUE(std::ranges::binary_search(candidates, std::int64_t(i + 1))) << key;
            }
        }
    }
    EXPECT_TRUE(
        LookUpCandidates(db, "name_grams", kMedium + 1, LookupFor(ParsePattern("ab"))).empty());
}

TEST(NameIndex, TakesIdsOnlyInAscendingOrder) {
    TempDir dir;
    SqliteConnection db((dir.path() / "index.sqlite").string(), SqliteAccess::Create);
    NameIndexBuilder builder(db, "name_grams", kMedium);
    builder.Add(5, "five");
    EXPECT_THROW(builder.Add(5, "again"), std::logic_error);
    EXPECT_THROW(builder.Add(4, "four"), std::logic_error);
}

TEST(NameIndex, RefusesDamagedLists) {
    std::vector<std::int64_t> ids;
    DecodeIds("\x01\x05", ids);
    EXPECT_EQ(ids, (std::vector<std::int64_t>{1, 6}));
    for (const std::string& damaged :
         {std::string("\x81"), std::string("\x01\x00", 2), std::string(10, '\xFF') + '\x01'}) {
        std::vector<std::int64_t> read;
        EXPECT_THROW(DecodeIds(damaged, read), CatalogueError);
    }
}

} // namespace
