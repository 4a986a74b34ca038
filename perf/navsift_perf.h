#pragma once
// What the navsift benchmarks share: generated NMEA sentences and timed runs
// of the built program.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

extern char** environ;

namespace navsift_perf {

namespace fs = std::filesystem;

// "$" + body + "*" + checksum + CR LF.
inline std::string Sentence(const std::string& body)
{
    unsigned x = 0;
    for (unsigned char c : body) {
        x ^= c;
    }
    char tail[8];
    std::snprintf(tail, sizeof tail, "*%02X\r\n", x);
    return "$" + body + tail;
}

// Degrees as NMEA writes them: whole degrees with `degree_digits` digits,
// then minutes.
inline std::string Angle(double degrees, int degree_digits)
{
    const int whole = static_cast<int>(degrees);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%0*d%07.4f", degree_digits, whole, (degrees - whole) * 60.0);
    return buf;
}

inline std::string NavsiftPath()
{
    if (const char* dir = std::getenv("FIXBENCH_BUILD_DIR"); dir != nullptr && *dir != '\0') {
        return std::string(dir) + "/analysis/navsift";
    }
    return (fs::canonical("/proc/self/exe").parent_path().parent_path() / "analysis" / "navsift").string();
}

// Wall-clock seconds of one run in `cwd` with its standard output into
// `out`, or a negative value when it failed.
inline double Timed(const std::vector<std::string>& argv, const fs::path& cwd, const fs::path& out = "/dev/null")
{
    std::vector<char*> args;
    for (const std::string& a : argv) {
        args.push_back(const_cast<char*>(a.c_str()));
    }
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
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

}  // namespace navsift_perf
