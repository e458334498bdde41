// The temporary file through which a save replaces its target.
#include "engine/OutputFile.h"
#include "engine/ReplacingFile.h"
#include "tests/support/ReadAll.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

class ReplacingFileTest : public ::testing::Test {
protected:
    ReplacingFileTest() : target(dir.WriteFile("listing.txt", "previous")) {}

    TempDir dir;
    fs::path target;
};

// Where the file system allows it, the temporary file has no name until it replaces the
// target, so however the save ends nothing is left beside the target.
TEST_F(ReplacingFileTest, UnnamedTemporaryFileIsNeverSeenBesideTheTarget) {
    {
        CReplacingFile file(target);
        ASSERT_GE(file.Descriptor(), 0) << file.Error();
        ASSERT_EQ(WriteAll(file.Descriptor(), "abandoned"), 0);
        EXPECT_EQ(NamesIn(dir.path()), std::vector<std::string>{"listing.txt"});
    }
    EXPECT_EQ(ReadAll(target), "previous");

    CReplacingFile file(target);
    ASSERT_EQ(WriteAll(file.Descriptor(), "new listing"), 0);
    EXPECT_EQ(NamesIn(dir.path()), std::vector<std::string>{"listing.txt"});
    ASSERT_TRUE(file.Commit(0640)) << file.Error();
    EXPECT_EQ(ReadAll(target), "new listing");
    EXPECT_EQ(NamesIn(dir.path()), std::vector<std::string>{"listing.txt"});
    EXPECT_EQ(fs::status(target).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

// A named temporary file (the way taken where unnamed ones are not supported) is removed when
// the save fails, and by the signal handler's cleanup while it is pending.
TEST_F(ReplacingFileTest, NamedTemporaryFileIsRemovedUnlessItReplacesTheTarget) {
    for (const bool interrupted : {false, true}) {
        {
            CReplacingFile file(target, TemporaryFile::Named);
            ASSERT_GE(file.Descriptor(), 0) << file.Error();
            const auto names = NamesIn(dir.path());
            ASSERT_EQ(names.size(), 2u);
            EXPECT_EQ(names[0].rfind(".catalogrium3-", 0), 0u) << names[0];
            if (interrupted) {
                RemovePendingTemporaryFile();
                EXPECT_EQ(NamesIn(dir.path()), std::vector<std::string>{"listing.txt"});
            }
        }
        EXPECT_EQ(NamesIn(dir.path()), std::vector<std::string>{"listing.txt"});
        EXPECT_EQ(ReadAll(target), "previous");
    }

    CReplacingFile file(target, TemporaryFile::Named);
    ASSERT_EQ(WriteAll(file.Descriptor(), "new listing"), 0);
    ASSERT_TRUE(file.Commit(0600)) << file.Error();
    // Nothing is pending once the target is replaced: the cleanup leaves the new file alone.
    RemovePendingTemporaryFile();
    EXPECT_EQ(ReadAll(target), "new listing");
    EXPECT_EQ(NamesIn(dir.path()), std::vector<std::string>{"listing.txt"});
}

// A link is followed link by link to the file it leads to, which need not exist; the path is
// left as the kernel resolves it.
TEST(ResolvedTarget, FollowsLinksAlsoToFilesThatDoNotExistYet) {
    TempDir dir;
    const std::string base = dir.str();
    dir.MakeDir("real/inner");
    fs::create_symlink("real/new.txt", dir.path() / "relative");
    fs::create_symlink(base + "/real/abs.txt", dir.path() / "absolute");
    fs::create_symlink("relative", dir.path() / "chain");
    fs::create_symlink("inner/../up.txt", dir.path() / "real/dotdot");
    const std::pair<std::string, std::string> cases[] = {
        {base + "/plain.txt", base + "/plain.txt"},
        {base + "/relative", base + "/real/new.txt"},
        {base + "/absolute", base + "/real/abs.txt"},
        {base + "/chain", base + "/real/new.txt"},
        {base + "/real/dotdot", base + "/real/inner/../up.txt"},
        {"relative-name", "relative-name"},
    };
    for (const auto& [path, target] : cases) {
        int error = -1;
        EXPECT_EQ(ResolvedTarget(path, error), target) << path;
        EXPECT_EQ(error, 0) << path;
    }
}

// ---- links that must not be followed ---------------------------------------------------

// errno of the kernel's own open through `path` for writing, creating the file; 0 when it
// opens (the file it created is removed again).
int KernelOpenError(const fs::path& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return errno;
    ::close(fd);
    std::error_code ec;
    fs::remove(fs::canonical(path, ec), ec);
    return 0;
}

// link1 -> link2 -> ... -> link`count` -> "file.txt", in `folder`.
fs::path MakeLinkChain(const fs::path& folder, int count) {
    fs::create_directories(folder);
    for (int i = 1; i <= count; ++i)
        fs::create_symlink(i == count ? "file.txt" : "link" + std::to_string(i + 1),
                           folder / ("link" + std::to_string(i)));
    return folder / "link1";
}

// A save follows as many links as the kernel does and no more: a longer chain, or a loop, is
// refused with ELOOP and changes nothing, rather than replacing the link where it stopped.
TEST(ResolvedTarget, StopsWhereTheKernelStopsFollowingLinks) {
    TempDir dir;
    for (const int count : {1, 39, 40, 41, 45}) {
        const fs::path chain = MakeLinkChain(dir.path() / std::to_string(count), count);
        const int kernel = KernelOpenError(chain);
        int error = -1;
        const std::string target = ResolvedTarget(chain, error);
        EXPECT_EQ(error, kernel) << count << " links";
        EXPECT_EQ(target.empty(), kernel != 0) << count << " links";
    }

    fs::create_symlink("loopB", dir.path() / "loopA");
    fs::create_symlink("loopA", dir.path() / "loopB");
    for (const char* name : {"loopA", "loopB"}) {
        const fs::path link = dir.path() / name;
        COutputFile file(link, 0644);
        EXPECT_LT(file.Descriptor(), 0) << name;
        EXPECT_EQ(file.Error(), ELOOP) << name;
        EXPECT_FALSE(file.Commit()) << name;
        EXPECT_TRUE(fs::is_symlink(fs::symlink_status(link))) << name;
    }
    EXPECT_EQ(fs::read_symlink(dir.path() / "loopA"), "loopB");
    EXPECT_EQ(fs::read_symlink(dir.path() / "loopB"), "loopA");
    EXPECT_EQ(NamesIn(dir.path()).size(), 7u); // the five chains and the two links
}

bool KernelProtectsSymlinks() {
    std::ifstream setting("/proc/sys/fs/protected_symlinks");
    int value = 0;
    return setting >> value && value != 0;
}

// Anyone may put a link into /tmp. The kernel follows a link in a sticky world-writable folder
// only for the link's owner or the folder's owner, and a save follows links itself, so it
// keeps that rule too: a link planted by another user does not make the save overwrite a
// file of its choosing. (Run as root, which owns nothing here: the folder is another user's.)
TEST(ResolvedTarget, FollowsLinksInStickyWorldWritableFoldersOnlyForTheirOwners) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to give the folder and the links to other users";
    constexpr uid_t kFolderOwner = 1;  // daemon
    constexpr uid_t kStranger = 65534; // nobody
    TempDir dir;
    const fs::path victim = dir.WriteFile("victim.txt", "kept");
    struct Case {
        const char* name;
        mode_t folderMode;
        uid_t linkOwner;
        int error;
    };
    const Case cases[] = {
        {"stranger's link in a sticky world-writable folder", 01777, kStranger, EACCES},
        {"folder owner's link", 01777, kFolderOwner, 0},
        {"the user's own link", 01777, 0, 0},
        {"stranger's link, folder not sticky", 0777, kStranger, 0},
        {"stranger's link, sticky folder not world-writable", 01775, kStranger, 0},
    };
    const bool kernelReference = KernelProtectsSymlinks();
    for (const Case& c : cases) {
        const fs::path folder = dir.path() / "shared";
        fs::remove_all(folder);
        fs::create_directory(folder);
        ASSERT_EQ(::chown(folder.c_str(), kFolderOwner, kFolderOwner), 0);
        ASSERT_EQ(::chmod(folder.c_str(), c.folderMode), 0);
        const fs::path link = folder / "listing.txt";
        fs::create_symlink(victim, link);
        ASSERT_EQ(::lchown(link.c_str(), c.linkOwner, c.linkOwner), 0);

        int error = -1;
        const std::string target = ResolvedTarget(link, error);
        EXPECT_EQ(error, c.error) << c.name;
        EXPECT_EQ(target, c.error == 0 ? victim.string() : "") << c.name;
        if (kernelReference) {
            EXPECT_EQ(KernelOpenError(link) == 0, c.error == 0) << c.name;
            std::ofstream(victim) << "kept";
        }

        COutputFile file(link, 0644);
        EXPECT_EQ(file.Error(), c.error) << c.name;
        if (c.error != 0) {
            EXPECT_FALSE(file.Commit()) << c.name;
            EXPECT_EQ(ReadAll(victim), "kept") << c.name;
            EXPECT_TRUE(fs::is_symlink(fs::symlink_status(link))) << c.name;
        }
    }
}

// A file replaced through a save becomes the saver's: it must not keep another user's
// set-user-ID or set-group-ID bit, which would hand that user's rights to the new contents.
// The user's own file keeps every bit.
TEST(OutputFile, ReplacingAnotherUsersFileDropsSetIdBits) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to make a file of another user";
    TempDir dir;
    struct Case {
        uid_t owner;
        mode_t before;
        mode_t after;
    };
    for (const Case c : {Case{65534, 06755, 0755}, Case{65534, 02750, 0750},
                         Case{65534, 01644, 01644}, Case{0, 06755, 06755}}) {
        const fs::path path = dir.WriteFile("tool", "previous");
        ASSERT_EQ(::chown(path.c_str(), c.owner, c.owner), 0);
        ASSERT_EQ(::chmod(path.c_str(), c.before), 0);
        COutputFile file(path, 0644);
        ASSERT_GE(file.Descriptor(), 0) << file.Error();
        ASSERT_EQ(WriteAll(file.Descriptor(), "new"), 0);
        ASSERT_TRUE(file.Commit()) << file.Error();
        struct stat st {};
        ASSERT_EQ(::stat(path.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, c.after)
            << std::oct << c.before << " of uid " << std::dec << c.owner;
        EXPECT_EQ(ReadAll(path), "new");
    }
}

} // namespace
