#include "tests/support/restarting_receiver.h"

#include <QTimer>
#include <chrono>
#include <cstdio>

namespace test {

int64_t RestartingReceiver::SteadyMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

RestartingReceiver::RestartingReceiver(Plan plan) : plan_(std::move(plan)) {
    fix_timer_ = std::make_unique<QTimer>();
    fix_timer_->setSingleShot(true);
    fix_timer_->setTimerType(Qt::PreciseTimer);
    QObject::connect(fix_timer_.get(), &QTimer::timeout, [this] {
        has_fix_ = true;
        // Timed as the write begins: the bench's reader, woken by it, may
        // take this thread's processor as the write returns.
        const std::string fix = CurrentGga();
        fix_ms_ = SteadyMs();
        Write(fix);
    });
    OnCommand(plan_.command, [this](EmulatedReceiver&, const std::string&) {
        ++commands_seen_;
        if (commands_seen_ > plan_.ignore_commands) Restart();
    });
    StartStream([this] { return CurrentGga(); }, plan_.gga_interval_ms);
}

RestartingReceiver::~RestartingReceiver() {
    StopStream();
    fix_timer_.reset();
}

void RestartingReceiver::Restart() {
    ++restarts_;
    has_fix_ = false;
    fix_ms_ = -1;
    startup_ms_ = SteadyMs();
    Write(Sentence(plan_.startup));
    if (plan_.fixes)
        fix_timer_->start(plan_.fix_delay_ms);
    else
        fix_timer_->stop();
}

std::string RestartingReceiver::CurrentGga() const {
    using namespace std::chrono;
    auto ms = duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
    long long day_ms = ms % 86'400'000;
    char time[16];
    std::snprintf(time, sizeof time, "%02lld%02lld%02lld.%02lld", day_ms / 3'600'000, day_ms / 60'000 % 60,
                  day_ms / 1000 % 60, day_ms % 1000 / 10);
    std::string t(time);
    if (has_fix_) return Sentence("$GPGGA," + t + ",4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,");
    return Sentence("$GPGGA," + t + ",,,,,0,00,99.9,,M,,M,,");
}

}  // namespace test
