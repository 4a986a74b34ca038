// The chart workbooks of the tracking analysis part by part: every part of
// every saved workbook, unzipped, against reference parts kept in the
// repository, and a whole day of one satellite read back by openpyxl. Only
// the creation time differs between runs, and only the spelling of texts
// differs between a workbook written row by row (texts in the cells) and one
// written whole (texts in a shared table, row spans): both are brought to
// one spelling before comparing; everything else must match byte for byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <regex>

#include "analysis/writers/excel_charts.h"
#include "tests/analysis/navsift_harness.h"
#include "tests/workbook/support.h"

namespace navsift_test {
namespace {

const fs::path kGolden = fs::path(FIXBENCH_SOURCE_DIR) / "tests/analysis/golden/tracking_chart_workbooks.txt";

// Twelve seconds of three satellites, two of them with tracker channels, from
// 10:00:00 UTC on 2008-06-30.
std::string SmallLog()
{
    std::string log;
    for (int k = 0; k < 12; ++k) {
        const int utc = 36000 + k;
        char hms[16];
        std::snprintf(hms, sizeof hms, "%02d%02d%02d.00", utc / 3600, (utc / 60) % 60, utc % 60);
        log += Sentence(std::string("GPGGA,") + hms + ",4807.0380,N,01131.0000,E,1,08,0.9,545.4,M,46.9,M,,");
        log += Sentence(std::string("GPRMC,") + hms + ",A,4807.0380,N,01131.0000,E,00" + std::to_string(k % 10) +
                        ".5,084.4,300608,003.1,W");
        log += Sentence("GPGSA,A,3,04,05,09,,,,,,,,,,2.5,1.3,2.1");
        char gsv[96];
        std::snprintf(gsv, sizeof gsv, "GPGSV,1,1,03,04,15,270,%02d,05,25,170,%02d,09,57,208,%02d", 30 + k, 41,
                      k % 4 == 0 ? 0 : 38 + k % 3);
        log += Sentence(gsv);
        log += Sentence("PQNVTG,1486," + std::to_string(86400 + utc + 15) + ".000,0,0,0,12.5");
        char ts[96];
        std::snprintf(ts, sizeof ts, "PQNVTS,0,4,0,%.3f,0,%d,%d", 1234.5 + k, 30 + k, 1000 * k);
        log += Sentence(ts);
        std::snprintf(ts, sizeof ts, "PQNVTS,0,5,0,%.3f,0,41,%d", -250.25 - k, 500 * k);
        log += Sentence(ts);
    }
    return log;
}

// Brings a listing of parts to one spelling of texts: each text cell with
// its text in place, no row spans, no shared-string part or its entries.
const char* kOneSpelling = R"PY(
import re, sys
books = re.split(r'(?m)^(?=== )', sys.stdin.read())
out = []
for book in books:
    parts = re.split(r'(?m)^(?=-- )', book)
    sst = []
    for p in parts:
        if p.startswith('-- xl/sharedStrings.xml\n'):
            sst = re.findall(r'<si><t[^>]*>(.*?)</t></si>', p, re.S)
    for p in parts:
        if p.startswith('-- xl/sharedStrings.xml\n'):
            continue
        p = re.sub(r'(<row [^>]*?) spans="[^"]*"', r'\1', p)
        p = re.sub(r't="s"><v>(\d+)</v></c>', lambda m: 't="text">' + sst[int(m.group(1))] + '</c>', p)
        p = re.sub(r't="inlineStr"><is><t[^>]*>(.*?)</t></is></c>', r't="text">\1</c>', p)
        p = re.sub(r'<Override PartName="/xl/sharedStrings.xml"[^>]*/>', '', p)
        p = re.sub(r'<Relationship Id="rId\d+" Type="[^"]*/sharedStrings" Target="sharedStrings.xml"/>', '', p)
        out.append(p)
sys.stdout.write(''.join(out))
)PY";

std::string OneSpelling(const fs::path& work, const std::string& listing)
{
    WriteFile(work / "spelling.py", kOneSpelling);
    WriteFile(work / "listing.txt", listing);
    std::string out;
    const int rc = wbtest::Run(wbtest::Python() + " '" + (work / "spelling.py").string() + "' < '" +
                                   (work / "listing.txt").string() + "'",
                               out);
    EXPECT_EQ(rc, 0);
    return out;
}

// Every part of every workbook under `folder`, in order of path and part
// name, with the document's creation and change times blanked.
std::string WorkbookParts(const fs::path& folder)
{
    std::vector<fs::path> books;
    for (const auto& e : fs::recursive_directory_iterator(folder)) {
        if (e.is_regular_file() && e.path().extension() == ".xlsx") {
            books.push_back(fs::relative(e.path(), folder));
        }
    }
    std::sort(books.begin(), books.end());
    const std::string script = (folder / "parts.py").string();
    WriteFile(script,
              "import sys, zipfile\n"
              "z = zipfile.ZipFile(sys.argv[1])\n"
              "for n in sorted(z.namelist()):\n"
              "    sys.stdout.write('-- %s\\n' % n)\n"
              "    sys.stdout.write(z.read(n).decode('utf-8'))\n"
              "    sys.stdout.write('\\n')\n");
    std::string all;
    const std::regex stamp("(<dcterms:(created|modified)[^>]*>)[^<]*(</dcterms:)");
    for (const fs::path& b : books) {
        std::string out;
        const int rc = wbtest::Run(wbtest::Python() + " '" + script + "' '" + (folder / b).string() + "'", out);
        EXPECT_EQ(rc, 0) << b;
        all += "== " + b.generic_string() + "\n" + std::regex_replace(out, stamp, "$1*$3");
    }
    fs::remove(script);
    return all;
}

TEST(TrackingChartWorkbooks, EveryPartOfEveryWorkbookIsAsBefore)
{
    ScratchDir dir;
    WriteFile(dir / "small_NMEA.txt", SmallLog());
    const RunResult r =
        navsift_test::Run({NavsiftPath(), "-nmea", (dir / "small_NMEA.txt").string(), "-trk", "-rtype", "-1"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string parts = WorkbookParts(dir / "report");
    ASSERT_NE(parts.find("== tracking_analysis/tracking_analysis_global_info.xlsx"), std::string::npos);
    ASSERT_NE(parts.find("== tracking_analysis/sat05.xlsx"), std::string::npos);
    if (std::getenv("NAVSIFT_WRITE_GOLDEN") != nullptr) {
        WriteFile(kGolden, parts);
    }
    ASSERT_FALSE(ReadFile(kGolden).empty());
    const std::string golden = OneSpelling(dir.path(), ReadFile(kGolden));
    const std::string now = OneSpelling(dir.path(), parts);
    ASSERT_FALSE(golden.empty());
    if (now == golden) {
        return;
    }
    // Name the first part that differs, not the whole text.
    std::size_t at = 0;
    while (at < now.size() && at < golden.size() && now[at] == golden[at]) {
        ++at;
    }
    const std::size_t head = golden.rfind("\n-- ", at);
    const std::size_t book = golden.rfind("\n== ", at);
    FAIL() << "differs at byte " << at << " in "
           << golden.substr(book == std::string::npos ? 0 : book + 1, 80) << " / "
           << golden.substr(head == std::string::npos ? 0 : head + 1, 60) << "\nwas:  "
           << golden.substr(at, 120) << "\nnow:  " << now.substr(at, 120);
}

TEST(TrackingChartWorkbooks, AWholeDayOfOneSatelliteReadsBackWhole)
{
    REQUIRE_OPENPYXL();
    ScratchDir dir;
    std::string rows;
    double cn0_sum = 0;
    for (int k = 0; k < 86400; ++k) {
        char line[200];
        const double cn0 = 30.0 + (k % 200) / 10.0;
        cn0_sum += cn0;
        std::snprintf(line, sizeof line, "%12d,%12d,%12d,%12d,%12d,%12d,%12d,%12d,%12d,%12.1f,%12d,%12d,%12d\r\n",
                      898855200 + k, 7, 10, 0, -1500 + k % 3000, 0, 0, 0, 0, cn0, 15 + k / 3600, k % 360, 1);
        rows += line;
    }
    WriteFile(dir / "sat07.csv", rows);
    testing::internal::CaptureStdout();
    EXPECT_EQ(navsift::excel_sat_charts(7, (dir / "sat07.csv").string()), 0);
    testing::internal::GetCapturedStdout();

    WriteFile(dir / "day.py",
              "import sys, re, zipfile, warnings\n"
              "warnings.simplefilter('ignore')\n"
              "import openpyxl\n"
              "p = sys.argv[1]\n"
              "wb = openpyxl.load_workbook(p, read_only=True)\n"
              "print('|'.join(wb.sheetnames))\n"
              "n = 0\n"
              "total = 0.0\n"
              "last = None\n"
              "for row in wb['sat07'].iter_rows(values_only=True):\n"
              "    n += 1\n"
              "    total += row[9]\n"
              "    last = row\n"
              "print(n, len(last), last[0], last[4], last[9], last[10])\n"
              "print('%.1f' % total)\n"
              "z = zipfile.ZipFile(p)\n"
              "for name in sorted(z.namelist()):\n"
              "    if re.match(r'xl/charts/chart\\d+\\.xml$', name):\n"
              "        x = z.read(name).decode('utf-8')\n"
              "        print('|'.join(re.findall(r'<c:f>([^<]*)</c:f>', x)), x.count('<c:pt '))\n");
    std::string out;
    ASSERT_EQ(wbtest::Run(wbtest::Python() + " '" + (dir / "day.py").string() + "' '" + (dir / "sat07.xlsx").string() +
                              "'",
                          out),
              0);
    char sum[64];
    std::snprintf(sum, sizeof sum, "%.1f", cn0_sum);
    EXPECT_EQ(out, "sat07|Sat7 CN0 Chart|Sat7 Freq Chart\n"
                   "86400 13 898941599 899 49.9 38\n" +
                       std::string(sum) +
                       "\n"
                       "sat07!$A$1:$A$86400|sat07!$J$1:$J$86400 172800\n"
                       "sat07!$A$1:$A$86400|sat07!$E$1:$E$86400 172800\n");
}

}  // namespace
}  // namespace navsift_test
