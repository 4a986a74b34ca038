#include "bench/devices/statistics.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace bench {

int32_t MaxLong(int32_t a, int32_t b) { return b > a ? b : a; }
int32_t MinLong(int32_t a, int32_t b) { return b < a ? b : a; }

double RunningMean(double mean, int32_t value, int32_t n) {
    double dn = static_cast<double>(n);
    return ((dn - 1.0) / dn) * mean + static_cast<double>(value) / dn;
}

void SetBarLevel(ControlView* bar, int16_t level) {
    if (!bar) return;
    int held = std::clamp<int>(level, 0, 99);
    int bottom = bar->Top() + bar->Height();
    bar->SetVisible(false);
    bar->SetHeight(held * kBarTwipsPerLevel);
    bar->SetTop(bottom - bar->Height());
    bar->SetVisible(true);
}

void SetBarSolid(ControlView* bar) {
    if (bar) bar->SetFillStyle(0);
}
void SetBarHollow(ControlView* bar) {
    if (bar) bar->SetFillStyle(1);
}
void SetBarFillColor(ControlView* bar, uint32_t rgb) {
    if (bar) bar->SetFillColor(rgb);
}
void SetBarBorderColor(ControlView* bar, uint32_t rgb) {
    if (bar) bar->SetBorderColor(rgb);
}

void SetStatusPanelText(StatusBarView* status, int16_t panel, std::string_view text) {
    if (status) status->SetPanelText(panel, std::string(text));
}

std::string GetFileNameFromPath(std::string_view path) {
    size_t cut = path.find_last_of("\\/");
    return std::string(cut == std::string_view::npos ? path : path.substr(cut + 1));
}

std::string FileBaseName(std::string_view path) {
    if (path.empty()) return {};
    std::string name = GetFileNameFromPath(path);
    size_t dot = name.find('.');
    if (dot == std::string::npos) return {};
    return name.substr(0, dot);
}

std::optional<int64_t> FileSize(const std::string& path) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec) || ec) return std::nullopt;
    auto size = std::filesystem::file_size(path, ec);
    if (ec) return std::nullopt;
    return static_cast<int64_t>(size);
}

}  // namespace bench
