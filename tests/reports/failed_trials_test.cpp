// Reports of tests in which some trials, or all of them, ended without a
// fix, from results files written the way the bench writes them: the numbers
// are recomputed here independently, and the saved file is recomputed by
// gnumeric.
#include <algorithm>
#include <cmath>
#include <numbers>

#include "tests/reports/report_bench.h"

namespace {

using namespace reptest;

constexpr double kDeg = std::numbers::pi / 180.0;

struct Position {
    double lat, lon;  // degrees
};

// Degrees of an NMEA ddmm.mmmm text, computed the plain way.
double Degrees(const std::string& nmea) {
    const double v = std::stod(nmea);
    const double d = std::floor(v / 100);
    return d + (v - d * 100) / 60;
}

class FailedTrials : public ReportTest {
protected:
    workbook::Worksheet& ReportOf(const std::string& name, const std::string& text) {
        base = dir.File(name);
        wbtest::WriteFile(base + ".txt", text);
        bench::reports::CreateReportSheet(ctx, base, "COLD");
        bench::reports::ImportResultsFile(ctx, base, "COLD");
        return ctx.Sheet(base, "COLD");
    }
    bool Has(const std::string& sheet) { return Book().FindSheet(sheet) != nullptr; }
    // The two programs may take the mean of the fixes one unit of the last
    // place apart: a few nanometres of error.
    void ExpectSavedFileAgrees(int atLeast) {
        REQUIRE_OPENPYXL();
        const std::string file = Book().FullName();
        EXPECT_EQ(file, base + ".xlsx");
        wbtest::FileView v = wbtest::ReadBack(file, dir.Path().string());
        REQUIRE_SSCONVERT();
        EXPECT_GE(ExpectRecalculationAgrees(v, file, dir.Path().string(), 1e-6), atLeast);
    }
};

TEST_F(FailedTrials, TrialsWithoutAFixHaveNoPositionAndCountAsNoFix) {
    host.maxTtff = 120;
    std::string text;
    std::vector<double> ttffs;
    std::vector<Position> fixes;
    std::vector<int> noFixRows;
    for (int i = 1; i <= 30; ++i) {
        if (i == 5) {
            text += NoFixLine("121", i);  // timed out before any fix
        } else if (i == 12 || i == 23) {
            text += NoFixLine("-1", i);  // the trial failed
        } else {
            Fix f{10 + i * 1.5};
            char lat[32], lon[32];
            std::snprintf(lat, sizeof lat, "4807.%04d", 380 + (i * 13 % 29));
            std::snprintf(lon, sizeof lon, "01131.%04d", 10 + (i * 17 % 31));
            f.lat = lat;
            f.lon = lon;
            text += ResultsLine(f, i);
            ttffs.push_back(f.ttff);
            fixes.push_back({Degrees(lat), Degrees(lon)});
            continue;
        }
        noFixRows.push_back(i + 1);
    }
    workbook::Worksheet& ws = ReportOf("f_COLD_NMEA_Results", text);

    EXPECT_EQ(Num(ws, "U4"), 30);
    EXPECT_NEAR(Num(ws, "U9"), 3.0 / 30 * 100, 1e-12) << "the time-out and both failures are no fix";
    EXPECT_EQ(Num(ws, "U7"), *std::min_element(ttffs.begin(), ttffs.end()));
    double sum = 0;
    for (double t : ttffs) sum += t;
    EXPECT_NEAR(Num(ws, "U5"), sum / ttffs.size(), 1e-9);

    for (int row : noFixRows) {
        SCOPED_TRACE(row);
        for (int col : {3, 4, 6, 15, 16, 26}) EXPECT_TRUE(ws.ValueAt(row, col).IsEmpty()) << "column " << col;
    }

    // The reference is the mean of the 27 fixes, not pulled towards 0, 0.
    Position mean{0, 0};
    for (const Position& p : fixes) mean.lat += p.lat / fixes.size(), mean.lon += p.lon / fixes.size();
    EXPECT_NEAR(Num(ws, "M2"), mean.lat, 1e-9);
    EXPECT_NEAR(Num(ws, "N2"), mean.lon, 1e-9);
    std::vector<double> errors;
    for (const Position& p : fixes) {
        errors.push_back(EarthDistance(p.lat, p.lon, mean.lat, mean.lon));
    }
    const double largest = *std::max_element(errors.begin(), errors.end());
    EXPECT_LT(largest, 100) << "a few metres, not thousands of kilometres";
    EXPECT_NEAR(Num(ws, "Z34"), largest, 1e-6);

    // The CEP curve is the share of the 27 fixes within each radius.
    const int top = static_cast<int>(std::floor(largest + 10));
    std::vector<double> share;
    for (int k = 0; k <= top; ++k) {
        const double in = static_cast<double>(std::count_if(errors.begin(), errors.end(), [&](double e) {
            return e <= k;
        }));
        share.push_back(in / errors.size() * 100);
        EXPECT_NEAR(ws.ValueAt(k + 2, 28).Number(), share.back(), 1e-9) << "radius " << k;
    }
    EXPECT_NEAR(share.back(), 100, 1e-12);
    const double levels[] = {50, 90, 95, 99};
    for (int i = 0; i < 4; ++i) {
        size_t k = 0;
        while (share[k] < levels[i]) ++k;
        const double cep = k == 0 ? 0 : (k - 1) + (levels[i] - share[k - 1]) / (share[k] - share[k - 1]);
        EXPECT_NEAR(ws.ValueAt(10 + i, 21).Number(), cep, 1e-9) << levels[i] << " %";
    }
    EXPECT_TRUE(Has("COLD CEP Chart"));
    EXPECT_TRUE(Has("COLD Position Chart"));
    ExpectSavedFileAgrees(500);
}

TEST_F(FailedTrials, AReceiverThatNeverFixesHasNoPositionAndNoCEP) {
    workbook::Worksheet& ws =
        ReportOf("never_COLD_NMEA_Results", NoFixLine("301", 1) + NoFixLine("301", 2) + NoFixLine("-1", 3));
    EXPECT_EQ(Num(ws, "U4"), 3);
    EXPECT_NEAR(Num(ws, "U9"), 100, 1e-12);
    EXPECT_TRUE(ws.GetRange("AD2").GetValue().IsEmpty());
    for (const char* cell : {"M2", "N2", "O2", "Z2", "U10", "U11", "U12", "U13", "U14"})
        EXPECT_TRUE(ws.GetRange(cell).GetValue().IsEmpty()) << cell << " " << ws.GetRange(cell).GetValue().ToString();
    EXPECT_EQ(ws.GetRange("T10").GetValue().Text(), "CEP 50");
    EXPECT_EQ(ws.GetRange("AA2").GetValue().Text(), "No CEP curve: no trial has a position");
    EXPECT_FALSE(Has("COLD CEP Chart"));
    EXPECT_FALSE(Has("COLD Position Chart"));
    EXPECT_TRUE(Has("COLD CDF Chart"));
    ExpectSavedFileAgrees(5);
}

TEST_F(FailedTrials, IdenticalFixesHaveNoErrorWhicheverProgramComputesTheMean) {
    // The mean of ten copies of this latitude is one unit of the last place
    // off, so the naive errors are about 8e-10 m.
    std::vector<Fix> same;
    for (int i = 0; i < 10; ++i) same.push_back(Fix{20.0 + i, "083015.000", "4807.0383", "01131.0000"});
    workbook::Worksheet& ws = Report("same_COLD_NMEA_Results", same);
    for (int r = 2; r <= 11; ++r) EXPECT_EQ(ws.ValueAt(r, 26).Number(), 0) << "row " << r;
    EXPECT_EQ(Num(ws, "AB2"), 100);
    for (const char* cell : {"U10", "U11", "U12", "U13", "U14"}) EXPECT_EQ(Num(ws, cell), 0) << cell;
    ExpectSavedFileAgrees(100);
}

}  // namespace
