#pragma once
// The memory of a whole run: a program that works through child processes
// holds the sum of theirs, which no single process's peak shows. Sampled as
// the summed proportional set size (shared pages split between the
// processes that share them, so pages a fork shares are counted once) of
// the program and every process below it.
#include "perf/perf_process.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace perf {

// The processes below `root` (children, grandchildren, ...), found through
// the parent of every process in /proc.
inline std::vector<pid_t> Descendants(pid_t root)
{
    std::multimap<pid_t, pid_t> children;
    if (DIR* proc = opendir("/proc")) {
        while (const dirent* entry = readdir(proc)) {
            const pid_t pid = static_cast<pid_t>(std::atoi(entry->d_name));
            if (pid <= 0) {
                continue;
            }
            char path[64], text[512];
            std::snprintf(path, sizeof path, "/proc/%d/stat", pid);
            const int fd = open(path, O_RDONLY | O_CLOEXEC);
            if (fd < 0) {
                continue;
            }
            const ssize_t n = read(fd, text, sizeof text - 1);
            close(fd);
            if (n <= 0) {
                continue;
            }
            text[n] = '\0';
            // "pid (name) state ppid ...": the name may hold blanks and
            // parentheses, so read on from the last ')'.
            const char* close_paren = std::strrchr(text, ')');
            char state = 0;
            int ppid = 0;
            if (close_paren != nullptr && std::sscanf(close_paren + 1, " %c %d", &state, &ppid) == 2) {
                children.emplace(static_cast<pid_t>(ppid), pid);
            }
        }
        closedir(proc);
    }
    std::vector<pid_t> found;
    std::vector<pid_t> todo = {root};
    while (!todo.empty()) {
        const pid_t p = todo.back();
        todo.pop_back();
        const auto [from, to] = children.equal_range(p);
        for (auto it = from; it != to; ++it) {
            found.push_back(it->second);
            todo.push_back(it->second);
        }
    }
    return found;
}

// Proportional set size of one process in kibibytes; 0 when it is gone.
inline long PssKiB(pid_t pid)
{
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%d/smaps_rollup", pid);
    std::FILE* f = std::fopen(path, "re");
    if (f == nullptr) {
        return 0;
    }
    char line[256];
    long kib = 0;
    while (std::fgets(line, sizeof line, f) != nullptr) {
        if (std::strncmp(line, "Pss:", 4) == 0) {
            kib = std::atol(line + 4);
            break;
        }
    }
    std::fclose(f);
    return kib;
}

// The children of `pid`, whichever of its threads started them: cheap
// enough to ask every millisecond.
inline std::vector<pid_t> ChildrenOf(pid_t pid)
{
    std::vector<pid_t> children;
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%d/task", pid);
    if (DIR* tasks = opendir(path)) {
        while (const dirent* t = readdir(tasks)) {
            if (t->d_name[0] == '.') {
                continue;
            }
            std::string file = std::string(path) + "/" + t->d_name + "/children";
            if (std::FILE* f = std::fopen(file.c_str(), "re")) {
                for (int child; std::fscanf(f, "%d", &child) == 1;) {
                    children.push_back(static_cast<pid_t>(child));
                }
                std::fclose(f);
            }
        }
        closedir(tasks);
    }
    return children;
}

// Processor seconds the main thread of `pid` has run (the scheduler's own
// count, in nanoseconds); negative when it is gone.
inline double MainThreadCpuSeconds(pid_t pid)
{
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%d/schedstat", pid);
    std::FILE* f = std::fopen(path, "re");
    if (f == nullptr) {
        return -1;
    }
    unsigned long long ns = 0;
    const bool read = std::fscanf(f, "%llu", &ns) == 1;
    std::fclose(f);
    return read ? static_cast<double>(ns) / 1e9 : -1;
}

// Where a run stood when it started its first child process (navsift's
// chart workbooks begin so, once its tables are written).
struct FirstChild {
    double seconds = -1;     // wall clock from the start; negative when none was started
    double cpuSeconds = -1;  // of the program's main thread by then
};

// Watches `pid` every millisecond until it has a child (or `ended`).
inline FirstChild WatchForFirstChild(pid_t pid, std::chrono::steady_clock::time_point start,
                                     const std::atomic<bool>& ended)
{
    FirstChild first;
    while (!ended.load()) {
        if (!ChildrenOf(pid).empty()) {
            first.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            first.cpuSeconds = MainThreadCpuSeconds(pid);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return first;
}

// One run of a program, as a user runs it.
struct TreeMeasured {
    double seconds = -1;     // negative when it could not start or failed
    double treePeakMiB = 0;  // peak of the summed PSS of it and its children
    double processPeakMiB = 0;  // peak resident size of its largest single process
    double rootPeakMiB = 0;  // peak PSS of the program's own process
    int mostProcesses = 0;   // processes seen at once at most
    FirstChild firstChild;   // where it stood when it started its first child
    bool endedAtFirstChild = false;  // stopped there, as asked
    double cpuSeconds = 0;   // processor time of it and the children it waited for
};

// Wall-clock seconds of one run with its standard output (and standard
// error, when `err` is given) into files, started in `cwd` when one is
// given; the memory of its process tree is sampled every 20 ms meanwhile.
// With `end_at_first_child`, the run is ended (the program and what it
// started) as soon as it starts a child process: the work before it is what
// is measured.
inline TreeMeasured TimedWithTreePeak(const std::vector<std::string>& argv, const std::filesystem::path& out,
                                      const std::filesystem::path& cwd = {}, const std::filesystem::path& err = {},
                                      bool end_at_first_child = false)
{
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = Spawn(argv, out, cwd, err);
    if (pid < 0) {
        return {};
    }
    // The sampler and the watcher run beside the wait, so the wall clock is
    // not rounded up to a sampling step.
    std::atomic<bool> ended{false};
    std::atomic<bool> ended_early{false};
    long peak_kib = 0, root_kib = 0;
    int most = 0;
    FirstChild first;
    std::thread watcher([&] {
        first = WatchForFirstChild(pid, start, ended);
        if (end_at_first_child && first.seconds >= 0) {
            for (const pid_t p : Descendants(pid)) {
                kill(p, SIGKILL);
            }
            kill(pid, SIGKILL);
            ended_early = true;
        }
    });
    std::thread sampler([&] {
        while (!ended.load() && !ended_early.load()) {
            std::vector<pid_t> tree = Descendants(pid);
            tree.push_back(pid);
            long sum = 0;
            int alive = 0;
            for (const pid_t p : tree) {
                const long kib = PssKiB(p);
                if (p == pid) {
                    root_kib = std::max(root_kib, kib);
                }
                sum += kib;
                alive += kib > 0 ? 1 : 0;
            }
            peak_kib = std::max(peak_kib, sum);
            most = std::max(most, alive);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });
    int status = 0;
    struct rusage usage {};
    // The sampler reads the child's files until it is reaped, so the child
    // stays a zombie (its memory already given back) until then.
    siginfo_t info{};
    waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ended.store(true);
    watcher.join();
    sampler.join();
    wait4(pid, &status, 0, &usage);
    TreeMeasured m;
    m.seconds = (WIFEXITED(status) && WEXITSTATUS(status) == 0) || ended_early ? seconds : -1;
    m.treePeakMiB = peak_kib / 1024.0;
    m.processPeakMiB = usage.ru_maxrss / 1024.0;  // kibibytes on Linux
    m.rootPeakMiB = root_kib / 1024.0;
    m.mostProcesses = most;
    m.firstChild = first;
    m.endedAtFirstChild = ended_early;
    m.cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                   static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    return m;
}

// A run stopped where it starts its first child: the part of a program
// before it hands work to children, timed as the user's run does it. The
// program runs in a process group of its own, which is ended there.
// `status` is the program's exit status when it ended without a child.
struct Phase {
    FirstChild at;
    int status = -1;
};

inline Phase UntilFirstChild(const std::vector<std::string>& argv, const std::filesystem::path& out,
                             const std::filesystem::path& cwd = {}, const std::filesystem::path& err = {})
{
    Phase phase;
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = Spawn(argv, out, cwd, err, true);
    if (pid < 0) {
        return phase;
    }
    std::atomic<bool> ended{false};
    std::thread waiter([&] {
        siginfo_t info{};
        waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT);
        ended.store(true);
    });
    phase.at = WatchForFirstChild(pid, start, ended);
    kill(-pid, SIGKILL);
    waiter.join();
    int status = 0;
    waitpid(pid, &status, 0);
    if (phase.at.seconds < 0 && WIFEXITED(status)) {
        phase.status = WEXITSTATUS(status);
    }
    return phase;
}

}  // namespace perf
