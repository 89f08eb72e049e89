#include "CliRunner.h"

#include <fcntl.h>
#include <pty.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>

#include "TempDir.h"

extern char** environ;

namespace {

std::vector<char*> Argv(const std::vector<std::string>& args)
{
    static std::string program = TAVREL_CLI_PATH;
    std::vector<char*> argv{program.data()};
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    return argv;
}

int Wait(pid_t pid)
{
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR)
            return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A sanitizer's report ends the tool with status 1, the same as a handled
// failure: it must never pass for one.
void ExpectNoSanitizerReport(const CliRun& run)
{
    for (const char* mark : {"ERROR: AddressSanitizer", "ERROR: LeakSanitizer", "runtime error:"}) {
        EXPECT_EQ(run.err.find(mark), std::string::npos) << run.err;
    }
}

std::string ReadText(const std::string& path)
{
    const std::vector<uint8_t> bytes = ReadFileBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

}  // namespace

CliRun RunCli(const std::vector<std::string>& args, const std::string& workDir)
{
    const std::string outPath = workDir + "/.stdout";
    const std::string errPath = workDir + "/.stderr";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<char*> argv = Argv(args);
    pid_t pid = 0;
    const int spawned = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    CliRun run;
    if (spawned != 0) {
        ADD_FAILURE() << "cannot start " << argv[0];
        return run;
    }
    run.status = Wait(pid);
    run.out = ReadText(outPath);
    run.err = ReadText(errPath);
    ::unlink(outPath.c_str());
    ::unlink(errPath.c_str());
    ExpectNoSanitizerReport(run);
    return run;
}

CliRun RunCliOnTerminal(const std::vector<std::string>& args, const std::string& workDir)
{
    CliRun run;
    int master = -1;
    int slave = -1;
    if (::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) {
        ADD_FAILURE() << "cannot open a pseudo-terminal";
        return run;
    }
    const std::string outPath = workDir + "/.stdout";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, slave, 2);
    posix_spawn_file_actions_addclose(&actions, master);
    std::vector<char*> argv = Argv(args);
    pid_t pid = 0;
    const int spawned = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(slave);
    if (spawned != 0) {
        ::close(master);
        ADD_FAILURE() << "cannot start " << argv[0];
        return run;
    }
    // Read until the terminal is closed by the child's exit (EIO on Linux).
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(master, buffer, sizeof buffer);
        if (n > 0)
            run.err.append(buffer, static_cast<size_t>(n));
        else if (n < 0 && errno == EINTR)
            continue;
        else
            break;
    }
    ::close(master);
    run.status = Wait(pid);
    run.out = ReadText(outPath);
    ::unlink(outPath.c_str());
    ExpectNoSanitizerReport(run);
    return run;
}
