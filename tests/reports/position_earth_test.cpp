// Position errors wherever the bench stands: on the equator and the prime
// meridian, across 180 degrees, next to the pole, in the southern
// hemisphere, and against a typed reference in the south-west. The saved
// report is read back with openpyxl and set against distances that an
// independent program computes from the results files through
// earth-centred coordinates, and gnumeric recomputes it.
#include <cmath>
#include <fstream>
#include <map>
#include <numbers>
#include <sstream>

#include "tests/reports/fixes_near.h"
#include "tests/reports/report_bench.h"

namespace {

using namespace reptest;
namespace xl = workbook::xl;

constexpr double kDeg = std::numbers::pi / 180;

// The independent side: reads each results file, turns every fix into
// earth-centred coordinates (WGS 84), takes the mean point (or the given
// reference) back to the ellipsoid by iteration, and prints the straight
// distance of each fix from it, the reference, the largest distance and the
// CEP radii of whole-metre shares interpolated as the report defines them.
const char* kTruth = R"PY(
import sys, math
a = 6378137.0; e2 = 6.69437999014e-3
def ecef(lat, lon):
    p, l = math.radians(lat), math.radians(lon)
    n = a / math.sqrt(1 - e2 * math.sin(p) ** 2)
    return (n * math.cos(p) * math.cos(l), n * math.cos(p) * math.sin(l), n * (1 - e2) * math.sin(p))
def geodetic(x, y, z):
    lon = math.atan2(y, x); r = math.hypot(x, y); lat = math.atan2(z, r)
    for _ in range(10):
        n = a / math.sqrt(1 - e2 * math.sin(lat) ** 2)
        lat = math.atan2(z + e2 * n * math.sin(lat), r)
    return math.degrees(lat), math.degrees(lon)
def deg(v, letter):
    d = int(float(v) // 100); x = d + (float(v) - 100 * d) / 60
    return -x if letter in 'SW' else x
args = sys.argv[1:]
while args:
    sheet, path, rlat, rlon = args[:4]; args = args[4:]
    fixes = []
    for line in open(path, encoding='ascii'):
        f = line.rstrip('\r\n').split('\t')
        if len(f) < 3 or not f[2].startswith('$'): continue
        g = f[2].split(',')
        fixes.append(ecef(deg(g[2], g[3]), deg(g[4], g[5])))
    if rlat == 'mean':
        m = [sum(c) / len(fixes) for c in zip(*fixes)]
        lat0, lon0 = geodetic(*m)
    else:
        lat0, lon0 = float(rlat), float(rlon)
    r = ecef(lat0, lon0)
    ds = [math.dist(p, r) for p in fixes]
    for i, d in enumerate(ds): print('ROW\t%s\t%d\t%r' % (sheet, i + 2, d))
    top = int(max(ds)) + 10
    share = [100.0 * sum(1 for d in ds if d <= k) / len(ds) for k in range(top + 1)]
    ceps = []
    for level in (50, 90, 95, 99):
        k = next(k for k in range(top + 1) if share[k] >= level)
        ceps.append(0.0 if k == 0 else k - 1 + (level - share[k - 1]) / (share[k] - share[k - 1]))
    print('SHEET\t%s\t%r\t%r\t%r\t%s' % (sheet, lat0, lon0, max(ds), '\t'.join(repr(c) for c in ceps)))
)PY";

struct Truth {
    double lat = 0, lon = 0, largest = 0;
    double cep[4] = {};
    std::map<int, double> rows;
};

class EarthPositions : public ReportTest {
protected:
    struct Case {
        std::string sheet;
        std::vector<Fix> fixes;
        std::string refLat = "mean", refLon = "mean";  // or the typed reference, signed degrees
    };

    void Build(const std::vector<Case>& cases) {
        for (const Case& c : cases) {
            Report("earth_NMEA_Results", c.fixes, c.sheet);
            const std::string copy = dir.File(c.sheet + ".txt");
            wbtest::WriteFile(copy, ResultsText(c.fixes));
            truthArgs += " '" + c.sheet + "' '" + copy + "' " + c.refLat + " " + c.refLon;
        }
    }

    std::map<std::string, Truth> Independent() {
        wbtest::WriteFile(dir.File("truth.py"), kTruth);
        std::string out;
        EXPECT_EQ(wbtest::Run(wbtest::Python() + " " + dir.File("truth.py") + truthArgs, out), 0) << out;
        std::map<std::string, Truth> t;
        std::istringstream in(out);
        std::string line;
        while (std::getline(in, line)) {
            std::istringstream ls(line);
            std::string kind, sheet;
            std::getline(ls, kind, '\t');
            std::getline(ls, sheet, '\t');
            if (kind == "ROW") {
                int row;
                double d;
                ls >> row >> d;
                t[sheet].rows[row] = d;
            } else if (kind == "SHEET") {
                Truth& x = t[sheet];
                ls >> x.lat >> x.lon >> x.largest >> x.cep[0] >> x.cep[1] >> x.cep[2] >> x.cep[3];
            }
        }
        return t;
    }

    std::string truthArgs;
};

TEST_F(EarthPositions, ErrorsAndCepAgreeWithEarthCentredDistancesAnywhere) {
    REQUIRE_OPENPYXL();
    // A lab on 0 degrees of longitude next to the equator, fixes on both sides of each.
    std::vector<Case> cases{{"EQUATOR", Scatter(0.00001, -0.00001, 24, 7)},
                            // Half of the fixes east of 180 degrees, half west, about 21 m apart.
                            {"DATELINE", Scatter(19.4, 180.0, 20, 11)},
                            // 30 fixes within 8.6 m of each other, 11 m from the pole.
                            {"POLE", Scatter(89.9999, 30, 30, 4.3)},
                            {"SOUTH", Scatter(-33.9, 18.42, 30, 6)}};
    Build(cases);
    // A typed reference has no hemisphere: it takes the side of the fixes.
    host.position = {{"34", "36", "0000", "58", "22", "8000"}, true, {}};
    Build({{"TYPED", Scatter(-34.6, -58.38, 20, 5), std::to_string(-34.6), std::to_string(-58.38)}});

    for (const char* s : {"EQUATOR", "DATELINE", "POLE", "SOUTH", "TYPED"}) {
        workbook::Chart& c = ChartOn(std::string(s) + " Position Chart");
        // Metres around the reference, not thousands of kilometres.
        EXPECT_LE(c.Axes(xl::Category).MaximumScale(), 30) << s;
        EXPECT_GE(c.Axes(xl::Category).MinimumScale(), -30) << s;
    }

    const std::string file = Book().FullName();
    const std::string d = dir.Path().string();
    wbtest::FileView v = wbtest::ReadBack(file, d);
    std::map<std::string, Truth> truth = Independent();
    ASSERT_EQ(truth.size(), 5u);
    for (const auto& [sheet, t] : truth) {
        SCOPED_TRACE(sheet);
        auto cached = [&](const std::string& a1) { return wbtest::AsDouble(v.cached[sheet + "!" + a1]); };
        EXPECT_NEAR(cached("M2"), t.lat, 1e-7);
        EXPECT_NEAR(std::remainder(cached("N2") - t.lon, 360.0), 0, sheet == "POLE" ? 1e-2 : 1e-7);
        ASSERT_FALSE(t.rows.empty());
        double largest = 0;
        for (const auto& [row, dist] : t.rows) {
            const std::string r = std::to_string(row);
            EXPECT_NEAR(cached("Z" + r), dist, 0.01) << "row " << row;
            EXPECT_NEAR(std::hypot(cached("O" + r), cached("P" + r)), dist, 0.01) << "row " << row;
            largest = std::max(largest, cached("Z" + r));
        }
        EXPECT_NEAR(largest, t.largest, 0.01);
        for (int i = 0; i < 4; ++i)
            EXPECT_NEAR(cached("U" + std::to_string(10 + i)), t.cep[i], 0.01) << "CEP row U" << 10 + i;
    }

    REQUIRE_SSCONVERT();
    EXPECT_GT(ExpectRecalculationAgrees(v, file, d, 1e-6), 2000) << "errors, references and curves all compared";
}

}  // namespace
