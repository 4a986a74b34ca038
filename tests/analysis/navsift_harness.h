#pragma once
// What the navsift tests share: NMEA logs built sentence by sentence with
// their checksums, scratch folders, and running real programs (navsift,
// python3, gpsbabel) the way a user would.
#include <filesystem>
#include <string>
#include <vector>

namespace navsift_test {

namespace fs = std::filesystem;

// "$" + body + "*" + two upper-case hex digits + CR LF.
std::string Sentence(const std::string& body);

// One epoch of a generated log.
struct LogEpoch {
    int second_of_day = 0;  // UTC
    double latitude = 48.1173;   // degrees, south negative
    double longitude = 11.5167;  // degrees, west negative
    double altitude = 545.4;
    int quality = 1;  // 0 = no fix
    bool with_rmc = true;
    bool with_vtg = false;
    std::string date = "300608";  // ddmmyy
};

// GGA, RMC (and VTG), GSA and three GSV sentences per epoch.
std::string BuildLog(const std::vector<LogEpoch>& epochs);
// `count` epochs, one a second from `first_sod`, moving north-east.
std::vector<LogEpoch> Walk(int count, int first_sod = 36000, int quality = 1);

// A fresh empty folder, removed when the object goes.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    const fs::path& path() const { return path_; }
    fs::path operator/(const std::string& name) const { return path_ / name; }

private:
    fs::path path_;
};

void WriteFile(const fs::path& path, const std::string& bytes);
std::string ReadFile(const fs::path& path);

struct RunResult {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs a program (found on PATH when it has no "/") with its arguments, in
// `cwd`, and waits for it.
RunResult Run(const std::vector<std::string>& argv, const fs::path& cwd);
// The same for several programs started together.
std::vector<RunResult> RunTogether(const std::vector<std::vector<std::string>>& argvs, const fs::path& cwd);

// The built navsift program.
std::string NavsiftPath();
// Runs the built navsift with `args` in `cwd`.
RunResult Navsift(const std::vector<std::string>& args, const fs::path& cwd);

// Checked by an independent XML parser; empty when well-formed, else its
// complaint.
std::string XmlProblem(const fs::path& file);
// Track points that gpsbabel reads back from a KML file (-1 when it fails).
int GpsbabelTrackPoints(const fs::path& kml, const fs::path& work);

int CountOf(const std::string& text, const std::string& what);
// `text` cut at every `at`: n separators give n + 1 cells, empty ones kept.
std::vector<std::string> Split(const std::string& text, char at);
// The lines of `text`, each without its LF or CR LF.
std::vector<std::string> TextLines(const std::string& text);
// Each line of `text` split at blanks, as a reader of a table does.
std::vector<std::vector<std::string>> WordRows(const std::string& text);

// Every file under `folder` by relative path, in order, with the contents of
// the text tables; workbooks, pictures, raw records and LaTeX sources (whose
// writers have reference files of their own) by name only.
std::string FolderDigest(const fs::path& folder);

// An executable shell script standing in for an outside program.
void FakeProgram(const fs::path& path, const std::string& body);

// PATH set for one test (fake outside programs), restored after it.
class PathOverride {
public:
    explicit PathOverride(const std::string& path);
    ~PathOverride();
    PathOverride(const PathOverride&) = delete;
    PathOverride& operator=(const PathOverride&) = delete;

private:
    std::string old_;
};

}  // namespace navsift_test
