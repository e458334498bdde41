#include "engine/CatalogriumDoc.h"
#include "tests/engine/ListingSummary.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/FileTimes.h"
#include "tests/support/OpenDescriptors.h"
#include "tests/support/Recorders.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <new>
#include <sched.h>
#include <set>
#include <string>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

// ThreadSanitizer brings its own operator new and delete, which cannot be replaced here.
#if defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define THREAD_SANITIZER 1
#endif
#endif
#if defined(__SANITIZE_THREAD__)
#define THREAD_SANITIZER 1
#endif

// Allocation failures on demand: when armed, the chosen allocation fails once. Blocks come from
// malloc, so every plain delete gives them back to free (out of line, so that the compiler does
// not take an inlined free for a mismatch with the new it sees).
namespace {
std::atomic<long> g_allocationsBeforeFailure{-1};
}

#ifndef THREAD_SANITIZER

void* operator new(std::size_t size) {
    if (g_allocationsBeforeFailure.load() >= 0 && g_allocationsBeforeFailure.fetch_sub(1) == 0)
        throw std::bad_alloc();
    if (void* p = std::malloc(size == 0 ? 1 : size))
        return p;
    throw std::bad_alloc();
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return ::operator new(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
void* operator new[](std::size_t size) {
    return ::operator new(size);
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept {
    return ::operator new(size, tag);
}
[[gnu::noinline]] void operator delete(void* p) noexcept {
    std::free(p);
}
[[gnu::noinline]] void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
[[gnu::noinline]] void operator delete(void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}
[[gnu::noinline]] void operator delete[](void* p) noexcept {
    std::free(p);
}
[[gnu::noinline]] void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}
[[gnu::noinline]] void operator delete[](void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}
#endif

namespace {

namespace fs = std::filesystem;

constexpr std::uint64_t kGiB = 1024ULL * 1024 * 1024;

// The names of a directory in the order readdir gives them, "." and ".." included.
std::vector<std::string> ReadOrder(const std::string& path) {
    std::vector<std::string> names;
    DIR* dir = ::opendir(path.c_str());
    while (const dirent* entry = dir ? ::readdir(dir) : nullptr)
        names.emplace_back(entry->d_name);
    if (dir)
        ::closedir(dir);
    return names;
}

bool IsDot(const std::string& name) {
    return name == "." || name == "..";
}

std::vector<std::string> Names(const ScanList& list) {
    std::vector<std::string> names;
    for (const auto& entry : list)
        names.push_back(entry->m_strName);
    return names;
}

const CFolderEntry* Find(const ScanList& list, const std::string& name) {
    for (const auto& entry : list)
        if (entry->m_strName == name)
            return entry.get();
    return nullptr;
}

void MakeSparseFile(const fs::path& path, std::uint64_t size) {
    std::ofstream(path).close();
    fs::resize_file(path, size);
}

// Whether the reading succeeded, and the listing it left.
std::string Summary(bool ok, const CCatalogriumDoc& doc) {
    return std::string(ok ? "ok " : "failed ") + ListingSummary(doc);
}

// As root, becomes the unprivileged user "nobody" so that permissions apply; permissions
// that deny the owner deny everybody else too.
bool DropPrivileges() {
    return ::geteuid() != 0 || (::setgid(65534) == 0 && ::setuid(65534) == 0);
}

class ScanTest : public ::testing::Test {
protected:
    std::string Path(const std::string& relative) const { return (dir.path() / relative).string(); }
    bool Scan(const std::string& relative, int choice = 2) {
        return doc.ScanFolder(Path(relative), choice);
    }

    TempDir dir;
    RecordingPrompter prompter;
    RecordingProgressNote progress;
    CCatalogriumDoc doc{prompter, progress};
};

TEST_F(ScanTest, ChoiceKeepsFoldersAtTheHeadInReverseOrderAndFilesAtTheTail) {
    for (const char* folder : {"alpha", "beta", "gamma"})
        dir.WriteFile(std::string("listed/") + folder + "/inside", "12345");
    for (const char* file : {"one", "two", "three"})
        dir.WriteFile(std::string("listed/") + file, "1");
    std::vector<std::string> folders, files;
    for (const auto& name : ReadOrder(Path("listed")))
        if (!IsDot(name))
            (fs::is_directory(dir.path() / "listed" / name) ? folders : files).push_back(name);
    const std::vector<std::string> foldersKept(folders.rbegin(), folders.rend());
    std::vector<std::string> both = foldersKept;
    both.insert(both.end(), files.begin(), files.end());

    const std::vector<std::pair<int, std::vector<std::string>>> choices = {
        {0, foldersKept}, {1, files}, {2, both}, {3, {}}, {-1, {}}};
    for (const auto& [choice, expected] : choices) {
        ASSERT_TRUE(Scan("listed", choice));
        EXPECT_EQ(Names(doc.m_scanList), expected) << choice;
        EXPECT_EQ(doc.m_nSubFolders, 3) << choice;
        EXPECT_EQ(doc.m_nFiles, 6) << choice;
        EXPECT_EQ(doc.m_nTotalSize, 18u) << choice;
        EXPECT_EQ(doc.m_strListedFolder, Path("listed")) << choice;
    }
    EXPECT_TRUE(prompter.messages.empty());
}

TEST_F(ScanTest, TotalsCountEverythingBelowTheFolder) {
    dir.WriteFile("listed/top.txt", std::string(10, 'x'));
    dir.WriteFile("listed/sub/a.txt", std::string(20, 'x'));
    dir.WriteFile("listed/sub/deeper/b.txt", std::string(30, 'x'));
    dir.WriteFile("listed/sub/deeper/c.txt", "");
    dir.MakeDir("listed/sub/empty");
    dir.MakeDir("listed/bare");
    ASSERT_TRUE(Scan("listed"));
    EXPECT_EQ(doc.m_nFiles, 4);
    EXPECT_EQ(doc.m_nSubFolders, 4);
    EXPECT_EQ(doc.m_nTotalSize, 60u);
    ASSERT_NE(Find(doc.m_scanList, "sub"), nullptr);
    EXPECT_EQ(Find(doc.m_scanList, "sub")->m_nSize, 50u);
    EXPECT_EQ(Find(doc.m_scanList, "bare")->m_nSize, 0u);
}

TEST_F(ScanTest, EmptyFolderIsAValidEmptyListing) {
    dir.MakeDir("listed");
    ASSERT_TRUE(Scan("listed"));
    EXPECT_TRUE(doc.m_scanList.empty());
    EXPECT_EQ(doc.m_nFiles + doc.m_nSubFolders, 0);
    EXPECT_EQ(doc.m_nTotalSize, 0u);
    EXPECT_EQ(doc.m_strListedFolder, Path("listed"));
}

TEST_F(ScanTest, SparseFilesAboveFourGiBKeepTheirFullSize) {
    dir.MakeDir("listed/sub/deeper");
    MakeSparseFile(dir.path() / "listed/four", 4 * kGiB);
    MakeSparseFile(dir.path() / "listed/five", 5 * kGiB + 3);
    MakeSparseFile(dir.path() / "listed/sub/deeper/six", 6 * kGiB);
    ASSERT_TRUE(Scan("listed"));
    EXPECT_EQ(Find(doc.m_scanList, "four")->m_nSize, 4294967296u);
    EXPECT_EQ(Find(doc.m_scanList, "five")->m_nSize, 5 * kGiB + 3);
    EXPECT_EQ(Find(doc.m_scanList, "sub")->m_nSize, 6 * kGiB);
    EXPECT_EQ(doc.m_nTotalSize, 15 * kGiB + 3);
}

// Sparse files on a tmpfs may each claim 2^63 - 1 bytes: together they pass what 64 bits
// hold, and the totals stop at 2^64 - 1 instead of wrapping round to less than one file.
TEST(ScanTotals, StopAtTheLargestValueInsteadOfWrapping) {
    constexpr std::uint64_t kLargestFile = INT64_MAX;
    const struct {
        const char* where; // "" for the listed folder, else a sub-folder
        std::vector<std::uint64_t> sizes;
        std::uint64_t total;
    } cases[] = {
        {"", {kLargestFile, kLargestFile, 1}, UINT64_MAX},
        {"", {kLargestFile, kLargestFile, 2}, UINT64_MAX},
        {"", {kLargestFile, kLargestFile, kLargestFile}, UINT64_MAX},
        {"sub/", {kLargestFile, kLargestFile, kLargestFile}, UINT64_MAX},
        {"sub/deeper/", {kLargestFile, kLargestFile, 5}, UINT64_MAX},
    };
    for (const auto& c : cases) {
        TempDir shm("/dev/shm");
        for (std::size_t i = 0; i < c.sizes.size(); ++i) {
            const auto file =
                shm.WriteFile(std::string("listed/") + c.where + std::to_string(i), "");
            if (::truncate(file.c_str(), static_cast<off_t>(c.sizes[i])) != 0)
                GTEST_SKIP() << "no tmpfs at /dev/shm for files of 2^63 - 1 bytes";
        }
        RecordingPrompter prompter;
        RecordingProgressNote progress;
        CCatalogriumDoc doc{prompter, progress};
        ASSERT_TRUE(doc.ScanFolder((shm.path() / "listed").string(), 2));
        EXPECT_EQ(doc.m_nTotalSize, c.total) << c.where << c.sizes.back();
        if (*c.where) {
            EXPECT_EQ(Find(doc.m_scanList, "sub")->m_nSize, c.total) << c.where;
        }
    }
}

TEST_F(ScanTest, EntryRecordsHoldAttributesAndTime) {
    dir.WriteFile("listed/plain", "abc");
    fs::permissions(dir.WriteFile("listed/locked", "abc"), fs::perms(0444));
    dir.WriteFile("listed/.profile", "");
    dir.MakeDir("listed/.cache");
    fs::create_symlink("plain", dir.path() / "listed/link");
    ASSERT_EQ(::mkfifo(Path("listed/pipe").c_str(), 0644), 0);
    SetLastWrite(Path("listed/plain"), 1000000000, 123456789);

    ASSERT_TRUE(Scan("listed"));
    const auto attributes = [&](const char* name) {
        return Find(doc.m_scanList, name)->m_dwAttributes;
    };
    EXPECT_EQ(attributes("plain"), kAttrArchive);
    EXPECT_EQ(attributes("locked"), kAttrArchive | kAttrReadOnly);
    EXPECT_EQ(attributes(".profile"), kAttrArchive | kAttrHidden);
    EXPECT_EQ(attributes(".cache"), kAttrFolder | kAttrHidden);
    EXPECT_EQ(attributes("link"), kAttrArchive);
    EXPECT_EQ(attributes("pipe"), kAttrSystem);
    EXPECT_EQ(Find(doc.m_scanList, "link")->m_nSize, 5u);

    EXPECT_EQ(Find(doc.m_scanList, "plain")->m_ftLastWrite,
              FileTimeFromUnix(1000000000, 123456789));
}

TEST_F(ScanTest, EntriesOfAReadOnlyVolumeAreReadOnly) {
    dir.WriteFile("listed/file", "abc");
    dir.MakeDir("listed/folder");
    const std::string report = RunInChild([&] {
        const std::string listed = Path("listed");
        if (!PrivateMounts() ||
            ::mount(listed.c_str(), listed.c_str(), nullptr, MS_BIND, nullptr) != 0 ||
            ::mount(nullptr, listed.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) !=
                0)
            return std::string("skip");
        if (!doc.ScanFolder(listed, 2))
            return std::string("failed");
        std::string attributes;
        for (const auto& entry : doc.m_scanList)
            attributes += entry->m_strName + "=" + std::to_string(entry->m_dwAttributes) + " ";
        return attributes;
    });
    if (report == "skip")
        GTEST_SKIP() << "no private mounts here";
    EXPECT_EQ(report, "folder=17 file=33 ");
}

TEST_F(ScanTest, FolderWhereAReadOnlyVolumeIsMountedIsReadOnly) {
    dir.WriteFile("listed/file", "abc");
    dir.WriteFile("listed/medium/inside", "abcd");
    dir.MakeDir("listed/folder");
    const std::string report = RunInChild([&] {
        const std::string medium = Path("listed/medium");
        if (!PrivateMounts() ||
            ::mount(medium.c_str(), medium.c_str(), nullptr, MS_BIND, nullptr) != 0 ||
            ::mount(nullptr, medium.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) !=
                0)
            return std::string("skip");
        if (!doc.ScanFolder(Path("listed"), 2))
            return std::string("failed");
        std::set<std::string> attributes;
        for (const auto& entry : doc.m_scanList)
            attributes.insert(entry->m_strName + "=" + std::to_string(entry->m_dwAttributes));
        std::string text;
        for (const auto& a : attributes)
            text += a + " ";
        return text + "bytes=" + std::to_string(doc.m_nTotalSize);
    });
    if (report == "skip")
        GTEST_SKIP() << "no private mounts here";
    EXPECT_EQ(report, "file=32 folder=16 medium=17 bytes=7");
}

TEST_F(ScanTest, SymbolicLinksAreNeverFollowed) {
    dir.WriteFile("outside/big", std::string(1000, 'x'));
    dir.MakeDir("listed/sub");
    fs::create_directory_symlink("../outside", dir.path() / "listed/tofolder");
    fs::create_directory_symlink("..", dir.path() / "listed/sub/loop");
    fs::create_directory_symlink("/", dir.path() / "listed/sub/root");
    fs::create_symlink("self", dir.path() / "listed/sub/self");
    ASSERT_TRUE(Scan("listed"));
    EXPECT_EQ(doc.m_nSubFolders, 1);
    EXPECT_EQ(doc.m_nFiles, 4);
    EXPECT_EQ(Find(doc.m_scanList, "tofolder")->m_nSize, 10u);
    EXPECT_FALSE(Find(doc.m_scanList, "tofolder")->IsFolder());
    EXPECT_EQ(Find(doc.m_scanList, "sub")->m_nSize, 2u + 1u + 4u);

    fs::create_directory_symlink("listed", dir.path() / "via-link");
    ASSERT_TRUE(Scan("via-link"));
    EXPECT_EQ(doc.m_scanList.size(), 2u);
}

TEST_F(ScanTest, FifosAndSocketsAreCountedButNeverOpened) {
    dir.MakeDir("listed/sub");
    ASSERT_EQ(::mkfifo(Path("listed/pipe").c_str(), 0644), 0);
    ASSERT_EQ(::mkfifo(Path("listed/sub/pipe").c_str(), 0644), 0);
    const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string socketPath = Path("listed/sub/sock");
    ASSERT_LT(socketPath.size(), sizeof address.sun_path);
    socketPath.copy(address.sun_path, socketPath.size());
    ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_TRUE(Scan("listed"));
    ::close(sock);
    EXPECT_EQ(doc.m_nFiles, 3);
    EXPECT_EQ(doc.m_nSubFolders, 1);
}

TEST_F(ScanTest, FoldersThatCannotBeOpenedCountAsEmptyFolders) {
    fs::permissions(dir.path(), fs::perms(0755));
    dir.WriteFile("listed/open/file", "12345");
    dir.WriteFile("listed/locked/secret", std::string(100, 'x'));
    dir.MakeDir("listed/locked/inner");
    dir.WriteFile("listed/open/locked2/secret", std::string(100, 'x'));
    dir.WriteFile("listed/names-only/file", std::string(100, 'x'));
    dir.MakeDir("listed/names-only/inner");
    dir.MakeDir("unreadable");
    for (const char* folder : {"listed/locked", "listed/open/locked2", "unreadable"})
        fs::permissions(dir.path() / folder, fs::perms::none);
    fs::permissions(dir.path() / "listed/names-only", fs::perms(0444));

    const std::string report = RunInChild([&] {
        if (!DropPrivileges())
            return std::string("no user");
        const std::string listed = Summary(doc.ScanFolder(Path("listed"), 2), doc);
        const std::string unreadable = Summary(doc.ScanFolder(Path("unreadable"), 2), doc);
        const std::string message = prompter.messages.empty() ? "" : prompter.messages[0].text;
        const std::string namesOnly = Summary(doc.ScanFolder(Path("listed/names-only"), 2), doc);
        return listed + " | " + unreadable + " | " + message + " | " + namesOnly;
    });
    // names-only can be read but not entered: its names count, their sizes cannot be known,
    // whether it is walked or listed.
    EXPECT_EQ(report, "ok folders=5 files=2 bytes=5 locked:0 names-only:0 open:5"
                      " | failed folders=0 files=0 bytes=0 | "
                      "There are problem reading folder  " +
                          Path("unreadable") + " | ok folders=1 files=1 bytes=0 file:0 inner:0");
}

// Root may search any folder: the reading runs as nobody.
TEST_F(ScanTest, EntriesThatCannotBeExaminedAreCountedWithTheFirstPath) {
    fs::permissions(dir.path(), fs::perms(0755));
    dir.WriteFile("names-only/file", std::string(100, 'x'));
    dir.MakeDir("names-only/inner");
    dir.WriteFile("open/file", "12345");
    fs::permissions(dir.path() / "names-only", fs::perms(0444));

    const std::string report = RunInChild([&] {
        if (!DropPrivileges())
            return std::string("no user");
        const auto unexamined = [&](const std::string& folder) {
            const bool read = doc.ScanFolder(Path(folder), 1);
            return std::to_string(read) + " " + std::to_string(doc.m_unexamined.count) + " " +
                   doc.m_unexamined.firstPath;
        };
        const std::string namesOnly = unexamined("names-only");
        const std::string remark = progress.calls[progress.calls.size() - 2];
        return namesOnly + " | " + unexamined("open") + " | " + remark;
    });
    // The first in the directory's order, which the test does not know. The remark for the
    // window comes just before the bar goes.
    bool known = false;
    for (const char* first : {"names-only/file", "names-only/inner"})
        known |= report == "1 2 " + Path(first) +
                               " | 1 0  | remark:2 entries could not be "
                               "examined (the first: " +
                               Path(first) + "); listed with size 0 and the time 0";
    EXPECT_TRUE(known) << report;
}

TEST_F(ScanTest, NamesAreKeptAsTheirBytes) {
    const std::set<std::string> names = {"with blanks", "comma,name",      "quote\"d'",
                                         "line\nbreak", "\xff\xfeinvalid", "tab\there"};
    for (const auto& name : names)
        dir.WriteFile("listed/" + name, "x");
    dir.WriteFile("listed/odd, \"folder\"\n/inside", "yy");
    ASSERT_TRUE(Scan("listed"));
    std::set<std::string> found;
    for (const auto& entry : doc.m_scanList)
        if (!entry->IsFolder())
            found.insert(entry->m_strName);
    EXPECT_EQ(found, names);
    EXPECT_EQ(doc.m_scanList.front()->m_strName, "odd, \"folder\"\n");
    EXPECT_EQ(doc.m_nTotalSize, 8u);
}

// Records the messages in the same log as the progress calls, to check their order.
class LoggingPrompter : public RecordingPrompter {
public:
    explicit LoggingPrompter(std::vector<std::string>& log) : m_log(log) {}
    MessageAnswer Prompt(const std::string& text, const std::string& caption, MessageIcon icon,
                         MessageButtons buttons) override {
        m_log.push_back("message:" + text);
        return RecordingPrompter::Prompt(text, caption, icon, buttons);
    }

private:
    std::vector<std::string>& m_log;
};

TEST_F(ScanTest, EveryEntryButTheFirstShowsItsNameAndStepsTheBar) {
    dir.WriteFile("listed/file", "x");
    dir.WriteFile("listed/.hidden", "x");
    dir.WriteFile("listed/sub/below", "x");
    std::vector<std::string> expected = {"begin", "wait"};
    const auto order = ReadOrder(Path("listed"));
    for (std::size_t i = 1; i < order.size(); ++i) {
        expected.push_back("text:" + order[i]);
        expected.push_back("stepit");
    }
    expected.insert(expected.end(), {"endwait", "remove"});
    ASSERT_TRUE(Scan("listed", 1));
    EXPECT_EQ(progress.calls, expected);
    EXPECT_EQ(progress.Count("stepit"), 4);
}

TEST_F(ScanTest, FolderThatCannotBeReadIsReportedAfterTheWaitCursor) {
    dir.WriteFile("a-file", "x");
    for (const char* path : {"missing", "a-file", "missing/deeper"}) {
        progress.calls.clear();
        LoggingPrompter logging(progress.calls);
        CCatalogriumDoc failing(logging, progress);
        EXPECT_FALSE(failing.ScanFolder(Path(path), 2)) << path;
        const std::vector<std::string> expected = {
            "begin", "wait", "endwait", "message:There are problem reading folder  " + Path(path),
            "remove"};
        EXPECT_EQ(progress.calls, expected);
        ASSERT_EQ(logging.messages.size(), 1u);
        EXPECT_EQ(logging.messages[0].caption, "Catalogrium");
        EXPECT_EQ(logging.messages[0].icon, MessageIcon::Error);
        EXPECT_TRUE(failing.m_scanList.empty());
        EXPECT_EQ(failing.m_strListedFolder, "");
    }
}

TEST_F(ScanTest, EmptyPathReadsTheRoot) {
    dir.WriteFile("file", "123");
    dir.WriteFile("folder/inside", "12");
    const std::string report = RunInChild([&] {
        if (::chroot(dir.str().c_str()) != 0)
            return std::string("skip");
        return Summary(doc.ScanFolder("", 2), doc) + " listed=" + doc.m_strListedFolder;
    });
    if (report == "skip")
        GTEST_SKIP() << "cannot change the root folder here";
    EXPECT_EQ(report, "ok folders=1 files=2 bytes=5 file:3 folder:2 listed=");
}

TEST_F(ScanTest, ANewReadingReplacesThePreviousListing) {
    dir.WriteFile("first/a", "1");
    dir.WriteFile("first/b", "1");
    dir.WriteFile("second/c", "123");
    ASSERT_TRUE(Scan("first"));
    for (auto& entry : doc.m_scanList)
        doc.m_entryList.push_back(std::move(entry));
    doc.m_scanList.clear();
    doc.m_entryList.front()->m_comments.m_strComment1 = "a comment";

    ASSERT_TRUE(Scan("second"));
    EXPECT_TRUE(doc.m_entryList.empty());
    EXPECT_EQ(Names(doc.m_scanList), std::vector<std::string>{"c"});
    EXPECT_EQ(doc.m_nFiles, 1);
    EXPECT_EQ(doc.m_nTotalSize, 3u);

    ASSERT_TRUE(Scan("first"));
    EXPECT_EQ(doc.m_scanList.size(), 2u);
    EXPECT_FALSE(Scan("missing"));
    EXPECT_EQ(ListingSummary(doc), EmptyListing());
    EXPECT_EQ(doc.m_strListedFolder, "");
}

TEST_F(ScanTest, FolderMountedInsideItselfIsWalkedOnce) {
    dir.WriteFile("listed/file", "12345");
    dir.MakeDir("listed/sub/loop");
    const std::string report = RunInChild([&] {
        const std::string listed = Path("listed");
        if (!PrivateMounts() || ::mount(listed.c_str(), Path("listed/sub/loop").c_str(), nullptr,
                                        MS_BIND, nullptr) != 0)
            return std::string("skip");
        return Summary(doc.ScanFolder(listed, 2), doc);
    });
    if (report == "skip")
        GTEST_SKIP() << "no private mounts here";
    EXPECT_EQ(report, "ok folders=2 files=1 bytes=5 file:5 sub:0");
}

TEST_F(ScanTest, RunningOutOfMemoryAnywhereLeavesAnEmptyListing) {
#ifdef THREAD_SANITIZER
    GTEST_SKIP() << "allocation failures need the test's own operator new";
#endif
    dir.WriteFile("listed/a-rather-long-file-name.txt", "12345");
    dir.WriteFile("listed/sub/another-rather-long-name/x", "1");
    dir.WriteFile("listed/sub/short", "1");
    dir.MakeDir("listed/folder-with-a-long-name");
    const std::string listed = Path("listed");
    const int descriptors = CountOpenDescriptors();
    bool succeeded = false;
    for (long n = 0; !succeeded && n < 100000; ++n) {
        progress.calls.clear();
        progress.calls.reserve(64);
        prompter.messages.clear();
        prompter.messages.reserve(4);
        g_allocationsBeforeFailure = n;
        succeeded = doc.ScanFolder(listed, 2);
        g_allocationsBeforeFailure = -1;
        if (succeeded)
            break;
        ASSERT_EQ(prompter.messages.size(), 1u) << n;
        EXPECT_EQ(prompter.messages[0].text, " There are not enough memory! ");
        EXPECT_EQ(prompter.messages[0].caption, "Catalogrium");
        EXPECT_TRUE(doc.m_scanList.empty()) << n;
        EXPECT_EQ(doc.m_strListedFolder, "") << n;
        EXPECT_EQ(progress.calls.back(), "remove") << n;
        EXPECT_EQ(CountOpenDescriptors(), descriptors) << n;
    }
    ASSERT_TRUE(succeeded);
    EXPECT_EQ(doc.m_scanList.size(), 3u);
    EXPECT_EQ(doc.m_nFiles, 3);
}

} // namespace
