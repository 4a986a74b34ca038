#include "analysis/core/options.h"

#include <cctype>
#include <cstdio>
#include <filesystem>

#include "analysis/core/byte_stream.h"
#include "analysis/core/folders.h"
#include "analysis/core/gps_time.h"
#include "analysis/core/text_util.h"

namespace navsift {

namespace {

// How an option uses the word after it.
enum class Kind {
    Flag,       // presence only
    Word,       // presence; the next word is its argument
    Optional,   // presence; some analyses read the next word, others not
    Int,        // a "%d" value only
    Color,      // presence and kml_color
    Date,       // DDMMYYYY value only
    Type,       // presence and ref_type
    Split,      // presence, split_file and the split times
    Name,       // name_text only
    Folder,     // presence and e_folder
    UText,      // presence and u_text
    Speedpath,  // presence and speedpath_text
    Odoscale,   // presence and odoscale_value
    Help,
};

struct OptionEntry {
    const char* name;
    Kind kind;
    Slot OptionRecord::*slot;
    int32_t OptionRecord::*value;
};

constexpr OptionEntry kOptions[] = {
    {"help", Kind::Help, nullptr, nullptr},
    {"acq", Kind::Flag, &OptionRecord::acq, nullptr},
    {"b1", Kind::Word, &OptionRecord::b1, nullptr},
    {"b2", Kind::Word, &OptionRecord::b2, nullptr},
    {"binary", Kind::Word, &OptionRecord::binary, nullptr},
    {"conv", Kind::Word, &OptionRecord::conv, nullptr},
    {"ctype", Kind::Int, nullptr, &OptionRecord::ctype},
    {"csv", Kind::Word, &OptionRecord::csv, nullptr},
    {"compare", Kind::Optional, &OptionRecord::compare, nullptr},
    {"color", Kind::Color, &OptionRecord::color, nullptr},
    {"date", Kind::Date, nullptr, nullptr},
    {"end", Kind::Word, &OptionRecord::end, nullptr},
    {"excel", Kind::Word, &OptionRecord::excel, nullptr},
    {"filter", Kind::Word, &OptionRecord::filter, nullptr},
    {"gpx", Kind::Word, &OptionRecord::gpx, nullptr},
    {"heading", Kind::Word, &OptionRecord::heading, nullptr},
    {"hth", Kind::Int, nullptr, &OptionRecord::hth},
    {"iode", Kind::Word, &OptionRecord::iode, nullptr},
    {"kml", Kind::Flag, &OptionRecord::kml, nullptr},
    {"maxttff", Kind::Int, nullptr, &OptionRecord::maxttff},
    {"multicolor", Kind::Flag, &OptionRecord::multicolor, nullptr},
    {"merge", Kind::Flag, &OptionRecord::merge, nullptr},
    {"nmea", Kind::Word, &OptionRecord::nmea, nullptr},
    {"name", Kind::Name, nullptr, nullptr},
    {"odoscale", Kind::Odoscale, &OptionRecord::odoscale, nullptr},
    {"out", Kind::Word, &OptionRecord::out, nullptr},
    {"ref", Kind::Flag, &OptionRecord::ref, nullptr},
    {"rtype", Kind::Int, nullptr, &OptionRecord::rtype},
    {"rename", Kind::Flag, &OptionRecord::rename, nullptr},
    {"runmatlab", Kind::Flag, &OptionRecord::runmatlab, nullptr},
    {"results", Kind::Optional, &OptionRecord::results, nullptr},
    {"size", Kind::Flag, &OptionRecord::size, nullptr},
    {"startup", Kind::Flag, &OptionRecord::startup, nullptr},
    {"support", Kind::Word, &OptionRecord::support, nullptr},
    {"swbugs", Kind::Word, &OptionRecord::swbugs, nullptr},
    {"qnveph", Kind::Word, &OptionRecord::qnveph, nullptr},
    {"skip", Kind::Flag, &OptionRecord::skip, nullptr},
    {"speedpath", Kind::Speedpath, &OptionRecord::speedpath, nullptr},
    {"speed", Kind::Word, &OptionRecord::speed, nullptr},
    {"split", Kind::Split, &OptionRecord::split, nullptr},
    {"ttff", Kind::Flag, &OptionRecord::ttff, nullptr},
    {"trk", Kind::Flag, &OptionRecord::trk, nullptr},
    {"time", Kind::Flag, &OptionRecord::time, nullptr},
    {"tasks", Kind::Word, &OptionRecord::tasks, nullptr},
    {"trange", Kind::Int, nullptr, &OptionRecord::trange},
    {"turntime", Kind::Int, nullptr, &OptionRecord::turntime},
    {"type", Kind::Type, &OptionRecord::type, nullptr},
    {"usefname", Kind::Flag, &OptionRecord::usefname, nullptr},
    {"vel", Kind::Word, &OptionRecord::vel, nullptr},
    {"vth", Kind::Int, nullptr, &OptionRecord::vth},
    // The one-letter options.
    {"a", Kind::Flag, &OptionRecord::a, nullptr},
    {"c", Kind::Flag, &OptionRecord::c, nullptr},
    {"d", Kind::Word, &OptionRecord::type, nullptr},
    {"e", Kind::Folder, &OptionRecord::e, nullptr},
    {"f", Kind::Word, &OptionRecord::f, nullptr},
    {"g", Kind::Flag, &OptionRecord::g, nullptr},
    {"i", Kind::Flag, &OptionRecord::i, nullptr},
    {"l", Kind::Word, &OptionRecord::l, nullptr},
    {"n", Kind::Flag, &OptionRecord::n, nullptr},
    {"o", Kind::Word, &OptionRecord::o, nullptr},
    {"p", Kind::Optional, &OptionRecord::p, nullptr},
    {"r", Kind::Flag, &OptionRecord::r, nullptr},
    {"s", Kind::Word, &OptionRecord::s, nullptr},
    {"t", Kind::Flag, &OptionRecord::t, nullptr},
    {"u", Kind::UText, &OptionRecord::u, nullptr},
    {"v", Kind::Flag, &OptionRecord::v, nullptr},
};

bool NeedsArgument(Kind kind)
{
    return kind != Kind::Flag && kind != Kind::Optional && kind != Kind::Help;
}

// "-1", "+2", "-0.5": a word that a numeric option takes as its value.
bool IsSignedNumber(std::string_view word)
{
    if (!word.empty() && (word[0] == '-' || word[0] == '+')) {
        word.remove_prefix(1);
    }
    bool digit = false;
    bool point = false;
    for (const char c : word) {
        if (c >= '0' && c <= '9') {
            digit = true;
        } else if (c == '.' && !point) {
            point = true;
        } else {
            return false;
        }
    }
    return digit;
}

const OptionEntry* FindOption(std::string_view name)
{
    for (const OptionEntry& entry : kOptions) {
        if (EqualsNoCase(name, entry.name)) {
            return &entry;
        }
    }
    return nullptr;
}

// Applies one option found at word index `at`. Returns 0, 2 for a missing
// argument, 1 for a split file that cannot be read.
int Apply(Kind kind, Slot OptionRecord::*slot, int32_t OptionRecord::*value, std::size_t at,
          OptionRecord& rec)
{
    const std::vector<std::string>& words = rec.words;
    const std::size_t next = at + 1;
    if (NeedsArgument(kind) && next >= words.size()) {
        std::fprintf(stderr, "option %s needs an argument\n%s", words[at].c_str(), kHelpPointer);
        return 2;
    }
    if (kind == Kind::Help) {
        print_help();
        return 0;
    }
    if (slot != nullptr) {
        rec.*slot = static_cast<Slot>(next);
    }
    const std::string arg = next < words.size() ? words[next] : std::string();
    switch (kind) {
    case Kind::Int:
        Scanner(arg).Int(rec.*value);
        break;
    case Kind::Color:
        if (const uint32_t code = ColourCode(arg); code != 0) {
            rec.kml_color = code;
        }
        break;
    case Kind::Date: {
        Scanner sc(arg);
        sc.Int(rec.date_day, 2) && sc.Int(rec.date_month, 2) && sc.Int(rec.date_year, 4);
        break;
    }
    case Kind::Type:
        rec.ref_type = LogTypeCode(arg);
        break;
    case Kind::Split:
        rec.split_file = arg;
        if (!read_split_times(rec)) {
            std::fprintf(stderr, "cannot read the split file %s\n", arg.c_str());
            return 1;
        }
        break;
    case Kind::Name:
        rec.name_text = arg;
        break;
    case Kind::Folder:
        rec.e_folder = arg;
        if (rec.e_folder.empty() || (rec.e_folder.back() != '/' && rec.e_folder.back() != '\\')) {
            rec.e_folder += '/';
        }
        break;
    case Kind::UText:
        rec.u_text = arg;
        break;
    case Kind::Speedpath:
        rec.speedpath_text = arg;
        break;
    case Kind::Odoscale:
        Scanner(arg).Real(rec.odoscale_value);
        break;
    default:
        break;
    }
    return 0;
}

}  // namespace

std::optional<std::string> DebugLogPath(const OptionRecord& record)
{
    const std::vector<std::string>& words = record.words;
    if (record.type == 0 || record.type > words.size()) {
        return std::nullopt;
    }
    const std::string& option = words[record.type - 1];
    if (!EqualsNoCase(std::string_view(option).substr(1), "type")) {
        return record.Arg(record.type);
    }
    for (std::size_t k = 1; k < words.size(); ++k) {
        const std::string& word = words[k];
        if (word.empty()) {
            continue;
        }
        const std::string_view name = std::string_view(word).substr(1);
        const OptionEntry* entry = FindOption(name);
        if (word[0] == '/' && entry == nullptr) {
            return word;  // an absolute path
        }
        if (word[0] != '-') {
            return word;
        }
        // An option: its argument, when it takes one, is not the log.
        if (entry != nullptr && NeedsArgument(entry->kind)) {
            ++k;
        }
    }
    return std::nullopt;
}

int32_t LogTypeCode(std::string_view word)
{
    static constexpr std::string_view kTypes[] = {"gps",   "ref",     "old",     "gar",    "ecoh",
                                                  "ecos",  "gvn52",   "gvn52mm", "garnmea", "nodate"};
    for (int32_t k = 0; k < 10; ++k) {
        if (EqualsNoCase(word, kTypes[k])) {
            return k + 1;
        }
    }
    return 0;
}

uint32_t ColourCode(std::string_view word)
{
    static constexpr std::pair<std::string_view, uint32_t> kColours[] = {
        {"red", 0xff0000ff},    {"blue", 0xffff0000},  {"green", 0xff00ff00},  {"yellow", 0xff00ffff},
        {"orange", 0xff00aaff}, {"white", 0xffffffff}, {"purple", 0xffff00ff},
    };
    for (const auto& [name, code] : kColours) {
        if (EqualsNoCase(word, name)) {
            return code;
        }
    }
    return 0;
}

bool IsHelpWord(const std::string& word)
{
    if (word.size() < 2 || (word[0] != '-' && word[0] != '/')) {
        return false;
    }
    std::string_view name = std::string_view(word).substr(1);
    if (word[0] == '-' && name.starts_with('-')) {
        name.remove_prefix(1);  // the "--help" of other programs
    }
    return name.starts_with('?') || EqualsNoCase(name, "help") || EqualsNoCase(name, "h");
}

bool IsVersionWord(const std::string& word)
{
    return word == "--version" || (word.size() > 1 && word[0] == '-' && EqualsNoCase(word.substr(1), "version"));
}

void print_version()
{
    std::printf("navsift ver. %s\n", kVersion);
}

bool read_split_times(OptionRecord& record)
{
    ByteStream in;
    if (!in.Open(record.split_file)) {
        return false;
    }
    std::string line;
    while (!in.AtEnd()) {
        read_line(in, line);
        int hh, mm, ss, dd, mo, yy;
        if (std::sscanf(line.c_str(), "%02d:%02d:%02d %02d/%02d/%04d", &hh, &mm, &ss, &dd, &mo, &yy) != 6) {
            continue;
        }
        if (const auto gps = calendar_to_gps(yy, mo, dd, hh, mm, ss)) {
            record.split_times.push_back(static_cast<uint32_t>(*gps));
            ++record.split_count;
        }
    }
    return true;
}

int parse_options(const std::vector<std::string>& words, OptionRecord& record)
{
    record = OptionRecord{};
    record.words = words;
    bool numeric_value_next = false;
    bool unknown = false;
    for (std::size_t at = 1; at < words.size(); ++at) {
        const std::string& word = words[at];
        // The value of a numeric option ("-rtype -1") is a number, not an option.
        const bool is_value = numeric_value_next && IsSignedNumber(word);
        numeric_value_next = false;
        if (is_value || word.empty() || (word[0] != '-' && word[0] != '/')) {
            continue;  // file names, arguments, search words
        }
        const std::string_view name = std::string_view(word).substr(1);
        const OptionEntry* entry = FindOption(name);
        if (word[0] == '/' && entry == nullptr && name != "?") {
            continue;  // an absolute path, not an option
        }
        int status = 0;
        if (entry != nullptr) {
            numeric_value_next = entry->kind == Kind::Int || entry->kind == Kind::Odoscale;
            status = Apply(entry->kind, entry->slot, entry->value, at, record);
        } else if (IsHelpWord(word)) {
            print_help();
        } else {
            // Never taken for another option nor passed over: a mistyped
            // option would run something else, or nothing, without a word.
            std::fprintf(stderr, "unknown option %s\n", word.c_str());
            unknown = true;
        }
        if (status != 0) {
            return status;
        }
    }
    if (unknown) {
        std::fputs(kHelpPointer, stderr);
        return 2;
    }
    return 0;
}

}  // namespace navsift
