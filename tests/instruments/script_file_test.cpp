// Script files: the bytes a save writes, what a load reads back, and how far
// a damaged or hand-written file loads.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "bench/instruments/script_file.h"
#include "tests/instruments/script_fakes.h"
#include "tests/support/qt_app.h"

namespace {

using script_test::Rig;
using Lines = std::vector<std::string>;

TEST(ScriptFile, SaveWritesTheCountAndOneQuotedLinePerRecord) {
    test::TempHome home;
    Rig rig(home.Path());
    rig.P().SetLines({"SEND>$PQNVHOT", "END>"});
    ASSERT_TRUE(rig.P().SaveScript("two.txt"));
    EXPECT_EQ(test::ReadFileBytes(home.File("two.txt")), "2\r\n\"SEND>$PQNVHOT\"\r\n\"END>\"\r\n");
    int16_t status = 1;
    rig.P().LoadScript("two.txt", status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(rig.P().Lines(), (Lines{"SEND>$PQNVHOT", "END>"}));
}

TEST(ScriptFile, AwkwardLinesComeBackUnchanged) {
    test::TempHome home;
    Rig rig(home.Path());
    const Lines lines{"SEND>\"text string\"",
                      "SEND>$PQNVA,1,2",
                      "",
                      "\"",
                      "\"\"",
                      "\"quoted\"",
                      " leading and trailing blanks ",
                      "WRITETOFILE>1>caf\xE9 \x80 \xFF",
                      "a\"b,\"c"};
    rig.P().SetLines(lines);
    ASSERT_TRUE(rig.P().SaveScript("awkward.txt"));
    rig.P().SetLines({});
    int16_t status = 1;
    rig.P().LoadScript("awkward.txt", status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(rig.P().Lines(), lines);
    EXPECT_EQ(test::ReadFileBytes(home.File("awkward.txt")), bench::instruments::FormatScriptFile(lines));
}

TEST(ScriptFile, HandWrittenRecordsAreReadAsItems) {
    using bench::instruments::ParseScriptFile;
    // Without quotes an item ends at a comma: the rest is the next line.
    auto c = ParseScriptFile("3\r\nSEND>$PQNVA,1\r\nEND>\r\n");
    EXPECT_TRUE(c.complete);
    EXPECT_EQ(c.lines, (Lines{"SEND>$PQNVA", "1", "END>"}));
    // LF line ends, and items after a quoted one on the same record.
    c = ParseScriptFile("3\n\"SEND>A\" ,SEND>B\nDELAY>00:00:01");
    EXPECT_TRUE(c.complete);
    EXPECT_EQ(c.lines, (Lines{"SEND>A", "SEND>B", "DELAY>00:00:01"}));
    c = ParseScriptFile("0\r\n");
    EXPECT_TRUE(c.complete);
    EXPECT_TRUE(c.lines.empty());
}

TEST(ScriptFile, DamagedFilesLoadAsFarAsTheyAreSound) {
    struct Damaged {
        const char* name;
        std::string bytes;
        Lines lines;
        const char* problem;
    };
    const std::vector<Damaged> files{
        {"short.txt", "4\r\n\"SEND>A\"\r\n\"SEND>B\"\r\n", {"SEND>A", "SEND>B"}, "stopped after 2 of 4 lines"},
        {"count.txt", "two\r\n\"SEND>A\"\r\n", {}, "record 1 is not a line count"},
        {"negative.txt", "-1\r\n", {}, "record 1 is not a line count"},
        {"big.txt", "40000\r\n", {}, "record 1 is not a line count"},
        // Beyond any integer or any double: no count, never a wrapped one.
        {"huge.txt", "1e19\r\n\"SEND>A\"\r\n", {}, "record 1 is not a line count"},
        {"inf.txt", "1e400\r\n\"SEND>A\"\r\n", {}, "record 1 is not a line count"},
        {"wrap.txt", "1e4294967297\r\n\"SEND>A\"\r\n", {}, "record 1 is not a line count"},
        {"quote.txt", "3\r\n\"SEND>A\"\r\n\"SEND>B\r\n\"END>\"\r\n", {"SEND>A"}, "record 3 has no closing quote"},
        {"empty.txt", "", {}, "the file is empty"},
        {"cut.txt", "2\r\n\"SEND>A\"\r\n\"SE", {"SEND>A"}, "record 3 has no closing quote"},
    };
    for (const Damaged& f : files) {
        SCOPED_TRACE(f.name);
        test::TempHome home;
        Rig rig(home.Path());
        test::WriteFileBytes(home.File(f.name), f.bytes);
        int16_t status = 0;
        rig.P().LoadScript(f.name, status);
        EXPECT_EQ(status, 1);
        EXPECT_EQ(rig.P().Lines(), f.lines);
        ASSERT_EQ(rig.log.lines.size(), 1u);
        EXPECT_NE(rig.log.lines[0].find(f.problem), std::string::npos) << rig.log.lines[0];
        EXPECT_NE(rig.log.lines[0].find(" (LoadScript)"), std::string::npos) << rig.log.lines[0];
        ASSERT_EQ(rig.informed.size(), 1u) << "the user is told where the file stopped";
        EXPECT_NE(rig.informed[0].second.find(f.problem), std::string::npos);
        EXPECT_EQ(test::ReadFileBytes(home.File(f.name)), f.bytes) << "loading never writes";
    }
}

TEST(ScriptFile, MissingFileEmptiesTheListAndSaysSo) {
    test::TempHome home;
    Rig rig(home.Path());
    rig.P().SetLines({"SEND>A"});
    int16_t status = 0;
    rig.P().LoadScript("nowhere.txt", status);
    EXPECT_EQ(status, 1);
    EXPECT_TRUE(rig.P().Lines().empty());
    ASSERT_EQ(rig.log.lines.size(), 1u);
    EXPECT_NE(rig.log.lines[0].find("nowhere.txt (LoadScript)"), std::string::npos) << rig.log.lines[0];
    bench::session::IScriptPanel& engine_side = rig.P();
    EXPECT_FALSE(engine_side.LoadScript("nowhere.txt"));
}

TEST(ScriptFile, SaveThatCannotWriteWarnsAndKeepsTheOldFile) {
    test::TempHome home;
    Rig rig(home.Path());
    rig.P().SetLines({"SEND>A"});
    EXPECT_FALSE(rig.P().SaveScript("no/such/folder/s.txt"));
    EXPECT_TRUE(rig.LogHas("Cannot write no/such/folder/s.txt"));
    ASSERT_EQ(rig.informed.size(), 1u);
    EXPECT_EQ(rig.P().Lines(), Lines{"SEND>A"});
}

}  // namespace
