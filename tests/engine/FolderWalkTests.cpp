#include "engine/CatalogriumDoc.h"
#include "engine/FolderWalk.h"
#include "engine/TreeWalk.h"
#include "tests/engine/ListingSummary.h"
#include "tests/engine/RecordingTreeSink.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/OpenDescriptors.h"
#include "tests/support/Recorders.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <sched.h>
#include <set>
#include <string>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
using SteadyClock = std::chrono::steady_clock;

// ---- trees -------------------------------------------------------------------------------

// A name of 1 to 40 bytes, any byte but '/' and NUL (line breaks, blanks, invalid UTF-8),
// made unique by its number.
std::string HostileName(std::mt19937& random, int number) {
    std::uniform_int_distribution<int> length(1, 40), byte(1, 255);
    std::string name;
    for (int n = length(random); n > 0; --n) {
        const char c = static_cast<char>(byte(random));
        name += c == '/' ? '\n' : c;
    }
    return name + "#" + std::to_string(number);
}

void MakeSparseFileAt(int folderFd, const std::string& name, off_t size) {
    const int fd = ::openat(folderFd, name.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    ASSERT_GE(fd, 0) << name;
    ASSERT_EQ(::ftruncate(fd, size), 0);
    ::close(fd);
}

// A random tree below the open folder `fd`: files of random sparse sizes, sub-folders to
// `depth` levels, empty folders, FIFOs, and symbolic links to folders, to the tree's own top,
// to themselves and to nowhere. The same seed makes the same tree.
void MakeRandomTree(int fd, std::mt19937& random, int depth, int& number) {
    std::uniform_int_distribution<int> kind(0, 19), entries(0, 12);
    std::uniform_int_distribution<off_t> size(0, 1 << 30);
    for (int n = entries(random); n > 0; --n) {
        const std::string name = HostileName(random, ++number);
        const int k = kind(random);
        if (k < 5 && depth > 0) {
            ASSERT_EQ(::mkdirat(fd, name.c_str(), 0755), 0);
            const int child = ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY);
            MakeRandomTree(child, random, depth - 1, number);
            ::close(child);
        } else if (k == 5) {
            ASSERT_EQ(::mkfifoat(fd, name.c_str(), 0644), 0);
        } else if (k == 6) {
            const char* targets[] = {"..", "/", ".", "nowhere", name.c_str()};
            ASSERT_EQ(::symlinkat(targets[number % 5], fd, name.c_str()), 0);
        } else {
            MakeSparseFileAt(fd, name, size(random));
        }
    }
}

fs::path MakeRandomTreeIn(const fs::path& parent, unsigned seed) {
    const fs::path top = parent / ("tree-" + std::to_string(seed));
    fs::create_directories(top);
    std::mt19937 random(seed);
    int number = 0;
    const int fd = ::open(top.c_str(), O_RDONLY | O_DIRECTORY);
    // A first level wide enough that every thread finds work, then random shapes below.
    for (int i = 0; i < 6; ++i) {
        const std::string name = HostileName(random, ++number);
        ::mkdirat(fd, name.c_str(), 0755);
        const int child = ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY);
        MakeRandomTree(child, random, 5, number);
        ::close(child);
    }
    MakeRandomTree(fd, random, 5, number);
    ::close(fd);
    return top;
}

// ---- the reference: a plain recursive walk -------------------------------------------------

struct Reference {
    int folders = 0;
    int files = 0;
    std::uint64_t bytes = 0;
};

using IdSet = std::set<std::pair<dev_t, ino_t>>;

// Everything below `folder`: files by their own size (links not followed), folders counted and
// entered unless they are their own ancestor or `skip` says they were removed before being
// read.
void TallyBelow(const fs::path& folder, IdSet& ancestors, Reference& total,
                const std::function<bool(const std::string&)>& skip) {
    for (const auto& entry : fs::directory_iterator(folder)) {
        struct stat st;
        ASSERT_EQ(::lstat(entry.path().c_str(), &st), 0);
        if (!S_ISDIR(st.st_mode)) {
            ++total.files;
            total.bytes += static_cast<std::uint64_t>(st.st_size);
            continue;
        }
        ++total.folders;
        const std::pair<dev_t, ino_t> id{st.st_dev, st.st_ino};
        if (ancestors.contains(id) || skip(entry.path().filename().string()))
            continue;
        ancestors.insert(id);
        TallyBelow(entry.path(), ancestors, total, skip);
        ancestors.erase(id);
    }
}

std::string ReferenceSummary(const fs::path& folder,
                             const std::function<bool(const std::string&)>& skip) {
    IdSet ancestors;
    struct stat st;
    ::stat(folder.c_str(), &st);
    ancestors.insert({st.st_dev, st.st_ino});
    Reference total;
    std::set<std::string> entries;
    for (const auto& entry : fs::directory_iterator(folder)) {
        struct stat est;
        ::lstat(entry.path().c_str(), &est);
        Reference inside;
        if (S_ISDIR(est.st_mode)) {
            ancestors.insert({est.st_dev, est.st_ino});
            TallyBelow(entry.path(), ancestors, inside, skip);
            ancestors.erase({est.st_dev, est.st_ino});
            total.folders += 1 + inside.folders;
            total.files += inside.files;
        } else {
            inside.bytes = static_cast<std::uint64_t>(est.st_size);
            total.files += 1;
        }
        total.bytes += inside.bytes;
        entries.insert(entry.path().filename().string() + ":" + std::to_string(inside.bytes));
    }
    std::string text = "folders=" + std::to_string(total.folders) +
                       " files=" + std::to_string(total.files) +
                       " bytes=" + std::to_string(total.bytes);
    for (const auto& entry : entries)
        text += " " + entry;
    return text;
}

// ---- scanning ------------------------------------------------------------------------------

// The listing's totals and each entry's size, in the reference's form.
std::string ScanSummary(CCatalogriumDoc& doc, const fs::path& folder) {
    return doc.ScanFolder(folder.string(), 2) ? ListingSummary(doc) : "failed";
}

struct Scanner {
    explicit Scanner(CWalkPool& pool, ITreeSink* sink = nullptr) {
        doc.SetWalkPool(&pool);
        doc.SetFolderSink(sink);
    }
    RecordingPrompter prompter;
    RecordingProgressNote progress;
    CCatalogriumDoc doc{prompter, progress};
};

bool NoSkip(const std::string&) {
    return false;
}

// ---- tests -------------------------------------------------------------------------------

// Pools of one thread and of six, made on first use: a test that forks does so before any of
// its threads exist.
class FolderWalkTest : public ::testing::Test {
protected:
    CWalkPool& One() { return Made(m_one, 1); }
    CWalkPool& Many() { return Made(m_many, 6); }

    TempDir dir{QuickTempParent()};

private:
    static CWalkPool& Made(std::unique_ptr<CWalkPool>& pool, unsigned threads) {
        if (!pool)
            pool = std::make_unique<CWalkPool>(threads);
        return *pool;
    }
    std::unique_ptr<CWalkPool> m_one, m_many;
};

TEST_F(FolderWalkTest, OneThreadAndManyAgreeWithAPlainWalkOnRandomTrees) {
    for (unsigned seed : {1u, 2u, 3u, 4u, 5u, 6u}) {
        const fs::path tree = MakeRandomTreeIn(dir.path(), seed);
        const std::string expected = ReferenceSummary(tree, NoSkip);
        Scanner single(One()), parallel(Many());
        EXPECT_EQ(ScanSummary(single.doc, tree), expected) << seed;
        EXPECT_EQ(ScanSummary(parallel.doc, tree), expected) << seed;
        EXPECT_TRUE(parallel.prompter.messages.empty()) << seed;
    }
}

TEST_F(FolderWalkTest, BindMountLoopsAreCountedButNotEntered) {
    const fs::path tree = MakeRandomTreeIn(dir.path(), 7);
    std::vector<fs::path> folders{tree};
    for (const auto& entry : fs::recursive_directory_iterator(tree))
        if (fs::is_directory(entry.symlink_status()))
            folders.push_back(entry.path());
    ASSERT_GT(folders.size(), 8u);
    const std::string report = RunInChild([&] {
        if (!PrivateMounts())
            return std::string("skip");
        // Folders mounted below themselves: the top inside a deep folder, and a folder inside
        // one of its own sub-folders.
        const fs::path deep = folders.back();
        const fs::path loop1 = deep / "loop-to-top";
        const fs::path loop2 = folders[2] / "loop-to-parent";
        fs::create_directory(loop1);
        fs::create_directory(loop2);
        if (::mount(tree.c_str(), loop1.c_str(), nullptr, MS_BIND, nullptr) != 0 ||
            ::mount(folders[2].parent_path().c_str(), loop2.c_str(), nullptr, MS_BIND, nullptr) !=
                0)
            return std::string("skip");
        const std::string expected = ReferenceSummary(tree, NoSkip);
        // The parent's threads are not in this process: the child makes its own.
        CWalkPool childOne(1), childMany(6);
        Scanner single(childOne), parallel(childMany);
        return ScanSummary(single.doc, tree) + "\n" + ScanSummary(parallel.doc, tree) + "\n" +
               expected;
    });
    if (report == "skip")
        GTEST_SKIP() << "bind mounts need root and a private mount namespace";
    const auto first = report.find('\n');
    const auto second = report.find('\n', first + 1);
    ASSERT_NE(second, std::string::npos) << report;
    const std::string expected = report.substr(second + 1);
    ASSERT_TRUE(expected.starts_with("folders=")) << report;
    EXPECT_EQ(report.substr(0, first), expected);
    EXPECT_EQ(report.substr(first + 1, second - first - 1), expected);
}

// Whether the walk removes this folder once its parent has been read.
bool Doomed(const std::string& name) {
    return static_cast<unsigned char>(name[0]) % 3 == 0;
}

TEST_F(FolderWalkTest, FoldersRemovedWhileTheWalkRunsCountAsEmptyFolders) {
    for (CWalkPool* pool : {&One(), &Many()}) {
        const fs::path tree = MakeRandomTreeIn(dir.path() / std::to_string(pool->Threads()), 8);
        const std::string expected = ReferenceSummary(tree, Doomed);
        // Each doomed sub-folder of a folder just read is removed, a FIFO taking its place,
        // before the walk gets to it.
        std::atomic<int> removed{0};
        RecordingTreeSink sink(tree.string());
        sink.hook = [&](const TreeFolder& folder, const std::string& path) {
            for (const auto& entry : folder.entries)
                if ((entry.attributes & kAttrFolder) && Doomed(std::string(entry.name))) {
                    removed += 1;
                    const fs::path victim = fs::path(path) / std::string(entry.name);
                    fs::remove_all(victim);
                    ::mkfifo(victim.c_str(), 0644);
                }
        };
        Scanner scanner(*pool, &sink);
        EXPECT_EQ(ScanSummary(scanner.doc, tree), expected) << pool->Threads();
        EXPECT_GT(removed.load(), 0);
    }
}

TEST_F(FolderWalkTest, ScanAndTreeWalkAgreeOnEveryFolderAndFile) {
    const fs::path tree = MakeRandomTreeIn(dir.path(), 9);
    Scanner scanner(Many());
    ASSERT_TRUE(scanner.doc.ScanFolder(tree.string(), 1));
    RecordingTreeSink sink;
    const std::atomic<bool> stop{false};
    ASSERT_EQ(WalkTree(tree.string(), sink, stop, Many()), WalkOutcome::Done);
    EXPECT_EQ(sink.duplicates, 0);
    EXPECT_EQ(sink.unknownParents, 0);
    // Every folder below the listed one, and the listed one first under its path.
    EXPECT_EQ(sink.folders.size(), static_cast<std::size_t>(scanner.doc.m_nSubFolders) + 1);
    EXPECT_EQ(sink.folders.front().name, tree.string());
    int files = 0;
    std::uint64_t bytes = 0;
    for (const auto& folder : sink.folders) {
        for (const auto& entry : folder.entries) {
            if (entry.walked.kind == EntryKind::Folder) {
                EXPECT_EQ(entry.walked.size, 0u);
                continue;
            }
            ++files;
            bytes += entry.walked.size;
        }
    }
    EXPECT_EQ(files, scanner.doc.m_nFiles);
    EXPECT_EQ(bytes, scanner.doc.m_nTotalSize);
}

// A folder `depth` levels deep, each level with a side folder holding a file of 1 byte, so
// that the walk has work to share at every level.
void MakeDeepComb(int top, int depth) {
    int fd = ::dup(top);
    for (int i = 0; i < depth; ++i) {
        ASSERT_EQ(::mkdirat(fd, "side", 0755), 0);
        const int side = ::openat(fd, "side", O_RDONLY | O_DIRECTORY);
        MakeSparseFileAt(side, "one", 1);
        ::close(side);
        ASSERT_EQ(::mkdirat(fd, "d", 0755), 0);
        const int child = ::openat(fd, "d", O_RDONLY | O_DIRECTORY);
        ::close(fd);
        fd = child;
    }
    ::close(fd);
}

// Removes the comb from the bottom up; its paths are too long for path-based removal.
void RemoveDeepComb(int top) {
    int fd = ::dup(top);
    int depth = 0;
    for (int child; (child = ::openat(fd, "d", O_RDONLY | O_DIRECTORY)) >= 0; ++depth) {
        ::close(fd);
        fd = child;
    }
    for (; depth > 0; --depth) {
        const int parent = ::openat(fd, "..", O_RDONLY | O_DIRECTORY);
        ::close(fd);
        fd = parent;
        ::unlinkat(fd, "d", AT_REMOVEDIR);
        const int side = ::openat(fd, "side", O_RDONLY | O_DIRECTORY);
        ::unlinkat(side, "one", 0);
        ::close(side);
        ::unlinkat(fd, "side", AT_REMOVEDIR);
    }
    ::close(fd);
}

TEST_F(FolderWalkTest, DeepTreeNeedsAFewDescriptorsPerThread) {
    constexpr int kDepth = 20000;
    dir.MakeDir("listed");
    const int top = ::open((dir.path() / "listed").c_str(), O_RDONLY | O_DIRECTORY);
    MakeDeepComb(top, kDepth);

    for (CWalkPool* pool : {&One(), &Many()}) {
        Scanner scanner(*pool);
        const int before = CountOpenDescriptors();
        rlimit limit{};
        ::getrlimit(RLIMIT_NOFILE, &limit);
        const rlimit tight{static_cast<rlim_t>(before + 6 * static_cast<int>(pool->Threads()) + 4),
                           limit.rlim_max};
        ::setrlimit(RLIMIT_NOFILE, &tight);
        const bool ok = scanner.doc.ScanFolder((dir.path() / "listed").string(), 2);
        ::setrlimit(RLIMIT_NOFILE, &limit);

        EXPECT_TRUE(ok);
        EXPECT_EQ(scanner.doc.m_nSubFolders, 2 * kDepth) << pool->Threads();
        EXPECT_EQ(scanner.doc.m_nFiles, kDepth) << pool->Threads();
        EXPECT_EQ(scanner.doc.m_nTotalSize, static_cast<std::uint64_t>(kDepth));
        // No descriptor is left open. Fewer is possible: under AddressSanitizer a pool thread
        // that is still starting holds a descriptor of the runtime's for a moment.
        EXPECT_LE(CountOpenDescriptors(), before);
    }
    RemoveDeepComb(top);
    ::close(top);
}

// Asks to stop once `after` has passed since the scan began, and notes when it asked.
class StoppingProgressNote : public RecordingProgressNote {
public:
    explicit StoppingProgressNote(std::chrono::milliseconds after) : m_after(after) {}
    void BeginProgress() override {
        m_begun = SteadyClock::now();
        RecordingProgressNote::BeginProgress();
    }
    bool StopRequested() override {
        if (SteadyClock::now() - m_begun < m_after)
            return false;
        if (asked == SteadyClock::time_point())
            asked = SteadyClock::now();
        return true;
    }
    SteadyClock::time_point asked;

private:
    std::chrono::milliseconds m_after;
    SteadyClock::time_point m_begun;
};

TEST_F(FolderWalkTest, StopEndsALongScanWithAnEmptyListing) {
    const fs::path tree = MakeRandomTreeIn(dir.path(), 10);
    // Each folder read costs 20 ms: the whole walk would take seconds.
    RecordingTreeSink slow(tree.string());
    slow.hook = [](const TreeFolder&, const std::string&) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    };
    const int before = CountOpenDescriptors();
    for (CWalkPool* pool : {&One(), &Many()}) {
        StoppingProgressNote stopping(std::chrono::milliseconds(100));
        RecordingPrompter prompter;
        CCatalogriumDoc doc(prompter, stopping);
        doc.SetWalkPool(pool);
        doc.SetFolderSink(&slow);
        EXPECT_FALSE(doc.ScanFolder(tree.string(), 2));
        const auto stoppedAfter = SteadyClock::now() - stopping.asked;
        EXPECT_LT(stoppedAfter, std::chrono::seconds(1)) << pool->Threads();
        EXPECT_TRUE(prompter.messages.empty());
        EXPECT_EQ(ListingSummary(doc), EmptyListing()) << pool->Threads();
        EXPECT_EQ(doc.m_strListedFolder, "");
        EXPECT_EQ(stopping.calls.back(), "remove");
        EXPECT_EQ(CountOpenDescriptors(), before);

        // Every thread left the stopped walk: the pool reads the folder again in full.
        slow.hook = nullptr;
        Scanner again(*pool);
        EXPECT_EQ(ScanSummary(again.doc, tree), ReferenceSummary(tree, NoSkip));
        slow.hook = [](const TreeFolder&, const std::string&) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        };
    }
}

} // namespace

// ---- a folder that moves while the walk runs -----------------------------------------------

// `listed/a` holds 200 stable folders, each with a folder and a file in it, beside "mover",
// a folder of 60 folders with a folder each, which another thread renames between `listed/a`
// and `listed/b` all along. A walker inside "mover" when it goes finds ".." changed.
struct MovingTree {
    static constexpr int kStable = 200;
    static constexpr int kMoverFolders = 60;

    explicit MovingTree(const fs::path& top) : listed(top / "listed") {
        for (int i = 0; i < kStable; ++i) {
            const fs::path stable = listed / "a" / ("s" + std::to_string(i));
            fs::create_directories(stable / "inner");
            std::ofstream(stable / "inner" / "file") << "x";
        }
        fs::create_directories(listed / "b");
        for (int i = 0; i < kMoverFolders; ++i)
            fs::create_directories(Home() / ("m" + std::to_string(i)) / "deeper");
    }
    fs::path Home() const { return listed / "a" / "mover"; }
    fs::path Away() const { return listed / "b" / "mover"; }

    const fs::path listed;
};

// The stable folders below `listed` and their files, from a plain walk that leaves out
// "mover" and everything in it.
struct StablePart {
    std::set<std::string> folders; // their paths
    int files = 0;
};

StablePart StableFoldersOf(const fs::path& listed) {
    StablePart part;
    for (auto it = fs::recursive_directory_iterator(listed); it != fs::end(it); ++it) {
        if (it->path().filename() == "mover") {
            it.disable_recursion_pending();
        } else if (fs::is_directory(it->symlink_status())) {
            part.folders.insert(it->path().string());
        } else {
            ++part.files;
        }
    }
    return part;
}

TEST_F(FolderWalkTest, FolderMovedDuringTheWalkLosesNoOtherFolder) {
    const MovingTree tree(dir.path());
    const StablePart stable = StableFoldersOf(tree.listed);
    ASSERT_EQ(stable.folders.size(), 2u + 2 * MovingTree::kStable);
    const int moverFolders = 1 + 2 * MovingTree::kMoverFolders;

    std::atomic<bool> done{false};
    std::atomic<int> moves{0};
    std::thread renamer([&] {
        for (bool home = true; !done; home = !home, ++moves)
            fs::rename(home ? tree.Home() : tree.Away(), home ? tree.Away() : tree.Home());
    });
    int missed = 0;
    for (int run = 0; run < 40; ++run) {
        CWalkPool& pool = run % 4 == 0 ? One() : Many();
        RecordingTreeSink sink(tree.listed.string());
        Scanner scanner(pool, run % 2 == 0 ? &sink : nullptr);
        ASSERT_TRUE(scanner.doc.ScanFolder(tree.listed.string(), 2));
        // Everything that stays where it is counts once; what moves 0, 1 or 2 times.
        const int folders = scanner.doc.m_nSubFolders;
        EXPECT_GE(folders, static_cast<int>(stable.folders.size())) << run;
        EXPECT_LE(folders, static_cast<int>(stable.folders.size()) + 2 * moverFolders) << run;
        EXPECT_EQ(scanner.doc.m_nFiles, stable.files) << run;
        if (run % 2 == 0)
            for (const auto& path : stable.folders)
                missed += !sink.paths.contains(path);
    }
    done = true;
    renamer.join();
    EXPECT_EQ(missed, 0);
    EXPECT_GT(moves.load(), 40);
}
