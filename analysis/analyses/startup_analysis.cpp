#include "analysis/analyses/startup_analysis.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>

#include "analysis/core/folders.h"
#include "analysis/core/gps_time.h"
#include "analysis/core/nmea_epoch.h"
#include "analysis/core/nmea_reader.h"
#include "analysis/core/out_file.h"
#include "analysis/core/run_outcome.h"
#include "analysis/core/text_util.h"
#include "analysis/writers/latex_report.h"
#include "analysis/writers/matlab_standin.h"

namespace navsift {

namespace {

constexpr const char* kDataFile = "nmea_startup_analysis_data.txt";
constexpr const char* kTableFile = "nmea_startup_analysis_data.tex";
constexpr const char* kReportTitle = "Nuvi 1690 Bad Position Startup";
// Written by the plotting step that the script starts, not by this program.
constexpr const char* kPlotInputs[] = {"TTFF_bad_position.tex", "POS_bad_position.tex"};

struct AngleParts {
    int degrees = 0, minutes = 0, thousandths = 0;
};

// Half a thousandth of a minute is added first, so 59.9996' carries into
// the next degree instead of printing as 60.000'.
AngleParts SplitAngle(double degrees)
{
    double rest = std::fabs(degrees) + 1.0 / 120000.0;
    AngleParts p;
    p.degrees = static_cast<int>(std::trunc(rest));
    rest = (rest - p.degrees) * 60.0;
    p.minutes = static_cast<int>(std::trunc(rest));
    p.thousandths = static_cast<int>(std::trunc((rest - p.minutes) * 1000.0));
    return p;
}

GpsTime TrialTime(int32_t week, double tow)
{
    return GpsTime{week > 0 ? static_cast<uint32_t>(week) : 0u, tow};
}

int32_t TtffIfFixed(const startup_trial& t)
{
    return t.fix_status != 0 ? t.Ttff() : 0;
}

int32_t TimeoutIfNot(const startup_trial& t)
{
    return t.fix_status == 0 ? t.Ttff() : 0;
}

}  // namespace

int seek_trial_start(ByteStream& in)
{
    std::string sentence;
    NmeaFields f;
    while (!in.AtEnd()) {
        const int64_t start = read_nmea_sentence(in, sentence);
        if (nmea_tokenize(sentence, f) != 0) {
            continue;
        }
        if (nmea_classify(f) == kGGA && FieldInt(f[6]) == 0) {
            in.Seek(start);
            return 0;
        }
    }
    return 1;
}

namespace {

// A step of the receiver's time of up to this many seconds is "$PQNVTG"
// sentences lost or refused on the way; a larger one (or one back) is its
// clock being set.
constexpr int64_t kLostSecondsAtMost = 5;

}  // namespace

void read_startup_trial(ByteStream& in, startup_trial& trial)
{
    bool first_gga_pending = true;
    bool first_tg_pending = true;
    bool fix_seen = false;
    bool clock_set = false;  // the trial's one time correction has been seen
    int32_t previous_quality = 0;
    int64_t previous_second = 0;
    // The trial as it stood at the last "$PQNVTG", and where the epoch after
    // it begins: a power-up found at the next "$PQNVTG" gives that epoch
    // back to the next trial.
    startup_trial at_last_tg = trial;
    int64_t epoch_begin = -1;
    // The satellites of the epoch being read: a receiver sets its clock from
    // a satellite it hears, while one that has just been powered up hears
    // none yet.
    NmeaEpoch sky;
    bool sky_seen = false;
    std::string sentence;
    NmeaFields f;
    while (!in.AtEnd()) {
        const int64_t start = read_nmea_sentence(in, sentence);
        if (epoch_begin < 0) {
            epoch_begin = start;
        }
        if (nmea_tokenize(sentence, f) != 0) {
            continue;
        }
        const SentenceCode code = nmea_classify(f);
        if (code == kGGA) {
            NmeaEpoch gga;
            parse_gga(f, gga);
            ++trial.gga_count;
            trial.latest_sod = gga.gga_sod;
            trial.fix_latitude = gga.latitude;
            trial.fix_longitude = gga.longitude;
            trial.fix_height = gga.height;
            trial.fix_status = gga.fix_quality;
            if (first_gga_pending) {
                first_gga_pending = false;
                trial.initial_sod = gga.gga_sod;
                trial.initial_latitude = gga.latitude;
                trial.initial_longitude = gga.longitude;
                trial.initial_height = gga.height;
            }
            if (gga.fix_quality != 0 && previous_quality == 0) {
                fix_seen = true;
            }
            previous_quality = gga.fix_quality;
        } else if (code == kQnvTG) {
            const int32_t second = tg_gps_seconds(f);
            trial.end_gps_second = static_cast<uint32_t>(second);
            trial.end_week = FieldInt(f[1]);
            trial.end_tow = FieldReal(f[2]);
            trial.end_field5 = FieldInt(f[5]);
            if (!first_tg_pending) {
                const int64_t step = static_cast<int64_t>(second) - previous_second;
                const bool clock_step = step < 1 || step > 1 + kLostSecondsAtMost;
                // A step before any fix while no satellite is heard (or,
                // in a log without GSV, a second step: a receiver sets its
                // clock once) is the power-off and the next power-up, which
                // this trial, a time-out, does not include.
                const bool hears = std::any_of(sky.gsv.begin(), sky.gsv.end(),
                                               [](const GsvSatellite& g) { return g.valid != 0 && g.cn0 > 0; });
                if (clock_step && !fix_seen && (sky_seen ? !hears : clock_set)) {
                    trial = at_last_tg;
                    in.Seek(epoch_begin);
                    return;
                }
                if (step != 1 && std::llabs(step - 1) > std::llabs(static_cast<int64_t>(trial.initial_time_error))) {
                    trial.initial_time_error = static_cast<int32_t>(
                        std::clamp<int64_t>(step - 1, INT32_MIN + 1, INT32_MAX));
                }
                clock_set = clock_set || clock_step;
                trial.elapsed_seconds = static_cast<int32_t>(
                    std::clamp<int64_t>(trial.elapsed_seconds + (clock_step ? 1 : step), INT32_MIN, INT32_MAX));
                previous_second = second;
            } else if (!first_gga_pending) {
                first_tg_pending = false;
                trial.has_start_time = true;
                trial.start_gps_second = trial.end_gps_second;
                trial.start_week = trial.end_week;
                trial.start_tow = trial.end_tow;
                trial.start_field5 = trial.end_field5;
                previous_second = second;
            }
            if (fix_seen) {
                return;
            }
            at_last_tg = trial;
            epoch_begin = -1;
            sky = NmeaEpoch{};
            sky_seen = false;
        } else if (code == kGSV) {
            parse_gsv(f, sky);
            sky_seen = true;
        }
    }
}

void sort_trials(std::vector<startup_trial>& trials)
{
    std::stable_sort(trials.begin(), trials.end(), [](const startup_trial& a, const startup_trial& b) {
        return a.end_gps_second < b.end_gps_second;
    });
}

ElevationMarks common_marks(const ElevationMarks& a, const ElevationMarks& b)
{
    ElevationMarks out{};
    for (std::size_t i = 0; i < out.size(); ++i) {
        out[i] = a[i] != 0 && b[i] != 0 ? 1 : 0;
    }
    return out;
}

int count_common_satellites(const ElevationMarks& a, const ElevationMarks& b)
{
    const ElevationMarks both = common_marks(a, b);
    return static_cast<int>(std::count_if(both.begin(), both.end(), [](uint8_t m) { return m != 0; }));
}

void compute_trial_visibility(std::vector<startup_trial>& trials, VisibilityFile* visibility)
{
    for (startup_trial& t : trials) {
        t.initial_visibility.fill(0);
        t.fix_visibility.fill(0);
        t.initial_visible_count = 0;
        t.fix_visible_count = 0;
        if (visibility == nullptr) {
            continue;
        }
        t.initial_visible_count =
            visibility->sat_visibility(ReceiverPosition{t.initial_latitude, t.initial_longitude, t.initial_height},
                                       TrialTime(t.start_week, t.start_tow), t.initial_visibility);
        if (t.fix_status != 0) {
            t.fix_visible_count =
                visibility->sat_visibility(ReceiverPosition{t.fix_latitude, t.fix_longitude, t.fix_height},
                                           TrialTime(t.end_week, t.end_tow), t.fix_visibility);
        }
    }
}

std::string latitude_text(double degrees)
{
    const AngleParts p = SplitAngle(degrees);
    return Format("%02d %02d.%03d %c", p.degrees, p.minutes, p.thousandths, degrees < 0 ? 'S' : 'N');
}

std::string longitude_text(double degrees)
{
    const AngleParts p = SplitAngle(degrees);
    return Format("%03d %02d.%03d %c", p.degrees, p.minutes, p.thousandths, degrees < 0 ? 'W' : 'E');
}

SatelliteListParts satellite_list_parts(const ElevationMarks& marks)
{
    SatelliteListParts out;
    int listed = 0;
    for (int prn = 1; prn <= 32; ++prn) {
        if (marks[static_cast<std::size_t>(prn - 1)] == 0) {
            continue;
        }
        out.part[std::min(listed / 6, 2)] += Format("%d,", prn);
        ++listed;
    }
    if (listed == 0) {
        out.part[0] = "-";
    }
    return out;
}

bool write_startup_data_file(const std::vector<startup_trial>& trials, const std::string& report_folder)
{
    OutFile out;
    if (!CreateOrReport(out, report_folder + kDataFile)) {
        return false;
    }
    int number = 0;
    for (const startup_trial& t : trials) {
        ++number;
        // A blank before every column: ten-digit GPS seconds fill their
        // width, and a reader that splits at blanks must get every value.
        out.Printf("%10d %10d %10d %16.6lf %16.6lf %10.3lf %10d %16.6lf %16.6lf %10.3lf %10d %10d %10d %10d %10d "
                   "%10d\r\n",
                   number,
                   static_cast<int32_t>(t.start_gps_second), t.initial_time_error, t.initial_latitude,
                   t.initial_longitude, t.initial_height, static_cast<int32_t>(t.end_gps_second), t.fix_latitude,
                   t.fix_longitude, t.fix_height, t.initial_visible_count, t.fix_visible_count,
                   count_common_satellites(t.initial_visibility, t.fix_visibility), t.fix_status, TtffIfFixed(t),
                   TimeoutIfNot(t));
        std::printf("%d > %d ttff %d\r\n", number, static_cast<int32_t>(t.end_gps_second), t.Ttff());
    }
    return CloseOrReport(out);
}

bool write_startup_table(const std::vector<startup_trial>& trials, const std::string& report_folder)
{
    OutFile out;
    if (!CreateOrReport(out, report_folder + kTableFile)) {
        return false;
    }
    for (const char* line : {
             "\\begin{center}\r\n",
             "\\large\r\n",
             "\\pdfbookmark[1]{Test Result Details}{Test Result Details}\r\n",
             "\\section*{Test Result Details}\r\n",
             "\\begin{changemargin}{2cm}{2cm}\r\n",
             "In this section is reported the list of all test trials performend on device under test. The columns "
             "of the following table are:\r\n",
             "\\begin{itemize}\r\n",
             "\\item \\emph{Number of trials} is a progressive number according to the test trials sequence;\r\n",
             "\\item \\emph{Initial GPS Time} is the initial gps time of current test;\r\n",
             "\\item \\emph{Initial Time Error} is the initial time error of current test captured on the NMEA "
             "sentences;\r\n",
             "\\item \\emph{Initial Position} is the initial position stored in DUT backup memory;\r\n",
             "\\item \\emph{Fix Position} is the GPS position achieved after fix;\r\n",
             "\\item \\emph{Initial Visible Satellites} is a list of visible satellites from the initial position and "
             "time. It has been evaluated using RINEX ephemeris;\r\n",
             "\\item \\emph{On Fix Visible Satellites} is a list of visible satellites from the GPS fix position and "
             "time. It has been evaluated using RINEX ephemeris;\r\n",
             "\\item \\emph{Common Satellites} is a list of common satellites which are visible from both initial "
             "and GPS fix positions and times;\r\n",
             "\\item \\emph{Fix Status} is the Fix status indication: 0=NO FIX, 1=FIX, 2=DIFFERENTIAL FIX;\r\n",
             "\\item \\emph{TTFF} is the time to achieve the first fix;\r\n",
             "\\item \\emph{Timeout} is the timeout interval in case the fix condition is not achieved during test "
             "execution;\r\n",
             "\\end{itemize}\r\n",
             "\\end{changemargin}\r\n",
             "\\footnotesize\r\n",
             "\\begin{savenotes}\r\n",
             "\\begin{longtable}{ccccccccccc}\r\n",
             "\\toprule\r\n",
             "\\begin{sideways}Number of trials\\end{sideways} & ",
             "\\begin{sideways}Initial GPS Time\\end{sideways} & ",
             "\\begin{sideways}Initial Time Error [s]\\end{sideways} & ",
             "\\begin{sideways}Initial Position\\end{sideways} & ",
             "\\begin{sideways}Fix Position\\end{sideways} & ",
             "\\begin{sideways}Initial Visible Satellites\\end{sideways} & ",
             "\\begin{sideways}On Fix Visible Satellites\\end{sideways} & ",
             "\\begin{sideways}Common Satellites\\end{sideways} & ",
             "\\begin{sideways}Fix Status\\end{sideways} & ",
             "\\begin{sideways}TTFF [s]\\end{sideways} & ",
             "\\begin{sideways}Timeout [s]\\end{sideways}\\\\ \r\n",
             "\\toprule\r\n",
             "\\endhead\r\n",
         }) {
        out.Write(line);
    }
    int number = 0;
    for (const startup_trial& t : trials) {
        ++number;
        CalendarTime when;
        gps_to_calendar(static_cast<int32_t>(t.start_gps_second), when);
        const bool fixed = t.fix_status != 0;
        const SatelliteListParts initial = satellite_list_parts(t.initial_visibility);
        const SatelliteListParts at_fix = satellite_list_parts(t.fix_visibility);
        const SatelliteListParts common = satellite_list_parts(common_marks(t.initial_visibility, t.fix_visibility));
        const AngleParts lat = SplitAngle(t.initial_latitude);
        const AngleParts lon = SplitAngle(t.initial_longitude);
        const std::string fix_lat = fixed ? latitude_text(t.fix_latitude) : std::string();
        const std::string fix_lon = fixed ? longitude_text(t.fix_longitude) : std::string();
        const std::string fix_height = fixed ? Format("%.3lf", t.fix_height) : std::string();
        out.Printf("\\multirow{3}*{%d} & %s & \\multirow{3}*{%d} & %02d %02d.%03d %c & %s & %s & %s & %s & "
                   "\\multirow{3}*{%d} & \\multirow{3}*{%d} & \\multirow{3}*{%d} \\\\* \r\n",
                   number, Format("%02d:%02d:%02d", when.hour, when.minute, when.second).c_str(),
                   t.initial_time_error, lat.degrees, lat.minutes, lat.thousandths, t.initial_latitude < 0 ? 'S' : 'N',
                   fix_lat.c_str(), initial.part[0].c_str(), at_fix.part[0].c_str(), common.part[0].c_str(),
                   t.fix_status, TtffIfFixed(t), TimeoutIfNot(t));
        out.Printf("& %s & & %03d %02d.%03d %c & %s & %s & %s & %s & & & \\\\* \r\n",
                   Format("%02d/%02d/%04d", when.day, when.month, when.year).c_str(), lon.degrees, lon.minutes,
                   lon.thousandths, t.initial_longitude < 0 ? 'W' : 'E', fix_lon.c_str(), initial.part[1].c_str(),
                   at_fix.part[1].c_str(), common.part[1].c_str());
        out.Printf("& & & %.3lf & %s & %s & %s & %s & & & \\\\ \r\n", t.initial_height, fix_height.c_str(),
                   initial.part[2].c_str(), at_fix.part[2].c_str(), common.part[2].c_str());
        out.Write("\\midrule\r\n");
        std::printf("%d > %d ttff %d\r\n", number, static_cast<int32_t>(t.end_gps_second), t.Ttff());
    }
    out.Write("\\end{longtable}\r\n");
    out.Write("\\end{savenotes}\r\n");
    out.Write("\\end{center}");
    return CloseOrReport(out);
}

namespace {

bool WriteScript(const std::string& report_folder)
{
    OutFile out;
    if (!CreateOrReport(out, report_folder + "startup_analysis.m")) {
        return false;
    }
    out.Write("bad_position('" + MatlabText(report_folder + kDataFile) + "',600);");
    return CloseOrReport(out);
}

bool WriteReport(const std::string& report_folder)
{
    bool ok = true;
    OutFile title;
    if (CreateOrReport(title, report_folder + "title_page.tex")) {
        write_latex_title_page(title, kReportTitle);
        ok = CloseOrReport(title) && ok;
    } else {
        ok = false;
    }
    OutFile intro;
    if (CreateOrReport(intro, report_folder + "introduction_page.tex")) {
        write_startup_introduction(intro);
        ok = CloseOrReport(intro) && ok;
    } else {
        ok = false;
    }
    OutFile main;
    if (!write_latex_preamble(main, "startup_analysis_report.tex", report_folder, kReportTitle)) {
        return false;
    }
    for (const char* input :
         {"title_page.tex", "introduction_page.tex", kPlotInputs[0], kPlotInputs[1], kTableFile}) {
        main.Printf("\\input{%s}\r\n", input);
    }
    main.Write("\\end{document}\r\n");
    return CloseOrReport(main) && ok;
}

}  // namespace

int startup_analysis(const OptionRecord& options)
{
    const std::optional<std::string> word = options.Arg(options.nmea);
    if (!word) {
        std::fprintf(stderr, "the start-up analysis needs -nmea with the folder of the logs\n");
        return 2;
    }
    const RunFolder run = read_run_folder(*word, "*.txt");
    const std::string& folder = run.folder;
    std::vector<startup_trial> trials;
    std::vector<std::string> not_logs;
    for (const std::string& name : run.entries.front().files) {
        ByteStream in;
        if (!in.Open(folder + name)) {
            continue;
        }
        if (is_nmea_log(in) != 0) {
            not_logs.push_back(name);
            continue;
        }
        std::printf("%s processing...", name.c_str());
        const std::size_t before = trials.size();
        while (seek_trial_start(in) == 0) {
            startup_trial trial;
            read_startup_trial(in, trial);
            if (!trial.has_start_time) {
                std::fflush(stdout);
                std::fprintf(stderr, "%s: trial without $PQNVTG skipped\n", name.c_str());
                continue;
            }
            std::printf(" TTFF = %ds\n", trial.Ttff());
            trials.push_back(trial);
        }
        if (trials.size() == before) {
            std::printf(" no trial\n");
        }
    }
    if (trials.empty()) {
        for (const std::string& name : not_logs) {
            ByteStream in;
            if (in.Open(folder + name)) {
                run_log_lacks(in, folder + name, "not an NMEA log: fewer than 6 $GPGGA or $GPRMC sentences");
            }
        }
        run_input_lacks(folder.empty() ? "./" : folder,
                        "no trials found: no NMEA log with a $GPGGA without a fix followed by a \"$PQNVTG\"");
        return 0;
    }
    run_produced(trials.size());
    std::error_code ec;
    const std::string report_folder = folder + "report/startup_analysis/";
    if (!make_output_folder(report_folder, ec)) {
        std::fprintf(stderr, "cannot create %s%s%s\n", report_folder.c_str(), ec ? ": " : "",
                     ec ? ec.message().c_str() : "");
        return 1;
    }
    sort_trials(trials);

    bool ok = true;
    if (options.e_folder.empty()) {
        std::fprintf(stderr, "note: no RINEX folder (-e): satellite visibility is not computed\n");
        compute_trial_visibility(trials, nullptr);
    } else {
        VisibilityFile visibility;
        if (!visibility.visibility_open(report_folder, options.e_folder)) {
            std::fprintf(stderr, "cannot create %s\n", visibility.Path().c_str());
            ok = false;
            compute_trial_visibility(trials, nullptr);
        } else {
            compute_trial_visibility(trials, &visibility);
            visibility.Close();
            if (!visibility.Good()) {
                std::fprintf(stderr, "cannot write %s\n", visibility.Path().c_str());
                ok = false;
            }
        }
    }

    ok = write_startup_data_file(trials, report_folder) && ok;
    ok = WriteScript(report_folder) && ok;
    ok = write_startup_table(trials, report_folder) && ok;
    ok = WriteReport(report_folder) && ok;
    std::fflush(stdout);
    const int matlab = matlab_not_available(report_folder + "startup_analysis.m", options.runmatlab != 0);
    std::fprintf(stderr, "the report %sstartup_analysis_report.tex needs %s and %s from that script before "
                         "pdflatex can typeset it\n",
                 report_folder.c_str(), kPlotInputs[0], kPlotInputs[1]);
    return ok ? matlab : 1;
}

}  // namespace navsift
