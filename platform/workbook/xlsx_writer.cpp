#include "platform/workbook/xlsx_writer.h"

#include "platform/workbook/chart_counts.h"
#include "platform/workbook/workbook.h"

#include <xlsxwriter.h>

#include <cerrno>
#include <clocale>
#include <locale.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <optional>
#include <set>
#include <tuple>
#include <vector>
#include <filesystem>
#include <map>

namespace workbook {

namespace fs = std::filesystem;

namespace {

// Text as the file needs it: valid UTF-8, no control characters XML refuses,
// at most the 32767 characters a cell holds.
std::string CleanText(const std::string& s) {
    std::string out;
    out.reserve(s.size());
    size_t i = 0, chars = 0;
    while (i < s.size() && chars < 32767) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        size_t len = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
        bool ok = len > 0 && i + len <= s.size();
        for (size_t k = 1; ok && k < len; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) ok = false;
        if (!ok) {
            out += "\xEF\xBF\xBD";
            ++i;
        } else if (len == 1 && c < 0x20 && c != '\t' && c != '\n' && c != '\r') {
            out += '?';
            ++i;
        } else {
            out.append(s, i, len);
            i += len;
        }
        ++chars;
    }
    return out;
}

// The text as the file needs it: itself when it is plain ASCII within a
// cell's length, which most are, else its cleaned copy in `store`.
const char* Clean(const std::string& s, std::string& store) {
    bool plain = s.size() <= 32767;
    for (size_t i = 0; plain && i < s.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        plain = (c >= 0x20 && c < 0x80) || c == '\t' || c == '\n' || c == '\r';
    }
    if (plain) return s.c_str();
    store = CleanText(s);
    return store.c_str();
}

// 0 means "no colour" to the writer: black has its own code.
lxw_color_t Rgb(int colorIndex) {
    long c = PaletteColor(colorIndex);
    if (c < 0) return LXW_COLOR_UNSET;
    if (c == 0) return LXW_COLOR_BLACK;
    return static_cast<lxw_color_t>(c);
}

uint8_t BorderType(const std::optional<BorderLine>& b) {
    if (!b || b->lineStyle == xl::None || b->lineStyle == 0) return LXW_BORDER_NONE;
    switch (b->weight) {
    case xl::Hairline: return LXW_BORDER_HAIR;
    case xl::Medium: return LXW_BORDER_MEDIUM;
    case xl::Thick: return LXW_BORDER_THICK;
    default: return LXW_BORDER_THIN;
    }
}

std::string StyleKey(const Style& s) {
    std::string k;
    auto add = [&](const auto& opt, const std::string& tag) {
        if (opt) {
            if constexpr (std::is_same_v<std::decay_t<decltype(*opt)>, std::string>) k += tag + *opt + "\x1f";
            else k += tag + std::to_string(*opt) + "\x1f";
        }
    };
    add(s.bold, "b");
    add(s.fontSize, "s");
    add(s.fontName, "n");
    add(s.fillColorIndex, "f");
    add(s.pattern, "p");
    add(s.numberFormat, "#");
    add(s.hAlign, "a");
    for (int i = 0; i < kSides; ++i)
        if (s.border[i])
            k += "B" + std::to_string(i) + ":" + std::to_string(BorderType(s.border[i])) + ":" +
                 std::to_string(s.border[i]->colorIndex) + "\x1f";
    return k;
}

class Writer {
public:
    Writer(const Workbook& wb, lxw_workbook* out, bool streamed, Workbook* releasing)
        : wb_(wb), out_(out), streamed_(streamed), releasing_(releasing) {}

    void Run() {
        std::map<const Chart*, lxw_chart*> charts;
        // Sheets in tab order first; the helper sheet (if any) comes last.
        std::vector<std::pair<const Sheet*, void*>> made;
        for (int i = 1; i <= wb_.Count(); ++i) {
            const Sheet& s = wb_.Sheets(i);
            std::string name = CleanText(s.Name());
            if (s.kind() == Sheet::Kind::Worksheet) {
                lxw_worksheet* ws = workbook_add_worksheet(out_, name.c_str());
                if (!ws) throw ExcelError("Save", "the sheet name \"" + s.Name() + "\" is refused");
                made.emplace_back(&s, ws);
            } else {
                lxw_chartsheet* cs = workbook_add_chartsheet(out_, name.c_str());
                if (!cs) throw ExcelError("Save", "the chart sheet name \"" + s.Name() + "\" is refused");
                made.emplace_back(&s, cs);
            }
        }
        PrepareHelperSheet();
        for (auto& [sheet, handle] : made) {
            bool active = &wb_.ActiveSheet() == sheet;
            if (sheet->kind() == Sheet::Kind::Worksheet) {
                auto* ws = static_cast<lxw_worksheet*>(handle);
                WriteWorksheet(static_cast<const Worksheet&>(*sheet), ws);
                if (active) worksheet_activate(ws);
            } else {
                auto* cs = static_cast<lxw_chartsheet*>(handle);
                lxw_chart* c = BuildChart(static_cast<const ChartSheet&>(*sheet).GetChart());
                chartsheet_set_chart(cs, c);
                if (active) chartsheet_activate(cs);
            }
        }
        // The charts' points are given here, not left to the file writer: a
        // sheet written row by row is gone from it by the time it would read
        // them back, and it would give a formula's point as 0 and a blank
        // cell with a format as a point at 0.
        if (streamed_ && releasing_) ReleaseUncharted();
        for (lxw_chart* c : charts_) FillCaches(c);
    }

private:
    // The sheets are in the file: only the columns the charts refer to are
    // read again, for the points of their caches.
    void ReleaseUncharted() {
        std::map<std::string, std::set<int>> charted;
        auto note = [&](const SheetArea& ref) {
            std::set<int>& cols = charted[ref.sheet];
            for (int c = ref.area.col1; c <= ref.area.col2 && c <= kMaxCols; ++c) cols.insert(c);
        };
        auto scan = [&](const Chart& c) {
            for (int i = 1; i <= c.SeriesCount(); ++i) {
                const Series& s = c.SeriesCollection(i);
                for (const SheetArea& r : s.ValuesRef()) note(r);
                for (const SheetArea& r : s.XValuesRef()) note(r);
                if (s.NameRef()) note(*s.NameRef());
            }
        };
        for (int i = 1; i <= wb_.Count(); ++i) {
            const Sheet& s = wb_.Sheets(i);
            if (s.kind() == Sheet::Kind::ChartSheet) scan(static_cast<const ChartSheet&>(s).GetChart());
            else
                for (const auto& e : static_cast<const Worksheet&>(s).Charts()) scan(*e.chart);
        }
        for (int i = 1; i <= releasing_->Count(); ++i) {
            Sheet& s = releasing_->Sheets(i);
            if (s.kind() != Sheet::Kind::Worksheet) continue;
            auto& ws = static_cast<Worksheet&>(s);
            const auto it = charted.find(ws.Name());
            const int last = ws.UsedArea().col2;
            for (int c = 1; c <= last; ++c)
                if (it == charted.end() || it->second.count(c) == 0) ws.ReleaseColumnForClose(c);
        }
    }

    // libxlsxwriter fails on a scatter series without X values: give such
    // series the counts 1..n from a hidden sheet added for the file only.
    void PrepareHelperSheet() {
        size_t need = 0;
        auto scan = [&](const Chart& c) {
            if (!c.IsScatter()) return;
            for (int i = 1; i <= c.SeriesCount(); ++i) {
                const Series& s = c.SeriesCollection(i);
                if (s.XValuesRef().empty()) need = std::max(need, PointCount(s.ValuesRef()));
            }
        };
        for (int i = 1; i <= wb_.Count(); ++i) {
            const Sheet& s = wb_.Sheets(i);
            if (s.kind() == Sheet::Kind::ChartSheet) scan(static_cast<const ChartSheet&>(s).GetChart());
            else
                for (const auto& e : static_cast<const Worksheet&>(s).Charts()) scan(*e.chart);
        }
        if (need == 0) return;
        helperName_ = wb_.UniqueSheetName("_xvalues");
        helper_ = workbook_add_worksheet(out_, helperName_.c_str());
        helperRows_ = need;
        for (size_t i = 0; i < need; ++i) worksheet_write_number(helper_, static_cast<lxw_row_t>(i), 0, double(i + 1), nullptr);
        worksheet_hide(helper_);
    }

    Area Clip(const SheetArea& ref) const {
        Area a = ref.area;
        if (a.WholeColumns() || a.WholeRows()) {
            Sheet* s = wb_.FindSheet(ref.sheet);
            Area used{1, 1, 1, 1};
            if (s && s->kind() == Sheet::Kind::Worksheet) {
                used = static_cast<Worksheet*>(s)->UsedArea();
                if (used.row1 == 0) used = Area{1, 1, 1, 1};
            }
            if (a.WholeColumns()) a.row2 = std::max(1, used.row2);
            if (a.WholeRows()) a.col2 = std::max(1, used.col2);
        }
        return a;
    }

    size_t PointCount(const std::vector<SheetArea>& refs) const {
        size_t n = 0;
        for (const auto& r : refs) {
            Area a = Clip(r);
            n += static_cast<size_t>(a.Rows()) * static_cast<size_t>(a.Cols());
        }
        return n;
    }

    lxw_format* Format(const Style& s) {
        if (s.Empty()) return nullptr;
        std::string key = StyleKey(s);
        auto it = formats_.find(key);
        if (it != formats_.end()) return it->second;
        lxw_format* f = workbook_add_format(out_);
        if (s.bold.value_or(false)) format_set_bold(f);
        if (s.fontSize) format_set_font_size(f, *s.fontSize);
        if (s.fontName) format_set_font_name(f, CleanText(*s.fontName).c_str());
        if (s.fillColorIndex && *s.fillColorIndex > 0 && s.pattern.value_or(xl::Solid) != xl::None) {
            format_set_pattern(f, LXW_PATTERN_SOLID);
            format_set_bg_color(f, Rgb(*s.fillColorIndex));
        }
        if (s.numberFormat && *s.numberFormat != "General") format_set_num_format(f, CleanText(*s.numberFormat).c_str());
        if (s.hAlign) {
            if (*s.hAlign == xl::Center) format_set_align(f, LXW_ALIGN_CENTER);
            else if (*s.hAlign == xl::Left) format_set_align(f, LXW_ALIGN_LEFT);
            else if (*s.hAlign == xl::Right) format_set_align(f, LXW_ALIGN_RIGHT);
        }
        auto side = [&](int idx, void (*setType)(lxw_format*, uint8_t), void (*setColor)(lxw_format*, lxw_color_t)) {
            uint8_t t = BorderType(s.border[idx]);
            if (t == LXW_BORDER_NONE) return;
            setType(f, t);
            if (s.border[idx]->colorIndex > 0) setColor(f, Rgb(s.border[idx]->colorIndex));
        };
        side(kLeft, format_set_left, format_set_left_color);
        side(kRight, format_set_right, format_set_right_color);
        side(kTop, format_set_top, format_set_top_color);
        side(kBottom, format_set_bottom, format_set_bottom_color);
        uint8_t down = BorderType(s.border[kDiagDown]), up = BorderType(s.border[kDiagUp]);
        if (down != LXW_BORDER_NONE || up != LXW_BORDER_NONE) {
            format_set_diag_type(f, down && up ? LXW_DIAGONAL_BORDER_UP_DOWN : up ? LXW_DIAGONAL_BORDER_UP : LXW_DIAGONAL_BORDER_DOWN);
            format_set_diag_border(f, up ? up : down);
        }
        formats_[key] = f;
        return f;
    }

    void WriteWorksheet(const Worksheet& ws, lxw_worksheet* out) {
        std::set<int> cols;
        for (const auto& [c, w] : ws.ColumnWidths()) cols.insert(c);
        for (const auto& [c, st] : ws.ColumnStyles()) cols.insert(c);
        for (int c = 1; c <= kMaxCols && cols.size() < 20000; ++c)
            if (ws.ColumnHidden(c)) cols.insert(c);
        for (int c : cols) {
            lxw_row_col_options opt{};
            opt.hidden = ws.ColumnHidden(c) ? 1 : 0;
            Style st;
            if (auto it = ws.ColumnStyles().find(c); it != ws.ColumnStyles().end()) st = it->second;
            worksheet_set_column_opt(out, static_cast<lxw_col_t>(c - 1), static_cast<lxw_col_t>(c - 1), ws.ColumnWidth(c),
                                     Format(st), &opt);
        }
        // Row settings go out in row order among the cells, as a sheet
        // written row by row needs them; their formats are made first.
        struct RowSetting {
            int row;
            double height;
            lxw_format* format;
            lxw_row_col_options opt;
        };
        std::vector<RowSetting> rowSettings;
        for (const auto& [r, st] : ws.RowStyles()) {
            lxw_row_col_options opt{};
            opt.hidden = ws.RowHidden(r) ? 1 : 0;
            double h = LXW_DEF_ROW_HEIGHT;
            // Rows of a larger font grow as the spreadsheet grows them.
            if (st.fontSize && *st.fontSize > 11) h = std::round(*st.fontSize * 1.2917 * 4) / 4;
            rowSettings.push_back({r, h, Format(st), opt});
        }
        size_t nextSetting = 0;
        auto settingsUpTo = [&](int row) {
            for (; nextSetting < rowSettings.size() && rowSettings[nextSetting].row <= row; ++nextSetting) {
                RowSetting& rs = rowSettings[nextSetting];
                worksheet_set_row_opt(out, static_cast<lxw_row_t>(rs.row - 1), rs.height, rs.format, &rs.opt);
            }
        };
        for (const Area& m : ws.Merges()) {
            worksheet_merge_range(out, static_cast<lxw_row_t>(m.row1 - 1), static_cast<lxw_col_t>(m.col1 - 1),
                                  static_cast<lxw_row_t>(m.row2 - 1), static_cast<lxw_col_t>(m.col2 - 1), "",
                                  Format(ws.EffectiveStyle(m.row1, m.col1)));
        }
        // Formats are made in the order the cells were once walked, column by
        // column, so that the file's table of formats keeps its numbering.
        cellFormats_.clear();
        if (ws.HasFormats())
            ws.ForEachCell(Area{1, 1, kMaxRows, kMaxCols}, [&](int r, int c, bool) { CellFormat(ws, r, c, ws.OwnStyleId(r, c)); });
        auto write = [&](int r, int c, const Value& v, const std::string* a1, uint32_t styleId) {
            auto row = static_cast<lxw_row_t>(r - 1);
            auto col = static_cast<lxw_col_t>(c - 1);
            lxw_format* f = CellFormat(ws, r, c, styleId);
            if (a1) {
                std::string store;
                const char* text = Clean(*a1, store);
                if (v.IsNumber() || v.IsBool()) worksheet_write_formula_num(out, row, col, text, f, v.Number());
                else worksheet_write_formula_str(out, row, col, text, f, CleanText(v.ToString()).c_str());
                return;
            }
            WriteValue(out, row, col, v, f);
        };
        auto writeCell = [&](int r, int c, const Cell& cell) {
            if (cell.HasFormula()) write(r, c, ws.ValueAt(r, c), &cell.a1Text, cell.styleId);
            else write(r, c, cell.value, nullptr, cell.styleId);
        };
        if (const TableLines* t = ws.Table()) {
            // The table's lines again, row by row: the cells not held come
            // from the file, the held ones (and any the sheet has gained in
            // those rows) from the sheet. The held columns' fields are passed
            // over unread, the others go to the file as they are typed.
            const Area held = ws.HeldArea();
            const DelimitedOptions& opt = t->options;
            // Of the held area only the columns with cells are looked in.
            std::vector<int> heldCols;
            for (int c = held.col1; held.row1 != 0 && c <= held.col2; ++c)
                if (ws.ColumnStored(c)) heldCols.push_back(c);
            int r = 0;
            Value v;
            std::string text;
            ReadDelimitedLines(
                t->path, opt, t->firstLine,
                [&](const std::vector<std::string_view>& fields) {
                    ++r;
                    settingsUpTo(r);
                    const auto row = static_cast<lxw_row_t>(r - 1);
                    int c = 0;
                    for (size_t i = 0; i < fields.size(); ++i) {
                        if (opt.ColumnType(i) == 9) continue;
                        ++c;
                        if (t->Held(c)) continue;
                        double x = 0;
                        const FieldKind kind = TypeField(fields[i], i, opt, x);
                        if (kind == FieldKind::Empty) continue;
                        const auto col = static_cast<lxw_col_t>(c - 1);
                        lxw_format* f = CellFormat(ws, r, c, 0);
                        if (kind == FieldKind::Number) {
                            worksheet_write_number(out, row, col, x, f);
                        } else {
                            text.assign(fields[i]);
                            std::string store;
                            worksheet_write_string(out, row, col, Clean(text, store), f);
                        }
                    }
                    if (held.row1 == 0 || r < held.row1 || r > held.row2) return;
                    const std::string* a1 = nullptr;
                    uint32_t styleId = 0;
                    for (const int hc : heldCols)
                        if (ws.FileCellAt(r, hc, v, a1, styleId)) write(r, hc, v, a1, styleId);
                },
                t->lines);
            if (r != t->lines)
                throw ExcelError("Save", "the table \"" + t->path + "\" changed since it was opened");
            if (held.row1 != 0 && held.row2 > r)
                ws.ForEachCellByRow([&](int rr, int c, const Cell& cell) {
                    if (rr <= r) return;
                    settingsUpTo(rr);
                    writeCell(rr, c, cell);
                });
        } else {
            ws.ForEachForFile([&](int r, int c, const Value& v, const std::string* a1, uint32_t styleId) {
                settingsUpTo(r);
                write(r, c, v, a1, styleId);
            });
        }
        settingsUpTo(kMaxRows);
        for (const auto& e : ws.Charts()) {
            lxw_chart* c = BuildChart(*e.chart);
            worksheet_insert_chart(out, static_cast<lxw_row_t>(e.row - 1), static_cast<lxw_col_t>(e.col - 1), c);
        }
    }

    static void WriteValue(lxw_worksheet* out, lxw_row_t row, lxw_col_t col, const Value& v, lxw_format* f) {
        switch (v.kind()) {
        case Value::Kind::Number: worksheet_write_number(out, row, col, v.Number(), f); break;
        case Value::Kind::Text: {
            std::string store;
            worksheet_write_string(out, row, col, Clean(v.Text(), store), f);
            break;
        }
        case Value::Kind::Bool: worksheet_write_boolean(out, row, col, v.BoolValue() ? 1 : 0, f); break;
        case Value::Kind::Error: worksheet_write_string(out, row, col, v.ToString().c_str(), f); break;
        case Value::Kind::Empty:
            if (f) worksheet_write_blank(out, row, col, f);
            break;
        }
    }

    std::string RefFormula(const std::vector<SheetArea>& refs) const {
        std::string s;
        for (const auto& r : refs) {
            if (!s.empty()) s += ",";
            s += QuoteSheetName(r.sheet) + "!" + AreaToA1(Clip(r));
        }
        return refs.size() > 1 ? "=(" + s + ")" : "=" + s;
    }

    static uint8_t ChartKind(ChartType t) {
        switch (t) {
        case ChartType::Line: return LXW_CHART_LINE;
        case ChartType::ColumnClustered: return LXW_CHART_COLUMN;
        case ChartType::XYScatterLines: return LXW_CHART_SCATTER_STRAIGHT_WITH_MARKERS;
        case ChartType::XYScatterLinesNoMarkers: return LXW_CHART_SCATTER_STRAIGHT;
        case ChartType::XYScatter: return LXW_CHART_SCATTER;
        }
        return LXW_CHART_SCATTER;
    }

    static uint8_t MarkerKind(int style) {
        switch (style) {
        case xl::MarkerCircle: return LXW_CHART_MARKER_CIRCLE;
        case xl::MarkerDiamond: return LXW_CHART_MARKER_DIAMOND;
        case xl::MarkerSquare: return LXW_CHART_MARKER_SQUARE;
        case xl::MarkerTriangle: return LXW_CHART_MARKER_TRIANGLE;
        case xl::MarkerNone: return LXW_CHART_MARKER_NONE;
        default: return LXW_CHART_MARKER_AUTOMATIC;
        }
    }

    static float LineWidth(int weight) {
        switch (weight) {
        case xl::Hairline: return 0.25f;
        case xl::Medium: return 2.0f;
        case xl::Thick: return 3.0f;
        default: return 0.75f;
        }
    }

    static void Font(lxw_chart_font& out, const ChartFont& in, std::string& nameStore) {
        if (in.bold) out.bold = *in.bold ? 1 : 0;
        if (in.size) out.size = *in.size;
        if (in.name) {
            nameStore = *in.name;
            out.name = nameStore.data();
        }
        if (in.orientation) out.rotation = -*in.orientation;
    }

    void WriteAxis(lxw_chart_axis* ax, const Axis& a, bool isX) {
        if (!a.Visible()) {
            chart_axis_off(ax);
            return;
        }
        std::string store1, store2;
        if (a.HasTitle() && !a.Title().empty()) {
            std::string t = CleanText(a.Title());
            chart_axis_set_name(ax, t.c_str());
            lxw_chart_font f{};
            Font(f, a.TitleFont(), store1);
            if (a.TitleFont().size || a.TitleFont().bold) {
                if (!a.TitleFont().bold) f.bold = 1;  // titles are bold unless told otherwise
                chart_axis_set_name_font(ax, &f);
            }
        }
        const ChartFont& tf = a.TickLabelFont();
        if (tf.bold || tf.size || tf.name || tf.orientation) {
            lxw_chart_font f{};
            Font(f, tf, store2);
            chart_axis_set_num_font(ax, &f);
        }
        if (!a.TickLabelNumberFormat().empty()) chart_axis_set_num_format(ax, CleanText(a.TickLabelNumberFormat()).c_str());
        if (a.FixedMinimum()) chart_axis_set_min(ax, *a.FixedMinimum());
        if (a.FixedMaximum()) chart_axis_set_max(ax, *a.FixedMaximum());
        if (a.FixedMajorUnit()) chart_axis_set_major_unit(ax, *a.FixedMajorUnit());
        if (a.FixedMinorUnit()) chart_axis_set_minor_unit(ax, *a.FixedMinorUnit());
        if (isX && a.HasMajorGridlines()) chart_axis_major_gridlines_set_visible(ax, LXW_TRUE);
    }

    // The format of one cell: its column's, its row's and its own, layered.
    lxw_format* CellFormat(const Worksheet& ws, int r, int c, uint32_t own) {
        int colKey = ws.ColumnStyles().count(c) ? c : 0;
        int rowKey = ws.RowStyles().count(r) ? r : 0;
        if (colKey == 0 && rowKey == 0 && own == 0) return nullptr;
        auto key = std::make_tuple(colKey, rowKey, own);
        auto it = cellFormats_.find(key);
        if (it != cellFormats_.end()) return it->second;
        lxw_format* f = Format(ws.EffectiveStyle(r, c));
        cellFormats_.emplace(key, f);
        return f;
    }

    // One point of a chart's cache, as a viewer that draws from the file
    // alone shows the cell: its number, a formula's the number it computes,
    // a text as text, and no point (a gap) where the cell holds no value or
    // its formula gives an error or an empty text.
    struct Point {
        bool present = false, isText = false;
        double number = 0;
        std::string text;
    };

    Point PointAt(const Worksheet* ws, lxw_row_t row, lxw_col_t col) {
        Point p;
        if (!ws) {  // the helper sheet of counts
            if (col == 0 && row < helperRows_) {
                p.present = true;
                p.number = double(row + 1);
            }
            return p;
        }
        int r = static_cast<int>(row) + 1, c = static_cast<int>(col) + 1;
        const std::string* a1 = nullptr;
        uint32_t styleId = 0;
        Value v;
        if (!ws->FileCellAt(r, c, v, a1, styleId)) return p;
        return PointOf(v, a1 != nullptr);
    }

    // The point of a stored cell's value (a formula's computed).
    static Point PointOf(const Value& v, bool formula) {
        Point p;
        if (formula) {
            // The value the sheet holds for it, worked out as it was written.
            if (v.IsNumber() || v.IsBool()) {
                p.present = true;
                p.number = v.Number();
            } else if (v.IsText() && !v.Text().empty()) {
                p.present = p.isText = true;
                p.text = CleanText(v.Text());
            }
            return p;
        }
        switch (v.kind()) {
        case Value::Kind::Number: p.present = true; p.number = v.Number(); break;
        case Value::Kind::Bool: p.present = true; break;
        case Value::Kind::Text:
        case Value::Kind::Error:
            p.text = v.IsText() ? CleanText(v.Text()) : v.ToString();
            p.present = p.isText = !p.text.empty();
            break;
        case Value::Kind::Empty: break;
        }
        return p;
    }

    // One area of a chart's reference, as the file names it.
    struct CacheArea {
        std::string sheet;
        lxw_row_t r1 = 0, r2 = 0;
        lxw_col_t c1 = 0, c2 = 0;
        uint64_t Cells() const { return (uint64_t(r2) - r1 + 1) * (uint64_t(c2) - c1 + 1); }
    };

    // The areas a single reference names, from what the file writer holds
    // of it; false when it names none it could cache.
    static bool SingleArea(const lxw_series_range* range, CacheArea& out) {
        if (range->sheetname) {
            out = {range->sheetname, range->first_row, range->last_row, range->first_col, range->last_col};
            return true;
        }
        std::string f = range->formula;
        if (f.size() >= LXW_MAX_FORMULA_RANGE_LENGTH) f.resize(LXW_MAX_FORMULA_RANGE_LENGTH - 1);
        size_t bang = f.find('!');
        if (f.empty() || f[0] == '(' || bang == std::string::npos) return false;
        std::string sheet = f.substr(0, bang);
        std::string cells = f.substr(bang + 1);
        if (!sheet.empty() && sheet.front() == '\'') sheet.erase(0, 1);
        if (!sheet.empty() && sheet.back() == '\'') sheet.pop_back();
        out.sheet = sheet;
        out.r1 = out.r2 = lxw_name_to_row(cells.c_str());
        out.c1 = out.c2 = lxw_name_to_col(cells.c_str());
        if (cells.find(':') != std::string::npos) {
            out.r2 = lxw_name_to_row_2(cells.c_str());
            out.c2 = lxw_name_to_col_2(cells.c_str());
        }
        return true;
    }

    // The worksheet of an area's sheet name in the file (the helper sheet of
    // counts is null); false when the file has no such sheet.
    bool SheetOf(const std::string& sheet, const Worksheet*& ws) const {
        ws = nullptr;
        if (!workbook_get_worksheet_by_name(out_, sheet.c_str())) return false;
        if (helper_ && sheet == helperName_) return true;
        for (int i = 1; i <= wb_.Count() && !ws; ++i) {
            const Sheet& s = wb_.Sheets(i);
            if (s.kind() == Sheet::Kind::Worksheet && CleanText(s.Name()) == sheet) ws = static_cast<const Worksheet*>(&s);
        }
        return ws != nullptr;
    }

    // The cache of one reference, made the way the file writer would make it
    // from the cells it holds, with the same refusals (areas wider and
    // taller than one, unknown sheets). A list of areas (the average line of
    // a TTFF chart) gets the points of its areas in order, as the file
    // writer leaves such a reference without any.
    void FillCache(lxw_series_range* range) {
        if (!range || range->ignore_cache || (!range->formula && !range->sheetname)) return;
        std::vector<CacheArea> areas;
        if (const auto it = unions_.find(range); it != unions_.end()) {
            areas = it->second;
        } else {
            CacheArea a;
            if (!SingleArea(range, a)) return;
            areas.push_back(a);
        }
        std::vector<const Worksheet*> sheets;
        uint64_t cells = 0;
        for (const CacheArea& a : areas) {
            if (a.r1 != a.r2 && a.c1 != a.c2) return;
            const Worksheet* ws = nullptr;
            if (!SheetOf(a.sheet, ws)) return;
            sheets.push_back(ws);
            cells += a.Cells();
        }
        if (cells > 0xFFFF) {
            // Past the file writer's 16-bit count: it writes the reference
            // alone, and the cache goes into the saved file afterwards (once
            // for all the series that share the reference).
            if (areas.size() != 1) return;
            const CacheArea& a = areas[0];
            const Area area{static_cast<int>(a.r1) + 1, static_cast<int>(a.c1) + 1, static_cast<int>(a.r2) + 1,
                            static_cast<int>(a.c2) + 1};
            auto [it, fresh] = longCaches_.try_emplace(ChartCacheKey(a.sheet, area));
            LongChartCache& cache = it->second;
            if (fresh) {
                cache.count = cells;
                auto add = [&](uint64_t k, const Point& p) {
                    if (!p.present) return;
                    if (p.isText) cache.Add(k, p.text);
                    else cache.Add(k, p.number);
                };
                if (!sheets[0]) {
                    uint64_t k = 0;
                    for (lxw_row_t r = a.r1; r <= a.r2; ++r)
                        for (lxw_col_t c = a.c1; c <= a.c2; ++c, ++k) add(k, PointAt(nullptr, r, c));
                } else {
                    // One row or one column: its stored cells in order are
                    // its points in order, the cells not stored its gaps.
                    const uint64_t width = uint64_t(a.c2) - a.c1 + 1;
                    sheets[0]->ForEachFileCellIn(area, [&](int r, int c, const Value& v, const std::string* a1) {
                        add((uint64_t(r) - 1 - a.r1) * width + (uint64_t(c) - 1 - a.c1), PointOf(v, a1 != nullptr));
                    });
                }
            }
            if (!cache.texts.empty()) range->has_string_cache = LXW_TRUE;
            range->ignore_cache = LXW_TRUE;
            return;
        }
        size_t count = 0;
        for (size_t i = 0; i < areas.size(); ++i) {
            const CacheArea& a = areas[i];
            for (lxw_row_t r = a.r1; r <= a.r2; ++r)
                for (lxw_col_t c = a.c1; c <= a.c2; ++c) {
                    auto* dp = static_cast<lxw_series_data_point*>(calloc(1, sizeof(lxw_series_data_point)));
                    if (!dp) throw ExcelError("Save", "out of memory for a chart's points");
                    Point p = PointAt(sheets[i], r, c);
                    if (!p.present) dp->no_data = LXW_TRUE;
                    else if (p.isText) {
                        dp->string = strdup(p.text.c_str());
                        dp->is_string = LXW_TRUE;
                        range->has_string_cache = LXW_TRUE;
                    } else {
                        dp->number = p.number;
                    }
                    STAILQ_INSERT_TAIL(range->data_cache, dp, list_pointers);
                    ++count;
                }
        }
        range->num_data_points = static_cast<uint16_t>(count);
        range->ignore_cache = LXW_TRUE;
    }

    // The areas of a list of references, as the file names them.
    std::vector<CacheArea> CacheAreas(const std::vector<SheetArea>& refs) const {
        std::vector<CacheArea> out;
        for (const SheetArea& ref : refs) {
            const Area a = Clip(ref);
            out.push_back({CleanText(ref.sheet), static_cast<lxw_row_t>(a.row1 - 1), static_cast<lxw_row_t>(a.row2 - 1),
                           static_cast<lxw_col_t>(a.col1 - 1), static_cast<lxw_col_t>(a.col2 - 1)});
        }
        return out;
    }

    void FillCaches(lxw_chart* chart) {
        FillCache(chart->title.range);
        FillCache(chart->x_axis->title.range);
        FillCache(chart->y_axis->title.range);
        lxw_chart_series* series;
        STAILQ_FOREACH(series, chart->series_list, list_pointers) {
            FillCache(series->categories);
            FillCache(series->values);
            FillCache(series->title.range);
        }
    }

    lxw_chart* BuildChart(const Chart& c) {
        lxw_chart* chart = workbook_add_chart(out_, ChartKind(c.Type()));
        charts_.push_back(chart);
        int written = 0;
        for (int i = 1; i <= c.SeriesCount(); ++i) {
            const Series& s = c.SeriesCollection(i);
            if (s.ValuesRef().empty()) continue;
            // One area goes through the range calls, which quote any sheet
            // name; several areas need a union formula.
            std::vector<SheetArea> xs = s.XValuesRef();
            if (xs.empty() && c.IsScatter() && helper_)
                xs = {SheetArea{helperName_, Area{1, 1, static_cast<int>(std::max<size_t>(1, PointCount(s.ValuesRef()))), 1}}};
            lxw_chart_series* ser = nullptr;
            if (s.ValuesRef().size() == 1 && xs.size() <= 1) {
                ser = chart_add_series(chart, nullptr, nullptr);
                auto set = [&](const SheetArea& ref, bool values) {
                    Area a = Clip(ref);
                    std::string sheet = CleanText(ref.sheet);
                    auto r1 = static_cast<lxw_row_t>(a.row1 - 1), r2 = static_cast<lxw_row_t>(a.row2 - 1);
                    auto c1 = static_cast<lxw_col_t>(a.col1 - 1), c2 = static_cast<lxw_col_t>(a.col2 - 1);
                    if (values) chart_series_set_values(ser, sheet.c_str(), r1, c1, r2, c2);
                    else chart_series_set_categories(ser, sheet.c_str(), r1, c1, r2, c2);
                };
                set(s.ValuesRef()[0], true);
                if (!xs.empty()) set(xs[0], false);
            } else {
                std::string values = RefFormula(s.ValuesRef());
                std::string cats = xs.empty() ? std::string() : RefFormula(xs);
                ser = chart_add_series(chart, cats.empty() ? nullptr : cats.c_str(), values.c_str());
                if (ser && ser->values) unions_[ser->values] = CacheAreas(s.ValuesRef());
                if (ser && ser->categories && !xs.empty()) unions_[ser->categories] = CacheAreas(xs);
            }
            ++written;
            if (s.NameRef()) {
                chart_series_set_name_range(ser, CleanText(s.NameRef()->sheet).c_str(),
                                            static_cast<lxw_row_t>(s.NameRef()->area.row1 - 1),
                                            static_cast<lxw_col_t>(s.NameRef()->area.col1 - 1));
            } else if (!s.Name().empty()) {
                std::string n = CleanText(s.Name());
                chart_series_set_name(ser, n.c_str());
            }
            if (s.lineStyle || s.lineColorIndex || s.lineWeight) {
                lxw_chart_line line{};
                if (s.lineStyle && *s.lineStyle == xl::None) line.none = 1;
                if (s.lineColorIndex && *s.lineColorIndex > 0) line.color = Rgb(*s.lineColorIndex);
                line.width = LineWidth(s.lineWeight.value_or(xl::Thin));
                chart_series_set_line(ser, &line);
            }
            if (s.markerStyle) chart_series_set_marker_type(ser, MarkerKind(*s.markerStyle));
            if (s.markerSize) chart_series_set_marker_size(ser, static_cast<uint8_t>(std::clamp(*s.markerSize, 2, 72)));
            if (s.markerBackgroundColorIndex && *s.markerBackgroundColorIndex > 0) {
                lxw_chart_fill fill{};
                fill.color = Rgb(*s.markerBackgroundColorIndex);
                chart_series_set_marker_fill(ser, &fill);
            }
            if (s.markerForegroundColorIndex && *s.markerForegroundColorIndex > 0) {
                lxw_chart_line line{};
                line.color = Rgb(*s.markerForegroundColorIndex);
                chart_series_set_marker_line(ser, &line);
            }
            if (s.dataLabels) {
                chart_series_set_labels(ser);
                if (s.dataLabelFont.bold.value_or(false)) {
                    lxw_chart_font f{};
                    f.bold = 1;
                    chart_series_set_labels_font(ser, &f);
                }
            }
        }
        if (written == 0) {
            // A chart needs a series to be written: an empty one over a blank cell.
            std::string sheet = wb_.Sheets(1).Name();
            for (int i = wb_.Count(); i >= 1; --i)
                if (wb_.Sheets(i).kind() == Sheet::Kind::Worksheet) sheet = wb_.Sheets(i).Name();
            lxw_chart_series* ser = chart_add_series(chart, nullptr, nullptr);
            chart_series_set_values(ser, CleanText(sheet).c_str(), 0, 0, 0, 0);
        }
        if (c.HasTitle() && !c.Title().empty()) {
            std::string t = CleanText(c.Title());
            chart_title_set_name(chart, t.c_str());
        } else {
            chart_title_off(chart);
        }
        WriteAxis(chart->x_axis, c.Axes(xl::Category), true);
        WriteAxis(chart->y_axis, c.Axes(xl::ValueAxis), false);
        if (!c.HasLegend()) chart_legend_set_position(chart, LXW_CHART_LEGEND_NONE);
        else {
            switch (c.LegendPosition()) {
            case xl::LegendBottom: chart_legend_set_position(chart, LXW_CHART_LEGEND_BOTTOM); break;
            case xl::LegendTop: chart_legend_set_position(chart, LXW_CHART_LEGEND_TOP); break;
            case xl::LegendLeft: chart_legend_set_position(chart, LXW_CHART_LEGEND_LEFT); break;
            default: chart_legend_set_position(chart, LXW_CHART_LEGEND_RIGHT); break;
            }
        }
        const PlotAreaStyle& pa = c.PlotArea();
        if (pa.borderColorIndex && *pa.borderColorIndex > 0) {
            lxw_chart_line line{};
            line.color = Rgb(*pa.borderColorIndex);
            line.width = LineWidth(pa.borderWeight);
            if (pa.borderLineStyle == xl::None) line.none = 1;
            chart_plotarea_set_line(chart, &line);
        }
        if (pa.fillVisible && pa.fillColorIndex && *pa.fillColorIndex > 0) {
            // No gradients in the file writer: a solid fill, light enough
            // for the series to stay visible.
            lxw_chart_fill fill{};
            fill.color = Rgb(*pa.fillColorIndex);
            fill.transparency = pa.gradient ? 75 : 0;
            chart_plotarea_set_fill(chart, &fill);
        }
        return chart;
    }

    const Workbook& wb_;
    lxw_workbook* out_;
    bool streamed_;
    Workbook* releasing_;  // the workbook itself when it is closed once saved
    lxw_worksheet* helper_ = nullptr;
    std::string helperName_;
    size_t helperRows_ = 0;
    std::map<std::string, lxw_format*> formats_;
    std::map<std::tuple<int, int, uint32_t>, lxw_format*> cellFormats_;  // of the sheet at hand
    std::vector<lxw_chart*> charts_;
    // The areas of the references that list several, which the file writer
    // keeps only as text.
    std::map<const lxw_series_range*, std::vector<CacheArea>> unions_;

public:
    LongChartCaches longCaches_;  // the chart caches of more cells than the file writer counts
};

}  // namespace

namespace {

// The file writer prints its numbers with printf, which follows the
// locale: under a comma-decimal one a TTFF of 1.8 would go into the file as
// "1,8", which no spreadsheet reads. While one lives, this thread prints in
// the C locale, whatever the process's locale and whichever thread saves.
class CNumbers {
public:
    CNumbers() : old_(::uselocale(C())) {}
    ~CNumbers() { ::uselocale(old_); }
    CNumbers(const CNumbers&) = delete;
    CNumbers& operator=(const CNumbers&) = delete;

private:
    static locale_t C() {
        static const locale_t c = ::newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
        return c;
    }
    locale_t old_;
};

// What the user is told of a failed save: the zip library's "ZIP_ERRNO"
// means a system call failed, so the system's own words are said, and a
// full disk as such.
std::string SaveFailure(lxw_error err, int why, const fs::path& folder) {
    const bool systemCall = err == LXW_ERROR_ZIP_FILE_OPERATION || err == LXW_ERROR_ZIP_FILE_ADD ||
                            err == LXW_ERROR_ZIP_CLOSE || err == LXW_ERROR_CREATING_XLSX_FILE ||
                            err == LXW_ERROR_CREATING_TMPFILE || err == LXW_ERROR_READING_TMPFILE;
    if (!systemCall) return lxw_strerror(err);
    std::error_code ec;
    const fs::space_info room = fs::space(folder.empty() ? fs::path(".") : folder, ec);
    if (why == ENOSPC || why == EDQUOT || (!ec && room.available < 4096)) return "the disk is full";
    if (why != 0) return std::strerror(why);
    return lxw_strerror(err);
}

// Lets a file writer go without writing anything: another save of the same
// file may be writing its temporary file at this moment. The library leaves
// the sheets' row files of a streamed workbook open when it frees it.
void Discard(lxw_workbook* out) {
    lxw_worksheet* ws;
    LXW_FOREACH_WORKSHEET(ws, out) {
        if (ws->optimize_tmpfile) {
            fclose(ws->optimize_tmpfile);
            ws->optimize_tmpfile = nullptr;
        }
    }
    lxw_workbook_free(out);
}

}  // namespace

// The file as libxlsxwriter holds it between reading the model and writing.
struct PreparedXlsx::Parts {
    lxw_workbook* out = nullptr;
    fs::path target, tmp;
    std::string shown;  // the name failures give
    LongChartCaches longCaches;  // copied out of the model: written in with the file
};

PreparedXlsx::PreparedXlsx(std::unique_ptr<Parts> parts) : parts_(std::move(parts)) {}

PreparedXlsx::~PreparedXlsx() {
    if (parts_ && parts_->out) Discard(parts_->out);
}

std::string PreparedXlsx::Path() const { return parts_->target.string(); }

void PreparedXlsx::Finish() {
    Parts& p = *parts_;
    if (!p.out) throw ExcelError("Save", "the file \"" + p.target.string() + "\" was already written");
    const CNumbers numbers;
    std::error_code ec;
    fs::remove(p.tmp, ec);
    errno = 0;
    lxw_error err = workbook_close(p.out);
    p.out = nullptr;
    const std::string path = p.shown;
    if (err != LXW_NO_ERROR) {
        const int why = errno;
        fs::remove(p.tmp, ec);
        throw ExcelError("Save", "cannot write \"" + path + "\": " + SaveFailure(err, why, p.target.parent_path()));
    }
    if (!p.longCaches.empty()) {
        try {
            AddLongChartCaches(p.tmp.string(), p.longCaches);
        } catch (const ExcelError& e) {
            fs::remove(p.tmp, ec);
            // Named as the file it was to become.
            std::string why = e.Reason();
            const std::string tmp = p.tmp.string();
            for (size_t at = why.find(tmp); at != std::string::npos; at = why.find(tmp, at + path.size()))
                why.replace(at, tmp.size(), path);
            throw ExcelError(e.Operation(), why);
        } catch (...) {
            fs::remove(p.tmp, ec);
            throw;
        }
    }
    fs::rename(p.tmp, p.target, ec);
    if (ec) {
        fs::remove(p.tmp, ec);
        throw ExcelError("Save", "cannot replace \"" + path + "\": " + ec.message());
    }
}

namespace {

std::unique_ptr<PreparedXlsx> Prepare(const Workbook& wb, const std::string& path, Workbook* releasing,
                                      const std::string& shownAs = {}) {
    // Rows of a streamed sheet are printed as they are read.
    const CNumbers numbers;
    auto parts = std::make_unique<PreparedXlsx::Parts>();
    parts->target = fs::path(path);
    parts->shown = shownAs.empty() ? path : shownAs;
    // The temporary file is made when the file is written; a stale one is
    // cleared then, not here, where an earlier save of the same file may
    // still be writing it on another thread.
    parts->tmp = parts->target.parent_path() / ("." + parts->target.filename().string() + ".tmp");
    // Sheets go out row by row as they are walked, so that saving needs no
    // copy of their cells; merged cells span rows and need the copy.
    bool streamed = true;
    for (int i = 1; i <= wb.Count(); ++i) {
        const Sheet& s = wb.Sheets(i);
        if (s.kind() == Sheet::Kind::Worksheet && !static_cast<const Worksheet&>(s).Merges().empty()) streamed = false;
    }
    lxw_workbook_options opt{};
    opt.constant_memory = streamed ? LXW_TRUE : LXW_FALSE;
    parts->out = workbook_new_opt(parts->tmp.c_str(), &opt);
    if (!parts->out) throw ExcelError("Save", "cannot start the file \"" + parts->shown + "\"");
    try {
        Writer writer(wb, parts->out, streamed, releasing);
        writer.Run();
        parts->longCaches = std::move(writer.longCaches_);
    } catch (...) {
        Discard(parts->out);
        throw;
    }
    return std::make_unique<PreparedXlsx>(std::move(parts));
}

}  // namespace

std::unique_ptr<PreparedXlsx> PrepareXlsx(const Workbook& wb, const std::string& path, const std::string& shownAs) {
    return Prepare(wb, path, nullptr, shownAs);
}

void WriteXlsx(const Workbook& wb, const std::string& path, const std::string& shownAs) {
    Prepare(wb, path, nullptr, shownAs)->Finish();
}

void WriteXlsxAndRelease(Workbook& wb, const std::string& path) { Prepare(wb, path, &wb)->Finish(); }

}  // namespace workbook
