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

// One run of a program, as a user runs it.
struct TreeMeasured {
    double seconds = -1;     // negative when it could not start or failed
    double treePeakMiB = 0;  // peak of the summed PSS of it and its children
    double processPeakMiB = 0;  // peak resident size of its largest single process
    double rootPeakMiB = 0;  // peak PSS of the program's own process
    int mostProcesses = 0;   // processes seen at once at most
    double firstChildSeconds = -1;  // when a child process was first seen; negative when none was
    bool endedAtFirstChild = false;  // stopped there, as asked
    double cpuSeconds = 0;  // user and system time of it and the children it waited for
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
    // The sampler runs beside the wait, so the wall clock is not rounded
    // up to a sampling step.
    std::atomic<bool> ended{false};
    long peak_kib = 0, root_kib = 0;
    int most = 0;
    double first_child = -1;
    bool ended_early = false;
    std::thread sampler([&] {
        while (!ended.load()) {
            std::vector<pid_t> tree = Descendants(pid);
            if (!tree.empty() && first_child < 0) {
                first_child = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
                if (end_at_first_child) {
                    for (const pid_t p : tree) {
                        kill(p, SIGKILL);
                    }
                    kill(pid, SIGKILL);
                    ended_early = true;
                    break;
                }
            }
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
    sampler.join();
    wait4(pid, &status, 0, &usage);
    TreeMeasured m;
    m.seconds = (WIFEXITED(status) && WEXITSTATUS(status) == 0) || ended_early ? seconds : -1;
    m.firstChildSeconds = first_child;
    m.cpuSeconds = usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec +
                   usage.ru_stime.tv_usec / 1e6;
    m.endedAtFirstChild = ended_early;
    m.treePeakMiB = peak_kib / 1024.0;
    m.processPeakMiB = usage.ru_maxrss / 1024.0;  // kibibytes on Linux
    m.rootPeakMiB = root_kib / 1024.0;
    m.mostProcesses = most;
    return m;
}

}  // namespace perf
