#pragma once
// The command line of navsift: one record with a field per option, filled by
// one pass over the words.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace navsift {

// A presence slot holds the index of the word after the option (so the
// option's argument, when it has one, is the word at that index); 0 means
// the option is absent.
using Slot = uint32_t;

struct OptionRecord {
    std::vector<std::string> words;  // the whole command line, word 0 the program path

    Slot o = 0, i = 0, f = 0, s = 0, t = 0, skip = 0, a = 0, l = 0, c = 0, n = 0, g = 0, p = 0, acq = 0, size = 0,
         b1 = 0, b2 = 0, type = 0, r = 0, e = 0, v = 0, u = 0, filter = 0, end = 0, qnveph = 0, iode = 0;
    int32_t lines_after = 0;
    Slot nmea = 0;
    int32_t maxttff = 300;  // seconds
    Slot startup = 0, ttff = 0, trk = 0, conv = 0, kml = 0;
    int32_t trange = 0;  // seconds of a tracking window
    Slot vel = 0, speedpath = 0, odoscale = 0;
    int32_t ref_type = 0;
    Slot color = 0, compare = 0;
    int32_t date_year = 0, date_month = 0, date_day = 0;
    Slot heading = 0, speed = 0, out = 0, merge = 0, ref = 0;
    int32_t hth = 0, turntime = 0, vth = 0, rtype = 0;
    Slot multicolor = 0, gpx = 0, csv = 0, tasks = 0, support = 0, swbugs = 0, rename = 0, excel = 0, usefname = 0,
         runmatlab = 0, results = 0;
    int32_t ctype = 0;
    Slot binary = 0, split = 0, time = 0;
    uint32_t kml_color = 0;  // aabbggrr; 0 when none given
    std::vector<uint32_t> split_times;  // GPS seconds
    int32_t split_count = 0;
    double odoscale_value = 0;
    std::string results_folder, split_file, e_folder, speedpath_text, u_text, name_text;

    // The word that a slot points at, when the option is present and the
    // word exists.
    std::optional<std::string> Arg(Slot slot) const
    {
        if (slot == 0 || slot >= words.size()) {
            return std::nullopt;
        }
        return words[slot];
    }
};

// Log type words of -type and their codes ("gps" 1 ... "nodate" 10).
int32_t LogTypeCode(std::string_view word);
// Colour words of -color in aabbggrr; 0 for a word that names none.
uint32_t ColourCode(std::string_view word);

// Fills the record from the words. Returns 0, 2 when an option lacks its
// argument or a word is no option navsift knows (each named on stderr), and
// 1 when the -split file cannot be read (message printed).
int parse_options(const std::vector<std::string>& words, OptionRecord& record);

// The commands and options, for -help, --help and -?, and for a command
// line without words.
void print_help();
// A word that asks for the help text.
bool IsHelpWord(const std::string& word);
// "--version" or "-version", in any letter case after the dash.
bool IsVersionWord(const std::string& word);
void print_version();
// Where a usage error points the user.
constexpr const char* kHelpPointer = "navsift -help lists the commands and their options\n";

// The debug log of -d and -type: the word after -d; with -type (whose word
// is the log type), the first word that is neither an option nor that type
// word. Nothing when there is none.
std::optional<std::string> DebugLogPath(const OptionRecord& record);

// Reads "hh:mm:ss dd/mm/yyyy" lines of record.split_file into the split
// times; false when the file cannot be opened.
bool read_split_times(OptionRecord& record);

constexpr const char* kVersion = "3.0.1";

}  // namespace navsift
