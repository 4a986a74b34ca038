#include "analysis/analyses/ttff_analysis.h"

#include <cstdarg>
#include <cstdio>
#include <filesystem>
#include <map>

#include "analysis/analyses/tracking_analysis.h"
#include "analysis/analyses/tracking_tables.h"
#include "analysis/core/folders.h"
#include "analysis/core/nmea_reader.h"
#include "analysis/core/run_outcome.h"
#include "analysis/core/text_util.h"

namespace navsift {

namespace {

constexpr const char* kStartKeys[] = {"HOT_NMEA", "WARM_NMEA", "COLD_NMEA"};
constexpr const char* kStartTypes[] = {"HOT", "WARM", "COLD"};

bool Contains(std::string_view text, std::string_view part)
{
    return text.find(part) != std::string_view::npos;
}

struct ResultsLine {
    bool has_ttff = false;
    double ttff = 0;
    bool has_fix_time = false;
    int32_t fix_sod = 0;
};

// The TTFF that leads the line and the time of the GGA sentence after it.
ResultsLine ParseResultsLine(std::string_view line)
{
    ResultsLine r;
    r.has_ttff = Scanner(line).Real(r.ttff);
    const std::size_t dollar = line.find('$');
    if (dollar == std::string_view::npos) {
        return r;
    }
    const std::size_t gga = line.find("GGA,", dollar);
    if (gga == std::string_view::npos) {
        return r;
    }
    std::string_view field = line.substr(gga + 4);
    field = field.substr(0, field.find_first_of(",*\r\n"));
    r.has_fix_time = field_time_of_day(field, r.fix_sod);
    return r;
}

// The twelve columns of one epoch in fix_info. A blank goes before every
// column: a southern latitude or a longitude of 100 degrees and more fills
// its width, and a reader that splits at blanks must still get every value.
void AppendEpochColumns(std::string& out, const NmeaEpoch& e)
{
    AppendFormat(out, " %12d %10.6lf %10.6lf %10.3lf %10d %10d %10d %10d %10d %10.3lf %10.3lf %10.3lf", e.tg_gps_time, e.latitude,
                 e.longitude, e.height, e.fix_quality, e.gsa_mode, e.sats_used, e.sats_in_view, e.sats_visible,
                 e.pdop, e.hdop, e.vdop);
}

std::string ZeroEpochColumns(int32_t gps_second = 0)
{
    return Format(" %12d %10.6lf %10.6lf %10.3lf %10d %10d %10d %10d %10d %10.3lf %10.3lf %10.3lf", gps_second, 0.0, 0.0, 0.0, 0, 0,
                  0, 0, 0, 0.0, 0.0, 0.0);
}

// The last part of a line that was not analysed: zeros, and the mean CN0
// column as a full line has it.
std::string ZeroLastPart()
{
    return ZeroEpochColumns() + Format(" %10.3lf\r\n", 0.0);
}

// Waiting for a trial's fix epoch, at the leading sentence of the next
// epoch: 1 when that epoch is the fix epoch, 2 when its time has passed the
// fix time (within half a day, so that a log crossing midnight still counts
// forward), 0 to read on.
int FixEpochCheck(int32_t next_sod, bool next_has_fix, int32_t fix_sod)
{
    if (next_sod < 0) {
        return 0;  // no time in the sentence: neither the fix nor past it
    }
    // Two epochs can share a second (a restart's epoch right after the
    // last one): the fix epoch is the one that reports the fix.
    if (next_sod == fix_sod && next_has_fix) {
        return 1;
    }
    const int32_t ahead = ((next_sod - fix_sod) % 86400 + 86400) % 86400;
    return ahead >= 1 && ahead < 43200 ? 2 : 0;
}

// Whether the GGA in `f` reports a fix, as the GGA parser judges it (a
// position off the earth is none).
bool GgaFix(const NmeaFields& f)
{
    NmeaEpoch gga;
    parse_gga(f, gga);
    return gga.fix_quality != 0;
}

// The time of day of a leading sentence and whether its epoch reports a fix.
// An epoch led by its RMC takes the judgement of its GGA, read ahead in
// `log` (which is left where it stood); without one, the RMC's status.
void LeadingTime(SentenceCode code, const NmeaFields& f, ByteStream& log, int32_t& sod, bool& fix)
{
    sod = -1;
    field_time_of_day(f[1], sod);
    if (code == kGGA) {
        fix = GgaFix(f);
        return;
    }
    fix = f[2] == "A";
    const int64_t from = log.Tell();
    std::string sentence;
    NmeaFields next;
    while (!log.AtEnd()) {
        read_nmea_sentence(log, sentence);
        if (nmea_tokenize(sentence, next) != 0) {
            continue;
        }
        const SentenceCode c = nmea_classify(next);
        if (c == kGGA) {
            fix = GgaFix(next);
            break;
        }
        if (c == kRMC) {
            break;
        }
    }
    log.Seek(from);
}

enum class TrialEnd { Done, NotFound, LogEnded, NextTrial };

// Whether `sod` has reached `mark`, counting forward within half a day so
// that a log crossing midnight still counts on.
bool Reached(int32_t sod, int32_t mark)
{
    return ((sod - mark) % 86400 + 86400) % 86400 < 43200;
}

struct LogReader {
    ByteStream& log;
    bool rmc_leads;
    NmeaEpoch& e;
    Cn0Settler& settler;
    OutFile& global_info;
    VisibilityFile* visibility;
    FixInfoWriter& fix_info;
    // Each trial's fix is looked for from the fix epoch of the trial before
    // it, so the epochs from there on are read again: each one's row and
    // visibility are written once, its count of visible satellites kept.
    int64_t written_upto = 0;
    int32_t gga_count_written = 0;  // the rows' count of GGA sentences read
    int off_the_earth = 0;  // rows whose GGA gave a position off the earth
    std::map<int64_t, int> visible_at;

    // The completed epoch (begun at `begin`, ended at `end`): its
    // visibility, settled CN0 and global_info row.
    void EndEpoch(int64_t begin, int64_t end)
    {
        if (begin < written_upto) {
            const auto known = visible_at.find(begin);
            e.sats_visible = known != visible_at.end() ? known->second : 0;
            e.gga_count = gga_count_written;  // its GGA was counted the first time
            return;
        }
        if (visibility != nullptr) {
            ElevationMarks marks;
            // At the epoch's "$PQNVTG" time, else at its RMC's.
            e.sats_visible = visibility->sat_visibility(e, marks);
        }
        visible_at[begin] = e.sats_visible;
        if (e.Has(kHasGGA) && e.gga_position_refused) {
            ++off_the_earth;
        }
        settler.cn0_stabilise_all(e);
        write_global_info_txt(global_info, true, e);
        written_upto = end;
        gga_count_written = e.gga_count;
    }

    // Whether the trial's fix epoch lies ahead in the log, looked for the
    // way `ReadTrial` meets it; the log is left where it stands, so that a
    // results line whose fix is not in the log (a wrong clock, a line out of
    // order) does not use up the epochs of the trials after it.
    bool FixAhead(int32_t fix_sod)
    {
        const int64_t from = log.Tell();
        bool gga_read = false;
        int found = 0;
        std::string sentence;
        NmeaFields f;
        while (found == 0 && !log.AtEnd()) {
            read_nmea_sentence(log, sentence);
            if (nmea_tokenize(sentence, f) != 0) {
                continue;
            }
            const SentenceCode code = nmea_classify(f);
            const bool leading = rmc_leads ? code == kRMC : code == kGGA;
            if (leading && gga_read) {
                int32_t next_sod = -1;
                bool next_fix = false;
                LeadingTime(code, f, log, next_sod, next_fix);
                found = FixEpochCheck(next_sod, next_fix, fix_sod);
            }
            gga_read = gga_read || code == kGGA;
        }
        log.Seek(from);
        return found == 1;
    }

    // Whether the log, from where it stands, holds a GGA of `fix_sod` that
    // reports a fix at a position off the earth, which the GGA parser takes
    // as no fix; the log is left where it stood.
    bool FixOffTheEarth(int32_t fix_sod)
    {
        const int64_t from = log.Tell();
        bool refused = false;
        std::string sentence;
        NmeaFields f;
        while (!refused && !log.AtEnd()) {
            read_nmea_sentence(log, sentence);
            int32_t sod = -1;
            if (nmea_tokenize(sentence, f) != 0 || nmea_classify(f) != kGGA || !field_time_of_day(f[1], sod) ||
                sod != fix_sod) {
                continue;
            }
            NmeaEpoch gga;
            parse_gga(f, gga);
            refused = gga.gga_position_refused;
        }
        log.Seek(from);
        return refused;
    }

    // Reads epochs until the trial's fix_info line is complete, the fix time
    // has been passed, the next trial has started (at second of day
    // `next_start`, -1 when unknown) or the log ends. `fix_at` is where the
    // fix epoch begins, once it is met.
    TrialEnd ReadTrial(int trial, double ttff, int32_t fix_sod, int32_t next_start, int64_t& fix_at)
    {
        QnvTimeCheck time_check;
        bool gga_read = false;
        int64_t begin = log.Tell();
        std::string sentence;
        NmeaFields f;
        while (!log.AtEnd()) {
            const int64_t start = read_nmea_sentence(log, sentence);
            if (nmea_tokenize(sentence, f) != 0) {
                continue;
            }
            const SentenceCode code = nmea_classify(f);
            const bool leading = rmc_leads ? code == kRMC : code == kGGA;
            if (leading && gga_read) {
                EndEpoch(begin, start);
                int32_t next_sod = -1;
                bool next_fix = false;
                LeadingTime(code, f, log, next_sod, next_fix);
                const bool waiting = !fix_info.LineStarted();
                // The epochs after a fix belong to its trial only until the
                // receiver is restarted for the next one.
                if (!waiting && next_start >= 0 && next_sod >= 0 && Reached(next_sod, next_start)) {
                    e.flags = 0;
                    log.Seek(start);
                    return TrialEnd::NextTrial;
                }
                const int r = fix_info.write_fix_info(next_sod, next_fix, fix_sod, trial, ttff, e);
                e.flags = 0;
                if (waiting && fix_info.FixReached()) {
                    fix_at = start;
                }
                if (r != 0) {
                    log.Seek(start);
                    return r == 1 ? TrialEnd::Done : TrialEnd::NotFound;
                }
                begin = start;
            }
            fold_epoch_sentence(code, f, e, time_check);
            gga_read = gga_read || code == kGGA;
        }
        // The log's last epoch is whole as far as the log goes: it has its
        // row, and a trial whose fix (or a later epoch) it is has its line.
        if (gga_read && e.flags != 0) {
            EndEpoch(begin, log.Tell());
            if (fix_info.FixReached()) {
                const int r = fix_info.write_fix_info(-1, false, fix_sod, trial, ttff, e);
                e.flags = 0;
                if (r == 1) {
                    return TrialEnd::Done;
                }
            }
            e.flags = 0;
        }
        return TrialEnd::LogEnded;
    }
};

void Warn(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
void Warn(const char* fmt, ...)
{
    std::fflush(stdout);
    va_list args;
    va_start(args, fmt);
    std::vfprintf(stderr, fmt, args);
    va_end(args);
}

}  // namespace

LogName classify_log_name(const std::string& name, bool with_tracking)
{
    LogName out;
    if (with_tracking && Contains(name, "TRACK24H_NMEA.txt")) {
        out.kind = LogKind::Tracking;
    } else if (Contains(name, "NMEA.txt")) {
        out.kind = LogKind::Ttff;
    } else if (const std::size_t at = name.find("NMEA_PW"); at != std::string::npos) {
        if (Scanner(std::string_view(name).substr(at + 7)).Int(out.power_level)) {
            out.kind = LogKind::Sensitivity;
        }
    }
    return out;
}

std::string results_name_of(const std::string& log_name, const LogName& kind)
{
    if (kind.kind == LogKind::Sensitivity) {
        return log_name.substr(0, log_name.find("NMEA_PW")) + Format("NMEA_Results_PW%d.txt", kind.power_level);
    }
    return log_name.substr(0, log_name.size() >= 4 ? log_name.size() - 4 : 0) + "_Results.txt";
}

std::string find_results_file(const std::vector<std::string>& listed, const std::string& results_name)
{
    for (const std::string& name : listed) {
        if (name == results_name) {
            return name;
        }
    }
    // Another logger's prefix before the bench's name.
    for (const std::string& name : listed) {
        if (Contains(name, results_name)) {
            return name;
        }
    }
    return {};
}

std::string start_type_of(const std::string& log_name)
{
    for (int k = 0; k < 3; ++k) {
        if (Contains(log_name, kStartKeys[k])) {
            return kStartTypes[k];
        }
    }
    const std::size_t ttff = log_name.rfind("_TTFF_");
    const std::size_t tttr = log_name.rfind("_TTTR_");
    std::size_t at = std::string::npos;
    if (ttff != std::string::npos && (tttr == std::string::npos || ttff > tttr)) {
        at = ttff;
    } else {
        at = tttr;
    }
    if (at != std::string::npos) {
        const std::size_t from = at + 6;
        const std::size_t to = log_name.find("_NMEA", from);
        if (to != std::string::npos && to > from) {
            return log_name.substr(from, to - from);
        }
    }
    return "OTHER";
}

std::string output_folder_of(const std::string& log_folder, const LogName& kind, const std::string& start_type)
{
    return log_folder + (kind.kind == LogKind::Sensitivity ? "report/sensitivity_analysis/" : "report/ttff_analysis/") +
           start_type + "/";
}

PairOutputs pair_output_names(const std::string& results_name)
{
    for (const char* key : kStartKeys) {
        if (results_name.find(key) != std::string::npos) {
            return {"global_info_" + results_name, "fix_info_" + results_name, "sat_visibility_" + results_name};
        }
    }
    const std::string stem = results_name.substr(0, results_name.size() >= 4 ? results_name.size() - 4 : 0);
    return {stem + "_global_info.txt", stem + "_fix_info.txt", stem + "_sat_visibility.txt"};
}

int FixInfoWriter::write_fix_info(int32_t next_sod, bool next_has_fix, int32_t fix_sod, int trial, double ttff,
                                  NmeaEpoch& e)
{
    if (state_ == 0) {
        const int check = FixEpochCheck(next_sod, next_has_fix, fix_sod);
        if (check == 1) {
            state_ = 1;
            counter_ = 0;
            settler_.enabled = true;
            return 0;
        }
        return check;  // 2: past the fix time, the fix epoch is not in the log
    }
    ++counter_;
    settler_.cn0_stabilise_all(e);
    std::string text;
    if (counter_ == 1) {
        text = Format("%10d %10.3lf", trial, ttff);
        AppendEpochColumns(text, e);
        state_ = 2;
    } else if (counter_ == 7) {
        AppendEpochColumns(text, e);
        state_ = 3;
    } else if (counter_ == 13) {
        AppendEpochColumns(text, e);
        AppendFormat(text, " %10.3lf\r\n", stable_cn0_average(e));
        out_.Write(text);
        state_ = 0;
        return 1;
    }
    out_.Write(text);
    return 0;
}

void FixInfoWriter::WriteZeroLine(int trial, double ttff, bool not_found)
{
    out_.Write(Format("%10d %10.3lf", trial, ttff) + ZeroEpochColumns(not_found ? -1 : 0) + ZeroEpochColumns() +
               ZeroLastPart());
    state_ = 0;
}

void FixInfoWriter::FinishCutLine()
{
    if (state_ == 2) {
        out_.Write(ZeroEpochColumns() + ZeroLastPart());
    } else if (state_ == 3) {
        out_.Write(ZeroLastPart());
    }
    state_ = 0;
}

int ttff_log_analysis(const std::string& out_folder, const std::string& results_name, const std::string& log_folder,
                      const std::string& log_name, int32_t max_ttff, VisibilityFile* visibility)
{
    ByteStream results;
    if (!results.Open(log_folder + results_name)) {
        Warn("cannot open %s%s\n", log_folder.c_str(), results_name.c_str());
        return 1;
    }
    ByteStream log;
    if (!log.Open(log_folder + log_name)) {
        Warn("cannot open %s%s\n", log_folder.c_str(), log_name.c_str());
        return 1;
    }
    std::vector<ResultsLine> trials;
    std::string line;
    while (true) {
        read_line(results, line);
        const ResultsLine r = ParseResultsLine(line);
        if (line.empty() || !r.has_ttff) {
            break;
        }
        trials.push_back(r);
    }
    if (trials.empty()) {
        run_input_lacks(log_folder + results_name, "no trial line (a TTFF and its fix GGA)");
        return 0;
    }
    const PairOutputs names = pair_output_names(results_name);
    OutFile global_info, fix_file;
    if (!CreateOrReport(global_info, out_folder + names.global_info) ||
        !CreateOrReport(fix_file, out_folder + names.fix_info)) {
        return 1;
    }

    NmeaEpoch e;
    int64_t position = 0;
    int rmc_first = 0;  // without a GGA/RMC pair the RMC starts an epoch
    nmea_sync_start(log, position, rmc_first, e);
    Cn0Settler settler;
    FixInfoWriter fix_info(fix_file, settler);
    LogReader reader{log, rmc_first == 0, e, settler, global_info, visibility, fix_info, 0, 0, 0, {}};

    // Where the next trial's fix is looked for from: the fix epoch of the
    // last trial found, which may already be past the next one's fix when
    // the receiver fixed again within a trial's 12 epochs.
    int64_t search_from = log.Tell();
    int analysed = 0;
    int not_found = 0;
    for (std::size_t k = 0; k < trials.size(); ++k) {
        const ResultsLine& r = trials[k];
        const int trial = static_cast<int>(k) + 1;
        if (r.ttff >= max_ttff) {
            fix_info.WriteZeroLine(trial, r.ttff, false);
            ++analysed;
            continue;
        }
        if (!r.has_fix_time) {
            Warn("%s: trial %d: the results line holds no fix time; marked as not found\n", results_name.c_str(), trial);
            fix_info.WriteZeroLine(trial, r.ttff, true);
            ++not_found;
            continue;
        }
        // The next trial began its TTFF earlier than its fix by its TTFF.
        int32_t next_start = -1;
        if (k + 1 < trials.size() && trials[k + 1].has_fix_time && trials[k + 1].ttff >= 0 &&
            trials[k + 1].ttff < 86400) {
            next_start = ((trials[k + 1].fix_sod - static_cast<int32_t>(trials[k + 1].ttff)) % 86400 + 86400) % 86400;
            if (!Reached(next_start, r.fix_sod)) {
                next_start = -1;  // not after this fix: no bound
            }
        }
        log.Seek(search_from);
        int64_t fix_at = -1;
        const bool ahead = reader.FixAhead(r.fix_sod);
        const TrialEnd end = ahead ? reader.ReadTrial(trial, r.ttff, r.fix_sod, next_start, fix_at) : TrialEnd::NotFound;
        const int h = r.fix_sod / 3600, m = r.fix_sod / 60 % 60, s = r.fix_sod % 60;
        if (end == TrialEnd::NotFound || (end == TrialEnd::LogEnded && !fix_info.LineStarted())) {
            log.Seek(search_from);
            if (reader.FixOffTheEarth(r.fix_sod)) {
                Warn("%s: trial %d: fix time %02d:%02d:%02d is a GGA with a position off the earth, no fix; marked "
                     "as not found\n",
                     log_name.c_str(), trial, h, m, s);
            } else {
                Warn("%s: trial %d: fix time %02d:%02d:%02d not found in the log; marked as not found\n",
                     log_name.c_str(), trial, h, m, s);
            }
            fix_info.WriteZeroLine(trial, r.ttff, true);
            ++not_found;
            continue;
        }
        if (end == TrialEnd::LogEnded) {
            Warn("%s: trial %d: the log ends less than 12 epochs after the fix at %02d:%02d:%02d; the rest of "
                 "its line is zero\n",
                 log_name.c_str(), trial, h, m, s);
            fix_info.FinishCutLine();
        } else if (end == TrialEnd::NextTrial) {
            Warn("%s: trial %d: the next trial starts at %02d:%02d:%02d, less than 12 epochs after the fix at "
                 "%02d:%02d:%02d; the rest of its line is zero\n",
                 log_name.c_str(), trial, next_start / 3600, next_start / 60 % 60, next_start % 60, h, m, s);
            fix_info.FinishCutLine();
        }
        fix_info.Reset();
        ++analysed;
        if (fix_at >= 0) {
            search_from = fix_at;
        }
    }
    if (reader.off_the_earth > 0) {
        std::fflush(stderr);
        std::printf("%s: %d positions off the earth left out (written as no position and no fix)\n", log_name.c_str(),
                    reader.off_the_earth);
    }
    run_produced(static_cast<std::size_t>(analysed));
    if (analysed == 0) {
        run_log_lacks(log, log_folder + log_name,
                      Format("not one fix of the %d trial(s) of %s is in the log", not_found, results_name.c_str()));
    }
    const bool global_ok = CloseOrReport(global_info);
    const bool fix_ok = CloseOrReport(fix_file);
    return global_ok && fix_ok ? 0 : 1;
}

namespace {

int FolderAnalysis(const OptionRecord& options, bool with_tracking)
{
    const std::optional<std::string> word = options.Arg(options.nmea);
    if (!word) {
        std::fprintf(stderr, "the TTFF analysis needs -nmea with the folder of the logs\n");
        return 2;
    }
    if (with_tracking) {
        set_tracking_window_length(options.trange);
    }
    const RunFolder run = read_run_folder(*word, "*.txt");
    const std::string& folder = run.folder;
    const std::vector<std::string>& listed = run.entries.front().files;
    std::error_code ec;
    bool ok = true;
    bool told_no_rinex = false;
    int taken = 0;
    for (const std::string& name : listed) {
        const LogName kind = classify_log_name(name, with_tracking);
        if (kind.kind == LogKind::Tracking) {
            std::fflush(stdout);
            ++taken;
            ok = tracking_analysis(folder, name, options.e_folder, options.rtype, options.runmatlab != 0) == 0 && ok;
            continue;
        }
        if (kind.kind == LogKind::None) {
            continue;
        }
        std::printf("%s\n", name.c_str());
        const std::string results = find_results_file(listed, results_name_of(name, kind));
        if (results.empty()) {
            Warn("%s: no results file %s; skipped\n", name.c_str(), results_name_of(name, kind).c_str());
            continue;
        }
        const std::string type = start_type_of(name);
        if (type != "HOT" && type != "WARM" && type != "COLD") {
            Warn("%s: not a HOT, WARM or COLD start; its outputs go under %s\n", name.c_str(), type.c_str());
        }
        std::printf("Processing %s...\n", name.c_str());
        ++taken;
        const std::string out_folder = output_folder_of(folder, kind, type);
        if (!make_output_folder(out_folder, ec)) {
            Warn("cannot create %s\n", out_folder.c_str());
            ok = false;
            continue;
        }
        const PairOutputs outputs = pair_output_names(results);

        VisibilityFile visibility;
        VisibilityFile* used = nullptr;
        if (options.e_folder.empty()) {
            if (!told_no_rinex) {
                Warn("note: no RINEX folder (-e): satellite visibility is not computed\n");
                told_no_rinex = true;
            }
        } else if (!visibility.visibility_open(out_folder, options.e_folder, outputs.visibility)) {
            Warn("cannot create %s\n", visibility.Path().c_str());
            ok = false;
        } else {
            used = &visibility;
        }
        ok = ttff_log_analysis(out_folder, results, folder, name, options.maxttff, used) == 0 && ok;
        if (used != nullptr && visibility.NoTimeRows() > 0) {
            std::printf("%s: %d epochs without a GPS time (no $PQNVTG, no RMC date and time): their satellite "
                        "visibility is not known\n",
                        name.c_str(), visibility.NoTimeRows());
        }
        visibility.Close();
        if (used != nullptr && !visibility.Good()) {
            Warn("cannot write %s\n", visibility.Path().c_str());
            ok = false;
        }
    }
    if (taken == 0) {
        run_input_lacks(folder.empty() ? "./" : folder,
                        with_tracking ? "no TTFF, sensitivity or 24-hour tracking log with its results file, named as "
                                        "the bench names them (\"..._NMEA.txt\", \"..._NMEA_PW<level>.txt\", "
                                        "\"..._TRACK24H_NMEA.txt\")"
                                      : "no TTFF or sensitivity log with its results file, named as the bench names "
                                        "them (\"..._NMEA.txt\", \"..._NMEA_PW<level>.txt\")");
    }
    return ok ? 0 : 1;
}

}  // namespace

int ttff_folder_analysis(const OptionRecord& options)
{
    return FolderAnalysis(options, false);
}

int nmea_folder_analysis(const OptionRecord& options)
{
    return FolderAnalysis(options, true);
}

}  // namespace navsift
