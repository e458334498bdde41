// A catalogued tree read back folder by folder, checked against the disk; trees of extreme
// depth; a folder mounted twice.

#include "tests/catalogue/CatalogueFixture.h"
#include "tests/support/FileTimes.h"
#include "tests/support/MadeUpEntry.h"
#include "tests/support/NulFields.h"
#include "tests/support/RunCommand.h"

#include <gmock/gmock.h>

#include <fcntl.h>
#include <map>
#include <set>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// What Python's os.scandir and lstat see of every folder below `root`, in the directory's order:
// for each folder "F", its path below the root and its entry count, then each entry's name,
// kind (0 file, 1 folder, 2 link, 3 other), size, modification second, and for a folder the
// bytes, files and folders below it. Fields end with NUL.
constexpr const char* kReference = R"(
import os, stat, sys
out = sys.stdout.buffer
def kind(st):
    if stat.S_ISDIR(st.st_mode): return 1
    if stat.S_ISLNK(st.st_mode): return 2
    if stat.S_ISREG(st.st_mode): return 0
    return 3
def read(path):
    return [(e.name, e.stat(follow_symlinks=False)) for e in os.scandir(path)]
def totals(path):
    bytes_, files, folders = 0, 0, 0
    for name, st in read(path):
        if stat.S_ISDIR(st.st_mode):
            sub = totals(os.path.join(path, name))
            bytes_, files, folders = bytes_ + sub[0], files + sub[1], folders + sub[2] + 1
        else:
            bytes_, files = bytes_ + st.st_size, files + 1
    return [bytes_, files, folders]
def emit(path, below):
    entries = read(path)
    out.write(b"F\0" + below + b"\0%d\0" % len(entries))
    for name, st in entries:
        fields = [name, b"%d" % kind(st), b"%d" % st.st_size, b"%d" % int(st.st_mtime), b"", b"", b""]
        if stat.S_ISDIR(st.st_mode):
            t = totals(os.path.join(path, name))
            fields[2:3] = [b"%d" % t[0]]
            fields[4:] = [b"%d" % x for x in t]
        out.write(b"".join(f + b"\0" for f in fields))
    for name, st in entries:
        if stat.S_ISDIR(st.st_mode):
            emit(os.path.join(path, name), below + name + b"/")
root = os.fsencode(sys.argv[1])
emit(root, b"")
out.write(b"T\0" + b"".join(b"%d\0" % x for x in totals(root)))
)";

struct ReferenceEntry {
    std::string name;
    EntryKind kind;
    std::uint64_t size;
    std::int64_t modified;
    std::optional<FolderTotals> totals;
};

struct Reference {
    std::map<std::string, std::vector<ReferenceEntry>> folders; // by path below the root
    FolderTotals totals;
};

Reference ReadReference(const std::filesystem::path& root) {
    const auto result = RunCommand({"python3", "-c", kReference, root.string()});
    const std::vector<std::string> fields = NulFields(result.out);
    Reference reference;
    const auto number = [](const std::string& text) { return std::stoll(text); };
    for (std::size_t i = 0; i < fields.size();) {
        if (fields[i] == "T") {
            reference.totals = {static_cast<std::uint64_t>(number(fields[i + 1])),
                                number(fields[i + 2]), number(fields[i + 3])};
            break;
        }
        auto& entries = reference.folders[fields[i + 1]];
        const auto count = static_cast<std::size_t>(number(fields[i + 2]));
        i += 3;
        for (std::size_t e = 0; e < count; ++e, i += 7) {
            ReferenceEntry entry{fields[i], static_cast<EntryKind>(number(fields[i + 1])),
                                 static_cast<std::uint64_t>(number(fields[i + 2])),
                                 number(fields[i + 3]), std::nullopt};
            if (!fields[i + 4].empty())
                entry.totals = FolderTotals{static_cast<std::uint64_t>(number(fields[i + 4])),
                                            number(fields[i + 5]), number(fields[i + 6])};
            entries.push_back(std::move(entry));
        }
    }
    return reference;
}

// Folders of many names and sizes, a link, a FIFO, an empty folder and one deep enough to
// count through several levels.
void MakeTree(const std::filesystem::path& root) {
    std::filesystem::create_directories(root / "empty");
    for (int folder = 0; folder < 6; ++folder) {
        auto path = root / ("folder " + std::to_string(folder));
        for (int level = 0; level < folder; ++level)
            path /= "level\n" + std::to_string(level);
        std::filesystem::create_directories(path);
        for (int file = 0; file < 7 * folder + 3; ++file)
            std::ofstream(path / ("f" + std::to_string(file * 37) + "\xFF.bin"))
                << std::string(static_cast<std::size_t>(file * folder * 13), 'x');
    }
    std::ofstream(root / ".hidden") << "hidden";
    std::filesystem::create_symlink("folder 3", root / "link");
    ::mkfifo((root / "pipe").c_str(), 0600);
    SetLastWrite(root / "folder 2", 1600000000);
}

using CatalogueTree = CatalogueTest;

// Every entry of the medium read in one go is the one its folder lists, a folder before the
// entries it holds.
void ExpectMediumEntriesAsFolders(ICatalogue& catalogue, const std::string& medium) {
    std::map<std::int64_t, std::vector<std::string>> byParent;
    std::set<std::int64_t> folders{0};
    std::int64_t last = 0;
    std::size_t count = 0;
    ASSERT_TRUE(catalogue.MediumEntries(medium, [&](const CataloguedEntry& entry) {
        EXPECT_GT(entry.id, last);
        EXPECT_TRUE(folders.contains(entry.parent)) << entry.name;
        last = entry.id;
        ++count;
        if (entry.kind == EntryKind::Folder)
            folders.insert(entry.id);
        byParent[entry.parent].push_back(entry.name);
        return true;
    }));
    std::size_t listed = 0;
    for (const std::int64_t folder : folders) {
        std::vector<std::string> names;
        for (const auto& entry : catalogue.FolderEntries(medium, folder))
            names.push_back(entry.name);
        listed += names.size();
        EXPECT_EQ(byParent[folder], names);
    }
    EXPECT_EQ(count, listed);
    std::size_t seen = 0;
    catalogue.MediumEntries(medium, [&](const CataloguedEntry&) { return ++seen < 3; });
    EXPECT_EQ(seen, std::min<std::size_t>(3, count));
    EXPECT_FALSE(catalogue.MediumEntries("Nothing", [](const CataloguedEntry&) { return true; }));
}

// A medium of more entries than a database hands out at once is read whole, each entry once
// with its folder's totals, and a reading stopped or failed part way leaves the catalogue as
// usable.
TEST_P(CatalogueTree, ManyEntriesAreReadWholeAndCanBeStoppedPartWay) {
    constexpr int kFolders = 3, kFiles = 9000;
    auto catalogue = Open();
    AddFoldersOfFiles(*catalogue, NewMedium("Big", m_dir.str()), kFolders, kFiles);
    std::int64_t last = 0, files = 0;
    std::uint64_t bytes = 0;
    ASSERT_TRUE(catalogue->MediumEntries("Big", [&](const CataloguedEntry& entry) {
        EXPECT_GT(entry.id, last);
        last = entry.id;
        if (entry.kind == EntryKind::Folder) {
            EXPECT_EQ(entry.totals.value_or(FolderTotals{}).files, kFiles) << entry.name;
        } else {
            ++files;
            bytes += entry.size;
        }
        return true;
    }));
    EXPECT_EQ(files, kFolders * kFiles);
    EXPECT_EQ(bytes, std::uint64_t{kFolders} * kFiles * (kFiles - 1) / 2);

    std::int64_t seen = 0;
    catalogue->MediumEntries("Big", [&](const CataloguedEntry&) { return ++seen < 15000; });
    EXPECT_EQ(seen, 15000);
    catalogue->SetShelf("Big", "Shelf 2", "");
    EXPECT_EQ(Open()->Media().at(0).location, "Shelf 2");

    // A reader that fails part way (a full disk under an export).
    EXPECT_THROW(catalogue->MediumEntries("Big",
                                          [](const CataloguedEntry& entry) {
                                              if (entry.id > 12000)
                                                  throw std::runtime_error("No space left");
                                              return true;
                                          }),
                 std::runtime_error);
    catalogue->SetShelf("Big", "Shelf 3", "");
    EXPECT_EQ(Open()->Media().at(0).location, "Shelf 3");
}

TEST_P(CatalogueTree, EveryFolderListsWhatTheDiskHolds) {
    const auto tree = m_dir.path() / "tree";
    MakeTree(tree);
    const Reference reference = ReadReference(tree);
    auto catalogue = Open();
    Add(*catalogue, "Tree", tree);
    for (const auto& [path, expected] : reference.folders) {
        SCOPED_TRACE("folder \"" + path + "\"");
        const auto folder = catalogue->FolderOf("Tree", path);
        ASSERT_TRUE(folder.has_value());
        const auto entries = catalogue->FolderEntries("Tree", *folder);
        ASSERT_EQ(entries.size(), expected.size());
        for (std::size_t i = 0; i < entries.size(); ++i) {
            SCOPED_TRACE(expected[i].name);
            EXPECT_EQ(entries[i].name, expected[i].name);
            EXPECT_EQ(entries[i].kind, expected[i].kind);
            EXPECT_EQ(entries[i].size, expected[i].size);
            EXPECT_EQ(entries[i].modified, expected[i].modified);
            EXPECT_EQ(entries[i].totals, expected[i].totals);
            EXPECT_EQ((entries[i].attributes & kAttrFolder) != 0,
                      expected[i].kind == EntryKind::Folder);
        }
    }
    const Medium medium = catalogue->Media().at(0);
    EXPECT_EQ((FolderTotals{medium.bytes, medium.files, medium.folders}), reference.totals);
    ExpectMediumEntriesAsFolders(*catalogue, "Tree");
    EXPECT_FALSE(catalogue->FolderOf("Tree", "folder 9").has_value());
    EXPECT_FALSE(catalogue->FolderOf("Tree", ".hidden").has_value());
    EXPECT_FALSE(catalogue->FolderOf("Nothing", "").has_value());
    EXPECT_TRUE(catalogue->FolderEntries("Nothing", 0).empty());
}

TEST_P(CatalogueTree, ShelfAndMountPointAreKept) {
    m_dir.WriteFile("disc/a.txt", "a");
    auto catalogue = Open();
    Add(*catalogue, "Disc", m_dir.path() / "disc");
    EXPECT_TRUE(catalogue->SetShelf("Disc", "Box 3, shelf\tleft", "Holiday \xF0\x9F\x93\xB7"));
    EXPECT_FALSE(catalogue->SetShelf("Nothing", "x", "y"));
    const Medium medium = Open()->Media().at(0);
    EXPECT_EQ(medium.location, "Box 3, shelf\tleft");
    EXPECT_EQ(medium.note, "Holiday \xF0\x9F\x93\xB7");
    EXPECT_EQ(medium.mountPoint,
              RunCommand({"findmnt", "-n", "-o", "TARGET", "-T", (m_dir.path() / "disc").string()})
                  .out.substr(0, medium.mountPoint.size()));
    EXPECT_FALSE(medium.mountPoint.empty());
}

// A made-up hash for the entry `id`.
ContentHash HashOf(std::int64_t id) {
    const auto n = static_cast<std::uint64_t>(id);
    return {n * 0x9E3779B97F4A7C15ULL ^ 0xFF00000000000000ULL, ~n};
}

// Adds a medium of `folders` folders of `files` files each below the listed folder, every file
// hashed when `hashed`, and comments on the first entries of the listed folder.
void AddHashedMedium(ICatalogue& catalogue, const std::string& name, int folders, int files,
                     bool hashed, const std::vector<CommentLines>& comments) {
    Medium medium;
    medium.name = name;
    medium.folder = "/made/up/" + name;
    medium.checksums = hashed;
    auto add = catalogue.BeginAdd(medium, false);
    AddedFolder top;
    for (int f = 0; f < folders; ++f)
        top.entries.push_back(
            MadeUpEntry("folder " + std::to_string(f), EntryKind::Folder, 0, 0, kAttrFolder));
    for (std::size_t i = 0; i < comments.size() && i < top.entries.size(); ++i)
        top.entries[i].comments = comments[i];
    add->AddFolder(top);
    std::int64_t next = folders + 1;
    for (int f = 0; f < folders; ++f) {
        AddedFolder folder;
        folder.id = f + 1;
        folder.first = next;
        for (int i = 0; i < files; ++i) {
            const std::int64_t id = next + i;
            folder.entries.push_back(MadeUpEntry("file " + std::to_string(i), EntryKind::File,
                                                 static_cast<std::uint64_t>(i)));
            if (hashed)
                folder.entries.back().hash = HashOf(id);
        }
        next += files;
        add->AddFolder(folder);
    }
    add->Commit();
}

// Hashes are loaded in batches between the entries' loads; comments keep their bytes; a medium
// that takes the number of a forgotten one inherits nothing of it.
TEST_P(CatalogueTree, HashesAndCommentsComeBackWithTheirEntries) {
    const std::vector<CommentLines> comments = {
        {"first", "", "third\tline"}, {"\xff\xfe not UTF-8", "tab\there", "\xF0\x9F\x93\xB7"}};
    auto catalogue = Open();
    AddHashedMedium(*catalogue, "Hashed", 7, 10000, true, comments);
    auto reopened = Open();
    EXPECT_TRUE(reopened->Media().at(0).checksums);
    std::int64_t hashes = 0;
    reopened->MediumEntries("Hashed", [&](const CataloguedEntry& entry) {
        if (entry.kind == EntryKind::File) {
            EXPECT_EQ(entry.hash, HashOf(entry.id)) << entry.id;
            hashes += entry.hash.has_value();
        } else {
            EXPECT_FALSE(entry.hash.has_value());
        }
        return true;
    });
    EXPECT_EQ(hashes, 70000);
    const auto top = reopened->FolderEntries("Hashed", 0);
    ASSERT_EQ(top.size(), 7u);
    EXPECT_EQ(top[0].comments, comments[0]);
    EXPECT_EQ(top[1].comments, comments[1]);
    EXPECT_EQ(top[2].comments, CommentLines{});
    EXPECT_EQ(reopened->FolderEntries("Hashed", 3).at(5).hash,
              HashOf(reopened->FolderEntries("Hashed", 3).at(5).id));

    EXPECT_TRUE(reopened->Forget("Hashed"));
    AddHashedMedium(*reopened, "Plain", 2, 3, false, {});
    const Medium plain = Open()->Media().at(0);
    EXPECT_FALSE(plain.checksums);
    reopened->MediumEntries("Plain", [](const CataloguedEntry& entry) {
        EXPECT_FALSE(entry.hash.has_value()) << entry.id;
        EXPECT_EQ(entry.comments, CommentLines{}) << entry.id;
        return true;
    });
}

// A chain of `depth` folders named "d" below `root`, made and removed a level at a time, since
// its paths are longer than the system takes.
class Chain {
public:
    Chain(const std::filesystem::path& root, int depth) : m_root(root) {
        std::filesystem::create_directories(root);
        int fd = ::open(root.c_str(), O_DIRECTORY | O_RDONLY);
        for (int level = 0; level < depth && fd >= 0; ++level) {
            ::mkdirat(fd, "d", 0755);
            const int next = ::openat(fd, "d", O_DIRECTORY | O_RDONLY);
            ::close(fd);
            fd = next;
        }
        if (fd >= 0)
            ::close(fd);
    }
    // Removed from the bottom up, each folder through the ".." of the one below it.
    ~Chain() {
        int fd = ::open(m_root.c_str(), O_DIRECTORY | O_RDONLY);
        for (int next; fd >= 0 && (next = ::openat(fd, "d", O_DIRECTORY | O_RDONLY)) >= 0;) {
            ::close(fd);
            fd = next;
        }
        while (fd >= 0) {
            const int up = ::openat(fd, "..", O_DIRECTORY | O_RDONLY);
            ::close(fd);
            fd = ::unlinkat(up, "d", AT_REMOVEDIR) == 0 ? up : -1;
            if (fd < 0)
                ::close(up);
        }
    }
    Chain(const Chain&) = delete;
    Chain& operator=(const Chain&) = delete;

private:
    std::filesystem::path m_root;
};

// The peak memory, in kB, of this test program run again for `test` alone, with `environment`.
long PeakOfChild(const std::string& test, const std::vector<std::string>& environment) {
    std::vector<std::string> args = {"/proc/self/exe", "--gtest_filter=" + test};
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> env = environment;
    for (char** e = environ; *e; ++e)
        env.emplace_back(*e);
    std::vector<char*> envp;
    for (auto& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    pid_t pid = 0;
    if (::posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), envp.data()) != 0)
        return -1;
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the add failed";
    return usage.ru_maxrss;
}

// Run by PeakOfChild: adds the folder CHAIN_FOLDER to the catalogue CHAIN_CATALOGUE.
TEST(DeepChainChild, AddsTheChain) {
    const char* folder = std::getenv("CHAIN_FOLDER");
    const char* location = std::getenv("CHAIN_CATALOGUE");
    if (!folder || !location)
        GTEST_SKIP() << "run by DeepChain tests only";
    auto catalogue = OpenCatalogue(location);
    Add(*catalogue, "Chain", folder);
}

using DeepChain = CatalogueTest;

// The add's peak in kB. Under AddressSanitizer the peak is mostly the sanitizer's own (freed
// blocks in quarantine, shadow memory, stack frames kept for checking), so the bound is checked
// in the builds without it (the README's test command runs both).
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define CATALOGUE_TESTS_UNDER_ASAN
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(CATALOGUE_TESTS_UNDER_ASAN)
constexpr bool kPeakMeasurable = false;
#else
constexpr bool kPeakMeasurable = true;
#endif
constexpr long kChainAddPeakKb = 200 * 1024;

// Memory and the catalogue grow with the number of entries, never with the length of their
// paths: 20,000 levels once took 1.43 GB to add and a file of 414 MB.
TEST_P(DeepChain, TwentyThousandLevelsTakeLittleMemoryAndRoom) {
    const auto root = m_dir.path() / "chain";
    const Chain chain(root, 20000);
    const long peak = PeakOfChild("DeepChainChild.AddsTheChain", {"CHAIN_FOLDER=" + root.string(),
                                                                  "CHAIN_CATALOGUE=" + Location()});
    EXPECT_GT(peak, 0);
    if (kPeakMeasurable) {
        EXPECT_LT(peak, kChainAddPeakKb) << "kB at the peak of the add";
    }
    auto catalogue = Open();
    const Medium medium = catalogue->Media().at(0);
    EXPECT_EQ(medium.folders, 20000);
    EXPECT_EQ(catalogue->Count(Query("d")), 20000u);
    if (IsSqlite()) {
        EXPECT_LT(std::filesystem::file_size(Location()) +
                      std::filesystem::file_size(Location() + "-wal"),
                  5u << 20);
    }
    // The bottom folder's match carries its whole path.
    FindQuery query = Query("d");
    query.order = MatchOrder::Path;
    query.descending = true;
    query.limit = 1;
    const auto deepest = Matches(*catalogue, query);
    ASSERT_EQ(deepest.size(), 1u);
    EXPECT_EQ(deepest[0].path.size(), root.string().size() + 2 * 20000);
}

// The walk reads a folder mounted in two places under both paths, and the catalogue keeps
// both.
TEST_P(CatalogueTree, FolderMountedTwiceIsCataloguedUnderBothPaths) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "bind mounts need root";
    const auto shared = m_dir.MakeDir("shared");
    m_dir.WriteFile("shared/marker.txt", "marker");
    const auto tree = m_dir.MakeDir("tree");
    std::filesystem::create_directories(tree / "one");
    std::filesystem::create_directories(tree / "two");
    Open(); // made here, so that the add in the other namespace finds it
    const std::string script = "mount --bind \"$1\" \"$2/one\" && mount --bind \"$1\" \"$2/two\" "
                               "&& \"$3\" --catalogue \"$4\" --add Twice -o /dev/null \"$2\"";
    const auto result = RunCommand({"unshare", "-m", "--propagation", "private", "sh", "-c", script,
                                    "sh", shared.string(), tree.string(), CTLGRM_PATH, Location()});
    ASSERT_EQ(result.status, 0);
    EXPECT_EQ(Paths(Matches(*Open(), Query("marker"))),
              (std::set<std::string>{(tree / "one/marker.txt").string(),
                                     (tree / "two/marker.txt").string()}));
}

INSTANTIATE_TEST_SUITE_P(Backends, CatalogueTree, ::testing::Values("sqlite", "postgres"),
                         BackendName);
INSTANTIATE_TEST_SUITE_P(Backends, DeepChain, ::testing::Values("sqlite", "postgres"), BackendName);

} // namespace
