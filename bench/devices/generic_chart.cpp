#include "bench/devices/generic_chart.h"

#include "platform/core/error.h"

#include <QChart>
#include <QChartView>
#include <QLineSeries>
#include <QVBoxLayout>

#include <string>

namespace bench {

namespace {
constexpr int kInvalidPropertyValue = 380;
}

GenericChart::GenericChart(QWidget* parent) : QWidget(parent, Qt::Window), data_(1, std::vector<double>(1, 0)) {
    setObjectName("GenericChart");
    chart_ = new QChart;
    chart_->legend()->setAlignment(Qt::AlignBottom);
    auto* view = new QChartView(chart_);
    view->setObjectName("MSChart1");
    view->setRenderHint(QPainter::Antialiasing);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(view);
    resize(560, 420);
    Redraw();
}

void GenericChart::CheckCell(int16_t row, int16_t column) const {
    if (row < 1 || row > rows_ || column < 1 || column > columns_)
        throw platform::BenchError(kInvalidPropertyValue, "Invalid property value (chart cell " + std::to_string(row) +
                                                              ", " + std::to_string(column) + ")");
}

void GenericChart::ChartInit(int16_t row_count, int16_t row, int16_t column_count, int16_t column) {
    if (row_count < 1 || column_count < 1 || row < 1 || row > row_count || column < 1 || column > column_count)
        throw platform::BenchError(kInvalidPropertyValue, "Invalid property value (chart size)");
    rows_ = row_count;
    columns_ = column_count;
    data_.resize(static_cast<size_t>(rows_));
    for (auto& r : data_) r.resize(static_cast<size_t>(columns_), 0);
    row_ = row;
    column_ = column;
    Redraw();
}

void GenericChart::ChartUpdate(int16_t row, int16_t column, double value) {
    CheckCell(row, column);
    row_ = row;
    column_ = column;
    data_[static_cast<size_t>(row - 1)][static_cast<size_t>(column - 1)] = value;
    Redraw();
}

double GenericChart::Value(int16_t row, int16_t column) const {
    CheckCell(row, column);
    return data_[static_cast<size_t>(row - 1)][static_cast<size_t>(column - 1)];
}

void GenericChart::Redraw() {
    chart_->removeAllSeries();
    for (int c = 0; c < columns_; ++c) {
        auto* series = new QLineSeries;
        series->setName(QString("C%1").arg(c + 1));
        for (int r = 0; r < rows_; ++r) series->append(r + 1, data_[static_cast<size_t>(r)][static_cast<size_t>(c)]);
        chart_->addSeries(series);
    }
    chart_->createDefaultAxes();
}

}  // namespace bench
