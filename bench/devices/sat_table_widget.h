#pragma once
// The satellite table of a device window: 32 columns of signal bars above
// eleven rows of figures (PRN, C/N0 mean, maximum and minimum, T2A, T2U, T2DE,
// IODE, azimuth, elevation, tracked time), with the row buttons Command4_0 to
// Command4_10 at the left. Device code fills the cells through ControlViews
// (text for the figures; top, height, visibility and colours for the bars);
// the widget paints them, which keeps 400-odd cells cheap to redraw. Pressing
// a cell copies its text into its tool tip.
#include "bench/devices/device_view.h"

#include <QString>
#include <QWidget>
#include <array>
#include <functional>

class QPushButton;

namespace bench {

class SatTableWidget : public QWidget {
    Q_OBJECT
public:
    // Rows in the order of the device record's cell arrays.
    enum Row { SatBar, Cn0, SatId, CN0Max, CN0Min, CN0Ave, Tim, T2U, T2DE, EPH, AZ, EL, TrackTimer, RowCount };
    static constexpr int kColumns = 32;

    // Layout in twips from the table's left edge and the top of its lowest row.
    static constexpr int kLeft = 10;
    static constexpr int kTop = 5000;

    explicit SatTableWidget(QWidget* parent = nullptr);
    ~SatTableWidget() override;

    ControlView& Cell(int row, int column) { return cells_[row][column]; }
    const QString& CellTip(int row, int column) const { return tips_[row][column]; }
    // Where a cell of a figure row (SatId..TrackTimer) or a bar is drawn.
    QRect CellRect(int row, int column) const;
    QPushButton* RowButton(int index) const { return buttons_[index]; }

    // Runs with the row button's index when one is clicked.
    void SetRowButtonHandler(std::function<void(int)> handler) { on_button_ = std::move(handler); }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent* e) override;
    bool event(QEvent* e) override;

private:
    class CellView : public ControlView {
    public:
        SatTableWidget* owner = nullptr;

    protected:
        void Changed(Property) override;
    };
    // Row from the top of the figure block: SatId first, TrackTimer last.
    static int FigureLine(int row);
    bool CellAt(const QPoint& p, int& row, int& column) const;
    int BarBase() const;

    std::array<std::array<CellView, kColumns>, RowCount> cells_;
    std::array<std::array<QString, kColumns>, RowCount> tips_;
    std::array<QPushButton*, 11> buttons_{};
    std::function<void(int)> on_button_;
    bool update_pending_ = false;
};

}  // namespace bench
