// The temporary file through which a save replaces its target.
#include "ReplacingFile.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::string> Names(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

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
        EXPECT_EQ(Names(dir.path()), std::vector<std::string>{"listing.txt"});
    }
    EXPECT_EQ(ReadAll(target), "previous");

    CReplacingFile file(target);
    ASSERT_EQ(WriteAll(file.Descriptor(), "new listing"), 0);
    EXPECT_EQ(Names(dir.path()), std::vector<std::string>{"listing.txt"});
    ASSERT_TRUE(file.Commit(0640)) << file.Error();
    EXPECT_EQ(ReadAll(target), "new listing");
    EXPECT_EQ(Names(dir.path()), std::vector<std::string>{"listing.txt"});
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
            const auto names = Names(dir.path());
            ASSERT_EQ(names.size(), 2u);
            EXPECT_EQ(names[0].rfind(".catalogrium3-", 0), 0u) << names[0];
            if (interrupted) {
                RemovePendingTemporaryFile();
                EXPECT_EQ(Names(dir.path()), std::vector<std::string>{"listing.txt"});
            }
        }
        EXPECT_EQ(Names(dir.path()), std::vector<std::string>{"listing.txt"});
        EXPECT_EQ(ReadAll(target), "previous");
    }

    CReplacingFile file(target, TemporaryFile::Named);
    ASSERT_EQ(WriteAll(file.Descriptor(), "new listing"), 0);
    ASSERT_TRUE(file.Commit(0600)) << file.Error();
    // Nothing is pending once the target is replaced: the cleanup leaves the new file alone.
    RemovePendingTemporaryFile();
    EXPECT_EQ(ReadAll(target), "new listing");
    EXPECT_EQ(Names(dir.path()), std::vector<std::string>{"listing.txt"});
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
    fs::create_symlink("loop", dir.path() / "loop");
    const std::pair<std::string, std::string> cases[] = {
        {base + "/plain.txt", base + "/plain.txt"},
        {base + "/relative", base + "/real/new.txt"},
        {base + "/absolute", base + "/real/abs.txt"},
        {base + "/chain", base + "/real/new.txt"},
        {base + "/real/dotdot", base + "/real/inner/../up.txt"},
        {base + "/loop", base + "/loop"},
        {"relative-name", "relative-name"},
    };
    for (const auto& [path, target] : cases)
        EXPECT_EQ(ResolvedTarget(path), target) << path;
}

} // namespace
