#include "bench/devices/pos_chart.h"

#include "bench/devices/device_state.h"
#include "platform/core/error.h"
#include "platform/core/numtext.h"
#include "platform/qt/owned_window.h"
#include "platform/ui/prompts.h"

#include <QChart>
#include <QChartView>
#include <QCloseEvent>
#include <QFont>
#include <QHBoxLayout>
#include <QImageWriter>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QScatterSeries>
#include <QSlider>
#include <QValueAxis>
#include <QVBoxLayout>

#include <cmath>
#include <string_view>

namespace bench {

namespace {

constexpr double kPi = 3.14159265358979;
constexpr double kEarthRadius = 6372795.477598;
constexpr double kMinutesToRadians = kPi / 10800;
constexpr int kSubscriptOutOfRange = 9;
constexpr double kTwipsPerPixel = 15;

// Axis labels stay in plain metres up to this half range, in kilometres
// beyond, so they never need an exponent or grow wide enough to overlap.
constexpr double kKilometresFrom = 10000;

// A round tick step giving five to ten intervals over the axis: 1, 2 or 5
// times a power of ten from one unit up, a power of two below (a binary
// exact step, so the tick at 0 reads 0 and not -5.55e-17).
double TickStep(double half_range) {
    const double raw = 2 * half_range / 10;
    if (!(raw > 0) || !std::isfinite(raw)) return 1;
    if (raw < 1) return std::pow(2, std::ceil(std::log2(raw)));
    const double magnitude = std::pow(10, std::floor(std::log10(raw)));
    for (double m : {1.0, 2.0, 5.0})
        if (m * magnitude >= raw * (1 - 1e-9)) return m * magnitude;
    return 10 * magnitude;
}

}  // namespace

double LatMinutesToMetres(double minutes) { return minutes * kMinutesToRadians * kEarthRadius; }

double LonMinutesToMetres(double lat_minutes, double minutes) {
    return minutes * kMinutesToRadians * std::cos(lat_minutes * kMinutesToRadians) * kEarthRadius;
}

double SliderHalfRange(int32_t value, int32_t maximum) {
    // Compared in halves so an odd maximum keeps its fractional middle.
    const double middle = maximum / 2.0;
    double z = 1;
    if (value > middle)
        z = 1 / (value - middle);
    else if (value < middle)
        z = middle - value;
    return 5 * z;
}

void PositionPlot::Add(double lat_minutes, const std::string& ns, double lon_minutes, const std::string& ew,
                       int16_t series) {
    if (series < 0 || series + 1 >= kSeries)
        throw platform::BenchError(kSubscriptOutOfRange,
                                   "Subscript out of range (chart series " + std::to_string(series) + ")");
    auto& count = counts_[static_cast<size_t>(series)];
    if (count < kMaxPoints) ++count;
    const double lat_sign = ns == "S" ? -1 : 1;
    const double lon_sign = ew == "W" ? -1 : 1;
    const double north = LatMinutesToMetres(lat_sign * lat_minutes - kReferenceLatitude);
    const double east = LonMinutesToMetres(lat_minutes, lon_sign * lon_minutes - kReferenceLongitude);
    if (std::fabs(north) > max_north_) {
        max_north_ = std::fabs(north);
        max_pos_ = std::sqrt(max_north_ * max_north_ + max_east_ * max_east_);
    }
    if (std::fabs(east) > max_east_) {
        max_east_ = std::fabs(east);
        max_pos_ = std::sqrt(max_north_ * max_north_ + max_east_ * max_east_);
    }
    auto& row = points_[static_cast<size_t>(count)];
    row[static_cast<size_t>(series)] = east;
    row[static_cast<size_t>(series) + 1] = north;
}

double PositionPlot::East(int row, int series) const {
    return points_.at(static_cast<size_t>(row)).at(static_cast<size_t>(series));
}

double PositionPlot::North(int row, int series) const {
    return points_.at(static_cast<size_t>(row)).at(static_cast<size_t>(series) + 1);
}

std::string PositionPlot::Footnote() const {
    using platform::NumberToText;
    using platform::RoundDecimals;
    return "Max Pos Error: " + NumberToText(RoundDecimals(max_pos_, 1)) +
           "m   Max Lat Error: " + NumberToText(RoundDecimals(max_north_, 1)) +
           "m   Max Lon Error: " + NumberToText(RoundDecimals(max_east_, 1));
}

int PositionPlot::AxisLimit() const { return static_cast<int>(std::floor(max_pos_ + 1)); }

PosChart::PosChart(QWidget* parent) : platform::BenchWindow(parent, Placement::Own) {
    setObjectName("PosChart");
    setAttribute(Qt::WA_DeleteOnClose);

    series_ = new QScatterSeries;
    series_->setName("Position error");
    series_->setMarkerShape(QScatterSeries::MarkerShapeCircle);
    series_->setMarkerSize(7);
    series_->setColor(QColor(0, 90, 200));
    series_->setBorderColor(QColor(0, 50, 120));

    chart_ = new QChart;
    chart_->addSeries(series_);
    chart_->legend()->hide();
    chart_->setTitle("Position error from the reference");
    x_axis_ = new QValueAxis;
    y_axis_ = new QValueAxis;
    x_axis_->setTitleText("East [m]");
    y_axis_->setTitleText("North [m]");
    for (QValueAxis* axis : {x_axis_, y_axis_}) {
        axis->setLabelFormat("%.10g");
        axis->setTickType(QValueAxis::TicksDynamic);
        axis->setTickAnchor(0);
        axis->setMinorTickCount(1);
    }
    chart_->addAxis(x_axis_, Qt::AlignBottom);
    chart_->addAxis(y_axis_, Qt::AlignLeft);
    series_->attachAxis(x_axis_);
    series_->attachAxis(y_axis_);

    view_ = new QChartView(chart_);
    view_->setObjectName("MSChart1");
    view_->setRenderHint(QPainter::Antialiasing);
    view_->setMinimumSize(400, 400);

    footnote_ = new QLabel;
    footnote_->setObjectName("Footnote");
    footnote_->setAlignment(Qt::AlignCenter);
    footnote_->setWordWrap(true);  // errors of thousands of km still show whole
    QFont bold = footnote_->font();
    bold.setBold(true);
    footnote_->setFont(bold);
    footnote_->setContentsMargins(4, 2, 4, 6);

    // White behind chart and footnote, so the saved picture is one piece.
    plot_area_ = new QWidget;
    QPalette white = plot_area_->palette();
    white.setColor(QPalette::Window, Qt::white);
    plot_area_->setPalette(white);
    plot_area_->setAutoFillBackground(true);
    auto* plot_layout = new QVBoxLayout(plot_area_);
    plot_layout->setContentsMargins(0, 0, 0, 0);
    plot_layout->setSpacing(0);
    plot_layout->addWidget(view_, 1);
    plot_layout->addWidget(footnote_);

    slider_ = new QSlider(Qt::Horizontal);
    slider_->setObjectName("Slider1");
    slider_->setRange(0, kSliderMax);
    slider_->setPageStep(1);
    slider_->setTickPosition(QSlider::TicksBelow);
    slider_->setToolTip("Zoom: middle +-5 m, right zooms in, left zooms out");
    save_ = new QPushButton("Save picture...");
    save_->setObjectName("Command1");

    auto* controls = new QHBoxLayout;
    controls->addWidget(new QLabel("Zoom"));
    controls->addWidget(slider_, 1);
    controls->addSpacing(12);
    controls->addWidget(save_);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(plot_area_, 1);
    layout->addLayout(controls);

    // The footnote and the axes as an empty plot shows them.
    footnote_->setText(QString::fromStdString(plot_.Footnote()));
    SetAxes(plot_.AxisLimit());
    slider_->setValue(kSliderMax / 2);
    connect(slider_, &QSlider::valueChanged, this, [this](int v) { Slider1_Change(v); });
    connect(save_, &QPushButton::clicked, this, [this] { Command1_Click(); });
    resize(600, 680);  // about square plot
}

PosChart::~PosChart() = default;

void PosChart::PosAddToChart(double lat_minutes, const std::string& ns, double lon_minutes,
                             const std::string& ew, int16_t series) {
    plot_.Add(lat_minutes, ns, lon_minutes, ew, series);
}

void PosChart::PosUpdatePlot() {
    footnote_->setText(QString::fromStdString(plot_.Footnote()));
    SetAxes(plot_.AxisLimit());
    FillSeries();
}

void PosChart::FillSeries() {
    // Only the points received: unused rows would show as perfect fixes.
    QList<QPointF> points;
    const int n = plot_.Count(0);
    points.reserve(n);
    for (int row = 1; row <= n; ++row)
        points.append(QPointF(plot_.East(row, 0) / unit_, plot_.North(row, 0) / unit_));
    series_->replace(points);
}

void PosChart::SetFormPosition(int16_t left, int16_t top) {
    const int dpi = logicalDpiX();
    const double twips_per_pixel = dpi > 0 ? 1440.0 / dpi : kTwipsPerPixel;
    move(static_cast<int>(std::lround(left / twips_per_pixel)), static_cast<int>(std::lround(top / twips_per_pixel)));
    platform::KeepOnScreen(*this);
}

void PosChart::SetFormName(const std::string& caption) { setWindowTitle(QString::fromLatin1(caption.data(), static_cast<qsizetype>(caption.size()))); }

void PosChart::PosChartSave(const std::string& file) {
    if (!isVisible()) {
        // Never shown: lay the widgets out so the picture has its real size.
        ensurePolished();
        if (layout()) layout()->activate();
    }
    QPixmap picture = plot_area_->grab();
    QImageWriter writer(QString::fromStdString(file), "png");
    if (picture.isNull() || !writer.write(picture.toImage()))
        throw platform::BenchError(platform::err::FileIo, "Position picture not saved (" + file + ": " +
                                                              writer.errorString().toStdString() + ")");
}

double PosChart::XAxisMax() const { return x_axis_->max() * unit_; }
double PosChart::YAxisMax() const { return y_axis_->max() * unit_; }
int PosChart::PlottedPoints() const { return static_cast<int>(series_->count()); }

void PosChart::closeEvent(QCloseEvent* event) {
    platform::BenchWindow::closeEvent(event);
    if (!event->isAccepted()) return;
    auto handler = std::move(on_user_close_);
    on_user_close_ = nullptr;
    if (handler) handler();
}

void PosChart::Slider1_Change(int value) { SetAxes(SliderHalfRange(value, slider_->maximum())); }

void PosChart::Command1_Click() {
    std::string file = platform::Prompts::Instance().SaveFileName("Save position picture", "",
                                                                  "PNG pictures (*.png);;All files (*)");
    if (file.empty()) return;
    try {
        PosChartSave(file);
    } catch (const platform::BenchError& e) {
        platform::Prompts::Instance().Inform(e.Description() + " " + std::to_string(e.Number()),
                                             platform::Prompts::kProgramTitle, platform::Icon::Warning);
    }
}

void PosChart::SetAxes(double half_range_metres) {
    const double unit = half_range_metres >= kKilometresFrom ? 1000 : 1;
    const bool unit_changed = unit != unit_;
    unit_ = unit;
    const double half_range = half_range_metres / unit;
    const double step = TickStep(half_range);
    for (QValueAxis* axis : {x_axis_, y_axis_}) {
        // The axis lays out its ticks on every change: never let it see the
        // new range with a much finer old step (millions of ticks), nor the
        // old range with a much finer new one.
        const double old_step = axis->tickInterval();
        if (old_step < step) axis->setTickInterval(step);
        axis->setRange(-half_range, half_range);
        if (old_step > step) axis->setTickInterval(step);
    }
    if (unit_changed) {
        const char* suffix = unit == 1 ? " [m]" : " [km]";
        x_axis_->setTitleText(QString("East") + suffix);
        y_axis_->setTitleText(QString("North") + suffix);
        FillSeries();
    }
}

std::string PositionPictureName(const std::string& log_name) {
    std::string base = log_name.size() > 4 ? log_name.substr(0, log_name.size() - 4) : std::string();
    return base + "_pos.png";
}

PosChart* ShowPositionWindow(DeviceState& dev, int16_t left, int16_t top, QWidget* owner,
                             std::function<void()> on_user_close) {
    UnloadPositionWindow(dev);
    auto* window = new PosChart(owner);
    window->SetUserCloseHandler([&dev, window, on_user_close = std::move(on_user_close)] {
        // The user's close deletes the window: the device must not keep it.
        if (dev.PosChartWindow == window) {
            dev.PosChartWindow = nullptr;
            dev.PosChartShown = false;
        }
        if (on_user_close) on_user_close();
    });
    dev.PosChartWindow = window;
    window->show();
    window->SetFormPosition(left, top);
    window->SetFormName(dev.DeviceName + "POSITION WINDOW");
    dev.PosChartShown = true;
    return window;
}

void UnloadPositionWindow(DeviceState& dev) {
    dev.PosChartShown = false;
    PositionWindowView* view = dev.PosChartWindow;
    dev.PosChartWindow = nullptr;
    if (auto* window = dynamic_cast<PosChart*>(view)) {
        window->SetUserCloseHandler({});
        delete window;
    }
}

}  // namespace bench
