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

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// A number with blanks around it, whole.
bool ReadNumber(std::string_view text, double& value)
{
    while (!text.empty() && IsSpace(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsSpace(text.back())) {
        text.remove_suffix(1);
    }
    const std::string copy(text);
    char* end = nullptr;
    const double v = std::strtod(copy.c_str(), &end);
    if (copy.empty() || end != copy.c_str() + copy.size()) {
        return false;
    }
    value = v;
    return true;
}

// The value of attribute `name` inside a tag, quoted with ' or ", the tag
// laid out over any lines.
std::optional<double> Attribute(std::string_view tag, std::string_view name)
{
    for (std::size_t at = tag.find(name); at != std::string_view::npos; at = tag.find(name, at + 1)) {
        // A whole attribute name: not the tail of a longer one ("xlat").
        if (at == 0 || !IsSpace(tag[at - 1])) {
            continue;
        }
        std::size_t k = at + name.size();
        while (k < tag.size() && IsSpace(tag[k])) {
            ++k;
        }
        if (k >= tag.size() || tag[k] != '=') {
            continue;
        }
        ++k;
        while (k < tag.size() && IsSpace(tag[k])) {
            ++k;
        }
        if (k >= tag.size() || (tag[k] != '"' && tag[k] != '\'')) {
            continue;
        }
        const char quote = tag[k];
        const std::size_t end = tag.find(quote, k + 1);
        const std::string text(tag.substr(k + 1, end == std::string_view::npos ? std::string_view::npos : end - k - 1));
        double v = 0;
        if (!ReadNumber(text, v) || !std::isfinite(v)) {
            return std::nullopt;  // "nan" is no latitude at all
        }
        return v;
    }
    return std::nullopt;
}

// Where an element of `name` begins in `text` from `from` on: "<name"
// followed by a blank, "/" or ">" (so "<time" is not "<timestamp").
std::size_t FindTag(std::string_view text, std::string_view name, std::size_t from)
{
    for (std::size_t at = text.find(name, from); at != std::string_view::npos; at = text.find(name, at + 1)) {
        const std::size_t next = at + name.size();
        if (next >= text.size() || IsSpace(text[next]) || text[next] == '/' || text[next] == '>') {
            return at;
        }
    }
    return std::string_view::npos;
}

// The text of the first child element `name` ("<ele", "<time") inside a
// track point's body, wherever it stands, comments and character data
// skipped; nothing when the point has none.
std::optional<std::string_view> ChildText(std::string_view body, std::string_view name)
{
    for (std::size_t at = body.find('<'); at != std::string_view::npos; at = body.find('<', at + 1)) {
        const std::string_view rest = body.substr(at);
        if (rest.starts_with("<!--")) {
            const std::size_t end = body.find("-->", at + 4);
            if (end == std::string_view::npos) {
                return std::nullopt;
            }
            at = end + 2;
            continue;
        }
        if (rest.starts_with("<![CDATA[")) {
            const std::size_t end = body.find("]]>", at + 9);
            if (end == std::string_view::npos) {
                return std::nullopt;
            }
            at = end + 2;
            continue;
        }
        if (!rest.starts_with(name) ||
            !(rest.size() == name.size() || IsSpace(rest[name.size()]) || rest[name.size()] == '/' ||
              rest[name.size()] == '>')) {
            continue;
        }
        const std::size_t open_end = body.find('>', at);
        if (open_end == std::string_view::npos) {
            return std::nullopt;
        }
        if (body[open_end - 1] == '/') {
            return std::string_view();  // "<ele/>": present and empty
        }
        const std::size_t close = body.find('<', open_end + 1);
        return body.substr(open_end + 1, close == std::string_view::npos ? std::string_view::npos : close - open_end - 1);
    }
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
    const std::string_view text(in.Data(), in.Size());
    constexpr std::string_view kOpen = "<trkpt", kClose = "</trkpt";
    for (;;) {
        const std::size_t open = FindTag(text, kOpen, in.Pos());
        if (open == std::string_view::npos) {
            in.Advance(text.size() - in.Pos());
            return false;
        }
        std::size_t tag_end = text.find('>', open);
        if (tag_end == std::string_view::npos) {
            tag_end = text.size();  // a file cut off inside the tag
        }
        const std::string_view tag = text.substr(open, tag_end - open);
        // The point's body: up to its closing tag, or to the next point where
        // a writer left it unclosed; nothing for "<trkpt .../>".
        const std::size_t next = FindTag(text, kOpen, std::min(tag_end, text.size()));
        std::string_view body;
        std::size_t after = std::min(tag_end + 1, text.size());
        if (tag_end < text.size() && text[tag_end - 1] != '/') {
            const std::string_view rest = text.substr(tag_end + 1, next == std::string_view::npos
                                                                       ? std::string_view::npos
                                                                       : next - tag_end - 1);
            const std::size_t close = rest.find(kClose);
            body = rest.substr(0, close);
            after = tag_end + 1 + (close == std::string_view::npos ? rest.size() : close + kClose.size());
        }
        in.Advance(after - in.Pos());

        const std::optional<double> lat = Attribute(tag, "lat");
        const std::optional<double> lon = Attribute(tag, "lon");
        if (!lat || !lon) {
            ++dropped.without_position;
            continue;
        }
        const std::optional<std::string_view> ele = ChildText(body, "<ele");
        std::optional<double> height;
        if (double h = 0; ele && ReadNumber(*ele, h) && std::isfinite(h)) {
            height = h;
        }
        if (!IsEarthPosition(*lat, *lon, height.value_or(0))) {
            ++dropped.off_the_earth;
            continue;
        }
        const std::optional<std::string_view> time = ChildText(body, "<time");
        int32_t utc = 0;
        std::string time_text(time.value_or(std::string_view()));
        time_text.erase(0, std::min(time_text.find_first_not_of(" \t\r\n"), time_text.size()));
        switch (time ? gpx_read_time(time_text, utc) : GpxTimeRead::Unreadable) {
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
                std::printf("%d track points with a position off the earth dropped\n",
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
