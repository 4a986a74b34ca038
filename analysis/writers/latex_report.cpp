#include "analysis/writers/latex_report.h"

#include <cstdio>
#include <filesystem>
#include <vector>

#include "analysis/core/byte_stream.h"
#include "analysis/core/gps_time.h"
#include "analysis/core/text_util.h"
#include "analysis/writers/html_pages.h"
#include "platform/core/codepage.h"

namespace navsift {

namespace fs = std::filesystem;

namespace {

// Who and what the reports name; chosen for this installation.
constexpr const char* kLabName = "GNSS Test Laboratory";
constexpr const char* kAuthorLine = "\\author{GNSS Test Laboratory}\r\n";
constexpr const char* kTitleLine = "\\title{Orvel GNSS Test Laboratory Testing Activity}\r\n";
constexpr const char* kAuthors[2] = {"Test \\textsc{Engineer}\\\\\r\n", "Lab \\textsc{Manager}\r\n"};
constexpr const char* kContacts[2] = {
    "\\href{mailto:test.engineer@example.com}{test.engineer@example.com}\\\\\r\n",
    "\\href{mailto:lab.manager@example.com}{lab.manager@example.com}\r\n",
};

// The logo in the page header and on the title page: a plain bar, written
// beside a report that has none so the report always typesets.
constexpr unsigned char kLogoPng[] = {
    0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0x00, 0x00, 0x00, 0x0d, 0x49, 0x48, 0x44, 0x52,
    0x00, 0x00, 0x00, 0xa0, 0x00, 0x00, 0x00, 0x30, 0x08, 0x03, 0x00, 0x00, 0x00, 0xa1, 0x77, 0x81,
    0x5c, 0x00, 0x00, 0x00, 0x06, 0x50, 0x4c, 0x54, 0x45, 0x1f, 0x3a, 0x5f, 0x7f, 0xa7, 0xd9, 0x6e,
    0xfc, 0xd9, 0x61, 0x00, 0x00, 0x00, 0x29, 0x49, 0x44, 0x41, 0x54, 0x58, 0xc3, 0xed, 0xce, 0x01,
    0x09, 0x00, 0x00, 0x08, 0x03, 0xb0, 0xdb, 0xbf, 0xb4, 0x1d, 0x04, 0x41, 0x61, 0x4b, 0xb0, 0x04,
    0x00, 0x00, 0x00, 0x00, 0x80, 0xa1, 0x3a, 0x4e, 0x50, 0x50, 0xf0, 0x7d, 0x10, 0x60, 0x57, 0x03,
    0x03, 0xd3, 0x04, 0x61, 0x70, 0x58, 0xac, 0x24, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4e, 0x44,
    0xae, 0x42, 0x60, 0x82
};

constexpr int kSatellites = 32;

std::string Stamp(int32_t gps_seconds)
{
    std::string s;
    gps_time_stamp(gps_seconds, s);
    return s;
}

CalendarTime Calendar(int32_t gps_seconds)
{
    CalendarTime c;
    gps_to_calendar(gps_seconds, c);
    return c;
}

// The absolute folder text that \graphicspath can carry, or "./" (the report
// is typeset in its own folder) when the path holds characters TeX reads as
// commands or that Latin-1 sources cannot hold.
std::string GraphicsFolder(const std::string& folder)
{
    std::error_code ec;
    std::string path = fs::absolute(folder.empty() ? fs::path(".") : fs::path(folder), ec).lexically_normal().string();
    if (ec) {
        return "./";
    }
    for (unsigned char c : path) {
        if (c < 0x20 || c >= 0x7f || std::string_view("%#{}\\~^$&").find(static_cast<char>(c)) != std::string_view::npos) {
            return "./";
        }
    }
    if (path.empty() || path.back() != '/') {
        path += '/';
    }
    return path;
}

void PlaceLogo(const std::string& folder)
{
    const std::string path = FolderPrefix(folder) + "logo.png";
    std::error_code ec;
    if (fs::exists(path, ec)) {
        return;  // the lab's own logo
    }
    OutFile logo;
    if (logo.Create(path)) {
        logo.Write(std::string_view(reinterpret_cast<const char*>(kLogoPng), sizeof kLogoPng));
    }
    if (!logo.Close()) {
        std::fprintf(stderr, "cannot create %s: %s\n", path.c_str(), logo.Error().c_str());
    }
}

bool Created(OutFile& out, const std::string& path)
{
    if (!out.Create(path)) {
        std::fprintf(stderr, "cannot create %s: %s\n", path.c_str(), out.Error().c_str());
        return false;
    }
    return true;
}

bool RefusedMode(int mode)
{
    if (IsLayoutMode(mode)) {
        return false;
    }
    std::fprintf(stderr, "report layout %d is not one of 0 to 4: its figures are not written\n", mode);
    return true;
}

// One figure of the interval: its bookmark, image and caption texts.
struct IntervalFigure {
    const char* bookmark;
    const char* image;
    const char* caption;
    bool every_mode;
};

constexpr IntervalFigure kIntervalFigures[] = {
    {"\\pdfbookmark[%d]{Satellite Visibility}{%d_sat_visibility}\r\n",
     "\\includegraphics[width=\\columnwidth]{%ssat_visibility.png}\r\n",
     "\\caption*{Satellite visibility between %02d:%02d:%02d and %02d:%02d:%02d on %02d/%02d/%04d}\r\n", false},
    {"\\pdfbookmark[%d]{Visibility vs Tracked}{%d_sat_visibility_vs_tracked}\r\n",
     "\\includegraphics[width=\\columnwidth]{%ssat_visibility_vs_tracking.png}\r\n",
     "\\caption*{Satellite Visibility (green) vs Satellite Tracked (blue). Data captured between "
     "%02d:%02d:%02d and %02d:%02d:%02d on %02d/%02d/%04d}\r\n",
     true},
    {"\\pdfbookmark[%d]{Fix Status}{%d_Fix_Status}\r\n",
     "\\includegraphics[width=\\columnwidth]{%sgps_fix_status.png}\r\n",
     "\\caption*{GPS Fix status (NO fix, 2D Fix, 3D Fix and Differential Fix). Data captured between "
     "%02d:%02d:%02d and %02d:%02d:%02d on %02d/%02d/%04d}\r\n",
     false},
    {"\\pdfbookmark[%d]{Satellites Visible Tracked and Used}{%d_Satellites_Visible_Tracked_and_Used}\r\n",
     "\\includegraphics[width=\\columnwidth]{%ssat_used_track_visible.png}\r\n",
     "\\caption*{Number of Visible, Tracked and Used satellites. Data captured between %02d:%02d:%02d and "
     "%02d:%02d:%02d on %02d/%02d/%04d}\r\n",
     false},
    {"\\pdfbookmark[%d]{DOP}{%d_dops}\r\n", "\\includegraphics[width=\\columnwidth]{%sgps_dops.png}\r\n",
     "\\caption*{DOP. Data captured between %02d:%02d:%02d and %02d:%02d:%02d on %02d/%02d/%04d}\r\n", false},
    {"\\pdfbookmark[%d]{DOP (zoom)}{%d_dops_zoom}\r\n",
     "\\includegraphics[width=\\columnwidth]{%sgps_dops_zoom.png}\r\n",
     "\\caption*{DOP (zoom). Data captured between %02d:%02d:%02d and %02d:%02d:%02d on %02d/%02d/%04d}\r\n",
     false},
};

enum class Subfigure { Cn0, Power, Tracking, Elevation, Frequency, FrequencyMod1000, FrequencyDerivative };

struct SubfigureText {
    const char* label;
    const char* image;
};

constexpr SubfigureText kSubfigures[] = {
    {"CN0", "CN0"},
    {"Power Distribution", "PWDistrib"},
    {"Tracking Status", "TrackTimerDerivative"},
    {"Satellite Elevation", "SatElevation"},
    {"Frequency Offset", "Frequency"},
    {"Frequency Offset Mod 1000", "FrequencyMod1000"},
    {"Frequency Offset Derivative", "DFrequency"},
};

// Three rows of these fill a satellite's page: bounded in height too, so
// that the page keeps within its page whatever the plots' shape, and when
// the plots are not there yet (their stand-ins take the bounds).
void WriteSubfigure(OutFile& out, Subfigure which, int prn, const std::string& image_folder, const char* line_end)
{
    const SubfigureText& t = kSubfigures[static_cast<int>(which)];
    out.Printf("\\subfloat[][\\emph{Satellite %d %s}]{\\includegraphics[width=0.48\\columnwidth,height=0.25\\textheight,"
               "keepaspectratio]{%ssat%02d_%s.png}} %s\r\n",
               prn, t.label, image_folder.c_str(), prn, t.image, line_end);
}

void SatelliteBookmark(OutFile& out, int prn, int32_t start)
{
    out.Printf("\\pdfbookmark[%d]{satellite %d}{%d_sat_%d}\r\n", 1, prn, start, prn);
}

void FullSatellitePage(OutFile& out, int prn, const TimeSpan& span, int32_t start, const std::string& image_folder,
                       bool derivative)
{
    const CalendarTime a = Calendar(span.first);
    const CalendarTime b = Calendar(span.last);
    out.Write("\\begin{figure}[p]\r\n");
    out.Write("\\centering\r\n");
    SatelliteBookmark(out, prn, start);
    const std::string first = Format("%02d:%02d:%02d", a.hour, a.minute, a.second);
    const std::string last = Format("%02d:%02d:%02d", b.hour, b.minute, b.second);
    const std::string date = Format("%02d/%02d/%04d", a.day, a.month, a.year);
    out.Printf("\\caption*{\\textbf{Satellite %d Tracking Analysis} (data captured between %s and %s on %s) - BLUE "
               "line means satellite was tracked and visible, RED line means satellite was tracked even if it was "
               "not visible (visibility is based on RINEX ephemeris)}\r\n",
               prn, first.c_str(), last.c_str(), date.c_str());
    WriteSubfigure(out, Subfigure::Cn0, prn, image_folder, "\\quad");
    WriteSubfigure(out, Subfigure::Power, prn, image_folder, "\\\\ ");
    WriteSubfigure(out, Subfigure::Tracking, prn, image_folder, "\\quad ");
    WriteSubfigure(out, Subfigure::Elevation, prn, image_folder, "\\\\");
    WriteSubfigure(out, Subfigure::Frequency, prn, image_folder, "\\quad ");
    WriteSubfigure(out, derivative ? Subfigure::FrequencyDerivative : Subfigure::FrequencyMod1000, prn, image_folder,
                   "");
    out.Write("\\end{figure}\r\n");
    out.Write("\\clearpage\r\n");
}

}  // namespace

bool AppendLatexSpecial(std::string& out, char ch)
{
    switch (ch) {
    // "\\" would end a table row, and "\~" or "\^" would accent the next letter.
    case '\\': out += "\\textbackslash{}"; return true;
    case '~': out += "\\textasciitilde{}"; return true;
    case '^': out += "\\textasciicircum{}"; return true;
    case '#': case '$': case '%': case '&': case '_': case '{': case '}':
        out += '\\';
        out += ch;
        return true;
    default:
        return false;
    }
}

std::string LatexEscape(std::string_view utf8)
{
    const std::string latin = platform::Utf8ToCp1252(utf8);
    std::string out;
    for (char ch : latin) {
        if (AppendLatexSpecial(out, ch)) {
            continue;
        }
        // Control characters, and the Windows-1252 signs Latin-1 lacks.
        const unsigned char c = static_cast<unsigned char>(ch);
        out += (c < 0x20 || c == 0x7f || (c >= 0x80 && c < 0xa0)) ? '?' : ch;
    }
    return out;
}

bool write_latex_preamble(OutFile& report, const std::string& file_name, const std::string& folder,
                          const std::string& title)
{
    if (!Created(report, FolderPrefix(folder) + file_name)) {
        return false;
    }
    PlaceLogo(folder);
    const std::string t = LatexEscape(title);
    report.Write("\\documentclass[a4paper]{report}\r\n");
    report.Write("\\usepackage[a4paper,top=3cm,bottom=3cm,left=1cm,right=1cm,bindingoffset=0cm]{geometry}\r\n");
    for (const char* line : {
             "\\usepackage[latin1]{inputenc}\r\n", "\\usepackage[T1]{fontenc}\r\n", "\\usepackage{graphicx}\r\n",
             "\\usepackage{longtable}\r\n", "\\usepackage{rotating}\r\n", "\\usepackage{multirow}\r\n",
             "\\usepackage{footnote}\r\n", "\\usepackage{booktabs}\r\n", "\\usepackage{array}\r\n",
             "\\usepackage[position=bottom,labelformat=empty]{subfig}\r\n", "\\usepackage{caption}\r\n",
             "\\usepackage[pdfborderstyle={/S/U/W 1},pdfstartview={FitH}]{hyperref}\r\n",
             "\\usepackage{fancyhdr}\r\n", "\\usepackage{lastpage}\r\n",
         }) {
        report.Write(line);
    }
    report.Write("\\pagestyle{fancy}\r\n");
    report.Write("\\lhead{\\includegraphics[height=20pt]{logo.png}}\r\n");
    report.Write("\\chead{\\footnotesize CONFIDENTIAL}\r\n");
    report.Printf("\\rhead{\\footnotesize %s Test Report}\r\n", t.c_str());
    report.Write("\\rfoot{\\footnotesize Page \\thepage of \\pageref{LastPage}}\r\n");
    report.Write("\\cfoot{\\footnotesize CONFIDENTIAL}\r\n");
    report.Write("\\renewcommand{\\headrulewidth}{0.4pt}\r\n");
    report.Write("\\renewcommand{\\footrulewidth}{0.4pt}\r\n");
    report.Write(kAuthorLine);
    report.Write(kTitleLine);
    report.Write("\\newcommand{\\HRule}{\\rule{\\linewidth}{0.5mm}}\r\n");
    report.Printf("\\graphicspath{{%s}}\r\n", GraphicsFolder(folder).c_str());
    report.Write("\\newenvironment{changemargin}[2]{%\r\n");
    report.Write("\\begin{list}{}{%\r\n");
    report.Write("\\setlength{\\topsep}{0pt}%\r\n");
    report.Write("\\setlength{\\leftmargin}{#1}%\r\n");
    report.Write("\\setlength{\\rightmargin}{#2}%\r\n");
    report.Write("\\setlength{\\listparindent}{\\parindent}%\r\n");
    report.Write("\\setlength{\\itemindent}{\\parindent}%\r\n");
    report.Write("\\setlength{\\parsep}{\\parskip}%\r\n");
    report.Write("}%\r\n");
    report.Write("\\item[]}{\\end{list}}\r\n");
    report.Write("\\begin{document}\r\n");
    return true;
}

void write_latex_title_page(OutFile& report, const std::string& title)
{
    report.Write("\\begin{titlepage}\r\n");
    report.Write("\\begin{center}\r\n");
    report.Write("\\includegraphics[width=0.4\\textwidth]{logo.png}\r\n");
    report.Write("\\\\[1.5cm]\r\n");
    report.Printf("\\textsc{\\LARGE %s}\r\n", kLabName);
    report.Write("\\\\[1.5cm]\r\n");
    report.Write("\\textsc{\\Large Test Report}\r\n");
    report.Write("\\\\[1cm]\r\n");
    report.Write("\\HRule\r\n");
    report.Write("\\\\[0.6cm]\r\n");
    report.Printf("\\textsc{\\huge \\bfseries %s}\r\n", LatexEscape(title).c_str());
    report.Write("\\\\[0.6cm]\r\n");
    report.Write("\\HRule\r\n");
    report.Write("\\\\[6cm]\r\n");
    report.Write("\\begin{minipage}{0.4\\textwidth}\r\n");
    report.Write("\\begin{flushleft}\r\n");
    report.Write("\\large\r\n");
    report.Write("\\emph{Author:}\\\\ \r\n");
    report.Write(kAuthors[0]);
    report.Write(kAuthors[1]);
    report.Write("\\end{flushleft}\r\n");
    report.Write("\\end{minipage}\r\n");
    report.Write("\\begin{minipage}{0.4\\textwidth}\r\n");
    report.Write("\\begin{flushright} \\large \r\n");
    report.Write("\\emph{Contacts:} \\\\ \r\n");
    report.Write(kContacts[0]);
    report.Write(kContacts[1]);
    report.Write("\\end{flushright}\r\n");
    report.Write("\\end{minipage}\r\n");
    report.Write("\\vfill\r\n");
    report.Write("{\\large \\today}\r\n");
    report.Write("\\end{center}");
    report.Write("\\end{titlepage}");
}

void write_startup_introduction(OutFile& report)
{
    report.Write("\\large\r\n");
    report.Write("\\pdfbookmark[1]{Introduction}{Introduction}\r\n");
    report.Write("\\begin{center}\r\n");
    report.Write("\\section*{Introduction}\r\n");
    report.Write("\\end{center}\r\n");
    report.Write("\\begin{changemargin}{2cm}{2cm}\r\n");
    report.Write("Purpose of this test is to measure the GPS startup capability of Device Under Test (DUT) when it "
                 "starts in wrong postion conditions (e.g. DUT has been turned OFF and then moved far from previous "
                 "position before start it again). ");
    report.Write("Startup capabilities are measured in terms of Time To First Fix (TTFF) and First Fix Position "
                 "Accuracy (FFPA). Results are collected in charts and tables and they are reported in the next "
                 "sections. Last section reports a detailed list of all test trials performed on DUT ");
    report.Write("including information about initial position, satellite visibility from initial position and "
                 "satellite visibility from fix position. Worst case has been considered in this test session where "
                 "satellite visibility doesn't show commom ");
    report.Write("satellites between initial and final (on fix) position. ");
    report.Write("Tests have been executed running a special SW build which sets the initial test conditions at every "
                 "startup.\r\n");
    for (int k = 0; k < 4; ++k) {
        report.Write("\\newline\r\n");
    }
    report.Write("\\begin{center}\r\n");
    report.Write("\\pdfbookmark[1]{Test Session Information}{Test Session Information}\r\n");
    report.Write("\\section*{Test Session Information}\r\n");
    report.Write("\\begin{tabular}{rp{10cm}}\r\n");
    report.Write("\\toprule\r\n");
    report.Write("\\emph{DUT} & Nuvi 1690 \\\\ \r\n");
    report.Write("\\emph{Software Rev.} & 2.42/3.60 modified to set the initial test conditions (bad position and "
                 "time error) at every system startup. \\\\ \r\n");
    report.Write("\\emph{Input Signal Type} & Roof Antenna \\\\ \r\n");
    report.Write("\\emph{Input Signal Level} & CN0 in the range 42dB/47dB (real full sky) \\\\ \r\n");
    report.Write("\\emph{Static/Moving Conditions} & DUT has been tested in static conditions on a fixed position "
                 "\\\\ \r\n");
    report.Write("\\emph{Test Procedure} & DUT power supply over the USB cable is periodically (every 10 minutes) "
                 "ON/OFF cycled by an automatic script running on a test machine. Internal nmea logs are used to get "
                 "results.\\\\ \r\n");
    report.Write("\\bottomrule\r\n");
    report.Write("\\end{tabular}\r\n");
    report.Write("\\end{center}\r\n");
    report.Write("\\end{changemargin}\r\n");
    report.Write("\\newpage\r\n");
}

bool open_tracking_report(OutFile& report, const std::string& folder, int number)
{
    const std::string name =
        number == 0 ? std::string("tracking_analysis_report.tex") : Format("tracking_analysis_report_%d.tex", number);
    if (!write_latex_preamble(report, name, folder, "Tracking Analysis")) {
        return false;
    }
    write_latex_title_page(report, "Tracking Analysis");
    return true;
}

namespace {

// The time of the last line that holds one, from the file's tail only: the
// satellite files of a day run to megabytes and every figure file of every
// layout asks. Nothing when the tail holds no such line, or a line too long
// for the line reader (the caller then reads the whole file).
std::optional<int32_t> LastTimeFromTail(std::FILE* f, long size)
{
    constexpr long kTail = 1 << 16;
    constexpr std::size_t kLongestLine = 2047;
    const long from = size > kTail ? size - kTail : 0;
    std::string tail(static_cast<std::size_t>(size - from), '\0');
    if (std::fseek(f, from, SEEK_SET) != 0 || std::fread(tail.data(), 1, tail.size(), f) != tail.size()) {
        return std::nullopt;
    }
    // Lines that begin inside the tail: after its first line feed, unless the
    // tail is the whole file.
    std::size_t begin = 0;
    if (from > 0) {
        const std::size_t lf = tail.find('\n');
        if (lf == std::string::npos) {
            return std::nullopt;
        }
        begin = lf + 1;
    }
    std::vector<std::string_view> lines;
    const std::string_view text(tail);
    while (begin < text.size()) {
        std::size_t end = text.find('\n', begin);
        end = end == std::string_view::npos ? text.size() : end + 1;
        if (end - begin > kLongestLine) {
            return std::nullopt;
        }
        lines.push_back(text.substr(begin, end - begin));
        begin = end;
    }
    for (auto it = lines.rbegin(); it != lines.rend(); ++it) {
        int32_t t = 0;
        if (Scanner(*it).Int(t, 10)) {
            return t;
        }
    }
    return std::nullopt;
}

}  // namespace

std::optional<TimeSpan> read_first_last_time(const std::string& file_name)
{
    std::error_code ec;
    if (!fs::is_regular_file(file_name, ec)) {
        return std::nullopt;
    }
    std::FILE* f = std::fopen(file_name.c_str(), "rb");
    if (f == nullptr) {
        return std::nullopt;
    }
    char head[2048];
    const std::size_t n = std::fread(head, 1, sizeof head - 1, f);
    const std::string_view start(head, n);
    const std::size_t lf = start.find('\n');
    TimeSpan span;
    if (!Scanner(start.substr(0, lf == std::string_view::npos ? start.size() : lf + 1)).Int(span.first, 10)) {
        std::fclose(f);
        return std::nullopt;
    }
    span.last = span.first;
    std::optional<int32_t> last;
    if (std::fseek(f, 0, SEEK_END) == 0) {
        const long size = std::ftell(f);
        if (size > 0) {
            last = LastTimeFromTail(f, size);
        }
    }
    std::fclose(f);
    if (last) {
        span.last = *last;
        return span;
    }
    ByteStream in;
    if (!in.Open(file_name)) {
        return std::nullopt;
    }
    std::string line;
    read_line(in, line);
    while (true) {
        read_line(in, line);
        if (line.empty()) {
            break;
        }
        int32_t t = 0;
        if (Scanner(line).Int(t, 10)) {
            span.last = t;
        }
    }
    return span;
}

bool write_interval_figures(const std::string& interval_folder, int32_t start, int32_t end, int mode)
{
    if (RefusedMode(mode)) {
        return false;
    }
    const std::string prefix = FolderPrefix(interval_folder);
    std::vector<std::optional<TimeSpan>> spans(kSatellites + 1);
    for (int prn = 1; prn <= kSatellites; ++prn) {
        const std::string file = prefix + Format("sat%02d.csv", prn);
        std::error_code ec;
        if (fs::is_regular_file(file, ec) && fs::file_size(file, ec) > 0 && !ec) {
            spans[prn] = read_first_last_time(file);
        }
    }
    const std::string s = Stamp(start);
    const std::string e = Stamp(end);
    const std::string image_folder = "satdata_from_" + s + "_to_" + e + "/";
    const std::string name = mode == 0 ? Format("%sreport_from_%s_to_%s.tex", prefix.c_str(), s.c_str(), e.c_str())
                                       : Format("%sreport_%d_from_%s_to_%s.tex", prefix.c_str(), mode, s.c_str(),
                                                e.c_str());
    OutFile out;
    if (!Created(out, name)) {
        return false;
    }
    const bool full = mode == 0 || mode == 4;
    const CalendarTime a = Calendar(start);
    const CalendarTime b = Calendar(end);
    for (const IntervalFigure& f : kIntervalFigures) {
        if (!full && !f.every_mode) {
            continue;
        }
        out.Write("\\begin{figure}[h]\r\n");
        out.Write("\\centering\r\n");
        out.Printf(f.bookmark, 1, start);
        out.Printf(f.image, image_folder.c_str());
        out.Printf(f.caption, a.hour, a.minute, a.second, b.hour, b.minute, b.second, b.day, b.month, b.year);
        out.Write("\\end{figure}\r\n");
    }
    bool pair_open = false;  // mode 3: a figure waits for its second satellite
    for (int prn = 1; prn <= kSatellites; ++prn) {
        if (!spans[prn]) {
            continue;
        }
        if (full) {
            FullSatellitePage(out, prn, *spans[prn], start, image_folder, mode == 4);
        } else if (mode == 1 || mode == 2) {
            out.Write("\\begin{figure}[p]\r\n");
            out.Write("\\centering\r\n");
            SatelliteBookmark(out, prn, start);
            WriteSubfigure(out, Subfigure::Cn0, prn, image_folder, "\\quad");
            WriteSubfigure(out, mode == 1 ? Subfigure::Tracking : Subfigure::Frequency, prn, image_folder, "\\\\ ");
            out.Write("\\end{figure}\r\n");
        } else if (!pair_open) {
            out.Write("\\begin{figure}[p]\r\n");
            out.Write("\\centering\r\n");
            SatelliteBookmark(out, prn, start);
            for (int next = prn + 1; next <= kSatellites; ++next) {
                if (spans[next]) {
                    SatelliteBookmark(out, next, start);
                    break;
                }
            }
            pair_open = true;
            WriteSubfigure(out, Subfigure::Cn0, prn, image_folder, "\\quad");
        } else {
            pair_open = false;
            WriteSubfigure(out, Subfigure::Cn0, prn, image_folder, "\\\\ ");
            out.Write("\\end{figure}\r\n");
        }
    }
    if (pair_open) {
        out.Write("\\end{figure}\r\n");
    }
    if (!out.Close()) {
        std::fprintf(stderr, "cannot write %s: %s\n", name.c_str(), out.Error().c_str());
        return false;
    }
    return true;
}

bool write_interval_chapter(OutFile& report, int32_t start, int32_t end, int number)
{
    if (RefusedMode(number)) {
        return false;
    }
    const CalendarTime a = Calendar(start);
    const CalendarTime b = Calendar(end);
    report.Write("\\chapter*{}\r\n");
    report.Printf("\\pdfbookmark[%d]{Data Captured Between %02d:%02d:%02d and %02d:%02d:%02d on %02d/%02d/%04d}"
                  "{Data_Captured_Between_%02d:%02d:%02d_and_%02d:%02d:%02d_on_%02d/%02d/%04d}\r\n",
                  0, a.hour, a.minute, a.second, b.hour, b.minute, b.second, b.day, b.month, b.year, a.hour, a.minute,
                  a.second, b.hour, b.minute, b.second, b.day, b.month, b.year);
    const std::string s = Stamp(start);
    const std::string e = Stamp(end);
    if (number == 0) {
        report.Printf("\\input{satdata_from_%s_to_%s/report_from_%s_to_%s}\r\n", s.c_str(), e.c_str(), s.c_str(),
                      e.c_str());
    } else {
        report.Printf("\\input{satdata_from_%s_to_%s/report_%d_from_%s_to_%s}\r\n", s.c_str(), e.c_str(), number,
                      s.c_str(), e.c_str());
    }
    return true;
}

}  // namespace navsift
