#include "analysis/analyses/rinex_nav.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <optional>

#include "analysis/core/folders.h"
#include "analysis/core/gps_time.h"
#include "analysis/core/text_util.h"

namespace navsift {

namespace {

// Why a file of a later RINEX version is not read.
constexpr const char* kRinex3 = "RINEX 3, which is not supported";

// The label of a header line sits in columns 61-80; some writers pad it
// differently, so it is looked for anywhere from column 61 on.
bool HasLabel(const std::string& line, const char* label)
{
    return line.size() > 60 && line.find(label, 60) != std::string::npos;
}

bool IsEndOfHeader(const std::string& line) { return HasLabel(line, "END OF HEADER"); }

// Line 1 of a record: PRN, epoch and the three clock terms.
bool ParseFirstLine(std::string line, rinex_nav_record& r)
{
    rinex_fix_exponent(line);
    rinex_nav_record t;
    int used = 0;
    const int n = std::sscanf(line.c_str(), "%d %d %d %d %d %d %lf %lE %lE %lE%n", &t.prn, &t.year, &t.month,
                              &t.day, &t.hour, &t.minute, &t.second, &t.af0, &t.af1, &t.af2, &used);
    if (n != 10 || t.prn < 1 || t.prn > 32) {
        return false;
    }
    r.prn = t.prn;
    r.year = t.year;
    r.month = t.month;
    r.day = t.day;
    r.hour = t.hour;
    r.minute = t.minute;
    r.second = t.second;
    r.af0 = t.af0;
    r.af1 = t.af1;
    r.af2 = t.af2;
    return true;
}

// Up to four values of a continuation line; how many were read.
int ParseOrbitLine(std::string line, double* values)
{
    rinex_fix_exponent(line);
    double v[4] = {0, 0, 0, 0};
    const int n = std::sscanf(line.c_str(), "%lE %lE %lE %lE", &v[0], &v[1], &v[2], &v[3]);
    for (int k = 0; k < 4; ++k) {
        values[k] = n > k ? v[k] : 0.0;
    }
    return n < 0 ? 0 : n;
}

bool IsBlank(const std::string& line)
{
    for (char c : line) {
        if (!std::isspace(static_cast<unsigned char>(c))) {
            return false;
        }
    }
    return true;
}

int LineNumberAt(RinexFile& file, int64_t position)
{
    const int64_t size = static_cast<int64_t>(file.data.Size());
    position = std::clamp<int64_t>(position, 0, size);
    if (position < file.counted_to) {
        file.counted_to = 0;
        file.counted_line = 1;
    }
    const char* data = file.data.Data();
    for (const char* at = data + file.counted_to, *end = data + position;
         (at = static_cast<const char*>(std::memchr(at, '\n', static_cast<std::size_t>(end - at)))) != nullptr;
         ++at) {
        ++file.counted_line;
    }
    file.counted_to = position;
    return file.counted_line;
}

// The leading "%d %d %d %d" of a record's first line: PRN and date. What was
// read on the way is kept in the file for the loader.
bool FirstRecordDate(RinexFile& file, int32_t& yy, int32_t& mm, int32_t& dd)
{
    file.probed = true;
    file.problems_before_first.clear();
    file.resume_at = -1;
    int64_t pos = 0;
    rinex_nav_record r;
    std::string problem;
    for (;;) {
        const int64_t at = pos;
        const bool resyncing = file.resyncing;
        const RecordRead got = rinex_read_record(file, pos, r, problem);
        if (got == RecordRead::End) {
            return false;
        }
        if (got == RecordRead::Broken) {
            file.problems_before_first.push_back(problem);
            continue;
        }
        file.resume_at = at;
        file.resume_resyncing = resyncing;
        yy = r.year;
        mm = r.month;
        dd = r.day;
        return true;
    }
}

int DayOfYear(int32_t year, int32_t month, int32_t day)
{
    const auto start = calendar_to_gps(year, 1, 1, 0, 0, 0);
    const auto now = calendar_to_gps(year, month, day, 0, 0, 0);
    return start && now ? static_cast<int>((*now - *start) / 86400) + 1 : 0;
}

}  // namespace

void rinex_fix_exponent(std::string& line)
{
    for (std::size_t k = 1; k + 1 < line.size(); ++k) {
        if ((line[k] == 'D' || line[k] == 'd') && std::isdigit(static_cast<unsigned char>(line[k - 1])) &&
            (line[k + 1] == '+' || line[k + 1] == '-')) {
            line[k] = 'E';
        }
    }
}

bool rinex_open(const std::string& path, RinexFile& file, std::string* why)
{
    file = RinexFile{};
    file.path = path;
    const auto fail = [&](const std::string& reason) {
        if (why != nullptr) {
            *why = reason;
        }
        return false;
    };
    if (!file.data.Open(path)) {
        return fail("cannot be read");
    }
    // A header has as many comment lines as its writer likes: what makes the
    // file a RINEX file is its first line, and the header ends where it says.
    std::string line;
    read_line(file.data, line);
    if (!HasLabel(line, "RINEX VERSION / TYPE")) {
        return fail("not a RINEX file: its first line is not \"RINEX VERSION / TYPE\"");
    }
    double version = 0;
    if (std::sscanf(line.c_str(), "%lf", &version) == 1 && version >= 3) {
        // Other columns and satellite systems: not a file this reader knows.
        return fail(kRinex3);
    }
    int lines = 1;
    while (!IsEndOfHeader(line)) {
        if (read_line(file.data, line) < 0 || line.empty()) {
            return fail(Format("its header of %d lines has no \"END OF HEADER\"", lines));
        }
        ++lines;
    }
    file.first_record = file.data.Tell();
    return true;
}

RecordRead rinex_read_record(RinexFile& file, int64_t& position, rinex_nav_record& out, std::string& problem)
{
    if (position <= file.first_record) {
        position = file.first_record;
        file.resyncing = false;
    }
    ByteStream& in = file.data;
    std::string line;
    // Blank lines between records are not records; other lines that do not
    // start a record are skipped up to the next one and reported once.
    int64_t junk = -1;
    rinex_nav_record r;
    for (;;) {
        in.Seek(position);
        if (in.AtEnd()) {
            if (junk >= 0) {
                problem = Format("bad RINEX record at line %d of %s", LineNumberAt(file, junk), file.path.c_str());
                return RecordRead::Broken;
            }
            return RecordRead::End;
        }
        read_line(in, line);
        if (!IsBlank(line) && ParseFirstLine(line, r)) {
            break;
        }
        if (!IsBlank(line) && junk < 0 && !file.resyncing) {
            junk = position;
        }
        position = in.Tell();
    }
    if (junk >= 0) {
        problem = Format("bad RINEX record at line %d of %s", LineNumberAt(file, junk), file.path.c_str());
        file.resyncing = true;
        return RecordRead::Broken;  // `position` is at the record that follows
    }
    const int64_t start = position;
    const int64_t next_line = in.Tell();
    for (int k = 0; k < 7; ++k) {
        if (in.AtEnd()) {
            problem = Format("truncated RINEX record at line %d of %s", LineNumberAt(file, start), file.path.c_str());
            position = in.Tell();
            file.resyncing = true;
            return RecordRead::Broken;
        }
        read_line(in, line);
        const int got = ParseOrbitLine(line, &r.orbit[static_cast<std::size_t>(4 * k)]);
        // The last line may hold only the transmission time and fit
        // interval; every other line carries values that packing needs.
        if (got < (k == 6 ? 1 : 4)) {
            problem = Format("bad RINEX record at line %d of %s", LineNumberAt(file, start), file.path.c_str());
            position = next_line;
            file.resyncing = true;
            return RecordRead::Broken;
        }
    }
    file.resyncing = false;
    out = r;
    position = in.Tell();
    return RecordRead::Record;
}

bool rinex_open_for_date(int32_t gps_seconds, const std::string& folder, const std::vector<std::string>& names,
                         RinexFile& file, std::vector<std::string>* reasons)
{
    CalendarTime when;
    if (gps_to_calendar(gps_seconds, when)) {
        return false;
    }
    const int32_t wanted_yy = when.year % 100;
    // A daily file whose first record is dated the evening before is still
    // the day's file: its name says which day of the year it holds. The
    // first such file is kept as it was read, should no file's first record
    // be of the day.
    const std::string day = Format("%03d", DayOfYear(when.year, when.month, when.day));
    const std::string ending = Format(".%02dn", wanted_yy);
    const auto named_for_the_day = [&](const std::string& name) {
        return name.size() == 12 && name.compare(4, 3, day) == 0 &&
               EqualsNoCase(std::string_view(name).substr(8), ending);
    };
    std::optional<RinexFile> by_name;
    for (const std::string& name : names) {
        std::string why;
        if (!rinex_open(folder + name, file, &why)) {
            if (why == kRinex3) {
                // Said whether or not the day has another file, once.
                std::fprintf(stderr, "RINEX 3 not supported: %s\n", (folder + name).c_str());
            } else if (reasons != nullptr) {
                reasons->push_back(folder + name + ": " + why);
            }
            continue;
        }
        int32_t yy = 0, mm = 0, dd = 0;
        const bool dated = FirstRecordDate(file, yy, mm, dd);
        if (dated && yy == wanted_yy && mm == when.month && dd == when.day) {
            return true;
        }
        if (reasons != nullptr) {
            reasons->push_back(dated ? Format("%s%s: its first record is of %02d/%02d/%02d", folder.c_str(),
                                              name.c_str(), dd, mm, yy)
                                     : folder + name + ": no navigation record");
        }
        if (!by_name && named_for_the_day(name)) {
            by_name = std::move(file);
        }
    }
    if (by_name) {
        file = std::move(*by_name);
        return true;
    }
    return false;
}

void ephemeris_table::Clear()
{
    for (auto& s : slots_) {
        s.clear();
    }
}

void ephemeris_table::Store(int32_t prn, uint32_t time, const packed_ephemeris& eph)
{
    if (prn < 1 || prn > 32) {
        return;
    }
    std::vector<Record>& s = slots_[static_cast<std::size_t>(prn - 1)];
    const auto it = std::lower_bound(s.begin(), s.end(), time, [](const Record& r, uint32_t t) { return r.time < t; });
    Record record{time, eph, prepare_orbit(eph)};
    if (it != s.end() && it->time == time) {
        *it = std::move(record);
    } else {
        s.insert(it, std::move(record));
    }
}

const ephemeris_table::Record* ephemeris_table::Before(uint32_t time, int32_t prn) const
{
    if (prn < 1 || prn > 32) {
        return nullptr;
    }
    const std::vector<Record>& s = slots_[static_cast<std::size_t>(prn - 1)];
    // The first not earlier than `time`, and the one before it.
    const auto it = std::lower_bound(s.begin(), s.end(), time, [](const Record& r, uint32_t t) { return r.time < t; });
    return it == s.begin() ? nullptr : &*(it - 1);
}

int ephemeris_table::Find(uint32_t time, int32_t prn, packed_ephemeris& out) const
{
    const Record* r = Before(time, prn);
    if (r == nullptr) {
        return 1;
    }
    out = r->packed;
    return 0;
}

const OrbitElements* ephemeris_table::FindOrbit(uint32_t time, int32_t prn) const
{
    const Record* r = Before(time, prn);
    return r == nullptr ? nullptr : &r->orbit;
}

std::size_t ephemeris_table::Count(int32_t prn) const
{
    return prn >= 1 && prn <= 32 ? slots_[static_cast<std::size_t>(prn - 1)].size() : 0;
}

void ephemeris_table_load(ephemeris_table& table, int32_t gps_seconds, const std::string& folder_text)
{
    table.Clear();
    std::string folder = folder_text;
    if (!folder.empty() && folder.back() != '/' && folder.back() != '\\') {
        folder += '/';
    }
    CalendarTime when;
    gps_to_calendar(gps_seconds, when);
    const std::vector<std::string> names = list_files(folder, Format("*.%02dn", when.year % 100));
    RinexFile file;
    std::vector<std::string> reasons;
    if (!rinex_open_for_date(gps_seconds, folder, names, file, &reasons)) {
        std::printf("WARNING: RINEX file not found for %s\r\n",
                    Format("%02d/%02d/%04d", when.day, when.month, when.year).c_str());
        // Why none of the year's files would do.
        for (const std::string& reason : reasons) {
            std::fprintf(stderr, "%s\n", reason.c_str());
        }
        if (names.empty()) {
            std::fprintf(stderr, "no *.%02dn navigation file in %s\n", when.year % 100,
                         folder.empty() ? "." : folder.c_str());
        }
        return;
    }
    // Finding the file read it up to its first record: what it found there
    // is told, and reading goes on from that record.
    int64_t pos = 0;
    if (file.probed) {
        for (const std::string& problem : file.problems_before_first) {
            std::fprintf(stderr, "%s\n", problem.c_str());
        }
        pos = file.resume_at >= 0 ? file.resume_at : static_cast<int64_t>(file.data.Size());
        file.resyncing = file.resume_resyncing;
    }
    rinex_nav_record r;
    std::string problem;
    for (;;) {
        const RecordRead got = rinex_read_record(file, pos, r, problem);
        if (got == RecordRead::End) {
            break;
        }
        if (got == RecordRead::Broken) {
            std::fprintf(stderr, "%s\n", problem.c_str());
            continue;
        }
        // The seconds are checked before they are made a whole number.
        const bool second_ok = r.second >= 0 && r.second < 61;
        const auto time = second_ok ? calendar_to_gps(r.year, r.month, r.day, r.hour, r.minute,
                                                      static_cast<int32_t>(r.second))
                                    : std::nullopt;
        packed_ephemeris eph;
        if (!time || !pack_ephemeris(r, eph)) {
            std::fprintf(stderr, "bad values in the RINEX record of satellite %d at %02d/%02d/%02d %02d:%02d of %s\n",
                         r.prn, r.day, r.month, r.year, r.hour, r.minute, file.path.c_str());
            continue;
        }
        table.Store(r.prn, static_cast<uint32_t>(*time), eph);
    }
}

}  // namespace navsift
