#include "bench/session/results_grid.h"

#include "platform/core/numtext.h"

#include <algorithm>

namespace bench::session {

namespace {
const std::string kEmpty;
}

ResultsGrid::ResultsGrid() : rows_(kInitialRows), failed_(kInitialRows) { ResetResultsWindow(); }

void ResultsGrid::EnsureRow(int row) {
    if (row >= static_cast<int>(rows_.size())) {
        rows_.resize(static_cast<size_t>(row) + 1);
        failed_.resize(rows_.size());
    }
}

void ResultsGrid::Notify() {
    // A copy: the first change may make the window that replaces the callback.
    if (auto notify = changed) notify();
}

void ResultsGrid::ResetResultsWindow() { Reset(true); }

void ResultsGrid::ClearSession() {
    caption_.clear();
    Reset(false);
}

void ResultsGrid::Reset(bool tell_cleared) {
    for (auto& r : rows_)
        for (auto& c : r) c.clear();
    for (auto& r : failed_) r.fill(false);
    for (int s = 0; s < 4; ++s) {
        ave_[s] = 0;
        max_[s] = 0;
        min_[s] = 10000.0;
        samples_[s] = 0;
    }
    rows_[0][0] = "Ave (s)";
    rows_[1][0] = "Max (s)";
    rows_[2][0] = "Min (s)";
    if (auto clear = cleared; clear && tell_cleared) clear();
    Notify();
}

void ResultsGrid::UpdateCell(int16_t trial, int16_t slot, double value) {
    if (trial < 1 || slot < 0 || slot > 3) return;
    EnsureRow(trial + 3);
    rows_[trial + 3][slot + 1] = platform::NumberToText(value);
    failed_[trial + 3][slot + 1] = value < 0;
    UpdateTestStatistic(trial, slot, value);
}

void ResultsGrid::AddLineLable(int16_t row, const std::string& text) {
    if (row + 3 < 0) return;
    EnsureRow(row + 3);
    rows_[row + 3][0] = text;
    Notify();
}

void ResultsGrid::UpdateTest(int16_t current, int16_t trials) {
    // A script has no number of trials, and no counter runs past its count.
    if (trials <= 0)
        caption_ = "Results: n. " + std::to_string(current);
    else
        caption_ = "Results: n. " + std::to_string(std::min(current, trials)) + " of " + std::to_string(trials);
    Notify();
}

void ResultsGrid::UpdateTestStatistic(int16_t trial, int16_t slot, double value) {
    if (trial < 1 || slot < 0 || slot > 3) return;
    // Negative values mean "no fix" or an error: shown in their cell, but kept
    // out of the statistics; the mean counts the slot's own samples so a
    // missed trial does not skew it.
    if (value >= 0) {
        if (value > max_[slot]) max_[slot] = value;
        if (value < min_[slot]) min_[slot] = value;
        const double n = ++samples_[slot];
        ave_[slot] = ((n - 1) / n) * ave_[slot] + (1 / n) * value;
    }
    rows_[0][slot + 1] = platform::NumberToText(ave_[slot]);
    rows_[1][slot + 1] = platform::NumberToText(max_[slot]);
    rows_[2][slot + 1] = platform::NumberToText(min_[slot]);
    Notify();
}

std::string ResultsGrid::Shown(int row, int col) const {
    const std::string& text = Cell(row, col);
    if (col < 1 || col >= kColumns || row < 0 || row >= static_cast<int>(rows_.size())) return text;
    const int slot = col - 1;
    if (row < 3) {
        if (text.empty() || samples_[slot] == 0) return {};
        return row == 0 ? platform::NumberToText(platform::RoundDecimals(ave_[slot], 3)) : text;
    }
    return failed_[row][col] ? kFailedText : text;
}

const std::string& ResultsGrid::Cell(int row, int col) const {
    if (row < 0 || row >= static_cast<int>(rows_.size()) || col < 0 || col >= kColumns) return kEmpty;
    return rows_[row][col];
}

}  // namespace bench::session
