#pragma once
// A receiver's own workbook, kept live during a session with the spreadsheet
// interface on: one sheet per TTFF test (laid out by the report builders
// through the host), one row per trial with the values at the fix and 5 s and
// 10 s after it. Every operation but the first does nothing while no workbook
// is open. The workbook is saved after each row, so a crash loses at most the
// trial in progress; a failed save is one system-log line per test and the
// session goes on. The workbook is read on the caller's thread and its file
// written on a thread of its own, so a slow disk never freezes the windows;
// saves of one file land in the order they were made.
#include <cstdint>
#include <memory>
#include <string>

#include "bench/devices/background_saves.h"  // WaitForWorkbookSaves
#include "bench/devices/device_state.h"

namespace bench {

void InitDeviceSpreadSheet(DeviceState& dev, const std::shared_ptr<workbook::Application>& excel);
void AddNewDeviceSheet(DeviceState& dev);
void InitializeDeviceSheet(DeviceState& dev, const std::string& test, int16_t trials);
// The chart of the sheet test + "_Data" over rows 1..trials + 1 of column C.
void DeviceSheetAddTTFFChart(DeviceState& dev, const std::string& test, int16_t trials);
// Row trial + 1, C..J: `ttff` (the value the results file gets) and the
// values at the fix.
void DeviceSpreadSheetSetTTFFData(DeviceState& dev, int16_t trial, double ttff);
// Row trial + 1, K..V: the values 5 s and 10 s after the fix.
void DeviceSpreadSheetWriteAfterFixData(DeviceState& dev, int16_t trial);
// Saves as folder\name.xlsx (the folder as stored, mapped).
void DeviceSpreadSheetSaveas(DeviceState& dev, const std::string& folder, const std::string& name);
void DeviceSpreadSheetSave(DeviceState& dev);
// Saves, then closes; the application reference stays.
void DeviceSpreadSheetClose(DeviceState& dev);

}  // namespace bench
