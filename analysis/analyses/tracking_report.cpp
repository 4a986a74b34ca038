#include "analysis/analyses/tracking_report.h"

#include <cstdio>
#include <filesystem>

#include "analysis/core/gps_time.h"
#include "analysis/core/run_outcome.h"
#include "analysis/core/text_util.h"
#include "analysis/writers/latex_report.h"

namespace navsift {

std::string TrackingReportFolder(const std::string& log_folder)
{
    return FolderPrefix(log_folder) + "report/tracking_analysis/";
}

bool MakeFolder(const std::string& folder)
{
    std::error_code ec;
    if (!make_output_folder(folder, ec)) {
        std::fprintf(stderr, "cannot create the folder %s: %s\n", folder.c_str(),
                     ec ? ec.message().c_str() : "a file of that name is in the way");
        return false;
    }
    return true;
}

std::string StampOf(int32_t gps_seconds)
{
    std::string s;
    gps_time_stamp(gps_seconds, s);
    return s;
}

int32_t SecondOfDay(int32_t gps_seconds)
{
    constexpr int32_t kDay = 86400;
    return ((gps_seconds % kDay) + kDay) % kDay;
}

bool TrackingReport::Open(const std::string& report_folder, int main_number, int layout, bool documents)
{
    folder_ = FolderPrefix(report_folder);
    main_number_ = main_number;
    layout_ = layout;
    if (!index_.open_index_page(folder_)) {
        return false;
    }
    if (!open_tracking_report(reports_[main_number_], folder_, main_number_)) {
        return false;
    }
    if (documents) {
        for (int n = 1; n <= 4; ++n) {
            if (reports_.count(n) == 0 && !open_tracking_report(reports_[n], folder_, n)) {
                return false;
            }
        }
    }
    if (!CreateOrReport(script_, folder_ + "satellite_tracking_analysis.m")) {
        return false;
    }
    script_.Write("function satellite_tracking_analysis\r\n");
    return true;
}

bool TrackingReport::AddWindow(const std::string& window_folder, int32_t start, int32_t end, const std::string& note)
{
    bool ok = write_interval_report_page(window_folder, start, end);
    // One figure file per layout that a report draws.
    for (const auto& [number, report] : reports_) {
        const int layout = number == main_number_ ? layout_ : number;
        ok = write_interval_figures(window_folder, start, end, layout) && ok;
    }
    index_.add_index_row(start, end);
    if (!note.empty()) {
        index_.add_index_note(note);
    }
    for (auto& [number, report] : reports_) {
        write_interval_chapter(report, start, end, number == main_number_ ? layout_ : number);
    }
    script_.Printf("tracking_analysis('satdata_from_%s_to_%s/');\r\n", StampOf(start).c_str(), StampOf(end).c_str());
    return ok;
}

bool TrackingReport::Finish()
{
    bool ok = index_.Finish();
    for (auto& [number, report] : reports_) {
        if (report.IsOpen()) {
            report.Write("\\end{document}\r\n");
            ok = CloseOrReport(report) && ok;
        }
    }
    if (script_.IsOpen()) {
        script_.Write("quit\r\n");
        ok = CloseOrReport(script_) && ok;
    }
    return ok;
}

std::string TrackingReport::MainReportName() const
{
    return main_number_ == 0 ? std::string("tracking_analysis_report.tex")
                             : Format("tracking_analysis_report_%d.tex", main_number_);
}

}  // namespace navsift
