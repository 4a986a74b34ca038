// Where the main window opens the windows it shows: device windows in the
// workspace, live and replayed, and the session's windows on the screen.
#include <QAbstractButton>
#include <QGuiApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QRegion>
#include <QScreen>
#include <QStyle>

#include <algorithm>
#include <array>
#include <cstdint>
#include <iterator>
#include <optional>
#include <string_view>
#include <tuple>
#include <vector>

#include "bench/instruments/command_panel_window.h"
#include "bench/instruments/replay_window.h"
#include "bench/session/benchtop.h"
#include "bench/session/results_window.h"
#include "platform/qt/owned_window.h"

namespace bench {

namespace {

// Of a title bar left uncovered: its icon and the start of its caption.
constexpr int kTitleReach = 40;

int64_t Area(const QRect& r) { return r.isEmpty() ? 0 : int64_t{r.width()} * r.height(); }

// How much of `parts` (rectangles that do not overlap) `r` covers.
int64_t Covered(const std::vector<QRect>& parts, const QRect& r) {
    int64_t sum = 0;
    for (const QRect& p : parts) sum += Area(p.intersected(r));
    return sum;
}

// Whether a title bar (the parts of it in view) can still be grabbed beside
// `r`: a part it leaves, or a piece of kTitleReach beside it (at the right
// end, past the title bar's three buttons).
bool InReach(const std::vector<QRect>& bar, const QRect& r) {
    for (const QRect& p : bar) {
        if (!r.intersects(p)) return true;
        if (r.left() - p.left() >= kTitleReach || p.right() - r.right() >= kTitleReach + 3 * p.height()) return true;
    }
    return false;
}

}  // namespace

// A rectangle moved, and shrunk if it must be, to lie wholly inside view.
QRect Benchtop::FittedInto(const QRect& view, QRect at) {
    at.setSize(at.size().boundedTo(view.size()));
    at.moveLeft(std::clamp(at.left(), view.left(), view.right() + 1 - at.width()));
    at.moveTop(std::clamp(at.top(), view.top(), view.bottom() + 1 - at.height()));
    return at;
}


void Benchtop::PlaceInView(QMdiSubWindow* sub, bool alongTop) {
    if (!sub) return;
    const QRect view = mdi_->viewport()->rect();
    QRect others;
    int count = 0;
    int leftmost = view.left();  // the rightmost left edge of the others
    for (QMdiSubWindow* other : mdi_->subWindowList()) {
        if (other == sub || !other->isVisible()) continue;
        others |= other->geometry();
        leftmost = std::max(leftmost, other->x());
        ++count;
    }
    QRect at(QPoint(0, 0), sub->size());
    if (count > 0) at.moveTopLeft(QPoint(others.right() + 1, 0));
    if (count > 0 && !view.contains(at)) {
        // No room beside the others. The least room in which every panel of
        // the new window shows whole (its console gives up lines first):
        const QSize frame = sub->size() - (sub->widget() ? sub->widget()->size() : QSize());
        const QSize least = (sub->widget() ? sub->widget()->minimumSizeHint() : QSize()) + frame;
        // Along the top at the right, when that leaves a good part of the
        // others in view (a wide screen's free width is used first) ...
        // (as narrow as its panels allow, for more of the others in view)
        const int width = std::min(std::max(least.width(), sub->width() * 3 / 4),
                                   std::min(sub->width(), view.right() + 1 - leftmost - kTitleReach));
        const QRect along(QPoint(view.right() + 1 - width, 0), QSize(width, std::min(sub->height(), view.height())));
        const bool alongFits = alongTop && width >= least.width();
        // ... else one title bar lower and further right than the last, so
        // every title bar stays whole in view ...
        const int step = sub->style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, sub) + 8;
        const QRect cascade = QRect(QPoint(step * count, step * count), sub->size()).intersected(view);
        const bool cascadeFits = cascade.width() >= least.width() && cascade.height() >= least.height();
        if (alongFits && along.left() - leftmost >= sub->width() / 4) {
            at = along;
        } else if (cascadeFits) {
            at = cascade;
        } else if (alongFits) {
            at = along;  // only the start of the title bars below stays in view
        } else {
            at.moveTopLeft(QPoint(step * count, step * count));
            // Kept there, a little smaller if it must be (its content then
            // scrolls), rather than pushed back over the others' title bars.
            if (view.contains(at.topLeft() + QPoint(view.width() / 2, view.height() / 2)))
                at = at.intersected(view);
        }
    }
    sub->setGeometry(FittedInto(view, at));
}

// Where a window of the session (the results grid, the replay's controls,
// the command panel) covers no device window's satellite table or position
// panel (nor the main window's menus) when the screen has room for it; else
// over the console of the device window on top, the part a session needs
// least; else smaller, where it covers least. Each way it keeps clear of the
// other session windows already open where it can, their buttons first, so
// that none of them buries another.
void Benchtop::PlaceClearOfTables(QWidget& window) {
    QScreen* screen = QGuiApplication::primaryScreen();
    const QRect area = screen ? screen->availableGeometry() : QRect(QPoint(0, 0), window.size());
    std::vector<QRect> keep_clear;
    for (int s = 0; s < DeviceSlots; ++s)
        for (QWidget* w : {nmea_widgets_[s], debug_widgets_[s]}) {
            if (!w || !w->isVisible()) continue;
            for (const char* name : {"SatTable", "DataPanel"})
                if (auto* panel = w->findChild<QWidget*>(name); panel && panel->isVisible())
                    keep_clear.emplace_back(panel->mapToGlobal(QPoint(0, 0)), panel->size());
        }
    // Never over the main window's menus, which start and stop the session.
    std::vector<QRect> menus;
    if (QWidget* bar = menuWidget(); bar && bar->isVisible()) menus.emplace_back(bar->mapToGlobal(QPoint(0, 0)), bar->size());
    // The other session windows open, and the controls on them.
    std::vector<QRect> session_windows, controls;
    for (QWidget* other : {static_cast<QWidget*>(results_.data()), static_cast<QWidget*>(findChild<ReplayWindow*>()),
                           static_cast<QWidget*>(script_panel_ ? script_panel_->Window() : nullptr)}) {
        if (!other || other == &window || !other->isVisible()) continue;
        session_windows.push_back(other->frameGeometry());
        for (QAbstractButton* button : other->findChildren<QAbstractButton*>())
            if (button->isVisible()) controls.emplace_back(button->mapToGlobal(QPoint(0, 0)), button->size());
    }
    // The window manager's frame, before the window has one.
    const int title = window.style()->pixelMetric(QStyle::PM_TitleBarHeight) + 8;
    const QSize frame(8, title);
    auto covered = [](const std::vector<QRect>& parts, const QRect& r) {
        int64_t sum = 0;
        for (const QRect& p : parts) sum += Area(p.intersected(r));
        return sum;
    };
    // What a place hides, by weight: the menus, the tables and panels, the
    // other session windows' controls, the rest of those windows. The first
    // place tried wins a tie.
    using Cost = std::tuple<int64_t, int64_t, int64_t, int64_t>;
    std::optional<Cost> best;
    QRect chosen;
    auto consider = [&](const QRect& r) {
        const Cost c{covered(menus, r), covered(keep_clear, r), covered(controls, r), covered(session_windows, r)};
        if (!best || c < *best) {
            best = c;
            chosen = r;
        }
    };
    // Each place from `from` towards `to` in steps of 10, both ends included.
    auto steps = [](int from, int to) {
        std::vector<int> at;
        for (int v = from; from >= to ? v > to : v < to; v += from >= to ? -10 : 10) at.push_back(v);
        at.push_back(to);
        return at;
    };
    auto scan = [&](const QSize& size) {
        if (size.width() > area.width() || size.height() > area.height()) return;
        for (int y : steps(area.bottom() + 1 - size.height(), area.top()))
            for (int x : steps(area.right() + 1 - size.width(), area.left())) consider(QRect(QPoint(x, y), size));
    };
    // At its own size where it covers no table (from the bottom right) ...
    const QSize own = window.size();
    if (const QSize framed = own + frame; framed.width() <= area.width() && framed.height() <= area.height())
        for (int y : steps(area.bottom() + 1 - framed.height(), area.top()))
            for (int x : steps(area.right() + 1 - framed.width(), area.left()))
                if (const QRect r(QPoint(x, y), framed); covered(menus, r) + covered(keep_clear, r) == 0) consider(r);
    if (best && *best == Cost{}) {
        window.move(chosen.topLeft());
        platform::KeepOnScreen(window);
        return;
    }
    // ... else over the console of the device window on top of the others,
    // at its right end and top when that is free ...
    QWidget* front = nullptr;
    for (QMdiSubWindow* sub : mdi_->subWindowList(QMdiArea::StackingOrder))
        if (sub->isVisible() && !sub->isMinimized() && ops_of_.count(sub->widget())) front = sub->widget();
    const QSize least = window.minimumSizeHint().expandedTo(QSize(360, 200)).boundedTo(own);
    if (QWidget* console = front ? front->findChild<QWidget*>("Frame2") : nullptr; console && console->isVisible()) {
        // The console and, when it is narrow, the port buttons beside it:
        // the part of the window a running session needs least.
        QRect room(console->mapToGlobal(QPoint(0, 0)), console->size());
        if (QWidget* buttons = front->findChild<QWidget*>("Frame1"); buttons && buttons->isVisible())
            room |= QRect(buttons->mapToGlobal(QPoint(0, 0)), buttons->size());
        const QSize size =
            own.boundedTo(room.size().expandedTo(QSize(360, 200)) - frame).expandedTo(window.minimumSizeHint()) + frame;
        // Taller than the console: from its top, down over as little as can be.
        const QRect over = room.united(QRect(room.topLeft(), size)).intersected(area);
        for (int y : steps(over.top(), std::max(over.top(), over.bottom() + 1 - size.height())))
            for (int x : steps(std::max(over.left(), over.right() + 1 - size.width()), over.left()))
                consider(QRect(QPoint(x, y), size));
    }
    // ... else smaller, anywhere, down to the least in which it still reads.
    if (!best || *best != Cost{})
        for (int k = 1; k <= 3; ++k)
            scan(own - (own - least) * k / 3 + frame);
    if (best) {
        window.resize(chosen.size() - frame);
        window.move(chosen.topLeft());
    } else {
        const QRect work(mdi_->mapToGlobal(QPoint(0, 0)), mdi_->size());
        window.move(work.right() - window.width() - 20, work.bottom() - window.height() - 60);
    }
    platform::KeepOnScreen(window);
}


// A replay window leaves in view what the live device windows are read by:
// their satellite tables and position panels, where no live window hides
// them already. It takes free room at its own size first and, short of
// room, gives up console lines and characters, down to the fewest a live
// window keeps. Where no place leaves both in view it sits over the live
// consoles, clear of the tables if it can, else over as little of them as
// it can. The start of every title bar (live or replay) stays uncovered, so
// each window can still be grabbed, and the live title bars whole if they
// can; the other replay windows' tables and panels too, when there is room.
void Benchtop::PlaceReplayInView(QMdiSubWindow* sub) {
    if (!sub || !sub->widget()) return;
    const QRect view = mdi_->viewport()->rect();
    std::vector<std::vector<QRect>> live_bars, replay_bars;
    std::vector<QRect> titles, tables, panels, replay_titles, replay_parts;
    const QList<QMdiSubWindow*> stack = mdi_->subWindowList(QMdiArea::StackingOrder);  // bottom first
    auto shown = [&](QMdiSubWindow* w) { return w != sub && w->isVisible() && !w->isMinimized() && w->widget(); };
    for (qsizetype i = 0; i < stack.size(); ++i) {
        QMdiSubWindow* other = stack[i];
        if (!shown(other)) continue;
        const bool live = ops_of_.count(other->widget()) > 0;
        QRegion in_view = QRegion(other->geometry()).intersected(view);
        for (qsizetype j = i + 1; j < stack.size(); ++j)
            if (shown(stack[j])) in_view -= stack[j]->geometry();
        auto add = [&](std::vector<QRect>& into, const QRect& r) {
            for (const QRect& part : in_view.intersected(r)) into.push_back(part);
        };
        const QRect geo = other->geometry();
        const QRect bar(geo.topLeft(), QSize(geo.width(), other->widget()->y()));
        std::vector<QRect>& bars = (live ? live_bars : replay_bars).emplace_back();
        add(bars, bar);
        if (bars.empty()) (live ? live_bars : replay_bars).pop_back();  // hidden already
        add(live ? titles : replay_titles, bar);
        for (const char* name : {"SatTable", "DataPanel"})
            if (auto* part = other->widget()->findChild<QWidget*>(name); part && part->isVisible()) {
                const QRect r(part->mapTo(mdi_->viewport(), QPoint(0, 0)), part->size());
                add(!live ? replay_parts : std::string_view(name) == "SatTable" ? tables : panels, r);
            }
    }

    // Sizes from its own down to the least in which every panel shows whole.
    const QSize frame = sub->size() - sub->widget()->size();
    const QSize full = sub->size().boundedTo(view.size());
    const QSize least = (sub->widget()->minimumSizeHint() + frame).boundedTo(full);
    constexpr int kSteps = 3;
    std::vector<QSize> sizes;
    for (int i = 0; i <= kSteps; ++i)
        for (int j = 0; j <= kSteps; ++j)
            sizes.emplace_back(full.width() - (full.width() - least.width()) * i / kSteps,
                               full.height() - (full.height() - least.height()) * j / kSteps);
    std::stable_sort(sizes.begin(), sizes.end(),
                     [](const QSize& a, const QSize& b) { return Area(QRect(QPoint(), a)) > Area(QRect(QPoint(), b)); });

    // What it covers, in this order of weight: title bars out of reach
    // (live, then replay), then the areas of the live title bars, tables and
    // panels and of the replay title bars, tables and panels; then the
    // larger size, the higher and the further left place.
    const std::vector<QRect>* areas[] = {&titles, &tables, &panels, &replay_titles, &replay_parts};
    using Cost = std::tuple<int, int, std::array<int64_t, std::size(areas)>, size_t, int, int>;
    auto out_of_reach = [](const std::vector<std::vector<QRect>>& bars, const QRect& r) {
        return static_cast<int>(std::count_if(bars.begin(), bars.end(), [&](const auto& b) { return !InReach(b, r); }));
    };
    std::optional<Cost> best;
    QRect chosen;
    for (size_t k = 0; k < sizes.size(); ++k) {
        const QSize s = sizes[k];
        // Where the coverage can change: against the view's and each part's edges.
        std::vector<int> xs{view.left(), view.right() + 1 - s.width()}, ys{view.top(), view.bottom() + 1 - s.height()};
        for (const auto* parts : areas)
            for (const QRect& r : *parts) {
                for (int x : {r.left() - s.width(), r.left(), r.right() + 1, r.right() + 1 - s.width(),
                              r.left() + kTitleReach, r.right() + 1 - kTitleReach - 3 * r.height() - s.width()})
                    xs.push_back(x);
                for (int y : {r.top() - s.height(), r.top(), r.bottom() + 1, r.bottom() + 1 - s.height()})
                    ys.push_back(y);
            }
        for (auto* v : {&xs, &ys}) {
            std::sort(v->begin(), v->end());
            v->erase(std::unique(v->begin(), v->end()), v->end());
        }
        for (int y : ys) {
            if (y < view.top() || y + s.height() > view.bottom() + 1) continue;
            for (int x : xs) {
                if (x < view.left() || x + s.width() > view.right() + 1) continue;
                const QRect r(QPoint(x, y), s);
                Cost c{out_of_reach(live_bars, r), out_of_reach(replay_bars, r), {}, k, y, x};
                for (size_t w = 0; w < std::size(areas); ++w) std::get<2>(c)[w] = Covered(*areas[w], r);
                if (!best || c < *best) {
                    best = c;
                    chosen = r;
                }
            }
        }
    }
    if (!best || std::get<0>(*best) > 0) {
        // No place leaves every live title bar in reach: cascaded as ever.
        PlaceInView(sub, false);
        return;
    }
    sub->setGeometry(chosen);
}

}  // namespace bench
