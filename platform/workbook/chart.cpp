#include "platform/workbook/chart.h"

#include "platform/workbook/workbook.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace workbook {

void ChartFont::SetFontStyle(std::string_view style) { bold = style.find("Bold") != std::string_view::npos; }

// ---------------------------------------------------------------- scale

void AutoAxisScale(double lo, double hi, double& min, double& max, double& major) {
    if (!(lo <= hi)) { lo = 0; hi = 1; }
    if (lo >= 0 && hi > 0 && (hi - lo) > hi / 6) lo = 0;
    if (hi <= 0 && lo < 0 && (hi - lo) > -lo / 6) hi = 0;
    if (lo == hi) {
        if (lo == 0) hi = 1;
        else if (lo > 0) lo = 0;
        else hi = 0;
    }
    double span = hi - lo;
    double raw = span / 6;
    double mag = std::pow(10.0, std::floor(std::log10(raw)));
    double norm = raw / mag;
    double step = norm <= 1 ? 1 : norm <= 2 ? 2 : norm <= 5 ? 5 : 10;
    major = step * mag;
    // A little headroom beyond the data, then out to whole steps.
    min = lo == 0 ? 0 : std::floor((lo - 0.05 * span) / major) * major;
    max = hi == 0 ? 0 : std::ceil((hi + 0.05 * span) / major) * major;
    if (lo > 0 && min < 0) min = 0;
    if (hi < 0 && max > 0) max = 0;
}

Axis::Auto Axis::AutoScale() const {
    double lo = std::numeric_limits<double>::infinity(), hi = -lo;
    bool xSide = type_ == xl::Category;
    for (int i = 1; i <= chart_->SeriesCount(); ++i) {
        const Series& s = chart_->SeriesCollection(i);
        std::vector<double> data = xSide ? s.XData() : s.YData();
        for (double v : data) {
            lo = std::min(lo, v);
            hi = std::max(hi, v);
        }
    }
    if (xSide && !chart_->IsScatter()) {
        // Categories count 1..n.
        size_t n = 0;
        for (int i = 1; i <= chart_->SeriesCount(); ++i) n = std::max(n, chart_->SeriesCollection(i).YData().size());
        return {1, static_cast<double>(std::max<size_t>(n, 1)), 1};
    }
    Auto a{};
    if (lo > hi) { lo = 0; hi = 1; }
    AutoAxisScale(lo, hi, a.min, a.max, a.major);
    // A set limit is honoured: the other limit and the step follow the data.
    if (min_ && !max_ && a.max <= *min_) a.max = *min_ + a.major;
    if (max_ && !min_ && a.min >= *max_) a.min = *max_ - a.major;
    return a;
}

double Axis::MinimumScale() const { return min_ ? *min_ : AutoScale().min; }
double Axis::MaximumScale() const { return max_ ? *max_ : AutoScale().max; }
double Axis::MajorUnit() const { return major_ ? *major_ : AutoScale().major; }
double Axis::MinorUnit() const { return minor_ ? *minor_ : MajorUnit() / 5; }

// ---------------------------------------------------------------- series

namespace {

// Numbers of the referenced cells in order (blank and text cells skipped).
std::vector<double> NumbersOf(const Workbook& wb, const std::vector<SheetArea>& refs) {
    std::vector<double> out;
    for (const SheetArea& ref : refs) {
        Sheet* s = wb.FindSheet(ref.sheet);
        if (!s || s->kind() != Sheet::Kind::Worksheet) continue;
        auto* ws = static_cast<Worksheet*>(s);
        Area a = ref.area;
        if (a.WholeColumns() || a.WholeRows()) {
            Area used = ws->UsedArea();
            if (used.row1 == 0) continue;
            a = Area::Make(a.row1, a.col1, std::min(a.row2, used.row2), std::min(a.col2, used.col2));
        }
        for (int r = a.row1; r <= a.row2; ++r)
            for (int c = a.col1; c <= a.col2; ++c) {
                Value v = ws->ValueAt(r, c);
                if (v.IsNumber()) out.push_back(v.Number());
            }
    }
    return out;
}

std::vector<SheetArea> ToRefs(const Range& r) {
    std::vector<SheetArea> out;
    for (const Area& a : r.Areas()) out.push_back({r.Sheet().Name(), a});
    return out;
}

}  // namespace

void Series::SetName(std::string_view name) {
    nameRef_.reset();
    name_.clear();
    if (!name.empty() && name.front() == '=') {
        std::string_view body = name.substr(1);
        if (body.size() >= 2 && body.front() == '"' && body.back() == '"') {
            std::string lit;
            for (size_t i = 1; i + 1 < body.size(); ++i) {
                lit += body[i];
                if (body[i] == '"' && body[i + 1] == '"') ++i;
            }
            name_ = lit;
            return;
        }
        auto refs = ParseReferenceList(name);
        if (refs.size() != 1 || refs[0].sheet.empty())
            throw ExcelError("Series.Name", "a series name needs one cell with its sheet");
        nameRef_ = refs[0];
        return;
    }
    name_ = std::string(name);
}

std::string Series::Name() const {
    if (!nameRef_) return name_;
    Sheet* s = chart_->Parent().FindSheet(nameRef_->sheet);
    if (!s || s->kind() != Sheet::Kind::Worksheet) return "";
    return static_cast<Worksheet*>(s)->ValueAt(nameRef_->area.row1, nameRef_->area.col1).ToString();
}

namespace {
std::vector<SheetArea> SeriesRefs(const Workbook& wb, std::string_view text, const char* what) {
    auto refs = ParseReferenceList(text);
    for (SheetArea& r : refs) {
        if (r.sheet.empty()) throw ExcelError(what, "the reference \"" + std::string(text) + "\" names no sheet");
        Sheet* s = wb.FindSheet(r.sheet);
        if (!s || s->kind() != Sheet::Kind::Worksheet)
            throw ExcelError(what, "no worksheet named \"" + r.sheet + "\"");
        r.sheet = s->Name();  // the sheet's own spelling
    }
    return refs;
}
}  // namespace

void Series::SetValues(std::string_view refText) { values_ = SeriesRefs(chart_->Parent(), refText, "Series.Values"); }
void Series::SetXValues(std::string_view refText) {
    xvalues_ = SeriesRefs(chart_->Parent(), refText, "Series.XValues");
}
void Series::SetValues(const Range& r) { values_ = ToRefs(r); }
void Series::SetXValues(const Range& r) { xvalues_ = ToRefs(r); }

std::vector<double> Series::Numbers(const std::vector<SheetArea>& refs) const {
    return NumbersOf(chart_->Parent(), refs);
}

std::vector<double> Series::YData() const { return Numbers(values_); }

std::vector<double> Series::XData() const {
    if (!xvalues_.empty()) return Numbers(xvalues_);
    std::vector<double> x(YData().size());
    for (size_t i = 0; i < x.size(); ++i) x[i] = static_cast<double>(i + 1);
    return x;
}

// ---------------------------------------------------------------- chart

Chart::Chart(Workbook& parent) : parent_(&parent) {}
Chart::~Chart() = default;

bool Chart::IsScatter() const {
    return type_ == ChartType::XYScatter || type_ == ChartType::XYScatterLines ||
           type_ == ChartType::XYScatterLinesNoMarkers;
}

Series& Chart::NewSeries() {
    series_.push_back(std::make_unique<Series>(*this));
    parent_->FormatChanged();
    return *series_.back();
}

Series& Chart::SeriesCollection(int index) {
    if (index < 1 || index > SeriesCount()) throw ExcelError("SeriesCollection", "no series number " + std::to_string(index));
    return *series_[index - 1];
}

const Series& Chart::SeriesCollection(int index) const {
    if (index < 1 || index > SeriesCount()) throw ExcelError("SeriesCollection", "no series number " + std::to_string(index));
    return *series_[index - 1];
}

Axis& Chart::Axes(int type, int) {
    if (type == xl::Category) return category_;
    if (type == xl::ValueAxis) return value_;
    throw ExcelError("Axes", "no axis of type " + std::to_string(type));
}

const Axis& Chart::Axes(int type, int) const {
    if (type == xl::Category) return category_;
    if (type == xl::ValueAxis) return value_;
    throw ExcelError("Axes", "no axis of type " + std::to_string(type));
}

void Chart::SetSourceData(const Range& source, int plotBy) {
    if (plotBy == xl::Rows) throw ExcelError("SetSourceData", "series by rows are not supported");
    // Work out the roles from the cells, as the spreadsheet guesses them.
    Worksheet& ws = source.Sheet();
    std::vector<Area> cols;
    for (const Area& a0 : source.Areas()) {
        Area a = a0;
        if (a.WholeColumns()) {
            Area used = ws.UsedArea();
            a.row2 = used.row1 == 0 ? 1 : used.row2;
        }
        for (int c = a.col1; c <= a.col2; ++c) cols.push_back(Area{a.row1, c, a.row2, c});
    }
    bool firstIsX = IsScatter() && cols.size() >= 2;
    if (!IsScatter() && cols.size() >= 2) {
        // A first column holding text below its top cell gives the categories;
        // so does a text first cell of a one-row block.
        const Area& c0 = cols[0];
        for (int r = c0.row1 + 1; r <= c0.row2; ++r)
            if (ws.ValueAt(r, c0.col1).IsText()) firstIsX = true;
        if (c0.Rows() == 1 && ws.ValueAt(c0.row1, c0.col1).IsText()) firstIsX = true;
    }
    bool header = false;
    for (size_t i = firstIsX ? 1 : 0; i < cols.size(); ++i)
        if (cols[i].Rows() > 1 && ws.ValueAt(cols[i].row1, cols[i].col1).IsText()) header = true;
    Range src = source;
    SetSourceData(src, firstIsX, header);
}

void Chart::SetSourceData(const Range& source, bool firstColumnIsX, bool firstRowNames) {
    Worksheet& ws = source.Sheet();
    std::vector<Area> cols;
    for (const Area& a0 : source.Areas()) {
        Area a = a0;
        if (a.WholeColumns()) {
            // Whole columns end at the last used row.
            Area used = ws.UsedArea();
            a.row2 = used.row1 == 0 ? 1 : used.row2;
        }
        for (int c = a.col1; c <= a.col2; ++c) cols.push_back(Area{a.row1, c, a.row2, c});
    }
    if (cols.empty()) throw ExcelError("SetSourceData", "empty source");
    series_.clear();
    size_t first = firstColumnIsX && cols.size() >= 2 ? 1 : 0;
    auto dataPart = [&](Area a) {
        if (firstRowNames && a.row2 > a.row1) a.row1 += 1;
        return a;
    };
    for (size_t i = first; i < cols.size(); ++i) {
        Series& s = NewSeries();
        s.values_ = {{ws.Name(), dataPart(cols[i])}};
        if (first == 1) s.xvalues_ = {{ws.Name(), dataPart(cols[0])}};
        if (firstRowNames && cols[i].Rows() > 1) s.nameRef_ = SheetArea{ws.Name(), Area::Cell(cols[i].row1, cols[i].col1)};
        else s.name_ = "Series" + std::to_string(i - first + 1);
    }
    parent_->FormatChanged();
}

Chart& Chart::Location(int where, std::string_view name) {
    Workbook& wb = *parent_;
    if (where == xl::LocationAsNewSheet) {
        if (host_) {
            // From a worksheet to its own chart sheet.
            wb.CheckNewName(nullptr, name);
            auto& list = host_->Charts();
            auto it = std::find_if(list.begin(), list.end(), [&](const EmbeddedChart& e) { return e.chart.get() == this; });
            std::unique_ptr<Chart> owned = std::move(it->chart);
            list.erase(it);
            host_ = nullptr;
            wb.sheets_.push_back(std::make_unique<ChartSheet>(wb, std::string(name), std::move(owned)));
            wb.SetActive(wb.sheets_.back().get());
        } else {
            ChartSheet* cs = nullptr;
            for (auto& s : wb.sheets_)
                if (s->kind() == Sheet::Kind::ChartSheet && &static_cast<ChartSheet&>(*s).GetChart() == this)
                    cs = static_cast<ChartSheet*>(s.get());
            if (!cs) throw ExcelError("Location", "the chart is not on a chart sheet");
            if (!name.empty()) cs->SetName(name);
            wb.MoveSheet(cs, wb.Count() - 1);
            wb.SetActive(cs);
        }
        wb.FormatChanged();
        return *this;
    }
    if (where == xl::LocationAsObject) {
        Worksheet& target = wb.Worksheets(name);
        std::unique_ptr<Chart> owned;
        if (host_) {
            auto& list = host_->Charts();
            auto it = std::find_if(list.begin(), list.end(), [&](const EmbeddedChart& e) { return e.chart.get() == this; });
            owned = std::move(it->chart);
            list.erase(it);
        } else {
            for (auto& s : wb.sheets_)
                if (s->kind() == Sheet::Kind::ChartSheet && &static_cast<ChartSheet&>(*s).GetChart() == this) {
                    auto* cs = static_cast<ChartSheet*>(s.get());
                    objectName_ = cs->Name();
                    owned = std::move(cs->chart_);
                    cs->chart_ = std::make_unique<Chart>(wb);  // placeholder until the sheet goes
                    wb.Detach(cs);
                    break;
                }
        }
        if (!owned) throw ExcelError("Location", "the chart was not found");
        int slot = static_cast<int>(target.Charts().size());
        host_ = &target;
        target.Charts().push_back({std::move(owned), 1 + slot * 20, 1});
        wb.SetActive(&target);
        wb.activeChart_ = this;
        wb.FormatChanged();
        return *this;
    }
    throw ExcelError("Location", "unknown location " + std::to_string(where));
}

std::string Chart::Name() const {
    if (host_) return objectName_;
    for (const auto& s : parent_->sheets_)
        if (s->kind() == Sheet::Kind::ChartSheet && &static_cast<ChartSheet&>(*s).GetChart() == this) return s->Name();
    return objectName_;
}

void Chart::SetName(std::string_view name) {
    if (host_) {
        objectName_ = std::string(name);
        return;
    }
    for (const auto& s : parent_->sheets_)
        if (s->kind() == Sheet::Kind::ChartSheet && &static_cast<ChartSheet&>(*s).GetChart() == this) {
            s->SetName(name);
            return;
        }
}

}  // namespace workbook
