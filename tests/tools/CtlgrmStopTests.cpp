// ctlgrm ended by SIGINT or SIGTERM while it reads a folder.

#include "tests/support/ReadAll.h"
#include "tests/support/RunCommand.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
using SteadyClock = std::chrono::steady_clock;

// `folders` folders of `files` empty files each.
void MakeWideTree(const fs::path& top, int folders, int files) {
    for (int f = 0; f < folders; ++f) {
        const fs::path folder = top / ("folder" + std::to_string(f));
        fs::create_directories(folder);
        for (int i = 0; i < files; ++i)
            ::close(::open((folder / ("file" + std::to_string(i))).c_str(),
                           O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
    }
}

// True while process `pid` has something below `folder` open.
bool IsReading(pid_t pid, const fs::path& folder) {
    std::error_code ec;
    for (const auto& fd : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", ec)) {
        const fs::path target = fs::read_symlink(fd.path(), ec);
        if (!ec && target.string().starts_with(folder.string()))
            return true;
    }
    return false;
}

pid_t StartCtlgrm(const std::vector<std::string>& args, const fs::path& scratch) {
    std::vector<std::string> argv{CTLGRM_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    return SpawnWithOutputFiles(
        argv, EnvironmentWith({"XDG_CONFIG_HOME=" + (scratch / "config").string()}),
        (scratch / "stdout").string(), (scratch / "stderr").string());
}

TEST(CtlgrmStopTest, SignalWhileReadingEndsAtOnceAndWritesNothing) {
    // A memory file system, when there is one, makes the tree quick to make and remove.
    TempDir dir(fs::is_directory("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path());
    const fs::path tree = dir.path() / "tree";
    MakeWideTree(tree, 400, 100);
    const fs::path output = dir.path() / "output";
    fs::create_directory(output);

    struct Case {
        int signal;
        bool outputExists;
    };
    for (const Case c : {Case{SIGINT, true}, Case{SIGTERM, false}, Case{SIGTERM, true}}) {
        const fs::path scratch = dir.path() / ("scratch" + std::to_string(c.signal));
        fs::create_directories(scratch);
        const fs::path target = output / "listing.txt";
        fs::remove(target);
        if (c.outputExists)
            std::ofstream(target) << "the listing before";
        const std::vector<std::string> before = NamesIn(output);

        const pid_t pid = StartCtlgrm({"-o", target.string(), tree.string()}, scratch);
        ASSERT_GT(pid, 0);
        const auto started = SteadyClock::now();
        while (!IsReading(pid, tree) && SteadyClock::now() - started < std::chrono::seconds(10))
            std::this_thread::yield();
        ASSERT_EQ(::kill(pid, c.signal), 0);
        const auto signalled = SteadyClock::now();
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        const auto took = SteadyClock::now() - signalled;

        ASSERT_TRUE(WIFEXITED(status)) << c.signal;
        EXPECT_EQ(WEXITSTATUS(status), 128 + c.signal);
        EXPECT_LT(took, std::chrono::seconds(1));
        EXPECT_EQ(NamesIn(output), before) << c.signal;
        if (c.outputExists) {
            EXPECT_EQ(ReadAll(target), "the listing before");
        }
        EXPECT_EQ(ReadAll(scratch / "stdout"), "");
    }
}

} // namespace
