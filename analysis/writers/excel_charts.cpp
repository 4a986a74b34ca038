#include "analysis/writers/excel_charts.h"

#include <cstdio>
#include <exception>
#include <filesystem>
#include <vector>

#include "analysis/core/text_util.h"
#include "platform/workbook/workbook.h"

namespace navsift {

namespace fs = std::filesystem;

namespace {

struct ChartSpec {
    std::string range;
    std::string title;
    std::string value_title;
    std::string name;
    // Tables without a header line: every row is data and the series gets
    // this name.
    const char* series_name = nullptr;
};

// The path less its last four characters, plus ".xlsx".
std::string XlsxBeside(const std::string& path)
{
    return path.substr(0, path.size() < 4 ? 0 : path.size() - 4) + ".xlsx";
}

bool IsCsvName(const std::string& path)
{
    return path.size() > 4 && EqualsNoCase(std::string_view(path).substr(path.size() - 4), ".csv");
}

int BuildCharts(const std::string& path, const std::string& save_name, const char* progress,
                const std::vector<ChartSpec>& charts)
{
    if (!IsCsvName(path)) {
        std::fprintf(stderr, "excel: %s: unsupported workbook format (a .csv table is needed)\n", path.c_str());
        return 1;
    }
    std::error_code ec;
    if (!fs::is_regular_file(path, ec)) {
        std::fprintf(stderr, "excel: cannot open %s\n", path.c_str());
        return 1;
    }
    try {
        workbook::Application excel;
        workbook::Workbook& book = excel.OpenCsv(path);
        std::printf("%s", progress);
        std::fflush(stdout);
        workbook::Worksheet& data = book.ActiveWorksheet();
        for (const ChartSpec& spec : charts) {
            const workbook::Range source = data.GetRange(spec.range);
            workbook::Chart& chart = book.AddChart();
            chart.SetChartType(workbook::ChartType::XYScatter);
            chart.SetSourceData(source, true, spec.series_name == nullptr);
            if (spec.series_name != nullptr) {
                for (int k = 1; k <= chart.SeriesCount(); ++k) {
                    chart.SeriesCollection(k).SetName(spec.series_name);
                }
            }
            chart.SetHasLegend(true);
            chart.SetTitle(spec.title);
            chart.Axes(workbook::xl::Category).SetTitle("Time [s]");
            chart.Axes(workbook::xl::ValueAxis).SetTitle(spec.value_title);
            chart.SetName(spec.name);
        }
        std::printf("Saving Workbook...");
        std::fflush(stdout);
        book.SaveAs(save_name);
        excel.Quit();
    } catch (const std::exception& e) {
        std::printf("\n");
        std::fprintf(stderr, "excel: %s: %s\n", path.c_str(), e.what());
        return 1;
    }
    return 0;
}

}  // namespace

int excel_chart_from_workbook(const std::string& path)
{
    return BuildCharts(path, XlsxBeside(path), "Making Chart...",
                       {{"'global_info'!$B:$B,'global_info'!$G:$G,'global_info'!$O:$O", "Speed vs Freq", "Speed [m/s]",
                         "Speed vs Freq"}});
}

int excel_sat_charts(int32_t prn, const std::string& path)
{
    return BuildCharts(path, XlsxBeside(path), "Making Charts...",
                       {{"$A:$A,$J:$J", Format("Sat%d CN0", prn), "CN0 [dB]", Format("Sat%d CN0 Chart", prn), "CN0"},
                        {"$A:$A,$E:$E", Format("Sat%d Frequency", prn), "Frequency [Hz]",
                         Format("Sat%d Freq Chart", prn), "Frequency"}});
}

int excel_global_info_charts(const std::string& path)
{
    // Named after the folder the table lies in, so the workbooks of several
    // runs can sit side by side.
    std::error_code ec;
    const fs::path absolute = fs::absolute(path, ec);
    const fs::path folder = absolute.parent_path();
    const std::string folder_name = folder.filename().string();
    const std::string name = absolute.filename().string();
    const std::string save_name =
        XlsxBeside((folder / (folder_name.empty() ? name : folder_name + "_" + name)).string());
    return BuildCharts(path, save_name, "Making Charts...",
                       {{"$B:$B,$O:$O", "Speed", "Speed [m/s]", "Speed Chart"},
                        {"$B:$B,$P:$P", "NCO", "NCO [Hz]", "NCO Chart"},
                        {"$B:$B,$G:$G", "Fix Status", "Fix Status", "Fix Status Chart"},
                        {"$B:$B,$Q:$S", "CN0 Average", "CN0 Average [dB]", "CN0 Average"}});
}

}  // namespace navsift
