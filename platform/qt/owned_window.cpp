#include "platform/qt/owned_window.h"

#include <QGuiApplication>
#include <QMargins>
#include <QScreen>
#include <QWidget>
#include <QWindow>

#include <algorithm>

#if QT_CONFIG(xcb)
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#endif

namespace platform {

void MakeOwnedWindow(QWidget& window) {
    // A dialog-type window gets its owner as transient parent; a plain
    // top-level window would sink behind the main window at its first click.
    window.setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
}

void RestateOwner(QWidget& window) {
#if QT_CONFIG(xcb)
    const QWidget* owner = window.parentWidget() ? window.parentWidget()->window() : nullptr;
    if (!owner || !window.isVisible() || !window.windowHandle() || !owner->windowHandle()) return;
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    Display* display = x11 ? x11->display() : nullptr;
    if (!display) return;  // not on X11 (offscreen, Wayland): nothing to tell
    // The same value written again: the manager reads it anew on the change.
    const ::Window owner_id = static_cast<::Window>(owner->winId());
    XChangeProperty(display, static_cast<::Window>(window.winId()), XA_WM_TRANSIENT_FOR, XA_WINDOW, 32,
                    PropModeReplace, reinterpret_cast<const unsigned char*>(&owner_id), 1);
    XFlush(display);
#else
    (void)window;
#endif
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
