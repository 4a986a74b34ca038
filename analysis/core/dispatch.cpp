#include "analysis/core/dispatch.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "analysis/core/byte_stream.h"
#include "analysis/core/folders.h"
#include "analysis/analyses/binlog_csv.h"
#include "analysis/analyses/debuglog_tracking.h"
#include "analysis/analyses/gpx_export.h"
#include "analysis/analyses/kml_export.h"
#include "analysis/analyses/log_search.h"
#include "analysis/analyses/log_tools.h"
#include "analysis/analyses/map_sizes.h"
#include "analysis/analyses/speed_compare.h"
#include "analysis/analyses/startup_analysis.h"
#include "analysis/analyses/team_report.h"
#include "analysis/analyses/tracking_analysis.h"
#include "analysis/analyses/ttff_analysis.h"
#include "analysis/analyses/vel_extract.h"
#include "analysis/analyses/vel_kml.h"
#include "analysis/analyses/visibility.h"
#include "analysis/core/run_outcome.h"
#include "analysis/core/text_util.h"
#include "analysis/writers/excel_charts.h"
#include "analysis/writers/html_pages.h"
#include "analysis/core/run_outcome.h"

namespace navsift {

namespace {

struct Route {
    AnalysisId id;
    const char* name;
    bool (*selects)(const OptionRecord&);
};

// Precedence: the first route whose condition holds runs.
constexpr Route kRoutes[] = {
    {AnalysisId::ResultsConversion, "result-list conversion (-results)", [](const OptionRecord& o) { return o.results != 0; }},
    {AnalysisId::ExcelChart, "Excel chart (-excel)", [](const OptionRecord& o) { return o.excel != 0; }},
    {AnalysisId::BinaryConversion, "binary debug-log conversion (-binary)", [](const OptionRecord& o) { return o.binary != 0; }},
    {AnalysisId::TeamReport, "team activity report (-csv, -tasks, -swbugs, -support)",
     [](const OptionRecord& o) { return o.csv != 0 || o.tasks != 0 || o.swbugs != 0 || o.support != 0; }},
    {AnalysisId::ReferenceKml, "position KML of a reference file (-p with -kml)",
     [](const OptionRecord& o) { return o.p != 0 && o.kml != 0; }},
    {AnalysisId::RenameLogs, "log renaming (-rename)", [](const OptionRecord& o) { return o.rename != 0; }},
    {AnalysisId::MergeSpeedHeading, "speed and heading merge (-merge)", [](const OptionRecord& o) { return o.merge != 0; }},
    {AnalysisId::GpxToKml, "GPX to KML (-gpx)", [](const OptionRecord& o) { return o.gpx != 0; }},
    {AnalysisId::CompareSpeedHeading, "speed and heading comparison (-compare)", [](const OptionRecord& o) { return o.compare != 0; }},
    {AnalysisId::SpeedHeadingExtraction, "speed and heading extraction (-vel)",
     [](const OptionRecord& o) { return o.vel != 0 && o.nmea == 0; }},
    {AnalysisId::EphemerisDump, "ephemeris dump (-qnveph)", [](const OptionRecord& o) { return o.qnveph != 0; }},
    {AnalysisId::KmlFromNmea, "NMEA to KML export (-kml)", [](const OptionRecord& o) { return o.kml != 0; }},
    {AnalysisId::IodeListing, "IODE listing (-iode)", [](const OptionRecord& o) { return o.iode != 0; }},
    {AnalysisId::StartupAnalysis, "start-up analysis (-nmea -startup)",
     [](const OptionRecord& o) { return o.nmea != 0 && o.startup != 0; }},
    {AnalysisId::TtffAnalysis, "TTFF analysis (-nmea -ttff)", [](const OptionRecord& o) { return o.nmea != 0 && o.ttff != 0; }},
    {AnalysisId::TrackingAnalysis, "tracking analysis (-nmea -trk)", [](const OptionRecord& o) { return o.nmea != 0 && o.trk != 0; }},
    {AnalysisId::TimeStepCheck, "time-step check (-nmea -time)", [](const OptionRecord& o) { return o.nmea != 0 && o.time != 0; }},
    {AnalysisId::TtffFolderAnalysis, "TTFF and sensitivity folder analysis (-nmea)",
     [](const OptionRecord& o) { return o.nmea != 0; }},
    {AnalysisId::LogConversion, "NMEA log conversion (-conv)", [](const OptionRecord& o) { return o.conv != 0; }},
    {AnalysisId::VisibilityTest, "visibility test (-v)", [](const OptionRecord& o) { return o.v != 0; }},
    {AnalysisId::SatelliteIndexPage, "satellite index page (-d or -type with -r)",
     [](const OptionRecord& o) { return o.type != 0 && o.r != 0; }},
    {AnalysisId::DebugLogTracking, "tracking analysis of debug logs (-d or -type)",
     [](const OptionRecord& o) { return o.type != 0; }},
    {AnalysisId::MapComparison, "linker map comparison (-size)", [](const OptionRecord& o) { return o.size != 0; }},
};

int NotAvailable(const char* name)
{
    std::fprintf(stderr, "navsift: the %s is not available in this build\n", name);
    return 1;
}

// The default action: the debug-log search, or with -acq the results folder
// of the log named by the first word.
int DefaultAction(OptionRecord& o)
{
    if (o.n == 0) {
        std::printf("%s ver. %s\n", o.words[0].c_str(), kVersion);
    }
    o.i = 1;
    if (o.l != 0) {
        if (auto arg = o.Arg(o.l)) {
            Scanner(*arg).Int(o.lines_after);
        }
    }
    const std::string& input = o.words[1];
    ByteStream in;
    if (!in.Open(input)) {
        std::fprintf(stderr, "cannot open %s\n", input.c_str());
        return 1;
    }
    if (o.acq != 0) {
        const PathParts parts = SplitPath(input);
        o.results_folder = parts.folder + StripExtension(parts.name) + "_results";
        std::error_code ec;
        if (!make_output_folder(o.results_folder, ec)) {
            std::fprintf(stderr, "cannot create %s: %s\n", o.results_folder.c_str(), ec.message().c_str());
            return 1;
        }
        run_produced();
        return 0;
    }
    return run_log_search(o);
}

std::vector<std::optional<std::string>> MainInputs(AnalysisId id, const OptionRecord& o);

// The files or folders an analysis reads, as the command line names them.
std::vector<std::optional<std::string>> NamedInputs(AnalysisId id, const OptionRecord& o)
{
    std::vector<std::optional<std::string>> inputs = MainInputs(id, o);
    // The RINEX folder, where one is named for an analysis that reads it.
    switch (id) {
    case AnalysisId::IodeListing:
    case AnalysisId::VisibilityTest:
    case AnalysisId::StartupAnalysis:
    case AnalysisId::TtffAnalysis:
    case AnalysisId::TtffFolderAnalysis:
    case AnalysisId::TrackingAnalysis:
    case AnalysisId::DebugLogTracking:
        if (o.e != 0) {
            inputs.push_back(o.e_folder);
        }
        break;
    default: break;
    }
    return inputs;
}

// The files or folders an analysis reads first.
std::vector<std::optional<std::string>> MainInputs(AnalysisId id, const OptionRecord& o)
{
    switch (id) {
    case AnalysisId::KmlFromNmea:
    case AnalysisId::StartupAnalysis:
    case AnalysisId::TtffAnalysis:
    case AnalysisId::TtffFolderAnalysis:
    case AnalysisId::TrackingAnalysis:
    case AnalysisId::TimeStepCheck:
    case AnalysisId::RenameLogs: return {o.Arg(o.nmea)};
    case AnalysisId::SpeedHeadingExtraction: return {o.Arg(o.vel)};
    case AnalysisId::GpxToKml: return {o.Arg(o.gpx)};
    case AnalysisId::CompareSpeedHeading: return {o.Arg(o.compare)};
    case AnalysisId::ReferenceKml: return {o.Arg(o.p)};
    case AnalysisId::LogConversion: return {o.Arg(o.conv)};
    case AnalysisId::ResultsConversion: return {o.Arg(o.results)};
    case AnalysisId::BinaryConversion: return {o.Arg(o.binary)};
    case AnalysisId::MergeSpeedHeading: return {o.Arg(o.heading), o.Arg(o.speed)};
    case AnalysisId::TeamReport:
        // -csv feeds no table.
        return {o.swbugs != 0 ? o.Arg(o.swbugs) : std::nullopt, o.tasks != 0 ? o.Arg(o.tasks) : std::nullopt,
                o.support != 0 ? o.Arg(o.support) : std::nullopt};
    case AnalysisId::MapComparison: return {o.Arg(o.b1), o.Arg(o.b2)};
    case AnalysisId::ExcelChart: return {o.Arg(o.excel)};
    case AnalysisId::DebugLogTracking:
    case AnalysisId::SatelliteIndexPage: return {DebugLogPath(o)};
    default: return {};
    }
}

// An input that is not there is named and nothing is processed: a folder
// that is missing must not end as an empty run that looks like success, nor
// a mistyped log as a walk over its neighbours. An absent argument is left
// to the analysis, which says what it needs.
bool InputMissing(AnalysisId id, const OptionRecord& o)
{
    for (const std::optional<std::string>& input : NamedInputs(id, o)) {
        if (!input || input->empty() || (*input)[0] == '-') {
            continue;
        }
        std::error_code ec;
        if (std::filesystem::exists(*input, ec)) {
            continue;
        }
        if (SplitPath(*input).name.empty()) {
            std::fprintf(stderr, "navsift: the folder %s does not exist\n", input->c_str());
        } else {
            std::fprintf(stderr, "navsift: %s does not exist\n", input->c_str());
        }
        return true;
    }
    return false;
}

// The inputs a run that produced nothing is said to lack: the files and
// folders the analysis reads first.
std::vector<RunOutcome::Input> JudgedInputs(AnalysisId id, const OptionRecord& o)
{
    bool nmea = false;
    switch (id) {
    case AnalysisId::KmlFromNmea:
    case AnalysisId::StartupAnalysis:
    case AnalysisId::TtffAnalysis:
    case AnalysisId::TtffFolderAnalysis:
    case AnalysisId::TrackingAnalysis:
    case AnalysisId::TimeStepCheck:
    case AnalysisId::RenameLogs:
    case AnalysisId::SpeedHeadingExtraction:
    case AnalysisId::ResultsConversion:
    case AnalysisId::LogConversion: nmea = true; break;
    default: break;
    }
    std::vector<RunOutcome::Input> inputs;
    for (const std::optional<std::string>& input : MainInputs(id, o)) {
        if (input && !input->empty()) {
            inputs.push_back({*input, nmea});
        }
    }
    if (id == AnalysisId::DebugLogSearch && o.words.size() > 1) {
        inputs.push_back({o.words[1], false});
    }
    return inputs;
}

int RunAnalysis(AnalysisId id, OptionRecord& options)
{
    switch (id) {
    case AnalysisId::ExcelChart:
        return excel_chart_from_workbook(options.words[options.excel]);
    case AnalysisId::SatelliteIndexPage: {
        const std::optional<std::string> log = DebugLogPath(options);
        if (!log) {
            std::fprintf(stderr, "navsift: name the debug log after -d\n");
            return 2;
        }
        return write_satellite_index_page(*log) ? 0 : 1;
    }
    case AnalysisId::KmlFromNmea:
        return kml_from_nmea(options);
    case AnalysisId::BinaryConversion:
        return binlog_to_csv(options);
    case AnalysisId::TeamReport:
        return team_activity_report(options);
    case AnalysisId::MapComparison:
        return map_size_compare(options);
    case AnalysisId::EphemerisDump:
        return run_ephemeris_dump(options);
    case AnalysisId::IodeListing:
        return run_iode_listing(options);
    case AnalysisId::VisibilityTest:
        return run_visibility_test(options);
    case AnalysisId::SpeedHeadingExtraction:
        return vel_extract(options);
    case AnalysisId::ReferenceKml:
        return positions_kml(options);
    case AnalysisId::MergeSpeedHeading:
        return vel_merge(options);
    case AnalysisId::CompareSpeedHeading:
        return compare_dispatch(options);
    case AnalysisId::GpxToKml:
        return gpx_to_kml(options);
    case AnalysisId::LogConversion:
        return convert_log(options);
    case AnalysisId::RenameLogs:
        return rename_logs(options);
    case AnalysisId::ResultsConversion:
        return results_to_csv(options);
    case AnalysisId::StartupAnalysis:
        return startup_analysis(options);
    case AnalysisId::TtffAnalysis:
        return ttff_folder_analysis(options);
    case AnalysisId::TtffFolderAnalysis:
        return nmea_folder_analysis(options);
    case AnalysisId::TimeStepCheck:
        return check_time_steps(options);
    case AnalysisId::DebugLogTracking:
        return run_debuglog_tracking(options);
    case AnalysisId::TrackingAnalysis:
        return start_tracking_analysis(options);
    case AnalysisId::DebugLogSearch:
        return DefaultAction(options);
    default:
        return NotAvailable(AnalysisName(id));
    }
}

}  // namespace

AnalysisId select_analysis(const OptionRecord& options)
{
    for (const Route& route : kRoutes) {
        if (route.selects(options)) {
            return route.id;
        }
    }
    return AnalysisId::DebugLogSearch;
}

const char* AnalysisName(AnalysisId id)
{
    for (const Route& route : kRoutes) {
        if (route.id == id) {
            return route.name;
        }
    }
    return "debug-log search";
}

int run_navsift(const std::vector<std::string>& words)
{
    // Nothing to run: what can be run, and a status that says nothing was.
    if (words.size() <= 1) {
        print_help();
        return 2;
    }
    if (std::any_of(words.begin() + 1, words.end(), IsVersionWord)) {
        print_version();
        return 0;
    }
    // A command line that only asks for help gets it, and nothing is run.
    if (std::all_of(words.begin() + 1, words.end(), IsHelpWord)) {
        print_help();
        return 0;
    }
    OptionRecord options;
    if (const int status = parse_options(words, options); status != 0) {
        return status;
    }
    const AnalysisId id = select_analysis(options);
    if (InputMissing(id, options)) {
        return 1;
    }
    RunOutcome outcome;
    const int status = RunAnalysis(id, options);
    return outcome.Judge(status, AnalysisName(id), JudgedInputs(id, options));
}

}  // namespace navsift
