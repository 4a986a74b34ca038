#include "analysis/core/cpu_cores.h"

#include <sched.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

namespace navsift {

namespace {

std::vector<std::string> Split(const std::string& text, char separator)
{
    std::vector<std::string> parts;
    std::string part;
    std::istringstream in(text);
    while (std::getline(in, part, separator)) {
        parts.push_back(part);
    }
    return parts;
}

bool Contains(const std::vector<std::string>& list, const std::string& word)
{
    return std::find(list.begin(), list.end(), word) != list.end();
}

// Mount points write a blank, a tab, a line end and a backslash as octal
// escapes ("\040").
std::string Unescaped(const std::string& field)
{
    std::string out;
    for (std::size_t k = 0; k < field.size(); ++k) {
        if (field[k] == '\\' && k + 3 < field.size() &&
            std::all_of(field.begin() + static_cast<std::ptrdiff_t>(k) + 1,
                        field.begin() + static_cast<std::ptrdiff_t>(k) + 4, [](char c) { return c >= '0' && c <= '7'; })) {
            out += static_cast<char>((field[k + 1] - '0') * 64 + (field[k + 2] - '0') * 8 + (field[k + 3] - '0'));
            k += 3;
        } else {
            out += field[k];
        }
    }
    return out;
}

struct Mount {
    std::string root;   // the part of the hierarchy mounted
    std::string point;  // where
    std::string type;
    std::vector<std::string> options;  // the file system's own
};

std::vector<Mount> CgroupMounts(const std::string& root)
{
    std::vector<Mount> mounts;
    std::ifstream in(root + "/proc/self/mountinfo");
    for (std::string line; std::getline(in, line);) {
        std::istringstream words(line);
        std::vector<std::string> w;
        for (std::string word; words >> word;) {
            w.push_back(word);
        }
        const auto dash = std::find(w.begin(), w.end(), "-");
        if (w.size() < 5 || dash == w.end() || w.end() - dash < 4) {
            continue;
        }
        Mount m{Unescaped(w[3]), Unescaped(w[4]), *(dash + 1), Split(*(dash + 3), ',')};
        if (m.type == "cgroup" || m.type == "cgroup2") {
            mounts.push_back(std::move(m));
        }
    }
    return mounts;
}

// The folders of a control group from its own up to the root of the
// mounted hierarchy.
std::vector<std::string> GroupFolders(const std::string& root, const Mount& mount, const std::string& group)
{
    std::string below;
    if (mount.root == "/") {
        below = group;
    } else if (group.compare(0, mount.root.size(), mount.root) == 0 &&
               (group.size() == mount.root.size() || group[mount.root.size()] == '/')) {
        below = group.substr(mount.root.size());
    }
    std::vector<std::string> folders;
    std::string path = below;
    while (!path.empty() && path.back() == '/') {
        path.pop_back();
    }
    for (;;) {
        folders.push_back(root + mount.point + path);
        if (path.empty()) {
            return folders;
        }
        path.erase(path.rfind('/'));
    }
}

std::optional<double> ReadNumber(const std::string& file)
{
    std::ifstream in(file);
    double v = 0;
    if (in >> v) {
        return v;
    }
    return std::nullopt;
}

}  // namespace

int AffinityCores()
{
    // Sized for machines beyond the fixed set's 1024 cores.
    for (int cores = CPU_SETSIZE; cores <= (1 << 16); cores *= 2) {
        cpu_set_t* set = CPU_ALLOC(cores);
        if (set == nullptr) {
            break;
        }
        const std::size_t size = CPU_ALLOC_SIZE(cores);
        CPU_ZERO_S(size, set);
        if (sched_getaffinity(0, size, set) == 0) {
            const int n = CPU_COUNT_S(size, set);
            CPU_FREE(set);
            return std::max(n, 1);
        }
        CPU_FREE(set);
        if (errno != EINVAL) {
            break;
        }
    }
    return static_cast<int>(std::max(std::thread::hardware_concurrency(), 1u));
}

std::optional<double> CgroupCpuQuota(const std::string& root)
{
    const std::vector<Mount> mounts = CgroupMounts(root);
    std::optional<double> least;
    const auto take = [&least](double cores) {
        if (cores > 0 && (!least || cores < *least)) {
            least = cores;
        }
    };
    std::ifstream in(root + "/proc/self/cgroup");
    for (std::string line; std::getline(in, line);) {
        // "hierarchy:controllers:path"; the path may itself hold colons.
        const std::size_t first = line.find(':');
        const std::size_t second = first == std::string::npos ? first : line.find(':', first + 1);
        if (second == std::string::npos) {
            continue;
        }
        const std::string id = line.substr(0, first);
        const std::vector<std::string> controllers = Split(line.substr(first + 1, second - first - 1), ',');
        const std::string group = line.substr(second + 1);
        for (const Mount& mount : mounts) {
            if (id == "0" && controllers.empty() && mount.type == "cgroup2") {
                for (const std::string& folder : GroupFolders(root, mount, group)) {
                    std::ifstream max(folder + "/cpu.max");
                    std::string quota;
                    double period = 0;
                    if (max >> quota >> period && quota != "max" && period > 0) {
                        take(std::atof(quota.c_str()) / period);
                    }
                }
            } else if (Contains(controllers, "cpu") && mount.type == "cgroup" && Contains(mount.options, "cpu")) {
                for (const std::string& folder : GroupFolders(root, mount, group)) {
                    const std::optional<double> quota = ReadNumber(folder + "/cpu.cfs_quota_us");
                    const std::optional<double> period = ReadNumber(folder + "/cpu.cfs_period_us");
                    if (quota && period && *quota > 0 && *period > 0) {
                        take(*quota / *period);
                    }
                }
            }
        }
    }
    return least;
}

int UsableCores()
{
    int cores = AffinityCores();
    if (const std::optional<double> quota = CgroupCpuQuota()) {
        cores = std::min(cores, std::max(1, static_cast<int>(std::ceil(*quota - 1e-9))));
    }
    return cores;
}

}  // namespace navsift
