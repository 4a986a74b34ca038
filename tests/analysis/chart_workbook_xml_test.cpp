// The chart workbooks of the tracking analysis byte for byte: every part of
// every saved workbook, unzipped, against reference parts kept in the
// repository (only the creation time in the document properties differs
// between runs), and a whole day of one satellite read back by openpyxl.
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
    const std::string golden = ReadFile(kGolden);
    ASSERT_FALSE(golden.empty());
    if (parts == golden) {
        return;
    }
    // Name the first part that differs, not the whole text.
    std::size_t at = 0;
    while (at < parts.size() && at < golden.size() && parts[at] == golden[at]) {
        ++at;
    }
    const std::size_t head = golden.rfind("\n-- ", at);
    const std::size_t book = golden.rfind("\n== ", at);
    FAIL() << "differs at byte " << at << " in "
           << golden.substr(book == std::string::npos ? 0 : book + 1, 80) << " / "
           << golden.substr(head == std::string::npos ? 0 : head + 1, 60) << "\nwas:  "
           << golden.substr(at, 120) << "\nnow:  " << parts.substr(at, 120);
}

}  // namespace
}  // namespace navsift_test
