#include "bench/reports/report_commands.h"

#include <QDesktopServices>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <filesystem>

#include "bench/devices/system_log.h"
#include "bench/reports/position_error.h"
#include "bench/reports/results_import.h"
#include "bench/reports/sensitivity.h"
#include "bench/reports/sensitivity_summary.h"
#include "platform/core/error.h"
#include "platform/core/numtext.h"
#include "platform/ui/prompts.h"

namespace bench::reports {

namespace fs = std::filesystem;
using platform::Answer;
using platform::Prompts;

namespace {

constexpr const char* kResultsMark = "_NMEA_Results";
constexpr const char* kCompleted =
    "Test session succesfully competed.Clik \"YES\" to view Excel Report,\"NO\" to close";

// The box that ends a menu report: what the report left out, then the
// question, so that nobody reads "succesfully" without it.
std::string WithNotes(const std::vector<std::string>& notes, const std::string& question) {
    std::string out;
    for (const std::string& n : notes) out += n + "\n\n";
    return out + question;
}
// Long enough for the window manager to show the progress window.
constexpr int kPaintDelayMs = 150;

bool EndsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

bool StartsWith(const std::string& s, const std::string& head) { return s.compare(0, head.size(), head) == 0; }

// The log suffix of a results file name ("" for a plain test).
std::string SuffixOf(const std::string& file) {
    const std::string name = fs::path(file).filename().string();
    const size_t at = name.rfind(kResultsMark);
    if (at == std::string::npos || !EndsWith(name, ".txt")) return "";
    const size_t from = at + std::string(kResultsMark).size();
    return name.substr(from, name.size() - 4 - from);
}

std::string NameOf(const std::string& path) { return fs::path(path).filename().string(); }

// The sheet a results file is reported in: the test and the file's log
// suffix, its levels compared as numbers.
std::string SessionSheetWanted(const std::string& test, const std::string& file) {
    return test + NormalisedSuffix(SuffixOf(file));
}

std::string Names(const std::vector<std::string>& files) {
    std::string out;
    for (const std::string& f : files) out += (out.empty() ? "" : ", ") + NameOf(f);
    return out;
}

}  // namespace

std::vector<std::string> SessionResultsFiles(const std::string& base, const std::string& test) {
    std::vector<std::string> out;
    const fs::path b(base);
    const std::string stem = b.filename().string();
    std::error_code ec;
    fs::directory_iterator it(b.parent_path().empty() ? fs::path(".") : b.parent_path(), ec);
    if (ec) return out;
    for (const fs::directory_entry& e : it) {
        if (!e.is_regular_file(ec)) continue;
        const std::string name = e.path().filename().string();
        for (const char* mode : {"_TTFF_", "_TTTR_"}) {
            const std::string prefix = stem + mode + test + kResultsMark;
            if (!StartsWith(name, prefix) || !EndsWith(name, ".txt")) continue;
            const std::string rest = name.substr(prefix.size(), name.size() - 4 - prefix.size());
            // The companions (_GSA, _T2A ...) share the stem; only the log suffixes follow it here.
            if (rest.empty() || StartsWith(rest, "_UTC") || StartsWith(rest, "_PW") || StartsWith(rest, "_SatPW"))
                out.push_back(e.path().string());
        }
    }
    std::sort(out.begin(), out.end());
    return out;
}

ReportCommands::ReportCommands(ReportHost& host, std::string programFolder)
    : ctx_(host, programFolder), bar_(std::make_unique<ProgBar>()), dialogFolder_(std::move(programFolder)) {
    ctx_.SetProgress(bar_.get());
    opener_ = [](const std::string& file) {
        return QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(file)));
    };
}

ReportCommands::~ReportCommands() = default;

std::string ReportCommands::PositionProblem() {
    const TypedPosition typed = ctx_.Host().AntennaPosition();
    ReadPosition read;
    return typed.use ? ReadTypedPosition(typed, read) : std::string();
}

// ---- the menu road ----------------------------------------------------------

void ReportCommands::GenerateExcelReport_Click() {
    if (busy_) return;
    const std::string file = Prompts::Instance().OpenFileName(
        "Open", dialogFolder_, "NMEA Results (*_NMEA_Results*.txt);;Tutti i files (*.*)");
    if (file.empty()) return;
    std::optional<MenuJob> job;
    try {
        job = PrepareMenuReport(file);
    } catch (...) {
        MenuFailed("");
        return;
    }
    if (!job) return;
    busy_ = true;
    bar_->Show();
    // The window manager maps and paints the progress window before the
    // report takes the GUI thread; unattended there is nothing to paint.
    const int delay = Prompts::Instance().Unattended() ? 0 : kPaintDelayMs;
    QTimer::singleShot(delay, bar_.get(), [this, job = *job] {
        try {
            BuildMenuReport(job);
        } catch (...) {
            MenuFailed(job.base);
        }
        busy_ = false;
    });
}

void ReportCommands::MenuFailed(const std::string& base, const char* procedure) {
    bar_->Hide();
    // The half-built workbook goes, and so does its unfinished file: nothing
    // is left under the report's name for the next attempt to trip over.
    if (ctx_.HasApp() && !base.empty())
        if (workbook::Workbook* wb = ctx_.App().FindWindow(ctx_.ReportFile(base))) wb->Close();
    if (!base.empty()) DiscardUnfinishedReport(ctx_, base);
    ctx_.TakeNotes();
    ErrorReport(procedure);
    // A workbook error says in words what went wrong and with which file;
    // its number is the automation's catch-all and tells the user nothing.
    const PendingError e = ErrorOf(std::current_exception());
    if (e.Number == workbook::kExcelErrorNumber)
        Prompts::Instance().Inform(e.Description, Prompts::kProgramTitle, platform::Icon::Critical);
    else
        ErrorMessageBox();
}

std::optional<ReportCommands::MenuJob> ReportCommands::PrepareMenuReport(const std::string& file) {
    Prompts& prompts = Prompts::Instance();
    if (!EndsWith(platform::UpperCase(file), ".TXT"))
        throw platform::BenchError(platform::err::BadArgument, "Not a results text file: " + file);
    const std::string base = file.substr(0, file.size() - 4);
    const std::string title = NameOf(file);
    // A file without one results line builds nothing and replaces nothing.
    CheckResultsLayout(ctx_.MapPath(file));
    // Checked before anything is touched: a sheet needs a name.
    const std::string start = StartTypeOf(title);
    if (start.empty()) {
        prompts.Inform("The file name holds no start type (COLD, WARM or HOT): " + title, "Generate Excel Report",
                       platform::Icon::Warning);
        return std::nullopt;
    }
    if (const std::string why = PositionProblem(); !why.empty()) {
        prompts.Inform(why + " The report is not built.", "Generate Excel Report", platform::Icon::Warning);
        return std::nullopt;
    }
    const std::string report = ctx_.ReportFile(base);
    std::error_code ec;
    if (fs::exists(report, ec)) {
        if (prompts.Ask("Report ALREADY EXISTS, do you want overwrite it?", platform::Buttons::YesNo, "WARNING!!!",
                        platform::Icon::Warning, Answer::No) != Answer::Yes)
            return std::nullopt;
        // An earlier report of this name still open would be found instead of the new one.
        if (ctx_.HasApp())
            if (workbook::Workbook* old = ctx_.App().FindWindow(report)) old->Close();
        if (!fs::remove(report, ec) || ec)
            throw platform::BenchError(platform::err::FileIo, "Cannot delete " + report +
                                                                  (ec ? ": " + ec.message() : std::string()));
    } else if (ctx_.HasApp()) {
        if (workbook::Workbook* old = ctx_.App().FindWindow(report)) old->Close();
    }
    return MenuJob{base, start};
}

void ReportCommands::BuildMenuReport(const MenuJob& job) {
    Prompts& prompts = Prompts::Instance();
    ctx_.TakeNotes();
    CreateReportSheet(ctx_, job.base, job.start);
    ImportResultsFile(ctx_, job.base, job.start);
    bar_->Hide();

    const std::vector<std::string> notes = ctx_.TakeNotes();
    const Answer view = prompts.Ask(WithNotes(notes, kCompleted), platform::Buttons::YesNo, "Test Session Completed",
                                    notes.empty() ? platform::Icon::Question : platform::Icon::Warning);
    workbook::Workbook& wb = ctx_.Book(job.base);
    if (!wb.Saved()) wb.Save();
    if (view == Answer::Yes) {
        ctx_.App().SetVisible(true);
        if (opener_ && !opener_(wb.FullName()))
            prompts.Inform("No application opens " + wb.FullName(), "Generate Excel Report",
                           platform::Icon::Warning);
    } else {
        wb.Close();
    }
}

// ---- the sensitivity report --------------------------------------------------

struct ReportCommands::SensitivityJob {
    std::string base;
    std::vector<LevelFile> levels;
    std::map<std::string, double> strengths;
    std::vector<std::string> leftOut;  // "<file>: why"
};

namespace {

constexpr const char* kSensitivity = "Sensitivity";

std::string Lines(const std::vector<std::string>& items) {
    std::string out;
    for (const std::string& i : items) out += "\n" + i;
    return out;
}

}  // namespace

void ReportCommands::Sensitivity_Click() {
    if (busy_) return;
    std::vector<std::string> picked = Prompts::Instance().OpenFileNames(
        kSensitivity, dialogFolder_, "Sensitivity NMEA Results (*PW*.txt);;Tutti i files (*.*)");
    if (picked.empty()) return;
    std::optional<SensitivityJob> job;
    try {
        job = PrepareSensitivity(picked);
    } catch (...) {
        MenuFailed("", "Sensitivity_Click");
        return;
    }
    if (!job) return;
    busy_ = true;
    bar_->Show();
    bar_->SetMax(static_cast<float>(job->levels.size()));
    const int delay = Prompts::Instance().Unattended() ? 0 : kPaintDelayMs;
    QTimer::singleShot(delay, bar_.get(), [this, job = std::move(*job)] {
        try {
            BuildSensitivity(job);
        } catch (...) {
            MenuFailed(job.base, "Sensitivity_Click");
        }
        busy_ = false;
    });
}

std::optional<ReportCommands::SensitivityJob> ReportCommands::PrepareSensitivity(
    const std::vector<std::string>& picked) {
    Prompts& prompts = Prompts::Instance();
    if (picked.size() < 3) {
        prompts.Ask("You must select more then 2 files", platform::Buttons::Ok, Prompts::kProgramTitle);
        return std::nullopt;
    }
    // By name: the report does not depend on the order of the clicks.
    std::vector<std::string> files = picked;
    std::sort(files.begin(), files.end());

    SensitivityJob job;
    // One level is one sheet however its number is written; of its files
    // the one named as the bench names it is taken.
    std::vector<LevelFile> parsed;
    std::map<std::string, std::pair<std::string, bool>> chosen;  // sheet -> file title, named as the bench names it
    for (const std::string& f : files) {
        LevelFile l;
        std::string why = ParseLevelFile(f, l);
        if (why.empty()) {
            std::error_code ec;
            if (!fs::exists(ctx_.MapPath(f), ec)) {
                why = "the file is missing (" + f + ")";
            } else {
                try {
                    CheckResultsLayout(ctx_.MapPath(f));
                } catch (const std::exception&) {
                    why = "it holds no TTFF results line";
                }
            }
        }
        if (!why.empty()) {
            job.leftOut.push_back(NameOf(f) + ": " + why);
            continue;
        }
        parsed.push_back(l);
        const bool asNamed = EndsWith(platform::UpperCase(l.title), platform::UpperCase("PW" + l.level + ".txt"));
        const auto it = chosen.find(l.sheet);
        if (it == chosen.end() || (asNamed && !it->second.second)) chosen[l.sheet] = {l.title, asNamed};
    }
    for (const LevelFile& l : parsed) {
        const std::string& title = chosen[l.sheet].first;
        if (title == l.title)
            job.levels.push_back(l);
        else
            job.leftOut.push_back(l.title + ": its level and start type repeat " + title);
    }
    // Files left out of a report that is built are told in the box that
    // ends it; of one that is not, here.
    if (job.levels.empty()) {
        if (!job.leftOut.empty())
            prompts.Inform("These files are left out of the report:" + Lines(job.leftOut), kSensitivity,
                           platform::Icon::Warning);
        return std::nullopt;
    }

    const std::string folder = fs::path(files.front()).parent_path().string();
    job.base = (fs::path(folder) / SensitivityReportName(NameOf(files.front()))).string();
    const std::string report = ctx_.ReportFile(job.base);
    std::error_code ec;
    const bool exists = fs::exists(report, ec);
    if (exists && prompts.Ask("Report ALREADY EXISTS, do you want overwrite it?", platform::Buttons::YesNo,
                              "WARNING!!!", platform::Icon::Warning, Answer::No) != Answer::Yes)
        return std::nullopt;

    // The strongest level's signal strength of every start type, asked before
    // anything is written: a text that is no number builds nothing.
    for (const char* block : kSummaryBlocks) {
        bool present = false;
        for (const LevelFile& l : job.levels) present = present || l.block == block;
        if (!present) continue;
        const std::string typed = platform::Trim(prompts.AskText("MAX Signal Strenght [dB  or dBm]", block));
        if (typed.empty()) return std::nullopt;
        double v = 0;
        if (!platform::TryReadStrict(typed, v)) {
            prompts.Inform("\"" + typed + "\" is not a number: the report is not built.", kSensitivity,
                           platform::Icon::Warning);
            return std::nullopt;
        }
        job.strengths[block] = v;
    }

    if (ctx_.HasApp())
        if (workbook::Workbook* old = ctx_.App().FindWindow(report)) old->Close();
    if (exists && (!fs::remove(report, ec) || ec))
        throw platform::BenchError(platform::err::FileIo,
                                   "Cannot delete " + report + (ec ? ": " + ec.message() : std::string()));
    return job;
}

void ReportCommands::BuildSensitivity(const SensitivityJob& job) {
    Prompts& prompts = Prompts::Instance();
    std::vector<LevelFile> summary;
    std::vector<std::string> noFix;
    ctx_.TakeNotes();
    if (!job.leftOut.empty()) ctx_.AddNote("These files are left out of the report:" + Lines(job.leftOut));
    for (size_t i = 0; i < job.levels.size(); ++i) {
        const LevelFile& l = job.levels[i];
        CreateReportSheet(ctx_, job.base, l.sheet);
        ImportSensitivityResults(ctx_, job.base, l.path, l.sheet);
        // A level without an average has no point in the summary.
        const workbook::Value average = ctx_.Sheet(job.base, l.sheet).GetRange("U5").GetValue();
        if (average.IsNumber())
            summary.push_back(l);
        else
            noFix.push_back(l.title + (TrialsOf(ctx_.Sheet(job.base, l.sheet)) == 1 ? ": one trial only"
                                                                                        : ": no valid fix"));
        bar_->SetValue(static_cast<float>(i + 1));
    }
    bar_->Hide();
    AddReportSheet(ctx_, job.base, "Resume");
    BuildSensitivitySummary(ctx_, job.base, summary, job.strengths);
    PublishReport(ctx_, job.base);
    workbook::Workbook& wb = ctx_.Book(job.base);
    if (!noFix.empty()) ctx_.AddNote("These levels are left out of \"Resume\":" + Lines(noFix));

    const std::vector<std::string> notes = ctx_.TakeNotes();
    const Answer view = prompts.Ask(WithNotes(notes, kCompleted), platform::Buttons::YesNo, "Test Session Completed",
                                    notes.empty() ? platform::Icon::Question : platform::Icon::Warning);
    if (view == Answer::Yes) {
        ctx_.App().SetVisible(true);
        if (opener_ && !opener_(wb.FullName()))
            prompts.Inform("No application opens " + wb.FullName(), kSensitivity, platform::Icon::Warning);
    } else {
        ctx_.QuitApp();
    }
}

// ---- the session-end road ---------------------------------------------------

void ReportCommands::BeginSessionReports() {
    // This road shows no box: what its reports leave out is in the system log.
    ctx_.TakeNotes();
    pending_.reset();
    used_.clear();
    used_sheets_.clear();
}

std::string ReportCommands::SessionSheetName(const std::string& base, const std::string& test,
                                             const std::string& file) {
    const std::string wanted = SessionSheetWanted(test, file);
    workbook::Workbook* wb = ctx_.HasApp() ? ctx_.App().FindWindow(ctx_.ReportFile(base)) : nullptr;
    // The new sheet's number among the worksheets tags it when its name is cut.
    const int number = wb ? WorksheetNumber(*wb, "") : 1;
    const std::string sheet = ShortenedSheetName(wanted, number);
    const std::string stem = ShortenedSheetName(sheet, number, kMaxSheetName - kLongestChartKind);
    if (stem != wanted)
        SystemLogWrite("Report of " + NameOf(ctx_.MapPath(base)) + " " + test + ": the sheets of " + wanted +
                       " are named " + sheet + " and " + stem + " with their kind, " +
                       std::to_string(kMaxSheetName) + " characters at most (ExecuteNextTest)");
    return sheet;
}

void ReportCommands::SessionSheet(const std::string& base, const std::string& sheet) {
    const std::string report = ctx_.ReportFile(base);
    std::error_code ec;
    if (!ctx_.App().FindWindow(report) && fs::exists(report, ec)) {
        SystemLogWrite("Report " + report + " exists from an earlier run and is replaced (ExecuteNextTest)");
        fs::remove(report, ec);
    }
    CreateReportSheet(ctx_, base, sheet);
}

namespace {

// The session's end builds its reports while the windows stay live: their
// files go to disk in the background for as long as the guard lives.
class BackgroundSaves {
public:
    explicit BackgroundSaves(ReportContext& ctx) : ctx_(ctx) { ctx_.SetSavesInBackground(true); }
    ~BackgroundSaves() { ctx_.SetSavesInBackground(false); }
    BackgroundSaves(const BackgroundSaves&) = delete;
    BackgroundSaves& operator=(const BackgroundSaves&) = delete;

private:
    ReportContext& ctx_;
};

}  // namespace

void ReportCommands::SessionCreateReportSheet(const std::string& base, const std::string& test) {
    BackgroundSaves background(ctx_);
    pending_.reset();
    const std::string receiver = NameOf(ctx_.MapPath(base));
    Trapped("CreateReportSheet " + receiver + " " + test, [&] {
        if (const std::string why = PositionProblem(); !why.empty()) {
            SystemLogWrite("Report of " + receiver + " " + test + " not built: " + why + " (ExecuteNextTest)");
            return;
        }
        const std::vector<std::string> files = SessionResultsFiles(ctx_.MapPath(base), test);
        if (files.empty()) {
            SystemLogWrite("Report of " + receiver + " " + test + ": no results file " + ctx_.MapPath(base) +
                           "_TTFF_" + test + kResultsMark + "*.txt (ExecuteNextTest)");
            return;
        }
        std::vector<std::string> fresh, shared;
        for (const std::string& f : files) (used_.count(f) ? shared : fresh).push_back(f);
        // A type listed again writes into the same file: its trials are
        // already reported with the earlier entry.
        if (!shared.empty())
            SystemLogWrite("Report of " + receiver + " " + test + ": this entry shares the results file " +
                           Names(shared) + " with an earlier entry, shown once (ExecuteNextTest)");
        for (const std::string& f : fresh) ++used_[f];
        // One level is one sheet, however its number is written; of its
        // files the one named as the bench names it is reported.
        const std::string report = ctx_.ReportFile(base);
        std::map<std::string, std::string> chosen;
        for (const std::string& f : fresh) {
            const std::string key = report + "|" + platform::UpperCase(SessionSheetWanted(test, f));
            const bool asWritten = SuffixOf(f) == NormalisedSuffix(SuffixOf(f));
            if (used_sheets_.count(key)) continue;
            if (!chosen.count(key) || (asWritten && SuffixOf(chosen[key]) != NormalisedSuffix(SuffixOf(chosen[key]))))
                chosen[key] = f;
        }
        std::vector<std::string> distinct;
        for (const std::string& f : fresh) {
            const std::string key = report + "|" + platform::UpperCase(SessionSheetWanted(test, f));
            if (chosen.count(key) && chosen[key] == f) {
                distinct.push_back(f);
                continue;
            }
            const std::string other = chosen.count(key) ? NameOf(chosen[key]) : used_sheets_[key];
            SystemLogWrite("Report of " + receiver + " " + test + ": " + NameOf(f) + " holds the same level as " +
                           other + " and is left out (ExecuteNextTest)");
        }
        for (const auto& [key, f] : chosen) used_sheets_[key] = NameOf(f);
        fresh = distinct;
        // A file that is no TTFF results file gets a log line, not an empty sheet.
        // So does a file whose name makes no sheet name: it alone is left out.
        std::vector<std::string> readable;
        for (const std::string& f : fresh) {
            const std::string wanted = ShortenedSheetName(SessionSheetWanted(test, f), 1);
            if (const std::string why = workbook::SheetNameProblem(wanted); !why.empty()) {
                SystemLogWrite("Report of " + receiver + " " + test + ": " + NameOf(f) +
                               " is left out, its name gives the sheet name \"" + wanted + "\": " + why +
                               " (ExecuteNextTest)");
                continue;
            }
            if (Trapped("ImportTestResults " + receiver + " " + NameOf(f), [&] { CheckResultsLayout(f); }))
                readable.push_back(f);
        }
        fresh = readable;
        if (fresh.empty()) return;
        const std::string sheet = SessionSheetName(base, test, fresh.front());
        SessionSheet(base, sheet);
        pending_ = Pending{base, test, sheet, fresh};
    });
}

void ReportCommands::SessionImportTestResults(const std::string& base, const std::string& test) {
    if (!pending_ || pending_->base != base || pending_->test != test) return;
    BackgroundSaves background(ctx_);
    const Pending p = *pending_;
    pending_.reset();
    const std::string receiver = NameOf(ctx_.MapPath(base));
    for (size_t i = 0; i < p.files.size(); ++i) {
        const bool built = Trapped("ImportTestResults " + receiver + " " + NameOf(p.files[i]), [&] {
            std::string sheet = p.sheet;
            if (i > 0) {
                sheet = SessionSheetName(base, test, p.files[i]);
                CreateReportSheet(ctx_, base, sheet);
            }
            ImportResultsFrom(ctx_, base, sheet, p.files[i], "Antenna Altitude");
        });
        if (!built) DiscardUnfinishedReport(ctx_, base);
    }
}

}  // namespace bench::reports
