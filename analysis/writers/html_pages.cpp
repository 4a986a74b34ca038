#include "analysis/writers/html_pages.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <functional>

#include "analysis/core/folders.h"
#include "analysis/core/gps_time.h"
#include "analysis/core/run_outcome.h"
#include "analysis/core/text_util.h"

namespace navsift {

namespace fs = std::filesystem;

namespace {

constexpr int kSatellites = 32;
using Presence = std::array<bool, kSatellites + 1>;  // indexed by PRN

Presence PresentSatellites(const std::function<bool(int)>& present)
{
    Presence p{};
    for (int prn = 1; prn <= kSatellites; ++prn) {
        p[prn] = present(prn);
    }
    return p;
}

bool IsFile(const std::string& path)
{
    std::error_code ec;
    return fs::is_regular_file(path, ec);
}

bool IsNonEmptyFile(const std::string& path)
{
    std::error_code ec;
    if (!fs::is_regular_file(path, ec)) {
        return false;
    }
    const auto size = fs::file_size(path, ec);
    return !ec && size > 0;
}

void LinkTable(OutFile& out, const Presence& present)
{
    out.Write("<table border=1>");
    for (int row = 1; row <= 8; ++row) {
        out.Write("<tr><td>");
        for (int column = 0; column < 4; ++column) {
            const int prn = row + 8 * column;
            if (column > 0) {
                out.Write("</td><td>");
            }
            if (!present[prn]) {
                out.Printf("Satellite %2d\n", prn);
            } else if (column == 0) {
                out.Printf("<a href=\"#Sat%02d\">Satellite %2d</a>\n", prn, prn);
            } else {
                out.Printf("<a href=\"#Sat%02d\">Satellite %2d</a><br>\n", prn, prn);
            }
        }
        out.Write("</td></tr>");
    }
    out.Write("</table>");
}

// The four charts of a satellite; `image_prefix` is where they lie, seen
// from the page.
void SatelliteSection(OutFile& out, int prn, const std::string& image_prefix)
{
    out.Write("<table border=1 width=\"100%\">");
    out.Write("<tr><td colspan=2 align=middle>");
    out.Write("<font size=16>\n");
    out.Printf("<b><a name=Sat%02d>Satellite PRN %2d</a></b>\n", prn, prn);
    out.Write("</font>\n");
    out.Write("</td></tr>");
    const char* charts[4] = {"CN0", "PhseNoise", "Frequency", "FrequencyMod1000"};
    for (int k = 0; k < 4; ++k) {
        out.Write(k % 2 == 0 ? "<tr><td>" : "</td><td>");
        out.Printf("<img src=\"%ssat%02d_%s.emf\" align=middle>\n", image_prefix.c_str(), prn, charts[k]);
        if (k % 2 == 1) {
            out.Write("</td></tr>");
        }
    }
    out.Write("</table>");
}

void NavigationLinks(OutFile& out)
{
    out.Write("<table>");
    out.Write("<tr><td>");
    out.Write("<a href=\"#INDEX\">Top</a>\n");
    out.Write("</td><td>");
    out.Write("<a href=\"../index.html\">Index</a>\n");
    out.Write("</td></tr>");
    out.Write("</table>");
}

struct PositionSection {
    const char* title_line;
    const char* left;
    const char* right;  // null: the image row has one cell
};

constexpr PositionSection kPositionSections[] = {
    {"<b><a name=3DPos>3D Positioning Survey</a></b>\n", "PositionSurvey_3D.emf", "ErrorPositionSurvey_3D.emf"},
    {"<b><a name=2DPos>2D Positioning Survey</a></b>\n", "PositionSurvey_2D.emf", "ErrorPositionSurvey_2D.emf"},
    {"<b><a name=Altitude>Altitude Error</a></b>\n", "AltitudeError.emf", nullptr},
    {"<b><a name=stat>Statistics</a></b>\n", "SEP.emf", "CEP.emf"},
};

void WritePositionSection(OutFile& out, const PositionSection& s)
{
    out.Write("<table border=1 width=\"100%\">");
    out.Write("<tr><td colspan=2 align=middle>");
    out.Write("<font size=16>\n");
    out.Write(s.title_line);
    out.Write("</font>\n");
    out.Write("</td></tr>");
    out.Write("<tr><td>");
    out.Printf("<img src=\"%s\" align=middle>\n", s.left);
    if (s.right != nullptr) {
        out.Write("</td><td>");
        out.Printf("<img src=\"%s\" align=middle>\n", s.right);
    }
    out.Write("</td></tr>");
    out.Write("</table>");
}

// "hh:mm:ss dd/mm/yyyy" fields of a GPS time, zeros outside the calendar.
CalendarTime Calendar(int32_t gps_seconds)
{
    CalendarTime c;
    gps_to_calendar(gps_seconds, c);
    return c;
}

std::string Stamp(int32_t gps_seconds)
{
    std::string s;
    gps_time_stamp(gps_seconds, s);
    return s;
}

bool Finished(OutFile& out)
{
    const std::string path = out.Path();
    if (!out.Close()) {
        std::fprintf(stderr, "cannot write %s: %s\n", path.c_str(), out.Error().c_str());
        return false;
    }
    return true;
}

bool Created(OutFile& out, const std::string& path)
{
    if (!out.Create(path)) {
        std::fprintf(stderr, "cannot create %s: %s\n", path.c_str(), out.Error().c_str());
        return false;
    }
    return true;
}

}  // namespace

std::string FolderPrefix(const std::string& folder)
{
    if (folder.empty() || folder.back() == '/') {
        return folder;
    }
    return folder + "/";
}

std::string interval_folder_name(int32_t start, int32_t end)
{
    return "satdata_from_" + Stamp(start) + "_to_" + Stamp(end);
}

bool write_satellite_index_page(const std::string& input_path)
{
    if (!IsFile(input_path)) {
        std::fprintf(stderr, "cannot open %s\n", input_path.c_str());
        return false;
    }
    const std::string folder = SplitPath(input_path).folder;
    const std::string page = folder + "index.html";
    if (SameFile(page, input_path)) {
        std::fprintf(stderr, "cannot write index.html over the input %s\n", input_path.c_str());
        return false;
    }
    const Presence present =
        PresentSatellites([&](int prn) { return IsFile(folder + Format("satdata/sat%02d_CN0.emf", prn)); });
    const std::size_t charts = static_cast<std::size_t>(std::count(present.begin(), present.end(), true));
    if (charts == 0) {
        run_input_lacks(input_path, "no satellite chart (satdata/satNN_CN0.emf) beside it: an index page would "
                                    "link nothing");
        return true;
    }
    run_produced(charts);
    OutFile out;
    if (!Created(out, page)) {
        return false;
    }
    out.Write("<html>\n<head>\n<b><title>Satellite Tracking Analysis</title></b></head>\n");
    out.Write("<a name=INDEX></a>\n");
    out.Write("<br><font size=16><b>Satellite Tracking Analysis</b></font><br><br><br>\n");
    out.Write("<br><b>LINKS</b><br>\n");
    LinkTable(out, present);
    out.Write("<br><br><br><br>");
    for (int prn = 1; prn <= kSatellites; ++prn) {
        if (present[prn]) {
            SatelliteSection(out, prn, "satdata/");
            out.Write("<br><a href=\"#INDEX\">Return To Index</a><br>\n");
        }
    }
    out.Write("</body>\n");
    out.Write("</html>\n");
    return Finished(out);
}

bool write_interval_report_page(const std::string& folder, int32_t start, int32_t end)
{
    const std::string prefix = FolderPrefix(folder);
    const Presence present =
        PresentSatellites([&](int prn) { return IsNonEmptyFile(prefix + Format("sat%02d.csv", prn)); });
    OutFile out;
    if (!Created(out, prefix + "report_from_" + Stamp(start) + "_to_" + Stamp(end) + ".html")) {
        return false;
    }
    const CalendarTime s = Calendar(start);
    const CalendarTime e = Calendar(end);
    out.Write("<html>\n<head>\n<b><title>Data Log Analysis</title></b></head>\n");
    out.Write("<a name=INDEX></a>\n");
    out.Printf("<br><b><font>Data Captured From %02d:%02d:%02d %02d/%02d/%04d to %02d:%02d:%02d %02d/%02d/%04d"
               "</b></font></b><br>\n",
               s.hour, s.minute, s.second, s.day, s.month, s.year, e.hour, e.minute, e.second, e.day, e.month,
               e.year);
    out.Write("<br><font size=16><b>Satellite Tracking Analysis</b></font><br>\n");
    out.Write("<br><b>Satellite Links</b><br>\n");
    LinkTable(out, present);
    out.Write("<br><br>\n");
    out.Write("<br><font size=16><b>Position Accuracy Analysis</b></font><br>\n");
    out.Write("<a href=\"#3DPos\">3D Positioning Survey</a><br>\n");
    out.Write("<a href=\"#2DPos\">2D Positioning Survey</a><br>\n");
    out.Write("<a href=\"#Altitude\">Altitude Error</a><br>\n");
    out.Write("<a href=\"#stat\">Statistics</a><br>\n");
    out.Write("<br><br><br><br>");
    for (int prn = 1; prn <= kSatellites; ++prn) {
        if (present[prn]) {
            SatelliteSection(out, prn, "");
            NavigationLinks(out);
        }
    }
    for (const PositionSection& section : kPositionSections) {
        WritePositionSection(out, section);
        NavigationLinks(out);
    }
    out.Write("</body>\n");
    out.Write("</html>\n");
    return Finished(out);
}

bool IndexPage::open_index_page(const std::string& folder)
{
    if (!Created(out_, FolderPrefix(folder) + "index.html")) {
        return false;
    }
    out_.Write("<html>\n<head>\n<b><title>GPS Performance Analysis</title></b></head>\n");
    out_.Write("<a name=\"INDEX\"></a>\n");
    out_.Write("<br><font size=16><b>GPS Performance Analysis</b></font><br><br><br>\n");
    out_.Write("<br><b>LINKS</b><br>\n");
    out_.Write("<table border=1>");
    return true;
}

void IndexPage::add_index_row(int32_t start, int32_t end)
{
    const std::string s = Stamp(start);
    const std::string e = Stamp(end);
    const std::string link = "satdata_from_" + s + "_to_" + e + "/report_from_" + s + "_to_" + e + ".html";
    const CalendarTime a = Calendar(start);
    const CalendarTime b = Calendar(end);
    out_.Printf("<a href=\"%s\">Data Captured From %02d:%02d:%02d %02d/%02d/%04d to %02d:%02d:%02d %02d/%02d/%04d"
                "</a>\n",
                link.c_str(), a.hour, a.minute, a.second, a.day, a.month, a.year, b.hour, b.minute, b.second, b.day,
                b.month, b.year);
    out_.Write("<br>\n");
}

void IndexPage::add_index_note(const std::string& text)
{
    out_.Printf("<i>%s</i><br>\n", text.c_str());
}

bool IndexPage::Finish()
{
    if (!out_.IsOpen()) {
        return false;
    }
    out_.Write("</body>\n");
    out_.Write("</html>\n");
    return Finished(out_);
}

}  // namespace navsift
