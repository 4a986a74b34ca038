#pragma once
// The spreadsheet application the bench drives: workbooks of worksheets and
// chart sheets kept in memory, computed on demand, and saved as Office Open
// XML. Plain C++: the console tool uses it too.
//
// How the automation calls read here:
//   Workbooks.Add                     app.AddWorkbook()
//   Windows(caption).Activate         app.ActivateWindow(caption)
//   ActiveWindow.Caption = x          wb.SetCaption(x)
//   Sheets(i) / Sheets(name)          wb.Sheets(i) / wb.Worksheets(name)
//   Sheets.Add; ActiveSheet.Name = s  wb.AddWorksheet().SetName(s)
//   Sheet.Move After:=Sheets(n)       sheet.MoveAfter(wb.Sheets(n))
//   Range("U4").Offset(0, 1).Value    ws.GetRange("U4").Offset(0, 1).GetValue()
//   Cells(r, c).Value = v             ws.Cells(r, c).SetValue(v)
//   .Formula / .FormulaR1C1 = f       SetFormula(f) / SetFormulaR1C1(f)
//   .Characters.Text = t              SetText(t)
//   Range(..).Value = array           SetValues(grid) / SetRowValues(list)
//   Application.Transpose(list)       Transpose(list)
//   .Font.Bold, .Interior.ColorIndex  Font().SetBold(..), Interior().SetColorIndex(..)
//   .Borders(i).LineStyle / .Weight   Borders(i).SetLineStyle(..) / SetWeight(..)
//   .EntireColumn.AutoFit / .Hidden   EntireColumn().AutoFit() / SetHidden(true)
//   .Delete(Shift) / .Insert(Shift)   Delete(xl::ShiftToLeft) / Insert(xl::ShiftDown)
//   .Copy + .PasteSpecial values      src.Copy(); dest.PasteSpecialValues()
//   QueryTables.Add(conn, dest)       ws.AddQueryTable(conn, dest), then Refresh()
//   Charts.Add                        wb.AddChart() (ActiveChart)
//   Chart.Location 1, name            chart.Location(xl::LocationAsNewSheet, name)
//   Chart.Axes(t, 1)                  chart.Axes(t)
//   SaveAs / Save / Close / Quit      wb.SaveAs(path) / wb.Save() / wb.Close() / app.Quit()
// Every failure is an ExcelError naming the operation and the reason.
#include "platform/workbook/chart.h"
#include "platform/workbook/range.h"
#include "platform/workbook/sheet.h"
#include "platform/workbook/textimport.h"
#include "platform/workbook/value.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace workbook {

class Application;
class PreparedXlsx;

class Workbook {
public:
    explicit Workbook(Application& app);
    ~Workbook();
    Workbook(const Workbook&) = delete;
    Workbook& operator=(const Workbook&) = delete;

    Application& Parent() const { return *app_; }

    // --- sheets, in tab order
    int Count() const { return static_cast<int>(sheets_.size()); }
    Sheet& Sheets(int index) const;  // 1-based
    Sheet& Sheets(std::string_view name) const;  // case-insensitive
    Sheet* FindSheet(std::string_view name) const;
    Worksheet& Worksheets(std::string_view name);  // a worksheet of that name
    Worksheet& Worksheets(int index);  // the index-th worksheet
    // A new worksheet "SheetN" after the last sheet; it becomes active.
    Worksheet& AddWorksheet();
    // A new chart on its own chart sheet "ChartN" after the last sheet; it
    // becomes the active chart.
    Chart& AddChart();
    void DeleteSheet(Sheet& sheet);
    Sheet& ActiveSheet() const;
    Worksheet& ActiveWorksheet() const;  // throws when a chart sheet is active
    Chart* ActiveChart() const { return activeChart_; }

    // --- files
    // Saves under `path`; without an extension ".xlsx" is added. The file is
    // written whole to a temporary name beside it, then renamed. A failure
    // names the file `shownAs` when one is given: the file a person asked
    // for, where `path` is a working copy of it; so do later Saves.
    void SaveAs(const std::string& path, const std::string& shownAs = {});
    // SaveAs, then Close. The cells no chart plots are let go as soon as
    // they are written, so a large table's save holds the charts' points
    // and little of the rest.
    void SaveAsAndClose(const std::string& path);
    void Save();  // under the name of the last SaveAs; refused before one
    // Save and SaveAs in two steps (see PreparedXlsx): the model is read
    // now, the file is written when the result is finished. The workbook
    // counts as saved only once a save is done whole.
    std::unique_ptr<PreparedXlsx> PrepareSave() const;
    std::unique_ptr<PreparedXlsx> PrepareSaveAs(const std::string& path, const std::string& shownAs = {});
    // Forgets the workbook (no save); the reference is invalid afterwards.
    void Close();
    std::string FullName() const;  // the saved path, or "BookN" before a save
    std::string Name() const;      // the file name part
    bool HasPath() const { return !path_.empty(); }
    bool Saved() const { return saved_; }

    // --- the window that shows it
    void SetCaption(std::string caption) { caption_ = std::move(caption); }
    std::string Caption() const { return caption_.empty() ? Name() : caption_; }
    void Activate();

    // Bumped by every change; formula results computed at an older
    // generation are recomputed when read.
    uint64_t Generation() const { return generation_; }
    void Changed() { ++generation_; saved_ = false; }
    // A change no formula can see (formats, widths, hidden columns, charts):
    // the workbook needs saving, its results stay valid.
    void FormatChanged() { saved_ = false; }

    // Picks a sheet name not yet taken: `base`, else base + "_2", "_3" ...
    // within 31 characters.
    std::string UniqueSheetName(std::string_view base) const;

private:
    void SaveAsWith(const std::string& path, bool closing, const std::string& shownAs = {});
    std::string SaveAsPath(const std::string& path) const;
    void CheckSavePath() const;
    friend class Sheet;
    friend class Chart;
    friend class Application;
    void CheckNewName(const Sheet* renamed, std::string_view name) const;
    void SetActive(Sheet* sheet);
    int PositionOf(const Sheet* sheet) const;
    void MoveSheet(const Sheet* sheet, int newPos);
    std::unique_ptr<Sheet> Detach(const Sheet* sheet);

    Application* app_;
    std::vector<std::unique_ptr<Sheet>> sheets_;
    Sheet* active_ = nullptr;
    Chart* activeChart_ = nullptr;
    std::string path_;
    std::string shownAs_;  // what failures to save under path_ name
    std::string untitled_;
    std::string caption_;
    uint64_t generation_ = 1;
    bool saved_ = false;
    int nextSheet_ = 1, nextChart_ = 1;
};

class Application {
public:
    Application();
    ~Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    // Workbooks.Add: a new workbook with one worksheet "Sheet1"; it becomes active.
    Workbook& AddWorkbook();
    // Workbooks.Open of a comma-separated file: one worksheet named after the
    // file (without extension), numbers typed, the file as the workbook's name.
    // A file of more rows than a sheet holds goes on in next sheets, "name (2)",
    // "name (3)" ..., `rowsPerSheet` rows each, so that no row is left out.
    Workbook& OpenCsv(const std::string& path, int rowsPerSheet = kMaxRows);
    // The same for a table to be charted and saved as it is: its sheets hold
    // the cells of the `held` columns (column c at [c - 1]) and show the
    // others, which are read again from the file when the workbook is saved
    // (see TableLines). The other columns' cells read as empty meanwhile.
    Workbook& OpenCsv(const std::string& path, int rowsPerSheet, const std::vector<bool>& held);
    int WorkbookCount() const { return static_cast<int>(books_.size()); }
    Workbook& Workbooks(int index);  // 1-based
    // The open workbook whose window caption (or full name) is `caption`;
    // null when none.
    Workbook* FindWindow(std::string_view caption) const;
    // Windows(caption).Activate: throws when no window has that caption.
    Workbook& ActivateWindow(std::string_view caption);
    Workbook* ActiveWorkbook() const { return active_; }
    Sheet& ActiveSheet() const;
    Chart* ActiveChart() const;

    // Becoming visible runs the viewer (set by the windowed program to open
    // the saved files on the desktop); nothing else happens here.
    void SetVisible(bool v);
    bool Visible() const { return visible_; }
    void SetViewer(std::function<void(Application&)> viewer) { viewer_ = std::move(viewer); }
    // Closes every workbook without saving.
    void Quit();

    // Copy / PasteSpecial values.
    void SetClipboard(ValueGrid values) { clipboard_ = std::move(values); hasClipboard_ = true; }
    const ValueGrid& Clipboard() const;

private:
    friend class Workbook;
    void Remove(Workbook* book);

    std::vector<std::unique_ptr<Workbook>> books_;
    Workbook* active_ = nullptr;
    bool visible_ = false;
    std::function<void(Application&)> viewer_;
    int nextBook_ = 1;
    ValueGrid clipboard_;
    bool hasClipboard_ = false;
};

}  // namespace workbook
