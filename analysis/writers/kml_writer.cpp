#include "analysis/writers/kml_writer.h"

#include <charconv>
#include <cmath>
#include <cstring>

#include <unistd.h>

#include "analysis/core/gps_time.h"
#include "analysis/core/run_outcome.h"
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

namespace {

// printf's "%0<width>d" (pad '0') or "%<width>d" (pad ' ').
void AppendInt(std::string& out, int64_t value, int width = 0, char pad = '0')
{
    char digits[24];
    const auto [end, ec] = std::to_chars(digits, digits + sizeof digits, value);
    const char* first = digits;
    int length = static_cast<int>(end - digits);
    if (pad == '0' && value < 0) {
        out += '-';
        ++first;
        --width;
        --length;
    }
    if (length < width) {
        out.append(static_cast<std::size_t>(width - length), pad);
    }
    out.append(first, static_cast<std::size_t>(length));
}

// printf's "%<width>s".
void AppendRight(std::string& out, const char* text, int width)
{
    const int length = static_cast<int>(std::strlen(text));
    if (length < width) {
        out.append(static_cast<std::size_t>(width - length), ' ');
    }
    out += text;
}

}  // namespace

KmlWriter::~KmlWriter()
{
    if (file_ != nullptr) {
        std::fclose(file_);
    }
    if (path_spool_ != nullptr) {
        std::fclose(path_spool_);
    }
}

namespace {
constexpr std::size_t kPathBuffer = 1u << 20;
}  // namespace

void KmlWriter::AddToPath(const NmeaEpoch& r)
{
    path_text_ += Fixed(r.longitude, 6).c_str();
    path_text_ += ',';
    path_text_ += Fixed(r.latitude, 6).c_str();
    if (r.height_known) {
        path_text_ += ',';
        path_text_ += Fixed(r.height, 6).c_str();
    }
    path_text_ += "\r\n";
    if (path_text_.size() < kPathBuffer) {
        return;
    }
    if (path_spool_ == nullptr) {
        path_spool_ = std::tmpfile();
    }
    // Without a temporary file the path stays in memory: slower to hold,
    // never lost.
    if (path_spool_ == nullptr) {
        return;
    }
    if (std::fwrite(path_text_.data(), 1, path_text_.size(), path_spool_) != path_text_.size()) {
        failed_ = true;
    }
    path_spooled_ = true;
    path_text_.clear();
}

void KmlWriter::WritePath()
{
    if (path_spooled_) {
        if (std::fflush(path_spool_) != 0 || std::fseek(path_spool_, 0, SEEK_SET) != 0) {
            failed_ = true;
        } else {
            char chunk[1 << 16];
            std::size_t n;
            while ((n = std::fread(chunk, 1, sizeof chunk, path_spool_)) > 0) {
                Write(std::string_view(chunk, n));
            }
            if (std::ferror(path_spool_)) {
                failed_ = true;
            }
        }
    }
    Write(path_text_);
    ClearPath();
}

void KmlWriter::ClearPath()
{
    path_text_.clear();
    if (path_spooled_) {
        std::rewind(path_spool_);
        if (ftruncate(fileno(path_spool_), 0) != 0) {
            failed_ = true;
        }
        path_spooled_ = false;
    }
}

bool KmlWriter::kml_open(const std::string& folder, const std::string& name)
{
    path_ = folder + name + ".kml";
    file_ = open_output(path_, "wb");
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
    run_produced();
    if (mode == PlacemarkMode::Start) {
        ClearPath();
    }
    const char kind = mode == PlacemarkMode::Start ? 'S' : mode == PlacemarkMode::Point ? 'P' : 'E';
    const EpochWhen when = WhenOf(r);
    const CalendarTime& t = when.t;
    const char ns[2] = {r.gga_ns, 0};
    const char ew[2] = {r.gga_ew, 0};
    // Built in a growing string: numeric fields that pass the checksum can
    // be hundreds of digits long.
    std::string out;
    out.reserve(1024);
    // Appended piece by piece: a day of placemarks is the bulk of a run.
    out += "<Placemark>\r\n<name>";
    AppendInt(out, placemark_counter_);
    out += "</name>\r\n<styleUrl>#";
    out += kind;
    AppendInt(out, set, 2);
    out += "</styleUrl>\r\n<description>\r\n<![CDATA[<table>\r\n<tr><td>UTC Date: </td><td>";
    if (when.has_date) {
        AppendInt(out, t.day, 2);
        out += '/';
        AppendInt(out, t.month, 2);
        out += '/';
        AppendInt(out, t.year, 4);
    } else {
        out += kNoDate;
    }
    out += "</td></tr><tr><td>UTC Time: </td><td>";
    if (when.has_time) {
        AppendInt(out, t.hour, 2);
        out += ':';
        AppendInt(out, t.minute, 2);
        out += ':';
        AppendInt(out, t.second, 2);
    } else {
        out += kNoTime;
    }
    out += "</td></tr>\r\n<tr><td>Latitude: </td><td>";
    AppendInt(out, r.gga_lat_deg, 2, ' ');
    out += ' ';
    AppendRight(out, Fixed(r.gga_lat_min, 3).c_str(), 3);
    out += ' ';
    out += ns;
    out += "</td></tr>\r\n<tr><td>Longitude: </td><td>";
    AppendInt(out, r.gga_lon_deg, 3, ' ');
    out += ' ';
    AppendRight(out, Fixed(r.gga_lon_min, 3).c_str(), 3);
    out += ' ';
    out += ew;
    out += "</td></tr>\r\n<tr><td>Elevation: </td><td>";
    if (r.height_known) {
        out += Fixed(r.gga_altitude, 2).c_str();
        out += " m";
    } else {
        out += kNoHeight;
    }
    out += "</td></tr>\r\n<tr><td>Speed: </td><td>";
    // What the epoch told of its speed and course (a GPX point tells none).
    const double kmh = r.SpeedKmh(), course = r.Course();
    if (std::isnan(kmh)) {
        out += "no speed";
    } else {
        out += Fixed(kmh, 1).c_str();
        out += " km/h";
    }
    out += "</td></tr>\r\n<tr><td>Heading: </td><td>";
    if (std::isnan(course)) {
        out += "no heading ";
    } else {
        AppendRight(out, Fixed(course, 1).c_str(), 3);
        out += "deg ";
    }
    out += "</td></tr>\r\n</table>]]>\r\n</description>\r\n<Point>\r\n<coordinates>";
    out += Fixed(r.longitude, 6).c_str();
    out += ',';
    out += Fixed(r.latitude, 6).c_str();
    // Without a height the point is clamped to the ground, as KML allows.
    if (r.height_known) {
        out += ',';
        out += Fixed(r.height, 6).c_str();
    }
    out += "</coordinates>\r\n</Point>\r\n</Placemark>\r\n";
    Write(out);
    if (add_to_path) {
        AddToPath(r);
    }
    if (mode != PlacemarkMode::End) {
        return;
    }
    Write(Format("<Placemark>\r\n<name>Path</name>\r\n<styleUrl>#L%02d</styleUrl>\r\n", set + 1));
    Write("<LineString>\r\n<tessellate>1</tessellate>\r\n<coordinates>\r\n");
    WritePath();
    Write("</coordinates>\r\n</LineString>\r\n</Placemark>\r\n");
}

namespace {

std::string SplitFolderName(int64_t second)
{
    CalendarTime t;
    gps_to_calendar(static_cast<int32_t>(second), t);
    return Format("%02d:%02d:%02d %02d/%02d/%04d", t.hour, t.minute, t.second, t.day, t.month, t.year);
}

}  // namespace

bool KmlTrack::Reached(int64_t second) const
{
    return second > 0 && second >= (*splits_)[next_split_];
}

void KmlTrack::Add(const NmeaEpoch& e, int64_t second)
{
    if (!started_) {
        started_ = true;
        if (splits_ != nullptr) {
            while (next_split_ < splits_->size() && Reached(second)) {
                ++next_split_;
            }
            kml_.BeginFolder(SplitFolderName(second));
        }
        pending_ = e;
        return;
    }
    DrawPending();
    if (splits_ != nullptr && next_split_ < splits_->size() && Reached(second)) {
        ++next_split_;
        kml_.kml_placemark(e, PlacemarkMode::End, set_);
        drawn_ = 0;
        kml_.EndFolder();
        kml_.BeginFolder(SplitFolderName(second));
    }
    pending_ = e;
}

void KmlTrack::DrawPending()
{
    kml_.kml_placemark(pending_, drawn_ == 0 ? PlacemarkMode::Start : PlacemarkMode::Point, set_);
    ++drawn_;
}

void KmlTrack::Finish()
{
    if (!started_) {
        return;
    }
    if (drawn_ == 0) {
        // A track of one epoch: its marker and a path of one position.
        kml_.kml_placemark(pending_, PlacemarkMode::Start, set_);
        kml_.kml_placemark(pending_, PlacemarkMode::End, set_, false);
    } else {
        kml_.kml_placemark(pending_, PlacemarkMode::End, set_);
    }
    drawn_ = 0;
    started_ = false;
    if (splits_ != nullptr) {
        kml_.EndFolder();
    }
}

EpochWhen WhenOf(const NmeaEpoch& r)
{
    EpochWhen w;
    if (r.Has(kHasRMC) && r.gps_time > 0 && !gps_to_calendar(r.gps_time, w.t)) {
        w.has_date = w.has_time = true;
        return w;
    }
    if (r.Has(kHasQnvTG) && !gps_to_calendar(r.tg_gps_time - kGpsMinusUtc, w.t)) {
        w.has_date = w.has_time = true;
        return w;
    }
    // What the sentences hold of it: an RMC's date without its time, or a
    // GGA's time of day without any date.
    w.t = CalendarTime{};
    if (r.Has(kHasRMC) && r.rmc_date_valid) {
        w.has_date = true;
        w.t.day = r.rmc_day;
        w.t.month = r.rmc_month;
        w.t.year = r.rmc_year + 2000;
    }
    if (r.Has(kHasRMC) && r.rmc_time_valid) {
        w.has_time = true;
        w.t.hour = r.rmc_hour;
        w.t.minute = r.rmc_minute;
        w.t.second = r.rmc_second;
    } else if (r.Has(kHasGGA) && r.gga_time_valid) {
        w.has_time = true;
        w.t.hour = r.gga_hour;
        w.t.minute = r.gga_minute;
        w.t.second = r.gga_second;
    }
    return w;
}

std::string TrackFolderName(const NmeaEpoch& r)
{
    // The receiver clock names the folder in its own (GPS) time.
    if (!(r.Has(kHasRMC) && r.gps_time > 0) && r.Has(kHasQnvTG)) {
        return Format("TRK_%02d/%02d/%04d_%02d:%02d:%02d", r.tg_day, r.tg_month, r.tg_year, r.tg_hour, r.tg_minute,
                      r.tg_second);
    }
    const EpochWhen w = WhenOf(r);
    std::string name = "TRK_";
    name += w.has_date ? Format("%02d/%02d/%04d", w.t.day, w.t.month, w.t.year) : std::string(kNoDate);
    name += '_';
    name += w.has_time ? Format("%02d:%02d:%02d", w.t.hour, w.t.minute, w.t.second) : std::string(kNoTime);
    return name;
}

}  // namespace navsift
