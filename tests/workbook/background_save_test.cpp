// Saves read on one thread and written on another: what the file holds is
// what the workbook held when the save was made, saves land in the order
// made, a failure comes back, and nothing queued is lost when the saver goes.
#include "platform/workbook/background_save.h"
#include "platform/workbook/workbook.h"
#include "platform/workbook/xlsx_writer.h"
#include "support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

using namespace workbook;

namespace {

namespace fs = std::filesystem;

// Files in `dir` whose names start with a dot: the temporary files of saves.
std::vector<std::string> Leftovers(const fs::path& dir) {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(dir))
        if (e.path().filename().string().front() == '.') out.push_back(e.path().filename().string());
    return out;
}

TEST(BackgroundSave, TheFileHoldsTheWorkbookAsItWasWhenTheSaveWasMade) {
    wbtest::TempDir dir;
    Application app;
    Workbook& wb = app.AddWorkbook();
    Worksheet& ws = wb.Worksheets(1);
    const std::string path = dir.File("trials.xlsx");
    std::vector<std::string> errors;
    std::mutex m;
    std::vector<std::string> done;
    {
        BackgroundSaver saver;
        for (int t = 1; t <= 40; ++t) {
            ws.Cells(t + 1, 3).SetValue(t * 1.5);
            ws.Cells(1, 2).SetFormula("=COUNT(C2:C200)");
            // Each save is read now and written later, while the rows go on.
            std::unique_ptr<PreparedXlsx> file = t == 1 ? wb.PrepareSaveAs(path) : wb.PrepareSave();
            saver.Submit(std::move(file), [&, t](const std::string& e) {
                std::lock_guard<std::mutex> lock(m);
                done.push_back(std::to_string(t) + ":" + e);
            });
        }
        // Changed after the last save: not in the file.
        ws.Cells(42, 3).SetValue(999.0);
        saver.Flush();
        EXPECT_EQ(saver.Pending(), 0u);
    }
    ASSERT_TRUE(fs::exists(path));
    EXPECT_TRUE(Leftovers(dir.Path()).empty());
    // Every save landed, in the order made.
    ASSERT_EQ(done.size(), 40u);
    for (size_t i = 0; i < done.size(); ++i) EXPECT_EQ(done[i], std::to_string(i + 1) + ":");
    EXPECT_EQ(wb.FullName(), fs::absolute(path).lexically_normal().string());
    if (!wbtest::HaveOpenpyxl()) GTEST_SKIP() << "python3-openpyxl is missing";
    wbtest::FileView f = wbtest::ReadBack(path, dir.Path().string());
    for (int t = 1; t <= 40; ++t)
        EXPECT_EQ(wbtest::AsDouble(f.formulas["Sheet1!C" + std::to_string(t + 1)]), t * 1.5) << t;
    EXPECT_EQ(f.formulas.count("Sheet1!C42"), 0u);
    EXPECT_EQ(wbtest::AsDouble(f.cached["Sheet1!B1"]), 40);
}

TEST(BackgroundSave, AClosedWorkbookAndASaverThatGoesStillWriteEveryQueuedFile) {
    wbtest::TempDir dir;
    std::atomic<int> written{0};
    {
        BackgroundSaver saver;
        Application app;
        for (int b = 0; b < 4; ++b) {
            Workbook& wb = app.AddWorkbook();
            wb.Worksheets(1).Cells(1, 1).SetValue("receiver " + std::to_string(b));
            for (int r = 2; r < 2000; ++r) wb.Worksheets(1).Cells(r, 1).SetValue(r * 0.25);
            std::unique_ptr<PreparedXlsx> file = wb.PrepareSaveAs(dir.File("rcv" + std::to_string(b) + ".xlsx"));
            wb.Close();  // the workbook is gone before its file is written
            saver.Submit(std::move(file), [&](const std::string& e) {
                if (e.empty()) ++written;
            });
        }
        app.Quit();
    }  // no Flush: the saver's end writes what is queued
    EXPECT_EQ(written.load(), 4);
    for (int b = 0; b < 4; ++b) EXPECT_TRUE(fs::exists(dir.File("rcv" + std::to_string(b) + ".xlsx"))) << b;
    EXPECT_TRUE(Leftovers(dir.Path()).empty());
    if (!wbtest::HaveOpenpyxl()) GTEST_SKIP() << "python3-openpyxl is missing";
    wbtest::FileView f = wbtest::ReadBack(dir.File("rcv3.xlsx"), dir.Path().string());
    EXPECT_EQ(f.formulas["Sheet1!A1"], "receiver 3");
    EXPECT_EQ(wbtest::AsDouble(f.formulas["Sheet1!A1999"]), 1999 * 0.25);
}

TEST(BackgroundSave, AFailureComesBackAndLeavesNoFileBehind) {
    wbtest::TempDir dir;
    Application app;
    Workbook& wb = app.AddWorkbook();
    wb.Worksheets(1).Cells(1, 1).SetValue(1.0);
    const fs::path folder = dir.Path() / "session";
    fs::create_directories(folder);
    BackgroundSaver saver;
    std::string error = "not called";
    std::unique_ptr<PreparedXlsx> file = wb.PrepareSaveAs((folder / "rcv.xlsx").string());
    fs::remove_all(folder);  // the folder goes before the file is written
    saver.Submit(std::move(file), [&](const std::string& e) { error = e; });
    saver.Flush();
    EXPECT_NE(error.find("rcv.xlsx"), std::string::npos) << error;
    EXPECT_FALSE(fs::exists(folder));

    // A save read and never written leaves nothing either.
    fs::create_directories(folder);
    { std::unique_ptr<PreparedXlsx> dropped = wb.PrepareSave(); }
    EXPECT_TRUE(fs::is_empty(folder));
    EXPECT_THROW(Application().AddWorkbook().PrepareSave(), ExcelError) << "never saved under a name";
}

}  // namespace
