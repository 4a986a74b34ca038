// Builds and saves a report-sized workbook: 1000 trials with the statistics
// block, the CDF, histogram and CEP tables, the position errors and circles,
// and three charts, reading values back the way the builders do (goal under
// 1 s). Then one satellite's chart workbook of a whole day, 86400 rows of 13
// columns opened from its table, charted and saved in a process of its own
// (goals at most 2 s and 64 MiB at its peak).
#include "analysis/writers/excel_charts.h"
#include "perf/perf_process.h"
#include "platform/workbook/workbook.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>

using namespace workbook;

namespace {

// A whole day of one satellite's table as the tracking analysis writes it.
void WriteSatelliteTable(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    for (int k = 0; k < 86400; ++k)
        std::fprintf(f, "%12d,%12d,%12d,%12d,%12d,%12d,%12d,%12d,%12d,%12.1f,%12d,%12d,%12d\r\n", 898855200 + k, 7,
                     10, 0, -1500 + k % 3000, 0, 0, 0, 0, 30.0 + (k % 200) / 10.0, 15 + k / 3600, k % 360, 1);
    std::fclose(f);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--satellite") return navsift::excel_sat_charts(7, argv[2]) == 0 ? 0 : 1;
    perf::DeclareGoals(2);
    auto t0 = std::chrono::steady_clock::now();
    const int n = 1000;
    Application app;
    Workbook& wb = app.AddWorkbook();
    Worksheet& s = wb.Worksheets(1);
    s.SetName("COLD");
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> ttff(20, 420), dpos(-0.00005, 0.00005);
    for (int i = 0; i < n; ++i) {
        int r = i + 2;
        s.Cells(r, 1).SetValue(std::round(ttff(rng) * 100) / 100);
        s.Cells(r, 2).SetValue(i + 1);
        s.Cells(r, 3).SetText("08:30:15");
        s.Cells(r, 4).SetValue(48.1173 + dpos(rng));
        s.Cells(r, 6).SetValue(11.5166 + dpos(rng));
    }
    std::string last = std::to_string(n + 1);
    s.GetRange("U4").SetValue(n);
    s.GetRange("U5").SetFormula("=AVERAGE( AD2 : AD" + last + ")");
    s.GetRange("U6").SetFormula("=MAX(AD2:AD" + last + ")");
    s.GetRange("U7").SetFormula("=MIN(A2:A" + last + ")");
    s.GetRange("U8").SetFormula("=STDEV(AD2:AD" + last + ")");
    s.GetRange("U9").SetFormula("=COUNTIF(A2:A" + last + ",\">300\")/U4*100");
    s.GetRange("M2").SetFormula("=AVERAGE( D2 : D" + last + ")");
    s.GetRange("N2").SetFormula("=AVERAGE( F2 : F" + last + ")");
    for (int r = 2; r <= n + 1; ++r) {
        std::string R = std::to_string(r);
        s.Cells(r, 15).SetFormula("=(D" + R + " - M2)*6378198.133*(0.0174532925199433)");
        s.Cells(r, 16).SetFormula("=(F" + R + " - N2)*4819709.844*(0.0174532925199433)");
    }
    // Histogram table over the valid TTFF column.
    int k = 2;
    for (int r = 2; r <= n + 1; ++r) {
        double v = s.Cells(r, 1).GetValue().Number();
        if (v <= 300) s.Cells(k++, 30).SetValue(v);
    }
    const int bins[] = {25, 30, 35, 40, 45, 50, 55, 60, 65, 70, 80, 90, 100, 125, 150, 175, 200, 225, 250, 275, 300};
    for (int i = 0; i < 21; ++i) {
        s.Cells(i + 2, 31).SetText("\xE2\x89\xA4" + std::to_string(bins[i]) + " sec");
        s.Cells(i + 2, 32).SetFormula("=COUNTIF(AD2:AD" + last + ",\"<=" + std::to_string(bins[i]) + "  \")/U4*100");
    }
    int kk = 2;
    while (kk <= 22 && s.Cells(kk, 32).GetValue().Number() != 100) ++kk;
    Chart& hist = wb.AddChart();
    hist.SetChartType(ChartType::ColumnClustered);
    hist.SetSourceData(s.GetRange("AE2:AF22"));
    hist.Location(xl::LocationAsNewSheet, "COLD HISTOGRAMM");
    // CDF table, scanned for its first non-zero row.
    int L = static_cast<int>(std::nearbyint(s.GetRange("U6").GetValue().Number() + 10));
    for (int x = 0; x <= L; ++x) {
        s.Cells(x + 2, 24).SetValue(x);
        s.Cells(x + 2, 25).SetFormula("=COUNTIF(AD2:AD" + last + ",\"<=" + std::to_string(x) + "\")/U4");
    }
    int r0 = 2;
    while (r0 <= L + 2 && s.Cells(r0, 25).GetValue().Number() == 0) ++r0;
    Chart& cdf = wb.AddChart();
    cdf.SetChartType(ChartType::XYScatterLines);
    cdf.SetSourceData(s.GetRange("X2:Y" + std::to_string(L + 2)));
    cdf.Location(xl::LocationAsNewSheet, "COLD CDF Chart");
    // Horizontal errors and the CEP curve.
    for (int r = 2; r <= n + 1; ++r) {
        std::string R = std::to_string(r);
        s.Cells(r, 26).SetFormula("=SQRT(POWER(O" + R + ",2)+POWER(P" + R + ",2))");
    }
    s.Cells(n + 4, 26).SetFormula("=MAX(Z2:Z" + last + ")");
    double M = s.Cells(n + 4, 26).GetValue().Number() + 10;
    for (int c = 0; c <= M; ++c) {
        s.Cells(c + 2, 27).SetValue(c);
        s.Cells(c + 2, 28).SetFormula("=COUNTIF(Z2:Z" + last + ",\"<=" + std::to_string(c) + "\")/U4*100");
    }
    for (double level : {50.0, 90.0, 95.0, 99.0}) {
        int r = 2;
        while (s.Cells(r, 28).GetValue().Number() < level) ++r;
    }
    s.GetRange("U10").SetValue(2.5);
    s.GetRange("U12").SetValue(4.5);
    for (int i = 1; i <= 100; ++i) {
        std::string R = std::to_string(i + 1);
        s.Cells(i + 1, 34).SetValue(i / 100.0);
        s.Cells(i + 1, 35).SetFormula("=U10*SIN(2*PI()*AH" + R + ")");
        s.Cells(i + 1, 36).SetFormula("=U10*COS(2*PI()*AH" + R + ")");
        s.Cells(i + 1, 37).SetFormula("=U12*SIN(2*PI()*AH" + R + ")");
        s.Cells(i + 1, 38).SetFormula("=U12*COS(2*PI()*AH" + R + ")");
    }
    Chart& tt = wb.AddChart();
    tt.SetChartType(ChartType::XYScatterLines);
    tt.SetSourceData(s.GetRange("AD2:AD" + last));
    Series& avg = tt.NewSeries();
    avg.SetName("AVERAGE");
    avg.SetXValues("=COLD!R2C2,COLD!R4C21");
    avg.SetValues("=COLD!R5C21,COLD!R5C21");
    tt.Location(xl::LocationAsNewSheet, "COLD TTFF Chart");
    s.GetRange("A:AF").EntireColumn().AutoFit();
    auto t1 = std::chrono::steady_clock::now();

    auto dir = std::filesystem::temp_directory_path() / "perf_workbook";
    std::filesystem::create_directories(dir);
    wb.SaveAs((dir / "report").string());
    auto t2 = std::chrono::steady_clock::now();
    std::filesystem::remove_all(dir);

    auto ms = [](auto a, auto b) { return std::chrono::duration<double, std::milli>(b - a).count(); };
    const bool reportMet = ms(t0, t2) < 1000;
    std::printf("workbook of %d trials, %d sheets: build %.1f ms, save %.1f ms, total %.1f ms (goal < 1000 ms): %s\n", n,
                wb.Count(), ms(t0, t1), ms(t1, t2), ms(t0, t2), perf::Verdict(reportMet));

    std::filesystem::create_directories(dir);
    const std::string table = (dir / "sat07.csv").string();
    WriteSatelliteTable(table);
    const perf::Measured sat = perf::TimedWithPeak(
        {std::filesystem::canonical("/proc/self/exe").string(), "--satellite", table}, "/dev/null", dir);
    std::filesystem::remove_all(dir);
    const bool satMet = sat.seconds >= 0 && sat.seconds <= 2 && sat.peakMiB <= 64;
    std::printf("one satellite workbook, 86400 x 13 cells and two charts: %.2f s, peak %.1f MiB "
                "(goals <= 2 s, <= 64 MiB): %s\n",
                sat.seconds, sat.peakMiB, perf::Verdict(satMet));
    return 0;
}
