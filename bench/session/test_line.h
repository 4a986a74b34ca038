#pragma once
// One test of the configuration's test list as the line of text the dialog
// edits: fields joined by "," with no quoting, in the order type, scenario,
// type section, scenario section. The dialog keeps lines; the engine reads
// the TestEntry parsed from each line when the record is rebuilt.
// Texts are the record's bytes (Windows-1252); widget code converts.
#include <array>
#include <string>
#include <string_view>

#include "bench/session/config.h"

namespace bench {

// Fields 0..128 of a split line.
constexpr int TestLineFields = 129;
using TestLineFieldArray = std::array<std::string, TestLineFields>;

// The test type keywords in the order the editor offers them.
inline constexpr std::array<std::string_view, 13> TestTypeKeywords = {
    "COLD", "WARM", "HOT", "TRACK24H", "TESTDRIVE", "SYNC_HOT", "SYNC_WARM",
    "SYNC_COLD", "TUNNELREACQUIRE", "SCRIPT", "BAD_POSITION", "BAD_NCO", "REACQUISITION"};

// Scenario numbers of field 1.
enum TestScenario { ScenarioRoof = 0, ScenarioSimulator = 1, ScenarioLabSat = 2 };

constexpr int SimDataFields = 14;
constexpr int SimOptionFields = 3;
constexpr int LabSatDataFields = 6;
constexpr int AcquisitionFields = 5;

// The types whose line carries the acquisition section (trials, delays,
// TTTRK satellites and time, TTFF/TTTRK choice): the seven restart types,
// BAD_NCO and REACQUISITION. A BAD_NCO or REACQUISITION line of the older
// form without it (fewer fields) still parses, its scenario from field 2.
bool HasAcquisitionSection(std::string_view type);
// The three SYNC_ types, whose delays are a UTC second and its increment.
bool IsSyncTestType(std::string_view type);

// Splits at most 128 commas; the rest (less one trailing comma) is the last
// field. An empty line gives every field empty.
TestLineFieldArray SplitTestLine(std::string_view line);

// Parses a line into `entry` (which keeps every field the line does not
// carry). Numbers are the leading decimal number of their field, integers
// rounded halves to even. BenchError(err::Overflow) names the field when a
// number does not fit its integer; `entry` is then unchanged.
void ParseTestLine(std::string_view line, TestEntry& entry);

// What the test editor holds, as typed.
struct TestEditorValues {
    std::string type = "COLD";
    int scenario = ScenarioRoof;
    std::array<std::string, AcquisitionFields> testField{"50", "15", "45", "6", "10"};
    bool ttff = true;                          // TestOption 0 selected, else TestOption 1
    std::string scriptFile;
    std::string almanacsFile;                  // roof antenna almanac file
    std::array<std::string, SimDataFields> simData{"90"};
    std::array<bool, SimOptionFields> simOption{};
    std::array<std::string, LabSatDataFields> labSatData{};
};

// The line the editor's values make.
std::string BuildTestLine(const TestEditorValues& values);

// Why the values cannot become a line, or "" when they can: a "," inside a
// field, a number that does not fit its field.
std::string CheckTestEditorValues(const TestEditorValues& values);

// The line of an entry whose line is lost (a configuration file cut before
// its test lines): parsed again, it gives the entry's values back.
std::string TestLineFromEntry(const TestEntry& entry);

// The editor's values read back from a line, from the same field positions
// as parsing; `base` supplies what the line does not carry.
TestEditorValues EditorValuesFromLine(std::string_view line, const TestEditorValues& base);

}  // namespace bench
