#include "platform/qt/bench_timer.h"

#include "platform/core/diagnostics.h"

#include <QTimer>
#include <exception>
#include <string>

namespace platform {

void Timer::Fire() {
    if (in_tick_ || !handler_) return;
    in_tick_ = true;
    try {
        handler_();
    } catch (const std::exception& e) {
        Diagnostic(std::string("Unhandled error in a timer tick: ") + e.what());
    } catch (...) {
        Diagnostic("Unhandled error in a timer tick");
    }
    in_tick_ = false;
}

QtTimer::QtTimer(int interval_ms, bool enabled)
    : timer_(std::make_unique<QTimer>()), interval_(interval_ms), enabled_(enabled) {
    // The 1 ms and 20 ms timers of the bench need real milliseconds.
    timer_->setTimerType(Qt::PreciseTimer);
    QObject::connect(timer_.get(), &QTimer::timeout, [this] { Fire(); });
    Rearm();
}

QtTimer::~QtTimer() = default;

void QtTimer::Rearm() {
    if (enabled_ && interval_ > 0)
        timer_->start(interval_);
    else
        timer_->stop();
}

void QtTimer::SetEnabled(bool on) {
    if (on == enabled_) return;  // enabling an enabled timer keeps its count
    enabled_ = on;
    Rearm();
}

void QtTimer::SetInterval(int ms) {
    interval_ = ms;
    Rearm();  // a running timer starts its count afresh
}

}  // namespace platform
