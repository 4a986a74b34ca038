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

bool Fill(NmeaEpoch& p, double lat, double lon, double height, const std::string& time_text)
{
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
    if (std::sscanf(time_text.c_str(), "%d-%d-%dT%d:%d:%d", &y, &mo, &d, &h, &mi, &s) != 6) {
        return false;
    }
    const std::optional<int32_t> utc = calendar_to_gps(y, mo, d, h, mi, s);
    if (!utc || h < 0 || h > 23 || mi < 0 || mi > 59 || s < 0 || s > 60) {
        return false;
    }
    p.latitude = lat;
    p.longitude = lon;
    p.height = height;
    p.tg_gps_time = *utc + kGpsMinusUtc;
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
    p.gga_altitude = height;
    return true;
}

using WorkEntry = FolderFiles;

// Draws the tracks of one file: a jump of more than a minute starts a new
// track. As with the receivers' logs, a point marker draws the point before
// the one just read, so the first point is a start and a point marker and
// the last one a point and an end marker.
void DrawFile(ByteStream& in, KmlWriter& kml, int set, GpxDropped& dropped)
{
    NmeaEpoch current;
    if (!gpx_read_point(in, current, dropped)) {
        return;
    }
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
            return;
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
        if (!ele) {
            ++dropped.without_height_or_time;
            continue;
        }
        double height = 0;
        if (!Scanner(*ele).Real(height)) {
            ++dropped.without_height_or_time;
            continue;
        }
        // "<time>" after the height: on the height's line or the next.
        const std::optional<std::string> time = FindHereOrNext(in, *ele, 0, "<time>");
        if (!time || !Fill(point, *lat, *lon, height, *time)) {
            ++dropped.without_height_or_time;
            continue;
        }
        return true;
    }
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
    // The document goes into the folder the input names, or the file's folder.
    const std::string root = names_folder && !parts.name.empty() ? *input + "/" : base;
    if (names_folder) {
        work = files_or_subfolders(root, "*.gpx", "*.txt");
        if (work.empty()) {
            std::fprintf(stderr, "no GPX file in %s\n", input->c_str());
            return 1;
        }
    }

    KmlWriter kml;
    if (!kml.kml_open(root, o.name_text)) {
        std::fprintf(stderr, "cannot create %s\n", kml.Path().c_str());
        return 1;
    }
    TrackStyles styles(o);
    for (const WorkEntry& entry : work) {
        const TrackStyles::Style style = styles.Next();
        const int set = style.set;
        kml.kml_styles(set, style.colour);
        if (!entry.sub_folder.empty()) {
            kml.BeginFolder(entry.sub_folder);
        }
        for (const std::string& file : entry.files) {
            std::printf("Processing \\%s\\%s ... ", entry.sub_folder.c_str(), file.c_str());
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
            DrawFile(*gpx, kml, set, dropped);
            if (dropped.without_position > 0) {
                std::printf("%d track points without latitude or longitude dropped\n", dropped.without_position);
            }
            if (dropped.off_the_earth > 0) {
                std::printf("%d track points with a latitude or longitude off the earth dropped\n",
                            dropped.off_the_earth);
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
    return 0;
}

}  // namespace navsift
