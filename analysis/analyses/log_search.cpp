#include "analysis/analyses/log_search.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "analysis/core/folders.h"
#include "analysis/core/run_outcome.h"
#include "analysis/core/text_util.h"

namespace navsift {

namespace {

bool Contains(std::string_view text, std::string_view what) { return text.find(what) != std::string_view::npos; }

// Reads "hh:mm:ss  on  dd/mm/yyyy" after a header's prefix; each value is
// taken only when it was read.
void ReadStamp(std::string_view rest, HeaderTime& t)
{
    const std::string text(rest);
    int32_t v[6] = {0, 0, 0, 0, 0, 0};
    const int got = std::sscanf(text.c_str(), " %2d:%2d:%2d on %2d/%2d/%4d", &v[0], &v[1], &v[2], &v[3], &v[4], &v[5]);
    int32_t* fields[6] = {&t.hour, &t.minute, &t.second, &t.day, &t.month, &t.year};
    for (int k = 0; k < got && k < 6; ++k) {
        *fields[k] = v[k];
    }
}

std::string Stamp(const HeaderTime& t)
{
    return Format("%02d:%02d:%02d on %02d/%02d/%04d> ", t.hour, t.minute, t.second, t.day, t.month, t.year);
}

// The time kept from $GPGGA lines for -n: the second of day with a day
// counter, so that a log running past midnight keeps counting up.
struct NmeaClock {
    int32_t hour = 0, minute = 0, second = 0;
    int32_t previous_sod = 0, days = 0;
    int64_t last_checked = 0;
};

void WriteOut(std::FILE* f, const std::string& text) { std::fwrite(text.data(), 1, text.size(), f); }

// The first number of a line (satellite rows of a debug log start with it).
bool FirstNumberIs(const std::string& line, int prn)
{
    int32_t v = -1;
    return Scanner(line).Int(v) && v == prn;
}

}  // namespace

bool parse_log_header(std::string_view line, HeaderTime& t)
{
    for (std::string_view prefix : {std::string_view("KALMAN |"), std::string_view("LMS |")}) {
        if (line.starts_with(prefix)) {
            ReadStamp(line.substr(prefix.size()), t);
            return true;
        }
    }
    return false;
}

std::string nmea_payload(std::string_view line)
{
    const std::size_t dollar = line.find('$');
    if (dollar == std::string_view::npos) {
        return {};
    }
    const std::size_t comma = line.find(',', dollar);
    return comma == std::string_view::npos ? std::string() : std::string(line.substr(comma + 1));
}

std::vector<std::string> search_words(const OptionRecord& o)
{
    std::size_t stop = o.words.size();
    // The option word comes just before the slot's word.
    for (Slot s : {o.filter, o.end, o.l, o.c, o.n}) {
        if (s != 0) {
            stop = std::min<std::size_t>(stop, s - 1);
        }
    }
    std::vector<std::string> words;
    for (std::size_t k = 2; k < stop; ++k) {
        words.push_back(o.words[k]);
    }
    return words;
}

std::size_t log_search(ByteStream& in, const OptionRecord& o, const std::vector<std::string>& words, std::FILE* copy,
                       int only_prn)
{
    std::size_t matches = 0;
    const std::string filter = o.filter != 0 ? o.Arg(o.filter).value_or("") : "";
    const std::string end_text = o.end != 0 ? o.Arg(o.end).value_or("") : "";
    HeaderTime now, last_printed;
    bool printed_any = false;
    NmeaClock clock;
    bool raw_until_end = false;
    int32_t lines_left = 0;
    std::string line;
    bool line_begins = true;  // a line longer than a piece goes on in the next
    for (;;) {
        const int64_t position = read_line(in, line);
        if (line.empty()) {
            break;
        }
        // A satellite's pass searches its own lines, on the time of the
        // headers among all the others.
        const bool searched = only_prn == 0 || (line_begins && FirstNumberIs(line, only_prn));
        line_begins = line.back() == '\n';
        if (!filter.empty()) {
            if (const std::size_t at = line.find(filter); at != std::string::npos) {
                line.erase(0, at + filter.size());
            }
        }
        if (searched && raw_until_end) {
            WriteOut(stdout, line);
            if (Contains(line, end_text)) {
                return matches;
            }
        }
        if (searched && lines_left > 0) {
            WriteOut(stdout, line);
            --lines_left;
        }
        int64_t stamp = 0;
        if (o.n == 0) {
            parse_log_header(line, now);
        } else {
            // A log cut while being written can end in a bare "$GPGGA": no time.
            if (line.starts_with("$GPGGA") && line.size() > 7) {
                Scanner sc(std::string_view(line).substr(7));
                int32_t v = 0;
                if (sc.Int(v, 2)) {
                    clock.hour = v;
                    if (sc.Int(v, 2)) {
                        clock.minute = v;
                        if (sc.Int(v, 2)) {
                            clock.second = v;
                        }
                    }
                }
            }
            const int32_t sod = clock.hour * 3600 + clock.minute * 60 + clock.second;
            if (sod < clock.previous_sod) {
                ++clock.days;
            }
            clock.previous_sod = sod;
            stamp = int64_t{clock.days} * 86400 + sod;
            now.hour = clock.hour;
            now.minute = clock.minute;
            now.second = clock.second;
        }
        if (!searched) {
            continue;
        }
        // One match per second of the log's time: the whole stamp is
        // compared, so the same second a minute later is another second.
        if (o.a != 0 && printed_any && now == last_printed) {
            continue;
        }
        auto dropping_check = [&]() {
            if (static_cast<uint64_t>(stamp - clock.last_checked) > 1) {
                std::printf("NMEA dropping check: %02d:%02d:%02d on %02d/%02d/%04d> ERROR\r\n", now.hour, now.minute,
                            now.second, now.day, now.month, now.year);
            }
            clock.last_checked = stamp;
        };
        for (const std::string& word : words) {
            if (!Contains(line, word)) {
                continue;
            }
            ++matches;
            if (o.end != 0) {
                raw_until_end = true;
            }
            if (o.l != 0) {
                lines_left = o.lines_after;
            }
            if (copy != nullptr) {
                if (o.n != 0) {
                    WriteOut(copy, Format("%lld,", static_cast<long long>(stamp)) + nmea_payload(line) + "\r");
                } else if (o.g != 0) {
                    dropping_check();
                } else {
                    WriteOut(copy, Stamp(now) + line + "\r");
                }
            }
            if (o.n != 0 && o.g != 0) {
                dropping_check();
            } else if (o.n != 0) {
                WriteOut(stdout, Format("%lld,", static_cast<long long>(stamp)) + nmea_payload(line) + "\r");
            } else {
                std::string out = o.p != 0 ? Format("%lld - ", static_cast<long long>(position)) : std::string();
                WriteOut(stdout, out + Stamp(now) + line + "\r");
                last_printed = now;
                printed_any = true;
            }
        }
    }
    return matches;
}

std::size_t log_interval(ByteStream& in, const std::string& start, const std::string& end, const OptionRecord& o)
{
    HeaderTime now, started;
    bool inside = false;
    int n = 0;
    std::string line;
    for (;;) {
        read_line(in, line);
        if (line.empty()) {
            break;
        }
        parse_log_header(line, now);
        if (!inside) {
            if (Contains(line, start)) {
                inside = true;
                started = now;
            }
            continue;
        }
        if (o.skip != 0 && Contains(line, start)) {
            started = now;
        }
        if (Contains(line, end)) {
            inside = false;
            ++n;
            const std::string when = Format("%d > ", n) + Stamp(now);
            if (o.t != 0) {
                WriteOut(stdout, when + line);
            } else {
                int32_t to = now.hour * 3600 + now.minute * 60 + now.second;
                const int32_t from = started.hour * 3600 + started.minute * 60 + started.second;
                if (to < from) {
                    to += 86400;
                }
                WriteOut(stdout, when + start + " > " + end + Format(" : %d s\n", to - from - 1));
            }
        }
    }
    return static_cast<std::size_t>(n);
}

int run_log_search(OptionRecord& o)
{
    if (o.words.size() < 2) {
        std::fprintf(stderr, "no log to search\n");
        return 2;
    }
    const std::string& input = o.words[1];
    ByteStream in;
    if (!in.Open(input)) {
        std::fprintf(stderr, "cannot open %s\n", input.c_str());
        return 1;
    }
    if (o.g != 0 && o.n == 0) {
        std::fprintf(stderr, "-g checks the $GPGGA times: use it with -n\n");
    }
    const std::vector<std::string> words = search_words(o);
    const std::string searched = words.empty() ? std::string("no search word") : "\"" + words.front() + "\"" +
                                                                                       (words.size() > 1 ? " ..." : "");
    if (o.c != 0) {
        // One file per satellite, each from its own pass over the log.
        std::size_t matches = 0;
        for (int prn = 1; prn <= 32; ++prn) {
            const std::string name = Format("sat_%02d.txt", prn);
            std::FILE* copy = open_output(name, "wb");
            if (copy == nullptr) {
                std::fprintf(stderr, "cannot create %s\n", name.c_str());
                return 1;
            }
            in.Seek(0);
            matches += log_search(in, o, words, copy, prn);
            if (std::fclose(copy) != 0) {
                std::fprintf(stderr, "cannot write %s\n", name.c_str());
                return 1;
            }
        }
        run_produced(matches);
        if (matches == 0) {
            run_input_lacks(input, "no satellite line (one that begins with its satellite number 1 to 32) holds " +
                                       searched);
        }
        return 0;
    }
    if (o.f != 0 && o.s != 0) {
        const auto start = o.Arg(o.f);
        const auto end = o.Arg(o.s);
        if (!start || !end) {
            std::fprintf(stderr, "-f and -s need their markers\n");
            return 2;
        }
        const std::size_t intervals = log_interval(in, *start, *end, o);
        run_produced(intervals);
        if (intervals == 0) {
            run_input_lacks(input, "no \"" + *start + "\" line followed by an \"" + *end + "\" line");
        }
        return 0;
    }
    const std::size_t matches = log_search(in, o, words, nullptr);
    std::fflush(stdout);
    run_produced(matches);
    if (matches == 0) {
        run_input_lacks(input, words.empty() ? "no search word given after the log" : "no line holds " + searched);
    }
    return 0;
}

}  // namespace navsift
