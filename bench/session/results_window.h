#pragma once
// The `Results` window: the grid "MSFlexGrid1" showing the running test's
// results, one row per trial and one column per device slot under the
// average, maximum and minimum rows. It draws a ResultsGrid that its owner
// keeps (the engine writes into the same grid); the operations below are
// the ones scripts and the main window call on the window.
#include <QWidget>

#include <cstdint>
#include <string>

#include "bench/session/results_grid.h"

class QTableWidget;

namespace bench {

class Results : public QWidget {
    Q_OBJECT
public:
    // `grid` must outlive the window. The window does not clear it: a test
    // already running keeps its rows when the window is first opened.
    explicit Results(session::ResultsGrid& grid, QWidget* parent = nullptr);
    ~Results() override;

    void ResetResultsWindow() { grid_.ResetResultsWindow(); }
    void UpdateCell(int16_t trial, int16_t slot, double value) { grid_.UpdateCell(trial, slot, value); }
    void AddLineLable(int16_t row, const std::string& text) { grid_.AddLineLable(row, text); }
    void UpdateTest(int16_t current, int16_t trials) { grid_.UpdateTest(current, trials); }
    void UpdateTestStatistic(int16_t trial, int16_t slot, double value) { grid_.UpdateTestStatistic(trial, slot, value); }

    session::ResultsGrid& Grid() { return grid_; }

private:
    void Redraw();

    session::ResultsGrid& grid_;
    std::function<void()> before_;
    QTableWidget* table_ = nullptr;
};

}  // namespace bench
