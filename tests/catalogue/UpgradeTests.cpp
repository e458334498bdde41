// Catalogues of the program's earlier versions, brought up to date in place. The files in
// data/vN/ were made by data/make-old-catalogues.py with the ctlgrm of version N, which also
// recorded what that program's searches printed.

#include "catalogue/CatalogueMessages.h"
#include "tests/catalogue/CatalogueFixture.h"
#include "tests/support/NulFields.h"
#include "tests/support/ReadAll.h"
#include "tests/support/RunCommand.h"

#include <gmock/gmock.h>

#include <algorithm>

namespace {

using ::testing::HasSubstr;

const std::filesystem::path kData = CATALOGUE_DATA_DIR;

// NUL-ended fields, `fields` to a record, as ctlgrm -0 prints them; sorted, for a search's order
// is no part of what it finds.
std::vector<std::string> Records(const std::string& output, std::size_t fields) {
    std::vector<std::string> records;
    std::string record;
    std::size_t count = 0;
    for (const std::string& field : NulFields(output)) {
        record += field + '\0';
        if (++count % fields == 0)
            records.push_back(std::exchange(record, {}));
    }
    EXPECT_TRUE(record.empty()) << "a record cut short";
    std::ranges::sort(records);
    return records;
}

// The versions whose catalogues are brought up to date.
constexpr int kOldVersions[] = {2, 3, 4, 5, 6};

const std::string kCurrentVersion = std::to_string(kCatalogueSchemaVersion) + "\n";

std::filesystem::path DataOf(int version) {
    return kData / ("v" + std::to_string(version));
}

std::vector<std::string> Patterns(int version) {
    return NulFields(ReadAll(DataOf(version) / "patterns"));
}

std::string Ctlgrm(const std::string& location, std::vector<std::string> args) {
    args.insert(args.begin(), {CTLGRM_PATH, "--catalogue", location});
    return RunCommand(args).out;
}

class CatalogueUpgrade : public CatalogueTest {
protected:
    // In place of the catalogue: a copy of the one of `version` of this store.
    void Restore(int version) {
        m_version = version;
        const std::string name = "catalogue-v" + std::to_string(version);
        if (IsSqlite()) {
            for (const char* suffix : {"", "-wal", "-shm"})
                std::filesystem::remove(Location() + suffix);
            std::filesystem::copy_file(DataOf(version) / (name + ".sqlite"), Location());
        } else {
            PostgresExec(Location(), "DROP SCHEMA public CASCADE; CREATE SCHEMA public");
            const auto restored =
                RunCommand({"psql", "-q", "-v", "ON_ERROR_STOP=1", "-o", "/dev/null", "-d",
                            Location(), "-f", (DataOf(version) / (name + ".sql")).string()});
            ASSERT_EQ(restored.status, 0);
        }
    }

    std::string Recorded(const std::string& file) const {
        return ReadAll(DataOf(m_version) / GetParam() / file);
    }

    // One query's rows as the database's own client prints them.
    std::string Select(const std::string& sql) const {
        if (IsSqlite())
            return RunCommand({"sqlite3", Location(), sql}).out;
        return RunCommand({"psql", "-At", "-d", Location(), "-c", sql}).out;
    }

    std::string Version() const {
        return IsSqlite() ? Select("PRAGMA user_version")
                          : Select("SELECT version FROM catalogue_version");
    }

    // What makes a medium the one it is: its name, folder and volume.
    std::string Identities() const {
        const std::string hex = IsSqlite() ? "hex(%s)" : "encode(%s, 'hex')";
        const auto asHex = [&](const std::string& column) {
            std::string text = hex;
            text.replace(text.find("%s"), 2, column);
            return text;
        };
        return Select("SELECT name, " + asHex("folder") + ", label, uuid, fstype, " +
                      asHex("volume_path") + ", added, files, folders, bytes FROM media ORDER BY " +
                      "id");
    }

    // The catalogue's trees as an add counts them; a medium added afterwards beside them.
    void CheckTreesAndAddBeside();

private:
    int m_version = 0;
};

TEST_P(CatalogueUpgrade, SearchesFindWhatTheyFoundBeforeAndMediaKeepWhoTheyAre) {
    for (const int version : kOldVersions) {
        SCOPED_TRACE("version " + std::to_string(version));
        Restore(version);
        ASSERT_EQ(Version(), std::to_string(version) + "\n");
        const std::string identities = Identities();
        EXPECT_THAT(identities, HasSubstr("Hostile"));
        // A look-up is a first use that may write: it brings the catalogue up to date.
        EXPECT_EQ(Ctlgrm(Location(), {"--media", "-0"}), Recorded("media.out"));
        EXPECT_EQ(Version(), kCurrentVersion);
        EXPECT_EQ(Identities(), identities);
        const auto patterns = Patterns(version);
        ASSERT_FALSE(patterns.empty());
        for (std::size_t i = 0; i < patterns.size(); ++i) {
            SCOPED_TRACE("pattern \"" + patterns[i] + "\"");
            EXPECT_EQ(Records(Ctlgrm(Location(), {"--find", patterns[i], "-0"}), 4),
                      Records(Recorded("find-" + std::to_string(i) + ".out"), 4));
        }
    }
}

// Every folder's totals come out of the upgrade as an add counts them, and a medium added
// afterwards is numbered and found like the upgraded ones.
TEST_P(CatalogueUpgrade, UpgradedMediaHoldTheirTreesAndTakeNewOnesBeside) {
    for (const int version : kOldVersions) {
        SCOPED_TRACE("version " + std::to_string(version));
        Restore(version);
        CheckTreesAndAddBeside();
    }
}

// A medium added with hashes and comments keeps them.
void ExpectHashesAndCommentsKept(ICatalogue& catalogue) {
    Medium medium;
    medium.name = "Hashed";
    medium.folder = "/made/up";
    medium.checksums = true;
    auto add = catalogue.BeginAdd(medium, false);
    add->AddFolder(
        {0, 1, {{"h", EntryKind::File, 1, 0, 0, ContentHash{1, 2}, {"note", "", "\xff"}}}});
    add->Commit();
    const auto entries = catalogue.FolderEntries("Hashed", 0);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].hash, (ContentHash{1, 2}));
    EXPECT_EQ(entries[0].comments, (CommentLines{"note", "", "\xff"}));
    EXPECT_TRUE(catalogue.Forget("Hashed"));
}

void CatalogueUpgrade::CheckTreesAndAddBeside() {
    auto catalogue = Open();
    const auto media = catalogue->Media();
    ASSERT_EQ(media.size(), 2u);
    const auto hostile = std::ranges::find(media, "Hostile", &Medium::name);
    EXPECT_FALSE(hostile->checksums);
    const auto top = catalogue->FolderEntries("Hostile", 0);
    ASSERT_FALSE(top.empty());
    FolderTotals sum;
    for (const auto& entry : top) {
        SCOPED_TRACE(entry.name);
        if (entry.kind == EntryKind::Folder) {
            ASSERT_TRUE(entry.totals.has_value());
            EXPECT_EQ(entry.size, entry.totals->bytes);
            sum.bytes += entry.totals->bytes;
            sum.files += entry.totals->files;
            sum.folders += entry.totals->folders + 1;
        } else {
            sum.bytes += entry.size;
            ++sum.files;
        }
    }
    EXPECT_EQ(sum, (FolderTotals{hostile->bytes, hostile->files, hostile->folders}));
    const auto deep = catalogue->FolderOf("Hostile", "deep/level0/level1");
    ASSERT_TRUE(deep.has_value());
    const auto inside = catalogue->FolderEntries("Hostile", *deep);
    ASSERT_EQ(inside.size(), 1u);
    EXPECT_EQ(inside[0].name, "level2");
    m_dir.WriteFile("new/fresh.t", "fresh");
    Add(*catalogue, "New", m_dir.path() / "new");
    EXPECT_EQ(catalogue->Count(Query("fresh")), 1u);
    ExpectHashesAndCommentsKept(*catalogue);
    EXPECT_EQ(catalogue->Count(Query("n?.t")), 254u);
    EXPECT_TRUE(catalogue->Forget("Hostile"));
    EXPECT_EQ(catalogue->Count(Query("n?.t")), 0u);
    EXPECT_EQ(catalogue->Count(Query("bottom")), 1u); // on "Deep"
    std::filesystem::remove_all(m_dir.path() / "new");
}

// The first version knew no paths within volumes: its media keep their names, and since their
// folders are not known, only a name replaces them.
TEST_P(CatalogueUpgrade, FirstVersionCatalogueIsBroughtUpToDate) {
    Restore(2);
    if (IsSqlite()) {
        RunCommand({"sqlite3", Location(),
                    "UPDATE media SET uuid = '1234-ABCD'; ALTER TABLE media DROP COLUMN "
                    "volume_path; PRAGMA user_version=1"});
    } else {
        PostgresExec(Location(), "UPDATE media SET uuid = '1234-ABCD'");
        PostgresExec(Location(), "ALTER TABLE media DROP COLUMN volume_path");
        PostgresExec(Location(), "UPDATE catalogue_version SET version = 1");
    }
    auto catalogue = Open();
    EXPECT_EQ(Version(), kCurrentVersion);
    const VolumeInfo volume{{}, "1234-ABCD", {}, "/tree"};
    EXPECT_TRUE(catalogue->Conflicts("Other", volume).empty());
    Medium other = NewMedium("Other", "/somewhere");
    other.volume = volume;
    catalogue->BeginAdd(other, false)->Commit();
    EXPECT_THAT(catalogue->Conflicts("Another", volume), ::testing::ElementsAre("Other"));
    EXPECT_EQ(catalogue->Count(Query("bottom")), 2u);
}

INSTANTIATE_TEST_SUITE_P(Backends, CatalogueUpgrade, ::testing::Values("sqlite", "postgres"),
                         BackendName);

} // namespace
