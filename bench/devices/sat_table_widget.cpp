#include "bench/devices/sat_table_widget.h"

#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QToolTip>
#include <algorithm>

namespace bench {

namespace {

// Pixels of the drawing.
constexpr int kButtonWidth = 46;
constexpr int kGap = 4;
constexpr int kColumnWidth = 32;  // room for "86400"
constexpr int kRowHeight = 18;
constexpr int kBarArea = 128;          // room above the figure rows for the bars and their numbers
constexpr int kBarTwipsPerPixel = 20;  // a C/N0 of 50 (1700 twips) is 85 pixels high

// Figure rows from the top, with the row button beside each.
constexpr SatTableWidget::Row kFigureRows[11] = {
    SatTableWidget::SatId, SatTableWidget::CN0Ave, SatTableWidget::CN0Max, SatTableWidget::CN0Min,
    SatTableWidget::Tim,   SatTableWidget::T2U,    SatTableWidget::T2DE,   SatTableWidget::EPH,
    SatTableWidget::AZ,    SatTableWidget::EL,     SatTableWidget::TrackTimer};
constexpr const char* kButtonCaptions[11] = {"PRN", "Mean", "Max", "Min", "T2A", "T2U",
                                             "T2DE", "IODE", "AZ", "EL", "Time"};

QColor FromBgr(uint32_t bgr) { return QColor(bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF); }

}  // namespace

void SatTableWidget::CellView::Changed(Property) {
    // Many cells change per epoch: one repaint for all of them.
    if (owner && !owner->update_pending_) {
        owner->update_pending_ = true;
        owner->update();
    }
}

SatTableWidget::SatTableWidget(QWidget* parent) : QWidget(parent) {
    setObjectName("SatTable");
    QFont f = font();
    f.setPointSize(7);
    setFont(f);
    for (auto& row : cells_)
        for (auto& c : row) c.owner = this;
    // The design's layout in twips: cells 320 x 255 at L + 525 + 325 c, rows
    // 260 apart with SatId at T - 2600; above it the bars (15 high at rest,
    // growing upwards from their bottom edge) and above those the C/N0
    // numbers (285 high).
    for (int c = 0; c < kColumns; ++c) {
        for (int i = 0; i < 11; ++i) {
            ControlView& v = cells_[kFigureRows[i]][c];
            v.SetTop(kTop - 2600 + 260 * i);
            v.SetHeight(255);
        }
        const int id_top = kTop - 2600;
        cells_[SatBar][c].SetTop(id_top - 15);
        cells_[SatBar][c].SetHeight(15);
        cells_[SatBar][c].SetFillColor(0xFF0000);  // blue, as a cleared row
        cells_[SatBar][c].SetBorderColor(0xFF0000);
        cells_[Cn0][c].SetTop(id_top - 15 - 285);
        cells_[Cn0][c].SetHeight(285);
    }
    for (int i = 0; i < 11; ++i) {
        auto* b = new QPushButton(kButtonCaptions[i], this);
        b->setObjectName(QString("Command4_%1").arg(i));
        b->setFont(f);
        b->setFocusPolicy(Qt::NoFocus);
        buttons_[i] = b;
        connect(b, &QPushButton::clicked, this, [this, i] {
            if (on_button_) on_button_(i);
        });
    }
    const int top = kBarArea + 2;
    for (int i = 0; i < 11; ++i) buttons_[i]->setGeometry(0, top + i * kRowHeight, kButtonWidth, kRowHeight - 1);
    setMinimumSize(sizeHint());
}

SatTableWidget::~SatTableWidget() = default;

QSize SatTableWidget::sizeHint() const {
    return QSize(kButtonWidth + kGap + kColumns * kColumnWidth + 1, kBarArea + 2 + 11 * kRowHeight + 1);
}

int SatTableWidget::FigureLine(int row) {
    for (int i = 0; i < 11; ++i)
        if (kFigureRows[i] == row) return i;
    return -1;
}

int SatTableWidget::BarBase() const { return kBarArea; }

QRect SatTableWidget::CellRect(int row, int column) const {
    const int x = kButtonWidth + kGap + column * kColumnWidth;
    if (row == SatBar || row == Cn0) {
        // Twips above the top of the SatId row, scaled into the bar area;
        // a bar keeps its bottom edge and grows upwards with its level.
        const ControlView& v = cells_[row][column];
        const int id_top = kTop - 2600;
        const int bottom = BarBase() - (id_top - (v.Top() + v.Height())) / kBarTwipsPerPixel;
        const int h = std::max(row == SatBar ? 1 : 0, v.Height() / kBarTwipsPerPixel);
        const int top = std::clamp(bottom - h, 0, BarBase());
        return QRect(x + 2, top, kColumnWidth - 4, std::clamp(bottom, 0, BarBase()) - top);
    }
    const int line = FigureLine(row);
    return QRect(x, kBarArea + 2 + line * kRowHeight, kColumnWidth - 1, kRowHeight - 1);
}

void SatTableWidget::paintEvent(QPaintEvent*) {
    update_pending_ = false;
    QPainter p(this);
    p.fillRect(rect(), palette().window());
    for (int c = 0; c < kColumns; ++c) {
        const ControlView& bar = cells_[SatBar][c];
        if (bar.Visible()) {
            QRect r = CellRect(SatBar, c);
            p.setPen(FromBgr(bar.BorderColor()));
            if (bar.FillStyle() == 0)
                p.setBrush(FromBgr(bar.FillColor()));
            else
                p.setBrush(Qt::NoBrush);
            if (r.height() > 1)
                p.drawRect(r.adjusted(0, 0, -1, -1));
            else if (r.height() == 1)
                p.fillRect(r, FromBgr(bar.BorderColor()));
        }
        const ControlView& number = cells_[Cn0][c];
        if (number.Visible() && !number.Text().empty()) {
            QRect r = CellRect(Cn0, c).adjusted(-2, 0, 2, 0);
            p.setPen(palette().text().color());
            p.drawText(r, Qt::AlignHCenter | Qt::AlignBottom,
                       QString::fromLatin1(number.Text().data(), static_cast<int>(number.Text().size())));
        }
    }
    const QColor grid = palette().mid().color();
    p.setBrush(Qt::NoBrush);
    for (int i = 0; i < 11; ++i) {
        const int row = kFigureRows[i];
        for (int c = 0; c < kColumns; ++c) {
            const ControlView& v = cells_[row][c];
            QRect r = CellRect(row, c);
            p.fillRect(r, i == 0 ? palette().alternateBase() : palette().base());
            p.setPen(grid);
            p.drawRect(r.adjusted(0, 0, -1, -1));
            if (!v.Visible() || v.Text().empty()) continue;
            p.setPen(palette().text().color());
            p.drawText(r, Qt::AlignCenter, QString::fromLatin1(v.Text().data(), static_cast<int>(v.Text().size())));
        }
    }
}

bool SatTableWidget::CellAt(const QPoint& pt, int& row, int& column) const {
    for (int i = 0; i < 11; ++i)
        for (int c = 0; c < kColumns; ++c)
            if (CellRect(kFigureRows[i], c).contains(pt)) {
                row = kFigureRows[i];
                column = c;
                return true;
            }
    return false;
}

void SatTableWidget::mousePressEvent(QMouseEvent* e) {
    int row = 0, column = 0;
    if (CellAt(e->position().toPoint(), row, column)) {
        const std::string& t = cells_[row][column].Text();
        tips_[row][column] = QString::fromLatin1(t.data(), static_cast<int>(t.size()));
    }
    QWidget::mousePressEvent(e);
}

bool SatTableWidget::event(QEvent* e) {
    if (e->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(e);
        int row = 0, column = 0;
        if (CellAt(help->pos(), row, column) && !tips_[row][column].isEmpty())
            QToolTip::showText(help->globalPos(), tips_[row][column], this);
        else
            QToolTip::hideText();
        return true;
    }
    return QWidget::event(e);
}

}  // namespace bench
