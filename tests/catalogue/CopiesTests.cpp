// Files held more than once and files held on one medium only, checked against a grouping of
// the trees on disk made in the test.

#include "catalogue/FolderPaths.h"
#include "tests/catalogue/CatalogueFixture.h"
#include "tests/support/MadeUpEntry.h"
#include "tests/support/RunCommand.h"

#include <gmock/gmock.h>

#include <map>

namespace {

// Groups the regular files of the trees named on the command line (MODE LONE MEDIUM ROOT ...)
// as the catalogue should. Mode G: size, count and each copy's medium and path for every group
// of non-empty files of one name and size on any of the trees, the most wasted bytes first.
// Mode L: medium and path of every file of LONE (of every tree when empty) whose name and size
// no other tree has. Fields end with NUL.
constexpr const char* kReference = R"(
import os, stat, sys
out = sys.stdout.buffer
mode, lone = sys.argv[1], os.fsencode(sys.argv[2])
args = [os.fsencode(a) for a in sys.argv[3:]]
files = []
for medium, root in zip(args[0::2], args[1::2]):
    for folder, dirs, names in os.walk(root):
        for name in names:
            path = os.path.join(folder, name)
            st = os.lstat(path)
            if stat.S_ISREG(st.st_mode):
                files.append((medium, path, name, st.st_size))
groups, holders = {}, {}
for f in files:
    holders.setdefault((f[2], f[3]), set()).add(f[0])
    if f[3] > 0:
        groups.setdefault((f[2], f[3]), []).append(f)
if mode == "G":
    dups = sorted((k, v) for k, v in groups.items() if len(v) > 1)
    dups.sort(key=lambda g: (-(len(g[1]) - 1) * g[0][1], -g[0][1]))
    for (name, size), copies in dups:
        out.write(b"%d\0%d\0" % (size, len(copies)))
        for f in sorted(copies, key=lambda f: (f[0], f[1])):
            out.write(f[0] + b"\0" + f[1] + b"\0")
else:
    for f in sorted(files, key=lambda f: (f[0], f[1])):
        if holders[(f[2], f[3])] == {f[0]} and lone in (b"", f[0]):
            out.write(f[0] + b"\0" + f[1] + b"\0")
)";

using MediumRoots = std::vector<std::pair<std::string, std::filesystem::path>>;

std::string Reference(const std::string& mode, const std::string& lone, const MediumRoots& media) {
    std::vector<std::string> command = {"python3", "-c", kReference, mode, lone};
    for (const auto& [name, root] : media) {
        command.push_back(name);
        command.push_back(root.string());
    }
    const auto result = RunCommand(command);
    EXPECT_EQ(result.status, 0);
    return result.out;
}

std::string Field(const std::string& text) {
    return text + '\0';
}

// The catalogue's answers in the reference's form.
std::string DuplicatesText(ICatalogue& catalogue, const CopiesQuery& query) {
    std::string text;
    catalogue.Duplicates(query, [&](const DuplicateGroup& group) {
        text += Field(std::to_string(group.size)) + Field(std::to_string(group.copies.size()));
        for (const CatalogueMatch& copy : group.copies) {
            EXPECT_EQ(copy.size, group.size);
            text += Field(copy.medium) + Field(copy.path);
        }
        return true;
    });
    return text;
}

std::string OnlyOnOneText(ICatalogue& catalogue, const CopiesQuery& query) {
    std::string text;
    catalogue.OnlyOnOne(query, [&](const CatalogueMatch& match) {
        text += Field(match.medium) + Field(match.path);
        return true;
    });
    return text;
}

class CatalogueCopies : public CatalogueTest {
protected:
    // Three media that share some files by name and size, one of them twice, with names that are
    // not text, empty files, a link and a folder named as a file elsewhere.
    void MakeMedia() {
        const std::string photo(100, 'p');
        m_dir.WriteFile("A/photo.jpg", photo);
        m_dir.WriteFile("A/sub/photo.jpg", photo);
        m_dir.WriteFile("A/notes.txt", "0123456789");
        m_dir.WriteFile("A/bad\xff.bin", std::string(50, 'b'));
        m_dir.WriteFile("A/empty", "");
        m_dir.WriteFile("A/same size.dat", std::string(100, 's'));
        std::filesystem::create_symlink("photo.jpg", m_dir.path() / "A/link.jpg");
        m_dir.WriteFile("B/photo.jpg", photo);
        m_dir.WriteFile("B/notes.txt", "01234567890");
        m_dir.WriteFile("B/bad\xff.bin", std::string(50, 'B'));
        m_dir.WriteFile("B/empty", "");
        m_dir.WriteFile("B/new\nline", "1234567");
        m_dir.WriteFile("B/deep/a/b/c/photo.jpg", photo);
        m_dir.WriteFile("B/link.jpg", "not a link");
        m_dir.WriteFile("C/new\nline", "7654321");
        m_dir.WriteFile("C/big.iso", std::string(5000, 'i'));
        m_dir.WriteFile("C/copy/big.iso", std::string(5000, 'i'));
        m_dir.WriteFile("C/unique.txt", "one");
        m_dir.WriteFile("C/notes.txt", "abcdefghij");
        m_dir.MakeDir("C/photo.jpg");
        auto catalogue = Open();
        for (const char* medium : {"A", "B", "C"})
            Add(*catalogue, std::string("Disc ") + medium, m_dir.path() / medium);
    }

    std::filesystem::path Root(const char* medium) const { return m_dir.path() / medium; }
};

TEST_P(CatalogueCopies, GroupsAndLoneFilesAreThoseOfTheTrees) {
    MakeMedia();
    auto catalogue = Open();
    const MediumRoots all = {{"Disc A", Root("A")}, {"Disc B", Root("B")}, {"Disc C", Root("C")}};
    const std::string groups = Reference("G", "", all);
    ASSERT_THAT(groups, ::testing::HasSubstr("photo.jpg"));
    EXPECT_EQ(DuplicatesText(*catalogue, {}), groups);
    EXPECT_EQ(OnlyOnOneText(*catalogue, {}), Reference("L", "", all));

    // Some media compared among themselves; the files of one against every other medium.
    EXPECT_EQ(DuplicatesText(*catalogue, {CopiesBy::NameAndSize, {"Disc B", "Disc A"}}),
              Reference("G", "", {{"Disc A", Root("A")}, {"Disc B", Root("B")}}));
    const std::string loneOfA = Reference("L", "Disc A", all);
    EXPECT_THAT(loneOfA, ::testing::HasSubstr("same size.dat"));
    EXPECT_EQ(OnlyOnOneText(*catalogue, {CopiesBy::NameAndSize, {"Disc A"}}), loneOfA);

    EXPECT_THROW(DuplicatesText(*catalogue, {CopiesBy::NameAndSize, {"Disc Z"}}), CatalogueError);
    EXPECT_THROW(OnlyOnOneText(*catalogue, {CopiesBy::Content, {"Disc A"}}), CatalogueError);
    EXPECT_EQ(DuplicatesText(*catalogue, {CopiesBy::Content, {}}), "");

    int seen = 0;
    catalogue->Duplicates({}, [&](const DuplicateGroup&) { return ++seen < 2; });
    EXPECT_EQ(seen, 2);
}

// Copies in more folders than are looked up at once, on two made-up media alike: each copy has
// its own folder's path.
TEST_P(CatalogueCopies, CopiesInThousandsOfFoldersHaveTheirPaths) {
    constexpr std::int64_t kFolders = kIdBatch + 100;
    auto catalogue = Open();
    for (const char* name : {"A", "B"}) {
        Medium medium;
        medium.name = name;
        medium.folder = std::string("/") + name;
        auto add = catalogue->BeginAdd(medium, false);
        AddedFolder top{0, 1, {}};
        for (std::int64_t i = 0; i < kFolders; ++i)
            top.entries.push_back(MadeUpEntry("g" + std::to_string(i), EntryKind::Folder));
        add->AddFolder(top);
        for (std::int64_t i = 0; i < kFolders; ++i)
            add->AddFolder({1 + i,
                            1 + kFolders + i,
                            {MadeUpEntry("n" + std::to_string(i), EntryKind::File, 4)}});
        add->Commit();
    }
    // Every group wastes 4 bytes: the groups come in the byte order of their names.
    std::vector<std::string> names;
    for (std::int64_t i = 0; i < kFolders; ++i)
        names.push_back(std::to_string(i));
    std::ranges::sort(names,
                      [](const std::string& a, const std::string& b) { return "n" + a < "n" + b; });
    std::string expected;
    for (const std::string& i : names)
        expected += Field("4") + Field("2") + Field("A") + Field("/A/g" + i + "/n" + i) +
                    Field("B") + Field("/B/g" + i + "/n" + i);
    EXPECT_EQ(DuplicatesText(*catalogue, {}), expected);
}

// Made-up media whose files are given hashes of their contents (the text of a made-up file).
class ContentMedia {
public:
    void Add(ICatalogue& catalogue, const std::string& name, bool checksums,
             const std::vector<std::pair<std::string, std::string>>& files) {
        Medium medium;
        medium.name = name;
        medium.folder = "/" + name;
        medium.checksums = checksums;
        auto add = catalogue.BeginAdd(medium, false);
        AddedFolder folder;
        for (const auto& [file, content] : files) {
            AddedEntry entry = MadeUpEntry(file, EntryKind::File, content.size());
            if (checksums)
                entry.hash = HashOf(content);
            folder.entries.push_back(entry);
            if (checksums)
                m_holders[{content, content.size()}].insert("/" + name + "/" + file);
        }
        add->AddFolder(folder);
        add->Commit();
    }

    // The copies of each content held more than once, as the test's own grouping finds them.
    std::set<std::set<std::string>> Groups() const {
        std::set<std::set<std::string>> groups;
        for (const auto& [content, paths] : m_holders)
            if (paths.size() > 1 && content.second > 0)
                groups.insert(paths);
        return groups;
    }

private:
    ContentHash HashOf(const std::string& content) {
        const auto [it, added] = m_hashes.try_emplace(content, ContentHash{m_hashes.size(), 7});
        return it->second;
    }

    std::map<std::string, ContentHash> m_hashes;
    std::map<std::pair<std::string, std::size_t>, std::set<std::string>> m_holders;
};

TEST_P(CatalogueCopies, ContentGroupsCopiesWhateverTheirNames) {
    auto catalogue = Open();
    ContentMedia media;
    media.Add(
        *catalogue, "H1", true,
        {{"a.jpg", "same picture"}, {"b.txt", "only here"}, {"same name", "first"}, {"empty", ""}});
    media.Add(*catalogue, "H2", true,
              {{"renamed.jpg", "same picture"},
               {"again.jpg", "same picture"},
               {"same name", "other"},
               {"empty too", ""}});
    media.Add(*catalogue, "Plain", false, {{"a.jpg", "same picture"}, {"same name", "first"}});
    std::set<std::set<std::string>> groups;
    catalogue->Duplicates({CopiesBy::Content, {}}, [&](const DuplicateGroup& group) {
        std::set<std::string> paths;
        for (const CatalogueMatch& copy : group.copies)
            paths.insert(copy.path);
        groups.insert(paths);
        return true;
    });
    EXPECT_EQ(groups, media.Groups());
    std::vector<std::string> lone;
    catalogue->OnlyOnOne({CopiesBy::Content, {"H1"}}, [&](const CatalogueMatch& match) {
        lone.push_back(match.path);
        return true;
    });
    EXPECT_EQ(lone, (std::vector<std::string>{"/H1/b.txt", "/H1/same name"}));
    EXPECT_THROW(catalogue->Duplicates({CopiesBy::Content, {"Plain"}},
                                       [](const DuplicateGroup&) { return true; }),
                 CatalogueError);
}

// Wasted bytes beyond what 64 bits hold still order the groups, biggest first.
TEST_P(CatalogueCopies, HugeFilesOrderWithoutOverflow) {
    auto catalogue = Open();
    constexpr std::uint64_t kHuge = std::uint64_t{1} << 62;
    for (const char* name : {"X", "Y", "Z"}) {
        Medium medium;
        medium.name = name;
        medium.folder = std::string("/") + name;
        auto add = catalogue->BeginAdd(medium, false);
        add->AddFolder({0,
                        1,
                        {MadeUpEntry("huge", EntryKind::File, kHuge),
                         MadeUpEntry("small", EntryKind::File, 10)}});
        add->Commit();
    }
    std::vector<std::uint64_t> sizes;
    catalogue->Duplicates({}, [&](const DuplicateGroup& group) {
        sizes.push_back(group.size);
        EXPECT_EQ(group.copies.size(), 3u);
        return true;
    });
    EXPECT_EQ(sizes, (std::vector<std::uint64_t>{kHuge, 10}));
}

INSTANTIATE_TEST_SUITE_P(Backends, CatalogueCopies, ::testing::Values("sqlite", "postgres"),
                         BackendName);

} // namespace
