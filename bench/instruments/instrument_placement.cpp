#include "bench/instruments/instrument_placement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <algorithm>

namespace bench {

void PlaceOverMainWindow(QWidget* window, const QWidget* main_window, int down) {
    window->adjustSize();
    const QSize size = window->frameGeometry().size().expandedTo(window->size());
    QRect area(0, 0, 1600, 1000);
    if (const QScreen* screen = main_window ? main_window->screen() : QGuiApplication::primaryScreen())
        area = screen->availableGeometry();
    QPoint at = area.topLeft() + QPoint(area.width() - size.width() - 40, down);
    if (main_window) {
        const QRect m = main_window->frameGeometry();
        at = QPoint(m.right() - size.width() - 40, m.top() + down);
    }
    at.setX(std::clamp(at.x(), area.left(), std::max(area.left(), area.right() - size.width())));
    at.setY(std::clamp(at.y(), area.top(), std::max(area.top(), area.bottom() - size.height())));
    window->move(at);
}

}  // namespace bench
