#pragma once
// The `Results` window: the grid "MSFlexGrid1" showing the running test's
// results, one row per trial and one column per device slot under the
// average, maximum and minimum rows. It draws a ResultsGrid that its owner
// keeps (the engine writes into the same grid); the operations below are
// the ones scripts and the main window call on the window.
#include "platform/qt/bench_window.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "bench/session/results_grid.h"

class QTableWidget;

namespace bench {

class Results : public platform::BenchWindow {
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
    // Whoever places the window keeps it at least this large.
    QSize minimumSizeHint() const override { return least_; }
    // The size it opens at, with room for it.
    QSize OwnSize() const { return own_; }
    QSize ContentSize() const override { return own_; }
    // The device slots of the session (true: enabled). The other slots'
    // columns are hidden while they hold nothing; before the window is
    // shown its width follows the columns it shows.
    void ShowSlots(const std::array<bool, 4>& in_session);

private:
    void Redraw();
    void ShowColumns();
    static constexpr int kLabelWidth = 110;

    session::ResultsGrid& grid_;
    std::function<void()> before_;
    QTableWidget* table_ = nullptr;
    QSize least_, own_;
    std::array<bool, 4> slots_{true, true, true, true};
    int value_width_ = 0, least_value_width_ = 0, rest_ = 0, least_height_ = 0;
};

}  // namespace bench
