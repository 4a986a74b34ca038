#pragma once
// What the windows over the main window's workspace must leave in view,
// read from the real windows: the device windows' tables and position
// panels where no other device window covers them, and every title bar
// where it can be grabbed.
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QRegion>
#include <QStyle>
#include <QWidget>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "bench/session/benchtop.h"

namespace placement_test {

inline QRect Global(QWidget* w) { return QRect(w->mapToGlobal(QPoint(0, 0)), w->size()); }

// The parts of the tables and position panels of every device window that
// no other device window covers, in screen coordinates.
inline std::vector<std::pair<std::string, QRect>> AllTablesInView(bench::Benchtop& top) {
    std::vector<std::pair<std::string, QRect>> parts;
    const QList<QMdiSubWindow*> stack = top.Workspace()->subWindowList(QMdiArea::StackingOrder);
    for (qsizetype i = 0; i < stack.size(); ++i) {
        QWidget* w = stack[i]->widget();
        for (const char* name : {"SatTable", "DataPanel"}) {
            QWidget* part = w->findChild<QWidget*>(name);
            QRegion seen(QRect(part->mapToGlobal(QPoint(0, 0)), part->size()));
            for (qsizetype j = i + 1; j < stack.size(); ++j)
                seen -= QRect(stack[j]->mapToGlobal(QPoint(0, 0)), stack[j]->size());
            for (const QRect& r : seen) parts.emplace_back(w->windowTitle().toStdString() + " " + name, r);
        }
    }
    return parts;
}

// Every title bar, of the device windows and of `windows` (opened in this
// order over the main window), keeps the start of its caption, or a piece
// past its buttons, uncovered. (A device window that another one covers is
// reached from the Window menu.)
inline void ExpectEveryTitleBarInReach(bench::Benchtop& top, const std::vector<QWidget*>& windows) {
    struct Bar {
        std::string name;
        QRegion left, right;
    };
    auto whole = [](const QRegion& r) { return r.rectCount() == 1 && r.boundingRect().width() == 40; };
    auto bar = [](const std::string& name, const QRect& r) {
        return Bar{name, QRegion(QRect(r.topLeft(), QSize(40, r.height()))),
                   QRegion(QRect(QPoint(r.right() + 1 - 40 - 3 * r.height(), r.top()), QSize(40, r.height())))};
    };
    std::vector<Bar> bars;
    const QList<QMdiSubWindow*> stack = top.Workspace()->subWindowList(QMdiArea::StackingOrder);
    for (qsizetype i = 0; i < stack.size(); ++i) {
        const QRect g(stack[i]->mapToGlobal(QPoint(0, 0)), QSize(stack[i]->width(), stack[i]->widget()->y()));
        Bar b = bar(stack[i]->windowTitle().toStdString(), g);
        for (qsizetype j = i + 1; j < stack.size(); ++j) {
            const QRect above(stack[j]->mapToGlobal(QPoint(0, 0)), stack[j]->size());
            b.left -= above;
            b.right -= above;
        }
        if (!whole(b.left) && !whole(b.right)) continue;
        for (QWidget* w : windows) {
            b.left -= w->frameGeometry();
            b.right -= w->frameGeometry();
        }
        bars.push_back(b);
    }
    for (size_t i = 0; i < windows.size(); ++i) {
        const QRect f = windows[i]->frameGeometry();
        // The window manager's title bar (offscreen, without one: the height
        // a title bar of the style takes).
        const int h = std::max(windows[i]->geometry().top() - f.top(),
                               windows[i]->style()->pixelMetric(QStyle::PM_TitleBarHeight) + 8);
        Bar b = bar(windows[i]->windowTitle().toStdString(), QRect(f.topLeft(), QSize(f.width(), h)));
        for (size_t j = i + 1; j < windows.size(); ++j) {
            b.left -= windows[j]->frameGeometry();
            b.right -= windows[j]->frameGeometry();
        }
        bars.push_back(b);
    }
    for (const Bar& b : bars) {
        EXPECT_TRUE(whole(b.left) || whole(b.right)) << b.name << ": title bar out of reach at "
                                                      << b.left.boundingRect().x() << "," << b.left.boundingRect().y();
    }
}

}  // namespace placement_test
