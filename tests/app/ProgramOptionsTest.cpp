// The program's --help and --version, run as a user runs them: on a plain
// terminal without any display.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

struct SRun {
    int status = -1;
    std::string out;
};

// Runs the program with its stdout (and stderr) captured and no display
// reachable: DISPLAY, WAYLAND_DISPLAY and QT_QPA_PLATFORM are removed.
SRun RunWithoutDisplay(const std::vector<std::string>& args)
{
    std::vector<char*> env;
    for (char** e = environ; *e; ++e)
        if (std::strncmp(*e, "DISPLAY=", 8) && std::strncmp(*e, "WAYLAND_DISPLAY=", 16) &&
            std::strncmp(*e, "QT_QPA_PLATFORM=", 16))
            env.push_back(*e);
    env.push_back(nullptr);
    std::vector<char*> argv {const_cast<char*>(BREVANE_PROGRAM)};
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    SRun run;
    int pipeFds[2];
    if (pipe(pipeFds) != 0)
        return run;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 2);
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, BREVANE_PROGRAM, &actions, nullptr, argv.data(), env.data());
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    char buffer[4096];
    for (ssize_t n; (n = read(pipeFds[0], buffer, sizeof buffer)) > 0;)
        run.out.append(buffer, std::size_t(n));
    close(pipeFds[0]);
    if (spawned == 0)
        waitpid(pid, &run.status, 0);
    return run;
}

} // namespace

TEST(ProgramOptions, HelpAndVersionNeedNoDisplay)
{
    for (const char* option : {"--version", "-v"}) {
        SCOPED_TRACE(option);
        const SRun run = RunWithoutDisplay({option});
        ASSERT_TRUE(WIFEXITED(run.status)) << run.out;
        EXPECT_EQ(WEXITSTATUS(run.status), 0);
        EXPECT_EQ(run.out, "brevane " BREVANE_VERSION "\n");
    }

    for (const char* option : {"--help", "-h", "--help-all"}) {
        SCOPED_TRACE(option);
        const SRun run = RunWithoutDisplay({option});
        ASSERT_TRUE(WIFEXITED(run.status)) << run.out;
        EXPECT_EQ(WEXITSTATUS(run.status), 0);
        EXPECT_NE(run.out.find("--simulate"), std::string::npos) << run.out;
        EXPECT_NE(run.out.find("--port <PATH>"), std::string::npos) << run.out;
    }
}
