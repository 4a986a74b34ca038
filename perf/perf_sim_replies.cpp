// A peer on the simulator's port, a real TCP socket on 127.0.0.1, sends the
// bench a megabyte: in one write or in writes of 64, 16 and 1 byte (with
// no delay), once as complete replies, once as one element that never
// closes (dropped once it outgrows the cap), each followed by a last status.
// The bench is the main window with its simulator window shown (Sim
// Management > Configure Simulator, Connect), offscreen, all runs on one
// connection. Timed: the processor time of the windows' thread from the
// first byte sent until the window's status panel shows the last status
// (its text, not only the controller's code; the thread that draws the
// windows must not stall on a flood of replies), against 50 ms for every
// cut; a run whose window does not show the last status misses
// its goal, and so does one whose system log does not say of a dropped
// element as the bench says it: once a connection.
#include <QAction>
#include <QEventLoop>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include <cstdio>
#include <ctime>
#include <functional>
#include <memory>
#include <string>

#include "bench/devices/system_log.h"
#include "bench/instruments/sim_mng.h"
#include "bench/instruments/sim_window.h"
#include "bench/session/benchtop.h"
#include "bench/session/device_windows.h"
#include "perf/perf_process.h"
#include "tests/support/qt_app.h"
#include "tests/support/tcp_peer.h"

namespace {

constexpr double kGoalMs = 50.0;
constexpr const char* kLastStatus = "<status>1</status>";  // "Invalid scenario"
const std::string kFirstStatus = "<status>0</status>";

double ThreadCpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

// Runs the event loop until `done` holds or `timeout_ms` passes, looking
// every 25 ms. Each look wakes the thread for some tens of microseconds, as
// much as a hand-over of replies: looking every 2 ms came to 12 ms of its
// processor time a second, counted as the window's. A look that comes late
// adds no processor time, only wall time.
bool Until(const std::function<bool()>& done, int timeout_ms) {
    QEventLoop loop;
    QTimer look, limit;
    QObject::connect(&look, &QTimer::timeout, [&] {
        if (done()) loop.quit();
    });
    QObject::connect(&limit, &QTimer::timeout, [&] { loop.quit(); });
    look.start(25);
    limit.setSingleShot(true);
    limit.start(timeout_ms);
    if (!done()) loop.exec();
    return done();
}

size_t Count(const std::string& all, const std::string& what) {
    size_t n = 0;
    for (size_t at = all.find(what); at != std::string::npos; at = all.find(what, at + 1)) ++n;
    return n;
}

}  // namespace

int main() {
    perf::DeclareGoals(8);
    test::EnsureAppWithScreen(1600, 1000);
    test::TempHome home;
    test::TcpPeer peer;
    if (peer.Port() == 0) {
        std::printf("simulator replies: no listening socket on 127.0.0.1\n");
        return 1;
    }
    std::string replies;
    size_t count = 0;
    while (replies.size() < (size_t{1} << 20)) {
        replies += "<status>" + std::to_string(count % 2 ? 0 : 5) + "</status><data>" + std::to_string(count) +
                   "</data>";
        ++count;
    }
    // Its text is tagged, as a simulator's log or configuration would be,
    // with none of the four tags.
    std::string unclosed = "<data>";
    for (size_t k = 0; unclosed.size() < (size_t{1} << 20); ++k)
        unclosed += "<msg><time>12:00:" + std::to_string(k % 60) + "</time></msg>";
    const size_t megabyte_complete = replies.size(), megabyte_unclosed = unclosed.size();
    replies += kLastStatus;
    unclosed += std::string("</data>") + kLastStatus;

    bench::CommWindowFactory factory;
    auto top = std::make_unique<bench::Benchtop>(factory, nullptr, bench::BenchtopOptions{true});
    top->show();
    top->ConfigDialog().hide();
    top->SimulatorSettings("GSS7700", "127.0.0.1", peer.Port());
    QAction* configure = top->Entry("ConfigSim");
    if (configure == nullptr) {
        std::printf("simulator replies: no Configure Simulator entry\n");
        return 1;
    }
    configure->trigger();
    bench::sim::SimWindow& window = top->SimulatorWindow();
    auto* connect = window.findChild<QPushButton*>("Connect_Command");
    auto* status_panel = window.findChild<QLabel*>("StatusBar1_2");
    bench::sim::SimMng& sim = top->Simulator();
    // What the window shows, not only what its controller holds.
    auto shows = [&](int code) {
        return sim.LastSimStatus() == code &&
               status_panel->text() == QString::fromStdString(bench::sim::SimStatusText(code));
    };
    if (!window.isVisible() || connect == nullptr || status_panel == nullptr) {
        std::printf("simulator replies: the simulator window is not shown\n");
        return 1;
    }

    struct Case {
        const char* what;
        const std::string& bytes;
        size_t megabyte;
        bool dropped;
    };
    const Case cases[] = {{"complete replies", replies, megabyte_complete, false},
                          {"an element that never closes", unclosed, megabyte_unclosed, true}};
    connect->click();
    const bool linked = Until([&] { return sim.SocketState() == bench::sim::kConnected; }, 10000);
    bool failed = !linked;
    bool drop_said = false;
    for (const Case& c : cases) {
        for (size_t size : {c.bytes.size(), size_t{64}, size_t{16}, size_t{1}}) {
            const std::string writes = size == c.bytes.size() ? "one write" : std::to_string(size) + "-byte writes";
            const size_t logged_before = Count(test::ReadFileBytes(bench::SystemLogPath()), "never closed, dropped");
            double ms = -1;
            bool shown = false;
            // First a status other than the last one, so the window is seen to change.
            const bool ready = linked && (peer.Send(kFirstStatus, kFirstStatus.size()),
                                          Until([&] { return shows(0); }, 10000));
            if (ready) {
                const double cpu0 = ThreadCpuMs();
                peer.Send(c.bytes, size);
                shown = Until([&] { return shows(1); }, 120000);
                ms = ThreadCpuMs() - cpu0;
            }
            const size_t logged =
                Count(test::ReadFileBytes(bench::SystemLogPath()), "never closed, dropped") - logged_before;
            const bool as_sent = shown && logged == (c.dropped && !drop_said ? 1u : 0u);
            drop_said = drop_said || logged > 0;
            std::printf("simulator replies, %.2f MB of %s in %s: the window took them in %.1f ms of its thread's "
                        "processor time (%s, dropped element said %zu times), goal <= %.0f ms: %s\n",
                        static_cast<double>(c.megabyte) / 1e6, c.what, writes.c_str(), ms,
                        shown ? "last status shown" : "LAST STATUS NOT SHOWN", logged, kGoalMs,
                        perf::Verdict(as_sent && ms <= kGoalMs));
            std::fflush(stdout);
            failed = failed || !ready;
        }
    }
    top.reset();
    return failed || peer.Failed() ? 1 : 0;
}
