#include "bench/reports/prog_bar.h"

#include <QGuiApplication>
#include <QLabel>
#include <QProgressBar>
#include <QScreen>
#include <QVBoxLayout>

#include <cmath>

namespace bench::reports {

ProgBar::ProgBar(QWidget* parent) : QWidget(parent, Qt::Window | Qt::WindowStaysOnTopHint) {
    setObjectName("ProgBar");
    setWindowTitle("Please wait....");
    label1_ = new QLabel("Generating excel report", this);
    label1_->setObjectName("Label1");
    bar_ = new QProgressBar(this);
    bar_->setObjectName("ProgressBar1");
    bar_->setRange(0, 100);
    bar_->setValue(0);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 16, 20, 16);
    layout->setSpacing(10);
    layout->addWidget(label1_);
    layout->addWidget(bar_);
    setMinimumWidth(360);
    adjustSize();
}

void ProgBar::Show() {
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        // In the middle of the screen, above whatever is open.
        const QRect area = screen->availableGeometry();
        move(area.center() - rect().center());
    }
    show();
    raise();
    repaint();
}

void ProgBar::Hide() { hide(); }

void ProgBar::SetMax(float max) { bar_->setMaximum(static_cast<int>(std::lround(max))); }

void ProgBar::SetValue(float value) {
    bar_->setValue(static_cast<int>(std::lround(value)));
    if (isVisible()) repaint();
}

int ProgBar::Max() const { return bar_->maximum(); }
int ProgBar::Value() const { return bar_->value(); }

}  // namespace bench::reports
