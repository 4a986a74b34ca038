#pragma once
// The position window of a device: a scatter of the receiver's position
// error in metres north and east of a fixed reference point, the largest
// errors written under the plot, and a slider to zoom.
//
// PositionPlot keeps the numbers (no widgets); PosChart draws them with Qt
// Charts and saves the picture as PNG.
#include "bench/devices/device_view.h"

#include <QWidget>

#include "platform/qt/bench_window.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string>

class QChart;
class QChartView;
class QLabel;
class QPushButton;
class QScatterSeries;
class QSlider;
class QValueAxis;

namespace bench {

struct DeviceState;

// Minutes of arc to metres on a sphere of the mean Earth radius.
double LatMinutesToMetres(double minutes);
// The east distance shrinks with the cosine of the latitude (in minutes,
// its sign ignored).
double LonMinutesToMetres(double lat_minutes, double minutes);

// Half the axis range, in metres, for slider position `value` of 0..maximum:
// the middle shows +-5 m, to the right zooms in, to the left zooms out.
double SliderHalfRange(int32_t value, int32_t maximum);

class PositionPlot {
public:
    static constexpr int kSeries = 7;
    static constexpr int kMaxPoints = 512;
    // 40 deg 55.048' N, 14 deg 16.556' E, in minutes.
    static constexpr double kReferenceLatitude = 2455.048;
    static constexpr double kReferenceLongitude = 856.556;

    // Converts and stores one point. "S" and "W" flip the sign of the raw
    // minutes; any other text counts as north or east. Once 512 points are
    // stored every new point replaces the last one. A series outside 0..5 is
    // a BenchError and changes nothing.
    void Add(double lat_minutes, const std::string& ns, double lon_minutes, const std::string& ew,
             int16_t series);

    int16_t Count(int series) const { return counts_.at(static_cast<size_t>(series)); }
    // Point `row` (1..Count) of a series.
    double East(int row, int series) const;
    double North(int row, int series) const;

    double MaxNorthError() const { return max_north_; }
    double MaxEastError() const { return max_east_; }
    double MaxPositionError() const { return max_pos_; }

    // "Max Pos Error: 5m   Max Lat Error: 3m   Max Lon Error: 4"
    std::string Footnote() const;
    // Both axes run from -AxisLimit() to +AxisLimit() metres.
    int AxisLimit() const;

private:
    std::array<int16_t, kSeries> counts_{};
    // Row 0 is never used; a point of series s holds east in column s and
    // north in column s + 1.
    std::array<std::array<double, kSeries>, kMaxPoints + 1> points_{};
    double max_north_ = 0;
    double max_east_ = 0;
    double max_pos_ = 0;
};

// The window. Object names follow the window's design: "PosChart" (the
// window), "MSChart1" (the chart view), "Footnote" (the errors under the
// plot), "Slider1" (zoom), "Command1" (save the picture under a chosen name).
class PosChart : public platform::BenchWindow, public PositionWindowView {
public:
    static constexpr int kSliderMax = 20;  // even, so the middle is a real position

    explicit PosChart(QWidget* parent = nullptr);
    ~PosChart() override;

    void PosAddToChart(double lat_minutes, const std::string& ns, double lon_minutes, const std::string& ew,
                       int16_t series) override;
    void PosUpdatePlot() override;
    void SetFormPosition(int16_t left, int16_t top) override;
    void SetFormName(const std::string& caption) override;
    // Renders the plot and its footnote straight to a PNG file (whatever the
    // name's extension). A file that cannot be written is a BenchError.
    void PosChartSave(const std::string& file) override;

    const PositionPlot& Plot() const { return plot_; }
    // Runs once when the user closes the window (not when code deletes it).
    void SetUserCloseHandler(std::function<void()> handler) { on_user_close_ = std::move(handler); }

    // The axes' current range (+- this many metres).
    double XAxisMax() const;
    double YAxisMax() const;
    // Points now on the plot.
    int PlottedPoints() const;

protected:
    void closeEvent(class QCloseEvent* event) override;

private:
    void Slider1_Change(int value);
    void Command1_Click();
    // Both axes over +-half_range_metres, in metres or kilometres.
    void SetAxes(double half_range_metres);
    void FillSeries();

    PositionPlot plot_;
    QWidget* plot_area_ = nullptr;  // chart and footnote: what the picture shows
    QChart* chart_ = nullptr;
    QChartView* view_ = nullptr;
    QScatterSeries* series_ = nullptr;
    QValueAxis* x_axis_ = nullptr;
    QValueAxis* y_axis_ = nullptr;
    double unit_ = 1;  // metres per axis unit: 1, or 1000 at large ranges
    QLabel* footnote_ = nullptr;
    QSlider* slider_ = nullptr;
    QPushButton* save_ = nullptr;
    std::function<void()> on_user_close_;
};

// The picture name for a log name: the name less its last 4 characters and
// "_pos.png" ("GPS1_DEBUG.txt" gives "GPS1_pos.png").
std::string PositionPictureName(const std::string& log_name);

// The device window's "Position Chart" box ticked: a new position window,
// placed at (left, top) twips and captioned DeviceName & "POSITION WINDOW",
// becomes the device's PosChartWindow and PosChartShown is set. When the
// user closes it, the device forgets it (PosChartWindow null, PosChartShown
// false) and then on_user_close runs, so the box can be cleared. A window
// already open is unloaded first. With an owner (the device window) the
// position window is deleted with it, as its own top-level window.
PosChart* ShowPositionWindow(DeviceState& dev, int16_t left, int16_t top, QWidget* owner = nullptr,
                             std::function<void()> on_user_close = {});
// The box cleared: PosChartShown false and the window unloaded. Also call it
// before the device record goes away.
void UnloadPositionWindow(DeviceState& dev);

}  // namespace bench
