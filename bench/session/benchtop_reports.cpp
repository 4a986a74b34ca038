// The report builders as the main window offers them: the menu command, the
// session-end reports the engine asks for, and what the builders read of the
// window (maximum TTFF, antenna position).
#include "bench/session/benchtop.h"

#include "bench/devices/system_log.h"
#include "bench/session/config.h"
#include "platform/core/paths.h"
#include "platform/ui/prompts.h"

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
    p.hemispheres = typed.hemispheres;
    return p;
}

void Benchtop::KeepAntennaPosition(const AntennaPosition& position) {
    AntennaConfig kept;
    kept.Stored = true;
    kept.Use = position.use ? FlagSet : FlagClear;
    kept.Parts = position.parts;
    kept.Hemispheres = position.hemispheres;
    const std::string file = platform::JoinPath(program_folder_, "Config.dat");
    const AntennaConfig stored = LoadSystemConfig(file).config.Antenna;
    bool typed = position.use;
    for (const std::string& part : position.parts) typed = typed || !part.empty();
    for (const std::string& side : position.hemispheres) typed = typed || !side.empty();
    // An empty dialog where none was kept: nothing to keep, no file made.
    if (!stored.Stored && !typed) return;
    // The dialog's working copy too: its next OK or Save writes it again.
    if (config_dialog_) config_dialog_->SetAntenna(kept);
    state_.ActiveConfig.Antenna = kept;
    if (stored == kept) return;
    const ConfigSaveResult saved = SaveAntennaPosition(file, kept);
    if (!saved.ok) {
        SystemLogWrite(saved.warning + " (SetAntennaCoordinates)");
        platform::Prompts::Instance().Inform(saved.warning, "Antenna Position", platform::Icon::Warning);
    }
}

void Benchtop::ShowStoredAntenna(const SystemConfig& config) {
    // A configuration without one leaves the boxes as they are.
    if (!config.Antenna.Stored) return;
    bench::AntennaPosition p;
    p.parts = config.Antenna.Parts;
    p.hemispheres = config.Antenna.Hemispheres;
    p.use = config.Antenna.Use == FlagSet;
    CoordsWindow().SetPosition(p);
}

}  // namespace bench
