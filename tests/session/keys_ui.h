#pragma once
// A person at the keyboard: Tab from control to control, type, and answer a
// box that the program waits on with a key.
#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/ui/prompts.h"
#include "tests/support/keyboard.h"

namespace keys_test {

inline QString FocusName() {
    QWidget* w = QApplication::focusWidget();
    return w ? w->objectName() : QStringLiteral("(nothing)");
}

// Tab, as often as it takes, until the control named `name` has the focus
// (false when it never gets it).
inline bool TabTo(const QString& name, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    for (int i = 0; i < 300; ++i) {
        if (QWidget* w = QApplication::focusWidget(); w && w->objectName() == name) return true;
        const int key = modifiers & Qt::ShiftModifier ? Qt::Key_Backtab : Qt::Key_Tab;
        if (!test::PressKey(key, modifiers, QStringLiteral("\t"))) return false;
    }
    return false;
}

// Gives the window the focus, as a click on it does. (The offscreen
// platform, unlike a window manager, leaves a window shown again with its
// platform focus but without the widgets' active window: set as a window
// manager's activation sets it.)
inline void Focus(QWidget* window) {
    test::Activate(window);
    if (QApplication::activeWindow() != window) QApplication::setActiveWindow(window);
    test::Pump(20);
}

inline bool PressEnter() { return test::PressKey(Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r")); }

// Each character as its key (letters, digits, "." and "-").
inline void TypeText(const QString& text) {
    for (QChar c : text) {
        int key = 0;
        Qt::KeyboardModifiers mods = Qt::NoModifier;
        if (c.isLetter()) {
            key = Qt::Key_A + (c.toUpper().unicode() - 'A');
            if (c.isUpper()) mods = Qt::ShiftModifier;
        } else if (c.isDigit()) {
            key = Qt::Key_0 + (c.unicode() - '0');
        } else if (c == '.') {
            key = Qt::Key_Period;
        } else if (c == '-') {
            key = Qt::Key_Minus;
        }
        test::PressKey(key, mods, QString(c));
    }
}

// The focused box's text all selected and replaced, as Ctrl+A and typing do.
inline void Retype(const QString& text) {
    test::PressKey(Qt::Key_A, Qt::ControlModifier, QStringLiteral("\x01"));
    TypeText(text);
}

// Answers the next box the program waits on with `keys`, pressed in the
// box once it has the focus; the box's text is kept in `*text`. A box
// that never takes the focus is a failure, and is closed so that nothing
// hangs.
class BoxAnswer {
public:
    explicit BoxAnswer(std::vector<std::pair<int, QString>> keys) : keys_(std::move(keys)) {
        platform::Prompts::Instance().SetUnattended(false);
        timer_ = std::make_unique<QTimer>();
        timer_->setInterval(50);
        QObject::connect(timer_.get(), &QTimer::timeout, [this] { Poll(); });
        timer_->start();
    }
    ~BoxAnswer() { platform::Prompts::Instance().SetUnattended(true); }
    bool Answered() const { return answered_; }
    const QString& Text() const { return text_; }

private:
    void Poll() {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible()) return;
        if (++polls_ > 100) {  // five seconds without the focus
            timer_->stop();
            ADD_FAILURE() << "the box never took the focus";
            box->done(QMessageBox::Cancel);
            return;
        }
        if (QGuiApplication::focusWindow() != box->windowHandle()) return;
        timer_->stop();
        text_ = box->text();
        answered_ = true;
        test::Pump(50);
        for (const auto& [key, text] : keys_) test::PressKey(key, Qt::NoModifier, text);
        // Keys that leave it open fail, rather than hang.
        QTimer::singleShot(3000, box, [box = QPointer<QMessageBox>(box)] {
            if (!box || !box->isVisible()) return;
            ADD_FAILURE() << "the keys left the box open";
            box->done(QMessageBox::Cancel);
        });
    }
    std::vector<std::pair<int, QString>> keys_;
    std::unique_ptr<QTimer> timer_;
    int polls_ = 0;
    bool answered_ = false;
    QString text_;
};

// Answers the next dialog the program waits on (a file dialog, an input
// box) with `keys` once it has the focus; its title is kept in `*title`.
// One that never takes the focus is a failure, and is rejected so that
// nothing hangs.
class DialogAnswer {
public:
    explicit DialogAnswer(std::vector<std::pair<int, QString>> keys) : keys_(std::move(keys)) {
        platform::Prompts::Instance().SetUnattended(false);
        timer_ = std::make_unique<QTimer>();
        timer_->setInterval(50);
        QObject::connect(timer_.get(), &QTimer::timeout, [this] { Poll(); });
        timer_->start();
    }
    ~DialogAnswer() { platform::Prompts::Instance().SetUnattended(true); }
    bool Answered() const { return answered_; }
    const QString& Title() const { return title_; }

private:
    void Poll() {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible()) return;
        if (++polls_ > 100) {
            timer_->stop();
            ADD_FAILURE() << "the dialog never took the focus";
            dialog->reject();
            return;
        }
        if (QGuiApplication::focusWindow() != dialog->windowHandle()) return;
        timer_->stop();
        title_ = dialog->windowTitle();
        answered_ = true;
        test::Pump(50);
        for (const auto& [key, text] : keys_) test::PressKey(key, Qt::NoModifier, text);
        QTimer::singleShot(3000, dialog, [dialog = QPointer<QDialog>(dialog)] {
            if (!dialog || !dialog->isVisible()) return;
            ADD_FAILURE() << "the keys left the dialog open";
            dialog->reject();
        });
    }
    std::vector<std::pair<int, QString>> keys_;
    std::unique_ptr<QTimer> timer_;
    int polls_ = 0;
    bool answered_ = false;
    QString title_;
};

// The main window's menu entries by their letters: Alt and the menu's, then
// each entry's ("otl": Option > Testing Configuration > Load Config).
inline bool MenuKeys(const char* letters) {
    bool ok = true;
    for (const char* c = letters; *c && ok; ++c) {
        const int key = Qt::Key_A + (*c - 'a');
        ok = test::PressKey(key, c == letters ? Qt::AltModifier : Qt::NoModifier, QString(QChar(*c)));
    }
    return ok;
}

}  // namespace keys_test
