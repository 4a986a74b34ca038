// The chart workbooks of a tracking run are built in child processes: run
// as a user runs navsift, under an allocator whose lock a forked copy of the
// threaded run would inherit held, the run never hangs; the children fit the
// cores the run may use (its affinity mask, its control group's CPU quota),
// however many the machine has.
#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <thread>

#include "analysis/core/cpu_cores.h"
#include "analysis/writers/excel_charts.h"
#include "tests/analysis/navsift_harness.h"

extern char** environ;

namespace navsift_test {
namespace {

// `seconds` of 1 Hz receiver output from 10:00:00 UTC on 2008-06-30: GGA,
// RMC, GSA and three GSV with twelve satellites heard.
std::string ReceiverLog(int seconds)
{
    const int sats[12] = {2, 4, 5, 9, 12, 14, 17, 20, 23, 25, 28, 31};
    std::string log;
    for (int k = 0; k < seconds; ++k) {
        const int sod = 36000 + k;
        char hms[16];
        std::snprintf(hms, sizeof hms, "%02d%02d%02d.00", sod / 3600, sod / 60 % 60, sod % 60);
        log += Sentence(std::string("GPGGA,") + hms + ",4807.0380,N,01131.0000,E,1,08,0.9,545.4,M,46.9,M,,");
        log += Sentence(std::string("GPRMC,") + hms + ",A,4807.0380,N,01131.0000,E,000.0,084.4,300608,003.1,W");
        log += Sentence("GPGSA,A,3,02,04,05,09,12,14,17,20,,,,,1.5,0.9,1.2");
        for (int m = 0; m < 3; ++m) {
            std::string body = "GPGSV,3," + std::to_string(m + 1) + ",12";
            for (int j = 0; j < 4; ++j) {
                const int prn = sats[4 * m + j];
                char group[32];
                std::snprintf(group, sizeof group, ",%02d,%02d,%03d,%02d", prn, (prn * 7 + k / 60) % 90,
                              (prn * 31 + k / 20) % 360, 30 + (prn + k / 10) % 20);
                body += group;
            }
            log += Sentence(body);
        }
    }
    return log;
}

struct Watched {
    bool finished = false;  // false: stopped at the deadline
    int status = -1;
    int most_children = 0;  // seen at once
    int children_seen = 0;  // seen at all (by pid)
    std::string out, err;
};

// The children of `pid`, whichever of its threads started them.
std::vector<pid_t> ChildrenOf(pid_t pid)
{
    std::vector<pid_t> children;
    const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
    if (DIR* d = opendir(tasks.c_str())) {
        while (dirent* e = readdir(d)) {
            if (e->d_name[0] == '.') {
                continue;
            }
            std::ifstream in(tasks + "/" + e->d_name + "/children");
            for (pid_t child; in >> child;) {
                children.push_back(child);
            }
        }
        closedir(d);
    }
    return children;
}

// Runs `argv` in `cwd` with `extra_env` added, in a process group of its
// own, counting its children as it goes; at the deadline the whole group is
// killed, so a hang fails the test instead of stopping the suite.
Watched RunWatched(const std::vector<std::string>& argv, const fs::path& cwd, const std::vector<std::string>& extra_env,
                   std::chrono::seconds deadline, const cpu_set_t* mask = nullptr)
{
    Watched w;
    std::vector<std::string> env_text(extra_env);
    for (char** e = environ; *e != nullptr; ++e) {
        env_text.emplace_back(*e);
    }
    std::vector<char*> env, args;
    for (std::string& e : env_text) {
        env.push_back(e.data());
    }
    env.push_back(nullptr);
    std::vector<std::string> argv_text(argv);
    for (std::string& a : argv_text) {
        args.push_back(a.data());
    }
    args.push_back(nullptr);
    const fs::path out = cwd / "run_out.txt", err = cwd / "run_err.txt";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    posix_spawnattr_setpgroup(&attr, 0);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);
    pid_t pid = -1;
    // The mask is the spawning thread's, which the child takes with it.
    std::thread spawner([&] {
        if (mask != nullptr) {
            sched_setaffinity(0, sizeof *mask, mask);
        }
        if (posix_spawn(&pid, args[0], &actions, &attr, args.data(), env.data()) != 0) {
            pid = -1;
        }
    });
    spawner.join();
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (pid < 0) {
        return w;
    }
    std::vector<pid_t> seen;
    const auto until = std::chrono::steady_clock::now() + deadline;
    int wstatus = 0;
    for (;;) {
        const pid_t done = waitpid(pid, &wstatus, WNOHANG);
        if (done == pid) {
            w.finished = true;
            w.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
            break;
        }
        if (std::chrono::steady_clock::now() > until) {
            kill(-pid, SIGKILL);
            waitpid(pid, &wstatus, 0);
            break;
        }
        const std::vector<pid_t> now = ChildrenOf(pid);
        w.most_children = std::max(w.most_children, static_cast<int>(now.size()));
        for (pid_t c : now) {
            if (std::find(seen.begin(), seen.end(), c) == seen.end()) {
                seen.push_back(c);
            }
        }
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    w.children_seen = static_cast<int>(seen.size());
    w.out = ReadFile(out);
    w.err = ReadFile(err);
    return w;
}

// Under an allocator that a forked copy of the run may find locked by the
// run's other threads (a thread of it keeps allocating, as the sanitizers'
// allocators and a busy run's threads do), tracking runs with their chart
// workbooks all end, each with its workbooks; a forked builder hung at its
// first allocation in nearly every run.
TEST(ChartWorkbookChildren, TrackingRunsNeverHangUnderAnAllocatorThatForkedCopiesFindLocked)
{
    ScratchDir dir;
    WriteFile(dir / "dev_NMEA.txt", ReceiverLog(120));
    std::vector<std::string> allocator = {std::string("LD_PRELOAD=") + FORK_UNSAFE_ALLOC, "FORK_UNSAFE_ALLOC_BUSY=1"};
#ifdef FIXBENCH_SANITIZE
    // A sanitizer's runtime must be the first library of the process, so
    // nothing is preloaded before it: the runs go under its own allocator,
    // the kind this allocator stands in for.
    std::cout << "[   NOTE   ] built with " << FIXBENCH_SANITIZE
              << ": the runs use the sanitizer's allocator instead of the preloaded one\n";
    allocator.clear();
#endif
    for (int run = 0; run < 4; ++run) {
        fs::remove_all(dir / "report");
        const Watched w =
            RunWatched({NavsiftPath(), "-nmea", (dir / "dev_NMEA.txt").string(), "-trk", "-rtype", "-1"}, dir.path(),
                       allocator, std::chrono::seconds(60));
        ASSERT_TRUE(w.finished) << "run " << run << " hung; it had printed at last: "
                                << w.out.substr(w.out.size() - std::min<std::size_t>(w.out.size(), 200)) << w.err;
        ASSERT_EQ(w.status, 0) << w.err;
        EXPECT_EQ(CountOf(w.out, "Saving Workbook..."), 13) << w.out;
        const fs::path report = dir / "report" / "tracking_analysis";
        EXPECT_TRUE(fs::is_regular_file(report / "tracking_analysis_global_info.xlsx"));
        for (const char* sat : {"sat02.xlsx", "sat17.xlsx", "sat31.xlsx"}) {
            EXPECT_TRUE(fs::is_regular_file(report / sat)) << sat;
        }
    }
}

// The first `count` cores of this thread's mask, or none when it has fewer.
std::optional<cpu_set_t> FirstCores(int count)
{
    cpu_set_t mine, some;
    CPU_ZERO(&some);
    if (sched_getaffinity(0, sizeof mine, &mine) != 0) {
        return std::nullopt;
    }
    int taken = 0;
    for (int c = 0; c < CPU_SETSIZE && taken < count; ++c) {
        if (CPU_ISSET(c, &mine)) {
            CPU_SET(c, &some);
            ++taken;
        }
    }
    if (taken < count) {
        return std::nullopt;
    }
    return some;
}

// A run allowed one core (as under `taskset -c 0`) builds its workbooks one
// at a time, wherever it runs; allowed three, with two at most.
TEST(ChartWorkbookChildren, ARunBuildsNoMoreWorkbooksAtOnceThanItsCoresAllow)
{
    for (const int cores : {1, 3}) {
        const std::optional<cpu_set_t> mask = FirstCores(cores);
        if (!mask) {
            continue;
        }
        int workers = 0;
        std::thread([&] {
            sched_setaffinity(0, sizeof *mask, &*mask);
            workers = navsift::ChartWorkbookQueue::DefaultWorkers();
        }).join();
        EXPECT_EQ(workers, std::max(1, std::min(cores, navsift::UsableCores()) - 1)) << cores << " cores";
    }

    // The whole program under a one-core mask: the children it starts are
    // counted as they come and go.
    const std::optional<cpu_set_t> one = FirstCores(1);
    ASSERT_TRUE(one);
    ScratchDir dir;
    WriteFile(dir / "dev_NMEA.txt", ReceiverLog(3000));
    const Watched w = RunWatched({NavsiftPath(), "-nmea", (dir / "dev_NMEA.txt").string(), "-trk", "-rtype", "-1"},
                                 dir.path(), {}, std::chrono::seconds(120), &*one);
    ASSERT_TRUE(w.finished) << w.out << w.err;
    ASSERT_EQ(w.status, 0) << w.err;
    EXPECT_EQ(CountOf(w.out, "Saving Workbook..."), 13) << w.out;
    EXPECT_GE(w.children_seen, 1) << "no builder was seen at all";
    EXPECT_EQ(w.most_children, 1) << w.children_seen << " builders seen, " << w.most_children << " at once";
}

// Control groups as the kernel shows them, version 2 and version 1 (as on
// hybrid hosts and in containers): the least quota from the group up to the
// root counts, "max" and -1 are no quota, and a container that sees its own
// group mounted as the root reads the quota there.
TEST(ChartWorkbookChildren, TheCpuQuotaOfTheControlGroupIsReadAsTheKernelWritesIt)
{
    ScratchDir root;
    const auto put = [&root](const std::string& path, const std::string& text) {
        fs::create_directories((root.path() / path.substr(1)).parent_path());
        WriteFile(root.path() / path.substr(1), text);
    };
    const std::string r = root.path().string();

    // cgroup v2: 1.5 cores for the service, none above it.
    put("/proc/self/cgroup", "0::/system.slice/bench.service\n");
    put("/proc/self/mountinfo",
        "22 1 0:21 / /sys rw,nosuid - sysfs sysfs rw\n"
        "31 22 0:27 / /sys/fs/cgroup rw,nosuid,nodev,noexec,relatime shared:9 - cgroup2 cgroup2 "
        "rw,nsdelegate,memory_recursiveprot\n");
    put("/sys/fs/cgroup/system.slice/bench.service/cpu.max", "150000 100000\n");
    put("/sys/fs/cgroup/system.slice/cpu.max", "max 100000\n");
    ASSERT_TRUE(navsift::CgroupCpuQuota(r));
    EXPECT_DOUBLE_EQ(*navsift::CgroupCpuQuota(r), 1.5);
    // A tighter quota on the slice holds its services too.
    put("/sys/fs/cgroup/system.slice/cpu.max", "50000 100000\n");
    EXPECT_DOUBLE_EQ(navsift::CgroupCpuQuota(r).value_or(0), 0.5);
    put("/sys/fs/cgroup/system.slice/cpu.max", "max 100000\n");
    put("/sys/fs/cgroup/system.slice/bench.service/cpu.max", "max 100000\n");
    EXPECT_FALSE(navsift::CgroupCpuQuota(r));

    // cgroup v1 beside an empty v2 hierarchy, as on this kind of host: the
    // cpu controller's quota, -1 when none.
    fs::remove_all(root.path() / "sys");
    put("/proc/self/cgroup", "4:memory:/jobs/7\n3:cpu,cpuacct:/jobs/7\n1:name=systemd:/\n0::/\n");
    put("/proc/self/mountinfo",
        "31 22 0:28 / /sys/fs/cgroup rw,relatime - tmpfs tmpfs rw,mode=755\n"
        "32 31 0:29 / /sys/fs/cgroup/cpu,cpuacct rw,relatime - cgroup cgroup rw,cpu,cpuacct\n"
        "35 31 0:32 / /sys/fs/cgroup/memory rw,relatime - cgroup cgroup rw,memory\n"
        "41 31 0:38 / /sys/fs/cgroup/unified rw,relatime - cgroup2 cgroup2 rw\n");
    put("/sys/fs/cgroup/cpu,cpuacct/jobs/7/cpu.cfs_quota_us", "-1\n");
    put("/sys/fs/cgroup/cpu,cpuacct/jobs/7/cpu.cfs_period_us", "100000\n");
    put("/sys/fs/cgroup/cpu,cpuacct/jobs/cpu.cfs_quota_us", "250000\n");
    put("/sys/fs/cgroup/cpu,cpuacct/jobs/cpu.cfs_period_us", "100000\n");
    put("/sys/fs/cgroup/cpu,cpuacct/cpu.cfs_quota_us", "-1\n");
    put("/sys/fs/cgroup/cpu,cpuacct/cpu.cfs_period_us", "100000\n");
    put("/sys/fs/cgroup/memory/jobs/7/cpu.cfs_quota_us", "10000\n");  // not the cpu controller's
    EXPECT_DOUBLE_EQ(navsift::CgroupCpuQuota(r).value_or(0), 2.5);

    // A container without a namespace of its own: its group is mounted as
    // the hierarchy's root, and the group's path names it from the host's.
    fs::remove_all(root.path() / "sys");
    put("/proc/self/cgroup", "0::/docker/4f2a\n");
    put("/proc/self/mountinfo",
        "610 600 0:30 /docker/4f2a /sys/fs/cgroup ro,nosuid,nodev,noexec,relatime - cgroup2 cgroup rw\n");
    put("/sys/fs/cgroup/cpu.max", "200000 100000\n");
    EXPECT_DOUBLE_EQ(navsift::CgroupCpuQuota(r).value_or(0), 2.0);
}

}  // namespace
}  // namespace navsift_test
