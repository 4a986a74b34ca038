#include "bench/session/results_window.h"

#include "platform/core/codepage.h"

#include <QFontMetrics>
#include <QHeaderView>
#include <QScrollBar>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace bench {

Results::Results(session::ResultsGrid& grid, QWidget* parent) : platform::BenchWindow(parent), grid_(grid) {
    setObjectName(QStringLiteral("Results"));
    // It opens at a session's first value: the keys stay with the window
    // the session was started from (where Stop is pressed).
    setAttribute(Qt::WA_ShowWithoutActivating);
    table_ = new QTableWidget(this);
    table_->setObjectName(QStringLiteral("MSFlexGrid1"));
    table_->setColumnCount(session::ResultsGrid::kColumns);
    table_->setHorizontalHeaderLabels({QString(), QStringLiteral("Device 1"), QStringLiteral("Device 2"),
                                       QStringLiteral("Device 3"), QStringLiteral("Device 4")});
    table_->verticalHeader()->setVisible(false);
    table_->verticalHeader()->setDefaultSectionSize(24);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // At its own size a value column holds a number of 15 significant
    // digits whole, in the bold of the statistics rows. The device columns
    // share the window's width: made narrower, it still shows every one,
    // down to a width that holds a time of 4 digits and 3 decimals.
    QFont bold = table_->font();
    bold.setBold(true);
    value_width_ = QFontMetrics(bold).horizontalAdvance("-8888.88888888888") + 16;
    least_value_width_ = QFontMetrics(bold).horizontalAdvance("-8888.888") + 16;
    table_->setColumnWidth(0, kLabelWidth);
    table_->horizontalHeader()->setMinimumSectionSize(std::min(least_value_width_, kLabelWidth));
    table_->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Fixed);
    for (int c = 1; c < session::ResultsGrid::kColumns; ++c) {
        table_->setColumnWidth(c, value_width_);
        table_->horizontalHeader()->setSectionResizeMode(c, QHeaderView::Stretch);
    }
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addWidget(table_);
    rest_ = table_->verticalScrollBar()->sizeHint().width() + 2 * table_->frameWidth() + 12 + 2;
    // The least that still reads: every device column, the statistics and
    // a few trials.
    least_height_ = table_->horizontalHeader()->sizeHint().height() + 9 * 24 + 2 * table_->frameWidth() + 12;
    own_ = QSize(kLabelWidth + 4 * value_width_ + rest_, 420);
    least_ = QSize(kLabelWidth + 4 * least_value_width_ + rest_, least_height_);
    resize(own_);
    // Whoever listened before the window existed (the main window, a
    // recorder) keeps hearing every change.
    before_ = grid_.changed;
    grid_.changed = [this] {
        if (before_) before_();
        Redraw();
    };
    Redraw();
}

Results::~Results() { grid_.changed = before_; }

void Results::ShowSlots(const std::array<bool, 4>& in_session) {
    slots_ = in_session;
    ShowColumns();
}

// The columns of the session's devices, and of any other that holds a
// value (a script may write one); all four when the session has none.
void Results::ShowColumns() {
    std::array<bool, 4> shown = slots_;
    for (int c = 1; c < session::ResultsGrid::kColumns; ++c)
        for (int r = 0; r < grid_.RowCount() && !shown[c - 1]; ++r) shown[c - 1] = !grid_.Cell(r, c).empty();
    if (std::none_of(shown.begin(), shown.end(), [](bool b) { return b; })) shown.fill(true);
    const int count = static_cast<int>(std::count(shown.begin(), shown.end(), true));
    bool changed = false;
    for (int c = 1; c < session::ResultsGrid::kColumns; ++c)
        if (table_->isColumnHidden(c) == shown[c - 1]) {
            table_->setColumnHidden(c, !shown[c - 1]);
            changed = true;
        }
    least_ = QSize(kLabelWidth + count * least_value_width_ + rest_, least_height_);
    own_ = QSize(kLabelWidth + count * value_width_ + rest_, own_.height());
    // Not yet on the screen: it opens at the width of its columns.
    if (changed && !isVisible()) resize(own_.width(), height());
}

void Results::Redraw() {
    const QString caption = QString::fromStdString(platform::Cp1252ToUtf8(grid_.Caption()));
    setWindowTitle(caption.isEmpty() ? QStringLiteral("Results") : caption);
    ShowColumns();
    if (table_->rowCount() != grid_.RowCount()) table_->setRowCount(grid_.RowCount());
    for (int r = 0; r < grid_.RowCount(); ++r) {
        for (int c = 0; c < session::ResultsGrid::kColumns; ++c) {
            const QString text = QString::fromStdString(platform::Cp1252ToUtf8(grid_.Shown(r, c)));
            QTableWidgetItem* item = table_->item(r, c);
            if (!item) {
                if (text.isEmpty()) continue;
                item = new QTableWidgetItem;
                if (c > 0) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
                if (r < 3) {  // the statistics rows stand out from the trials
                    QFont bold = item->font();
                    bold.setBold(true);
                    item->setFont(bold);
                }
                table_->setItem(r, c, item);
            }
            if (item->text() != text) item->setText(text);
        }
    }
}

}  // namespace bench
