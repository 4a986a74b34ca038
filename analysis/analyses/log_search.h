#pragma once
// The default action: a grep-like search through a debug (or NMEA) log that
// stamps each matching line with the time of the last log header (or of the
// last $GPGGA), and the interval search between a start and an end marker.
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/core/byte_stream.h"
#include "analysis/core/options.h"

namespace navsift {

struct HeaderTime {
    int32_t second = 0, minute = 0, hour = 0, day = 0, month = 0, year = 0;
    bool operator==(const HeaderTime&) const = default;
};

// A "KALMAN | hh:mm:ss  on  dd/mm/yyyy" or "LMS | ..." line updates the
// values it gives and answers true.
bool parse_log_header(std::string_view line, HeaderTime& t);

// The sentence without its name: the text after the first comma that
// follows the first "$"; empty when there is none.
std::string nmea_payload(std::string_view line);

// The search words: the words after the log up to the first word of -filter,
// -end, -l or -c, or the word -n.
std::vector<std::string> search_words(const OptionRecord& o);

// The text search over `in`; matches go to standard output and, when given,
// to `copy`. `only_prn` (1..32) searches the lines whose first number is that
// satellite (the per-satellite files of -c); 0 searches every line. The log
// headers (or $GPGGA times) are read from every line either way. Returns the
// matches.
std::size_t log_search(ByteStream& in, const OptionRecord& o, const std::vector<std::string>& words, std::FILE* copy,
                       int only_prn = 0);

// The durations between `start` and `end` markers; returns how many.
std::size_t log_interval(ByteStream& in, const std::string& start, const std::string& end, const OptionRecord& o);

// The whole default action on the log named by the first word.
int run_log_search(OptionRecord& o);

}  // namespace navsift
