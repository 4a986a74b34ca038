#pragma once
// Charts: type, series bound to cell ranges, titles, axes with their scales
// (automatic ones computed the way a spreadsheet picks them), legend, markers,
// data labels and the plot area; placed as a chart sheet or on a worksheet.
#include "platform/workbook/address.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace workbook {

class Workbook;
class Worksheet;
class Range;
class Chart;

enum class ChartType {
    Line = 4,
    ColumnClustered = 51,
    XYScatterLines = 74,
    XYScatterLinesNoMarkers = 75,
    XYScatter = -4169,
};

namespace xl {
constexpr int Category = 1, ValueAxis = 2, Primary = 1;
constexpr int Rows = 1, Columns = 2;  // PlotBy
constexpr int LocationAsNewSheet = 1, LocationAsObject = 2;
constexpr int LegendBottom = -4107, LegendRight = -4152, LegendTop = -4160, LegendLeft = -4131;
constexpr int MarkerDiamond = 2, MarkerCircle = 8, MarkerSquare = 1, MarkerTriangle = 3, MarkerNone = -4142,
              MarkerAutomatic = -4105;
}  // namespace xl

struct ChartFont {
    std::optional<bool> bold;
    std::optional<std::string> name;
    std::optional<double> size;
    std::optional<int> orientation;  // degrees
    // "Bold" / "Regular", as FontStyle takes it.
    void SetFontStyle(std::string_view style);
};

class Axis {
public:
    Axis(Chart& chart, int type) : chart_(&chart), type_(type) {}

    int Type() const { return type_; }
    void SetVisible(bool v) { visible_ = v; }  // HasAxis
    bool Visible() const { return visible_; }
    void SetHasTitle(bool v) { hasTitle_ = v; }
    bool HasTitle() const { return hasTitle_; }
    void SetTitle(std::string text) { title_ = std::move(text); hasTitle_ = true; }
    const std::string& Title() const { return title_; }
    ChartFont& TitleFont() { return titleFont_; }
    const ChartFont& TitleFont() const { return titleFont_; }
    ChartFont& TickLabelFont() { return tickFont_; }
    const ChartFont& TickLabelFont() const { return tickFont_; }
    void SetTickLabelNumberFormat(std::string f) { numberFormat_ = std::move(f); }
    const std::string& TickLabelNumberFormat() const { return numberFormat_; }
    void SetHasMajorGridlines(bool v) { gridlines_ = v; }
    bool HasMajorGridlines() const { return gridlines_; }

    // Scale: a value once set, else the automatic one (reading gives what the
    // chart would show).
    double MinimumScale() const;
    double MaximumScale() const;
    double MajorUnit() const;
    double MinorUnit() const;
    void SetMinimumScale(double v) { min_ = v; }
    void SetMaximumScale(double v) { max_ = v; }
    void SetMajorUnit(double v) { major_ = v; }
    void SetMinorUnit(double v) { minor_ = v; }
    void SetMinimumScaleIsAuto(bool a) { if (a) min_.reset(); else min_ = MinimumScale(); }
    void SetMaximumScaleIsAuto(bool a) { if (a) max_.reset(); else max_ = MaximumScale(); }
    void SetMajorUnitIsAuto(bool a) { if (a) major_.reset(); else major_ = MajorUnit(); }
    void SetMinorUnitIsAuto(bool a) { if (a) minor_.reset(); else minor_ = MinorUnit(); }
    bool MinimumScaleIsAuto() const { return !min_; }
    bool MaximumScaleIsAuto() const { return !max_; }
    bool MajorUnitIsAuto() const { return !major_; }
    bool MinorUnitIsAuto() const { return !minor_; }
    const std::optional<double>& FixedMinimum() const { return min_; }
    const std::optional<double>& FixedMaximum() const { return max_; }
    const std::optional<double>& FixedMajorUnit() const { return major_; }
    const std::optional<double>& FixedMinorUnit() const { return minor_; }

    // Settings that only restate the defaults (crossing, order, linear scale,
    // no display unit, automatic category type): kept, nothing to draw.
    int crosses = -4105, scaleType = -4132, displayUnit = -4142, categoryType = -4105;
    bool reversePlotOrder = false;

private:
    struct Auto { double min, max, major; };
    Auto AutoScale() const;

    Chart* chart_;
    int type_;
    bool visible_ = true;
    bool hasTitle_ = false;
    std::string title_;
    ChartFont titleFont_, tickFont_;
    std::string numberFormat_;
    bool gridlines_ = false;
    std::optional<double> min_, max_, major_, minor_;
};

class Series {
public:
    explicit Series(Chart& chart) : chart_(&chart) {}

    // A literal name, a formula text ("=\"Samples\"") or a cell reference
    // ("=COLD!$C$1").
    void SetName(std::string_view name);
    std::string Name() const;  // the name as shown (a referenced cell's text)
    const std::optional<SheetArea>& NameRef() const { return nameRef_; }

    // Reference text in A1 or R1C1 form, sheet quoted or not, several areas
    // separated by commas ("=COLD!R2C2,COLD!R4C21").
    void SetValues(std::string_view refText);
    void SetXValues(std::string_view refText);
    void SetValues(const Range& r);
    void SetXValues(const Range& r);
    const std::vector<SheetArea>& ValuesRef() const { return values_; }
    const std::vector<SheetArea>& XValuesRef() const { return xvalues_; }
    // The plotted numbers; without X values the points count 1, 2, 3 ...
    std::vector<double> YData() const;
    std::vector<double> XData() const;

    // Border (the series line): xl::Continuous or xl::None, colour index, weight.
    std::optional<int> lineStyle, lineColorIndex, lineWeight;
    std::optional<int> markerStyle, markerSize, markerBackgroundColorIndex, markerForegroundColorIndex;
    bool dataLabels = false;  // values shown
    ChartFont dataLabelFont;
    void ApplyDataLabels() { dataLabels = true; }

private:
    friend class Chart;
    std::vector<double> Numbers(const std::vector<SheetArea>& refs) const;
    Chart* chart_;
    std::string name_;
    std::optional<SheetArea> nameRef_;
    std::vector<SheetArea> values_, xvalues_;
};

struct PlotAreaStyle {
    std::optional<int> borderColorIndex;
    int borderWeight = 2;
    int borderLineStyle = 1;
    std::optional<int> fillColorIndex;  // ForeColor of a solid or gradient fill
    bool fillVisible = false;
    bool gradient = false;  // written as a light solid fill
    // Layout in points; kept for reading back, the file writer has no place for it.
    double width = 520, height = 330, left = 40, top = 40;
};

class Chart {
public:
    explicit Chart(Workbook& parent);
    ~Chart();
    Chart(const Chart&) = delete;
    Chart& operator=(const Chart&) = delete;

    Workbook& Parent() const { return *parent_; }
    ChartType Type() const { return type_; }
    void SetChartType(ChartType t) { type_ = t; }
    bool IsScatter() const;

    // Series from a block plotted by columns: a text first row names the
    // series; for scatter charts the first of several columns gives X, for
    // others a text column gives the categories. Replaces every series.
    void SetSourceData(const Range& source, int plotBy = xl::Columns);
    // The same with the roles given: first column as X / categories, first
    // row as series names (ChartWizard's CategoryLabels / SeriesLabels).
    void SetSourceData(const Range& source, bool firstColumnIsX, bool firstRowNames);

    Series& NewSeries();
    Series& SeriesCollection(int index);  // 1-based
    const Series& SeriesCollection(int index) const;
    int SeriesCount() const { return static_cast<int>(series_.size()); }

    // xl::LocationAsNewSheet: the chart becomes the chart sheet `name`, placed
    // after every sheet. xl::LocationAsObject: the chart goes on worksheet `name`.
    Chart& Location(int where, std::string_view name);
    // The chart sheet's name (or the embedded chart's name).
    std::string Name() const;
    void SetName(std::string_view name);

    void SetHasTitle(bool v) { hasTitle_ = v; }
    bool HasTitle() const { return hasTitle_; }
    void SetTitle(std::string text) { title_ = std::move(text); hasTitle_ = true; }
    const std::string& Title() const { return title_; }

    Axis& Axes(int type, int group = xl::Primary);
    const Axis& Axes(int type, int group = xl::Primary) const;
    void SetHasAxis(int type, bool v) { Axes(type).SetVisible(v); }

    void SetHasLegend(bool v) { hasLegend_ = v; }
    bool HasLegend() const { return hasLegend_; }
    void SetLegendPosition(int pos) { legendPosition_ = pos; hasLegend_ = true; }
    int LegendPosition() const { return legendPosition_; }

    PlotAreaStyle& PlotArea() { return plotArea_; }
    const PlotAreaStyle& PlotArea() const { return plotArea_; }

    // Where the chart lives.
    bool IsChartSheet() const { return host_ == nullptr; }
    Worksheet* Host() const { return host_; }

private:
    friend class Workbook;
    Workbook* parent_;
    Worksheet* host_ = nullptr;  // null while on a chart sheet
    std::string objectName_;
    ChartType type_ = ChartType::ColumnClustered;
    std::vector<std::unique_ptr<Series>> series_;
    bool hasTitle_ = false;
    std::string title_;
    Axis category_{*this, xl::Category}, value_{*this, xl::ValueAxis};
    bool hasLegend_ = true;
    int legendPosition_ = xl::LegendRight;
    PlotAreaStyle plotArea_;
};

// The scale a spreadsheet picks for data from `lo` to `hi`: zero included
// when the data lie on one side of it and span more than a sixth of the
// largest magnitude, a 1-2-5 step, limits on whole steps.
void AutoAxisScale(double lo, double hi, double& min, double& max, double& major);

}  // namespace workbook
