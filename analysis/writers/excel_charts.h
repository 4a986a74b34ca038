#pragma once
// Workbooks of XY-scatter charts over the CSV tables the analyses write: the
// CSV is opened as a workbook, one chart sheet is added per chart and the
// result is saved as ".xlsx" beside it.
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace navsift {

// The "-excel" chart of a global_info table (of any name): fix status and
// speed against time, saved as the path with ".xlsx" in place of its last
// four characters. A table without a row to plot is said and gets none.
int excel_chart_from_workbook(const std::string& path);
// The rows a sheet holds; a longer table goes on in the next sheets, and
// its charts plot every one of them.
constexpr int kSheetRows = 1048576;

// CN0 and frequency of one satellite file ("sat07.csv" gives "sat07.xlsx").
int excel_sat_charts(int32_t prn, const std::string& path, int rows_per_sheet = kSheetRows);
// Speed, NCO, fix status and average CN0 of "global_info.csv", saved as
// "<folder>/<folder name>_global_info.xlsx".
int excel_global_info_charts(const std::string& path, int rows_per_sheet = kSheetRows);
//
// Each returns 0, or 1 with a message on stderr when the table cannot be read
// or charted or the workbook cannot be saved; callers that chart many files
// may go on after a failure.

// What a chart workbook says, kept in order: text for stdout or stderr.
struct ChartLog {
    struct Line {
        std::FILE* stream;
        std::string text;
    };
    bool immediate = true;  // print at once instead of keeping
    std::vector<Line> lines;
    void Out(std::FILE* stream, std::string text);
    void Replay() const;
};

// One workbook of a run: which table, charted how.
struct ChartWorkbookJob {
    enum class Kind { Satellite, GlobalInfo };
    Kind kind = Kind::Satellite;
    int32_t prn = 0;  // of a satellite's table
    std::string table;
    int rows_per_sheet = kSheetRows;
};

// navsift's main hands its command line here before anything else. When
// the program was started by a queue below to build one workbook, it builds
// it, writes what it has to say on its standard output for the queue, and
// gives true with the program's exit status. Otherwise it marks the running
// program as one that a queue may start again to build workbooks, and gives
// false.
bool chart_workbook_child(int argc, char** argv, int& exit_status);

// The chart workbooks of one run built side by side by a few workers (each
// workbook has its own engine, file and child process: the program started
// afresh, never a copy of this one, so no lock that another thread held at
// the start is ever inherited). Besides the workers,
// the memory that the workbooks being built at once hold together is bounded
// by an estimate of each one's peak from its table (one always goes, however
// large).
// Texts given to Print and what each workbook says come out in the order
// they were given, as if the workbooks were built one after another.
class ChartWorkbookQueue {
public:
    // `program` is started for each workbook (see chart_workbook_child);
    // without one the workbooks are built in this process, one after
    // another.
    explicit ChartWorkbookQueue(int workers = DefaultWorkers(), std::uintmax_t workbook_bytes = kWorkbookBytes,
                                std::string program = BuilderProgram());
    ~ChartWorkbookQueue();
    ChartWorkbookQueue(const ChartWorkbookQueue&) = delete;
    ChartWorkbookQueue& operator=(const ChartWorkbookQueue&) = delete;

    // The estimated peaks of the workbooks built at once, together: with
    // the run's own memory the whole stays within 300 MiB. Three days' log
    // goes seven satellite workbooks at a time (about 27 MiB each), or its
    // global table's (about 52 MiB) beside six of them.
    static constexpr std::uintmax_t kWorkbookBytes = 280u << 20;
    // Every core the process may run on but one (its affinity mask, within
    // its control group's CPU quota), from 1 to 7.
    static int DefaultWorkers();
    // This program when it builds workbooks on being started again (its
    // main went through chart_workbook_child), else empty.
    static std::string BuilderProgram();
    void Print(std::FILE* stream, std::string text);
    void SatCharts(int32_t prn, const std::string& path);
    void GlobalInfoCharts(const std::string& path);
    // Waits for every workbook and prints what is left; 1 when one failed.
    int Finish();

private:
    struct Entry {
        ChartLog log;
        ChartWorkbookJob job;      // none for plain text
        std::uintmax_t bytes = 0;  // estimated peak of its workbook
        bool done = false;
        int status = 0;
    };
    void Add(ChartWorkbookJob job, std::uintmax_t bytes);
    bool MayStart() const;
    void Work();
    void PrintReady(std::unique_lock<std::mutex>& lock);

    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::shared_ptr<Entry>> order_;    // not yet printed
    std::deque<std::shared_ptr<Entry>> pending_;  // not yet started
    std::vector<std::thread> workers_;
    const std::uintmax_t workbook_bytes_;
    const std::string program_;
    std::uintmax_t busy_bytes_ = 0;  // of the workbooks being built
    int busy_ = 0;
    int status_ = 0;
    bool stopping_ = false;
};

}  // namespace navsift
