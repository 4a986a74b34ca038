#include "bench/session/results_window.h"

#include "platform/core/codepage.h"
#include "platform/qt/owned_window.h"

#include <QFontMetrics>
#include <QHeaderView>
#include <QScrollBar>
#include <QTableWidget>
#include <QVBoxLayout>

namespace bench {

Results::Results(session::ResultsGrid& grid, QWidget* parent) : QWidget(parent, Qt::Window), grid_(grid) {
    setObjectName(QStringLiteral("Results"));
    platform::MakeOwnedWindow(*this);
    table_ = new QTableWidget(this);
    table_->setObjectName(QStringLiteral("MSFlexGrid1"));
    table_->setColumnCount(session::ResultsGrid::kColumns);
    table_->setHorizontalHeaderLabels({QString(), QStringLiteral("Device 1"), QStringLiteral("Device 2"),
                                       QStringLiteral("Device 3"), QStringLiteral("Device 4")});
    table_->verticalHeader()->setVisible(false);
    table_->verticalHeader()->setDefaultSectionSize(24);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // A value column holds a number of 15 significant digits whole, in the
    // bold of the statistics rows.
    QFont bold = table_->font();
    bold.setBold(true);
    const int value_width = QFontMetrics(bold).horizontalAdvance("-8888.88888888888") + 16;
    table_->setColumnWidth(0, 110);
    for (int c = 1; c < session::ResultsGrid::kColumns; ++c) table_->setColumnWidth(c, value_width);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addWidget(table_);
    const int scroll_bar = table_->verticalScrollBar()->sizeHint().width();
    resize(110 + 4 * value_width + scroll_bar + 2 * table_->frameWidth() + 12 + 2, 420);
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

void Results::Redraw() {
    const QString caption = QString::fromStdString(platform::Cp1252ToUtf8(grid_.Caption()));
    setWindowTitle(caption.isEmpty() ? QStringLiteral("Results") : caption);
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
