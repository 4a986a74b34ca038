#include "platform/workbook/workbook.h"

#include "platform/workbook/xlsx_writer.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

namespace workbook {

namespace fs = std::filesystem;

// ---------------------------------------------------------------- Workbook

Workbook::Workbook(Application& app) : app_(&app) {}
Workbook::~Workbook() = default;

Sheet& Workbook::Sheets(int index) const {
    if (index < 1 || index > Count())
        throw ExcelError("Sheets", "no sheet number " + std::to_string(index) + " (the workbook has " +
                                       std::to_string(Count()) + ")");
    return *sheets_[index - 1];
}

Sheet* Workbook::FindSheet(std::string_view name) const {
    for (const auto& s : sheets_)
        if (SameName(s->Name(), name)) return s.get();
    return nullptr;
}

Sheet& Workbook::Sheets(std::string_view name) const {
    Sheet* s = FindSheet(name);
    if (!s) throw ExcelError("Sheets", "no sheet named \"" + std::string(name) + "\"");
    return *s;
}

Worksheet& Workbook::Worksheets(std::string_view name) {
    Sheet& s = Sheets(name);
    if (s.kind() != Sheet::Kind::Worksheet) throw ExcelError("Worksheets", "\"" + std::string(name) + "\" is a chart sheet");
    return static_cast<Worksheet&>(s);
}

Worksheet& Workbook::Worksheets(int index) {
    int n = 0;
    for (const auto& s : sheets_)
        if (s->kind() == Sheet::Kind::Worksheet && ++n == index) return static_cast<Worksheet&>(*s);
    throw ExcelError("Worksheets", "no worksheet number " + std::to_string(index));
}

std::string Workbook::UniqueSheetName(std::string_view base) const {
    std::string b(base);
    if (!FindSheet(b) && SheetNameProblem(b).empty()) return b;
    for (int k = 2;; ++k) {
        std::string suffix = "_" + std::to_string(k);
        std::string stem = b;
        while (!stem.empty() && !SheetNameProblem(stem + suffix).empty()) stem.pop_back();
        std::string candidate = stem + suffix;
        if (!FindSheet(candidate)) return candidate;
    }
}

void Workbook::CheckNewName(const Sheet* renamed, std::string_view name) const {
    std::string why = SheetNameProblem(name);
    if (!why.empty()) throw ExcelError("Name", why + " (\"" + std::string(name) + "\")");
    Sheet* other = FindSheet(name);
    if (other && other != renamed)
        throw ExcelError("Name", "a sheet named \"" + std::string(name) + "\" already exists");
}

Worksheet& Workbook::AddWorksheet() {
    std::string name;
    do name = "Sheet" + std::to_string(nextSheet_++);
    while (FindSheet(name));
    sheets_.push_back(std::make_unique<Worksheet>(*this, name));
    Sheet* s = sheets_.back().get();
    SetActive(s);
    Changed();
    return static_cast<Worksheet&>(*s);
}

Chart& Workbook::AddChart() {
    std::string name;
    do name = "Chart" + std::to_string(nextChart_++);
    while (FindSheet(name));
    auto chart = std::make_unique<Chart>(*this);
    Chart* c = chart.get();
    sheets_.push_back(std::make_unique<ChartSheet>(*this, name, std::move(chart)));
    SetActive(sheets_.back().get());
    FormatChanged();
    return *c;
}

void Workbook::DeleteSheet(Sheet& sheet) {
    if (Count() == 1) throw ExcelError("Delete", "a workbook must keep at least one sheet");
    Detach(&sheet);
    Changed();
}

std::unique_ptr<Sheet> Workbook::Detach(const Sheet* sheet) {
    int pos = PositionOf(sheet);
    std::unique_ptr<Sheet> owned = std::move(sheets_[pos]);
    sheets_.erase(sheets_.begin() + pos);
    if (active_ == sheet) active_ = sheets_.empty() ? nullptr : sheets_[std::min<size_t>(pos, sheets_.size() - 1)].get();
    if (owned->kind() == Sheet::Kind::ChartSheet && activeChart_ == &static_cast<ChartSheet&>(*owned).GetChart())
        activeChart_ = nullptr;
    return owned;
}

Sheet& Workbook::ActiveSheet() const {
    if (!active_) throw ExcelError("ActiveSheet", "the workbook has no sheet");
    return *active_;
}

Worksheet& Workbook::ActiveWorksheet() const {
    Sheet& s = ActiveSheet();
    if (s.kind() != Sheet::Kind::Worksheet) throw ExcelError("ActiveSheet", "the active sheet is a chart sheet");
    return static_cast<Worksheet&>(s);
}

void Workbook::SetActive(Sheet* sheet) {
    active_ = sheet;
    activeChart_ = sheet && sheet->kind() == Sheet::Kind::ChartSheet ? &static_cast<ChartSheet*>(sheet)->GetChart()
                                                                      : nullptr;
    app_->active_ = this;
}

int Workbook::PositionOf(const Sheet* sheet) const {
    for (size_t i = 0; i < sheets_.size(); ++i)
        if (sheets_[i].get() == sheet) return static_cast<int>(i);
    throw ExcelError("Sheets", "the sheet is not in this workbook");
}

void Workbook::MoveSheet(const Sheet* sheet, int newPos) {
    int pos = PositionOf(sheet);
    std::unique_ptr<Sheet> s = std::move(sheets_[pos]);
    sheets_.erase(sheets_.begin() + pos);
    newPos = std::clamp(newPos, 0, static_cast<int>(sheets_.size()));
    sheets_.insert(sheets_.begin() + newPos, std::move(s));
    Changed();
}

void Workbook::Activate() {
    app_->active_ = this;
}

namespace {
bool KnownExtension(const fs::path& p) {
    std::string e = p.extension().string();
    for (char& c : e) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return e == ".xlsx" || e == ".xls" || e == ".xlsm" || e == ".xlsb";
}
}  // namespace

void Workbook::SaveAs(const std::string& path, const std::string& shownAs) { SaveAsWith(path, false, shownAs); }

void Workbook::SaveAsAndClose(const std::string& path) {
    SaveAsWith(path, true);
    Close();
}

std::string Workbook::SaveAsPath(const std::string& path) const {
    if (path.empty()) throw ExcelError("SaveAs", "no file name");
    fs::path p(path);
    if (!KnownExtension(p)) p += ".xlsx";
    p = fs::absolute(p).lexically_normal();
    // Two open workbooks under one name could not be told apart by their windows.
    for (int i = 1; i <= app_->WorkbookCount(); ++i) {
        Workbook& other = app_->Workbooks(i);
        if (&other != this && other.HasPath() && other.FullName() == p.string())
            throw ExcelError("SaveAs", "another open workbook is named \"" + p.string() + "\"");
    }
    return p.string();
}

void Workbook::SaveAsWith(const std::string& path, bool closing, const std::string& shownAs) {
    const std::string p = SaveAsPath(path);
    if (closing) WriteXlsxAndRelease(*this, p);
    else WriteXlsx(*this, p, shownAs);
    path_ = p;
    shownAs_ = shownAs;
    saved_ = true;
}

void Workbook::CheckSavePath() const {
    if (path_.empty()) throw ExcelError("Save", "the workbook has never been saved under a name");
    if (!KnownExtension(fs::path(path_)))
        throw ExcelError("Save", "the workbook came from a text file; save it with SaveAs");
}

void Workbook::Save() {
    CheckSavePath();
    WriteXlsx(*this, path_, shownAs_);
    saved_ = true;
}

std::unique_ptr<PreparedXlsx> Workbook::PrepareSave() const {
    CheckSavePath();
    return PrepareXlsx(*this, path_, shownAs_);
}

std::unique_ptr<PreparedXlsx> Workbook::PrepareSaveAs(const std::string& path, const std::string& shownAs) {
    const std::string p = SaveAsPath(path);
    std::unique_ptr<PreparedXlsx> prepared = PrepareXlsx(*this, p, shownAs);
    path_ = p;
    shownAs_ = shownAs;
    return prepared;
}

void Workbook::Close() { app_->Remove(this); }

std::string Workbook::FullName() const { return path_.empty() ? untitled_ : path_; }

std::string Workbook::Name() const { return path_.empty() ? untitled_ : fs::path(path_).filename().string(); }

// ---------------------------------------------------------------- Application

Application::Application() = default;
Application::~Application() = default;

Workbook& Application::AddWorkbook() {
    books_.push_back(std::make_unique<Workbook>(*this));
    Workbook& wb = *books_.back();
    wb.untitled_ = "Book" + std::to_string(nextBook_++);
    wb.AddWorksheet();
    active_ = &wb;
    return wb;
}

Workbook& Application::Workbooks(int index) {
    if (index < 1 || index > WorkbookCount()) throw ExcelError("Workbooks", "no workbook number " + std::to_string(index));
    return *books_[index - 1];
}

Workbook* Application::FindWindow(std::string_view caption) const {
    for (const auto& b : books_)
        if (SameName(b->Caption(), caption) || SameName(b->FullName(), caption)) return b.get();
    return nullptr;
}

Workbook& Application::ActivateWindow(std::string_view caption) {
    Workbook* wb = FindWindow(caption);
    if (!wb) throw ExcelError("Windows", "no open window \"" + std::string(caption) + "\"");
    active_ = wb;
    return *wb;
}

void Application::SetVisible(bool v) {
    bool show = v && !visible_;
    visible_ = v;
    if (show && viewer_) viewer_(*this);
}

Sheet& Application::ActiveSheet() const {
    if (!active_) throw ExcelError("ActiveSheet", "no workbook is open");
    return active_->ActiveSheet();
}

Chart* Application::ActiveChart() const { return active_ ? active_->ActiveChart() : nullptr; }

void Application::Quit() {
    books_.clear();
    active_ = nullptr;
    visible_ = false;
}

const ValueGrid& Application::Clipboard() const {
    if (!hasClipboard_) throw ExcelError("PasteSpecial", "nothing has been copied");
    return clipboard_;
}

void Application::Remove(Workbook* book) {
    auto it = std::find_if(books_.begin(), books_.end(), [&](const auto& b) { return b.get() == book; });
    if (it == books_.end()) return;
    books_.erase(it);
    if (active_ == book) active_ = books_.empty() ? nullptr : books_.back().get();
}

Workbook& Application::OpenCsv(const std::string& path, int rowsPerSheet) { return OpenCsv(path, rowsPerSheet, {}); }

Workbook& Application::OpenCsv(const std::string& path, int rowsPerSheet, const std::vector<bool>& held) {
    rowsPerSheet = std::clamp(rowsPerSheet, 1, kMaxRows);
    DelimitedOptions opt;
    opt.delimiters = ",";
    books_.push_back(std::make_unique<Workbook>(*this));
    Workbook& wb = *books_.back();
    std::string stem = fs::path(path).stem().string();
    std::string name;
    for (char c : stem) name += std::string("[]:*?/\\").find(c) == std::string::npos ? c : '_';
    while (!name.empty() && name.front() == '\'') name.erase(0, 1);
    while (!name.empty() && name.back() == '\'') name.pop_back();
    if (name.size() > 31) name.resize(31);
    if (name.empty()) name = "Sheet1";
    wb.sheets_.push_back(std::make_unique<Worksheet>(wb, name));
    Worksheet* ws = static_cast<Worksheet*>(wb.sheets_.back().get());
    Worksheet& first = *ws;
    // With columns left in the file, each sheet notes the lines it shows
    // and what their cells cover.
    const bool partial = !held.empty();
    std::shared_ptr<TableLines> lines;
    int line = 0;  // of the file, handed so far
    auto startLines = [&] {
        if (!partial) return;
        lines = std::make_shared<TableLines>();
        lines->path = fs::absolute(fs::path(path)).lexically_normal().string();
        lines->options = opt;
        // Written from the file, the held columns' fields need no reading.
        lines->options.placeOnly = held;
        lines->firstLine = line + 1;
        lines->held = held;
        ws->SetTable(lines);
    };
    startLines();
    // Rows go straight into the sheet as they are read; a file that cannot
    // be read leaves no workbook behind. Of the columns not held only where
    // they have content is read.
    DelimitedOptions reading = opt;
    if (partial) {
        reading.placeOnly.assign(held.size(), false);
        for (size_t c = 0; c < held.size(); ++c) reading.placeOnly[c] = !held[c];
        reading.placeOnlyRest = true;
    }
    int r = 0;
    try {
        ReadDelimitedLines(path, reading, 1, [&](const std::vector<std::string_view>& fields) {
            if (r == rowsPerSheet) {
                ws->ReleaseSpare();
                const std::string suffix = " (" + std::to_string(wb.sheets_.size() + 1) + ")";
                std::string next = name.substr(0, 31 - suffix.size());
                while (!next.empty() && next.back() == '\'') next.pop_back();
                wb.sheets_.push_back(std::make_unique<Worksheet>(wb, next + suffix));
                ws = static_cast<Worksheet*>(wb.sheets_.back().get());
                r = 0;
                startLines();
            }
            ++r;
            ++line;
            // A comma-separated file has no column types: field c is column c + 1.
            for (size_t c = 0; c < fields.size(); ++c) {
                const std::string_view field = fields[c];
                if (field.empty()) continue;
                const int col = static_cast<int>(c) + 1;
                if (lines) {
                    Area& a = lines->area;
                    a = a.row1 == 0 ? Area::Cell(r, col)
                                    : Area{std::min(a.row1, r), std::min(a.col1, col), std::max(a.row2, r),
                                           std::max(a.col2, col)};
                    if (!lines->Held(col)) continue;
                }
                double x = 0;
                switch (TypeField(field, c, reading, x)) {
                case FieldKind::Number: ws->SetConstant(r, col, Value(x)); break;
                case FieldKind::Text: ws->SetConstant(r, col, Value(std::string(field))); break;
                case FieldKind::Empty: break;
                }
            }
            if (lines) lines->lines = r;
        });
    } catch (...) {
        Remove(&wb);
        throw;
    }
    Worksheet& last = *ws;
    last.ReleaseSpare();
    wb.path_ = fs::absolute(fs::path(path)).lexically_normal().string();
    wb.saved_ = true;
    wb.SetActive(&first);
    return wb;
}

}  // namespace workbook
