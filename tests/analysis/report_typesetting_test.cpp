// The tracking report as a run typesets it, before the outside plotting step
// has drawn its charts: the page references of its footers settle ("Page 2
// of 9", never "of ??") and a satellite's page of charts keeps within its
// page.
#include <gtest/gtest.h>

#include "tests/analysis/navsift_harness.h"
#include "tests/analysis/qnv_logs.h"

namespace navsift_test {
namespace {

bool HavePdflatex()
{
    return navsift_test::Run({"sh", "-c", "command -v pdflatex"}, fs::temp_directory_path()).status == 0;
}

TEST(ReportTypesetting, PageReferencesSettleAndChartPagesKeepWithinTheirPage)
{
    if (!HavePdflatex()) {
        GTEST_SKIP() << "pdflatex is not installed here (tools/bootstrap installs TeX Live)";
    }
    ScratchDir dir;
    std::vector<QnvEpoch> epochs;
    for (int k = 0; k < 40; ++k) {
        QnvEpoch e;
        e.sod = 36000 + k;
        e.tow = 6 * 86400.0 + 14 + e.sod;
        e.quality = 1;
        e.sats = {{3, 40}, {7, 38}, {9, 44}, {12, 35}, {15, 41}, {21, 33}};
        epochs.push_back(e);
    }
    WriteFile(dir / "site_NMEA.txt", QnvLog(epochs));
    const RunResult r = navsift_test::Run({NavsiftPath(), "-nmea", "site_NMEA.txt", "-trk", "-rtype", "0"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    const fs::path report = dir / "report" / "tracking_analysis";
    ASSERT_TRUE(fs::exists(report / "tracking_analysis_report.pdf")) << r.err;
    // The log of the last pass: nothing left to settle, nothing past a page.
    const std::string log = ReadFile(report / "tracking_analysis_report.log");
    EXPECT_EQ(log.find("Rerun to get"), std::string::npos) << "references not settled";
    EXPECT_EQ(log.find("Reference `LastPage' on page"), std::string::npos) << "a footer reads \"of ??\"";
    EXPECT_EQ(log.find("Float too large"), std::string::npos) << "a page of charts runs past its page";
    // The charts are missing, which the run says, and the report is kept.
    EXPECT_NE(r.err.find("was not typeset whole; its sources are kept"), std::string::npos) << r.err;
}

}  // namespace
}  // namespace navsift_test
