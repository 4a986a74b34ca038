#pragma once
// Driving the session dialogs as a user would: find controls by object
// name, click them, type into them. Offscreen; prompts answer from the queue.
#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QWidget>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/ui/prompts.h"
#include "tests/support/qt_app.h"

namespace dialogs_test {

template <class T>
T* Find(QWidget* root, const QString& name) {
    T* w = root->findChild<T*>(name);
    if (!w) ADD_FAILURE() << "no control named " << name.toStdString();
    return w;
}

// A left click in the middle of the button, as the mouse gives it.
inline void Click(QWidget* root, const QString& name) {
    auto* b = Find<QAbstractButton>(root, name);
    if (!b) return;
    ASSERT_TRUE(b->isVisible() && b->isEnabled()) << name.toStdString() << " cannot be clicked";
    // Check boxes and options answer on their indicator, at the left.
    const bool indicator = b->inherits("QCheckBox") || b->inherits("QRadioButton");
    const QPointF at(indicator ? 8.0 : b->width() / 2.0, b->height() / 2.0);
    QMouseEvent press(QEvent::MouseButtonPress, at, b->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, at, b->mapToGlobal(at), Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(b, &press);
    QApplication::sendEvent(b, &release);
}

inline void DoubleClick(QWidget* w) {
    const QPointF at(w->width() / 2.0, w->height() / 2.0);
    QMouseEvent dbl(QEvent::MouseButtonDblClick, at, w->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w, &dbl);
}

// Replaces the box's text keystroke by keystroke.
inline void Type(QWidget* root, const QString& name, const QString& text) {
    auto* e = Find<QLineEdit>(root, name);
    if (!e) return;
    ASSERT_TRUE(e->isEnabled()) << name.toStdString() << " is disabled";
    e->setFocus();
    e->selectAll();
    QKeyEvent del(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier);
    QApplication::sendEvent(e, &del);
    for (QChar c : text) {
        QKeyEvent key(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(e, &key);
    }
}

inline void Choose(QWidget* root, const QString& name, const QString& item) {
    auto* c = Find<QComboBox>(root, name);
    if (!c) return;
    const int i = c->findText(item);
    ASSERT_GE(i, 0) << item.toStdString() << " not offered by " << name.toStdString();
    c->setCurrentIndex(i);
}

inline QString Text(QWidget* root, const QString& name) {
    auto* e = Find<QLineEdit>(root, name);
    return e ? e->text() : QString();
}

// Clicks a line of a list where it is drawn.
inline void ClickRow(QListWidget* list, int row) {
    list->scrollToItem(list->item(row));
    const QPointF at = list->visualItemRect(list->item(row)).center();
    QWidget* vp = list->viewport();
    QMouseEvent press(QEvent::MouseButtonPress, at, vp->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, at, vp->mapToGlobal(at), Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(vp, &press);
    QApplication::sendEvent(vp, &release);
}

inline std::vector<std::string> Lines(QListWidget* list) {
    std::vector<std::string> out;
    for (int i = 0; i < list->count(); ++i) out.push_back(list->item(i)->text().toStdString());
    return out;
}

// Questions and warnings asked since the last call, as "title: text".
inline std::vector<std::string> TakeAsked() {
    auto& p = platform::Prompts::Instance();
    std::vector<std::string> out = p.Asked();
    p.ClearAsked();
    return out;
}

inline bool AnyStartsWith(const std::vector<std::string>& v, const std::string& prefix) {
    return std::any_of(v.begin(), v.end(), [&](const std::string& s) { return s.rfind(prefix, 0) == 0; });
}

inline void ResetPrompts() {
    test::EnsureApp();
    auto& p = platform::Prompts::Instance();
    p.ClearQueue();
    p.ClearAsked();
    p.ForgetFolders();
}

}  // namespace dialogs_test
