#include "platform/qt/owned_window.h"

#include <QMargins>
#include <QScreen>
#include <QWidget>
#include <QWindow>

#include <algorithm>

namespace platform {

void MakeOwnedWindow(QWidget& window) {
    // A dialog-type window gets its owner as transient parent; a plain
    // top-level window would sink behind the main window at its first click.
    window.setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
}

void KeepOnScreen(QWidget& window) {
    const QScreen* screen = window.screen();
    if (!screen) return;
    const QRect area = screen->availableGeometry();
    // Before the first show the window manager's frame is not known yet:
    // allow for a usual title bar and border.
    QMargins frame(4, 30, 4, 4);
    if (window.windowHandle() && window.isVisible()) {
        const QMargins known = window.windowHandle()->frameMargins();
        if (!known.isNull()) frame = known;
    }
    const int width = window.width() + frame.left() + frame.right();
    const int height = window.height() + frame.top() + frame.bottom();
    // A window's position is its frame's top-left corner: kept inside the
    // area (the left and top edges win when the window is larger).
    const int x = std::max(area.left(), std::min(window.x(), area.right() + 1 - width));
    const int y = std::max(area.top(), std::min(window.y(), area.bottom() + 1 - height));
    if (x != window.x() || y != window.y()) window.move(x, y);
}

}  // namespace platform
