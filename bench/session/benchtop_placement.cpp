// Where the main window opens the windows it shows: device windows in the
// workspace, live and replayed, and the session's windows on the screen.
#include <QAbstractButton>
#include <QApplication>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QRegion>
#include <QScreen>
#include <QStyle>
#include <QTimer>
#include <QVariant>

#include <algorithm>
#include <array>
#include <functional>
#include <cstdint>
#include <iterator>
#include <optional>
#include <string_view>
#include <tuple>
#include <vector>

#include "bench/instruments/command_panel_window.h"
#include "bench/instruments/replay_window.h"
#include "bench/instruments/sim_window.h"
#include "bench/session/benchtop.h"
#include "bench/session/results_window.h"
#include "platform/qt/owned_window.h"

namespace bench {

namespace {

// Of a title bar left uncovered: its icon and the start of its caption.
constexpr int kTitleReach = 40;

// What the engineer reads while a session runs: a device window's
// position panel and the results grid first, then the satellite tables.
constexpr const char* kReadFirst[] = {"DataPanel", "MSFlexGrid1"};
constexpr const char* kTables[] = {"SatTable"};

// A window's own size, kept while it is made smaller to find a place.
constexpr const char* kNaturalSize = "fixbenchNaturalSize";
constexpr const char* kRoomWatched = "fixbenchRoomWatched";
constexpr const char* kRaised = "fixbenchRaised";

int64_t Area(const QRect& r) { return r.isEmpty() ? 0 : int64_t{r.width()} * r.height(); }

// How much of `parts` (rectangles that do not overlap) `r` covers.
int64_t Covered(const std::vector<QRect>& parts, const QRect& r) {
    int64_t sum = 0;
    for (const QRect& p : parts) sum += Area(p.intersected(r));
    return sum;
}

// Where a title bar is grabbed: the start of its caption, or the piece of
// it past the caption just before its three buttons. Those of `bar` that
// lie wholly in `shown` (what is in view of it); with `strips`, also a
// strip that `shown` leaves across a piece's whole width (the lip a
// workspace window a few pixels below it leaves), as that strip.
std::vector<QRect> ReachPieces(const QRect& bar, const QRegion& shown, bool strips = false) {
    const int h = bar.height();
    std::vector<QRect> pieces;
    for (const QRect& piece : {QRect(bar.topLeft(), QSize(kTitleReach, h)),
                               QRect(QPoint(bar.right() + 1 - kTitleReach - 3 * h, bar.top()), QSize(kTitleReach, h))}) {
        const QRegion left = QRegion(piece) & shown;
        if (left == QRegion(piece) ||
            (strips && left.rectCount() == 1 && left.boundingRect().width() == kTitleReach))
            pieces.push_back(left.boundingRect());
    }
    return pieces;
}

// Whether a title bar can still be grabbed beside `r` (one of its pieces
// left uncovered).
bool InReach(const std::vector<QRect>& pieces, const QRect& r) {
    return std::any_of(pieces.begin(), pieces.end(), [&](const QRect& p) { return !r.intersects(p); });
}

}  // namespace

void Benchtop::PlaceSetUpWindow(QMdiSubWindow* sub, int index, int planned) {
    if (!sub || !sub->widget()) return;
    const QRect view = mdi_->viewport()->rect();
    const QSize frame = sub->size() - sub->widget()->size();
    const QSize least = sub->widget()->minimumSizeHint() + frame;
    const int step = sub->style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, sub) + 8;
    const int last = std::max(planned - 1, 0) * step;
    if (planned < 2 || (last + least.height() <= view.height() && last + least.width() <= view.width())) {
        PlaceInView(sub);
        return;
    }
    // The room left beside and below the least size, shared out: columns
    // kTitleReach or more apart (each leaves the start of the title bar of
    // the one before it), rows a title bar or more apart (each leaves the
    // title bars of the row above whole). Left to right, then the next row.
    const QSize slack = (view.size() - least).expandedTo(QSize(0, 0));
    const int most_columns = slack.width() / kTitleReach + 1;
    const int most_rows = slack.height() / step + 1;
    const int columns = std::clamp((planned + most_rows - 1) / most_rows, 1, most_columns);
    const int rows = std::clamp((planned + columns - 1) / columns, 1, most_rows);
    const int dx = columns > 1 ? slack.width() / (columns - 1) : 0;
    const int dy = rows > 1 ? std::min(slack.height() / (rows - 1), step) : 0;
    // More windows than places: the first ones share the top left place, so
    // each later window (in front of the earlier ones) lies lower or further
    // right and hides the title bars of those first ones only, never one
    // between (a hidden one is reached from the Window menu).
    const int places = columns * rows;
    const int extra = std::max(planned - places, 0);
    const int k = index < extra ? 0 : (index - extra) % places;
    const QPoint at((k % columns) * dx, (k / columns) * dy);
    sub->setGeometry(FittedInto(view, QRect(at, sub->size().boundedTo(view.size() - QSize(at.x(), at.y())))));
}

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

namespace {

// Tells when the watched window is hidden or closed, and marks it with
// the order in which the windows came to the front (the latest is on top).
class WindowWatcher : public QObject {
public:
    WindowWatcher(QObject* parent, std::function<void()> hidden) : QObject(parent), hidden_(std::move(hidden)) {}
    bool eventFilter(QObject* watched, QEvent* event) override {
        static qlonglong raised = 0;
        if (event->type() == QEvent::Show || event->type() == QEvent::WindowActivate)
            watched->setProperty(kRaised, ++raised);
        if (event->type() == QEvent::Hide && hidden_) hidden_();
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> hidden_;
};

// The frame a window manager adds, before the window has one.
QSize FrameOf(const QWidget& window) {
    return {8, window.style()->pixelMetric(QStyle::PM_TitleBarHeight) + 8};
}

// Windows just shown lay their panels out on the next turn of the event
// loop: they are laid out now, where they will be read.
void LayOutPending() { QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest); }

}  // namespace

std::vector<QWidget*> Benchtop::SessionWindows() const {
    std::vector<QWidget*> out;
    for (platform::BenchWindow* w : findChildren<platform::BenchWindow*>())
        if (w->isWindow()) out.push_back(w);
    return out;
}

void Benchtop::KeepSessionWindowsClear() {
    if (keep_clear_queued_) return;
    keep_clear_queued_ = true;
    QTimer::singleShot(0, this, [this] {
        keep_clear_queued_ = false;
        std::vector<QWidget*> windows = SessionWindows();
        std::stable_sort(windows.begin(), windows.end(), [](QWidget* a, QWidget* b) {
            return a->property(kRaised).toLongLong() < b->property(kRaised).toLongLong();
        });
        for (QWidget* w : windows)
            if (auto* own = qobject_cast<platform::BenchWindow*>(w)) own->KeepWorkInView();
    });
}

Benchtop::Obstacles Benchtop::ObstaclesAround(const QWidget& window) const {
    LayOutPending();
    Obstacles o;
    // Never over the main window's menus, which start and stop the session.
    if (QWidget* bar = menuWidget(); bar && bar->isVisible()) o.menus.emplace_back(bar->mapToGlobal(QPoint(0, 0)), bar->size());
    // The device windows' satellite tables, position panels and title bars,
    // where no other device window covers them.
    const QList<QMdiSubWindow*> stack = mdi_->subWindowList(QMdiArea::StackingOrder);  // bottom first
    const QRect view = mdi_->viewport()->rect();
    const QPoint to_global = mdi_->viewport()->mapToGlobal(QPoint(0, 0));
    for (qsizetype i = 0; i < stack.size(); ++i) {
        QMdiSubWindow* sub = stack[i];
        if (!sub->isVisible() || sub->isMinimized() || !sub->widget()) continue;
        QRegion above;
        for (qsizetype j = i + 1; j < stack.size(); ++j)
            if (stack[j]->isVisible() && !stack[j]->isMinimized()) above += stack[j]->geometry();
        auto in_view = [&](const QRect& r) {
            std::vector<QRect> parts;
            for (const QRect& part : (QRegion(r) & view) - above) parts.push_back(part.translated(to_global));
            return parts;
        };
        auto add = [&](std::vector<QRect>& into, const char* name) {
            if (auto* w = sub->widget()->findChild<QWidget*>(name); w && w->isVisible())
                for (const QRect& part : in_view(QRect(w->mapTo(mdi_->viewport(), QPoint(0, 0)), w->size())))
                    into.push_back(part);
        };
        for (const char* name : kReadFirst) add(o.panels, name);
        for (const char* name : kTables) add(o.tables, name);
        // The console and, when it is narrow, the port buttons beside it:
        // the part of the window a running session needs least.
        add(o.consoles, "Frame2");
        add(o.consoles, "Frame1");
        const QRect bar(sub->geometry().topLeft(), QSize(sub->width(), sub->widget()->y()));
        const std::vector<QRect> parts = in_view(bar);
        o.titles.insert(o.titles.end(), parts.begin(), parts.end());
        std::vector<QRect> pieces = ReachPieces(bar, QRegion(view) - above);
        for (QRect& piece : pieces) piece.translate(to_global);
        // (One out of reach already is reached from the Window menu.)
        if (!pieces.empty()) o.bars.push_back(std::move(pieces));
    }
    // The other windows open over the workspace: their title bars (where the
    // ones in front of them leave them in view), their controls and the rest
    // of them.
    const int title = FrameOf(window).height();
    const std::vector<QWidget*> others = SessionWindows();
    // A window shown without taking the keys goes behind the one that keeps
    // them, which then hides nothing of it.
    const QWidget* in_front = window.testAttribute(Qt::WA_ShowWithoutActivating) ? QApplication::activeWindow() : nullptr;
    for (QWidget* other : others) {
        if (other == &window || other == in_front || !other->isVisible()) continue;
        // (Without a window manager's frame: the top of the window.)
        const QRect frame = other->frameGeometry(), inner = other->geometry();
        const QRect whole(frame.topLeft(), QSize(frame.width(), std::max(inner.top() - frame.top(), title)));
        const qlonglong raised = other->property(kRaised).toLongLong();
        QRegion covered;  // by the windows in front of it
        for (QWidget* front : others)
            if (front != other && front != &window && front->isVisible() && front->property(kRaised).toLongLong() > raised)
                covered += front->frameGeometry();
        for (const QRect& part : QRegion(whole) - covered) o.titles.push_back(part);
        if (std::vector<QRect> pieces = ReachPieces(whole, QRegion(whole) - covered); !pieces.empty())
            o.bars.push_back(std::move(pieces));
        for (const QRect& part : QRegion(frame) - covered) o.windows.push_back(part);
        for (QAbstractButton* button : other->findChildren<QAbstractButton*>())
            if (button->isVisible())
                for (const QRect& part : QRegion(QRect(button->mapToGlobal(QPoint(0, 0)), button->size())) - covered)
                    o.controls.push_back(part);
        // The results grid is read as the position panels are.
        for (const char* name : kReadFirst)
            if (auto* part = other->findChild<QWidget*>(name); part && part->isVisible())
                for (const QRect& r : QRegion(QRect(part->mapToGlobal(QPoint(0, 0)), part->size())) - covered)
                    o.panels.push_back(r);
    }
    return o;
}

void Benchtop::PlaceBenchWindow(QWidget& window) {
    if (window.isVisible()) {
        // Grown or shrunk where it is: it stays while it still hides nothing
        // the engineer reads, no title bar and not the menus.
        const Obstacles o = ObstaclesAround(window);
        const QRect at(window.frameGeometry().topLeft(), window.size() + (window.frameGeometry().size() - window.geometry().size()));
        if (Covered(o.menus, at) + Covered(o.panels, at) + Covered(o.tables, at) + Covered(o.titles, at) == 0) {
            platform::KeepOnScreen(window);
            return;
        }
    }
    PlaceClearOfTables(window);
}

// Where a window opened over the workspace (the results grid, the replay's
// controls, the command panel, the instruments, the task monitor) opens:
// at the size of its contents where it covers no position panel, results
// grid, satellite table or title bar and not the main window's menus, when
// the screen has room for it. Else where it covers least of them, in that
// order, leaving every title bar in reach: over a device window's console
// (the part a session needs least) where that costs no more, at its own
// size where that costs no more, else smaller, down to the least in which
// it still reads. Each way it keeps clear of the other windows already open
// where it can, their buttons first, so that none of them buries another.
// Made smaller, it grows back when room is made (one of the others closes).
void Benchtop::PlaceClearOfTables(QWidget& window) {
    QScreen* screen = QGuiApplication::primaryScreen();
    const QRect area = screen ? screen->availableGeometry() : QRect(QPoint(0, 0), window.size());
    const Obstacles o = ObstaclesAround(window);
    const QSize frame = FrameOf(window);
    const QSize own = window.size();
    const QSize least = window.minimumSizeHint().expandedTo(QSize(360, 200)).boundedTo(own);
    WatchForRoom(window);
    // The windows in front of it: of one placed anew where it is (behind
    // those that came to the front after it), and the one that keeps the
    // keys when it is shown without taking them (the results grid). Not
    // under them, where it can, its own title bar least of all.
    std::vector<QRect> front;
    if (window.isVisible()) {
        const qlonglong raised = window.property(kRaised).toLongLong();
        for (QWidget* other : SessionWindows())
            if (other != &window && other->isVisible() && other->property(kRaised).toLongLong() > raised)
                front.push_back(other->frameGeometry());
    }
    if (window.testAttribute(Qt::WA_ShowWithoutActivating))
        if (QWidget* active = QApplication::activeWindow();
            active && active != &window && active != this && active->isVisible())
            front.push_back(active->frameGeometry());
    // The places where what a place covers can change: against the
    // screen's edges and every part's, and a title bar's reach from its ends.
    auto places = [&](const QSize& s) {
        std::vector<int> xs{area.left(), area.right() + 1 - s.width()}, ys{area.top(), area.bottom() + 1 - s.height()};
        for (const std::vector<QRect>* parts : std::initializer_list<const std::vector<QRect>*>{&o.menus, &o.panels, &o.tables, &o.titles, &o.windows, &o.consoles, &front})
            for (const QRect& r : *parts) {
                for (int x : {r.left() - s.width(), r.left(), r.right() + 1, r.right() + 1 - s.width()}) xs.push_back(x);
                for (int y : {r.top() - s.height(), r.top(), r.bottom() + 1, r.bottom() + 1 - s.height()}) ys.push_back(y);
            }
        for (const std::vector<QRect>& bar : o.bars)
            for (const QRect& p : bar)
                for (int x : {p.left() + kTitleReach, p.right() + 1 - kTitleReach - s.width()}) xs.push_back(x);
        std::vector<QRect> out;
        for (auto* v : {&xs, &ys}) {
            std::sort(v->begin(), v->end());
            v->erase(std::unique(v->begin(), v->end()), v->end());
        }
        for (int y : ys)
            for (int x : xs)
                if (const QRect r(QPoint(x, y), s); area.contains(r)) out.push_back(r);
        return out;
    };
    auto out_of_reach = [&o](const QRect& r) {
        return static_cast<int64_t>(std::count_if(o.bars.begin(), o.bars.end(),
                                                  [&](const std::vector<QRect>& bar) { return !InReach(bar, r); }));
    };
    auto own_bar_hidden = [&](const QRect& r) {
        const int bar = frame.height();
        const QRect start(r.topLeft(), QSize(kTitleReach, bar));
        const QRect end(QPoint(r.right() + 1 - kTitleReach - 3 * bar, r.top()), QSize(kTitleReach, bar));
        auto hidden = [&](const QRect& piece) {
            return std::any_of(front.begin(), front.end(), [&](const QRect& f) { return f.intersects(piece); });
        };
        return hidden(start) && hidden(end) ? int64_t{1} : int64_t{0};
    };
    // What of it the window that keeps the keys would hide.
    auto hidden_behind = [&](const QRect& r) { return Covered(front, r); };
    // Its own results grid, read as the position panels are, under them.
    QRect grid;
    if (const auto* g = window.findChild<QWidget*>("MSFlexGrid1"); g && g->isVisible())
        grid = QRect(g->mapTo(&window, QPoint(0, 0)) + QPoint(frame.width() / 2, frame.height() - frame.width() / 2),
                     g->size());
    auto grid_hidden = [&](const QRect& r) { return grid.isNull() ? 0 : Covered(front, grid.translated(r.topLeft())); };
    // At its own size where it covers nothing the engineer reads: the
    // fewest title bars out of reach, other windows' buttons, other windows,
    // then the lowest and rightmost.
    const QSize framed = own + frame;
    std::optional<std::tuple<int64_t, int64_t, int64_t, int, int>> room;
    QRect chosen;
    if (framed.width() <= area.width() && framed.height() <= area.height())
        for (const QRect& r : places(framed)) {
            if (Covered(o.menus, r) + Covered(o.panels, r) + Covered(o.titles, r) + Covered(o.tables, r) +
                    hidden_behind(r) != 0)
                continue;
            const auto c = std::make_tuple(out_of_reach(r), Covered(o.controls, r), Covered(o.windows, r), -r.y(), -r.x());
            if (!room || c < *room) {
                room = c;
                chosen = r;
            }
        }
    if (room) {
        window.move(chosen.topLeft());
        platform::KeepOnScreen(window);
        return;
    }
    // Else what it covers, by weight: title bars out of reach, position
    // panels and the results grid, satellite tables, (what of it the window
    // in front hides), the other windows' buttons, title bars; over a
    // console rather than elsewhere, and larger rather than smaller, where
    // it covers no more.
    using Cost =
        std::tuple<int64_t, int64_t, int64_t, int64_t, int64_t, int64_t, int64_t, int64_t, int, int64_t, int, int>;
    std::optional<Cost> best;
    for (int k = 0; k <= 3; ++k) {
        const QSize size = own - (own - least) * k / 3 + frame;
        if (size.width() > area.width() || size.height() > area.height()) continue;
        for (const QRect& r : places(size)) {
            const int64_t menus = Covered(o.menus, r);
            if (best && menus > std::get<0>(*best)) continue;
            const Cost c{menus,
                         out_of_reach(r) + own_bar_hidden(r),
                         Covered(o.panels, r) + grid_hidden(r),
                         Covered(o.tables, r),
                         hidden_behind(r),
                         Covered(o.controls, r),
                         Covered(o.titles, r),
                         -Covered(o.consoles, r),
                         k,
                         Covered(o.windows, r),
                         -r.y(),
                         -r.x()};
            if (!best || c < *best) {
                best = c;
                chosen = r;
            }
        }
    }
    if (best) {
        if (chosen.size() - frame != own) window.setProperty(kNaturalSize, own);
        window.resize(chosen.size() - frame);
        window.move(chosen.topLeft());
    } else {
        const QRect work(mdi_->mapToGlobal(QPoint(0, 0)), mdi_->size());
        window.move(work.right() - window.width() - 20, work.bottom() - window.height() - 60);
    }
    platform::KeepOnScreen(window);
}

void Benchtop::WatchForRoom(QWidget& window) {
    if (window.property(kRoomWatched).toBool()) return;
    window.setProperty(kRoomWatched, true);
    window.installEventFilter(new WindowWatcher(&window, [this] {
        QTimer::singleShot(0, this, [this] { GrowBackShrunkWindows(); });
    }));
}

// A window made smaller than its own size to find a place grows back
// towards that size, as far as it then covers nothing at all: where it is,
// else at the nearest place from the bottom right.
void Benchtop::GrowBackShrunkWindows() {
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return;
    const QRect area = screen->availableGeometry();
    for (QWidget* window : SessionWindows()) {
        const QSize natural = window->property(kNaturalSize).toSize();
        if (!window->isVisible() || !natural.isValid() || window->size().expandedTo(natural) == window->size()) continue;
        const Obstacles o = ObstaclesAround(*window);
        const QSize frame = (window->frameGeometry().size() - window->size()).expandedTo(FrameOf(*window));
        auto clear = [&o](const QRect& r) {
            return Covered(o.menus, r) + Covered(o.panels, r) + Covered(o.tables, r) + Covered(o.titles, r) +
                       Covered(o.controls, r) + Covered(o.windows, r) == 0;
        };
        const QSize now = window->size();
        for (int k = 4; k > 0; --k) {
            const QSize size = (now + (natural.expandedTo(now) - now) * k / 4) + frame;
            if (size.width() > area.width() || size.height() > area.height()) continue;
            std::optional<QPoint> at;
            if (const QRect here = FittedInto(area, QRect(window->frameGeometry().topLeft(), size)); clear(here))
                at = here.topLeft();
            for (int y = area.bottom() + 1 - size.height(); !at && y >= area.top(); y -= 10)
                for (int x = area.right() + 1 - size.width(); !at && x >= area.left(); x -= 10)
                    if (clear(QRect(QPoint(x, y), size))) at = QPoint(x, y);
            if (!at) continue;
            if (k == 4) window->setProperty(kNaturalSize, QVariant());
            window->resize(size - frame);
            window->move(*at);
            platform::KeepOnScreen(*window);
            break;
        }
    }
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
    LayOutPending();
    const QRect view = mdi_->viewport()->rect();
    std::vector<std::vector<QRect>> live_bars, replay_bars;
    std::vector<QRect> titles, tables, panels, replay_titles, replay_parts, beneath;
    // The windows open over the workspace would hide it: under them last.
    const QPoint from_global = -mdi_->viewport()->mapToGlobal(QPoint(0, 0));
    for (QWidget* w : SessionWindows())
        if (w->isVisible()) beneath.push_back(w->frameGeometry().translated(from_global).intersected(view));
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
        if (std::vector<QRect> pieces = ReachPieces(bar, in_view, true); !pieces.empty())  // else hidden already
            (live ? live_bars : replay_bars).push_back(std::move(pieces));
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
    // (live, replay, then its own under the windows over the workspace), then the areas of the live title bars, tables and
    // panels and of the replay title bars, tables and panels, then what the
    // windows over the workspace would hide; then the larger size, the
    // higher and the further left place.
    const std::vector<QRect>* areas[] = {&titles, &tables, &panels, &replay_titles, &replay_parts, &beneath};
    using Cost = std::tuple<int, int, int, std::array<int64_t, std::size(areas)>, size_t, int, int>;
    auto out_of_reach = [](const std::vector<std::vector<QRect>>& bars, const QRect& r) {
        return static_cast<int>(std::count_if(bars.begin(), bars.end(), [&](const auto& b) { return !InReach(b, r); }));
    };
    // Its own title bar under the windows over the workspace, start and end.
    const int bar = sub->widget()->y();
    auto own_bar_hidden = [&](const QRect& r) {
        const QRect start(r.topLeft(), QSize(kTitleReach, bar));
        const QRect end(QPoint(r.right() + 1 - kTitleReach - 3 * bar, r.top()), QSize(kTitleReach, bar));
        auto hidden = [&](const QRect& piece) {
            return std::any_of(beneath.begin(), beneath.end(), [&](const QRect& w) { return w.intersects(piece); });
        };
        return hidden(start) && hidden(end) ? 1 : 0;
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
                Cost c{out_of_reach(live_bars, r), out_of_reach(replay_bars, r), own_bar_hidden(r), {}, k, y, x};
                for (size_t w = 0; w < std::size(areas); ++w) std::get<3>(c)[w] = Covered(*areas[w], r);
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
