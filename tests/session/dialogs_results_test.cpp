// The results window: what the grid shows while a test fills it.
#include "bench/session/results_window.h"

#include "tests/session/dialogs_ui.h"

#include <QTableWidget>

using namespace bench;
using namespace dialogs_test;

namespace {

class ResultsWindow : public ::testing::Test {
protected:
    void SetUp() override {
        test::EnsureApp();
        window = std::make_unique<Results>(grid);
        window->show();
        table = Find<QTableWidget>(window.get(), "MSFlexGrid1");
        ASSERT_NE(table, nullptr);
    }
    QString Cell(int row, int column) const {
        const QTableWidgetItem* item = table->item(row, column);
        return item ? item->text() : QString();
    }
    session::ResultsGrid grid;
    std::unique_ptr<Results> window;
    QTableWidget* table = nullptr;
};

TEST_F(ResultsWindow, ShowsValuesAndTheirRunningStatistics) {
    EXPECT_EQ(Cell(0, 0), "Ave (s)");
    EXPECT_EQ(Cell(1, 0), "Max (s)");
    EXPECT_EQ(Cell(2, 0), "Min (s)");
    window->UpdateCell(1, 0, 40);
    window->UpdateCell(2, 0, 20);
    window->UpdateCell(3, 0, 30);
    window->UpdateCell(1, 3, 12.25);
    EXPECT_EQ(Cell(4, 1), "40");
    EXPECT_EQ(Cell(5, 1), "20");
    EXPECT_EQ(Cell(6, 1), "30");
    EXPECT_EQ(Cell(3, 1), "") << "row 3 stays empty";
    EXPECT_EQ(Cell(0, 1), "30");
    EXPECT_EQ(Cell(1, 1), "40");
    EXPECT_EQ(Cell(2, 1), "20");
    EXPECT_EQ(Cell(4, 4), "12.25");
    EXPECT_EQ(Cell(0, 4), "12.25");
    EXPECT_EQ(Cell(0, 2), "") << "an untouched slot shows nothing";
}

TEST_F(ResultsWindow, FailedTrialsReadAsFailedAndStayOutOfTheStatistics) {
    window->UpdateCell(1, 1, 50);
    window->UpdateCell(2, 1, -1);
    window->UpdateCell(3, 1, 70);
    EXPECT_EQ(Cell(5, 2), "failed") << "the error value is no time";
    EXPECT_EQ(grid.Cell(5, 2), "-1") << "the grid keeps what was written";
    EXPECT_EQ(Cell(0, 2), "60") << "mean of the two real times";
    EXPECT_EQ(Cell(2, 2), "50");
    EXPECT_EQ(Cell(1, 2), "70");
}

// A receiver lost for the whole test: its column holds the error values and
// the starting statistics, none of which is a measurement.
TEST_F(ResultsWindow, AColumnWithoutAValidTrialShowsNoStatistics) {
    window->UpdateCell(1, 0, 31.5);
    for (int16_t trial = 1; trial <= 3; ++trial) window->UpdateCell(trial, 2, -1);
    for (int row = 4; row <= 6; ++row) EXPECT_EQ(Cell(row, 3), "failed") << row;
    for (int row = 0; row <= 2; ++row) EXPECT_EQ(Cell(row, 3), "") << "row " << row;
    EXPECT_EQ(grid.Cell(0, 3), "0");
    EXPECT_EQ(grid.Cell(1, 3), "0");
    EXPECT_EQ(grid.Cell(2, 3), "10000");
    EXPECT_EQ(Cell(0, 1), "31.5") << "the other device's statistics stand";
    window->UpdateCell(4, 2, 12.25);
    EXPECT_EQ(Cell(0, 3), "12.25");
    EXPECT_EQ(Cell(1, 3), "12.25");
    EXPECT_EQ(Cell(2, 3), "12.25");
}

TEST_F(ResultsWindow, AveragesShowThreeDecimalsAndTheGridKeepsThemWhole) {
    window->UpdateCell(1, 0, 4.49);
    window->UpdateCell(2, 0, 4.5);
    window->UpdateCell(3, 0, 4.5);
    EXPECT_EQ(grid.Cell(0, 1), "4.49666666666667");
    EXPECT_EQ(Cell(0, 1), "4.497");
    EXPECT_EQ(Cell(1, 1), "4.5");
    EXPECT_EQ(Cell(2, 1), "4.49");
    EXPECT_EQ(Cell(4, 1), "4.49");
}

TEST_F(ResultsWindow, GrowsPastItsInitialRows) {
    const int initial = table->rowCount();
    const int trial = initial + 40;
    window->UpdateCell(static_cast<int16_t>(trial), 0, 33.5);
    window->AddLineLable(static_cast<int16_t>(trial), "last");
    ASSERT_GE(table->rowCount(), trial + 4);
    EXPECT_EQ(Cell(trial + 3, 1), "33.5");
    EXPECT_EQ(Cell(trial + 3, 0), "last");
}

TEST_F(ResultsWindow, CaptionCountsTrialsAndResetEmptiesTheGrid) {
    window->UpdateTest(3, 10);
    EXPECT_EQ(window->windowTitle(), "Results: n. 3 of 10");
    window->UpdateTest(11, 10);
    EXPECT_EQ(window->windowTitle(), "Results: n. 10 of 10") << "never past the count";
    window->UpdateTest(2, 0);
    EXPECT_EQ(window->windowTitle(), "Results: n. 2") << "a script has no count";
    window->UpdateTest(3, 10);
    window->UpdateCell(1, 0, 40);
    window->AddLineLable(1, "1");
    window->ResetResultsWindow();
    EXPECT_EQ(Cell(4, 1), "");
    EXPECT_EQ(Cell(4, 0), "");
    EXPECT_EQ(Cell(0, 1), "");
    EXPECT_EQ(Cell(0, 0), "Ave (s)");
    window->UpdateCell(1, 0, 8);
    EXPECT_EQ(Cell(0, 1), "8") << "statistics start afresh";
    EXPECT_EQ(Cell(1, 1), "8");
}

TEST_F(ResultsWindow, ShowsWhatTheEngineWroteBeforeItOpened) {
    session::ResultsGrid running;
    running.UpdateCell(1, 0, 25);
    running.UpdateTest(1, 5);
    Results late(running);
    auto* t = late.findChild<QTableWidget*>("MSFlexGrid1");
    ASSERT_NE(t->item(4, 1), nullptr);
    EXPECT_EQ(t->item(4, 1)->text(), "25");
    EXPECT_EQ(late.windowTitle(), "Results: n. 1 of 5");
}

}  // namespace
