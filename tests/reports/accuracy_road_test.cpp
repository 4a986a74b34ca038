// The accuracy figures of a report as the menu road builds them from results
// files written the way the bench writes them: one wild fix among good ones,
// damaged GGAs, a typed antenna with its hemisphere. The saved workbook is
// read back with openpyxl and set against an independent program that
// reads the same results files and computes earth-centred (WGS 84)
// distances and the whole-metre CEP shares itself.
#include <QCoreApplication>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <numbers>
#include <sstream>

#include "bench/devices/system_log.h"
#include "bench/reports/report_commands.h"
#include "platform/core/numtext.h"
#include "platform/ui/prompts.h"
#include "tests/reports/fixes_near.h"
#include "tests/reports/menu_road.h"
#include "tests/reports/saved_charts.h"
#include "tests/support/qt_app.h"

namespace {

using namespace reptest;
using platform::Answer;
namespace xl = workbook::xl;

constexpr double kDeg = std::numbers::pi / 180;

// The independent side. For each results file: every line whose GGA is
// whole (checksum, time of day, position on the earth) is a fix; the
// reference is the one given, or the mean of the fixes' earth-centred
// points, seen from the earth's centre on the ellipsoid; the distances are
// east and north in the plane tangent at the reference, of the fixes'
// earth-centred points; a CEP is the radius where the share of
// fixes within whole-metre radii reaches the level, interpolated between
// the whole metres around it. It prints the reference, the largest
// distance, CEP 50/90/95/99, CEP 100 (the first whole metre that holds
// every fix), the number of trials and of TTFFs at most the limit with a
// fix (whole or damaged GGA), and each distance by trial.
const char* kTruth = R"PY(
import sys, math
a = 6378137.0; e2 = 6.69437999014e-3
def ecef(lat, lon):
    p, l = math.radians(lat), math.radians(lon)
    n = a / math.sqrt(1 - e2 * math.sin(p) ** 2)
    return (n * math.cos(p) * math.cos(l), n * math.cos(p) * math.sin(l), n * (1 - e2) * math.sin(p))
def above(x, y, z):
    # The point of the ellipsoid on the line from the earth's centre through (x, y, z).
    return math.degrees(math.atan2(z / (1 - e2), math.hypot(x, y))), math.degrees(math.atan2(y, x))
def horizontal(p, r, lat0, lon0):
    # East and north of p from r in the plane tangent at (lat0, lon0).
    d = [u - v for u, v in zip(p, r)]
    f, l = math.radians(lat0), math.radians(lon0)
    east = -math.sin(l) * d[0] + math.cos(l) * d[1]
    north = -math.sin(f) * math.cos(l) * d[0] - math.sin(f) * math.sin(l) * d[1] + math.cos(f) * d[2]
    return math.hypot(east, north)
def deg(v, letter, most):
    d = int(float(v) // 100); m = float(v) - 100 * d
    if m >= 60 or d + m / 60 > most: raise ValueError
    x = d + m / 60
    return -x if letter in 'SW' else x
def whole(g):
    if '*' not in g or any(not (32 <= ord(c) <= 126) for c in g): raise ValueError
    body, check = g[1:].split('*')
    x = 0
    for c in body: x ^= ord(c)
    if '%02X' % x != check.upper(): raise ValueError
    f = body.split(',')
    t = f[1]
    if len(t.split('.')[0]) != 6 or int(t[0:2]) > 23 or int(t[2:4]) > 59 or int(t[4:6]) > 60: raise ValueError
    if f[3] not in 'NS' or f[5] not in 'EW': raise ValueError
    return deg(f[2], f[3], 90), deg(f[4], f[5], 180)
def cep(ds, level):
    n = len(ds)
    share = lambda k: sum(1 for d in ds if d <= k) / n * 100
    for k in [0] + sorted(set(math.ceil(d) for d in ds)):
        if share(k) >= level: break
    return 0.0 if k == 0 else (k - 1) + (level - share(k - 1)) / (share(k) - share(k - 1))
limit = float(sys.argv[1])
args = sys.argv[2:]
while args:
    sheet, path, rlat, rlon = args[:4]; args = args[4:]
    fixes = {}; trials = 0; valid = 0
    for line in open(path, encoding='latin-1'):
        f = line.rstrip('\r\n').split('\t', 2)
        if len(f) < 3 or not f[1].startswith('% '): continue
        try: ttff = float(f[0])
        except ValueError: continue
        trials += 1
        if f[2] and 0 <= ttff <= limit: valid += 1
        try: fixes[trials] = ecef(*whole(f[2]))
        except (ValueError, IndexError): pass
    if rlat == 'mean':
        m = [sum(c) / len(fixes) for c in zip(*fixes.values())]
        lat0, lon0 = above(*m)
    else:
        lat0, lon0 = float(rlat), float(rlon)
    r = ecef(lat0, lon0)
    ds = {t: horizontal(p, r, lat0, lon0) for t, p in fixes.items()}
    v = list(ds.values())
    print('SHEET\t%s\t%r\t%r\t%r\t%s\t%d\t%d\t%d' % (sheet, lat0, lon0, max(v),
          '\t'.join(repr(cep(v, l)) for l in (50, 90, 95, 99)), math.ceil(max(v)), trials, valid))
    for t, d in ds.items(): print('ROW\t%s\t%d\t%r' % (sheet, t + 1, d))
)PY";

struct Truth {
    double lat = 0, lon = 0, largest = 0, cep[4] = {}, cep100 = 0;
    int trials = 0, valid = 0;
    std::map<int, double> rows;  // sheet row -> distance
};

// Only the cells asked for, read with openpyxl from the saved file (the
// cached values a viewer shows).
std::map<std::string, std::string> SavedCells(const std::string& xlsx, const std::string& dir,
                                              const std::vector<std::string>& cells) {
    std::string list;
    for (const std::string& c : cells) list += c + "\n";
    wbtest::WriteFile(dir + "/want.txt", list);
    wbtest::WriteFile(dir + "/cells.py", R"PY(
import sys, warnings
warnings.simplefilter('ignore')
import openpyxl
from openpyxl.utils.cell import coordinate_from_string, column_index_from_string
d = openpyxl.load_workbook(sys.argv[1], data_only=True, read_only=True)
want = [l.strip() for l in open(sys.argv[2]) if l.strip()]
by = {}
for k in want:
    s, a = k.split('!')
    col, row = coordinate_from_string(a)
    by.setdefault(s, {})[(row, column_index_from_string(col))] = k
for s, cells in by.items():
    top = max(r for r, c in cells)
    found = {}
    for r, values in enumerate(d[s].iter_rows(min_row=1, max_row=top, values_only=True), start=1):
        for c, v in enumerate(values, start=1):
            if (r, c) in cells: found[cells[(r, c)]] = v
    for k in cells.values():
        v = found.get(k)
        print('%s\t%s' % (k, repr(v) if isinstance(v, float) else str(v)))
)PY");
    std::string out;
    EXPECT_EQ(wbtest::Run(wbtest::Python() + " " + dir + "/cells.py '" + xlsx + "' " + dir + "/want.txt", out), 0)
        << out;
    std::map<std::string, std::string> values;
    std::istringstream in(out);
    std::string line;
    while (std::getline(in, line)) {
        const size_t tab = line.find('\t');
        if (tab != std::string::npos) values[line.substr(0, tab)] = line.substr(tab + 1);
    }
    return values;
}

class AccuracyRoad : public MenuRoadTest {
protected:
    // Tool > Excel Reports > "Generate Excel Report" on the file `name`
    // holding `text`; the last box answered Yes, so the report stays open.
    std::string MenuReport(const std::string& name, const std::string& text) {
        const std::string file = dir.File(name + ".txt");
        wbtest::WriteFile(file, text);
        auto& p = platform::Prompts::Instance();
        p.ClearAsked();
        p.QueueFileName(file);
        p.QueueAnswer(Answer::Yes);
        commands->GenerateExcelReport_Click();
        Wait();
        base = dir.File(name);
        truthArgs += " '" + name + "' '" + file + "' " + refLat + " " + refLon;
        return dir.File(name + ".xlsx");
    }
    // The last box of the report: the one that says it is complete.
    std::string LastBox() {
        const auto& asked = platform::Prompts::Instance().Asked();
        for (auto it = asked.rbegin(); it != asked.rend(); ++it)
            if (it->find("succesfully competed") != std::string::npos) return *it;
        return "";
    }
    workbook::Worksheet& Sheet(const std::string& name) {
        return commands->Context().Sheet(dir.File(name), "COLD");
    }
    std::map<std::string, Truth> Independent() {
        wbtest::WriteFile(dir.File("truth.py"), kTruth);
        std::string out;
        EXPECT_EQ(wbtest::Run(wbtest::Python() + " " + dir.File("truth.py") + " " + std::to_string(host.maxTtff) +
                                  truthArgs,
                              out),
                  0)
            << out;
        std::map<std::string, Truth> t;
        std::istringstream in(out);
        std::string line;
        while (std::getline(in, line)) {
            std::istringstream ls(line);
            std::string kind, sheet;
            std::getline(ls, kind, '\t');
            std::getline(ls, sheet, '\t');
            Truth& x = t[sheet];
            if (kind == "ROW") {
                int row;
                double d;
                ls >> row >> d;
                x.rows[row] = d;
            } else {
                ls >> x.lat >> x.lon >> x.largest >> x.cep[0] >> x.cep[1] >> x.cep[2] >> x.cep[3] >> x.cep100 >>
                    x.trials >> x.valid;
            }
        }
        return t;
    }
    // U10:U14 and the largest error of the saved report against the truth.
    void ExpectAccuracy(const std::string& xlsx, const Truth& t) {
        std::vector<std::string> cells{"COLD!M2", "COLD!N2", "COLD!U4"};
        for (int r = 10; r <= 14; ++r) cells.push_back("COLD!U" + std::to_string(r));
        for (const auto& [row, d] : t.rows) cells.push_back("COLD!Z" + std::to_string(row));
        std::map<std::string, std::string> v = SavedCells(xlsx, dir.Path().string(), cells);
        EXPECT_NEAR(wbtest::AsDouble(v["COLD!M2"]), t.lat, 1e-7);
        EXPECT_NEAR(wbtest::AsDouble(v["COLD!N2"]), t.lon, 1e-7);
        double largest = 0;
        for (const auto& [row, d] : t.rows) {
            const double z = wbtest::AsDouble(v["COLD!Z" + std::to_string(row)]);
            EXPECT_NEAR(z, d, 0.01) << "row " << row;
            largest = std::max(largest, z);
        }
        EXPECT_NEAR(largest, t.largest, 0.01);
        for (int i = 0; i < 4; ++i)
            EXPECT_NEAR(wbtest::AsDouble(v["COLD!U" + std::to_string(10 + i)]), t.cep[i], 0.014)
                << "U" << 10 + i << " holds " << v["COLD!U" + std::to_string(10 + i)];
        EXPECT_EQ(wbtest::AsDouble(v["COLD!U14"]), t.cep100) << "CEP 100, the largest error's whole metre";
    }

    std::string truthArgs, refLat = "mean", refLon = "mean";
};

// A bogus first fix at 0 N 0 E, or one 500 km away, among 29 good ones:
// CEP 50/90/95/99/100 are all given, the curve runs past the CEP 95 and
// says where it stops, and the last box says so too.
TEST_F(AccuracyRoad, OneWildFixNeverEmptiesTheAccuracyFigures) {
    REQUIRE_OPENPYXL();
    bench::OpenSystemLog();
    const double lat0 = 45 + 28.315 / 60, lon0 = 9 + 11.452 / 60;
    std::vector<Fix> good = Scatter(lat0, lon0, 29, 6, 4242);

    // Against the typed antenna, a receiver's first fix at 0 N 0 E.
    host.position = {{"45", "28", "3150", "9", "11", "4520"}, true, {"N", "E"}};
    char text[2][32];
    std::snprintf(text[0], sizeof text[0], "%.12f", lat0);
    std::snprintf(text[1], sizeof text[1], "%.12f", lon0);
    refLat = text[0];
    refLon = text[1];
    std::vector<Fix> bogus = good;
    bogus.insert(bogus.begin(), Fix{45, "101500.000", "0000.0000", "00000.0000"});
    const std::string typedFile = MenuReport("wild_TTFF_COLD_NMEA_Results", ResultsText(bogus));
    const std::string typedBox = LastBox();

    // Against the fixes' mean, one fix 500 km east; and the bogus one.
    host.position = {};
    refLat = refLon = "mean";
    std::vector<Fix> far = good;
    far.push_back(FixNear(lat0, lon0, 500000, 90, 50));
    const std::string farFile = MenuReport("far_TTFF_COLD_NMEA_Results", ResultsText(far));
    const std::string farBox = LastBox();
    const std::string meanFile = MenuReport("mean_TTFF_COLD_NMEA_Results", ResultsText(bogus));
    const std::string meanBox = LastBox();

    std::map<std::string, Truth> truth = Independent();
    ASSERT_EQ(truth.size(), 3u);
    const struct {
        const char* name;
        const std::string& file;
        const std::string& box;
    } cases[] = {{"wild_TTFF_COLD_NMEA_Results", typedFile, typedBox},
                 {"far_TTFF_COLD_NMEA_Results", farFile, farBox},
                 {"mean_TTFF_COLD_NMEA_Results", meanFile, meanBox}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Truth& t = truth.at(c.name);
        ASSERT_GT(t.largest, 65535) << "the case is one the curve cannot follow metre by metre";
        ExpectAccuracy(c.file, t);

        // The curve covers the CEP 95 and says, in the sheet, where it stops.
        workbook::Worksheet& ws = Sheet(c.name);
        int last = 2;
        while (ws.ValueAt(last + 1, 27).IsNumber()) ++last;
        const double end = ws.ValueAt(last, 27).Number();
        EXPECT_GE(end, t.cep[2] + 10 - 1e-9) << "the curve runs 10 m past the CEP 95";
        EXPECT_LT(end, t.largest);
        EXPECT_LE(last, 65537) << "no table of millions of rows";
        EXPECT_NEAR(ws.ValueAt(last, 28).Number(), t.cep[2] + 10 < t.largest ? 100.0 * 29 / 30 : 100, 1e-9)
            << "the share at the curve's end";
        const std::string note = ws.GetRange("AC2").GetValue().Text();
        EXPECT_EQ(note.rfind("The CEP curve and its chart stop at " + platform::NumberToText(end) + " m", 0), 0u)
            << note;
        const size_t at = note.find("the largest error ");
        ASSERT_NE(at, std::string::npos) << note;
        EXPECT_NEAR(std::strtod(note.c_str() + at + 18, nullptr), t.largest, 0.006) << note;
        EXPECT_NE(note.find("1 of 30 fixes lies beyond it"), std::string::npos) << note;
        // Its chart is made and reaches past the CEP 95.
        workbook::Workbook& wb = commands->Context().Book(dir.File(c.name));
        auto* cs = dynamic_cast<workbook::ChartSheet*>(wb.FindSheet("COLD CEP Chart"));
        ASSERT_NE(cs, nullptr) << "a CEP chart";
        EXPECT_GE(cs->GetChart().Axes(xl::Category).MaximumScale(), t.cep[2]);
        // The box that ends the report says what the curve leaves out.
        EXPECT_NE(c.box.find("COLD: the CEP curve and its chart stop at " + platform::NumberToText(end) + " m"),
                  std::string::npos)
            << c.box;
        EXPECT_NE(c.box.find("Test session succesfully competed"), std::string::npos);
    }
    // Against the mean the bogus fix moves every good one 170 km away: the
    // curve's steps grow so that it still reaches the CEP 95.
    const double meanStep = Sheet("mean_TTFF_COLD_NMEA_Results").ValueAt(3, 27).Number();
    EXPECT_GT(meanStep, 1);
    EXPECT_NE(meanBox.find("in steps of " + platform::NumberToText(meanStep) + " m"), std::string::npos) << meanBox;

    // gnumeric computes the small report's formulas to what it holds.
    REQUIRE_SSCONVERT();
    wbtest::FileView v = wbtest::ReadBack(typedFile, dir.Path().string());
    EXPECT_GT(ExpectRecalculationAgrees(v, typedFile, dir.Path().string(), 1e-6), 100);
    bench::CloseSystemLog();
}

// A trial whose GGA is damaged keeps its TTFF in every TTFF figure; only
// its position is left out, and the last box names its line.
TEST_F(AccuracyRoad, ADamagedGGACostsThePositionNotTheMeasuredTTFF) {
    REQUIRE_OPENPYXL();
    bench::OpenSystemLog();
    const double lat0 = 48.1173, lon0 = 11.5167;
    const std::vector<Fix> around = Scatter(lat0, lon0, 20, 5, 4242);
    std::string text;
    std::map<int, int> damagedTrials;  // trial -> file line
    std::vector<double> measured;
    for (int i = 1; i <= 20; ++i) {
        Fix f = around[static_cast<size_t>(i - 1)];
        f.ttff = 30 + i * 2.25;
        std::string line = ResultsLine(f, i);
        switch (i) {
        case 5:
            line = NoFixLine("-1", i);  // the trial failed
            break;
        case 14:
            line = NoFixLine("301", i);  // timed out past the limit
            break;
        case 3: {  // a wrong checksum
            const size_t star = line.find('*');
            line[star + 2] = line[star + 2] == '0' ? '1' : '0';
            break;
        }
        case 7:  // no time of day
            line = ResultsLine(Fix{f.ttff, "256015.000", f.lat, f.lon, false, f.ns, f.ew}, i);
            break;
        case 9:  // a latitude past the pole
            line = ResultsLine(Fix{f.ttff, f.time, "9500.0000", f.lon, false, f.ns, f.ew}, i);
            break;
        case 11:  // a longitude past 180 degrees
            line = ResultsLine(Fix{f.ttff, f.time, f.lat, "18100.0000", false, f.ns, f.ew}, i);
            break;
        case 16:  // a byte of noise in the sentence
            line.insert(line.find("$GPGGA") + 10, 1, '\x01');
            break;
        case 19:  // cut short
            line = line.substr(0, line.find("$GPGGA") + 14) + "\r\n";
            break;
        }
        if (i == 3 || i == 7 || i == 9 || i == 11 || i == 16 || i == 19) damagedTrials[i] = i;
        if (i != 5 && i != 14) measured.push_back(f.ttff);
        text += line;
    }
    const std::string file = MenuReport("dmg_TTFF_COLD_NMEA_Results", text);
    const std::string box = LastBox();
    for (const auto& [trial, line] : damagedTrials)
        EXPECT_NE(box.find(dir.File("dmg_TTFF_COLD_NMEA_Results.txt") + " line " + std::to_string(line)),
                  std::string::npos)
            << "line " << line << " named in: " << box;
    EXPECT_NE(box.find("their trials keep their TTFF and have no position"), std::string::npos) << box;

    const Truth t = Independent().at("dmg_TTFF_COLD_NMEA_Results");
    EXPECT_EQ(t.trials, 20);
    EXPECT_EQ(t.valid, 18);
    EXPECT_EQ(t.rows.size(), 12u);
    ExpectAccuracy(file, t);

    std::vector<std::string> cells{"COLD!U4", "COLD!U5", "COLD!U6", "COLD!U7", "COLD!U8", "COLD!U9", "COLD!T3",
                                   "COLD!U3"};
    for (int r = 2; r <= 21; ++r)
        for (const char* c : {"A", "C", "D", "O", "Z", "AD"}) cells.push_back("COLD!" + std::string(c) + std::to_string(r));
    for (int r = 2; r <= 400; ++r) cells.push_back("COLD!Y" + std::to_string(r));
    for (int r = 2; r <= 22; ++r) cells.push_back("COLD!AF" + std::to_string(r));
    std::map<std::string, std::string> v = SavedCells(file, dir.Path().string(), cells);
    auto num = [&](const std::string& a1) { return wbtest::AsDouble(v["COLD!" + a1]); };
    EXPECT_EQ(num("U4"), 20);
    EXPECT_NEAR(num("U9"), 10, 1e-12) << "the failure and the time-out of 20 trials";
    double sum = 0;
    for (double m : measured) sum += m;
    const double mean = sum / measured.size();
    double ss = 0;
    for (double m : measured) ss += (m - mean) * (m - mean);
    EXPECT_NEAR(num("U5"), mean, 1e-9);
    EXPECT_EQ(num("U6"), *std::max_element(measured.begin(), measured.end()));
    EXPECT_EQ(num("U7"), *std::min_element(measured.begin(), measured.end()));
    EXPECT_NEAR(num("U8"), std::sqrt(ss / (measured.size() - 1)), 1e-9);
    EXPECT_EQ(v["COLD!T3"], "Damaged GGAs");
    EXPECT_EQ(num("U3"), 6);
    // Column AD, which the CDF, histogram and TTFF chart draw from, holds all 18.
    for (size_t k = 0; k < measured.size(); ++k) EXPECT_EQ(num("AD" + std::to_string(k + 2)), measured[k]) << k;
    double cdf = 0;
    for (int r = 2; v.count("COLD!Y" + std::to_string(r)) && v["COLD!Y" + std::to_string(r)] != "None"; ++r)
        cdf = num("Y" + std::to_string(r));
    EXPECT_NEAR(cdf, 0.9, 1e-12);
    EXPECT_NEAR(num("AF22"), 90, 1e-9) << "the histogram's last bin";
    for (const auto& [trial, line] : damagedTrials) {
        const std::string r = std::to_string(trial + 1);
        EXPECT_EQ(v["COLD!C" + r], "GGA damaged, line " + std::to_string(line));
        for (const char* c : {"D", "O", "Z"}) EXPECT_EQ(v["COLD!" + std::string(c) + r], "None") << c << r;
    }
    bench::CloseSystemLog();
}

// The same trials in a power-step series: the level's TTFF statistics
// count them too.
TEST_F(AccuracyRoad, ADamagedGGAKeepsItsTTFFInTheSensitivityReport) {
    REQUIRE_OPENPYXL();
    std::vector<std::string> files;
    std::vector<double> ttffs{31.5, 28.25, 40, 35.75, 44};
    for (const char* level : {"-130", "-135", "-140"}) {
        std::string text;
        for (size_t i = 0; i < ttffs.size(); ++i) {
            std::string line = ResultsLine(Fix{ttffs[i]}, static_cast<int>(i + 1));
            if (i == 1) line[line.find('*') + 1] = line[line.find('*') + 1] == 'F' ? '0' : 'F';
            text += line;
        }
        text += NoFixLine("-1", 6);
        files.push_back(dir.File(std::string("S1_TTFF_COLD_NMEA_Results_PW") + level + ".txt"));
        wbtest::WriteFile(files.back(), text);
    }
    auto& p = platform::Prompts::Instance();
    p.QueueFileNames(files);
    p.QueueText("45");
    p.QueueAnswer(Answer::Yes);
    commands->Sensitivity_Click();
    ASSERT_TRUE(test::WaitFor([&] { return !commands->Busy(); }, 60000));
    const std::string report = dir.File("S1TTFF.xlsx");
    std::map<std::string, std::string> v =
        SavedCells(report, dir.Path().string(), {"-135COLD!U4", "-135COLD!U5", "-135COLD!U9", "-135COLD!AD3"});
    EXPECT_EQ(wbtest::AsDouble(v["-135COLD!U4"]), 6);
    EXPECT_NEAR(wbtest::AsDouble(v["-135COLD!U9"]), 100.0 / 6, 1e-9) << "one failure in six trials";
    EXPECT_NEAR(wbtest::AsDouble(v["-135COLD!U5"]), (31.5 + 28.25 + 40 + 35.75 + 44) / 5, 1e-9);
    EXPECT_EQ(wbtest::AsDouble(v["-135COLD!AD3"]), 28.25) << "the damaged trial's TTFF";
    EXPECT_NE(LastBox().find("S1_TTFF_COLD_NMEA_Results_PW-135.txt line 2"), std::string::npos) << LastBox();
}

// A typed antenna is used as typed, hemisphere and all, where the fixes'
// side would mirror it: beside 180 degrees, the prime meridian and the
// equator.
TEST_F(AccuracyRoad, ATypedAntennaKeepsItsHemisphere) {
    REQUIRE_OPENPYXL();
    struct Case {
        const char* name;
        bench::reports::TypedPosition typed;
        double lat, lon;  // the antenna, signed degrees
        std::vector<Fix> fixes;
    };
    std::vector<Fix> dateline, greenwich, equator;
    // Fixes at 179.9999 W, the antenna 10 S 179.99995 E: 16 m apart.
    for (const Fix& f : Scatter(-10, -179.9999, 20, 3, 4242)) dateline.push_back(f);
    // A receiver 8 m east of an antenna 0.0001 W at Greenwich.
    for (const Fix& f : Scatter(51.4779, -0.0001 + 8 / (111320 * std::cos(51.4779 * kDeg)), 20, 1, 4242)) greenwich.push_back(f);
    // Fixes north of the equator at 100 W, the antenna 0.00005 S.
    for (const Fix& f : Scatter(0.00002, -100, 20, 4, 4242)) equator.push_back(f);
    const std::vector<Case> cases{
        {"dl_TTFF_COLD_NMEA_Results", {{"-10", "0", "0", "179", "59", "997"}, true, {"", "E"}}, -10, 179.99995, dateline},
        {"gw_TTFF_COLD_NMEA_Results", {{"51", "28", "674", "0", "0", "006"}, true, {"N", "W"}}, 51 + 28.674 / 60,
         -0.0001, greenwich},
        {"eq_TTFF_COLD_NMEA_Results", {{"0", "0", "003", "100", "0", ""}, true, {"S", "W"}}, -0.00005, -100, equator}};
    for (const Case& c : cases) {
        host.position = c.typed;
        char lat[32], lon[32];
        std::snprintf(lat, sizeof lat, "%.10f", c.lat);
        std::snprintf(lon, sizeof lon, "%.10f", c.lon);
        refLat = lat;
        refLon = lon;
        MenuReport(c.name, ResultsText(c.fixes));
    }
    std::map<std::string, Truth> truth = Independent();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ExpectAccuracy(dir.File(std::string(c.name) + ".xlsx"), truth.at(c.name));
    }
    EXPECT_GT(truth.at("dl_TTFF_COLD_NMEA_Results").cep[0], 14) << "the antenna stands apart from the fixes";
}

// However far the fixes lie and whatever the curve's step, the saved CEP
// chart reaches the CEP 95 (its last point and its axis), ending where the
// curve's table ends; the note beside the table, and the box, say where
// they end and what lies past them, and only when something does.
TEST_F(AccuracyRoad, TheCepChartReachesTheCep95AndItsNoteSaysOnlyWhatLiesBeyond) {
    REQUIRE_OPENPYXL();
    const double lat0 = 45 + 28.315 / 60, lon0 = 9 + 11.452 / 60;
    host.position = {};
    refLat = refLon = "mean";
    // 3 of 20 fixes 400 km away, a kilometre apart.
    std::vector<Fix> three = Scatter(lat0, lon0, 17, 6, 99);
    for (int i = 0; i < 3; ++i) three.push_back(FixNear(lat0, lon0, 400000 + 1000 * i, 90, 40 + i));
    // Two trials 4,983 km apart.
    const std::vector<Fix> two{FixNear(lat0, lon0, 0, 0, 30), FixNear(lat0, lon0, 4982800, 45, 35)};
    // One fix 9,000 km away among 29 good ones.
    std::vector<Fix> nine = Scatter(lat0, lon0, 29, 6, 7);
    nine.push_back(FixNear(lat0, lon0, 9000000, 200, 50));
    struct Case {
        const char* name;
        std::string file, box;
    };
    std::vector<Case> cases{{"three_TTFF_COLD_NMEA_Results", "", ""},
                            {"two_TTFF_COLD_NMEA_Results", "", ""},
                            {"nine_TTFF_COLD_NMEA_Results", "", ""}};
    const std::vector<Fix>* fixes[] = {&three, &two, &nine};
    for (size_t i = 0; i < cases.size(); ++i) {
        cases[i].file = MenuReport(cases[i].name, ResultsText(*fixes[i]));
        cases[i].box = LastBox();
    }
    std::map<std::string, Truth> truth = Independent();
    int noted = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Truth& t = truth.at(c.name);
        ExpectAccuracy(c.file, t);
        const double cep95 = t.cep[2];
        ASSERT_GT(t.largest, 65535) << "a curve that cannot go metre by metre";

        // The table's end, and what its chart holds as the saved file has it.
        workbook::Worksheet& ws = Sheet(c.name);
        int last = 2;
        while (ws.ValueAt(last + 1, 27).IsNumber()) ++last;
        const double end = ws.ValueAt(last, 27).Number();
        const double step = ws.ValueAt(3, 27).Number();
        const SavedCharts saved = ReadSavedCharts(c.file, dir.Path().string());
        const SavedSeries& curve = saved.series.at("COLD CEP Chart/1");
        ASSERT_FALSE(curve.points.empty());
        EXPECT_EQ(curve.differing, 0);
        const double chartEnd = std::stod(curve.points.back().first);
        EXPECT_GE(chartEnd, cep95) << "the chart's last point is short of the CEP 95";
        EXPECT_EQ(chartEnd, end) << "the chart ends where its table does";
        const auto& axis = saved.axes.at("COLD CEP Chart/b");
        ASSERT_NE(axis.second, "None");
        EXPECT_GE(wbtest::AsDouble(axis.second), cep95) << "the axis ends short of the CEP 95";
        EXPECT_GE(wbtest::AsDouble(axis.second), chartEnd) << "the axis hides the chart's last point";

        // The note says what lies past the end, counted here, or nothing.
        int beyond = 0;
        for (const auto& [row, d] : t.rows) beyond += d > end;
        const std::string note = SavedCells(c.file, dir.Path().string(), {"COLD!AC2"})["COLD!AC2"];
        if (beyond == 0) {
            EXPECT_EQ(note, "None") << "a note where nothing lies beyond the curve";
            EXPECT_EQ(c.box.find("CEP curve"), std::string::npos) << c.box;
            continue;
        }
        ++noted;
        const std::string where = platform::NumberToText(end) + " m" +
                                  (step > 1 ? ", in steps of " + platform::NumberToText(step) + " m" : std::string());
        EXPECT_EQ(note.rfind("The CEP curve and its chart stop at " + where + ": " + std::to_string(beyond) + " of " +
                                 std::to_string(t.rows.size()) + (beyond == 1 ? " fixes lies" : " fixes lie") +
                                 " beyond it, the largest error ",
                             0),
                  0u)
            << note;
        const size_t at = note.find("the largest error ");
        ASSERT_NE(at, std::string::npos) << note;
        EXPECT_NEAR(std::strtod(note.c_str() + at + 18, nullptr), t.largest, 0.006) << note;
        EXPECT_NE(c.box.find("COLD: the CEP curve and its chart stop at " + where), std::string::npos) << c.box;
    }
    EXPECT_EQ(noted, 2) << "the two trials' curve holds both; the others leave a fix beyond";
}

// A typed position with a hemisphere on one coordinate and none on the
// other is refused before anything is built, naming the one without; with
// none on either, the fixes' side is taken as before.
TEST_F(AccuracyRoad, AHemisphereOnOneCoordinateAloneIsRefusedNamingTheOther) {
    // Fixes 1 to 3 m around 10 S 179.9999 W.
    const std::vector<Fix> fixes = Scatter(-10, -179.9999, 20, 3, 4242);
    const struct {
        const char* name;
        bench::reports::TypedPosition typed;
        const char* says;
    } refused[] = {
        {"lon_TTFF_COLD_NMEA_Results", {{"-10", "0", "0", "179", "59", "997"}, true, {"", ""}},
         "The antenna longitude \"179\" \"59\" \"997\" has no hemisphere, while the latitude has one"},
        {"lat_TTFF_COLD_NMEA_Results", {{"10", "0", "0", "179", "59", "997"}, true, {"", "W"}},
         "The antenna latitude \"10\" \"0\" \"0\" has no hemisphere, while the longitude has one"},
        {"latS_TTFF_COLD_NMEA_Results", {{"10", "0", "0", "179", "59", "997"}, true, {"S", ""}},
         "The antenna longitude \"179\" \"59\" \"997\" has no hemisphere, while the latitude has one"},
    };
    for (const auto& r : refused) {
        SCOPED_TRACE(r.name);
        host.position = r.typed;
        const std::string file = MenuReport(r.name, ResultsText(fixes));
        platform::Prompts::Instance().ClearQueue();  // the answer to a last box never asked
        bool told = false;
        for (const std::string& q : platform::Prompts::Instance().Asked())
            told = told || (q.find(r.says) != std::string::npos && q.find("The report is not built.") != std::string::npos);
        EXPECT_TRUE(told) << "no box names the coordinate without its hemisphere";
        EXPECT_FALSE(std::filesystem::exists(file)) << "a report was built";
        EXPECT_TRUE(LastBox().empty());
    }
    // Neither has one: both go to the fixes' side, 10 S 179 59.997 W.
    REQUIRE_OPENPYXL();
    host.position = {{"10", "0", "0", "179", "59", "997"}, true, {"", ""}};
    refLat = "-10";
    refLon = "-179.99995";
    const std::string file = MenuReport("none_TTFF_COLD_NMEA_Results", ResultsText(fixes));
    ASSERT_TRUE(std::filesystem::exists(file));
    ExpectAccuracy(file, Independent().at("none_TTFF_COLD_NMEA_Results"));
}

}  // namespace
