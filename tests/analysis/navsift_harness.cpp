#include "tests/analysis/navsift_harness.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

extern char** environ;

namespace navsift_test {

std::string Sentence(const std::string& body)
{
    unsigned x = 0;
    for (unsigned char c : body) {
        x ^= c;
    }
    char tail[8];
    std::snprintf(tail, sizeof tail, "*%02X\r\n", x);
    return "$" + body + tail;
}

namespace {

std::string Angle(double degrees, int degree_digits)
{
    const double a = std::fabs(degrees);
    const int whole = static_cast<int>(a);
    const double minutes = (a - whole) * 60.0;
    char buf[32];
    std::snprintf(buf, sizeof buf, "%0*d%07.4f", degree_digits, whole, minutes);
    return buf;
}

std::string Hms(int sod)
{
    char buf[48];
    std::snprintf(buf, sizeof buf, "%02d%02d%02d.00", sod / 3600, (sod / 60) % 60, sod % 60);
    return buf;
}

}  // namespace

std::string BuildLog(const std::vector<LogEpoch>& epochs)
{
    std::string log;
    for (const LogEpoch& e : epochs) {
        const bool fix = e.quality != 0;
        const std::string lat = fix ? Angle(e.latitude, 2) : "";
        const std::string ns = fix ? (e.latitude < 0 ? "S" : "N") : "";
        const std::string lon = fix ? Angle(e.longitude, 3) : "";
        const std::string ew = fix ? (e.longitude < 0 ? "W" : "E") : "";
        char alt[32];
        std::snprintf(alt, sizeof alt, "%.1f", e.altitude);
        log += Sentence("GPGGA," + Hms(e.second_of_day) + "," + lat + "," + ns + "," + lon + "," + ew + "," +
                        std::to_string(e.quality) + ",08,0.9," + (fix ? alt : "") + ",M,46.9,M,,");
        if (e.with_rmc) {
            log += Sentence("GPRMC," + Hms(e.second_of_day) + "," + (fix ? "A" : "V") + "," + lat + "," + ns + "," +
                            lon + "," + ew + ",022.4,084.4," + e.date + ",003.1,W");
        }
        if (e.with_vtg) {
            log += Sentence("GPVTG,054.7,T,034.4,M,005.5,N,010.2,K");
        }
        log += Sentence("GPGSA,A,3,04,05,,09,12,,,24,,,,,2.5,1.3,2.1");
        log += Sentence("GPGSV,3,1,11,03,03,111,00,04,15,270,00,06,01,010,00,13,06,292,00");
        log += Sentence("GPGSV,3,2,11,14,25,170,00,16,57,208,39,18,67,296,40,19,40,246,00");
        log += Sentence("GPGSV,3,3,11,22,42,067,42,24,14,311,43,27,05,244,00");
    }
    return log;
}

std::vector<LogEpoch> Walk(int count, int first_sod, int quality)
{
    std::vector<LogEpoch> epochs;
    for (int k = 0; k < count; ++k) {
        LogEpoch e;
        e.second_of_day = first_sod + k;
        e.latitude = 48.1173 + 0.0001 * k;
        e.longitude = 11.5167 + 0.0002 * k;
        e.altitude = 545.4 + k;
        e.quality = quality;
        epochs.push_back(e);
    }
    return epochs;
}

ScratchDir::ScratchDir()
{
    std::string pattern = (fs::temp_directory_path() / "navsift_test_XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        std::abort();
    }
    path_ = pattern;
}

ScratchDir::~ScratchDir()
{
    std::error_code ec;
    fs::remove_all(path_, ec);
}

void WriteFile(const fs::path& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

std::string ReadFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

namespace {

struct Started {
    pid_t pid = -1;
    fs::path out, err;
};

Started Start(const std::vector<std::string>& argv, const fs::path& cwd, int index)
{
    Started s;
    static int counter = 0;
    const std::string stem = "/tmp/navsift_run_" + std::to_string(getpid()) + "_" + std::to_string(counter++) + "_" +
                             std::to_string(index);
    s.out = stem + ".out";
    s.err = stem + ".err";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, s.out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, s.err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
    std::vector<char*> args;
    for (const std::string& a : argv) {
        args.push_back(const_cast<char*>(a.c_str()));
    }
    args.push_back(nullptr);
    if (const int rc = posix_spawnp(&s.pid, args[0], &actions, nullptr, args.data(), environ); rc != 0) {
        std::fprintf(stderr, "cannot start %s: %s\n", args[0], std::strerror(rc));
        s.pid = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    return s;
}

RunResult Finish(const Started& s)
{
    RunResult r;
    if (s.pid > 0) {
        int status = 0;
        waitpid(s.pid, &status, 0);
        r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    r.out = ReadFile(s.out);
    r.err = ReadFile(s.err);
    std::error_code ec;
    fs::remove(s.out, ec);
    fs::remove(s.err, ec);
    return r;
}

}  // namespace

RunResult Run(const std::vector<std::string>& argv, const fs::path& cwd)
{
    return Finish(Start(argv, cwd, 0));
}

std::vector<RunResult> RunTogether(const std::vector<std::vector<std::string>>& argvs, const fs::path& cwd)
{
    std::vector<Started> started;
    for (std::size_t k = 0; k < argvs.size(); ++k) {
        started.push_back(Start(argvs[k], cwd, static_cast<int>(k)));
    }
    std::vector<RunResult> results;
    for (const Started& s : started) {
        results.push_back(Finish(s));
    }
    return results;
}

std::string NavsiftPath()
{
    if (const char* dir = std::getenv("FIXBENCH_BUILD_DIR"); dir != nullptr && *dir != '\0') {
        return std::string(dir) + "/analysis/navsift";
    }
    // The test program lives in <build>/tests.
    std::error_code ec;
    const fs::path self = fs::canonical("/proc/self/exe", ec);
    return (self.parent_path().parent_path() / "analysis" / "navsift").string();
}

RunResult Navsift(const std::vector<std::string>& args, const fs::path& cwd)
{
    std::vector<std::string> argv = {NavsiftPath()};
    argv.insert(argv.end(), args.begin(), args.end());
    return Run(argv, cwd);
}

std::string XmlProblem(const fs::path& file)
{
    const RunResult r = Run({"python3", "-c",
                             "import sys, xml.etree.ElementTree as E\n"
                             "try:\n    E.parse(sys.argv[1])\nexcept Exception as e:\n    print(e); sys.exit(1)\n",
                             file.string()},
                            fs::temp_directory_path());
    if (r.status == 0) {
        return "";
    }
    return r.out.empty() ? "parser failed: " + r.err : r.out;
}

int GpsbabelTrackPoints(const fs::path& kml, const fs::path& work)
{
    const fs::path gpx = work / "readback.gpx";
    const RunResult r = Run({"gpsbabel", "-i", "kml", "-f", kml.string(), "-o", "gpx", "-F", gpx.string()}, work);
    if (r.status != 0) {
        return -1;
    }
    return CountOf(ReadFile(gpx), "<trkpt ");
}

std::vector<std::vector<std::string>> WordRows(const std::string& text)
{
    std::vector<std::vector<std::string>> rows;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        std::vector<std::string> row;
        for (std::string w; words >> w;) {
            row.push_back(w);
        }
        rows.push_back(row);
    }
    return rows;
}

int CountOf(const std::string& text, const std::string& what)
{
    int n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) {
        ++n;
    }
    return n;
}

std::vector<std::string> Split(const std::string& text, char at)
{
    std::vector<std::string> cells;
    std::size_t from = 0;
    for (;;) {
        const std::size_t to = text.find(at, from);
        cells.push_back(text.substr(from, to == std::string::npos ? std::string::npos : to - from));
        if (to == std::string::npos) {
            return cells;
        }
        from = to + 1;
    }
}

std::vector<std::string> TextLines(const std::string& text)
{
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        out.push_back(line);
    }
    return out;
}

std::string FolderDigest(const fs::path& folder)
{
    std::vector<fs::path> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (entry.is_regular_file()) {
            files.push_back(fs::relative(entry.path(), folder));
        }
    }
    std::sort(files.begin(), files.end());
    std::string digest;
    for (const fs::path& f : files) {
        const std::string ext = f.extension().string();
        if (ext == ".xlsx" || ext == ".png" || ext == ".raw" || ext == ".tex") {
            digest += "== " + f.generic_string() + "\n";
        } else {
            digest += "== " + f.generic_string() + " ==\n" + ReadFile(folder / f);
        }
    }
    return digest;
}

void FakeProgram(const fs::path& path, const std::string& body)
{
    WriteFile(path, "#!/bin/sh\n" + body);
    fs::permissions(path, fs::perms::owner_all);
}

PathOverride::PathOverride(const std::string& path) : old_(std::getenv("PATH") ? std::getenv("PATH") : "")
{
    setenv("PATH", path.c_str(), 1);
}

PathOverride::~PathOverride()
{
    setenv("PATH", old_.c_str(), 1);
}

}  // namespace navsift_test
