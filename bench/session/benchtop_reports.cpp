// The report builders as the main window offers them: the menu command, the
// session-end reports the engine asks for, and what the builders read of the
// window (maximum TTFF, antenna position).
#include "bench/session/benchtop.h"

namespace bench {

void Benchtop::MakeReports() {
    report_link_ = std::make_unique<ReportLink>(*this);
    reports_ = std::make_unique<reports::ReportCommands>(*report_link_, program_folder_);
    services_.reports = report_link_.get();
    windows_.generateExcelReport = [this] { reports_->GenerateExcelReport_Click(); };
    windows_.sensitivity = [this] { reports_->Sensitivity_Click(); };
}

void Benchtop::ReportLink::BeginSessionReports() { top_.reports_->BeginSessionReports(); }

void Benchtop::ReportLink::CreateReportSheet(const std::string& base, const std::string& test) {
    top_.reports_->SessionCreateReportSheet(base, test);
}

void Benchtop::ReportLink::ImportTestResults(const std::string& base, const std::string& test) {
    top_.reports_->SessionImportTestResults(base, test);
}

int16_t Benchtop::ReportLink::MaxAcceptableTTFF() const { return top_.state_.MaxAcceptableTTFF; }

reports::TypedPosition Benchtop::ReportLink::AntennaPosition() const {
    const bench::AntennaPosition typed = top_.CoordsWindow().Position();
    reports::TypedPosition p;
    p.parts = typed.parts;
    p.use = typed.use;
    return p;
}

}  // namespace bench
