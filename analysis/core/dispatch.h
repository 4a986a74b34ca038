#pragma once
// One analysis per run: the first whose options are present, in a fixed order
// of precedence.
#include <string>
#include <vector>

#include "analysis/core/options.h"

namespace navsift {

enum class AnalysisId {
    ResultsConversion,
    ExcelChart,
    BinaryConversion,
    TeamReport,
    ReferenceKml,
    RenameLogs,
    MergeSpeedHeading,
    GpxToKml,
    CompareSpeedHeading,
    SpeedHeadingExtraction,
    EphemerisDump,
    KmlFromNmea,
    IodeListing,
    StartupAnalysis,
    TtffAnalysis,
    TrackingAnalysis,
    TimeStepCheck,
    TtffFolderAnalysis,
    LogConversion,
    VisibilityTest,
    SatelliteIndexPage,
    DebugLogTracking,
    MapComparison,
    DebugLogSearch,
};

// The analysis that a command line selects.
AnalysisId select_analysis(const OptionRecord& options);
// Its name as messages show it.
const char* AnalysisName(AnalysisId id);

// The whole program: parse, select, run. Returns the exit status (0 success,
// 1 failure, 2 a usage error).
int run_navsift(const std::vector<std::string>& words);

}  // namespace navsift
