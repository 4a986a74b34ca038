#pragma once
// What device code may do to its window: small views in place of the window's
// controls. Each view stores its state, so device code runs without widgets
// (tests, benchmarks); the window subclasses a view and draws each change in
// its widget from the Changed hook.
#include <cstdint>
#include <map>
#include <string>
#include <string_view>

namespace bench {

// A label, a text box or a shape of the window.
class ControlView {
public:
    enum class Property { Text, Visible, Top, Height, FillStyle, FillColor, BorderColor };
    virtual ~ControlView() = default;

    void SetText(std::string text) { text_ = std::move(text); Changed(Property::Text); }
    const std::string& Text() const { return text_; }
    void SetVisible(bool on) { visible_ = on; Changed(Property::Visible); }
    bool Visible() const { return visible_; }
    // Position and size in twips.
    void SetTop(int twips) { top_ = twips; Changed(Property::Top); }
    int Top() const { return top_; }
    void SetHeight(int twips) { height_ = twips; Changed(Property::Height); }
    int Height() const { return height_; }
    // 0 filled, 1 transparent.
    void SetFillStyle(int style) { fill_style_ = style; Changed(Property::FillStyle); }
    int FillStyle() const { return fill_style_; }
    // Colours as 0x00BBGGRR.
    void SetFillColor(uint32_t rgb) { fill_color_ = rgb; Changed(Property::FillColor); }
    uint32_t FillColor() const { return fill_color_; }
    void SetBorderColor(uint32_t rgb) { border_color_ = rgb; Changed(Property::BorderColor); }
    uint32_t BorderColor() const { return border_color_; }

protected:
    virtual void Changed(Property) {}

private:
    std::string text_;
    bool visible_ = true;
    int top_ = 0;
    int height_ = 0;
    int fill_style_ = 0;
    uint32_t fill_color_ = 0;
    uint32_t border_color_ = 0;
};

// The console's vertical scroll bar. Setting Value from code does not call
// the console's scroll routine; the caller does that (as the change event
// would), and the window calls it for the user's own scrolling.
class ScrollBarView {
public:
    virtual ~ScrollBarView() = default;
    void SetMin(int v) { min_ = v; Changed(); }
    void SetMax(int v) { max_ = v; Changed(); }
    int Min() const { return min_; }
    int Max() const { return max_; }
    void SetValue(int v) { value_ = v; Changed(); }
    int Value() const { return value_; }

protected:
    virtual void Changed() {}

private:
    int min_ = 0;
    int max_ = 0;
    int value_ = 0;
};

// A status bar of numbered panels (from 1).
class StatusBarView {
public:
    virtual ~StatusBarView() = default;
    void SetPanelText(int panel, std::string text) { panels_[panel] = std::move(text); Changed(panel); }
    std::string PanelText(int panel) const {
        auto it = panels_.find(panel);
        return it == panels_.end() ? std::string() : it->second;
    }

protected:
    virtual void Changed(int /*panel*/) {}

private:
    std::map<int, std::string> panels_;
};

// The device's event-message box: text appended, the caret kept at the end.
class OutputBoxView {
public:
    virtual ~OutputBoxView() = default;
    void Append(std::string_view text) { text_.append(text); Changed(text); }
    const std::string& Text() const { return text_; }
    void Clear() { text_.clear(); Changed({}); }

protected:
    // added is what was just appended ("" after Clear).
    virtual void Changed(std::string_view /*added*/) {}

private:
    std::string text_;
};

// The device's position window: a plot of the position error in metres
// around a fixed reference. Device code adds one point per epoch and redraws.
class PositionWindowView {
public:
    virtual ~PositionWindowView() = default;
    // One point: latitude and longitude in minutes of arc with their "N"/"S"
    // and "E"/"W"; only series 0 is used.
    virtual void PosAddToChart(double lat_minutes, const std::string& ns, double lon_minutes,
                               const std::string& ew, int16_t series) = 0;
    // Shows the points stored so far, the largest errors and the axes.
    virtual void PosUpdatePlot() = 0;
    // Screen position in twips.
    virtual void SetFormPosition(int16_t left, int16_t top) = 0;
    virtual void SetFormName(const std::string& caption) = 0;
    // Writes the plot's picture to the file; a failure is a BenchError.
    virtual void PosChartSave(const std::string& file) = 0;
};

}  // namespace bench
