#pragma once

#include "tests/support/ReadAll.h"

#include <fcntl.h>
#include <filesystem>
#include <spawn.h>
#include <stdexcept>
#include <string>
#include <string_view>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

// What a program wrote on its standard output, and its exit status.
struct CommandResult {
    std::string out;
    int status = -1;
};

// Runs `argv` (no shell) standard input and error inherited.
inline CommandResult RunCommand(const std::vector<std::string>& argv) {
    int pipeFds[2];
    if (::pipe(pipeFds) != 0)
        throw std::runtime_error("pipe failed");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    std::vector<char*> args;
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = 0;
    const int rc = ::posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    CommandResult result;
    if (rc != 0) {
        ::close(pipeFds[0]);
        throw std::runtime_error("cannot run " + argv[0]);
    }
    char buffer[65536];
    for (ssize_t n; (n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0;)
        result.out.append(buffer, static_cast<std::size_t>(n));
    ::close(pipeFds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

// The environment of this process with `settings` ("NAME=value" each) in place of the
// variables of the same names.
inline std::vector<std::string> EnvironmentWith(std::vector<std::string> settings) {
    const auto isSet = [&](std::string_view variable) {
        const std::string_view name = variable.substr(0, variable.find('='));
        for (const auto& s : settings)
            if (std::string_view(s).substr(0, s.find('=')) == name)
                return true;
        return false;
    };
    std::vector<std::string> env = settings;
    for (char** e = environ; *e; ++e)
        if (!isSet(*e))
            env.emplace_back(*e);
    return env;
}

// Starts `argv` (no shell) with the environment `env`, its standard output and error going to
// the files `outPath` and `errPath`, in `workingFolder` when one is given: the process id, or
// -1 when it cannot be started.
inline pid_t SpawnWithOutputFiles(const std::vector<std::string>& argv,
                                  const std::vector<std::string>& env, const std::string& outPath,
                                  const std::string& errPath,
                                  const std::string& workingFolder = {}) {
    std::vector<char*> args, envp;
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    for (const auto& e : env)
        envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const int flags = O_WRONLY | O_CREAT | O_TRUNC;
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outPath.c_str(), flags, 0644);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath.c_str(), flags, 0644);
    if (!workingFolder.empty())
        posix_spawn_file_actions_addchdir_np(&actions, workingFolder.c_str());
    pid_t pid = -1;
    if (::posix_spawn(&pid, args[0], &actions, nullptr, args.data(), envp.data()) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// What a program wrote on its standard output and error, and its exit status.
struct FinishedCommand {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs `argv` to its end with the environment `env`, in `workingFolder` when one is given. Its
// standard output goes to `stdoutPath`, or when none is given to a file of `scratch` that is
// read back; its standard error to a file of `scratch`, read back.
inline FinishedCommand RunToEnd(const std::filesystem::path& scratch,
                                const std::vector<std::string>& argv,
                                const std::vector<std::string>& env,
                                const std::string& stdoutPath = {},
                                const std::string& workingFolder = {}) {
    const std::string outPath = stdoutPath.empty() ? (scratch / "stdout").string() : stdoutPath;
    const std::string errPath = (scratch / "stderr").string();
    const pid_t pid = SpawnWithOutputFiles(argv, env, outPath, errPath, workingFolder);
    FinishedCommand result;
    int status = 0;
    if (pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status))
        result.status = WEXITSTATUS(status);
    if (stdoutPath.empty())
        result.out = ReadAll(outPath);
    result.err = ReadAll(errPath);
    return result;
}

// Runs `argv` to its end in `folder` with TZ=UTC0, its output going through files there.
inline FinishedCommand RunWithTimesInUtc(const std::filesystem::path& folder,
                                         const std::vector<std::string>& argv) {
    return RunToEnd(folder, argv, EnvironmentWith({"TZ=UTC0"}), {}, folder.string());
}
