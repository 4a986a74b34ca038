#pragma once
// Timing a program the way a user runs it: a child process, its standard
// output into a file, the wall clock around it and its peak memory.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

extern char** environ;

namespace perf {

// A new folder /tmp/NAME_XXXXXX for a benchmark's files; empty, and said,
// when none can be made.
inline std::filesystem::path MakeTempDir(const std::string& name)
{
    std::string pattern = "/tmp/" + name + "_XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
        std::perror("mkdtemp");
        return {};
    }
    return pattern;
}

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
// Wall-clock seconds and peak resident memory of one run.
struct Measured {
    double seconds = -1;  // negative when it could not start or failed
    int exitStatus = -1;  // the run's exit status; -1 when it did not exit
    double elapsed = -1;  // the run's time whatever its exit status
    double peakMiB = 0;
    // Processor time, user and system, of the run and of the children it
    // waited for.
    double cpuSeconds = 0;
};

// Starts one run with its standard output (and standard error, when `err`
// is given) into files, in `cwd` when one is given; -1 when it cannot start.
// With `own_group` it leads a process group of its own, which its children
// join, so the whole run can be ended at once.
inline pid_t Spawn(const std::vector<std::string>& argv, const std::filesystem::path& out,
                   const std::filesystem::path& cwd = {}, const std::filesystem::path& err = {},
                   bool own_group = false)
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
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    if (own_group) {
        posix_spawnattr_setpgroup(&attr, 0);
        posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);
    }
    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, args[0], &actions, &attr, args.data(), environ);
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        return -1;
    }
    return pid;
}

// One run as `Timed` makes it, with the peak memory of the child.
inline Measured TimedWithPeak(const std::vector<std::string>& argv, const std::filesystem::path& out,
                              const std::filesystem::path& cwd = {}, const std::filesystem::path& err = {});

inline double Timed(const std::vector<std::string>& argv, const std::filesystem::path& out,
                    const std::filesystem::path& cwd = {}, const std::filesystem::path& err = {})
{
    return TimedWithPeak(argv, out, cwd, err).seconds;
}

inline Measured TimedWithPeak(const std::vector<std::string>& argv, const std::filesystem::path& out,
                              const std::filesystem::path& cwd, const std::filesystem::path& err)
{
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = Spawn(argv, out, cwd, err);
    if (pid < 0) {
        return {};
    }
    int status = 0;
    struct rusage usage {};
    wait4(pid, &status, 0, &usage);
    Measured m;
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    m.seconds = (WIFEXITED(status) && WEXITSTATUS(status) == 0) ? seconds : -1;
    m.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    m.elapsed = seconds;
    m.peakMiB = usage.ru_maxrss / 1024.0;  // kibibytes on Linux
    m.cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                   static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    return m;
}

// What tools/run-perf reads of a benchmark: first a line "goals: N", the
// number of goals it judges, then one line per goal ending in ": met" or
// ": missed" (Verdict's word after ": ", nothing after it). No other line
// holds either word. A benchmark exits 0 when it ran, whatever its goals;
// only a run that could not be measured exits otherwise.
inline void DeclareGoals(int goals)
{
    std::printf("goals: %d\n", goals);
    std::fflush(stdout);
}

inline const char* Verdict(bool met) { return met ? "met" : "missed"; }

}  // namespace perf
