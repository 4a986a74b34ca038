#pragma once
// A window holding one line chart of a small data grid: rows along the x
// axis, one line per column. Kept for tools that want to plot a few values;
// the bench itself makes none.
#include <QWidget>

#include <cstdint>
#include <vector>

class QChart;

namespace bench {

class GenericChart : public QWidget {
public:
    explicit GenericChart(QWidget* parent = nullptr);

    // Grid size and the current cell (rows and columns from 1). Values of
    // cells that stay inside the grid are kept. A count below 1 or a cell
    // outside the grid is a BenchError and changes nothing.
    void ChartInit(int16_t row_count, int16_t row, int16_t column_count, int16_t column);
    // Makes (row, column) the current cell and sets its value.
    void ChartUpdate(int16_t row, int16_t column, double value);

    int16_t RowCount() const { return rows_; }
    int16_t ColumnCount() const { return columns_; }
    int16_t Row() const { return row_; }
    int16_t Column() const { return column_; }
    double Value(int16_t row, int16_t column) const;
    QChart* Chart() const { return chart_; }

private:
    void CheckCell(int16_t row, int16_t column) const;
    void Redraw();
    int16_t rows_ = 1;
    int16_t columns_ = 1;
    int16_t row_ = 1;
    int16_t column_ = 1;
    std::vector<std::vector<double>> data_;  // [row - 1][column - 1]
    QChart* chart_ = nullptr;
};

}  // namespace bench
