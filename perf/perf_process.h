#pragma once
// Timing a program the way a user runs it: a child process, its standard
// output into a file, the wall clock around it.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

extern char** environ;

namespace perf {

// The navsift of this build: $FIXBENCH_BUILD_DIR/analysis/navsift, else the
// one beside this benchmark's own folder.
inline std::string NavsiftPath()
{
    if (const char* dir = std::getenv("FIXBENCH_BUILD_DIR"); dir != nullptr && *dir != '\0') {
        return std::string(dir) + "/analysis/navsift";
    }
    namespace fs = std::filesystem;
    return (fs::canonical("/proc/self/exe").parent_path().parent_path() / "analysis" / "navsift").string();
}

// Wall-clock seconds of one run with its standard output into `out` (and its
// standard error into `err` when one is given), started in `cwd` when one is
// given; negative when it could not start or failed.
inline double Timed(const std::vector<std::string>& argv, const std::filesystem::path& out,
                    const std::filesystem::path& cwd = {}, const std::filesystem::path& err = {})
{
    std::vector<char*> args;
    for (const std::string& a : argv) {
        args.push_back(const_cast<char*>(a.c_str()));
    }
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (!err.empty()) {
        posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    }
    if (!cwd.empty()) {
        posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
    }
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        return -1;
    }
    int status = 0;
    waitpid(pid, &status, 0);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return (WIFEXITED(status) && WEXITSTATUS(status) == 0) ? seconds : -1;
}

}  // namespace perf
