#include "engine/FolderEntry.h"
#include "engine/FolderWalk.h"
#include "engine/TreeWalk.h"
#include "tests/engine/RecordingTreeSink.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/OpenDescriptors.h"
#include "tests/support/RunCommand.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <grp.h>
#include <map>
#include <mutex>
#include <new>
#include <optional>
#include <random>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr uid_t kNobody = 65534;

std::string Hex(std::string_view bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned char c : bytes) {
        hex += digits[c >> 4];
        hex += digits[c & 15];
    }
    return hex;
}

// ---- a hostile tree --------------------------------------------------------------------------

void MakeFileAt(int folder, const std::string& name, const std::string& contents) {
    const int fd = ::openat(folder, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0) << Hex(name);
    ASSERT_EQ(::write(fd, contents.data(), contents.size()), static_cast<ssize_t>(contents.size()));
    ::close(fd);
}

void MakeSocketAt(const fs::path& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(path.string().size(), sizeof address.sun_path);
    std::copy_n(path.c_str(), path.string().size(), address.sun_path);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    ::close(fd);
}

// Every kind of entry a folder can hold, under names of every byte but '/' and NUL, names that
// are not UTF-8, links to folders, to nowhere and to each other, a FIFO, a socket, a device
// node (as root) and a folder nobody may read. `level` makes the names of each folder its own.
void MakeHostileEntries(const fs::path& folder, int level) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    const std::string tag = std::to_string(level);
    std::string everyByte;
    for (int byte = 1; byte < 256; ++byte) {
        if (byte == '/')
            continue;
        everyByte += static_cast<char>(byte);
        MakeFileAt(fd, tag + static_cast<char>(byte),
                   std::string(static_cast<std::size_t>(byte), 'x'));
    }
    ASSERT_EQ(::mkdirat(fd, everyByte.c_str(), 0755), 0);
    for (const char* invalid : {"\xff\xfe", "\xc3\x28", "\xed\xa0\x80", "\xe2\x82", "\x80"})
        MakeFileAt(fd, tag + "-" + invalid, tag);
    ASSERT_EQ(::symlinkat("..", fd, "link-up"), 0);
    ASSERT_EQ(::symlinkat(everyByte.c_str(), fd, "link-to-folder"), 0);
    ASSERT_EQ(::symlinkat("nowhere", fd, "link-dangling"), 0);
    ASSERT_EQ(::symlinkat("loop-b", fd, "loop-a"), 0);
    ASSERT_EQ(::symlinkat("loop-a", fd, "loop-b"), 0);
    ASSERT_EQ(::mkfifoat(fd, "fifo", 0644), 0);
    MakeSocketAt(folder / "socket");
    if (::geteuid() == 0) {
        ASSERT_EQ(::mknodat(fd, "null-device", S_IFCHR | 0666, makedev(1, 3)), 0);
    }
    ASSERT_EQ(::mkdirat(fd, "locked", 0755), 0);
    const int locked = ::openat(fd, "locked", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    MakeFileAt(locked, "hidden", "secret");
    ::close(locked);
    ASSERT_EQ(::fchmodat(fd, "locked", 0, 0), 0);
    ::close(fd);
}

// Three levels of folders with hostile entries in each.
void MakeHostileTree(const fs::path& top, int depth, int& level) {
    MakeHostileEntries(top, level++);
    if (depth == 0)
        return;
    for (const char* name : {"a", "b\n\t", "c\xff"}) {
        fs::create_directory(top / name);
        MakeHostileTree(top / name, depth - 1, level);
    }
}

// ---- what the walk reports, and what Python's os.walk finds ----------------------------------

// One line per folder read, its path below the top first: each entry as hex name, kind and
// size (0 for a folder), in the directory's order. Lines sorted.
std::string Describe(const RecordingTreeSink& sink, const std::string& top) {
    std::vector<std::string> lines;
    for (const auto& folder : sink.folders) {
        std::string line = Hex(std::string_view(folder.path).substr(top.size()));
        for (const auto& entry : folder.entries)
            line += " " + Hex(entry.name) + ":" +
                    std::to_string(static_cast<int>(entry.walked.kind)) + ":" +
                    std::to_string(entry.walked.size);
        lines.push_back(line);
    }
    std::sort(lines.begin(), lines.end());
    std::string text;
    for (const auto& line : lines)
        text += line + "\n";
    return text;
}

// Folders whose index does not point at their own name among their parent's entries.
int MisplacedFolders(const RecordingTreeSink& sink) {
    int misplaced = 0;
    for (std::size_t tag = 1; tag < sink.folders.size(); ++tag) {
        const auto& folder = sink.folders[tag];
        const auto& parent = sink.folders.at(folder.parentTag).entries;
        misplaced += folder.index >= parent.size() || parent[folder.index].name != folder.name ||
                     parent[folder.index].walked.kind != EntryKind::Folder;
    }
    return misplaced;
}

// The same description from os.walk, links never followed and a folder that is its own
// ancestor not entered.
const char* const kPythonWalk = R"(
import os, stat, sys
top = os.fsencode(sys.argv[1])
def kind(st):
    if stat.S_ISREG(st.st_mode): return 0
    if stat.S_ISDIR(st.st_mode): return 1
    if stat.S_ISLNK(st.st_mode): return 2
    return 3
top_st = os.stat(top)
ancestors = {top: {(top_st.st_dev, top_st.st_ino)}}
lines = []
for root, dirs, files in os.walk(top):
    line = root[len(top):].hex()
    dirs[:] = []
    for name in os.listdir(root):
        st = os.lstat(os.path.join(root, name))
        k = kind(st)
        line += " %s:%d:%d" % (name.hex(), k, 0 if k == 1 else st.st_size)
        me = (st.st_dev, st.st_ino)
        if k == 1 and me not in ancestors[root]:
            dirs.append(name)
            ancestors[os.path.join(root, name)] = ancestors[root] | {me}
    lines.append(line)
sys.stdout.write("".join(l + "\n" for l in sorted(lines)))
)";

std::string PythonDescription(const fs::path& top) {
    return RunCommand({"python3", "-c", kPythonWalk, top.string()}).out;
}

// Root reads every folder: the walk and the reference run as nobody, for whom "locked" is
// locked. False when that cannot be.
bool BecomeNobody() {
    return ::setgroups(0, nullptr) == 0 && ::setgid(kNobody) == 0 && ::setuid(kNobody) == 0;
}

// The walk's description with a pool of one thread and of six, then the reference, apart.
constexpr const char* kApart = "\f\f";

// Walks `top` on `threads` threads into `sink`: true when the walk went to its end.
bool WalksToTheEnd(const std::string& top, ITreeSink& sink, unsigned threads) {
    CWalkPool pool(threads);
    const std::atomic<bool> stop{false};
    return WalkTree(top, sink, stop, pool) == WalkOutcome::Done;
}

std::string WalkAndReference(const fs::path& top) {
    std::string report;
    for (unsigned threads : {1u, 6u}) {
        RecordingTreeSink sink;
        if (!WalksToTheEnd(top.string(), sink, threads))
            return "walk failed";
        report += Describe(sink, top.string());
        report += "misplaced " + std::to_string(MisplacedFolders(sink)) + " duplicates " +
                  std::to_string(sink.duplicates) + " unknown parents " +
                  std::to_string(sink.unknownParents) + kApart;
    }
    return report + PythonDescription(top);
}

std::vector<std::string> Split(const std::string& report) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (std::size_t at; (at = report.find(kApart, start)) != std::string::npos;
         start = at + std::string(kApart).size())
        parts.push_back(report.substr(start, at - start));
    parts.push_back(report.substr(start));
    return parts;
}

class TreeWalkTest : public ::testing::Test {
protected:
    TempDir dir{QuickTempParent()};
};

TEST_F(TreeWalkTest, HostileTreeIsReportedAsOsWalkFindsIt) {
    // Nobody may need to go through the temporary folder.
    ::chmod(dir.path().c_str(), 0755);
    const fs::path top = dir.path() / "top";
    fs::create_directory(top);
    int level = 0;
    MakeHostileTree(top, 2, level);
    const std::string report = RunInChild([&] {
        if (::geteuid() == 0) {
            // The top mounted inside itself: a loop that is entered once and then seen.
            fs::create_directory(top / "a" / "loop");
            if (!PrivateMounts() ||
                ::mount(top.c_str(), (top / "a" / "loop").c_str(), nullptr, MS_BIND, nullptr) != 0)
                return std::string("no bind mount");
            if (!BecomeNobody())
                return std::string("cannot become nobody");
        }
        return WalkAndReference(top);
    });
    const std::vector<std::string> parts = Split(report);
    ASSERT_EQ(parts.size(), 3u) << report.substr(0, 200);
    const std::string& reference = parts[2];
    // The reference saw every kind of entry, the folder it could not read included.
    ASSERT_NE(reference.find(" " + Hex("fifo") + ":3:0"), std::string::npos);
    ASSERT_NE(reference.find(" " + Hex("socket") + ":3:0"), std::string::npos);
    ASSERT_NE(reference.find(" " + Hex("loop-a") + ":2:6"), std::string::npos);
    ASSERT_NE(reference.find(" " + Hex("locked") + ":1:0"), std::string::npos);
    ASSERT_EQ(reference.find(Hex("/locked")), std::string::npos);
    for (std::size_t threads = 0; threads < 2; ++threads) {
        const std::string& walked = parts[threads];
        const std::size_t last = walked.rfind("misplaced");
        ASSERT_NE(last, std::string::npos) << walked.substr(0, 200);
        EXPECT_EQ(walked.substr(0, last), reference) << threads;
        EXPECT_EQ(walked.substr(last), "misplaced 0 duplicates 0 unknown parents 0") << threads;
    }
}

TEST_F(TreeWalkTest, FolderMountedTwiceIsReadUnderBothPaths) {
    const fs::path top = dir.path() / "top";
    fs::create_directories(top / "shared" / "inner");
    std::ofstream(top / "shared" / "inner" / "file") << "12345";
    fs::create_directories(top / "x" / "first");
    fs::create_directories(top / "y" / "second");
    const std::string report = RunInChild([&] {
        if (!PrivateMounts())
            return std::string("skip");
        for (const char* place : {"x/first", "y/second"})
            if (::mount((top / "shared").c_str(), (top / place).c_str(), nullptr, MS_BIND,
                        nullptr) != 0)
                return std::string("skip");
        return WalkAndReference(top);
    });
    if (report == "skip")
        GTEST_SKIP() << "bind mounts need root and a private mount namespace";
    const std::vector<std::string> parts = Split(report);
    ASSERT_EQ(parts.size(), 3u) << report.substr(0, 200);
    for (const char* inner : {"/shared/inner", "/x/first/inner", "/y/second/inner"})
        EXPECT_NE(parts[2].find("\n" + Hex(inner) + " " + Hex("file") + ":0:5\n"),
                  std::string::npos)
            << inner;
    EXPECT_EQ(parts[0], parts[2] + "misplaced 0 duplicates 0 unknown parents 0");
    EXPECT_EQ(parts[1], parts[2] + "misplaced 0 duplicates 0 unknown parents 0");
}

// Only the folders where a read-only volume is mounted, at any depth, and what lies below them
// are read-only; their siblings on the writable volume are not.
TEST_F(TreeWalkTest, ReadOnlyMountsAnywhereBelowMakeTheirFoldersReadOnly) {
    const fs::path top = dir.path() / "top";
    for (const char* folder : {"near", "a/b/far", "a/b/plain", "a/b/far/inner"})
        fs::create_directories(top / folder);
    std::ofstream(top / "a" / "b" / "far" / "file") << "12345";
    const std::string report = RunInChild([&] {
        if (!PrivateMounts())
            return std::string("skip");
        for (const char* place : {"near", "a/b/far"}) {
            const std::string path = (top / place).string();
            if (::mount(path.c_str(), path.c_str(), nullptr, MS_BIND, nullptr) != 0 ||
                ::mount(nullptr, path.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY,
                        nullptr) != 0)
                return std::string("skip");
        }
        RecordingTreeSink sink;
        if (!WalksToTheEnd(top.string(), sink, 2))
            return std::string("walk failed");
        std::set<std::string> readOnly;
        for (const auto& folder : sink.folders)
            for (const auto& entry : folder.entries)
                if ((entry.walked.attributes & kAttrReadOnly) != 0)
                    readOnly.insert(folder.path.substr(top.string().size()) + "/" + entry.name);
        std::string text;
        for (const std::string& path : readOnly)
            text += path + " ";
        return text;
    });
    if (report == "skip")
        GTEST_SKIP() << "read-only bind mounts need root and a private mount namespace";
    EXPECT_EQ(report, "/a/b/far /a/b/far/file /a/b/far/inner /near ");
}

// ---- a sink that fails, and stopping -------------------------------------------------------

// Throws `failure` at the folder with tag `at` (0: the listed folder, on the caller's thread);
// counts the calls in progress.
class FailingSink : public RecordingTreeSink {
public:
    FailingSink(std::size_t at, std::function<void()> failure)
        : m_at(at), m_failure(std::move(failure)) {}

    std::uint64_t OnFolder(const TreeFolder& folder) override {
        ++inside;
        struct Leaving {
            std::atomic<int>& inside;
            ~Leaving() { --inside; }
        } leaving{inside};
        const std::uint64_t tag = RecordingTreeSink::OnFolder(folder);
        if (tag == m_at)
            m_failure();
        return tag;
    }

    std::atomic<int> inside{0};

private:
    std::size_t m_at;
    std::function<void()> m_failure;
};

// A tree of 3 levels of 8 folders, each with a few files: 585 folders.
fs::path MakeBushyTree(const fs::path& parent) {
    const fs::path top = parent / "bushy";
    std::vector<fs::path> level{top};
    fs::create_directory(top);
    for (int depth = 0; depth < 3; ++depth) {
        std::vector<fs::path> next;
        for (const auto& folder : level)
            for (int i = 0; i < 8; ++i) {
                const fs::path child = folder / ("f" + std::to_string(i));
                fs::create_directory(child);
                std::ofstream(child / "file") << i;
                next.push_back(child);
            }
        level = std::move(next);
    }
    return top;
}

constexpr std::size_t kBushyFolders = 1 + 8 + 64 + 512;

TEST_F(TreeWalkTest, AnExceptionOfTheSinkReachesTheCallerAndTheWalkEnds) {
    const fs::path top = MakeBushyTree(dir.path());
    const std::atomic<bool> stop{false};
    for (unsigned threads : {1u, 6u}) {
        CWalkPool pool(threads);
        for (std::size_t at : {0u, 1u, 40u}) {
            const int before = CountOpenDescriptors();
            FailingSink failing(at, [] { throw std::runtime_error("sink failed"); });
            EXPECT_THROW(WalkTree(top.string(), failing, stop, pool), std::runtime_error)
                << threads << " " << at;
            EXPECT_EQ(failing.inside.load(), 0);
            EXPECT_LT(failing.folders.size(), kBushyFolders);
            FailingSink starved(at, [] { throw std::bad_alloc(); });
            EXPECT_THROW(WalkTree(top.string(), starved, stop, pool), std::bad_alloc);
            EXPECT_EQ(starved.inside.load(), 0);
            EXPECT_EQ(CountOpenDescriptors(), before);

            // The pool is free again and reads the whole tree.
            RecordingTreeSink all;
            EXPECT_EQ(WalkTree(top.string(), all, stop, pool), WalkOutcome::Done);
            EXPECT_EQ(all.folders.size(), kBushyFolders);
        }
    }
}

TEST_F(TreeWalkTest, StopEndsTheWalkAndNothingIsReportedAfter) {
    const fs::path top = MakeBushyTree(dir.path());
    CWalkPool pool(6);
    std::atomic<bool> stop{false};
    FailingSink sink(3, [&] { stop = true; });
    sink.hook = [](const TreeFolder&, const std::string&) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    };
    const int before = CountOpenDescriptors();
    EXPECT_EQ(WalkTree(top.string(), sink, stop, pool), WalkOutcome::Stopped);
    EXPECT_EQ(sink.inside.load(), 0);
    const std::size_t reported = sink.folders.size();
    EXPECT_LT(reported, kBushyFolders / 2);
    EXPECT_EQ(CountOpenDescriptors(), before);

    // Set before the walk: nothing is reported.
    RecordingTreeSink none;
    EXPECT_EQ(WalkTree(top.string(), none, stop, pool), WalkOutcome::Stopped);
    EXPECT_TRUE(none.folders.empty());
    EXPECT_EQ(sink.folders.size(), reported);
}

TEST_F(TreeWalkTest, AFolderThatCannotBeOpenedIsRefused) {
    std::ofstream(dir.path() / "file") << "x";
    CWalkPool pool(2);
    RecordingTreeSink sink;
    const std::atomic<bool> stop{false};
    EXPECT_EQ(WalkTree((dir.path() / "file").string(), sink, stop, pool), WalkOutcome::CannotOpen);
    EXPECT_EQ(WalkTree((dir.path() / "missing").string(), sink, stop, pool),
              WalkOutcome::CannotOpen);
    EXPECT_TRUE(sink.folders.empty());
}

// ---- content hashes --------------------------------------------------------------------------

class HashingSink final : public RecordingTreeSink {
public:
    bool WantsContentHashes() const override { return true; }
};

// What `xxhsum -H2` (Debian's xxhash) prints for each file, by name: "-" for an entry without
// a hash.
std::string XxhsumOf(const fs::path& file) {
    const auto run = RunCommand({"sh", "-c", "xxhsum -H2 < \"$1\"", "sh", file.string()});
    return run.status == 0 && run.out.size() >= 32 ? run.out.substr(0, 32) : "xxhsum failed";
}

std::string HashText(const std::optional<ContentHash>& hash) {
    if (!hash)
        return "-";
    char text[33];
    std::snprintf(text, sizeof text, "%016llx%016llx", static_cast<unsigned long long>(hash->high),
                  static_cast<unsigned long long>(hash->low));
    return text;
}

// Every entry the walk reported, by path below the listed folder, with its hash.
std::map<std::string, std::string> HashesOf(const RecordingTreeSink& sink) {
    std::map<std::string, std::string> hashes;
    const std::string top = sink.folders.front().path;
    for (const auto& folder : sink.folders)
        for (const auto& entry : folder.entries)
            hashes[(folder.path + "/" + entry.name).substr(top.size() + 1)] =
                HashText(entry.walked.hash);
    return hashes;
}

// Files in the listed folder (examined apart) and below it, empty, of one byte, across the
// read buffer's bounds and of random bytes, each hashed as xxhsum hashes it; links, FIFOs and
// folders have no hash, and a FIFO never holds the walk.
TEST_F(TreeWalkTest, ContentHashesAreThoseOfXxhsumForEveryRegularFile) {
    std::string random(3 * 1024 * 1024 + 17, '\0');
    std::mt19937 draw(7);
    for (char& c : random)
        c = static_cast<char>(draw());
    const std::map<std::string, std::string> files{
        {"empty", ""},
        {"one", "a"},
        {"sub/buffer", std::string(1024 * 1024, 'b')},
        {"sub/past buffer", std::string(1024 * 1024 + 1, 'c')},
        {"sub/deeper/random\n\xff", random}};
    std::map<std::string, std::string> expected;
    for (const auto& [name, content] : files) {
        fs::create_directories((dir.path() / name).parent_path());
        std::ofstream(dir.path() / name, std::ios::binary) << content;
        expected[name] = XxhsumOf(dir.path() / name);
    }
    fs::create_symlink("one", dir.path() / "link");
    fs::create_symlink("one", dir.path() / "sub/link");
    ASSERT_EQ(::mkfifo((dir.path() / "fifo").c_str(), 0644), 0);
    ASSERT_EQ(::mkfifo((dir.path() / "sub/fifo").c_str(), 0644), 0);
    for (const char* other : {"link", "sub/link", "fifo", "sub/fifo", "sub", "sub/deeper"})
        expected[other] = "-";

    for (unsigned threads : {1u, 4u}) {
        CWalkPool pool(threads);
        HashingSink sink;
        const std::atomic<bool> stop{false};
        ASSERT_EQ(WalkTree(dir.str(), sink, stop, pool), WalkOutcome::Done);
        EXPECT_EQ(HashesOf(sink), expected) << threads << " threads";
    }
    RecordingTreeSink plain;
    CWalkPool pool(2);
    const std::atomic<bool> stop{false};
    ASSERT_EQ(WalkTree(dir.str(), plain, stop, pool), WalkOutcome::Done);
    EXPECT_EQ(HashesOf(plain)["sub/buffer"], "-") << "only a sink that wants them gets hashes";
}

// A file that cannot be read is reported as before, without a hash, and the walk goes on.
TEST_F(TreeWalkTest, AFileThatCannotBeReadHasNoHash) {
    ::chmod(dir.path().c_str(), 0755);
    std::ofstream(dir.path() / "secret") << "secret";
    std::ofstream(dir.path() / "open") << "open";
    fs::create_directory(dir.path() / "sub");
    std::ofstream(dir.path() / "sub/secret") << "secret";
    ::chmod((dir.path() / "secret").c_str(), 0);
    ::chmod((dir.path() / "sub/secret").c_str(), 0);
    const std::string report = RunInChild([&] {
        if (::geteuid() == 0 && !BecomeNobody())
            return std::string("cannot become nobody");
        HashingSink sink;
        if (!WalksToTheEnd(dir.str(), sink, 2))
            return std::string("walk failed");
        std::string text;
        for (const auto& [path, hash] : HashesOf(sink))
            text += path + " " + (hash == "-" ? "-" : "hash") + "\n";
        return text;
    });
    EXPECT_EQ(report, "open hash\nsecret -\nsub -\nsub/secret -\n");
}

// ---- a very deep chain ---------------------------------------------------------------------

// A chain of folders "d" `depth` deep below the open folder `top`, made and removed through
// descriptors: its paths are far longer than the system takes.
void MakeChain(int top, int depth) {
    int fd = ::dup(top);
    for (int i = 0; i < depth; ++i) {
        ASSERT_EQ(::mkdirat(fd, "d", 0755), 0);
        const int child = ::openat(fd, "d", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::close(fd);
        fd = child;
    }
    ::close(fd);
}

void RemoveChain(int top) {
    int fd = ::dup(top);
    int depth = 0;
    for (int child; (child = ::openat(fd, "d", O_RDONLY | O_DIRECTORY | O_CLOEXEC)) >= 0; ++depth) {
        ::close(fd);
        fd = child;
    }
    for (; depth > 0; --depth) {
        const int parent = ::openat(fd, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::close(fd);
        fd = parent;
        ::unlinkat(fd, "d", AT_REMOVEDIR);
    }
    ::close(fd);
}

// Keeps each folder's parent tag only: what the sink holds grows by 8 bytes a folder.
class ParentSink : public ITreeSink {
public:
    std::uint64_t OnFolder(const TreeFolder& folder) override {
        std::lock_guard lock(m_mutex);
        parents.push_back(folder.parentTag);
        misplaced += folder.index != 0 || (parents.size() > 1 && folder.name != "d");
        return parents.size() - 1;
    }
    std::vector<std::uint64_t> parents;
    int misplaced = 0;

private:
    std::mutex m_mutex;
};

// The peak of the process's resident memory in kB, since ResetPeakMemory.
long PeakMemoryKb() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.starts_with("VmHWM:"))
            return std::stol(line.substr(6));
    return -1;
}

void ResetPeakMemory() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

TEST_F(TreeWalkTest, AChainOfAHundredThousandFoldersIsWalkedInMemoryLinearInDepth) {
    constexpr int kDepth = 100000;
    const int top = ::open(dir.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    MakeChain(top, kDepth);
    // In a child, whose peak is the walk's alone.
    const std::string report = RunInChild([&] {
        CWalkPool pool(6);
        ParentSink sink;
        sink.parents.reserve(kDepth + 1);
        const std::atomic<bool> stop{false};
        ResetPeakMemory();
        const long before = PeakMemoryKb();
        if (WalkTree(dir.str(), sink, stop, pool) != WalkOutcome::Done)
            return std::string("walk failed");
        std::size_t chained = 0;
        for (std::size_t tag = 1; tag < sink.parents.size(); ++tag)
            chained += sink.parents[tag] == tag - 1;
        return std::to_string(sink.parents.size()) + " " + std::to_string(chained) + " " +
               std::to_string(sink.misplaced) + " " + std::to_string(PeakMemoryKb() - before);
    });
    RemoveChain(top);
    ::close(top);
    std::istringstream fields(report);
    std::size_t folders = 0, chained = 0;
    int misplaced = -1;
    long grownKb = -1;
    fields >> folders >> chained >> misplaced >> grownKb;
    ASSERT_EQ(folders, kDepth + 1u) << report;
    EXPECT_EQ(chained, static_cast<std::size_t>(kDepth));
    EXPECT_EQ(misplaced, 0);
    std::printf("peak memory of the walk of %d levels: %ld kB\n", kDepth, grownKb);
    EXPECT_GE(grownKb, 0);
    EXPECT_LT(grownKb, 100 * 1024);
}

} // namespace
