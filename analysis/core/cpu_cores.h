#pragma once
// How many cores this process may really use: the cores its affinity mask
// allows (taskset, a batch system's cpuset), and no more than the CPU time
// its control group's quota grants (a container's --cpus, a systemd
// CPUQuota). Workers started per core count from here, not from every core
// the machine has.
#include <optional>
#include <string>

namespace navsift {

// The cores of this thread's affinity mask (the one the process started
// with unless it changed it), at least 1.
int AffinityCores();

// The CPU time the control group of this process may use, in cores, the
// least along its path up to the root: cgroup v2 "cpu.max" ("max 100000"
// when none), v1 "cpu.cfs_quota_us" over "cpu.cfs_period_us" (a quota of
// -1 when none). None when no quota is set or none can be read. `root` is
// put before the absolute paths read (/proc/self/cgroup,
// /proc/self/mountinfo and the mount points they name).
std::optional<double> CgroupCpuQuota(const std::string& root = "");

// The affinity cores, bounded by the quota rounded up (1.5 cores of quota
// keep two cores busy half the time each), at least 1.
int UsableCores();

}  // namespace navsift
