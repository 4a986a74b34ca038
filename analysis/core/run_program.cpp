#include "analysis/core/run_program.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>

extern char** environ;

namespace navsift {

namespace {

// Waits for the child, at most until `deadline`; true when it ended.
bool WaitUntil(pid_t pid, std::chrono::steady_clock::time_point deadline, int& status)
{
    const int pidfd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
    if (pidfd < 0) {
        // Without process descriptors the bound cannot be kept; pdflatex runs
        // without input and in nonstop mode, so it ends on its own.
        return waitpid(pid, &status, 0) == pid;
    }
    bool ended = false;
    while (!ended) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            break;
        }
        pollfd p{pidfd, POLLIN, 0};
        const int n = poll(&p, 1, static_cast<int>(std::min<long long>(left.count(), 60000)));
        if (n < 0 && errno != EINTR) {
            break;
        }
        ended = n > 0 && waitpid(pid, &status, WNOHANG) == pid;
    }
    close(pidfd);
    return ended;
}

}  // namespace

ProgramRun run_program(const std::vector<std::string>& argv, const std::string& folder, int timeout_seconds,
                       const std::string& output_file)
{
    ProgramRun run;
    if (argv.empty()) {
        run.error = "no program named";
        return run;
    }
    std::error_code ec;
    if (!folder.empty() && !std::filesystem::is_directory(folder, ec)) {
        run.error = "no folder " + folder;
        return run;
    }
    std::vector<char*> args;
    for (const std::string& a : argv) {
        args.push_back(const_cast<char*>(a.c_str()));
    }
    args.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    const char* out = output_file.empty() ? "/dev/null" : output_file.c_str();
    posix_spawn_file_actions_addopen(&actions, 1, out, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    if (!folder.empty()) {
        posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    }
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    // A group of its own, so that a program stopped at the bound takes its
    // helpers (font makers) with it.
    posix_spawnattr_setpgroup(&attr, 0);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);

    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, args[0], &actions, &attr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (rc != 0) {
        run.outcome = rc == ENOENT && argv[0].find('/') == std::string::npos ? ProgramRun::Outcome::NotFound
                                                                            : ProgramRun::Outcome::CannotStart;
        run.error = std::strerror(rc);
        return run;
    }
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeout_seconds);
    if (!WaitUntil(pid, deadline, status)) {
        kill(-pid, SIGKILL);
        waitpid(pid, &status, 0);
        run.outcome = ProgramRun::Outcome::TimedOut;
        run.error = "did not finish within " + std::to_string(timeout_seconds) + " s";
        return run;
    }
    if (WIFEXITED(status)) {
        run.outcome = ProgramRun::Outcome::Exited;
        run.exit_code = WEXITSTATUS(status);
    } else {
        run.outcome = ProgramRun::Outcome::Signalled;
        run.error = WIFSIGNALED(status) ? strsignal(WTERMSIG(status)) : "ended abnormally";
    }
    return run;
}

}  // namespace navsift
