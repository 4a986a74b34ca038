#pragma once
// The results grid's contents, kept apart from its window: one row per trial,
// one column per device slot, with running average, maximum and minimum rows
// on top. The window draws what this model holds.
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace bench::session {

class ResultsGrid {
public:
    static constexpr int kColumns = 5;   // labels + four device slots
    static constexpr int kInitialRows = 104;

    ResultsGrid();

    void ResetResultsWindow();
    // A new session: every cell, the statistics and the caption emptied.
    // Unlike a test's reset it does not ask for the window to be shown.
    void ClearSession();
    void UpdateCell(int16_t trial, int16_t slot, double value);
    void AddLineLable(int16_t row, const std::string& text);
    void UpdateTest(int16_t current, int16_t trials);
    void UpdateTestStatistic(int16_t trial, int16_t slot, double value);

    // The text written into a cell.
    const std::string& Cell(int row, int col) const;
    // What the window shows for it: a failed trial's error value reads
    // "failed", the statistics of a column without a valid trial stay empty
    // (not the starting 0 and 10000), and the average has at most 3 decimals.
    std::string Shown(int row, int col) const;
    static constexpr const char* kFailedText = "failed";
    int RowCount() const { return static_cast<int>(rows_.size()); }
    const std::string& Caption() const { return caption_; }
    double Ave(int slot) const { return ave_[slot]; }
    double Max(int slot) const { return max_[slot]; }
    double Min(int slot) const { return min_[slot]; }

    // Told after every change so a window can redraw.
    std::function<void()> changed;
    // Told when the grid is emptied for a test starting afresh, before the
    // change itself is told.
    std::function<void()> cleared;

private:
    void EnsureRow(int row);
    void Reset(bool tell_cleared);
    void Notify();

    std::vector<std::array<std::string, kColumns>> rows_;
    std::vector<std::array<bool, kColumns>> failed_;  // trial cells holding an error value
    std::string caption_;
    std::array<double, 4> ave_{};
    std::array<double, 4> max_{};
    std::array<double, 4> min_{};
    std::array<int, 4> samples_{};
};

}  // namespace bench::session
