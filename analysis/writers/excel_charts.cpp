#include "analysis/writers/excel_charts.h"

#include <algorithm>
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

int BuildCharts(ChartLog& log, const std::string& path, const std::string& save_name, const char* progress,
                const std::vector<ChartSpec>& charts)
{
    if (!IsCsvName(path)) {
        log.Out(stderr, "excel: " + path + ": unsupported workbook format (a .csv table is needed)\n");
        return 1;
    }
    std::error_code ec;
    if (!fs::is_regular_file(path, ec)) {
        log.Out(stderr, "excel: cannot open " + path + "\n");
        return 1;
    }
    try {
        workbook::Application excel;
        workbook::Workbook& book = excel.OpenCsv(path);
        log.Out(stdout, progress);
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
        log.Out(stdout, "Saving Workbook...");
        book.SaveAs(save_name);
        excel.Quit();
    } catch (const std::exception& e) {
        log.Out(stdout, "\n");
        log.Out(stderr, "excel: " + path + ": " + e.what() + "\n");
        return 1;
    }
    return 0;
}

int SatCharts(ChartLog& log, int32_t prn, const std::string& path)
{
    return BuildCharts(log, path, XlsxBeside(path), "Making Charts...",
                       {{"$A:$A,$J:$J", Format("Sat%d CN0", prn), "CN0 [dB]", Format("Sat%d CN0 Chart", prn), "CN0"},
                        {"$A:$A,$E:$E", Format("Sat%d Frequency", prn), "Frequency [Hz]",
                         Format("Sat%d Freq Chart", prn), "Frequency"}});
}

int GlobalInfoCharts(ChartLog& log, const std::string& path)
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
    return BuildCharts(log, path, save_name, "Making Charts...",
                       {{"$B:$B,$O:$O", "Speed", "Speed [m/s]", "Speed Chart"},
                        {"$B:$B,$P:$P", "NCO", "NCO [Hz]", "NCO Chart"},
                        {"$B:$B,$G:$G", "Fix Status", "Fix Status", "Fix Status Chart"},
                        {"$B:$B,$Q:$S", "CN0 Average", "CN0 Average [dB]", "CN0 Average"}});
}

}  // namespace

void ChartLog::Out(std::FILE* stream, std::string text)
{
    if (immediate) {
        std::fputs(text.c_str(), stream);
        std::fflush(stream);
    } else {
        lines.push_back({stream, std::move(text)});
    }
}

void ChartLog::Replay() const
{
    for (const Line& line : lines) {
        std::fputs(line.text.c_str(), line.stream);
    }
    std::fflush(stdout);
}

int excel_chart_from_workbook(const std::string& path)
{
    ChartLog log;
    return BuildCharts(log, path, XlsxBeside(path), "Making Chart...",
                       {{"'global_info'!$B:$B,'global_info'!$G:$G,'global_info'!$O:$O", "Speed vs Freq", "Speed [m/s]",
                         "Speed vs Freq"}});
}

int excel_sat_charts(int32_t prn, const std::string& path)
{
    ChartLog log;
    return SatCharts(log, prn, path);
}

int excel_global_info_charts(const std::string& path)
{
    ChartLog log;
    return GlobalInfoCharts(log, path);
}

ChartWorkbookQueue::ChartWorkbookQueue(int workers, std::uintmax_t table_bytes) : table_bytes_(table_bytes)
{
    for (int k = 0; k < workers; ++k) {
        workers_.emplace_back([this] { Work(); });
    }
}

ChartWorkbookQueue::~ChartWorkbookQueue()
{
    Finish();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    for (std::thread& t : workers_) {
        t.join();
    }
}

int ChartWorkbookQueue::DefaultWorkers()
{
    // Each workbook holds its table while it is built: four keep a day's
    // run within its memory goal.
    const unsigned hw = std::thread::hardware_concurrency();
    return static_cast<int>(std::clamp(hw, 1u, 4u));
}

void ChartWorkbookQueue::Print(std::FILE* stream, std::string text)
{
    auto e = std::make_shared<Entry>();
    e->log.immediate = false;
    e->log.lines.push_back({stream, std::move(text)});
    e->done = true;
    std::unique_lock<std::mutex> lock(mutex_);
    order_.push_back(std::move(e));
    PrintReady(lock);
}

void ChartWorkbookQueue::Add(const std::string& table, std::function<int(ChartLog&)> job)
{
    auto e = std::make_shared<Entry>();
    e->log.immediate = false;
    e->job = std::move(job);
    std::error_code ec;
    const std::uintmax_t size = fs::file_size(table, ec);
    e->bytes = ec ? 0 : size;
    std::unique_lock<std::mutex> lock(mutex_);
    order_.push_back(e);
    if (workers_.empty()) {
        // No worker: built here, in order.
        e->status = e->job(e->log);
        e->done = true;
    } else {
        pending_.push_back(std::move(e));
        changed_.notify_all();
    }
    PrintReady(lock);
}

void ChartWorkbookQueue::SatCharts(int32_t prn, const std::string& path)
{
    Add(path, [prn, path](ChartLog& log) { return navsift::SatCharts(log, prn, path); });
}

void ChartWorkbookQueue::GlobalInfoCharts(const std::string& path)
{
    Add(path, [path](ChartLog& log) { return navsift::GlobalInfoCharts(log, path); });
}

int ChartWorkbookQueue::Finish()
{
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        PrintReady(lock);
        if (order_.empty()) {
            return status_;
        }
        changed_.wait(lock);
    }
}

bool ChartWorkbookQueue::MayStart() const
{
    return !pending_.empty() && (busy_ == 0 || busy_bytes_ + pending_.front()->bytes <= table_bytes_);
}

void ChartWorkbookQueue::Work()
{
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return (stopping_ && pending_.empty()) || MayStart(); });
        if (pending_.empty()) {
            return;
        }
        std::shared_ptr<Entry> e = std::move(pending_.front());
        pending_.pop_front();
        ++busy_;
        busy_bytes_ += e->bytes;
        lock.unlock();
        int status = 1;
        try {
            status = e->job(e->log);
        } catch (const std::exception& ex) {
            e->log.lines.push_back({stderr, std::string("excel: ") + ex.what() + "\n"});
        }
        lock.lock();
        --busy_;
        busy_bytes_ -= e->bytes;
        e->status = status;
        e->done = true;
        changed_.notify_all();
    }
}

// Called with the lock held, by the thread that gives the work or waits for
// it, so that the printing stays on one thread at a time and in order.
void ChartWorkbookQueue::PrintReady(std::unique_lock<std::mutex>&)
{
    while (!order_.empty() && order_.front()->done) {
        const std::shared_ptr<Entry> e = std::move(order_.front());
        order_.pop_front();
        e->log.Replay();
        if (e->status != 0) {
            status_ = 1;
        }
    }
}

}  // namespace navsift
