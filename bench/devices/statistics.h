#pragma once
// Small shared routines: running statistics of the satellite samples, the
// satellite-table signal bars, status-bar panels and file-name helpers.
#include "bench/devices/device_view.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace bench {

// The larger / smaller of two values; a on a tie.
int32_t MaxLong(int32_t a, int32_t b);
int32_t MinLong(int32_t a, int32_t b);

// The mean after adding value as the n-th sample (n counts it).
double RunningMean(double mean, int32_t value, int32_t n);

// Twips of bar height per level step.
inline constexpr int kBarTwipsPerLevel = 34;

// Height := level x 34 twips with the bottom edge kept. The level is held to
// 0..99 (the C/N0 range): a garbled value must not break the table refresh.
void SetBarLevel(ControlView* bar, int16_t level);
void SetBarSolid(ControlView* bar);
void SetBarHollow(ControlView* bar);
void SetBarFillColor(ControlView* bar, uint32_t rgb);
void SetBarBorderColor(ControlView* bar, uint32_t rgb);

// The text of panel n (from 1). A missing status bar is ignored.
void SetStatusPanelText(StatusBarView* status, int16_t panel, std::string_view text);

// The file name without folder, cut before its first "."; "" for an empty
// path or a name without ".". Folders end at "\" or "/".
std::string FileBaseName(std::string_view path);

// The text after the last "\" or "/"; the whole path without one.
std::string GetFileNameFromPath(std::string_view path);

// Size in bytes; empty when the file cannot be read.
std::optional<int64_t> FileSize(const std::string& path);

}  // namespace bench
