#include "analysis/analyses/gpx_export.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "analysis/core/folders.h"
#include "analysis/core/gps_time.h"
#include "analysis/core/run_outcome.h"
#include "analysis/core/text_util.h"
#include "analysis/writers/kml_writer.h"

namespace navsift {

namespace {

constexpr int32_t kGpsMinusUtc = 15;
constexpr int32_t kTrackGap = 60;  // seconds

// The value of attribute `name` inside a tag, quoted with ' or ".
std::optional<double> Attribute(std::string_view tag, std::string_view name)
{
    for (std::size_t at = tag.find(name); at != std::string_view::npos; at = tag.find(name, at + 1)) {
        // A whole attribute name: not the tail of a longer one ("xlat").
        if (at > 0 && !std::isspace(static_cast<unsigned char>(tag[at - 1]))) {
            continue;
        }
        std::size_t k = at + name.size();
        while (k < tag.size() && tag[k] == ' ') {
            ++k;
        }
        if (k >= tag.size() || tag[k] != '=') {
            continue;
        }
        ++k;
        while (k < tag.size() && tag[k] == ' ') {
            ++k;
        }
        if (k >= tag.size() || (tag[k] != '"' && tag[k] != '\'')) {
            continue;
        }
        const std::string text(tag.substr(k + 1));
        char* end = nullptr;
        const double v = std::strtod(text.c_str(), &end);
        if (end == text.c_str() || !std::isfinite(v)) {
            return std::nullopt;
        }
        return v;
    }
    return std::nullopt;
}

// One line of a GPX file: up to LF, CR or CR LF, of any length; a track
// point that does not begin a line begins one here, so that a file written
// without line breaks reads as one written with them. Returns the position
// where the line began; an empty line means the end of the stream.
int64_t ReadGpxLine(ByteStream& in, std::string& line)
{
    const int64_t start = in.Tell();
    line.clear();
    const std::string_view rest(in.Data() + in.Pos(), in.Size() - in.Pos());
    // One pass up to the line's end or the next track point, never over the
    // rest of the file: waypoints or a route before the track must not make
    // reading a file quadratic in its length.
    constexpr std::string_view kPoint = "<trkpt";
    std::size_t end = 0;
    while (end < rest.size()) {
        const char c = rest[end];
        if (c == '\r' || c == '\n') {
            break;
        }
        if (c == '<' && end > 0 && rest.compare(end, kPoint.size(), kPoint) == 0) {
            line.assign(rest.substr(0, end));
            in.Advance(end);
            return start;
        }
        ++end;
    }
    if (end < rest.size()) {
        end += rest[end] == '\r' && end + 1 < rest.size() && rest[end + 1] == '\n' ? 2 : 1;
    }
    line.assign(rest.substr(0, end));
    in.Advance(end);
    return start;
}

// Where the track point ends in `text` (its closing tag or the next point),
// from `from` on; npos when it goes on after the text.
std::size_t PointEnd(std::string_view text, std::size_t from)
{
    const std::size_t close = text.find("</trkpt", from);
    const std::size_t next = text.find("<trkpt", from);
    return std::min(close, next);
}

// Finds `marker` of the current track point in the rest of the current line,
// else in the next line (which is then consumed). The text after the marker,
// or nothing; a next line without it is given back to the stream. The marker
// of another point is never taken: a point without a time has none, and the
// point after it is not consumed.
std::optional<std::string> FindHereOrNext(ByteStream& in, const std::string& line, std::size_t from,
                                          std::string_view marker)
{
    if (from <= line.size()) {
        const std::size_t at = line.find(marker, from);
        const std::size_t end = PointEnd(line, from);
        if (at != std::string::npos && at < end) {
            return line.substr(at + marker.size());
        }
        if (end != std::string::npos) {
            return std::nullopt;
        }
    }
    std::string next;
    const int64_t start = ReadGpxLine(in, next);
    if (next.empty()) {
        return std::nullopt;
    }
    if (const std::size_t at = next.find(marker); at != std::string::npos && at < PointEnd(next, 0)) {
        return next.substr(at + marker.size());
    }
    in.Seek(start);
    return std::nullopt;
}

// Degrees and minutes and the hemisphere letter of a signed angle, as the
// placemark table shows a receiver's own fields.
void SplitAngle(double signed_degrees, int32_t& degrees, double& minutes, char& hemisphere, char positive,
                char negative)
{
    const double a = std::fabs(signed_degrees);
    degrees = static_cast<int32_t>(a);
    minutes = (a - degrees) * 60.0;
    hemisphere = signed_degrees < 0 ? negative : positive;
}

void Fill(NmeaEpoch& p, double lat, double lon, std::optional<double> height, int32_t utc)
{
    p.latitude = lat;
    p.longitude = lon;
    p.height = height.value_or(0);
    p.height_known = height.has_value();
    p.tg_gps_time = utc + kGpsMinusUtc;
    CalendarTime c;
    gps_to_calendar(p.tg_gps_time, c);
    p.tg_year = c.year;
    p.tg_month = c.month;
    p.tg_day = c.day;
    p.tg_hour = c.hour;
    p.tg_minute = c.minute;
    p.tg_second = c.second;
    p.flags = kHasQnvTG;
    SplitAngle(lat, p.gga_lat_deg, p.gga_lat_min, p.gga_ns, 'N', 'S');
    SplitAngle(lon, p.gga_lon_deg, p.gga_lon_min, p.gga_ew, 'E', 'W');
    p.gga_altitude = p.height;
}

using WorkEntry = FolderFiles;

// Draws the tracks of one file: a jump of more than a minute starts a new
// track. As with the receivers' logs, a point marker draws the point before
// the one just read, so the first point is a start and a point marker and
// the last one a point and an end marker.
int DrawFile(ByteStream& in, KmlWriter& kml, int set, GpxDropped& dropped)
{
    NmeaEpoch current;
    if (!gpx_read_point(in, current, dropped)) {
        return 0;
    }
    int drawn = 1;
    for (;;) {
        int32_t t0 = current.tg_gps_time;
        kml.kml_track_folder(current);
        kml.kml_placemark(current, PlacemarkMode::Start, set);
        NmeaEpoch previous;
        bool ended = false;
        bool first = true;
        for (;;) {
            previous = current;
            if (!gpx_read_point(in, current, dropped)) {
                ended = true;
                break;
            }
            ++drawn;
            if (std::abs(int64_t{current.tg_gps_time} - t0) > kTrackGap) {
                break;
            }
            // The start marker already put the first point on the path.
            kml.kml_placemark(previous, PlacemarkMode::Point, set, !first);
            first = false;
            t0 = current.tg_gps_time;
        }
        if (ended) {
            kml.kml_placemark(previous, PlacemarkMode::Point, set, !first);
            kml.kml_placemark(previous, PlacemarkMode::End, set, false);
        } else {
            kml.kml_placemark(previous, PlacemarkMode::End, set, !first);
        }
        kml.EndFolder();
        if (ended) {
            return drawn;
        }
    }
}

}  // namespace

bool gpx_read_point(ByteStream& in, NmeaEpoch& point, GpxDropped& dropped)
{
    std::string line;
    for (;;) {
        ReadGpxLine(in, line);
        if (line.empty()) {
            return false;
        }
        const std::size_t open = line.find("<trkpt");
        if (open == std::string::npos) {
            continue;
        }
        const std::size_t close = line.find('>', open);
        const std::string_view tag =
            std::string_view(line).substr(open, close == std::string::npos ? std::string::npos : close - open);
        const std::optional<double> lat = Attribute(tag, "lat");
        const std::optional<double> lon = Attribute(tag, "lon");
        if (!lat || !lon) {
            ++dropped.without_position;
            continue;
        }
        if (std::fabs(*lat) > 90 || std::fabs(*lon) > 180) {
            ++dropped.off_the_earth;
            continue;
        }
        const std::size_t after_tag = close == std::string::npos ? line.size() : close;
        const std::optional<std::string> ele = FindHereOrNext(in, line, after_tag, "<ele>");
        std::optional<double> height;
        if (double h = 0; ele && Scanner(*ele).Real(h) && std::isfinite(h)) {
            height = h;
        }
        // "<time>" after the height, else after the tag: on that line or the next.
        const std::optional<std::string> time =
            ele ? FindHereOrNext(in, *ele, 0, "<time>") : FindHereOrNext(in, line, after_tag, "<time>");
        int32_t utc = 0;
        switch (time ? gpx_read_time(*time, utc) : GpxTimeRead::Unreadable) {
        case GpxTimeRead::Unreadable: ++dropped.without_time; continue;
        case GpxTimeRead::OutsideDates: ++dropped.outside_dates; continue;
        case GpxTimeRead::Ok: break;
        }
        if (!height) {
            ++dropped.without_height;
        }
        Fill(point, *lat, *lon, height, utc);
        return true;
    }
}

GpxTimeRead gpx_read_time(const std::string& text, int32_t& utc)
{
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0, n = 0;
    if (std::sscanf(text.c_str(), "%d-%d-%dT%d:%d:%d%n", &y, &mo, &d, &h, &mi, &s, &n) != 6 || h < 0 || h > 23 ||
        mi < 0 || mi > 59 || s < 0 || s > 60) {
        return GpxTimeRead::Unreadable;
    }
    const char* p = text.c_str() + n;
    if (*p == '.') {
        do {
            ++p;
        } while (std::isdigit(static_cast<unsigned char>(*p)));
    }
    // The zone: seconds east of UTC.
    int64_t offset = 0;
    if (*p == '+' || *p == '-') {
        const int sign = *p == '-' ? -1 : 1;
        const auto two_digits = [&](int& value) {
            if (!std::isdigit(static_cast<unsigned char>(p[0])) || !std::isdigit(static_cast<unsigned char>(p[1]))) {
                return false;
            }
            value = (p[0] - '0') * 10 + (p[1] - '0');
            p += 2;
            return true;
        };
        ++p;
        int zh = 0, zm = 0;
        if (!two_digits(zh)) {
            return GpxTimeRead::Unreadable;
        }
        if (*p == ':') {
            ++p;
        }
        if (std::isdigit(static_cast<unsigned char>(*p)) && !two_digits(zm)) {
            return GpxTimeRead::Unreadable;
        }
        if (zh > 23 || zm > 59) {
            return GpxTimeRead::Unreadable;
        }
        offset = sign * (int64_t{zh} * 3600 + zm * 60);
    }
    // Only dates that the placemarks can show; a year read as two digits is
    // no year of these.
    if (y < 1981 || y > 2099) {
        return GpxTimeRead::OutsideDates;
    }
    const std::optional<int32_t> local = calendar_to_gps(y, mo, d, h, mi, s);
    if (!local) {
        return GpxTimeRead::Unreadable;
    }
    const int64_t moment = int64_t{*local} - offset;
    CalendarTime check;
    if (moment > INT32_MAX - kGpsMinusUtc || gps_to_calendar(static_cast<int32_t>(moment), check)) {
        return GpxTimeRead::OutsideDates;  // the zone moved it out of 1981..2099
    }
    utc = static_cast<int32_t>(moment);
    return GpxTimeRead::Ok;
}

int gpx_to_kml(const OptionRecord& o)
{
    const std::optional<std::string> input = o.Arg(o.gpx);
    if (!input) {
        std::fprintf(stderr, "-gpx needs a GPX file or a folder\n");
        return 2;
    }
    if (o.name_text.empty() || o.name_text.find_first_of("/\\") != std::string::npos) {
        std::fprintf(stderr, "-gpx needs -name with the document's name (a plain name)\n");
        return 1;
    }
    const PathParts parts = SplitPath(*input);
    const std::string& base = parts.folder;
    std::error_code ec;
    const bool names_folder = parts.name.empty() || std::filesystem::is_directory(*input, ec);
    std::vector<WorkEntry> work;
    ByteStream single;
    if (!names_folder) {
        // A path to a file that is not there is an error, never a folder walk.
        if (!single.Open(*input)) {
            std::fprintf(stderr, "cannot open %s\n", input->c_str());
            return 1;
        }
        work.push_back({std::string(), {parts.name}});
    }
    // The document goes into the folder that is read, or the file's folder.
    const std::string& root = base;
    if (names_folder) {
        const RunFolder run = read_run_folder(*input, "*.gpx", "*.txt", "GPX files");
        if (run.Files() == 0) {
            return 0;  // nothing to draw, as its reading says
        }
        work = run.entries;
    }

    KmlWriter kml;
    if (!kml.kml_open(root, o.name_text)) {
        std::fprintf(stderr, "cannot create %s\n", kml.Path().c_str());
        return 1;
    }
    TrackStyles styles(o);
    int drawn = 0;
    for (const WorkEntry& entry : work) {
        const TrackStyles::Style style = styles.Next();
        const int set = style.set;
        kml.kml_styles(set, style.colour);
        if (!entry.sub_folder.empty()) {
            kml.BeginFolder(entry.sub_folder);
        }
        for (const std::string& file : entry.files) {
            ProcessingLine(entry.sub_folder, file);
            ByteStream in;
            ByteStream* gpx = &single;
            if (names_folder) {
                const std::string path = root + (entry.sub_folder.empty() ? "" : entry.sub_folder + "/") + file;
                if (!in.Open(path)) {
                    std::printf("cannot open\n");
                    continue;
                }
                gpx = &in;
            }
            GpxDropped dropped;
            drawn += DrawFile(*gpx, kml, set, dropped);
            if (dropped.without_position > 0) {
                std::printf("%d track points without latitude or longitude dropped\n", dropped.without_position);
            }
            if (dropped.off_the_earth > 0) {
                std::printf("%d track points with a latitude or longitude off the earth dropped\n",
                            dropped.off_the_earth);
            }
            if (dropped.without_time > 0) {
                std::printf("%d track points without a time left out\n", dropped.without_time);
            }
            if (dropped.outside_dates > 0) {
                std::printf("%d track points dated before 1981 or after 2099 left out\n", dropped.outside_dates);
            }
            if (dropped.without_height > 0) {
                std::printf("%d track points without a height drawn on the ground\n", dropped.without_height);
            }
        }
        if (!entry.sub_folder.empty()) {
            kml.EndFolder();
        }
    }
    if (!kml.Close()) {
        std::fprintf(stderr, "cannot write %s\n", kml.Path().c_str());
        return 1;
    }
    if (drawn == 0) {
        run_input_lacks(*input, "no track point could be drawn");
    }
    return 0;
}

}  // namespace navsift
