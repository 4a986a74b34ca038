// The debug-log search with one file per satellite (-c): each satellite's
// lines are stamped with the time of the log header before them, the same
// stamp as the search without -c gives, although the headers are not lines
// of any satellite.
#include <gtest/gtest.h>

#include <map>
#include <regex>

#include "tests/analysis/navsift_harness.h"

namespace navsift_test {
namespace {

// A receiver's debug log: a header per second, then a row per satellite
// tracked, then lines of other kinds.
std::string DebugLog()
{
    std::string log;
    for (int s = 0; s < 3; ++s) {
        char header[64];
        std::snprintf(header, sizeof header, "KALMAN | 01:30:%02d  on  09/12/2026\r\n", s);
        log += header;
        log += "GPS Week 1500 Time " + std::to_string(3600 + s) + "\r\n";
        for (const int prn : {5, 12, 27}) {
            char row[96];
            std::snprintf(row, sizeof row, "%3d%5d%8d%8d%7d%5d%6.1f TRK\r\n", prn, 10, 1000 + s, 2000, 3, 4,
                          40.0 + prn % 7);
            log += row;
        }
        log += "ODO 12 TRK none\r\n";
    }
    return log;
}

// The stamped matches of a search's output: "hh:mm:ss on dd/mm/yyyy> line".
std::vector<std::string> Matches(const std::string& text)
{
    static const std::regex kMatch("\\d\\d:\\d\\d:\\d\\d on \\d\\d/\\d\\d/\\d{4}> [^\\r\\n]*");
    std::vector<std::string> out;
    for (std::sregex_iterator it(text.begin(), text.end(), kMatch), end; it != end; ++it) {
        out.push_back(it->str());
    }
    return out;
}

TEST(SatelliteSearch, EachSatellitesLinesAreStampedWithTheHeaderBeforeThem)
{
    ScratchDir dir;
    WriteFile(dir / "dev_DEBUG.txt", DebugLog());
    const RunResult stamped = navsift_test::Run({NavsiftPath(), "dev_DEBUG.txt", "TRK"}, dir.path());
    ASSERT_EQ(stamped.status, 0) << stamped.err;
    // Every matching line of the plain search, by the satellite it begins with.
    std::map<int, std::vector<std::string>> expected;
    for (const std::string& match : Matches(stamped.out)) {
        const std::string line = match.substr(match.find("> ") + 2);
        if (line.find("ODO") == std::string::npos) {
            expected[std::stoi(line)].push_back(match);
        }
    }
    ASSERT_EQ(expected.size(), 3u) << stamped.out;

    const RunResult r = navsift_test::Run({NavsiftPath(), "dev_DEBUG.txt", "TRK", "-c"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    for (int prn = 1; prn <= 32; ++prn) {
        char name[16];
        std::snprintf(name, sizeof name, "sat_%02d.txt", prn);
        const std::string text = ReadFile(dir / name);
        SCOPED_TRACE(name);
        if (expected.count(prn) == 0) {
            EXPECT_EQ(text, "");
            continue;
        }
        const std::vector<std::string> lines = Matches(text);
        ASSERT_EQ(lines.size(), 3u) << text;
        for (std::size_t k = 0; k < lines.size(); ++k) {
            EXPECT_EQ(lines[k].substr(0, 8), "01:30:0" + std::to_string(k)) << lines[k];
            EXPECT_EQ(lines[k].find("00/00/0000"), std::string::npos) << lines[k];
            EXPECT_EQ(lines[k], expected[prn][k]);
        }
    }
}

}  // namespace
}  // namespace navsift_test
