#pragma once
// TTFF and sensitivity logs of the bench joined with their results files:
// for every trial the receiver's state at the fix epoch and 6 and 12 epochs
// later (fix_info), a row for every epoch read (global_info), and the
// satellites the ephemerides say were visible.
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "analysis/analyses/visibility.h"
#include "analysis/core/byte_stream.h"
#include "analysis/core/nmea_epoch.h"
#include "analysis/core/options.h"
#include "analysis/core/out_file.h"

namespace navsift {

// What a log's name says it is. Names are compared case-sensitively, as the
// bench writes them.
enum class LogKind { None, Ttff, Sensitivity, Tracking };
struct LogName {
    LogKind kind = LogKind::None;
    int32_t power_level = 0;  // sensitivity logs
};
// `with_tracking`: the 24-hour tracking log is recognised (and before the
// other kinds), as the plain -nmea analysis does.
LogName classify_log_name(const std::string& name, bool with_tracking);

// The results file name the bench gives the log's trials.
std::string results_name_of(const std::string& log_name, const LogName& kind);
// The listed name that is the results file: the exact name, else the first
// name that contains it. Empty when none.
std::string find_results_file(const std::vector<std::string>& listed, const std::string& results_name);

// "HOT", "WARM" or "COLD" by the log's name; for other tests the test type
// between "_TTFF_" or "_TTTR_" and "_NMEA", else "OTHER".
std::string start_type_of(const std::string& log_name);
// "<log folder>report/ttff_analysis/<type>/" or ".../sensitivity_analysis/...".
std::string output_folder_of(const std::string& log_folder, const LogName& kind, const std::string& start_type);

// The names (without folder) of the three outputs of one pair: the whole
// results name after "global_info_", "fix_info_" and "sat_visibility_", so
// that each file names the device and test of its data; a results name
// without a start-type key gets "_global_info.txt" etc. for its ".txt".
struct PairOutputs {
    std::string global_info, fix_info, visibility;
};
PairOutputs pair_output_names(const std::string& results_name);

// The fix_info line of one trial, built epoch by epoch. The state and the
// CN0 settling it switches on carry over from trial to trial of one log.
class FixInfoWriter {
public:
    explicit FixInfoWriter(OutFile& out, Cn0Settler& settler) : out_(out), settler_(settler) {}

    // Called once per completed epoch `e`, with the time of day of the
    // leading sentence that starts the next epoch and whether that sentence
    // reports a fix. 1 when the trial's line is complete, 0 otherwise, and 2
    // (nothing written) when the leading time has passed the fix time while
    // waiting for it.
    int write_fix_info(int32_t next_sod, bool next_has_fix, int32_t fix_sod, int trial, double ttff, NmeaEpoch& e);

    // The line of a trial that was not analysed: trial and TTFF, zeros, and
    // the fix epoch's GPS second -1 when the fix was not found.
    void WriteZeroLine(int trial, double ttff, bool not_found);
    // Ends a line that the log cut short with zero parts.
    void FinishCutLine();
    // Part of the trial's line is written (its fix epoch was complete).
    bool LineStarted() const { return state_ >= 2; }
    // The fix epoch has been met.
    bool FixReached() const { return state_ >= 1; }
    void Reset() { state_ = 0; }

private:
    OutFile& out_;
    Cn0Settler& settler_;
    int state_ = 0;
    int counter_ = 0;
};

// Joins `results_name` (in `log_folder`) with the log into `out_folder`.
// `visibility` may be null (no RINEX folder). Each trial's fix is looked for
// from the previous trial's fix, and its later epochs end where the next
// trial starts. 0, or 1 when a file cannot be read or made (named on stderr).
int ttff_log_analysis(const std::string& out_folder, const std::string& results_name, const std::string& log_folder,
                      const std::string& log_name, int32_t max_ttff, VisibilityFile* visibility);

// "-nmea FOLDER -ttff" and "-nmea FOLDER". 0, or 1 when a pair failed.
int ttff_folder_analysis(const OptionRecord& options);
int nmea_folder_analysis(const OptionRecord& options);

}  // namespace navsift
