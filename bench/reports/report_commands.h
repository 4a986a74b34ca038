#pragma once
// The reports as the bench runs them: the "Generate Excel Report" command
// (a results file picked in a dialog, questions through the prompt service)
// and the reports built at the end of a session for every receiver and test.
// One object per program run owns the report application and the progress
// window.
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "bench/reports/prog_bar.h"
#include "bench/reports/report_app.h"

namespace bench::reports {

// The results files a session wrote for a receiver and a test: base is the
// mapped log folder and device name, the files are
// base_TTFF_<test>_NMEA_Results<suffix>.txt (or TTTR), suffix empty, "_UTC..",
// "_PW.." or "_SatPW..". Sorted by name.
std::vector<std::string> SessionResultsFiles(const std::string& base, const std::string& test);

class ReportCommands {
public:
    ReportCommands(ReportHost& host, std::string programFolder);
    ~ReportCommands();

    ReportContext& Context() { return ctx_; }
    ProgBar& Bar() { return *bar_; }
    // How a finished report is shown on "Yes": the desktop's default
    // application, not waited for. Tests replace it.
    void SetOpener(std::function<bool(const std::string& file)> opener) { opener_ = std::move(opener); }
    // The folder the file dialog opens in.
    void SetDialogFolder(std::string folder) { dialogFolder_ = std::move(folder); }

    // Tool > Excel Reports > "Generate Excel Report". The questions come
    // first; the report itself is built once the progress window has been
    // drawn, from the event loop. Never throws: a failure is shown in a
    // message box and written to the system log.
    void GenerateExcelReport_Click();
    // Tool > Excel Reports > "Sensitivity": the results files of a power-step
    // series, picked together, into one workbook with a sheet per level, the
    // "Resume" summary and a chart per start type. Questions first, then the
    // report from the event loop, as for the report above. Never throws.
    void Sensitivity_Click();
    // A menu report is being built.
    bool Busy() const { return busy_; }

    // The session-end road, per receiver and test in the engine's order.
    // Failures are written to the system log and never stop the next report.
    void BeginSessionReports();
    void SessionCreateReportSheet(const std::string& base, const std::string& test);
    void SessionImportTestResults(const std::string& base, const std::string& test);

private:
    struct Pending {
        std::string base, test, sheet;
        std::vector<std::string> files;
    };
    struct MenuJob {
        std::string base, start;
    };
    struct SensitivityJob;
    std::optional<SensitivityJob> PrepareSensitivity(const std::vector<std::string>& picked);
    void BuildSensitivity(const SensitivityJob& job);
    std::optional<MenuJob> PrepareMenuReport(const std::string& file);
    void BuildMenuReport(const MenuJob& job);
    void MenuFailed(const std::string& base, const char* procedure = "GenerateExcelReport_Click");
    // Why the antenna position to be used is no position ("" when it is one
    // or the mean of the fixes is used): no report is built from it.
    std::string PositionProblem();
    std::string SessionSheetName(const std::string& base, const std::string& test, const std::string& file);
    void SessionSheet(const std::string& base, const std::string& sheet);

    ReportContext ctx_;
    std::unique_ptr<ProgBar> bar_;
    std::function<bool(const std::string&)> opener_;
    std::string dialogFolder_;
    std::optional<Pending> pending_;
    bool busy_ = false;
    // Results files already reported at this session end, by path.
    std::map<std::string, int> used_;
    // The file each reported level came from, by report file and sheet name.
    std::map<std::string, std::string> used_sheets_;
};

}  // namespace bench::reports
