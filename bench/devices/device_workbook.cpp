#include "bench/devices/device_workbook.h"

#include <exception>
#include <vector>

#include "bench/devices/background_saves.h"
#include "bench/devices/bench_host.h"
#include "bench/devices/device_paths.h"
#include "bench/devices/system_log.h"
#include "platform/workbook/workbook.h"
#include "platform/workbook/xlsx_writer.h"

namespace bench {

namespace {

// The open workbook, or null. A workbook closed behind the device's back
// (the application quit) leaves the device closed.
workbook::Workbook* Book(DeviceState& dev) {
    if (!dev.WorkbookOpen) return nullptr;
    if (dev.ExcelApp)
        for (int i = 1; i <= dev.ExcelApp->WorkbookCount(); ++i)
            if (&dev.ExcelApp->Workbooks(i) == dev.WorkbookRef) return dev.WorkbookRef;
    dev.WorkbookOpen = false;
    dev.WorkbookRef = nullptr;
    dev.WorksheetRef = nullptr;
    return nullptr;
}

workbook::Value CellOf(const CellValue& v) {
    if (const double* d = std::get_if<double>(&v)) return workbook::Value(*d);
    if (const std::string* s = std::get_if<std::string>(&v)) return workbook::Value(*s);
    if (const DateTimeCell* t = std::get_if<DateTimeCell>(&v)) return workbook::Value(t->Serial);
    return workbook::Value();
}

void WriteRow(DeviceState& dev, int16_t trial, int firstCol, const std::vector<workbook::Value>& values) {
    workbook::Worksheet& ws = *dev.WorksheetRef;
    const int row = trial + 1;
    ws.GetRange(ws.Cells(row, firstCol), ws.Cells(row, firstCol + static_cast<int>(values.size()) - 1))
        .SetRowValues(values);
}

std::string FailureLine(const DeviceState& dev, const std::string& why) {
    return "Device " + dev.DeviceName + ": workbook not saved" +
           (dev.WorkbookSheetName.empty() ? std::string() : " (test " + dev.WorkbookSheetName + ")") + ": " + why;
}

// Hands a prepared file to the background writer; a failure is one
// system-log line per test.
void Submit(const DeviceState& dev, std::unique_ptr<workbook::PreparedXlsx> file) {
    SaveInBackground(std::move(file), FailureLine(dev, ""), dev.WorkbookSaveFailed);
}

// A save that fails is told once per test; the rows stay in the workbook
// and the next save tries again.
void SaveQuietly(DeviceState& dev, workbook::Workbook& wb) {
    std::unique_ptr<workbook::PreparedXlsx> file;
    try {
        file = wb.PrepareSave();
    } catch (const std::exception& e) {
        TellSaveFailure(FailureLine(dev, e.what()), dev.WorkbookSaveFailed);
        return;
    }
    Submit(dev, std::move(file));
}

void AddChart(DeviceState& dev, workbook::Workbook& wb, const std::string& test, const std::string& dataSheet,
              int16_t trials) {
    if (!dev.Host) throw platform::BenchError(platform::err::BadArgument, "No device workbook layout here");
    dev.Host->CreateDeviceTTFFChart(wb, dev.DeviceName, test, dataSheet, 1, 3, static_cast<int16_t>(trials + 1), 3);
}

}  // namespace

void InitDeviceSpreadSheet(DeviceState& dev, const std::shared_ptr<workbook::Application>& excel) {
    if (Book(dev)) return;
    if (!excel) throw platform::BenchError(platform::err::BadArgument, "No spreadsheet application");
    dev.ExcelApp = excel;
    dev.WorkbookRef = &excel->AddWorkbook();
    dev.WorksheetRef = nullptr;
    dev.WorkbookOpen = true;
    dev.WorkbookSheetName.clear();
    dev.WorkbookSaveFailed = std::make_shared<bool>(false);
}

void AddNewDeviceSheet(DeviceState& dev) {
    workbook::Workbook* wb = Book(dev);
    if (!wb) return;
    dev.WorksheetRef = &wb->AddWorksheet();
}

void InitializeDeviceSheet(DeviceState& dev, const std::string& test, int16_t trials) {
    workbook::Workbook* wb = Book(dev);
    if (!wb) return;
    // Rows of this test never go into an earlier test's sheet.
    workbook::Worksheet* ws = dev.WorksheetRef;
    dev.WorksheetRef = nullptr;
    if (!ws) ws = &wb->AddWorksheet();
    if (!dev.Host) throw platform::BenchError(platform::err::BadArgument, "No device workbook layout here");
    dev.Host->FormatDeviceTTFFSheet(*dev.ExcelApp, *ws, test, trials, dev.MaxTTFF);
    AddChart(dev, *wb, test, ws->Name(), trials);
    dev.WorksheetRef = ws;
    dev.WorkbookSheetName = ws->Name();
    dev.WorkbookSaveFailed = std::make_shared<bool>(false);
}

void DeviceSheetAddTTFFChart(DeviceState& dev, const std::string& test, int16_t trials) {
    workbook::Workbook* wb = Book(dev);
    if (!wb) return;
    AddChart(dev, *wb, test, test + "_Data", trials);
}

void DeviceSpreadSheetSetTTFFData(DeviceState& dev, int16_t trial, double ttff) {
    workbook::Workbook* wb = Book(dev);
    if (!wb || !dev.WorksheetRef || trial < 1) return;
    std::vector<workbook::Value> row{workbook::Value(ttff)};
    for (size_t i = 1; i < dev.FixRow.size(); ++i) row.push_back(CellOf(dev.FixRow[i]));
    WriteRow(dev, trial, 3, row);
    SaveQuietly(dev, *wb);
}

void DeviceSpreadSheetWriteAfterFixData(DeviceState& dev, int16_t trial) {
    workbook::Workbook* wb = Book(dev);
    if (!wb || !dev.WorksheetRef || trial < 1) return;
    std::vector<workbook::Value> row;
    for (const CellValue& v : dev.AfterFixRow) row.push_back(CellOf(v));
    WriteRow(dev, trial, 11, row);
    SaveQuietly(dev, *wb);
}

void DeviceSpreadSheetSaveas(DeviceState& dev, const std::string& folder, const std::string& name) {
    workbook::Workbook* wb = Book(dev);
    if (!wb) return;
    Submit(dev, wb->PrepareSaveAs(DeviceFilePath(folder + "\\" + name + ".xlsx")));
}

void DeviceSpreadSheetSave(DeviceState& dev) {
    if (workbook::Workbook* wb = Book(dev)) SaveQuietly(dev, *wb);
}

void DeviceSpreadSheetClose(DeviceState& dev) {
    workbook::Workbook* wb = Book(dev);
    if (!wb) return;
    // The file is read whole before the workbook goes; it is written after.
    SaveQuietly(dev, *wb);
    wb->Close();
    dev.WorkbookRef = nullptr;
    dev.WorksheetRef = nullptr;
    dev.WorkbookOpen = false;
    dev.WorkbookSheetName.clear();
}

}  // namespace bench
