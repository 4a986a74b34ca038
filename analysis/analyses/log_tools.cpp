#include "analysis/analyses/log_tools.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <vector>

#include "analysis/core/byte_stream.h"
#include "analysis/core/folders.h"
#include "analysis/core/gps_time.h"
#include "analysis/core/nmea_epoch.h"
#include "analysis/core/nmea_reader.h"
#include "analysis/core/out_file.h"
#include "analysis/core/run_outcome.h"
#include "analysis/core/text_util.h"

namespace navsift {

namespace fs = std::filesystem;

namespace {

bool Contains(std::string_view text, std::string_view what) { return text.find(what) != std::string_view::npos; }

// Cuts the sentences out of a log for rewriting it. A sentence begins at a
// "$" followed by an address of capitals and digits ("$GPGGA,", "$PQNVTG,",
// "$PQNVCOLD*") and ends with its checksum ("*" and two hexadecimal
// digits), else at its line's end; what stands between sentences (an AIS
// line, a comment line, binary bytes after a checksum) is no part of one. A
// sentence broken by a line break before its checksum is joined when the
// checksum then holds.
class SentenceCutter {
public:
    explicit SentenceCutter(ByteStream& in) : in_(in) {}
    bool AtEnd() const { return in_.AtEnd(); }
    // The next sentence with its "\r\n" into `s`; false when the rest of
    // the log holds none.
    bool Next(std::string& s)
    {
        const std::string_view text(in_.Data(), in_.Size());
        for (;;) {
            const std::size_t dollar = text.find('$', in_.Pos());
            if (dollar == std::string_view::npos) {
                in_.Advance(text.size() - in_.Pos());
                return false;
            }
            in_.Advance(dollar - in_.Pos() + 1);
            if (!HasAddress(text, dollar)) {
                continue;
            }
            const std::size_t end = SentenceEnd(text, dollar, s);
            in_.Advance(end - in_.Pos());
            s += "\r\n";
            return true;
        }
    }

private:
    // The longest sentence kept whole; a longer run of text is cut there.
    static constexpr std::size_t kMaxSentence = 2047;

    static bool HasAddress(std::string_view text, std::size_t dollar)
    {
        std::size_t k = dollar + 1;
        while (k < text.size() && k - dollar <= 16 &&
               (std::isupper(static_cast<unsigned char>(text[k])) || std::isdigit(static_cast<unsigned char>(text[k])))) {
            ++k;
        }
        return k - dollar >= 3 && k - dollar <= 16 && k < text.size() && (text[k] == ',' || text[k] == '*');
    }

    static bool IsHex(char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }

    // The checksum field after the "*" at `star`: up to two hexadecimal digits.
    static std::size_t ChecksumEnd(std::string_view text, std::size_t star)
    {
        std::size_t k = star + 1;
        while (k < text.size() && k - star <= 2 && IsHex(text[k])) {
            ++k;
        }
        return k;
    }

    // Puts the sentence that begins at `dollar` into `s` (line breaks
    // inside it dropped) and returns where it ends in `text`.
    static std::size_t SentenceEnd(std::string_view text, std::size_t dollar, std::string& s)
    {
        std::size_t next = text.find('$', dollar + 1);
        if (next == std::string_view::npos) {
            next = text.size();
        }
        const std::size_t limit = std::min(next, dollar + kMaxSentence);
        const std::size_t line_end = std::min(text.find_first_of("\r\n", dollar), limit);
        const std::size_t star = text.find('*', dollar);
        if (star != std::string_view::npos && star < line_end) {
            const std::size_t end = ChecksumEnd(text, star);
            s.assign(text.substr(dollar, end - dollar));
            return end;
        }
        if (star != std::string_view::npos && star < limit) {
            // Broken over lines: joined only where the checksum says it is one.
            std::string joined;
            for (std::size_t k = dollar; k < star; ++k) {
                if (text[k] != '\r' && text[k] != '\n') {
                    joined += text[k];
                }
            }
            const std::size_t end = ChecksumEnd(text, star);
            const std::string_view digits = text.substr(star + 1, end - star - 1);
            if (digits.size() == 2 &&
                std::strtoul(std::string(digits).c_str(), nullptr, 16) == NmeaChecksum(joined)) {
                s = joined;
                s.append(text.substr(star, end - star));
                return end;
            }
        }
        s.assign(text.substr(dollar, line_end - dollar));
        return line_end;
    }

    ByteStream& in_;
};

// Regrouping keeps a GGA only when its latitude carries more than three
// decimals.
bool KeptInGroup(const std::string& sentence)
{
    if (Contains(sentence, "GPGGA")) {
        NmeaFields f;
        if (nmea_tokenize(sentence, f) != 0) {
            return false;
        }
        const std::string_view lat = f[2];
        const std::size_t dot = lat.find('.');
        return dot != std::string_view::npos && lat.size() - dot - 1 > 3;
    }
    for (const char* name : {"GPVTG", "GPGSA", "GPGSV", "PQNVTG", "PQNVTS"}) {
        if (Contains(sentence, name)) {
            return true;
        }
    }
    return false;
}

int32_t RmcTime(const std::string& sentence)
{
    NmeaFields f;
    nmea_tokenize(sentence, f);
    NmeaEpoch e;
    parse_rmc(f, e);
    return e.gps_time;
}

void Regroup(ByteStream& in)
{
    SentenceCutter cut(in);
    std::string s;
    auto next_rmc = [&](bool print_kept) {
        while (cut.Next(s)) {
            if (Contains(s, "GPRMC")) {
                return true;
            }
            if (print_kept && KeptInGroup(s)) {
                std::fwrite(s.data(), 1, s.size(), stdout);
            }
        }
        return false;
    };
    int32_t last = 0;
    bool have = next_rmc(false);
    while (have) {
        const int32_t t = RmcTime(s);
        if (t == last) {
            have = next_rmc(false);  // the same second again: its group is left out
            continue;
        }
        std::fwrite(s.data(), 1, s.size(), stdout);
        run_produced();
        last = t;
        have = next_rmc(true);
    }
}

}  // namespace

bool HoldsNmeaSentence(ByteStream& in)
{
    SentenceCutter cut(in);
    std::string s;
    const bool found = cut.Next(s);
    in.Seek(0);
    return found;
}

int convert_log(const OptionRecord& o)
{
    const std::optional<std::string> input = o.Arg(o.conv);
    ByteStream in;
    if (!input || !in.Open(*input)) {
        std::fprintf(stderr, "cannot open %s\n", input ? input->c_str() : "the -conv log");
        return 1;
    }
    if (!HoldsNmeaSentence(in)) {
        run_input_lacks(*input, in.Size() == 0 ? "it is empty; nothing converted"
                                               : "it holds no NMEA sentence; nothing converted");
        return 0;
    }
    if (o.ctype == 1) {
        Regroup(in);
        std::fflush(stdout);
        return 0;
    }
    const std::optional<std::string> output = o.Arg(o.o);
    if (!output) {
        std::fprintf(stderr, "-conv needs -o with the output file\n");
        return 2;
    }
    // The output is created empty: it must never be the log being read.
    if (*output == *input || SameFile(*output, *input)) {
        std::fprintf(stderr, "the output %s is the input; choose another -o\n", output->c_str());
        return 1;
    }
    OutFile out;
    if (!out.Create(*output)) {
        std::fprintf(stderr, "cannot create %s: %s\n", output->c_str(), out.Error().c_str());
        return 1;
    }
    SentenceCutter cut(in);
    std::string s;
    int count = 0;
    while (cut.Next(s)) {
        out.Write(s);
        run_produced();
        std::printf("Converted Sentences: %d\r", ++count);
    }
    std::fflush(stdout);
    if (!out.Close()) {
        std::fprintf(stderr, "cannot write %s: %s\n", output->c_str(), out.Error().c_str());
        return 1;
    }
    return 0;
}

int rename_logs(const OptionRecord& o)
{
    const std::optional<std::string> word = o.Arg(o.nmea);
    if (!word) {
        std::fprintf(stderr, "-rename needs -nmea with the folder of the logs\n");
        return 2;
    }
    // The folder of a log named in it, or the folder named itself.
    std::error_code dir_ec;
    const std::string folder_word =
        fs::is_directory(*word, dir_ec) && !word->ends_with('/') ? *word + "/" : *word;
    const RunFolder run = read_run_folder(folder_word, "*.*", {}, "files");
    const std::string& folder = run.folder;
    int status = 0;
    int named = 0;
    std::vector<std::string> not_logs;
    for (const std::string& name : run.entries.front().files) {
        const std::string path = folder + name;
        std::error_code ec;
        if (!fs::is_regular_file(path, ec)) {
            continue;  // sub-folders are not logs
        }
        std::printf("Processing %s ... ", name.c_str());
        ByteStream in;
        if (!in.Open(path)) {
            std::printf("cannot open\n");
            status = 1;
            continue;
        }
        if (is_nmea_log(in) != 0) {
            std::printf("Nmea File NOT Recognized\n");
            not_logs.push_back(path);
            continue;
        }
        std::printf("Nmea File Recognized \n");
        NmeaEpoch e;
        while (nmea_read_epoch(in, e) == 0 && e.fix_quality == 0) {
        }
        std::string target;
        if (e.Has(kHasRMC)) {
            target = Format("NMEALOG_%02d%02d%02d_%02d%02d%02d.txt", e.rmc_day, e.rmc_month, e.rmc_year, e.rmc_hour,
                            e.rmc_minute, e.rmc_second);
        } else if (e.Has(kHasQnvTG)) {
            target = Format("NMEALOG_%02d%02d%02d_%02d%02d%02d.txt", e.tg_day, e.tg_month, e.tg_year, e.tg_hour,
                            e.tg_minute, e.tg_second);
        } else {
            // Another log's time would name this one wrongly.
            std::printf("no time found, %s not renamed\n", name.c_str());
            run_log_lacks(in, path, "no fix with an RMC or $PQNVTG time; not renamed");
            continue;
        }
        if (target == name) {
            ++named;  // named after its time already
            continue;
        }
        if (fs::exists(folder + target, ec)) {
            std::printf("target exists, not renamed: %s\n", target.c_str());
            continue;
        }
        fs::rename(path, folder + target, ec);
        if (ec) {
            std::fprintf(stderr, "cannot rename %s: %s\n", path.c_str(), ec.message().c_str());
            status = 1;
        } else {
            ++named;
        }
    }
    run_produced(static_cast<std::size_t>(named));
    // Files that are no log are passed over in a folder of logs; a folder
    // where nothing was renamed says why for each.
    if (named == 0) {
        for (const std::string& path : not_logs) {
            ByteStream in;
            if (in.Open(path)) {
                run_log_lacks(in, path, "not an NMEA log: fewer than 6 $GPGGA or $GPRMC sentences");
            }
        }
    }
    return status;
}

int results_to_csv(const OptionRecord& o)
{
    const std::optional<std::string> input = o.Arg(o.results);
    if (!input) {
        std::fprintf(stderr, "-results needs the result list\n");
        return 2;
    }
    if (o.date_year == 0) {
        std::fprintf(stderr, "-results needs -date DDMMYYYY for the GPS times\n");
        return 2;
    }
    ByteStream in;
    if (!in.Open(*input)) {
        std::fprintf(stderr, "cannot open %s\n", input->c_str());
        return 1;
    }
    const std::string output = fs::path(*input).replace_extension(".csv").string();
    if (output == *input) {
        std::fprintf(stderr, "the output %s would replace the input; rename the list\n", output.c_str());
        return 1;
    }
    OutFile out;
    if (!out.Create(output)) {
        std::fprintf(stderr, "cannot create %s: %s\n", output.c_str(), out.Error().c_str());
        return 1;
    }
    std::string line;
    std::size_t lines = 0;
    for (;;) {
        read_line(in, line);
        if (line.empty()) {
            break;
        }
        double value = 0;
        int trial = 0;
        // A line without its value and trial is not a result line.
        if (std::sscanf(line.c_str(), "%lf\t%% %d", &value, &trial) != 2) {
            continue;
        }
        const std::size_t at = line.find("$GP");
        NmeaFields f;
        if (at == std::string::npos || nmea_tokenize(std::string_view(line).substr(at), f) != 0) {
            continue;
        }
        NmeaEpoch e;
        parse_gga(f, e);
        const std::optional<int32_t> t =
            calendar_to_gps(o.date_year, o.date_month, o.date_day, e.gga_hour, e.gga_minute, e.gga_second);
        if (!t) {
            continue;
        }
        out.Printf("%3.1lf,%d,%d\n", value, trial, *t);
        ++lines;
    }
    run_produced(lines);
    if (lines == 0) {
        run_log_lacks(in, *input, "no result line: a value, a tab, \"% \" and a trial, and a $GPGGA sentence");
    }
    if (!out.Close()) {
        std::fprintf(stderr, "cannot write %s: %s\n", output.c_str(), out.Error().c_str());
        return 1;
    }
    return 0;
}

int check_time_steps(const OptionRecord& o)
{
    const std::optional<std::string> input = o.Arg(o.nmea);
    ByteStream in;
    if (!input || !in.Open(*input)) {
        std::fprintf(stderr, "cannot open %s\n", input ? input->c_str() : "the -nmea log");
        return 1;
    }
    // Steps are measured between epochs that tell their GPS time: an epoch
    // without "$PQNVTG" has none to compare, and a lost one shows as the
    // step of two seconds that it leaves.
    NmeaEpoch e;
    int more = 0;
    bool have_previous = false;
    int64_t week = 0;
    double tow = 0;
    std::array<int32_t, kMaxPrn> timers{};
    std::size_t steps = 0;
    int untimed = 0;
    do {
        more = nmea_read_epoch(in, e);
        if (e.flags == 0) {
            continue;  // nothing read: the end of the log
        }
        if (!e.Has(kHasQnvTG)) {
            ++untimed;
            continue;
        }
        if (have_previous) {
            ++steps;
            // In whole milliseconds, in 64 bits.
            const double step = ((e.tg_week - week) * 604800.0 + (e.tg_tow - tow)) * 1000.0 + 0.5;
            const int64_t gap = std::isfinite(step) ? static_cast<int64_t>(step) : 0;
            bool reported = false;
            if (gap < 999 || gap > 1001) {
                std::printf("WARNING: %02d:%02d:%02d GPSTimeGap %lld ms\r\n", e.gga_hour, e.gga_minute, e.gga_second,
                            static_cast<long long>(gap));
                reported = true;
            }
            for (int id = 0; id < kMaxPrn; ++id) {
                const int32_t timer = e.ts[static_cast<std::size_t>(id)].timer_ms;
                const int32_t previous = timers[static_cast<std::size_t>(id)];
                const int64_t d = int64_t{timer} - previous;
                if (timer > 0 && previous > 0 && d > 0 && (d < 999 || d > 1001)) {
                    if (!reported) {
                        std::printf("\r\n>>>>>>>>>>>> WARNING: INCONSISTENT TRACKING TIMER GAP!>>>>>>>>>>>>>\r\n");
                        reported = true;
                    }
                    std::printf("TRK TIME WARNING: %02d:%02d:%02d Sat %02d GPSTimeGap %5lld Timer %10d %10d "
                                "TrkTimeGap %lld ms\r\n",
                                e.gga_hour, e.gga_minute, e.gga_second, id + 1, static_cast<long long>(gap), timer,
                                previous, static_cast<long long>(d));
                }
            }
        }
        for (int id = 0; id < kMaxPrn; ++id) {
            timers[static_cast<std::size_t>(id)] = e.ts[static_cast<std::size_t>(id)].timer_ms;
        }
        week = e.tg_week;
        tow = e.tg_tow;
        have_previous = true;
    } while (more == 0);
    std::fflush(stdout);
    run_produced(steps);
    if (steps == 0) {
        run_log_lacks(in, *input,
                      have_previous ? "one epoch with \"$PQNVTG\" only: no time step to check"
                                    : "no \"$PQNVTG\" sentence: its GPS time steps cannot be checked");
    } else if (untimed > 0) {
        std::fprintf(stderr, "%s: %d epoch(s) without \"$PQNVTG\" not checked\n", input->c_str(), untimed);
    }
    return 0;
}

}  // namespace navsift
