#include "analysis/writers/excel_charts.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <functional>
#include <vector>

#include "analysis/core/cpu_cores.h"
#include "analysis/core/run_outcome.h"
#include "analysis/core/text_util.h"
#include "platform/workbook/workbook.h"

extern char** environ;

namespace navsift {

static_assert(kSheetRows == workbook::kMaxRows);

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

// The series of `chart` once more over the same columns of a sheet that
// goes on with the table, under the same names.
void ContinueSeries(workbook::Chart& chart, int series, const workbook::Worksheet& next)
{
    const auto columns = [&next](const std::vector<workbook::SheetArea>& refs) {
        std::string text = "=";
        for (const workbook::SheetArea& ref : refs) {
            if (text.size() > 1) {
                text += ',';
            }
            text += workbook::QuoteSheetName(next.Name()) + "!" +
                    workbook::AreaToA1(workbook::Area{1, ref.area.col1, workbook::kMaxRows, ref.area.col2});
        }
        return text;
    };
    for (int k = 1; k <= series; ++k) {
        const workbook::Series& from = chart.SeriesCollection(k);
        if (from.ValuesRef().empty()) {
            continue;
        }
        std::string name = from.Name();
        if (from.NameRef()) {
            name = "=" + workbook::QuoteSheetName(from.NameRef()->sheet) + "!" + workbook::AreaToA1(from.NameRef()->area);
        }
        const std::string values = columns(from.ValuesRef());
        const std::string xvalues = from.XValuesRef().empty() ? std::string() : columns(from.XValuesRef());
        workbook::Series& s = chart.NewSeries();
        s.SetValues(values);
        if (!xvalues.empty()) {
            s.SetXValues(xvalues);
        }
        s.SetName(name);
    }
}

// The column number of letters such as "$AB" or "Q" (0 when none).
int ColumnNumber(std::string_view letters)
{
    int n = 0;
    for (const char c : letters) {
        if (c >= 'A' && c <= 'Z') {
            n = 26 * n + (c - 'A' + 1);
        }
    }
    return n;
}

// The columns a chart's range names, in order ("$A:$A,$Q:$S" gives 1, 17,
// 18 and 19).
std::vector<int> ColumnsOf(const ChartSpec& spec)
{
    std::vector<int> columns;
    std::size_t at = 0;
    while (at <= spec.range.size()) {
        std::size_t end = spec.range.find(',', at);
        end = end == std::string::npos ? spec.range.size() : end;
        const std::string_view area = std::string_view(spec.range).substr(at, end - at);
        const std::size_t colon = area.find(':');
        const int from = ColumnNumber(area.substr(area.rfind('!') == std::string_view::npos ? 0 : area.rfind('!') + 1,
                                                  colon == std::string_view::npos ? area.size() : colon));
        const int to = colon == std::string_view::npos ? from : ColumnNumber(area.substr(colon + 1));
        for (int c = from; c >= 1 && c <= to; ++c) {
            columns.push_back(c);
        }
        at = end + 1;
    }
    return columns;
}

// The columns any of the charts plots, column c at [c - 1].
std::vector<bool> ChartedColumns(const std::vector<ChartSpec>& charts)
{
    std::vector<bool> charted;
    for (const ChartSpec& spec : charts) {
        for (const int c : ColumnsOf(spec)) {
            if (static_cast<std::size_t>(c) > charted.size()) {
                charted.resize(static_cast<std::size_t>(c));
            }
            charted[static_cast<std::size_t>(c) - 1] = true;
        }
    }
    return charted;
}

// What a table lacks for a chart, "" when nothing: given the data sheet,
// the rows that have what the chart plots.
using RowCheck = std::function<std::string(workbook::Worksheet&)>;

int BuildCharts(ChartLog& log, const std::string& path, const std::string& save_name, const char* progress,
                const std::vector<ChartSpec>& charts, int rows_per_sheet, const RowCheck& check = nullptr)
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
        if (check && fs::file_size(path, ec) == 0) {
            run_input_lacks(path, "it is empty");
            return 0;
        }
        workbook::Application excel;
        // Only the charted columns stay in memory; the others are read from
        // the table again as the sheet goes into the file.
        workbook::Workbook& book = excel.OpenCsv(path, rows_per_sheet, ChartedColumns(charts));
        workbook::Worksheet& data = book.ActiveWorksheet();
        if (check) {
            if (const std::string lacks = check(data); !lacks.empty()) {
                run_input_lacks(path, lacks);
                return 0;
            }
        }
        log.Out(stdout, progress);
        // A table longer than a sheet goes on in the next sheets; every
        // chart plots them all.
        std::vector<const workbook::Worksheet*> more;
        for (int k = 2; k <= book.Count(); ++k) {
            more.push_back(&static_cast<const workbook::Worksheet&>(book.Sheets(k)));
        }
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
            const int series = chart.SeriesCount();
            for (const workbook::Worksheet* next : more) {
                ContinueSeries(chart, series, *next);
            }
            chart.SetHasLegend(true);
            chart.SetTitle(spec.title);
            chart.Axes(workbook::xl::Category).SetTitle("Time [s]");
            chart.Axes(workbook::xl::ValueAxis).SetTitle(spec.value_title);
            chart.SetName(spec.name);
        }
        log.Out(stdout, "Saving Workbook...");
        // Nothing reads the workbook after its save: its cells go as soon
        // as the file holds them, leaving the charts' points.
        note_output(save_name);
        book.SaveAsAndClose(save_name);
        excel.Quit();
        run_produced(charts.size());
    } catch (const std::exception& e) {
        log.Out(stdout, "\n");
        log.Out(stderr, "excel: " + path + ": " + e.what() + "\n");
        return 1;
    }
    return 0;
}

std::vector<ChartSpec> SatSpecs(int32_t prn)
{
    return {{"$A:$A,$J:$J", Format("Sat%d CN0", prn), "CN0 [dB]", Format("Sat%d CN0 Chart", prn), "CN0"},
            {"$A:$A,$E:$E", Format("Sat%d Frequency", prn), "Frequency [Hz]", Format("Sat%d Freq Chart", prn),
             "Frequency"}};
}

std::vector<ChartSpec> GlobalInfoSpecs()
{
    return {{"$B:$B,$O:$O", "Speed", "Speed [m/s]", "Speed Chart"},
            {"$B:$B,$P:$P", "NCO", "NCO [Hz]", "NCO Chart"},
            {"$B:$B,$G:$G", "Fix Status", "Fix Status", "Fix Status Chart"},
            {"$B:$B,$Q:$S", "CN0 Average", "CN0 Average [dB]", "CN0 Average"}};
}

int SatCharts(ChartLog& log, int32_t prn, const std::string& path, int rows_per_sheet)
{
    return BuildCharts(log, path, XlsxBeside(path), "Making Charts...", SatSpecs(prn), rows_per_sheet);
}

int GlobalInfoCharts(ChartLog& log, const std::string& path, int rows_per_sheet)
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
    return BuildCharts(log, path, save_name, "Making Charts...", GlobalInfoSpecs(), rows_per_sheet);
}

// What building a table's workbook holds at its peak, estimated from the
// table's size and first lines: the charted columns' cells (16 bytes a cell
// and room to grow; the others are read from the table again as the sheet
// is written), then, once the sheet is in the file, those cells and the
// charts' caches: past the file writer's 65,535 points, 8 bytes a row for
// each charted column (a column shared by several series is cached once),
// else one point per row and series for its X and its Y values (the file
// writer's 40-byte points and the allocator's own 8); besides that the
// engine, the file writer's buffers and the compressor.
std::uintmax_t EstimatedWorkbookBytes(const std::string& table, const std::vector<ChartSpec>& charts)
{
    constexpr std::uintmax_t kLoadCellBytes = 18, kCellBytes = 16, kPointBytes = 48, kLongPointBytes = 8,
                             kBaseBytes = 8u << 20;
    std::uintmax_t points = 0;  // per row
    for (const ChartSpec& spec : charts) {
        const std::size_t columns = ColumnsOf(spec).size();
        // The first column gives the X values of every series.
        points += columns > 1 ? 2 * (columns - 1) : 2;
    }
    const std::vector<bool> charted = ChartedColumns(charts);
    const std::uintmax_t kept = static_cast<std::uintmax_t>(std::count(charted.begin(), charted.end(), true));
    std::error_code ec;
    const std::uintmax_t size = fs::file_size(table, ec);
    if (ec || size == 0) {
        return kBaseBytes;
    }
    // Rows from the first lines; the later lines are no shorter (counters
    // only grow), so the rows are not underestimated.
    std::uintmax_t rows = 1;
    if (std::FILE* f = std::fopen(table.c_str(), "rb")) {
        char head[1 << 16];
        const std::size_t n = std::fread(head, 1, sizeof head, f);
        std::fclose(f);
        const std::string_view text(head, n);
        std::uintmax_t lines = static_cast<std::uintmax_t>(std::count(text.begin(), text.end(), '\n'));
        if (lines == 0 || n == size) {
            lines = std::max<std::uintmax_t>(lines, 1);
            rows = lines;
        } else {
            rows = size * lines / n + 1;
        }
    }
    const std::uintmax_t cache = rows > 0xFFFF ? kept * kLongPointBytes : points * kPointBytes;
    return kBaseBytes + rows * std::max(kept * kLoadCellBytes, kept * kCellBytes + cache);
}

bool WriteAll(int fd, const std::string& data)
{
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

void AppendSize(std::string& out, std::uint64_t n)
{
    out.append(reinterpret_cast<const char*>(&n), sizeof n);
}

bool TakeSize(std::string_view& in, std::uint64_t& n)
{
    if (in.size() < sizeof n) {
        return false;
    }
    std::memcpy(&n, in.data(), sizeof n);
    in.remove_prefix(sizeof n);
    return true;
}

// What a child says back: its status, then each line as stream and text.
std::string Encode(int status, const ChartLog& log)
{
    std::string out;
    AppendSize(out, static_cast<std::uint64_t>(status));
    for (const ChartLog::Line& line : log.lines) {
        AppendSize(out, line.stream == stderr ? 2 : 1);
        AppendSize(out, line.text.size());
        out += line.text;
    }
    return out;
}

bool Decode(std::string_view in, int& status, ChartLog& log)
{
    std::uint64_t s = 0;
    if (!TakeSize(in, s)) {
        return false;
    }
    status = static_cast<int>(s);
    while (!in.empty()) {
        std::uint64_t stream = 0, size = 0;
        if (!TakeSize(in, stream) || !TakeSize(in, size) || size > in.size()) {
            return false;
        }
        log.lines.push_back({stream == 2 ? stderr : stdout, std::string(in.substr(0, size))});
        in.remove_prefix(size);
    }
    return true;
}

// What a child is started with: this word, then the kind of workbook, the
// satellite, the rows a sheet holds and the table.
constexpr const char* kChildWord = "--chart-workbook-child";

// Set when the running program builds a workbook when started with the
// word above (navsift's main says so).
bool g_restartable = false;

int RunJob(const ChartWorkbookJob& job, ChartLog& log)
{
    return job.kind == ChartWorkbookJob::Kind::Satellite ? SatCharts(log, job.prn, job.table, job.rows_per_sheet)
                                                         : GlobalInfoCharts(log, job.table, job.rows_per_sheet);
}

// The file writer keeps state for the whole process (the one buffer of
// gmtime, the seed of its temporary file names, rand), so workbooks built
// side by side are each built in a process of their own: a fresh start of
// the program, never a fork of this one, whose other threads may hold a
// lock (the allocator's, the C library's) that a forked copy would wait on
// for ever. The child only builds and says what it would have printed; a
// child that dies takes only its own workbook with it.
int BuildInChild(const std::string& program, const ChartWorkbookJob& job, ChartLog& log)
{
    const std::string& table = job.table;
    // Both ends close at the start of the program, so no other child keeps
    // this pipe open and its end of file waits for no one else.
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        log.Out(stderr, "excel: " + table + ": cannot start its workbook: " + std::strerror(errno) + "\n");
        return 1;
    }
    const std::vector<std::string> words = {
        program,
        kChildWord,
        job.kind == ChartWorkbookJob::Kind::Satellite ? "satellite" : "global_info",
        std::to_string(job.prn),
        std::to_string(job.rows_per_sheet),
        table};
    std::vector<char*> argv;
    for (const std::string& w : words) {
        argv.push_back(const_cast<char*>(w.c_str()));
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (rc != 0) {
        close(fds[0]);
        log.Out(stderr, "excel: " + table + ": cannot start its workbook: " + std::strerror(rc) + "\n");
        return 1;
    }
    std::string said;
    char buffer[4096];
    for (;;) {
        const ssize_t n = read(fds[0], buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        said.append(buffer, static_cast<std::size_t>(n));
    }
    close(fds[0]);
    int wstatus = 0;
    while (waitpid(pid, &wstatus, 0) < 0 && errno == EINTR) {
    }
    int status = 1;
    ChartLog told;
    if (WIFEXITED(wstatus) && WEXITSTATUS(wstatus) == 0 && Decode(said, status, told)) {
        for (ChartLog::Line& line : told.lines) {
            log.Out(line.stream, std::move(line.text));
        }
        return status;
    }
    if (WIFSIGNALED(wstatus)) {
        log.Out(stderr, "excel: " + table + ": its workbook was not made: the builder stopped on signal " +
                            std::to_string(WTERMSIG(wstatus)) + " (" + strsignal(WTERMSIG(wstatus)) + ")\n");
    } else {
        log.Out(stderr, "excel: " + table + ": its workbook was not made: the builder failed\n");
    }
    return 1;
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
    // The columns of a global_info table on its data sheet, whatever the
    // table's name: B the time, G the fix status, O the speed.
    const RowCheck rows = [](workbook::Worksheet& data) -> std::string {
        const int last = data.UsedRange().First().row2;
        if (last < 2) {
            return "it holds a header line and no row";
        }
        for (int r = 2; r <= last; ++r) {
            if (data.ValueAt(r, 2).IsNumber() && (data.ValueAt(r, 7).IsNumber() || data.ValueAt(r, 15).IsNumber())) {
                return {};
            }
        }
        return "no row under its header holds a number in column B (the time) and in column G (the fix status) or "
               "O (the speed), the global_info columns the chart plots";
    };
    ChartLog log;
    return BuildCharts(log, path, XlsxBeside(path), "Making Chart...",
                       {{"$B:$B,$G:$G,$O:$O", "Speed vs Freq", "Speed [m/s]", "Speed vs Freq"}}, kSheetRows, rows);
}

int excel_sat_charts(int32_t prn, const std::string& path, int rows_per_sheet)
{
    ChartLog log;
    return SatCharts(log, prn, path, rows_per_sheet);
}

int excel_global_info_charts(const std::string& path, int rows_per_sheet)
{
    ChartLog log;
    return GlobalInfoCharts(log, path, rows_per_sheet);
}

bool chart_workbook_child(int argc, char** argv, int& exit_status)
{
    if (argc < 2 || std::strcmp(argv[1], kChildWord) != 0) {
        g_restartable = true;
        return false;
    }
    exit_status = 1;
    if (argc != 6) {
        std::fprintf(stderr, "%s: %s needs the kind, satellite, rows and table\n", argv[0], kChildWord);
        return true;
    }
    ChartWorkbookJob job;
    job.kind = std::strcmp(argv[2], "satellite") == 0 ? ChartWorkbookJob::Kind::Satellite
                                                      : ChartWorkbookJob::Kind::GlobalInfo;
    job.prn = std::atoi(argv[3]);
    job.rows_per_sheet = std::atoi(argv[4]);
    job.table = argv[5];
    ChartLog log;
    log.immediate = false;
    int status = 1;
    try {
        status = RunJob(job, log);
    } catch (const std::exception& ex) {
        log.lines.push_back({stderr, "excel: " + job.table + ": " + ex.what() + "\n"});
    } catch (...) {
        log.lines.push_back({stderr, "excel: " + job.table + ": the workbook failed\n"});
    }
    // What it says goes to the run that started it, which prints it in order.
    exit_status = WriteAll(1, Encode(status, log)) ? 0 : 1;
    return true;
}

std::string ChartWorkbookQueue::BuilderProgram() { return g_restartable ? "/proc/self/exe" : std::string(); }

ChartWorkbookQueue::ChartWorkbookQueue(int workers, std::uintmax_t workbook_bytes, std::string program)
    : workbook_bytes_(workbook_bytes), program_(std::move(program))
{
    // Without a program to start, the workbooks are built here, one after
    // another.
    for (int k = 0; !program_.empty() && k < workers; ++k) {
        workers_.emplace_back([this] { Work(); });
    }
}

ChartWorkbookQueue::~ChartWorkbookQueue()
{
    Finish();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
        changed_.notify_all();
    }
    for (std::thread& t : workers_) {
        t.join();
    }
}

int ChartWorkbookQueue::DefaultWorkers()
{
    // Every core the run may use but one, which its own table writing
    // keeps: the cores of its affinity mask, within its control group's CPU
    // quota. The memory cap bounds them further on a long log.
    return std::clamp(UsableCores() - 1, 1, 7);
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

void ChartWorkbookQueue::Add(ChartWorkbookJob job, std::uintmax_t bytes)
{
    auto e = std::make_shared<Entry>();
    e->log.immediate = false;
    e->job = std::move(job);
    e->bytes = bytes;
    std::unique_lock<std::mutex> lock(mutex_);
    order_.push_back(e);
    if (workers_.empty()) {
        // No worker: built here, in order.
        e->status = RunJob(e->job, e->log);
        e->done = true;
    } else {
        pending_.push_back(std::move(e));
        changed_.notify_all();
    }
    PrintReady(lock);
}

void ChartWorkbookQueue::SatCharts(int32_t prn, const std::string& path)
{
    Add({ChartWorkbookJob::Kind::Satellite, prn, path, kSheetRows}, EstimatedWorkbookBytes(path, SatSpecs(prn)));
}

void ChartWorkbookQueue::GlobalInfoCharts(const std::string& path)
{
    Add({ChartWorkbookJob::Kind::GlobalInfo, 0, path, kSheetRows}, EstimatedWorkbookBytes(path, GlobalInfoSpecs()));
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
    return !pending_.empty() && (busy_ == 0 || busy_bytes_ + pending_.front()->bytes <= workbook_bytes_);
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
        const int status = BuildInChild(program_, e->job, e->log);
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
