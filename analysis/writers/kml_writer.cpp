#include "analysis/writers/kml_writer.h"

#include "analysis/core/gps_time.h"
#include "analysis/core/text_util.h"

namespace navsift {

const RotationColour kColourRotation[kRotationColours] = {
    {0xffff0000, "BLUE"},       {0xff00ff00, "GREEN"},      {0xff00ffff, "YELLOW"}, {0xff00aaff, "ORANGE"},
    {0xff0000ff, "RED"},        {0xffffffff, "WHITE"},      {0xffff00ff, "PURPLE"}, {0xff7f0000, "DARK BLUE"},
    {0xff00aa00, "DARK GREEN"}, {0xff0000aa, "DARK READ"},  {0xffffaaff, "PINK"},   {0xffff00aa, "VIOLET"},
    {0xffffff00, "LIGHT BLUE"}, {0xff00ffaa, "LIGHT GREEN"}, {0xff000000, "BLACK"},
};

TrackStyles::TrackStyles(const OptionRecord& o) : o_(o) {
    if (o.color != 0) colour_word_ = o.Arg(o.color);
    if (colour_word_ && o.kml_color == 0) {
        std::fprintf(stderr, "unknown colour %s, the default colours are used\n", colour_word_->c_str());
    }
}

TrackStyles::Style TrackStyles::Next() {
    Style style{set_, kDefaultTrackColour, "RED"};
    set_ = (set_ + 1) % 100;
    if (colour_word_ && o_.kml_color != 0) {
        style.colour = o_.kml_color;
        style.label = *colour_word_;
    } else if (o_.multicolor != 0) {
        style.colour = kColourRotation[colour_index_].colour;
        style.label = kColourRotation[colour_index_].name;
        colour_index_ = (colour_index_ + 1) % kRotationColours;
    }
    return style;
}

namespace {
constexpr const char* kNamespace = "http://www.opengis.net/kml/2.2";
constexpr const char* kIconBase = "http://maps.google.com/mapfiles/kml/shapes/";
constexpr const char* kIconFile = "placemark_circle.png";
// Tracks from the "$PQNVTG" time are shown in UTC.
constexpr int32_t kGpsMinusUtc = 15;
}  // namespace

KmlWriter::~KmlWriter()
{
    if (file_ != nullptr) {
        std::fclose(file_);
    }
}

bool KmlWriter::kml_open(const std::string& folder, const std::string& name)
{
    path_ = folder + name + ".kml";
    file_ = std::fopen(path_.c_str(), "wb");
    if (file_ == nullptr) {
        return false;
    }
    placemark_counter_ = 0;
    Write(Format("<kml xmlns=\"%s\">\r\n<Document>\r\n<name>%s</name>\r\n", kNamespace, XmlEscape(name).c_str()));
    return true;
}

void KmlWriter::Flush()
{
    if (file_ != nullptr && !buffer_.empty()) {
        if (std::fwrite(buffer_.data(), 1, buffer_.size(), file_) != buffer_.size()) {
            failed_ = true;
        }
    }
    buffer_.clear();
}

bool KmlWriter::Close()
{
    if (file_ == nullptr) {
        return false;
    }
    Write("</Document>\r\n</kml>\r\n");
    Flush();
    if (std::fclose(file_) != 0) {
        failed_ = true;
    }
    file_ = nullptr;
    return !failed_;
}

void KmlWriter::kml_styles(int set, uint32_t colour)
{
    std::string out;
    for (const char* kind : {"S", "E", "P"}) {
        AppendFormat(out,
                     "<StyleMap id=\"%s%02d\">\r\n<Pair>\r\n<key>normal</key>\r\n<styleUrl>#%s%02dN</styleUrl>\r\n"
                     "</Pair>",
                     kind, set, kind, set);
        AppendFormat(out,
                     "<Pair>\r\n<key>highlight</key>\r\n<styleUrl>#%s%02dH</styleUrl>\r\n</Pair>\r\n</StyleMap>",
                     kind, set);
    }
    const struct {
        const char* kind;
        char variant;
        double scale;
    } icons[] = {{"S", 'N', 1.0}, {"S", 'H', 1.5}, {"E", 'N', 1.0}, {"E", 'H', 1.5}, {"P", 'N', 0.5}, {"P", 'H', 1.0}};
    for (const auto& icon : icons) {
        AppendFormat(out,
                     "<Style id=\"%s%02d%c\">\r\n<IconStyle>\r\n<color>%08x</color>\r\n<scale>%.1lf</scale>\r\n"
                     "<Icon>\r\n",
                     icon.kind, set, icon.variant, colour, icon.scale);
        AppendFormat(out,
                     "<href>%s%s</href>\r\n</Icon>\r\n</IconStyle><LabelStyle><scale>0.0</scale></LabelStyle>\r\n"
                     "</Style>\r\n",
                     kIconBase, kIconFile);
    }
    // One line style per set, so that every track keeps its own colour.
    AppendFormat(out, "<Style id=\"L%02d\">\r\n<LineStyle>\r\n<color>%08x</color>\r\n<width>%.1lf</width>\r\n",
                 set + 1, colour, 2.0);
    out += "</LineStyle>\r\n</Style>\r\n";
    Write(out);
}

void KmlWriter::BeginFolder(std::string_view name)
{
    Write("<Folder>\r\n<name>");
    Write(XmlEscape(name));
    Write("</name>\r\n");
}

void KmlWriter::EndFolder()
{
    Write("</Folder>\r\n");
}

void KmlWriter::kml_placemark(const NmeaEpoch& r, PlacemarkMode mode, int set, bool add_to_path)
{
    ++placemark_counter_;
    if (mode == PlacemarkMode::Start) {
        track_.clear();
    }
    const char kind = mode == PlacemarkMode::Start ? 'S' : mode == PlacemarkMode::Point ? 'P' : 'E';
    CalendarTime t;
    if (r.Has(kHasRMC)) {
        gps_to_calendar(r.gps_time, t);
    } else if (r.Has(kHasQnvTG)) {
        gps_to_calendar(r.tg_gps_time - kGpsMinusUtc, t);
    }
    const char ns[2] = {r.gga_ns, 0};
    const char ew[2] = {r.gga_ew, 0};
    // Built in a growing string: numeric fields that pass the checksum can
    // be hundreds of digits long.
    std::string out;
    out.reserve(1024);
    AppendFormat(out,
                 "<Placemark>\r\n<name>%d</name>\r\n<styleUrl>#%c%02d</styleUrl>\r\n<description>\r\n"
                 "<![CDATA[<table>\r\n",
                 placemark_counter_, kind, set);
    AppendFormat(out,
                 "<tr><td>UTC Date: </td><td>%02d/%02d/%04d</td></tr>"
                 "<tr><td>UTC Time: </td><td>%02d:%02d:%02d</td></tr>\r\n",
                 t.day, t.month, t.year, t.hour, t.minute, t.second);
    AppendFormat(out, "<tr><td>Latitude: </td><td>%2d %3s %s</td></tr>\r\n", r.gga_lat_deg,
                 Fixed(r.gga_lat_min, 3).c_str(), ns);
    AppendFormat(out, "<tr><td>Longitude: </td><td>%3d %3s %s</td></tr>\r\n", r.gga_lon_deg,
                 Fixed(r.gga_lon_min, 3).c_str(), ew);
    AppendFormat(out, "<tr><td>Elevation: </td><td>%s m</td></tr>\r\n", Fixed(r.gga_altitude, 2).c_str());
    AppendFormat(out, "<tr><td>Speed: </td><td>%s km/h</td></tr>\r\n", Fixed(r.vtg_kmh, 1).c_str());
    AppendFormat(out, "<tr><td>Heading: </td><td>%3sdeg </td></tr>\r\n", Fixed(r.vtg_course, 1).c_str());
    out += "</table>]]>\r\n</description>\r\n";
    AppendFormat(out, "<Point>\r\n<coordinates>%s,%s,%s</coordinates>\r\n</Point>\r\n</Placemark>\r\n",
                 Fixed(r.longitude, 6).c_str(), Fixed(r.latitude, 6).c_str(), Fixed(r.height, 6).c_str());
    Write(out);
    if (add_to_path) {
        track_.push_back({r.latitude, r.longitude, r.height});
    }
    if (mode != PlacemarkMode::End) {
        return;
    }
    Write(Format("<Placemark>\r\n<name>Path</name>\r\n<styleUrl>#L%02d</styleUrl>\r\n", set + 1));
    Write("<LineString>\r\n<tessellate>1</tessellate>\r\n<coordinates>\r\n");
    for (const Coordinate& c : track_) {
        Write(Fixed(c.longitude, 6).c_str());
        Write(",");
        Write(Fixed(c.latitude, 6).c_str());
        Write(",");
        Write(Fixed(c.height, 6).c_str());
        Write("\r\n");
    }
    Write("</coordinates>\r\n</LineString>\r\n</Placemark>\r\n");
    track_.clear();
}

std::string TrackFolderName(const NmeaEpoch& r)
{
    int32_t day = 0, month = 0, year = 0, hour = 0, minute = 0, second = 0;
    if (r.Has(kHasRMC)) {
        day = r.rmc_day;
        month = r.rmc_month;
        year = r.rmc_year + 2000;
        hour = r.rmc_hour;
        minute = r.rmc_minute;
        second = r.rmc_second;
    } else if (r.Has(kHasQnvTG)) {
        day = r.tg_day;
        month = r.tg_month;
        year = r.tg_year;
        hour = r.tg_hour;
        minute = r.tg_minute;
        second = r.tg_second;
    }
    return Format("TRK_%02d/%02d/%04d_%02d:%02d:%02d", day, month, year, hour, minute, second);
}

}  // namespace navsift
