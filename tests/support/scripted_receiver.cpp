#include "tests/support/scripted_receiver.h"

#include <QTimer>
#include <chrono>
#include <cstdio>
#include <ctime>

namespace test {

namespace {

struct UtcNow {
    std::string time;  // hhmmss.ss
    std::string date;  // ddmmyy
};

int64_t NowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

UtcNow Now(int64_t ms) {
    const std::time_t secs = static_cast<std::time_t>(ms / 1000);
    std::tm tm{};
    ::gmtime_r(&secs, &tm);
    char t[48], d[40];
    std::snprintf(t, sizeof t, "%02d%02d%02d.%02d", tm.tm_hour, tm.tm_min, tm.tm_sec, static_cast<int>(ms % 1000 / 10));
    std::snprintf(d, sizeof d, "%02d%02d%02d", tm.tm_mday, tm.tm_mon + 1, tm.tm_year % 100);
    return {t, d};
}

// Satellites in view: id and C/N0.
constexpr int kSats[8][2] = {{2, 44}, {5, 41}, {9, 38}, {12, 45}, {15, 36}, {21, 40}, {25, 43}, {29, 35}};

}  // namespace

int64_t ScriptedReceiver::SteadyMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

ScriptedReceiver::ScriptedReceiver(Script script) : script_(std::move(script)) {
    if (script_.fix_delays_ms.empty()) script_.fix_delays_ms = {1000};
    fix_timer_ = std::make_unique<QTimer>();
    fix_timer_->setSingleShot(true);
    fix_timer_->setTimerType(Qt::PreciseTimer);
    QObject::connect(fix_timer_.get(), &QTimer::timeout, [this] { SendFix(); });
    OnCommand(script_.restart_command, [this](EmulatedReceiver&, const std::string&) {
        ++commands_seen_;
        if (commands_seen_ > script_.ignore_commands) Answer();
    });
    StartStream(
        [this] {
            Send(Epoch());
            return std::string();
        },
        script_.epoch_ms);
}

ScriptedReceiver::~ScriptedReceiver() {
    StopStream();
    fix_timer_.reset();
}

int ScriptedReceiver::CommandLinesAfter(size_t from) const {
    const std::string& all = Received();
    int n = 0;
    size_t start = 0;
    while (start < all.size()) {
        size_t lf = all.find('\n', start);
        size_t end = lf == std::string::npos ? all.size() : lf + 1;
        if (start >= from && all.substr(start, end - start).find(script_.restart_command) != std::string::npos) ++n;
        start = end;
    }
    return n;
}

void ScriptedReceiver::Send(const std::string& bytes) {
    sent_ += bytes;
    Write(bytes);
}

void ScriptedReceiver::Answer() {
    Restart r;
    r.command_ms = SteadyMs();
    const size_t k = restarts_.size();
    r.delay_ms = script_.fix_delays_ms[k < script_.fix_delays_ms.size() ? k : script_.fix_delays_ms.size() - 1];
    has_fix_ = false;
    // The start-up text, then at once an epoch without a fix, as a receiver
    // that has just lost everything sends.
    Send(Sentence(script_.startup) + Epoch());
    r.startup_ms = SteadyMs();
    restarts_.push_back(r);
    if (script_.fixes)
        fix_timer_->start(r.delay_ms);
    else
        fix_timer_->stop();
}

void ScriptedReceiver::SendFix() {
    has_fix_ = true;
    const int64_t ms = NowMs();
    const std::string gga = Gga(Now(ms).time);
    // The rest of the epoch after the fix sentence, so the fix is timed by
    // the GGA that carries it; one clock reading for the whole epoch.
    std::string rest = EpochAt(ms);
    rest.erase(0, rest.find("\r\n") + 2);
    Send(gga + rest);
    if (!restarts_.empty()) {
        restarts_.back().fix_ms = SteadyMs();
        restarts_.back().fix_gga = gga;
        restarts_.back().fix_epoch = gga + rest;
    }
}

std::string ScriptedReceiver::Gga(const std::string& time) const {
    if (has_fix_)
        return Sentence("$GPGGA," + time + "," + script_.latitude + "," + script_.longitude +
                        ",1,08,0.9,545.4,M,46.9,M,,");
    return Sentence("$GPGGA," + time + ",,,,,0,00,99.9,,M,,M,,");
}

std::string ScriptedReceiver::Epoch() const { return EpochAt(NowMs()); }

std::string ScriptedReceiver::EpochAt(int64_t ms) const {
    const UtcNow now = Now(ms);
    std::string out = Gga(now.time);
    if (script_.gsa) {
        std::string used;
        for (int i = 0; i < 12; ++i) {
            char id[8] = "";
            if (has_fix_ && i < 8) std::snprintf(id, sizeof id, "%02d", kSats[i][0]);
            used += std::string(",") + id;
        }
        out += Sentence(has_fix_ ? "$GPGSA,A,3" + used + ",1.8,0.9,1.5" : "$GPGSA,A,1" + used + ",,,");
    }
    if (script_.gsv) {
        for (int m = 0; m < 2; ++m) {
            std::string s = "$GPGSV,2," + std::to_string(m + 1) + ",08";
            for (int i = m * 4; i < m * 4 + 4; ++i) {
                char sat[32];
                // Without a fix the satellites are still being acquired: no C/N0.
                if (has_fix_)
                    std::snprintf(sat, sizeof sat, ",%02d,%02d,%03d,%02d", kSats[i][0], 20 + 5 * i, 40 * i, kSats[i][1]);
                else
                    std::snprintf(sat, sizeof sat, ",%02d,%02d,%03d,", kSats[i][0], 20 + 5 * i, 40 * i);
                s += sat;
            }
            out += Sentence(s);
        }
    }
    if (script_.rmc) {
        if (has_fix_)
            out += Sentence("$GPRMC," + now.time + ",A," + script_.latitude + "," + script_.longitude + ",0.0,0.0," +
                            now.date + ",,");
        else
            out += Sentence("$GPRMC," + now.time + ",V,,,,,,," + now.date + ",,");
    }
    if (script_.qnv_time) {
        // GPS time runs 18 s ahead of UTC; the receiver reports whole seconds.
        const int64_t gps = ms / 1000 - 315964800 + 18;
        out += Sentence("$PQNVTG," + std::to_string(gps / 604800) + "," + std::to_string(gps % 604800) +
                        ".000,1,0,0,12.5");
    }
    return out;
}

}  // namespace test
