// The tracking analysis of a whole day of 1 Hz receiver output (GGA, RMC,
// GSA, three GSV, $PQNVTG; twelve satellites in view, about 30 MB) as a user
// runs it, `navsift -nmea LOG -trk -rtype -1`: its tables, pages and report
// sources (from the start to its first chart workbook's process), against
// the KML export of the same log in the same run; its chart workbooks (from
// there to its end) against a minimal writer of the same workbooks straight
// through libxlsxwriter in the same run, with as many at a time as the run's
// workers; and the whole command on that day and on three days.
// Goals: the tables under 2 s on one core and at most 4 times the KML
// export; the chart workbooks' processor time at most 1.1 times the minimal
// writer's and their wall time at most 1.3 times the minimal writer's; the
// whole command at most 250 MiB at its peak; on three days at most 3.5
// times the day's time and at most 300 MiB (the time grows with the log,
// the memory stays within its bound), on all cores and on three. The chart workbooks are built in
// child processes, so the memory judged is that of the whole run: the peak
// of the summed proportional set size of navsift and its children, sampled
// every 20 ms. The minimal writer's files must declare the same chart
// caches (every point count) as the run's before any time is compared.
// The whole command against its tables alone, and the minimal writer's wall
// time against its processor time, are shown for information.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <xlsxwriter.h>

#include "analysis/writers/excel_charts.h"
#include "perf/minimal_xlsx.h"
#include "perf/nmea_text.h"
#include "perf/perf_process.h"
#include "perf/perf_tree_memory.h"

namespace fs = std::filesystem;

namespace {

// `hours` of log from 2008-06-30 10:00:00 UTC on (GPS week 1486, the
// Monday's seconds from 86400), written to `path`; returns its size in bytes.
size_t WriteLog(const fs::path& path, int hours)
{
    const int sats[12] = {2, 4, 5, 9, 12, 14, 17, 20, 23, 25, 28, 31};
    std::ofstream out(path, std::ios::binary);
    size_t size = 0;
    std::string log;
    for (int k = 0; k < hours * 3600; ++k) {
        const int utc = 36000 + k;
        const int sod = utc % 86400;
        const int day = utc / 86400;  // 0 is June 30, then July
        char hms[32], date[16];
        std::snprintf(hms, sizeof hms, "%02d%02d%02d.00", sod / 3600, (sod / 60) % 60, sod % 60);
        std::snprintf(date, sizeof date, "%02d0%d08", day == 0 ? 30 : day, day == 0 ? 6 : 7);
        log += perf::Sentence(std::string("GPGGA,") + hms + ",4807.0380,N,01131.0000,E,1,08,0.9,545.4,M,46.9,M,,");
        log += perf::Sentence(std::string("GPRMC,") + hms + ",A,4807.0380,N,01131.0000,E,000.0,084.4," + date +
                              ",003.1,W");
        log += perf::Sentence("GPGSA,A,3,02,04,05,09,12,14,17,20,,,,,1.5,0.9,1.2");
        for (int m = 0; m < 3; ++m) {
            std::string body = "GPGSV,3," + std::to_string(m + 1) + ",12";
            for (int j = 0; j < 4; ++j) {
                const int prn = sats[4 * m + j];
                char group[32];
                std::snprintf(group, sizeof group, ",%02d,%02d,%03d,%02d", prn, (prn * 7 + k / 600) % 90,
                              (prn * 31 + k / 240) % 360, 30 + (prn + k / 60) % 20);
                body += group;
            }
            log += perf::Sentence(body);
        }
        const int tow = 86400 + utc + 15;
        log += perf::Sentence("PQNVTG," + std::to_string(1486 + tow / 604800) + "," + std::to_string(tow % 604800) +
                              ".000,0,0,0,12.5");
        if (log.size() > (1u << 20)) {
            out << log;
            size += log.size();
            log.clear();
        }
    }
    out << log;
    return size + log.size();
}


// The day's tables in `report`: global_info.csv first, then every satellite
// table that holds a row, as the run charts them.
std::vector<std::pair<int, fs::path>> ChartedTables(const fs::path& report)
{
    std::vector<std::pair<int, fs::path>> tables = {{0, report / "global_info.csv"}};
    for (int prn = 1; prn <= 32; ++prn) {
        char name[16];
        std::snprintf(name, sizeof name, "sat%02d.csv", prn);
        std::error_code ec;
        if (fs::file_size(report / name, ec) > 0 && !ec) {
            tables.emplace_back(prn, report / name);
        }
    }
    return tables;
}

// One chart sheet of the minimal writer: Y columns against the X column
// (0-based), as the run's workbooks chart them.
struct MinimalChart {
    std::string name, title, value_title;
    int x;
    std::vector<int> ys;
    const char* series_name = nullptr;  // else the header line names the series
};

// The same workbook as the run's, straight through libxlsxwriter: the table
// as a sheet of numbers (the header line as texts) written row by row, then
// chart sheets whose series run over the table's rows, with the points of
// their caches given from the numbers read, as the file writer needs them
// once the sheet is written; a cache of more points than the file writer
// counts goes into the file once it is saved.
bool MinimalWorkbook(const fs::path& table, const fs::path& xlsx, const std::vector<MinimalChart>& charts,
                     bool header)
{
    std::FILE* in = std::fopen(table.c_str(), "rb");
    if (in == nullptr) {
        return false;
    }
    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;
    lxw_workbook* wb = workbook_new_opt(xlsx.c_str(), &options);
    if (wb == nullptr) {
        std::fclose(in);
        return false;
    }
    const std::string sheet = table.stem().string();
    lxw_worksheet* ws = workbook_add_worksheet(wb, sheet.c_str());
    // The charted columns' numbers and names, kept for the caches.
    std::vector<std::vector<double>> kept(20);
    std::vector<std::string> names(20);
    std::vector<bool> charted(20, false);
    for (const MinimalChart& spec : charts) {
        charted[static_cast<size_t>(spec.x)] = true;
        for (const int y : spec.ys) {
            charted[static_cast<size_t>(y)] = true;
        }
    }
    lxw_row_t row = 0;
    char line[4096];
    while (std::fgets(line, sizeof line, in) != nullptr) {
        lxw_col_t col = 0;
        for (char* p = line; *p != '\0' && *p != '\r' && *p != '\n'; ++col) {
            char* end = std::strpbrk(p, ",\r\n");
            const char stop = end == nullptr ? '\0' : *end;
            if (end != nullptr) {
                *end = '\0';
            }
            const bool keep = col < charted.size() && charted[col];
            if (header && row == 0) {
                worksheet_write_string(ws, row, col, p, nullptr);
                if (keep) {
                    names[col] = p;
                }
            } else {
                const double x = std::strtod(p, nullptr);
                worksheet_write_number(ws, row, col, x, nullptr);
                if (keep) {
                    kept[col].push_back(x);
                }
            }
            if (end == nullptr || stop != ',') {
                break;
            }
            p = end + 1;
        }
        ++row;
    }
    std::fclose(in);
    perf::LongCaches long_caches;
    const auto fill = [&](lxw_series_range* range, const std::vector<double>* numbers, const std::string* text) {
        perf::CachePoint p;
        if (numbers == nullptr) {
            p = {perf::CachePoint::Text, 0, *text};
            perf::FillCache(range, 1, [&](size_t) -> const perf::CachePoint& { return p; }, long_caches);
            return;
        }
        perf::FillCache(range, numbers->size(), [&](size_t k) -> const perf::CachePoint& {
            p = {perf::CachePoint::Number, (*numbers)[k], {}};
            return p;
        }, long_caches);
    };
    const lxw_row_t first = header ? 1 : 0, last = row > 0 ? row - 1 : 0;
    for (const MinimalChart& spec : charts) {
        lxw_chart* chart = workbook_add_chart(wb, LXW_CHART_SCATTER);
        for (const int y : spec.ys) {
            lxw_chart_series* series = chart_add_series(chart, nullptr, nullptr);
            chart_series_set_categories(series, sheet.c_str(), first, static_cast<lxw_col_t>(spec.x), last,
                                        static_cast<lxw_col_t>(spec.x));
            chart_series_set_values(series, sheet.c_str(), first, static_cast<lxw_col_t>(y), last,
                                    static_cast<lxw_col_t>(y));
            fill(series->categories, &kept[static_cast<size_t>(spec.x)], nullptr);
            fill(series->values, &kept[static_cast<size_t>(y)], nullptr);
            if (spec.series_name == nullptr) {
                chart_series_set_name_range(series, sheet.c_str(), 0, static_cast<lxw_col_t>(y));
                fill(series->title.range, nullptr, &names[static_cast<size_t>(y)]);
            } else {
                chart_series_set_name(series, spec.series_name);
            }
        }
        chart_title_set_name(chart, spec.title.c_str());
        chart_axis_set_name(chart->x_axis, "Time [s]");
        chart_axis_set_name(chart->y_axis, spec.value_title.c_str());
        lxw_chartsheet* chart_sheet = workbook_add_chartsheet(wb, spec.name.c_str());
        chartsheet_set_chart(chart_sheet, chart);
    }
    return workbook_close(wb) == LXW_NO_ERROR && perf::AddLongCaches(xlsx.string(), long_caches);
}

// One workbook of the minimal writer.
bool MinimalWorkbookOf(int prn, const fs::path& table, const fs::path& out)
{
    const fs::path xlsx = out / (table.stem().string() + ".xlsx");
    if (prn == 0) {
        return MinimalWorkbook(table, xlsx,
                               {{"Speed Chart", "Speed", "Speed [m/s]", 1, {14}},
                                {"NCO Chart", "NCO", "NCO [Hz]", 1, {15}},
                                {"Fix Status Chart", "Fix Status", "Fix Status", 1, {6}},
                                {"CN0 Average", "CN0 Average", "CN0 Average [dB]", 1, {16, 17, 18}}},
                               true);
    }
    const std::string p = std::to_string(prn);
    return MinimalWorkbook(
        table, xlsx,
        {{"Sat" + p + " CN0 Chart", "Sat" + p + " CN0", "CN0 [dB]", 0, {9}, "CN0"},
         {"Sat" + p + " Freq Chart", "Sat" + p + " Frequency", "Frequency [Hz]", 0, {4}, "Frequency"}},
        false);
}

// The child of the minimal writer: every workbook of `report` into `out`,
// each in a process of its own, `workers` at a time, as the run builds
// its own: so that both meet the same contention for the processors.
int MinimalWriter(const fs::path& report, const fs::path& out, int workers)
{
    const auto tables = ChartedTables(report);
    size_t next = 0;
    int running = 0, failed = 0;
    while (next < tables.size() || running > 0) {
        if (next < tables.size() && running < std::max(1, workers)) {
            const auto& [prn, table] = tables[next++];
            const pid_t pid = fork();
            if (pid == 0) {
                _exit(MinimalWorkbookOf(prn, table, out) ? 0 : 1);
            }
            if (pid < 0) {
                ++failed;
            } else {
                ++running;
            }
            continue;
        }
        int status = 0;
        if (wait(&status) < 0) {
            break;
        }
        --running;
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            ++failed;
        }
    }
    if (failed > 0) {
        std::fprintf(stderr, "the minimal writer failed on %d workbooks\n", failed);
        return 1;
    }
    return 0;
}

// One day's run and its minimal writer's run, side by side.
struct DayRun {
    perf::TreeMeasured run;
    perf::Measured minimal;
    std::vector<uint64_t> run_counts, minimal_counts;  // the chart caches declared
    int workbooks = 0;
    bool Ran() const { return run.seconds > 0 && run.firstChild.seconds > 0 && minimal.seconds > 0; }
    double Tables() const { return run.firstChild.seconds; }
    double ChartWall() const { return run.seconds - run.firstChild.seconds; }
    double ChartCpu() const { return run.cpuSeconds - run.firstChild.cpuSeconds; }
};

// The counts every chart workbook of `folder` declares, workbook by
// workbook in name order.
std::vector<uint64_t> CountsOf(const fs::path& folder)
{
    std::vector<fs::path> books;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(folder, ec)) {
        if (e.path().extension() == ".xlsx") {
            books.push_back(e.path());
        }
    }
    std::sort(books.begin(), books.end(), [](const fs::path& a, const fs::path& b) {
        // The run names its global workbook after the folder.
        auto key = [](const fs::path& p) {
            const std::string n = p.filename().string();
            return n.find("global_info") != std::string::npos ? std::string("global_info") : n;
        };
        return key(a) < key(b);
    });
    std::vector<uint64_t> all;
    for (const fs::path& b : books) {
        const std::vector<uint64_t> c = perf::DeclaredCounts(b.string());
        all.push_back(c.size());  // how many caches, then each count
        all.insert(all.end(), c.begin(), c.end());
    }
    return all;
}

DayRun RunDay(const fs::path& dir, const fs::path& log, int workers)
{
    DayRun d;
    fs::remove_all(dir / "report");
    const std::vector<std::string> trk = {perf::NavsiftPath(), "-nmea", log.string(), "-trk", "-rtype", "-1"};
    d.run = perf::TimedWithTreePeak(trk, "/dev/null", dir, "/dev/null");
    const fs::path report = dir / "report" / "tracking_analysis";
    d.workbooks = static_cast<int>(ChartedTables(report).size());
    d.run_counts = CountsOf(report);
    const fs::path minimal = dir / "minimal";
    fs::remove_all(minimal);
    fs::create_directories(minimal);
    d.minimal = perf::TimedWithPeak({fs::canonical("/proc/self/exe").string(), "--minimal", report.string(),
                                     minimal.string(), std::to_string(std::min(workers, d.workbooks))},
                                    "/dev/null", {}, dir / "minimal.txt");
    d.minimal_counts = CountsOf(minimal);
    fs::remove_all(minimal);
    return d;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 5 && std::string(argv[1]) == "--minimal") {
        return MinimalWriter(argv[2], argv[3], std::atoi(argv[4]));
    }
    perf::DeclareGoals(9);
    const fs::path dir = perf::MakeTempDir("perf_tracking");
    if (dir.empty()) {
        return 1;
    }
    const fs::path log = dir / "TRACK24H_NMEA.txt";
    std::printf("log: 86400 epochs, 12 satellites, %.1f MB\n", WriteLog(log, 24) / 1048576.0);
    // The workers the run gives its chart workbooks: this process has its
    // cores, so it asks the run's own rule (a figure only; the run decides).
    const int workers = navsift::ChartWorkbookQueue::DefaultWorkers();
    // The day twice, each followed by its minimal writer: the faster of
    // each figure is taken, the larger of each peak.
    DayRun day[2];
    for (DayRun& d : day) {
        d = RunDay(dir, log, workers);
    }
    fs::remove_all(dir / "report");
    double kml = 1e9;
    for (int k = 0; k < 2; ++k) {
        const std::vector<std::string> export_kml = {perf::NavsiftPath(), "-nmea", log.string(), "-kml", "-name", "x"};
        const double s = perf::Timed(export_kml, "/dev/null", dir, "/dev/null");
        kml = s < 0 ? s : std::min(kml, s);
    }
    const fs::path long_log = dir / "TRACK72H_NMEA.txt";
    const size_t long_size = WriteLog(long_log, 72);
    const std::vector<std::string> trk72 = {perf::NavsiftPath(), "-nmea", long_log.string(), "-trk", "-rtype", "-1"};
    const perf::TreeMeasured three_days = perf::TimedWithTreePeak(trk72, "/dev/null", dir, "/dev/null");
    // The day and three days again on three cores: the run's workers follow
    // its affinity, so the time must still follow the log there.
    std::vector<std::string> trk24_on3 = {"taskset", "-c", "0-2", perf::NavsiftPath(), "-nmea", log.string(), "-trk",
                                          "-rtype", "-1"};
    std::vector<std::string> trk72_on3 = trk72;
    trk72_on3.insert(trk72_on3.begin(), {"taskset", "-c", "0-2"});
    fs::remove_all(dir / "report");
    const perf::TreeMeasured day_on3 = perf::TimedWithTreePeak(trk24_on3, "/dev/null", dir, "/dev/null");
    fs::remove_all(dir / "report");
    const perf::TreeMeasured three_days_on3 = perf::TimedWithTreePeak(trk72_on3, "/dev/null", dir, "/dev/null");
    fs::remove(log);
    fs::remove(long_log);

    const bool ran = day[0].Ran() && day[1].Ran();
    auto best = [&](auto figure) { return std::min(figure(day[0]), figure(day[1])); };
    const double tables = ran ? best([](const DayRun& d) { return d.Tables(); }) : -1;
    const double tables_cpu = ran ? best([](const DayRun& d) { return d.run.firstChild.cpuSeconds; }) : -1;
    const double whole = ran ? best([](const DayRun& d) { return d.run.seconds; }) : -1;
    const double chart_wall = ran ? best([](const DayRun& d) { return d.ChartWall(); }) : -1;
    const double chart_cpu = ran ? best([](const DayRun& d) { return d.ChartCpu(); }) : -1;
    const double minimal_wall = ran ? best([](const DayRun& d) { return d.minimal.seconds; }) : -1;
    const double minimal_cpu = ran ? best([](const DayRun& d) { return d.minimal.cpuSeconds; }) : -1;
    const double peak = std::max(day[0].run.treePeakMiB, day[1].run.treePeakMiB);
    const int given = std::min(workers, day[0].workbooks);
    // Times of two writers compare only when they wrote the same charts.
    const bool same_counts = ran && !day[0].run_counts.empty() && day[0].run_counts == day[0].minimal_counts &&
                             day[1].run_counts == day[1].minimal_counts;

    const bool fast = ran && tables < 2;
    const bool near_kml = ran && kml > 0 && tables / kml <= 4;
    const bool charts_judged = same_counts && given > 0;
    const double cpu_ratio = charts_judged ? chart_cpu / minimal_cpu : 0;
    const double wall_ratio = charts_judged ? chart_wall / minimal_wall : 0;
    const bool charts_peak = ran && peak <= 250;
    const bool long_peak = three_days.seconds > 0 && three_days.treePeakMiB <= 300;
    const bool long_ratio = three_days.seconds > 0 && ran && three_days.seconds <= 3.5 * whole;
    const bool on3_ran = day_on3.seconds > 0 && three_days_on3.seconds > 0;
    const bool on3_peak = on3_ran && three_days_on3.treePeakMiB <= 300;
    const bool on3_ratio = on3_ran && three_days_on3.seconds <= 3.5 * day_on3.seconds;
    std::printf("navsift -nmea LOG -trk -rtype -1, up to its first chart workbook (tables, pages and report "
                "sources): %.2f s, %.2f s of processor time (goal < 2 s): %s\n",
                tables, tables_cpu, perf::Verdict(fast));
    std::printf("navsift -nmea LOG -kml:                               %.2f s\n", kml);
    std::printf("ratio to the KML export:                              %.2f (goal <= 4): %s\n",
                kml > 0 ? tables / kml : 0.0, perf::Verdict(near_kml));
    std::printf("the day's %d chart workbooks, %d at a time (%u cores in the machine):\n", day[0].workbooks, given,
                std::thread::hardware_concurrency());
    std::printf("  in the run, from its first chart workbook to its end: %.2f s, %.2f s of processor time\n",
                chart_wall, chart_cpu);
    std::printf("  minimal writer through libxlsxwriter, as many at a time: %.2f s, %.2f s of processor time\n",
                minimal_wall, minimal_cpu);
    std::printf("  chart caches declared: %zu counts in the run's files, %s in the minimal writer's\n",
                day[0].run_counts.size(), same_counts ? "the same" : "OTHER COUNTS");
    std::printf("  processor time to the minimal writer's:             %.2f (goal <= 1.1): %s\n", cpu_ratio,
                perf::Verdict(charts_judged && cpu_ratio <= 1.1));
    std::printf("  wall time to the minimal writer's:                  %.2f (goal <= 1.3): %s\n", wall_ratio,
                perf::Verdict(charts_judged && wall_ratio <= 1.3));
    std::printf("  the minimal writer's wall time to its processor time / %d (information): %.2f\n", given,
                ran && given > 0 ? minimal_wall / (minimal_cpu / given) : 0.0);
    std::printf("navsift -nmea LOG -trk -rtype -1 with chart workbooks: %.2f s\n", whole);
    std::printf("  ratio to its tables (information):                  %.2f\n", ran ? whole / tables : 0.0);
    std::printf("  peak memory of the run (summed PSS, %d processes at most): %.0f MiB (goal <= 250 MiB): %s\n",
                std::max(day[0].run.mostProcesses, day[1].run.mostProcesses), peak, perf::Verdict(charts_peak));
    std::printf("  largest single process's peak RSS:                  %.0f MiB\n",
                std::max(day[0].run.processPeakMiB, day[1].run.processPeakMiB));
    std::printf("the same on 72 hours of log (%.1f MB):                 %.2f s\n", long_size / 1048576.0,
                three_days.seconds);
    std::printf("  peak memory of the run (summed PSS, %d processes at most): %.0f MiB (goal <= 300 MiB): %s\n",
                three_days.mostProcesses, three_days.treePeakMiB, perf::Verdict(long_peak));
    std::printf("  largest single process's peak RSS:                  %.0f MiB\n", three_days.processPeakMiB);
    std::printf("  ratio to the day's time:                            %.2f (goal <= 3.5): %s\n",
                ran ? three_days.seconds / whole : 0.0, perf::Verdict(long_ratio));
    std::printf("on 3 cores (taskset -c 0-2), the day:                  %.2f s\n", day_on3.seconds);
    std::printf("  and 72 hours:                                       %.2f s\n", three_days_on3.seconds);
    std::printf("  peak memory of the 72 hours (summed PSS, %d processes at most): %.0f MiB (goal <= 300 MiB): %s\n",
                three_days_on3.mostProcesses, three_days_on3.treePeakMiB, perf::Verdict(on3_peak));
    std::printf("  ratio to the day's time:                            %.2f (goal <= 3.5): %s\n",
                on3_ran ? three_days_on3.seconds / day_on3.seconds : 0.0, perf::Verdict(on3_ratio));
    std::error_code ec;
    fs::remove_all(dir, ec);
    return 0;
}
