// KML documents drawn from logs of the shapes users bring (real receivers'
// logs, logs without line ends, surveys of other talkers, empty files) and
// from tracks of a whole day: each document is the one navsift has always
// drawn from that log, byte for byte (its size and SHA-256 are recorded in
// golden/kml_documents.txt), and a day's path follows its placemarks.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <sstream>

#include "tests/analysis/navsift_harness.h"

namespace navsift_test {
namespace {

const fs::path kSourceDir = fs::path(FIXBENCH_SOURCE_DIR);
const fs::path kDigests = kSourceDir / "tests/analysis/golden/kml_documents.txt";

// "<size> <sha256>" of a file; empty when it is not there.
std::string Digest(const fs::path& file, const fs::path& cwd)
{
    std::error_code ec;
    const auto size = fs::file_size(file, ec);
    if (ec) {
        return "";
    }
    const RunResult r = Run({"sha256sum", file.string()}, cwd);
    return std::to_string(size) + " " + r.out.substr(0, r.out.find(' '));
}

// What the recording holds: case name -> "<size> <sha256>".
std::map<std::string, std::string> Recorded()
{
    std::map<std::string, std::string> digests;
    std::istringstream in(ReadFile(kDigests));
    std::string name, size, sha;
    while (in >> name >> size >> sha) {
        digests[name] = size + " " + sha;
    }
    return digests;
}

// The logs the tests hold, NMEA ones only (-kml reads no GPX).
std::vector<fs::path> ShapedLogs()
{
    std::vector<fs::path> logs;
    for (const char* folder : {"tests/data", "tests/data/shapes", "tests/data/real"}) {
        for (const fs::directory_entry& e : fs::directory_iterator(kSourceDir / folder)) {
            const std::string ext = e.path().extension().string();
            if (e.is_regular_file() && (ext == ".txt" || ext == ".log")) {
                logs.push_back(e.path());
            }
        }
    }
    std::sort(logs.begin(), logs.end());
    return logs;
}

// The case name of a log: its folder under tests/ and its name.
std::string CaseName(const fs::path& log)
{
    std::string name = fs::relative(log, kSourceDir / "tests/data").string();
    std::replace(name.begin(), name.end(), '/', ':');
    return name;
}

TEST(KmlDocuments, EveryShapedLogDrawsTheDocumentItAlwaysDrew)
{
    const std::map<std::string, std::string> recorded = Recorded();
    const std::vector<fs::path> logs = ShapedLogs();
    ASSERT_GE(logs.size(), 10u);
    ScratchDir dir;
    for (const fs::path& log : logs) {
        const std::string name = CaseName(log);
        fs::copy_file(log, dir / "log.txt", fs::copy_options::overwrite_existing);
        fs::remove(dir / "k.kml");
        const RunResult r = navsift_test::Run({NavsiftPath(), "-nmea", (dir / "log.txt").string(), "-kml", "-name", "k"}, dir.path());
        const auto it = recorded.find(name);
        const std::string expected = it == recorded.end() ? "none recorded" : it->second;
        // A log that gives no track gives no document, and says so.
        const std::string got = fs::exists(dir / "k.kml") ? Digest(dir / "k.kml", dir.path()) : "0 none";
        EXPECT_EQ(got, expected) << name << " (status " << r.status << ")\nrecord as: " << name << " " << got;
    }
    // The same logs as one folder: one document of every track in turn.
    fs::remove(dir / "log.txt");
    fs::remove(dir / "k.kml");
    fs::create_directories(dir / "all");
    for (const fs::path& log : logs) {
        fs::copy_file(log, dir / "all" / (CaseName(log) + ".txt"));
    }
    const RunResult r = navsift_test::Run({NavsiftPath(), "-nmea", (dir / "all").string() + "/", "-kml", "-name", "k", "-multicolor"},
                            dir.path());
    EXPECT_EQ(r.status, 0) << r.err;
    const auto it = recorded.find("folder");
    const std::string got = Digest(dir / "all" / "k.kml", dir.path());
    EXPECT_EQ(got, it == recorded.end() ? "none recorded" : it->second) << "record as: folder " << got;
}

// The point coordinates of each track's placemarks and the lines of its
// path, in document order: {placemarks, path} per track.
std::vector<std::pair<std::vector<std::string>, std::vector<std::string>>> Tracks(const std::string& kml)
{
    std::vector<std::pair<std::vector<std::string>, std::vector<std::string>>> tracks(1);
    const std::string point = "<Point>\r\n<coordinates>";
    const std::string path = "<name>Path</name>";
    std::size_t at = 0;
    std::size_t q = kml.find(path);
    for (;;) {
        const std::size_t p = kml.find(point, at);
        if (p == std::string::npos && q == std::string::npos) {
            break;
        }
        if (p < q) {
            const std::size_t from = p + point.size();
            tracks.back().first.push_back(kml.substr(from, kml.find("</coordinates>", from) - from));
            at = from;
            continue;
        }
        const std::size_t from = kml.find("<coordinates>\r\n", q) + 15;
        const std::size_t to = kml.find("</coordinates>", from);
        std::vector<std::string>& lines = tracks.back().second;
        for (std::size_t line = from; line < to;) {
            const std::size_t end = kml.find("\r\n", line);
            lines.push_back(kml.substr(line, end - line));
            line = end + 2;
        }
        tracks.emplace_back();
        at = to;
        q = kml.find(path, at);
    }
    tracks.pop_back();
    return tracks;
}

TEST(KmlDocuments, ADayOfTrackInTwoPartsKeepsEveryPointOfItsPaths)
{
    ScratchDir dir;
    std::vector<LogEpoch> epochs = Walk(86000, 200);
    for (std::size_t k = 0; k < epochs.size(); ++k) {
        epochs[k].altitude = 100.0 + static_cast<double>(k % 3000) * 0.5;
    }
    WriteFile(dir / "day.txt", BuildLog(epochs));
    WriteFile(dir / "splits.txt", "12:00:00 30/06/2008\r\n");
    const RunResult r = navsift_test::Run({NavsiftPath(), "-nmea", (dir / "day.txt").string(), "-kml", "-name", "day", "-split",
                             (dir / "splits.txt").string()},
                            dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    const auto tracks = Tracks(ReadFile(dir / "day.kml"));
    ASSERT_EQ(tracks.size(), 2u);
    std::size_t points = 0;
    for (const auto& [placemarks, path] : tracks) {
        // Each part is longer than what is held in memory of a path.
        EXPECT_GT(placemarks.size(), 40000u);
        EXPECT_TRUE(placemarks == path) << placemarks.size() << " placemarks, a path of " << path.size();
        points += placemarks.size();
    }
    // The epoch at the split time ends one part and begins the next.
    EXPECT_EQ(points, epochs.size() + 1);
    const std::map<std::string, std::string> recorded = Recorded();
    const auto it = recorded.find("day-in-two-parts");
    const std::string got = Digest(dir / "day.kml", dir.path());
    EXPECT_EQ(got, it == recorded.end() ? "none recorded" : it->second) << "record as: day-in-two-parts " << got;
}

}  // namespace
}  // namespace navsift_test
