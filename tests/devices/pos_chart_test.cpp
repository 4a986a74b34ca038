// The position window: error arithmetic against values worked out from the
// reference point, the window driven through its controls, and the picture
// read back from the file.
#include "bench/devices/device_state.h"
#include "bench/devices/generic_chart.h"
#include "bench/devices/pos_chart.h"
#include "platform/core/error.h"
#include "platform/ui/prompts.h"
#include "tests/support/qt_app.h"

#include <QChart>
#include <QChartView>
#include <QElapsedTimer>
#include <QValueAxis>
#include <QImage>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QSlider>

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

using namespace bench;

namespace {

constexpr double kRefLat = 2455.048;
constexpr double kRefLon = 856.556;
// Metres per minute of arc on the bench's Earth sphere.
constexpr double kMetresPerMinute = 3.14159265358979 / 10800 * 6372795.477598;

// The latitude and longitude (minutes) of a point `north` and `east` metres
// from the reference.
double LatAt(double north) { return kRefLat + north / kMetresPerMinute; }
double LonAt(double lat, double east) {
    return kRefLon + east / (kMetresPerMinute * std::cos(lat * 3.14159265358979 / 10800));
}

void AddOffset(PositionPlot& plot, double north, double east) {
    double lat = LatAt(north);
    plot.Add(lat, "N", LonAt(lat, east), "E", 0);
}

}  // namespace

TEST(PositionPlot, FixAtTheReferenceGivesNoErrorAndOneMetreAxes) {
    PositionPlot plot;
    plot.Add(kRefLat, "N", kRefLon, "E", 0);
    EXPECT_EQ(plot.Count(0), 1);
    EXPECT_EQ(plot.MaxPositionError(), 0);
    EXPECT_EQ(plot.AxisLimit(), 1);
    EXPECT_EQ(plot.Footnote(), "Max Pos Error: 0m   Max Lat Error: 0m   Max Lon Error: 0");
}

TEST(PositionPlot, ThreeNorthFourEastIsFiveMetres) {
    PositionPlot plot;
    AddOffset(plot, 3, 4);
    EXPECT_NEAR(plot.North(1, 0), 3, 1e-6);
    EXPECT_NEAR(plot.East(1, 0), 4, 1e-6);
    EXPECT_NEAR(plot.MaxPositionError(), 5, 1e-6);
    EXPECT_EQ(plot.Footnote(), "Max Pos Error: 5m   Max Lat Error: 3m   Max Lon Error: 4");
    EXPECT_EQ(plot.AxisLimit(), 6);
}

TEST(PositionPlot, MaximaGrowSeparately) {
    PositionPlot plot;
    AddOffset(plot, 10, 0);
    AddOffset(plot, 0, -10);
    EXPECT_NEAR(plot.MaxPositionError(), std::sqrt(200.0), 1e-6) << "no single point is this far";
    EXPECT_EQ(plot.Footnote(), "Max Pos Error: 14.1m   Max Lat Error: 10m   Max Lon Error: 10");
    EXPECT_EQ(plot.AxisLimit(), 15);
    AddOffset(plot, -2.25, 1);  // smaller: the maxima stay
    EXPECT_NEAR(plot.MaxNorthError(), 10, 1e-6);
    EXPECT_NEAR(plot.MaxEastError(), 10, 1e-6);
}

TEST(PositionPlot, SouthAndWestFlipTheRawMinutesBeforeTheReference) {
    PositionPlot plot;
    plot.Add(kRefLat, "S", kRefLon, "W", 0);
    EXPECT_NEAR(plot.North(1, 0), -2 * kRefLat * kMetresPerMinute, 1e-3);
    // The cosine takes the latitude as given, without its sign.
    EXPECT_NEAR(plot.East(1, 0), -2 * kRefLon * kMetresPerMinute * std::cos(kRefLat * 3.14159265358979 / 10800),
                1e-3);
    PositionPlot other;
    other.Add(kRefLat, "n", kRefLon, "", 0);  // anything but "S"/"W" counts as N/E
    EXPECT_NEAR(other.MaxPositionError(), 0, 1e-9);
}

TEST(PositionPlot, BeyondFiveHundredTwelvePointsTheLastRowIsReplaced) {
    PositionPlot plot;
    for (int i = 1; i <= 600; ++i) AddOffset(plot, i * 0.01, 0);
    EXPECT_EQ(plot.Count(0), 512);
    EXPECT_NEAR(plot.North(511, 0), 5.11, 1e-6);
    EXPECT_NEAR(plot.North(512, 0), 6.00, 1e-6);
}

TEST(PositionPlot, SeriesWithoutRoomForBothColumnsIsRefused) {
    PositionPlot plot;
    EXPECT_THROW(plot.Add(kRefLat, "N", kRefLon, "E", 6), platform::BenchError);
    EXPECT_THROW(plot.Add(kRefLat, "N", kRefLon, "E", -1), platform::BenchError);
    EXPECT_EQ(plot.Count(0), 0);
    plot.Add(kRefLat, "N", kRefLon, "E", 5);
    EXPECT_EQ(plot.Count(5), 1);
}

TEST(PositionPlot, SliderZoomAroundTheMiddle) {
    EXPECT_DOUBLE_EQ(SliderHalfRange(10, 20), 5);
    EXPECT_DOUBLE_EQ(SliderHalfRange(11, 20), 5);
    EXPECT_DOUBLE_EQ(SliderHalfRange(14, 20), 1.25);
    EXPECT_DOUBLE_EQ(SliderHalfRange(20, 20), 0.5);
    EXPECT_DOUBLE_EQ(SliderHalfRange(8, 20), 10);
    EXPECT_DOUBLE_EQ(SliderHalfRange(0, 20), 50);
    EXPECT_DOUBLE_EQ(SliderHalfRange(5, 11), 2.5) << "an odd maximum keeps its fractional middle";
}

TEST(PosChartWindow, PlotsOnlyTheReceivedPointsWithFootnoteAndAxes) {
    test::EnsureApp();
    PosChart chart;
    auto* footnote = chart.findChild<QLabel*>("Footnote");
    ASSERT_NE(footnote, nullptr);
    double lat = LatAt(3);
    chart.PosAddToChart(lat, "N", LonAt(lat, 4), "E", 0);
    chart.PosAddToChart(LatAt(-1), "N", kRefLon, "E", 0);
    EXPECT_EQ(chart.PlottedPoints(), 0) << "points show at the next update";
    chart.PosUpdatePlot();
    EXPECT_EQ(chart.PlottedPoints(), 2) << "unused rows must not show as fixes at the reference";
    EXPECT_EQ(footnote->text().toStdString(), "Max Pos Error: 5m   Max Lat Error: 3m   Max Lon Error: 4");
    EXPECT_DOUBLE_EQ(chart.XAxisMax(), 6);
    EXPECT_DOUBLE_EQ(chart.YAxisMax(), 6);
}

TEST(PosChartWindow, SliderZoomsUntilTheNextUpdate) {
    test::EnsureApp();
    PosChart chart;
    auto* slider = chart.findChild<QSlider*>("Slider1");
    ASSERT_NE(slider, nullptr);
    EXPECT_EQ(slider->value(), slider->maximum() / 2);
    slider->setValue(slider->maximum());
    EXPECT_DOUBLE_EQ(chart.XAxisMax(), 0.5);
    slider->setValue(0);
    EXPECT_DOUBLE_EQ(chart.YAxisMax(), 50);
    chart.PosAddToChart(LatAt(7.5), "N", kRefLon, "E", 0);
    chart.PosUpdatePlot();
    EXPECT_DOUBLE_EQ(chart.XAxisMax(), 8);
}

TEST(PosChartWindow, PictureIsAPngFileOfThePlot) {
    test::TempHome home;
    test::EnsureApp();
    PosChart chart;
    for (int i = 0; i < 20; ++i) chart.PosAddToChart(LatAt(i * 0.3 - 3), "N", kRefLon + i * 0.0001, "E", 0);
    chart.PosUpdatePlot();
    std::string file = home.File(PositionPictureName("GPS1_TTFF_COLD_DEBUG.txt"));
    chart.PosChartSave(file);
    std::string bytes = test::ReadFileBytes(file);
    ASSERT_GE(bytes.size(), 8u);
    EXPECT_EQ(bytes.substr(0, 8), "\x89PNG\r\n\x1a\n");
    QImage image(QString::fromStdString(file));
    EXPECT_GE(image.width(), 400);
    EXPECT_GE(image.height(), 380);
    EXPECT_THROW(chart.PosChartSave(home.File("missing/folder/p.png")), platform::BenchError);
}

TEST(PosChartWindow, SaveButtonAsksForTheFileName) {
    test::TempHome home;
    test::EnsureApp();
    auto& prompts = platform::Prompts::Instance();
    prompts.ClearQueue();
    PosChart chart;
    auto* save = chart.findChild<QPushButton*>("Command1");
    ASSERT_NE(save, nullptr);
    prompts.QueueFileName(home.File("chosen.png"));
    save->click();
    EXPECT_EQ(test::ReadFileBytes(home.File("chosen.png")).substr(1, 3), "PNG");
    prompts.QueueFileName("");  // cancelled
    save->click();
    int files = 0;
    for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(home.Path())) ++files;
    EXPECT_EQ(files, 1);
}

TEST(PosChartWindow, PictureNameReplacesTheLogExtension) {
    EXPECT_EQ(PositionPictureName("C:\\T\\GPS1_TTFF_COLD_DEBUG_1.txt"), "C:\\T\\GPS1_TTFF_COLD_DEBUG_1_pos.png");
    EXPECT_EQ(PositionPictureName("/x/a.txt"), "/x/a_pos.png");
}

TEST(PosChartWindow, DeviceOpensNamesAndPlacesItsWindow) {
    if (!test::EnsureAppWithScreen(1600, 1000)) GTEST_SKIP() << "needs a 1600 x 1000 desktop: run it on its own";
    DeviceState dev;
    dev.DeviceName = "GPS1";
    PosChart* window = ShowPositionWindow(dev, 1500, 3000);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(dev.PosChartWindow, window);
    EXPECT_TRUE(dev.PosChartShown);
    EXPECT_EQ(window->windowTitle().toStdString(), "GPS1POSITION WINDOW");
    EXPECT_EQ(window->pos(), QPoint(100, 200));
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->windowType(), Qt::Dialog) << "a window of its owner's, kept above it";

    // Beside a device window at the right or bottom of the screen: moved
    // back so that the whole window, title bar included, is on the screen.
    const QRect area = window->screen()->availableGeometry();
    for (QPoint twips : {QPoint(1550 * 15, 100 * 15), QPoint(200 * 15, 990 * 15), QPoint(2000 * 15, 2000 * 15)}) {
        window->SetFormPosition(static_cast<int16_t>(std::min(twips.x(), 32767)),
                                static_cast<int16_t>(std::min(twips.y(), 32767)));
        test::Pump(5);
        EXPECT_TRUE(area.contains(window->frameGeometry())) << window->x() << "," << window->y();
    }
    QPointer<PosChart> guard(window);
    UnloadPositionWindow(dev);
    EXPECT_TRUE(guard.isNull());
    EXPECT_EQ(dev.PosChartWindow, nullptr);
    EXPECT_FALSE(dev.PosChartShown);
}

TEST(GenericChartWindow, GridKeepsItsValuesAndRefusesCellsOutside) {
    test::EnsureApp();
    GenericChart chart;
    chart.ChartInit(4, 1, 2, 1);
    chart.ChartUpdate(3, 2, 7.5);
    chart.ChartUpdate(1, 1, -2);
    EXPECT_EQ(chart.Row(), 1);
    EXPECT_EQ(chart.Column(), 1);
    EXPECT_DOUBLE_EQ(chart.Value(3, 2), 7.5);
    EXPECT_EQ(chart.Chart()->series().size(), 2);
    EXPECT_THROW(chart.ChartUpdate(5, 1, 1), platform::BenchError);
    EXPECT_THROW(chart.ChartUpdate(1, 0, 1), platform::BenchError);
    EXPECT_THROW(chart.ChartInit(0, 1, 1, 1), platform::BenchError);
    chart.ChartInit(3, 3, 3, 3);  // shrinks the rows, grows the columns
    EXPECT_DOUBLE_EQ(chart.Value(3, 2), 7.5);
    EXPECT_DOUBLE_EQ(chart.Value(3, 3), 0);
    EXPECT_EQ(chart.Chart()->series().size(), 3);
    EXPECT_THROW(chart.Value(4, 1), platform::BenchError);
}

namespace {

// The chart's axes as the window shows them.
struct AxisView {
    double min = 0, max = 0, interval = 0;
    QString format;
    int Intervals() const { return interval > 0 ? static_cast<int>(std::lround((max - min) / interval)) : -1; }
};

std::vector<AxisView> Axes(PosChart& chart) {
    std::vector<AxisView> out;
    auto* view = chart.findChild<QChartView*>("MSChart1");
    if (!view) return out;
    for (QAbstractAxis* a : view->chart()->axes()) {
        auto* v = qobject_cast<QValueAxis*>(a);
        if (!v) continue;
        out.push_back({v->min(), v->max(), v->tickInterval(), v->labelFormat()});
    }
    return out;
}

}  // namespace

// A chart opened on a receiver at the reference, then far off (and the
// other way round) must redraw at once with a handful of ticks whatever
// the range.
TEST(PosChartWindow, AnyRangeKeepsABoundedTickCountAndReturnsAtOnce) {
    test::EnsureApp();
    for (double far : {1e-3, 0.4, 1.0, 7.0, 95.0, 1234.0, 5e4, 1.9e6, 4.8e6, 2e7}) {
        for (const char* before : {"fresh", "at the reference", "zoomed in"}) {
            SCOPED_TRACE(testing::Message() << "range " << far << ", chart " << before);
            PosChart chart;
            chart.show();
            QElapsedTimer clock;
            clock.start();
            if (std::string(before) == "at the reference") {
                chart.PosAddToChart(kRefLat, "N", kRefLon, "E", 0);
                chart.PosUpdatePlot();
                test::Pump(1);
            } else if (std::string(before) == "zoomed in") {
                auto* slider = chart.findChild<QSlider*>("Slider1");
                ASSERT_NE(slider, nullptr);
                slider->setValue(slider->maximum());
                test::Pump(1);
            }
            chart.PosAddToChart(LatAt(far), "N", kRefLon, "E", 0);
            chart.PosUpdatePlot();
            test::Pump(1);
            EXPECT_LT(clock.elapsed(), 2000);
            auto axes = Axes(chart);
            ASSERT_EQ(axes.size(), 2u);
            for (const AxisView& a : axes) {
                EXPECT_GE(a.max * (a.max < far ? 1000 : 1), far) << "the point is inside the plot";
                EXPECT_GE(a.Intervals(), 4);
                EXPECT_LE(a.Intervals(), 11);
                // Every tick label plain and short: no exponent, no overlap.
                for (double t = 0; t <= a.max; t += a.interval) {
                    const QString label = QString::asprintf(a.format.toLatin1().constData(), -t);
                    EXPECT_FALSE(label.contains('e')) << label.toStdString();
                    EXPECT_LE(label.size(), 6) << label.toStdString();
                }
            }
        }
    }
}
