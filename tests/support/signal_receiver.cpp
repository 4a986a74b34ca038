#include "tests/support/signal_receiver.h"

#include <QTimer>

#include <chrono>
#include <cstdio>
#include <ctime>

#include "tests/support/fake_sim_server.h"

namespace test {

namespace {
constexpr int kSats[8][2] = {{3, 45}, {6, 42}, {11, 39}, {14, 44}, {17, 37}, {22, 41}, {26, 43}, {31, 36}};

int64_t UtcMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}
}  // namespace

SignalReceiver::SignalReceiver(Plan plan) : plan_(std::move(plan)) {
    timer_ = std::make_unique<QTimer>();
    timer_->setSingleShot(true);
    timer_->setTimerType(Qt::PreciseTimer);
    QObject::connect(timer_.get(), &QTimer::timeout, [this] {
        Epoch();
        Arm();
    });
    OnCommand(plan_.hot_command, [this](EmulatedReceiver&, const std::string&) {
        ++hot_starts_;
        Write(Sentence(plan_.startup));
        tracking_ = false;
        if (signal_) regain_at_ms_ = SteadyNowMs() + plan_.hot_ms;
    });
    Arm();
}

SignalReceiver::~SignalReceiver() { timer_->stop(); }

void SignalReceiver::Arm() {
    // The next epoch: `latency_ms` into the next UTC second.
    const int64_t now = UtcMs();
    int64_t next = (now / 1000) * 1000 + plan_.latency_ms;
    if (next <= now) next += 1000;
    timer_->start(static_cast<int>(next - now));
}

void SignalReceiver::Signal(bool on) {
    if (on == signal_) return;
    signal_ = on;
    const int64_t now = SteadyNowMs();
    if (!on) {
        outages_.push_back({});
        outages_.back().off_ms = now;
        loss_countdown_ = plan_.loss_epochs;
        regain_at_ms_ = -1;
    } else {
        if (outages_.empty()) outages_.push_back({});
        outages_.back().on_ms = now;
        loss_countdown_ = -1;
        regain_at_ms_ = now + plan_.reacquire_ms;
    }
}

int64_t SignalReceiver::EpochSentMs(int32_t utc_second) const {
    for (auto it = epochs_.rbegin(); it != epochs_.rend(); ++it)
        if (it->first == utc_second) return it->second;
    return -1;
}

void SignalReceiver::Epoch() {
    const int64_t steady = SteadyNowMs();
    // Loss of lock is noticed a few epochs after the signal goes.
    if (!signal_ && loss_countdown_ >= 0) {
        if (loss_countdown_ == 0) {
            tracking_ = false;
            if (!outages_.empty() && outages_.back().lost_ms < 0) outages_.back().lost_ms = steady;
        }
        --loss_countdown_;
    }
    if (signal_ && !tracking_ && regain_at_ms_ >= 0 && steady >= regain_at_ms_) tracking_ = true;
    if (signal_ && tracking_ && !outages_.empty() && outages_.back().on_ms >= 0 &&
        outages_.back().tracked_ms.size() < 20)
        outages_.back().tracked_ms.push_back(steady);

    const int64_t utc = UtcMs();
    const std::time_t secs = static_cast<std::time_t>(utc / 1000);
    std::tm tm{};
    ::gmtime_r(&secs, &tm);
    char t[32], d[32];
    std::snprintf(t, sizeof t, "%02d%02d%02d.00", tm.tm_hour, tm.tm_min, tm.tm_sec);
    std::snprintf(d, sizeof d, "%02d%02d%02d", tm.tm_mday, tm.tm_mon + 1, tm.tm_year % 100);
    epochs_.emplace_back(tm.tm_hour * 3600 + tm.tm_min * 60 + tm.tm_sec, steady);
    if (epochs_.size() > 600) epochs_.erase(epochs_.begin(), epochs_.begin() + 300);
    Write(Sentences(t, d));
}

std::string SignalReceiver::Sentences(const std::string& time, const std::string& date) const {
    std::string out;
    if (tracking_)
        out += Sentence("$GPGGA," + time + "," + plan_.latitude + "," + plan_.longitude + ",1,08,0.9,545.4,M,46.9,M,,");
    else
        out += Sentence("$GPGGA," + time + ",,,,,0,00,99.9,,M,,M,,");
    std::string used;
    for (int i = 0; i < 12; ++i) {
        char id[8] = "";
        if (tracking_ && i < 8) std::snprintf(id, sizeof id, "%02d", kSats[i][0]);
        used += std::string(",") + id;
    }
    out += Sentence(tracking_ ? "$GPGSA,A,3" + used + ",1.8,0.9,1.5" : "$GPGSA,A,1" + used + ",,,");
    for (int m = 0; m < 2; ++m) {
        std::string s = "$GPGSV,2," + std::to_string(m + 1) + ",08";
        for (int i = m * 4; i < m * 4 + 4; ++i) {
            char sat[40];
            if (tracking_)
                std::snprintf(sat, sizeof sat, ",%02d,%02d,%03d,%02d", kSats[i][0], 25 + 5 * i, 40 * i, kSats[i][1]);
            else
                std::snprintf(sat, sizeof sat, ",%02d,%02d,%03d,", kSats[i][0], 25 + 5 * i, 40 * i);
            s += sat;
        }
        out += Sentence(s);
    }
    if (tracking_)
        out += Sentence("$GPRMC," + time + ",A," + plan_.latitude + "," + plan_.longitude + ",0.0,0.0," + date + ",,");
    else
        out += Sentence("$GPRMC," + time + ",V,,,,,,," + date + ",,");
    return out;
}

}  // namespace test
