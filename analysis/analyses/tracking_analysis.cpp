#include "analysis/analyses/tracking_analysis.h"

#include <cstdio>
#include <optional>

#include "analysis/analyses/tracking_report.h"
#include "analysis/analyses/tracking_tables.h"
#include "analysis/analyses/visibility.h"
#include "analysis/core/byte_stream.h"
#include "analysis/core/folders.h"
#include "analysis/core/gps_time.h"
#include "analysis/core/nmea_epoch.h"
#include "analysis/core/nmea_reader.h"
#include "analysis/core/run_outcome.h"
#include "analysis/core/text_util.h"
#include "analysis/writers/excel_charts.h"
#include "analysis/writers/html_pages.h"
#include "analysis/writers/matlab_standin.h"
#include "analysis/writers/pdflatex_runner.h"

namespace navsift {

int32_t tracking_window_length = kDefaultTrackingWindow;

void set_tracking_window_length(int32_t trange)
{
    tracking_window_length = trange > 0 ? trange : kDefaultTrackingWindow;
}

int64_t tracking_window_end(int32_t start, int32_t length)
{
    const int64_t s = start;
    const int64_t w = length > 0 ? length : kDefaultTrackingWindow;
    int64_t e = (s / w + 1) * w - 1;
    if (e - s < w / 2 && e != 86399) {
        e += w;
    }
    return e;
}

namespace {

// UTC lags GPS time by this much where only one of them is known.
constexpr int32_t kGpsMinusUtc = 15;

// Which timed sentence marks out a window: the receiver's "$PQNVTG" (GPS
// time) or, in a log without it, "$GPRMC" (UTC date and time).
enum class TimedBy { QnvTG, Rmc };

// The time of a timed sentence of that kind; 0 when it has none.
int32_t SentenceTime(const NmeaFields& f, TimedBy kind)
{
    return kind == TimedBy::QnvTG ? tg_gps_seconds(f) : rmc_gps_time(f);
}

struct Window {
    int32_t start = 0;
    int32_t end = 0;
    TimedBy kind = TimedBy::QnvTG;
    bool cut_by_log_end = false;  // the log ends before the window's end on the grid
    int64_t grid_end = 0;         // second of day
};

// The time of a timed sentence of `kind`; 0 when it has none or cannot be
// trusted. Every RMC goes through `check` on the way.
int32_t TimeOf(const NmeaFields& f, SentenceCode code, TimedBy kind, QnvTimeCheck& check)
{
    if (code == kRMC) {
        check.SeeRmc(f);
    }
    if (code != (kind == TimedBy::QnvTG ? kQnvTG : kRMC)) {
        return 0;
    }
    const int32_t t = SentenceTime(f, kind);
    return kind == TimedBy::QnvTG && !check.Trusted(t) ? 0 : t;
}

// The first timed sentence of `kind` from `from`; false when none follows.
bool FirstTime(ByteStream& in, int64_t from, TimedBy kind, int32_t& t)
{
    in.Seek(from);
    QnvTimeCheck check;
    std::string sentence;
    NmeaFields f;
    while (!in.AtEnd()) {
        read_nmea_sentence(in, sentence);
        if (nmea_tokenize(sentence, f) != 0) {
            continue;
        }
        t = TimeOf(f, nmea_classify(f), kind, check);
        if (t > 0) {
            return true;
        }
    }
    return false;
}

// The window that begins at `from`: its first time from the next "$PQNVTG"
// (or "$GPRMC" when no "$PQNVTG" follows), its last time the latest one of
// the same kind up to its end on the grid. A time that falls back (a new
// day, a receiver reset) ends the window before it.
bool FindWindow(ByteStream& in, int64_t from, Window& w)
{
    w = Window{};
    int32_t t = 0;
    if (FirstTime(in, from, TimedBy::QnvTG, t)) {
        w.kind = TimedBy::QnvTG;
    } else if (FirstTime(in, from, TimedBy::Rmc, t)) {
        w.kind = TimedBy::Rmc;
    } else {
        return false;
    }
    w.start = t;
    const int32_t s = SecondOfDay(t);
    w.grid_end = tracking_window_end(s, tracking_window_length);
    const int64_t limit = static_cast<int64_t>(w.start) + (w.grid_end - s);
    int32_t last = w.start;
    QnvTimeCheck check;
    std::string sentence;
    NmeaFields f;
    bool stopped = false;
    while (!in.AtEnd()) {
        read_nmea_sentence(in, sentence);
        // The data pass reads the window again; meanwhile it need not stay.
        in.Forget();
        if (nmea_tokenize(sentence, f) != 0) {
            continue;
        }
        const int32_t next = TimeOf(f, nmea_classify(f), w.kind, check);
        if (next <= 0) {
            continue;
        }
        if (next > limit || next < last || SecondOfDay(next) < SecondOfDay(last)) {
            stopped = true;
            break;
        }
        last = next;
    }
    w.end = last;
    w.cut_by_log_end = !stopped && SecondOfDay(w.end) != w.grid_end;
    return true;
}

bool CreateSatelliteFiles(SatelliteFiles& files, const std::string& folder)
{
    for (int prn = 1; prn <= kMaxPrn; ++prn) {
        if (!CreateOrReport(files[static_cast<std::size_t>(prn - 1)], folder + Format("sat%02d.csv", prn))) {
            return false;
        }
    }
    return true;
}

bool CloseSatelliteFiles(SatelliteFiles& files)
{
    bool ok = true;
    for (OutFile& f : files) {
        ok = CloseOrReport(f) && ok;
    }
    return ok;
}

// The files of one window.
struct WindowFiles {
    std::string folder;
    SatelliteFiles sats;
    OutFile global_info;
    OutFile pos;
    VisibilityFile visibility;

    bool Open(const std::string& report_folder, const Window& w, const std::string& rinex_folder)
    {
        folder = report_folder + interval_folder_name(w.start, w.end) + "/";
        if (!MakeFolder(folder) || !CreateOrReport(pos, folder + "pos.txt") ||
            !CreateOrReport(global_info, folder + "global_info.txt") || !CreateSatelliteFiles(sats, folder)) {
            return false;
        }
        if (!visibility.visibility_open(folder, rinex_folder)) {
            std::fprintf(stderr, "cannot create %s\n", visibility.Path().c_str());
            return false;
        }
        return true;
    }

    bool Close()
    {
        bool ok = CloseSatelliteFiles(sats);
        ok = CloseOrReport(global_info) && ok;
        ok = CloseOrReport(pos) && ok;
        visibility.Close();
        if (!visibility.Good()) {
            std::fprintf(stderr, "cannot write %s\n", visibility.Path().c_str());
            ok = false;
        }
        return ok;
    }
};

class TrackingRun {
public:
    TrackingRun(ByteStream& log, std::string report_folder, std::string rinex_folder)
        : in_(log), report_folder_(std::move(report_folder)), rinex_folder_(std::move(rinex_folder))
    {
    }

    bool OpenReportTables()
    {
        if (!CreateSatelliteFiles(sats_, report_folder_) || !CreateOrReport(global_txt_, report_folder_ + "global_info.txt") ||
            !CreateOrReport(global_csv_, report_folder_ + "global_info.csv") ||
            !CreateOrReport(raw_, report_folder_ + "global_info.raw")) {
            return false;
        }
        global_csv_.Write(kGlobalInfoHeader);
        return true;
    }

    bool CloseReportTables()
    {
        bool ok = CloseSatelliteFiles(sats_);
        for (OutFile* f : {&global_txt_, &global_csv_, &raw_, &checks_[0], &checks_[1]}) {
            ok = CloseOrReport(*f) && ok;
        }
        return ok && !failed_;
    }

    // Every window from `start` to the end of the log. False when an output
    // could not be made (the windows done so far are complete).
    bool Windows(int64_t start, TrackingReport& report)
    {
        int64_t position = start;
        Window w;
        while (FindWindow(in_, position, w)) {
            WindowFiles files;
            in_.Seek(position);
            int64_t pair = position;
            int rmc_first = 1;
            NmeaEpoch scratch;
            if (nmea_sync_start(in_, pair, rmc_first, scratch) != 0) {
                break;  // no GGA or RMC left: nothing to put in a window
            }
            if (!files.Open(report_folder_, w, rinex_folder_)) {
                return false;
            }
            int64_t next = -1;
            DataPass(pair, rmc_first == 0 ? kRMC : kGGA, w, files, next);
            std::printf("\n");
            without_time_ += files.visibility.NoTimeRows();
            bool ok = files.Close();
            std::string note;
            if (w.cut_by_log_end && next < 0) {
                note = Format("The log ends at %s, before the end of this window: the window holds what the log holds.",
                              StampOf(w.end).c_str());
                std::printf("%s\n", note.c_str());
            }
            ok = report.AddWindow(files.folder, w.start, w.end, note) && ok;
            if (!ok) {
                return false;
            }
            // Each window takes at least one epoch, so the log is always
            // walked forward.
            if (next <= position) {
                break;
            }
            position = next;
        }
        return true;
    }

private:
    // The time that places an epoch in a window: its own timed sentence of
    // the window's kind; in a "$PQNVTG" window an epoch that lost its
    // "$PQNVTG" is placed by its RMC. 0 when the epoch tells no time.
    static int32_t EpochTime(const NmeaEpoch& e, TimedBy kind)
    {
        if (kind == TimedBy::QnvTG && e.Has(kHasQnvTG)) {
            return e.tg_gps_time;
        }
        if (e.Has(kHasRMC) && e.gps_time > 0) {
            return kind == TimedBy::QnvTG ? e.gps_time + kGpsMinusUtc : e.gps_time;
        }
        return 0;
    }

    // Reads the window's epochs from `from`. An epoch whose time lies past
    // the window's end (or, once the window's time has started, before its
    // start) ends the window; `next` is then where that epoch begins, else
    // -1 (the log ended).
    void DataPass(int64_t from, SentenceCode leading, const Window& w, WindowFiles& files, int64_t& next)
    {
        e_ = NmeaEpoch{};
        in_.Seek(from);
        int64_t epoch_start = from;
        bool gga_seen = false;
        bool started = false;  // a time at or after the window's start was written
        int written = 0;
        std::string sentence;
        NmeaFields f;
        // Writes the gathered epoch, or tells that it belongs to a later
        // window.
        const auto epoch_end = [&]() -> bool {
            const int32_t t = EpochTime(e_, w.kind);
            if (written > 0 && t != 0 && (t > w.end || (started && t < w.start))) {
                return false;
            }
            started = started || t >= w.start;
            WriteEpoch(files);
            ++written;
            return true;
        };
        next = -1;
        QnvTimeCheck check;
        while (!in_.AtEnd()) {
            const int64_t at = read_nmea_sentence(in_, sentence);
            in_.Forget();
            if (nmea_tokenize(sentence, f) != 0) {
                if (sentence.starts_with("$PQNVTG")) {
                    Refused(at);  // its checksum failed
                }
                continue;
            }
            const SentenceCode code = nmea_classify(f);
            if (code == kGGA) {
                std::printf("Processed GGA sentences: %10d\r", e_.gga_count);
            }
            if (code == leading && gga_seen) {
                if (!epoch_end()) {
                    next = epoch_start;
                    return;
                }
                epoch_start = at;
            }
            switch (code) {
            case kGGA:
                parse_gga(f, e_);
                gga_seen = true;
                break;
            case kRMC:
                check.SeeRmc(f);
                parse_rmc(f, e_);
                break;
            case kGSV: parse_gsv(f, e_); break;
            case kGSA: parse_gsa(f, e_); break;
            case kVTG: parse_vtg(f, e_); break;
            case kQnvTG:
                if (check.Trusted(tg_gps_seconds(f))) {
                    parse_qnv_tg(f, e_);
                } else {
                    Refused(at);
                }
                break;
            case kQnvTS: parse_qnv_ts(f, e_); break;
            case kQnvEphem:
                Check(0, sentence);
                e_.flags |= kHasQnvEphem;
                break;
            case kQnvAlmanac:
                Check(1, sentence);
                e_.flags |= kHasQnvAlmanac;
                break;
            default: break;
            }
        }
        // The last epoch of the log is whole as far as the log goes: it is
        // kept like the others.
        if (gga_seen && e_.flags != 0 && !epoch_end()) {
            next = epoch_start;
        }
    }

public:
    // "$PQNVTG" sentences not used for time (checksum failed, or a time
    // that disagrees with their RMC).
    int RefusedTimes() const { return refused_; }
    // Epochs written to the tables.
    int Epochs() const { return epochs_; }
    // Epochs written whose GGA gave a position off the earth (written as no
    // position and no fix), and epochs that told no time (no visibility).
    int OffTheEarth() const { return off_the_earth_; }
    int WithoutTime() const { return without_time_; }

private:
    // Counted once, although the epoch that ends a window is read again.
    void Refused(int64_t at)
    {
        if (at > refused_upto_) {
            ++refused_;
            refused_upto_ = at;
        }
    }

    // The check files are made at the first sentence of their kind.
    void Check(int which, const std::string& sentence)
    {
        OutFile& out = checks_[which];
        if (!out.IsOpen()) {
            if (check_failed_[which]) {
                return;
            }
            if (!CreateOrReport(out, report_folder_ + (which == 0 ? "ephemeris_check.txt" : "almanacs_check.txt"))) {
                check_failed_[which] = true;
                failed_ = true;
                return;
            }
        }
        out.Write(sentence);
    }

    void WriteEpoch(WindowFiles& files)
    {
        ElevationMarks marks{};
        // At the epoch's "$PQNVTG" time, else at its RMC's: a log of another
        // maker has its sky too.
        e_.sats_visible = files.visibility.sat_visibility(e_, marks);
        if (e_.Has(kHasGGA) && e_.gga_position_refused) {
            ++off_the_earth_;
        }
        const bool from_ts = e_.Has(kHasQnvTS);
        format_sat_rows(e_, marks, from_ts, rows_);
        for (std::size_t k = 0; k < rows_.row.size(); ++k) {
            files.sats[k].Write(rows_.row[k]);
            sats_[k].Write(rows_.row[k]);
        }
        clear_sat_marks(e_, from_ts);
        update_cn0_average(e_);
        pack_epoch_record(e_, record_);
        raw_.Write(std::string_view(reinterpret_cast<const char*>(record_), sizeof record_));
        if (e_.gga_valid != 0) {
            const std::string txt = global_info_txt_row(e_);
            files.global_info.Write(txt);
            global_txt_.Write(txt);
        }
        write_global_info_csv(global_csv_, e_);
        e_.flags = 0;
        ++epochs_;
        run_produced();
    }

    ByteStream& in_;
    std::string report_folder_;
    std::string rinex_folder_;
    NmeaEpoch e_;
    SatRows rows_;
    unsigned char record_[kRawEpochSize];
    SatelliteFiles sats_;
    OutFile global_txt_, global_csv_, raw_;
    OutFile checks_[2];  // ephemeris and almanac sentences as read
    bool check_failed_[2] = {false, false};
    bool failed_ = false;
    int refused_ = 0;
    int64_t refused_upto_ = -1;
    int epochs_ = 0;
    int off_the_earth_ = 0;
    int without_time_ = 0;
};

// Whether the log holds an accepted $GPGGA or $GPRMC; read only up to the
// first, and put back to its start.
bool HasGpsPositions(ByteStream& in)
{
    std::string sentence;
    NmeaFields f;
    bool found = false;
    while (!found && !in.AtEnd()) {
        read_nmea_sentence(in, sentence);
        if (nmea_tokenize(sentence, f) == 0) {
            const SentenceCode code = nmea_classify(f);
            found = code == kGGA || code == kRMC;
        }
    }
    in.Seek(0);
    return found;
}

}  // namespace

int tracking_analysis(const std::string& log_folder, const std::string& log_name, const std::string& rinex_folder,
                      int32_t report_type, bool matlab_requested, TrackingCharts charts)
{
    if (report_type > 4) {
        std::fprintf(stderr, "report type %d is not a report layout: give 0 to 4, or below 0 to typeset nothing\n",
                     report_type);
        return 2;
    }
    const std::string log_path = FolderPrefix(log_folder) + log_name;
    ByteStream in;
    if (log_name.empty()) {
        // A folder run reads many logs; this analysis tables one.
        std::fprintf(stderr, "%s is a folder: the tracking analysis reads one log (navsift -nmea %sLOG -trk)\n",
                     log_path.c_str(), log_path.c_str());
        return 1;
    }
    if (!in.Open(log_path)) {
        std::fprintf(stderr, "cannot open %s\n", log_path.c_str());
        return 1;
    }
    // Epochs begin at a $GPGGA or $GPRMC: a log without them has nothing to
    // put in a table, and gets no report.
    if (!HasGpsPositions(in)) {
        run_log_lacks(in, log_path, "no $GPGGA or $GPRMC sentence: no epoch to analyse");
        return 0;
    }
    const std::string report_folder = TrackingReportFolder(log_folder);
    if (!MakeFolder(report_folder)) {
        return 1;
    }
    // Below 0 nothing is typeset, yet the reports are still written, in the
    // full layout, for typesetting elsewhere.
    const int layout = report_type >= 0 ? report_type : 0;
    TrackingReport report;
    TrackingRun run(in, report_folder, rinex_folder);
    if (!report.Open(report_folder, layout, layout, true) || !run.OpenReportTables()) {
        report.Finish();
        run.CloseReportTables();
        return 1;
    }
    int64_t start = 0;
    if (nmea_seek_first_fix(in, start) != 0) {
        std::printf("NO FIX detected in the input file!\r\n");
        in.Seek(0);
        int rmc_first = 1;
        NmeaEpoch scratch;
        if (nmea_sync_start(in, start, rmc_first, scratch) != 0) {
            start = static_cast<int64_t>(in.Size());
        }
    }
    int status = 0;
    if (!run.Windows(start, report)) {
        status = 1;
    }
    if (run.RefusedTimes() > 0) {
        std::fflush(stdout);
        std::fprintf(stderr,
                     "%s: %d \"$PQNVTG\" sentence(s) with a failed checksum or a time that disagrees with their "
                     "RMC not used for time\n",
                     log_path.c_str(), run.RefusedTimes());
    }
    if (run.OffTheEarth() > 0) {
        std::printf("%d positions off the earth left out (written as no position and no fix)\n", run.OffTheEarth());
    }
    if (run.WithoutTime() > 0) {
        std::printf("%d epochs without a GPS time (no $PQNVTG, no RMC date and time): their satellite visibility "
                    "is not known\n",
                    run.WithoutTime());
    }
    if (!run.CloseReportTables()) {
        status = 1;
    }
    if (!report.Finish()) {
        status = 1;
    }
    if (status != 0) {
        return status;
    }
    if (run.Epochs() == 0) {
        run_log_lacks(in, log_path, "no epoch with a $GPGGA sentence to analyse");
        return 0;
    }
    // The log is read: the workbooks need the memory it holds (a moved-to
    // string may keep its buffer, a destroyed one does not).
    {
        const ByteStream done = std::move(in);
    }
    const bool with_charts = charts == TrackingCharts::All;
    {
        // The workbooks are independent of each other and of the tables
        // being written meanwhile: built side by side, printed in order.
        std::optional<ChartWorkbookQueue> queue;
        if (with_charts) {
            queue.emplace();
            queue->GlobalInfoCharts(report_folder + "global_info.csv");
        }
        if (cn0_analysis(report_folder, queue ? &*queue : nullptr) != 0) {
            status = 1;
        }
        if (queue && queue->Finish() != 0) {
            status = 1;
        }
    }
    if (report_type >= 0) {
        if (matlab_not_available(report.ScriptPath(), matlab_requested) != 0) {
            status = 1;
        }
        // Without the plots of the plotting program the PDF lacks its charts;
        // the tables and sources stand, so this is told but is no failure of
        // the analysis.
        if (run_pdflatex(report_folder, report.MainReportName()) != 0) {
            std::fprintf(stderr, "the tracking report %s%s was not typeset whole; its sources are kept\n",
                         report_folder.c_str(), report.MainReportName().c_str());
        }
    }
    return status;
}

int start_tracking_analysis(const OptionRecord& options)
{
    set_tracking_window_length(options.trange);
    const std::optional<std::string> log = options.Arg(options.nmea);
    if (!log) {
        std::fprintf(stderr, "the tracking analysis needs -nmea with a log\n");
        return 2;
    }
    const PathParts parts = SplitPath(*log);
    return tracking_analysis(parts.folder, parts.name, options.e_folder, options.rtype, options.runmatlab != 0);
}

}  // namespace navsift
