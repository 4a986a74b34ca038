#include "analysis/analyses/visibility.h"

#include <cctype>
#include <cmath>
#include <filesystem>

#include "analysis/core/run_outcome.h"
#include "analysis/core/text_util.h"

namespace navsift {

namespace {

bool SameDate(const CalendarTime& a, const CalendarTime& b)
{
    return a.year == b.year && a.month == b.month && a.day == b.day;
}

}  // namespace

void EphemerisSource::SetFolder(const std::string& rinex_folder)
{
    folder_ = rinex_folder;
    loaded_ = {};
}

const ephemeris_table& EphemerisSource::ForTime(int32_t gps_seconds)
{
    CalendarTime when;
    if (gps_to_calendar(gps_seconds, when)) {
        // No real date (an epoch without GPS time): nothing to load.
        table_.Clear();
        loaded_ = {};
        return table_;
    }
    if (!SameDate(when, loaded_)) {
        ephemeris_table_load(table_, gps_seconds, folder_);
        loaded_ = when;
    }
    return table_;
}

int visibility_row(EphemerisSource& source, const ReceiverPosition& receiver, const GpsTime& t,
                   ElevationMarks& elevation, std::string& row)
{
    elevation.fill(0);
    if (t.week == 0) {
        // Without a time there is no sky to compute: the row says so, one
        // mark per satellite, rather than a time of 0 and no satellite up.
        row = Format("%10s ", "no time");
        for (int prn = 1; prn <= 32; ++prn) {
            row += " -";
        }
        row += "\r\n";
        return kCountUnknown;
    }
    const double whole_tow = std::isfinite(t.tow) && t.tow >= 0 && t.tow < 604800 ? std::trunc(t.tow) : 0;
    const int64_t t64 = static_cast<int64_t>(whole_tow) + static_cast<int64_t>(t.week) * 604800;
    const int32_t seconds = t64 > INT32_MAX ? 0 : static_cast<int32_t>(t64);
    row = Format("%10d ", seconds);
    const ephemeris_table& table = source.ForTime(seconds);
    const bool finite_receiver =
        std::isfinite(receiver.latitude) && std::isfinite(receiver.longitude) && std::isfinite(receiver.height);
    const ReceiverEcef where = geodetic_to_ecef(receiver);
    int count = 0;
    // All the satellites of the epoch go through the orbit together.
    const OrbitElements* orbits[32];
    SatState states[32];
    uint8_t status[32];
    for (int prn = 1; prn <= 32; ++prn) {
        orbits[prn - 1] =
            finite_receiver && seconds > 0 ? table.FindOrbit(static_cast<uint32_t>(seconds), prn) : nullptr;
    }
    sat_track_states(where, t, orbits, 32, states, status);
    for (int prn = 1; prn <= 32; ++prn) {
        const SatState& state = states[prn - 1];
        const bool visible = status[prn - 1] == 0 && state.elevation > 0;
        row += visible ? " 1" : " 0";
        if (visible) {
            elevation[static_cast<std::size_t>(prn - 1)] =
                static_cast<uint8_t>(std::trunc(state.elevation / 100.0 + 0.5));
            ++count;
        }
    }
    row += "\r\n";
    return count;
}

bool VisibilityFile::visibility_open(const std::string& output_folder, const std::string& rinex_folder,
                                     const std::string& file_name)
{
    Close();
    good_ = true;
    no_time_rows_ = 0;
    path_ = output_folder + file_name;
    out_ = open_output(path_, "wb");
    source_.SetFolder(rinex_folder);
    return out_ != nullptr;
}

int VisibilityFile::sat_visibility(const ReceiverPosition& receiver, const GpsTime& t, ElevationMarks& elevation)
{
    std::string row;
    const int count = visibility_row(source_, receiver, t, elevation, row);
    if (count == kCountUnknown) {
        ++no_time_rows_;
    }
    if (out_ != nullptr && std::fwrite(row.data(), 1, row.size(), out_) != row.size()) {
        good_ = false;
    }
    return count;
}

int VisibilityFile::sat_visibility(const NmeaEpoch& e, ElevationMarks& elevation)
{
    const std::optional<EpochGpsTime> t = epoch_gps_time(e);
    return sat_visibility(ReceiverPosition{e.latitude, e.longitude, e.height},
                          t ? GpsTime{static_cast<uint32_t>(t->week), t->tow} : GpsTime{}, elevation);
}

bool VisibilityFile::HasEphemerides(int32_t gps_seconds)
{
    const ephemeris_table& table = source_.ForTime(gps_seconds);
    for (int prn = 1; prn <= 32; ++prn) {
        if (table.Count(prn) > 0) {
            return true;
        }
    }
    return false;
}

void VisibilityFile::Close()
{
    if (out_ != nullptr) {
        if (std::fclose(out_) != 0) {
            good_ = false;
        }
        out_ = nullptr;
    }
}

void iode_list(int32_t gps_seconds, const std::string& rinex_folder)
{
    CalendarTime when;
    gps_to_calendar(gps_seconds, when);
    std::printf("%02d:%02d:%02d %02d/%02d/%04d\r\n", when.hour, when.minute, when.second, when.day, when.month,
                when.year);
    ephemeris_table table;
    ephemeris_table_load(table, gps_seconds, rinex_folder);
    std::size_t found = 0;
    for (int prn = 1; prn <= 32; ++prn) {
        packed_ephemeris eph;
        if (ephemeris_find(table, static_cast<uint32_t>(gps_seconds), prn, eph) != 0) {
            std::printf("Sat %d Ephemeris not available!\r\n", prn);
            continue;
        }
        ++found;
        const int64_t toe = eph.toe_seconds >= 0 ? static_cast<int64_t>(eph.toe_seconds)
                                                 : static_cast<int64_t>(ephemeris_field(eph, EphField::toe)) * 16;
        const int64_t at = static_cast<int64_t>(ephemeris_field(eph, EphField::week)) * 604800 + toe;
        CalendarTime e;
        gps_to_calendar(at > INT32_MAX ? 0 : static_cast<int32_t>(at), e);
        std::printf("Sat %d IODE: E%u - %02d:%02d:%02d %02d/%02d/%04d\r\n", prn,
                    ephemeris_field(eph, EphField::iode1), e.hour, e.minute, e.second, e.day, e.month, e.year);
    }
    run_produced(found);
    if (found == 0) {
        run_input_lacks(rinex_folder.empty() ? "./" : rinex_folder,
                        Format("no ephemeris of any satellite for %02d/%02d/%04d", when.day, when.month, when.year));
    }
}

int run_ephemeris_dump(const OptionRecord& options)
{
    const std::string text = options.Arg(options.qnveph).value_or("");
    if (text.size() < 2 || !std::isxdigit(static_cast<unsigned char>(text[0])) ||
        !std::isxdigit(static_cast<unsigned char>(text[1]))) {
        run_input_lacks(text, "not a packed ephemeris: it does not begin with a pair of hexadecimal digits");
        return 0;
    }
    ephemeris_dump_hex(text);
    run_produced();
    return 0;
}

int run_iode_listing(const OptionRecord& options)
{
    int32_t seconds = 0;
    const auto text = options.Arg(options.iode);
    if (!text || !Scanner(*text).Int(seconds)) {
        std::fprintf(stderr, "-iode needs a GPS time in seconds\n");
        return 2;
    }
    iode_list(seconds, options.e_folder);
    return 0;
}

int run_visibility_test(const OptionRecord& options)
{
    int week = 0;
    double tow = 0, lat = 0, lon = 0, height = 0;
    if (std::sscanf(options.u_text.c_str(), "%d %lf %lf %lf %lf", &week, &tow, &lat, &lon, &height) != 5) {
        std::fprintf(stderr, "-v needs -u \"week tow latitude longitude height\"\n");
        return 2;
    }
    // The test looks at one fixed moment whatever week and time were given.
    const int32_t fixed = *calendar_to_gps(2008, 6, 30, 10, 0, 0);
    const GpsTime t{static_cast<uint32_t>(fixed / 604800), static_cast<double>(fixed % 604800)};
    VisibilityFile file;
    if (!file.visibility_open("", options.e_folder)) {
        std::fprintf(stderr, "cannot create %s\n", file.Path().c_str());
        return 1;
    }
    if (!file.HasEphemerides(fixed)) {
        // A row of zeros would read as a sky without satellites.
        file.Close();
        run_input_lacks(options.e_folder.empty() ? "./" : options.e_folder,
                        "no usable RINEX navigation file for 30/06/2008");
        return 0;
    }
    ElevationMarks marks;
    file.sat_visibility(ReceiverPosition{lat, lon, height}, t, marks);
    run_produced();
    file.Close();
    if (!file.Good()) {
        std::fprintf(stderr, "cannot write %s\n", file.Path().c_str());
        return 1;
    }
    return 0;
}

}  // namespace navsift
