// The points a saved report's charts carry for a viewer that draws from the
// file alone (a preview, a mail client, a library): read from the saved
// chart parts, matched with the cells they name, and checked against what
// is worked out here from the results files.
#include <QAction>

#include <algorithm>
#include <cmath>
#include <map>
#include <set>
#include <sstream>

#include "bench/reports/report_commands.h"
#include "tests/reports/report_bench.h"
#include "tests/reports/saved_charts.h"
#include "tests/session/benchtop_fixture.h"
#include "tests/support/qt_app.h"

namespace {

using namespace reptest;
using platform::Answer;

// "chart sheet/series" -> what the saved file holds.
std::map<std::string, SavedSeries> SavedCaches(const std::string& xlsx, const std::string& dir) {
    return ReadSavedCharts(xlsx, dir).series;
}

double X(const std::pair<std::string, double>& p) { return std::stod(p.first); }

class ChartCaches : public benchtop_test::BenchtopTest {
protected:
    void SetUp() override {
        BenchtopTest::SetUp();
        top = std::make_unique<bench::Benchtop>(factory, nullptr, bench::BenchtopOptions{true});
        top->show();
        top->Reports().SetOpener([](const std::string&) { return true; });
    }
    void RunEntry(const char* name) {
        QAction* entry = top->Entry(name);
        ASSERT_TRUE(entry && entry->isVisible()) << name;
        entry->trigger();
        ASSERT_TRUE(test::WaitFor([&] { return !top->Reports().Busy(); }, 20000));
    }
};

TEST_F(ChartCaches, EveryChartOfATtffReportCarriesThePointsItsCellsCompute) {
    REQUIRE_OPENPYXL();
    // Twelve fixes around a lab, metres north and east of a corner; one
    // TTFF past the 300 s limit.
    const std::vector<double> ttff{31.5, 28.25, 40, 35.75, 52, 33, 29.5, 61, 45.25, 38, 350, 27};
    const double north[] = {0, 1.5, -2, 3.25, 0.5, -1, 4, -3.5, 2, 0.25, -0.75, 1};
    const double east[] = {0, -1, 2.5, 0.75, -3, 1.25, -0.5, 2, -2.25, 3.5, 0.5, -1.75};
    std::vector<Fix> fixes;
    std::vector<std::pair<double, double>> where;  // signed degrees
    for (size_t i = 0; i < ttff.size(); ++i) {
        Fix f{ttff[i], "083015.000", LatNorthOf(north[i])};
        // East of 9°11.4520' by `east` metres at 45.47 N.
        const double lat = 45 + std::stod(f.lat.substr(2)) / 60;
        const double metrePerMinute = EarthDistance(lat, 9.19, lat, 9.19 + 1.0 / 60);
        const double minutes = 11.4520 + east[i] / metrePerMinute;
        char lon[32];
        std::snprintf(lon, sizeof lon, "009%.7f", minutes);
        f.lon = lon;
        where.emplace_back(lat, 9 + minutes / 60);
        fixes.push_back(f);
    }
    const std::string file = home->File("LAB1_TTFF_COLD_NMEA_Results.txt");
    wbtest::WriteFile(file, ResultsText(fixes));
    auto& p = platform::Prompts::Instance();
    p.QueueFileName(file);
    p.QueueAnswer(Answer::No);
    RunEntry("GenerateExcelReport");
    const std::string report = home->File("LAB1_TTFF_COLD_NMEA_Results.xlsx");
    const auto saved = SavedCaches(report, home->Path());
    ASSERT_FALSE(saved.empty());
    for (const auto& [series, s] : saved) {
        SCOPED_TRACE(series);
        EXPECT_EQ(s.differing, 0) << "points that are not what their cells hold";
    }
    const double n = static_cast<double>(ttff.size());
    auto validAtMost = [&](double x) {
        return static_cast<double>(std::count_if(ttff.begin(), ttff.end(), [&](double t) { return t <= 300 && t <= x; }));
    };

    // The samples: east and north of each fix, as far apart as the fixes are.
    const SavedSeries& samples = saved.at("COLD Position Chart/1");
    ASSERT_EQ(samples.points.size(), fixes.size());
    double spread = 0;
    for (size_t i = 0; i < fixes.size(); ++i)
        for (size_t j = i + 1; j < fixes.size(); ++j) {
            const auto& a = samples.points[i];
            const auto& b = samples.points[j];
            const double chart = std::hypot(X(a) - X(b), a.second - b.second);
            const double truth = EarthDistance(where[i].first, where[i].second, where[j].first, where[j].second);
            EXPECT_NEAR(chart, truth, 2e-3) << i << " " << j;
            spread = std::max(spread, chart);
        }
    EXPECT_GT(spread, 5) << "the samples are not all at (0,0)";

    // The CEP 50 and 95 circles: 100 points each on their radius.
    std::vector<double> radii;
    for (const auto& s : samples.points) radii.push_back(std::hypot(X(s), s.second));
    for (const char* circle : {"COLD Position Chart/2", "COLD Position Chart/3"}) {
        SCOPED_TRACE(circle);
        const SavedSeries& c = saved.at(circle);
        ASSERT_EQ(c.points.size(), 100u);
        const double r = std::hypot(X(c.points[0]), c.points[0].second);
        for (const auto& q : c.points) EXPECT_NEAR(std::hypot(X(q), q.second), r, 1e-9 * r);
        const double inside = static_cast<double>(std::count_if(radii.begin(), radii.end(), [&](double d) { return d <= r; }));
        const double share = std::string(circle).back() == '2' ? 0.5 : 0.95;
        EXPECT_GE(inside / n, share - 1 / n) << "radius " << r;
        EXPECT_LE(inside / n, share + 1 / n) << "radius " << r;
    }

    // The CEP curve: the share of fixes within each radius.
    const SavedSeries& cep = saved.at("COLD CEP Chart/1");
    ASSERT_GT(cep.points.size(), 3u);
    for (const auto& q : cep.points) {
        const double within = static_cast<double>(
            std::count_if(radii.begin(), radii.end(), [&](double d) { return d <= X(q) || d < 0.001; }));
        EXPECT_NEAR(q.second, within / n * 100, 1e-9) << "radius " << q.first;
    }
    EXPECT_EQ(cep.points.back().second, 100);

    // The CDF: the share of trials with a valid TTFF at most x.
    const SavedSeries& cdf = saved.at("COLD CDF Chart/1");
    ASSERT_GT(cdf.points.size(), 10u);
    for (const auto& q : cdf.points) EXPECT_NEAR(q.second, validAtMost(X(q)) / n, 1e-12) << "x " << q.first;
    EXPECT_NEAR(cdf.points.back().second, 11 / n, 1e-12);

    // The histogram: per bound "≤B sec", the percentage of trials at most B.
    const SavedSeries& histogram = saved.at("COLD HISTOGRAMM/1");
    ASSERT_FALSE(histogram.points.empty());
    for (const auto& q : histogram.points) {
        const std::string label = q.first;
        ASSERT_EQ(label.rfind("\xE2\x89\xA4", 0), 0u) << label;
        const double bound = std::stod(label.substr(3));
        EXPECT_NEAR(q.second, std::round(validAtMost(bound) / n * 100 * 1000) / 1000, 1e-9) << label;
    }
    EXPECT_GT(histogram.points.back().second, 0);

    // The TTFF chart: each trial's valid TTFF in order.
    const SavedSeries& ttffs = saved.at("COLD TTFF Chart/1");
    std::vector<double> valid;
    for (double t : ttff)
        if (t <= 300) valid.push_back(t);
    ASSERT_EQ(ttffs.points.size(), valid.size());
    for (size_t i = 0; i < valid.size(); ++i) EXPECT_EQ(ttffs.points[i].second, valid[i]);

    // Every series carries its X and Y points, the average line too: from
    // the first trial number to the trial count, at the valid TTFFs' mean.
    for (const auto& [series, s] : saved) {
        EXPECT_NE(s.xCount, "None") << series << " has no X points";
        EXPECT_NE(s.yCount, "None") << series << " has no Y points";
    }
    double sum = 0;
    for (double t : valid) sum += t;
    const SavedSeries& average = saved.at("COLD TTFF Chart/2");
    ASSERT_EQ(average.points.size(), 2u);
    EXPECT_EQ(X(average.points[0]), 1);
    EXPECT_EQ(X(average.points[1]), n);
    for (const auto& q : average.points) EXPECT_NEAR(q.second, sum / static_cast<double>(valid.size()), 1e-12);
}

// The scale of each value axis of a chart sheet, as the saved chart part
// gives it: min, max, major unit, tick label format and whether that format
// is the cells' own ("None" where the file says nothing).
const char* kAxesScript = R"PY(
import sys, re, zipfile, posixpath, html
import xml.etree.ElementTree as ET
z = zipfile.ZipFile(sys.argv[1])
C = '{http://schemas.openxmlformats.org/drawingml/2006/chart}'
def rels(part):
    d, f = posixpath.split(part)
    out = {}
    for tag in re.findall(r'<Relationship [^>]*>', z.read(d + '/_rels/' + f + '.rels').decode()):
        out[re.search(r'Id="([^"]+)"', tag).group(1)] = posixpath.normpath(posixpath.join(d, re.search(r'Target="([^"]+)"', tag).group(1)))
    return out
wbrels = rels('xl/workbook.xml')
for m in re.finditer(r'<sheet [^>]*>', z.read('xl/workbook.xml').decode()):
    tag = m.group(0)
    name = html.unescape(re.search(r'name="([^"]*)"', tag).group(1))
    if name != sys.argv[2]: continue
    part = wbrels[re.search(r'r:id="([^"]+)"', tag).group(1)]
    drawing = [t for t in rels(part).values() if 'drawings/' in t][0]
    chart = [t for t in rels(drawing).values() if 'charts/' in t][0]
    root = ET.fromstring(z.read(chart))
    for ax in root.iter(C + 'valAx'):
        def val(path, attr='val'):
            e = ax.find(path)
            return e.get(attr) if e is not None else 'None'
        print('\t'.join([val(C + 'scaling/' + C + 'min'), val(C + 'scaling/' + C + 'max'), val(C + 'majorUnit'),
                         val(C + 'numFmt', 'formatCode'), val(C + 'numFmt', 'sourceLinked')]))
)PY";

// Six fixes at one spot, as a receiver on a roof antenna gives them: their
// errors differ from 0 by rounding only, and the position chart still shows a
// metre either side in half metres, each tick a whole step labelled to the
// step's decimals (never 2E-10, nor the 0.1999999999992 a viewer adding a
// step up from an unrounded limit reads).
TEST_F(ChartCaches, ThePositionChartsTicksStandAtWholeStepsLabelledToTheStep) {
    REQUIRE_OPENPYXL();
    std::vector<Fix> fixes;
    for (int i = 0; i < 6; ++i) fixes.push_back(Fix{30.0 + i, "083015.000", LatNorthOf(0)});
    const std::string file = home->File("LAB1_TTFF_COLD_NMEA_Results.txt");
    wbtest::WriteFile(file, ResultsText(fixes));
    auto& p = platform::Prompts::Instance();
    p.QueueFileName(file);
    p.QueueAnswer(Answer::No);
    RunEntry("GenerateExcelReport");
    const std::string report = home->File("LAB1_TTFF_COLD_NMEA_Results.xlsx");
    wbtest::WriteFile(home->File("axes.py"), kAxesScript);
    std::string out;
    ASSERT_EQ(wbtest::Run(wbtest::Python() + " " + home->File("axes.py") + " '" + report + "' 'COLD Position Chart'", out), 0);
    std::istringstream in(out);
    int axes = 0;
    for (std::string line; std::getline(in, line); ++axes) {
        SCOPED_TRACE(line);
        std::vector<std::string> f;
        std::stringstream fields(line);
        for (std::string x; std::getline(fields, x, '\t');) f.push_back(x);
        ASSERT_EQ(f.size(), 5u);
        ASSERT_NE(f[2], "None") << "the step is left to the viewer";
        EXPECT_EQ(f[0], "-1.5");
        EXPECT_EQ(f[1], "1.5");
        EXPECT_EQ(f[2], "0.5");
        EXPECT_EQ(f[3], "0.0") << "tick labels to the step's decimals";
        EXPECT_EQ(f[4], "0") << "not the cells' own format";
    }
    EXPECT_EQ(axes, 2) << out;
}

TEST_F(ChartCaches, TheSensitivityChartCarriesOnePointPerLevel) {
    REQUIRE_OPENPYXL();
    const std::vector<double> cold130{31.5, 28.25, 40, 35.75}, cold135{45, 52.5, 48}, cold140{70.25, 66, 81.5, 77};
    auto level = [&](const std::string& name, const std::vector<double>& t) {
        const std::string file = home->File(name);
        wbtest::WriteFile(file, ResultsText(Ttffs(t)));
        return file;
    };
    auto& p = platform::Prompts::Instance();
    p.QueueFileNames({level("S1_TTFF_COLD_NMEA_Results_PW-130.txt", cold130),
                      level("S1_TTFF_COLD_NMEA_Results_PW-135.txt", cold135),
                      level("S1_TTFF_COLD_NMEA_Results_PW-140.txt", cold140)});
    p.QueueText("45");  // COLD's strongest signal
    p.QueueAnswer(Answer::No);
    RunEntry("Sensitivity");
    const auto saved = SavedCaches(home->File("S1TTFF.xlsx"), home->Path());
    ASSERT_EQ(saved.count("COLD/1"), 1u);
    const SavedSeries& s = saved.at("COLD/1");
    EXPECT_EQ(s.differing, 0);
    auto mean = [](const std::vector<double>& t) {
        double sum = 0;
        for (double v : t) sum += v;
        return sum / static_cast<double>(t.size());
    };
    // Weakest first: -140 is 35, -135 is 40, -130 is 45; no point at x = 0.
    ASSERT_EQ(s.points.size(), 3u);
    const double strength[] = {35, 40, 45};
    const double average[] = {mean(cold140), mean(cold135), mean(cold130)};
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(X(s.points[i]), strength[i]);
        EXPECT_NEAR(s.points[i].second, average[i], 1e-9);
    }
}

}  // namespace
