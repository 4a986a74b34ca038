// Where the main window opens the windows it shows: device windows in the
// workspace, live and replayed, and the session's windows on the screen.
#include <QAbstractButton>
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
// satellite table and position panel, the results grid.
constexpr const char* kReadInView[] = {"SatTable", "DataPanel", "MSFlexGrid1"};

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

// Whether a title bar (the parts of it that can be grabbed: in view, past
// its buttons) can still be grabbed beside `r`: a part of kTitleReach left
// whole, or a piece of kTitleReach beside `r`.
bool GrabbableBeside(const std::vector<QRect>& bar, const QRect& r) {
    for (const QRect& p : bar) {
        if (p.width() < kTitleReach) continue;
        if (!r.intersects(p) || r.left() - p.left() >= kTitleReach || p.right() - r.right() >= kTitleReach) return true;
    }
    return false;
}

// A title bar without the buttons at its right end.
QRegion Grabbable(const QRect& bar) {
    return QRegion(bar) - QRect(QPoint(bar.right() + 1 - 3 * bar.height(), bar.top()), QSize(3 * bar.height(), bar.height()));
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

// What a place hides, by weight: the menus, the title bars it leaves out
// of reach (a window that can still be grabbed can be moved off what it
// covers), the tables and position panels, the other windows' controls,
// the title bars, the rest of those windows. The first place tried wins a
// tie.
using Cost = std::tuple<int64_t, int64_t, int64_t, int64_t, int64_t, int64_t>;

}  // namespace

std::vector<QWidget*> Benchtop::SessionWindows() const {
    std::vector<QWidget*> out;
    for (platform::BenchWindow* w : findChildren<platform::BenchWindow*>())
        if (w->isWindow()) out.push_back(w);
    return out;
}

Benchtop::Obstacles Benchtop::ObstaclesAround(const QWidget& window) const {
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
        for (const char* name : kReadInView)
            if (auto* panel = sub->widget()->findChild<QWidget*>(name); panel && panel->isVisible())
                for (const QRect& part : in_view(QRect(panel->mapTo(mdi_->viewport(), QPoint(0, 0)), panel->size())))
                    o.tables.push_back(part);
        const QRect bar(sub->geometry().topLeft(), QSize(sub->width(), sub->widget()->y()));
        const std::vector<QRect> parts = in_view(bar);
        o.titles.insert(o.titles.end(), parts.begin(), parts.end());
        std::vector<QRect> grabbable;
        for (const QRect& part : (Grabbable(bar) & view) - above) grabbable.push_back(part.translated(to_global));
        // (One out of reach already is reached from the Window menu.)
        if (GrabbableBeside(grabbable, QRect())) o.bars.push_back(std::move(grabbable));
    }
    // The other windows open over the workspace: their title bars (where the
    // ones in front of them leave them in view), their controls and the rest
    // of them.
    const int title = FrameOf(window).height();
    const std::vector<QWidget*> others = SessionWindows();
    for (QWidget* other : others) {
        if (other == &window || !other->isVisible()) continue;
        // (Without a window manager's frame: the top of the window.)
        const QRect frame = other->frameGeometry(), inner = other->geometry();
        const QRect whole(frame.topLeft(), QSize(frame.width(), std::max(inner.top() - frame.top(), title)));
        QRegion bar(whole), grabbable = Grabbable(whole);
        const qlonglong raised = other->property(kRaised).toLongLong();
        for (QWidget* front : others)
            if (front != other && front != &window && front->isVisible() && front->property(kRaised).toLongLong() > raised) {
                bar -= front->frameGeometry();
                grabbable -= front->frameGeometry();
            }
        o.titles.insert(o.titles.end(), bar.begin(), bar.end());
        if (std::vector<QRect> parts(grabbable.begin(), grabbable.end()); GrabbableBeside(parts, QRect()))
            o.bars.push_back(std::move(parts));
        o.windows.push_back(frame);
        QRegion covered;  // by the windows in front of it
        for (QWidget* front : others)
            if (front != other && front != &window && front->isVisible() && front->property(kRaised).toLongLong() > raised)
                covered += front->frameGeometry();
        for (QAbstractButton* button : other->findChildren<QAbstractButton*>())
            if (button->isVisible()) o.controls.emplace_back(button->mapToGlobal(QPoint(0, 0)), button->size());
        // The results grid is read as the tables are.
        for (const char* name : kReadInView)
            if (auto* part = other->findChild<QWidget*>(name); part && part->isVisible())
                for (const QRect& r : QRegion(QRect(part->mapToGlobal(QPoint(0, 0)), part->size())) - covered)
                    o.tables.push_back(r);
    }
    return o;
}

void Benchtop::PlaceBenchWindow(QWidget& window) {
    if (window.isVisible()) {
        // Grown or shrunk where it is: it stays while it still hides nothing
        // the engineer reads, no title bar and not the menus.
        const Obstacles o = ObstaclesAround(window);
        const QRect at(window.frameGeometry().topLeft(), window.size() + (window.frameGeometry().size() - window.geometry().size()));
        if (Covered(o.menus, at) + Covered(o.tables, at) + Covered(o.titles, at) == 0) {
            platform::KeepOnScreen(window);
            return;
        }
    }
    PlaceClearOfTables(window);
}

// Where a window opened over the workspace (the results grid, the replay's
// controls, the command panel, the instruments) covers no device window's
// satellite table or position panel, no title bar and not the main
// window's menus, when the screen has room for it; else over the console
// of the device window on top, the part a session needs least; else
// smaller, down to the least in which it still reads, where it covers
// least. Each way it keeps clear of the other windows already open where it
// can, their buttons first, so that none of them buries another. Made
// smaller, it grows back when room is made (one of the others is closed).
void Benchtop::PlaceClearOfTables(QWidget& window) {
    QScreen* screen = QGuiApplication::primaryScreen();
    const QRect area = screen ? screen->availableGeometry() : QRect(QPoint(0, 0), window.size());
    const Obstacles o = ObstaclesAround(window);
    const QSize frame = FrameOf(window);
    auto cost = [&o](const QRect& r) {
        const auto out_of_reach = std::count_if(o.bars.begin(), o.bars.end(),
                                                [&](const std::vector<QRect>& bar) { return !GrabbableBeside(bar, r); });
        return Cost{Covered(o.menus, r),    out_of_reach,         Covered(o.tables, r),
                    Covered(o.controls, r), Covered(o.titles, r), Covered(o.windows, r)};
    };
    auto room = [&o](const QRect& r) {
        return Covered(o.menus, r) + Covered(o.tables, r) + Covered(o.titles, r) == 0;
    };
    std::optional<Cost> best;
    QRect chosen;
    auto consider = [&](const QRect& r) {
        const Cost c = cost(r);
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
                if (const QRect r(QPoint(x, y), framed); room(r)) consider(r);
    WatchForRoom(window);
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
        QRect over_console(console->mapToGlobal(QPoint(0, 0)), console->size());
        if (QWidget* buttons = front->findChild<QWidget*>("Frame1"); buttons && buttons->isVisible())
            over_console |= QRect(buttons->mapToGlobal(QPoint(0, 0)), buttons->size());
        const QSize size =
            own.boundedTo(over_console.size().expandedTo(least) - frame).expandedTo(least) + frame;
        // Taller than the console: from its top, down over as little as can be.
        const QRect over = over_console.united(QRect(over_console.topLeft(), size)).intersected(area);
        for (int y : steps(over.top(), std::max(over.top(), over.bottom() + 1 - size.height())))
            for (int x : steps(std::max(over.left(), over.right() + 1 - size.width()), over.left()))
                consider(QRect(QPoint(x, y), size));
    }
    // ... else smaller, anywhere, down to the least in which it still reads.
    if (!best || *best != Cost{})
        for (int k = 1; k <= 3; ++k)
            scan(own - (own - least) * k / 3 + frame);
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
            return Covered(o.menus, r) + Covered(o.tables, r) + Covered(o.titles, r) + Covered(o.controls, r) +
                       Covered(o.windows, r) == 0;
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
    // panels and of the replay title bars, tables and panels, then what the
    // windows over the workspace would hide; then the larger size, the
    // higher and the further left place.
    const std::vector<QRect>* areas[] = {&titles, &tables, &panels, &replay_titles, &replay_parts, &beneath};
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
