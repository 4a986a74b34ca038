#pragma once
// Shared pieces of the report tests: a bench stand-in for the builders,
// results files written the way the device windows write them, and a
// report context over a temporary folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>
#include <numbers>
#include <string>
#include <vector>

#include "bench/reports/report_app.h"
#include "bench/reports/results_import.h"
#include "tests/workbook/support.h"

namespace reptest {

class FakeHost : public bench::reports::ReportHost {
public:
    int16_t MaxAcceptableTTFF() const override { return maxTtff; }
    bench::reports::TypedPosition AntennaPosition() const override { return position; }
    int16_t maxTtff = 300;
    bench::reports::TypedPosition position;
};

struct Fix {
    double ttff;
    std::string time = "083015.000";
    std::string lat = "4807.0380";  // ddmm.mmmm
    std::string lon = "01131.0000";
    bool differential = false;
    std::string ns = "N", ew = "E";
};

// The "*hh" checksum of an NMEA sentence: the exclusive or of the
// characters between "$" and "*".
inline std::string WithChecksum(const std::string& sentence) {
    unsigned char sum = 0;
    for (size_t i = 1; i < sentence.size(); ++i) sum ^= static_cast<unsigned char>(sentence[i]);
    char buf[8];
    std::snprintf(buf, sizeof buf, "*%02X", sum);
    return sentence + buf;
}

// One results line: TTFF with two decimals, TAB, "% " and the trial, TAB,
// the GGA sentence with its CR LF.
inline std::string ResultsLine(const Fix& f, int trial) {
    char ttff[32];
    std::snprintf(ttff, sizeof ttff, "%.2f", f.ttff);
    const std::string gga = WithChecksum("$GPGGA," + f.time + "," + f.lat + "," + f.ns + "," + f.lon + "," + f.ew +
                                         ",1,08,0.9,545.4,M,46.9,M," + (f.differential ? "2.0,0031" : ","));
    return std::string(ttff) + "\t% " + std::to_string(trial) + "\t" + gga + "\r\n";
}

// The line of a trial that ended without a fix, as the bench writes it: the
// time-out's seconds or the failure mark -1, "% " and the trial, TAB, no GGA.
inline std::string NoFixLine(const std::string& ttff, int trial) {
    return ttff + "\t% " + std::to_string(trial) + "\t\r\n";
}

inline std::string ResultsText(const std::vector<Fix>& fixes) {
    std::string all;
    for (size_t i = 0; i < fixes.size(); ++i) all += ResultsLine(fixes[i], static_cast<int>(i + 1));
    return all;
}

inline std::vector<Fix> Ttffs(const std::vector<double>& values) {
    std::vector<Fix> out;
    for (double v : values) out.push_back(Fix{v});
    return out;
}

// NMEA minutes text of a latitude `metres` north of 45°28.3150'.
inline std::string LatNorthOf(double metres) {
    // The radius of curvature of the meridian there (WGS 84).
    const double e2 = 6.69437999014e-3, s = std::sin((45 + 28.3150 / 60) * std::numbers::pi / 180);
    const double meridian = 6378137.0 * (1 - e2) / std::pow(1 - e2 * s * s, 1.5);
    const double deg = metres / (meridian * std::numbers::pi / 180.0);
    char buf[40];
    std::snprintf(buf, sizeof buf, "45%.10f", 28.3150 + deg * 60);
    return buf;
}

// A point on the WGS 84 ellipsoid in earth-centred coordinates (metres),
// and the straight distance between two positions (signed degrees): what
// the reports' errors are checked against.
struct EarthPoint {
    double x, y, z;
};
inline EarthPoint ToEarth(double lat, double lon) {
    const double a = 6378137.0, e2 = 6.69437999014e-3, p = lat * std::numbers::pi / 180,
                 l = lon * std::numbers::pi / 180;
    const double nu = a / std::sqrt(1 - e2 * std::sin(p) * std::sin(p));
    return {nu * std::cos(p) * std::cos(l), nu * std::cos(p) * std::sin(l), nu * (1 - e2) * std::sin(p)};
}
inline double EarthDistance(double lat1, double lon1, double lat2, double lon2) {
    const EarthPoint a = ToEarth(lat1, lon1), b = ToEarth(lat2, lon2);
    return std::sqrt((a.x - b.x) * (a.x - b.x) + (a.y - b.y) * (a.y - b.y) + (a.z - b.z) * (a.z - b.z));
}

// gnumeric recomputes every formula of the file into a copy; the values of
// the named cells ("COLD!U5") are read from that copy. Only these cells are
// read: gnumeric's copy styles whole rows, which makes a full read slow.
inline std::map<std::string, std::string> Recomputed(const std::string& xlsx, const std::string& dir,
                                                     const std::vector<std::string>& cells) {
    const std::string copy = dir + "/recalc.xlsx";
    std::string out;
    EXPECT_EQ(wbtest::Run("ssconvert --recalc '" + xlsx + "' '" + copy + "'", out), 0) << "ssconvert failed";
    std::string list;
    for (const std::string& c : cells) list += c + "\n";
    wbtest::WriteFile(dir + "/cells.txt", list);
    wbtest::WriteFile(dir + "/values.py", R"PY(
import sys, warnings
warnings.simplefilter('ignore')
import openpyxl
d = openpyxl.load_workbook(sys.argv[1], data_only=True, read_only=False)
for line in open(sys.argv[2]):
    k = line.strip()
    if not k: continue
    s, a = k.split('!')
    v = d[s][a].value
    print('%s\t%s' % (k, repr(v) if isinstance(v, float) else str(v)))
)PY");
    EXPECT_EQ(wbtest::Run(wbtest::Python() + " " + dir + "/values.py '" + copy + "' " + dir + "/cells.txt", out), 0);
    std::map<std::string, std::string> values;
    std::istringstream in(out);
    std::string line;
    while (std::getline(in, line)) {
        const size_t tab = line.find('\t');
        if (tab != std::string::npos) values[line.substr(0, tab)] = line.substr(tab + 1);
    }
    return values;
}

// Every formula cell of a saved report read back with openpyxl: its cached
// value must be what gnumeric recomputes from the file, within `tolerance`
// relative (absolute below 1). Position errors pass through earth-centred
// coordinates of millions of metres, so two programs' trigonometry leaves
// them a few nanometres apart: those reports compare to 1e-6 (a micrometre).
// Returns how many numeric cells were compared.
inline int ExpectRecalculationAgrees(const wbtest::FileView& v, const std::string& file, const std::string& dir,
                                     double tolerance = 1e-9) {
    std::vector<std::string> cells;
    for (const auto& [cell, text] : v.formulas)
        if (!text.empty() && text[0] == '=') cells.push_back(cell);
    std::map<std::string, std::string> g = Recomputed(file, dir, cells);
    int compared = 0;
    for (const std::string& cell : cells) {
        const std::string& text = v.formulas.at(cell);
        const std::string mine = v.cached.count(cell) ? v.cached.at(cell) : "", theirs = g[cell];
        char* end = nullptr;
        const double a = std::strtod(mine.c_str(), &end);
        if (end == mine.c_str() || *end) {
            // An empty text result is stored with no value at all.
            auto empty = [](const std::string& t) { return t == "None" ? std::string() : t; };
            EXPECT_EQ(empty(mine), empty(theirs)) << cell << " " << text;
            continue;
        }
        const double b = wbtest::AsDouble(theirs);
        EXPECT_LE(std::fabs(a - b), tolerance * std::max(1.0, std::fabs(b)))
            << cell << " " << text << ": " << mine << " vs " << theirs;
        ++compared;
    }
    return compared;
}

class ReportTest : public ::testing::Test {
protected:
    // The report of a results file named `name` (start type in it), through
    // the Part's menu-road calls: create the sheet, import, build.
    workbook::Worksheet& Report(const std::string& name, const std::vector<Fix>& fixes,
                                const std::string& sheet = "COLD") {
        base = dir.File(name);
        wbtest::WriteFile(base + ".txt", ResultsText(fixes));
        bench::reports::CreateReportSheet(ctx, base, sheet);
        bench::reports::ImportResultsFile(ctx, base, sheet);
        return ctx.Sheet(base, sheet);
    }
    workbook::Workbook& Book() { return ctx.Book(base); }
    std::string Formula(workbook::Worksheet& ws, const std::string& a1) { return ws.GetRange(a1).Formula(); }
    double Num(workbook::Worksheet& ws, const std::string& a1) {
        const workbook::Value v = ws.GetRange(a1).GetValue();
        EXPECT_TRUE(v.IsNumber()) << a1 << " holds " << v.ToString();
        return v.Number();
    }
    std::vector<std::string> SheetNames() {
        std::vector<std::string> out;
        for (int i = 1; i <= Book().Count(); ++i) out.push_back(Book().Sheets(i).Name());
        return out;
    }
    workbook::Chart& ChartOn(const std::string& sheet) {
        auto* cs = dynamic_cast<workbook::ChartSheet*>(&Book().Sheets(sheet));
        if (!cs) throw std::runtime_error("no chart sheet " + sheet);
        return cs->GetChart();
    }

    wbtest::TempDir dir;
    FakeHost host;
    bench::reports::ReportContext ctx{host, dir.Path().string()};
    std::string base;
};

}  // namespace reptest
