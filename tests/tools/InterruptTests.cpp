// ctlgrm's SIGINT and SIGTERM handler, in a child process that is saving through a named
// temporary file (the way taken where the file system has no unnamed ones), or has saved.
#include "engine/ReplacingFile.h"
#include "tests/support/ReadAll.h"
#include "tests/support/TempDir.h"
#include "tools/Interrupt.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>

#include <sys/wait.h>
#include <unistd.h>

namespace {

// Forks a child that installs the handler, starts replacing `target` and waits; returns its
// pid once its temporary file holds a part of the new contents.
pid_t StartInterruptedSave(const std::filesystem::path& target) {
    int ready[2];
    if (::pipe(ready) != 0)
        return -1;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(ready[0]);
        InstallInterruptHandler();
        CReplacingFile file(target, TemporaryFile::Named);
        if (file.Descriptor() < 0 || WriteAll(file.Descriptor(), "half a listing") != 0 ||
            WriteAll(ready[1], "r") != 0)
            ::_exit(99);
        for (;;)
            ::pause();
    }
    ::close(ready[1]);
    char answer = 0;
    const bool started = pid > 0 && ::read(ready[0], &answer, 1) == 1;
    ::close(ready[0]);
    return started ? pid : -1;
}

TEST(InterruptHandler, RemovesTheTemporaryFileAndExitsWith128PlusTheSignal) {
    for (const int signal : {SIGINT, SIGTERM}) {
        TempDir dir;
        const auto target = dir.WriteFile("listing.txt", "previous");
        const pid_t pid = StartInterruptedSave(target);
        ASSERT_GT(pid, 0);
        EXPECT_EQ(NamesIn(dir.path()).size(), 2u);
        ASSERT_EQ(::kill(pid, signal), 0);
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFEXITED(status)) << signal;
        EXPECT_EQ(WEXITSTATUS(status), 128 + signal);
        EXPECT_EQ(NamesIn(dir.path()), std::vector<std::string>{"listing.txt"});
        EXPECT_EQ(ReadAll(target), "previous");
    }
}

// Runs `run` in a child with the handler installed; its wait status.
template <typename Run> int StatusOfChild(Run run) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        InstallInterruptHandler();
        ::_exit(run());
    }
    int status = 0;
    return pid > 0 && ::waitpid(pid, &status, 0) == pid ? status : -1;
}

// Once the new file is in place the run has done its work: a signal that comes then must not
// make it report a failure (nor remove anything). After IgnoreInterrupts, none ends it either.
TEST(InterruptHandler, SignalAfterTheOutputIsInPlaceChangesNothing) {
    for (const int signal : {SIGINT, SIGTERM}) {
        TempDir dir;
        const auto target = dir.WriteFile("listing.txt", "previous");
        const int saved = StatusOfChild([&] {
            CReplacingFile file(target, TemporaryFile::Named);
            if (WriteAll(file.Descriptor(), "new listing") != 0 || !file.Commit(0644))
                return 99;
            ::raise(signal);
            return 0;
        });
        ASSERT_TRUE(WIFEXITED(saved)) << signal;
        EXPECT_EQ(WEXITSTATUS(saved), 0) << signal;
        EXPECT_EQ(ReadAll(target), "new listing");
        EXPECT_EQ(NamesIn(dir.path()), std::vector<std::string>{"listing.txt"});

        const int ignored = StatusOfChild([&] {
            IgnoreInterrupts();
            ::raise(signal);
            return 0;
        });
        ASSERT_TRUE(WIFEXITED(ignored)) << signal;
        EXPECT_EQ(WEXITSTATUS(ignored), 0) << signal;
    }
}

} // namespace
