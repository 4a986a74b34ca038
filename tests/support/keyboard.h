#pragma once
// Keys as the keyboard gives them: through the platform's input path to the
// window that has the focus, so shortcuts, mnemonics and default buttons
// act as they do for a person.
#include <QGuiApplication>
#include <QString>
#include <QWidget>
#include <QWindow>

#include "tests/support/qt_app.h"

// Qt's own entry for synthetic platform key events (the one its test
// library uses).
Q_GUI_EXPORT void qt_handleKeyEvent(QWindow* window, QEvent::Type type, int key, Qt::KeyboardModifiers modifiers,
                                    const QString& text, bool autorep, ushort count);

namespace test {

// Presses and releases the key in the window with the focus (false when no
// window has it).
inline bool PressKey(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier, const QString& text = QString()) {
    QWindow* w = QGuiApplication::focusWindow();
    if (!w) return false;
    qt_handleKeyEvent(w, QEvent::KeyPress, key, modifiers, text, false, 1);
    if (QGuiApplication::focusWindow()) qt_handleKeyEvent(QGuiApplication::focusWindow(), QEvent::KeyRelease, key,
                                                          modifiers, text, false, 1);
    Pump(20);
    return true;
}

// Gives the window the focus, as a click on it does.
inline void Activate(QWidget* window) {
    window->activateWindow();
    window->raise();
    WaitFor([&] { return QGuiApplication::focusWindow() == window->windowHandle(); }, 1000);
    Pump(20);
}

}  // namespace test
