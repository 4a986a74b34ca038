#include "bench/instruments/sim_mng.h"

#include "bench/devices/timing.h"
#include "platform/core/clock.h"
#include "platform/core/error.h"
#include "platform/core/numtext.h"
#include "platform/qt/bench_timer.h"

namespace bench::sim {

namespace {
constexpr int kPollMs = 1000;
const char* kClosedWarning = "Winsock connection is closed!";

// A text from the simulator as one line of the system log: up to its first
// line end, without control bytes, at most 120 characters.
std::string OneLine(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\r' || c == '\n') {
            if (!platform::Trim(out).empty()) break;
            continue;
        }
        const unsigned char u = static_cast<unsigned char>(c);
        out += u < 0x20 || u > 0x7E ? '?' : c;
        if (out.size() >= 120) {
            out += "...";
            break;
        }
    }
    return platform::Trim(out);
}

std::string StepName(int16_t state) {
    switch (state) {
    case kStatusAsked: return "status query";
    case kStopSent: return "STOP";
    case kRewindSent: return "REWIND";
    case kStartSent: return "START";
    case kWaitConnect: return "connection";
    default: return "step " + std::to_string(state);
    }
}
}  // namespace

SimMng::SimMng(std::unique_ptr<SimTransport> link, std::unique_ptr<platform::Timer> status_check,
               std::unique_ptr<platform::Timer> scenario_config, std::unique_ptr<platform::Timer> timeout,
               SimServices services)
    : link_(std::move(link)),
      status_check_(std::move(status_check)),
      scenario_config_(std::move(scenario_config)),
      timeout_(std::move(timeout)),
      services_(std::move(services)),
      answer_timeout_ms_(session::kInstrumentAnswerTimeoutMs) {
    status_check_->SetInterval(kPollMs);
    status_check_->SetEnabled(false);
    scenario_config_->SetInterval(kPollMs);
    scenario_config_->SetEnabled(false);
    timeout_->SetEnabled(false);
    status_check_->SetTickHandler([this] { StatusTick(); });
    scenario_config_->SetTickHandler([this] { SimRestartMachine(5); });
    timeout_->SetTickHandler([this] { OnTimeout(); });
    link_->onConnected = [this] { OnConnected(); };
    link_->onStateChanged = [this] { ShowSocketState(); };
    link_->onError = [this] { OnLinkLost("link error: " + link_->ErrorText()); };
    link_->onClosed = [this] {
        // Our own close, or the close that ends an error already reported.
        if (closing_ || link_->State() == kError) return;
        OnLinkLost("the simulator closed the connection");
    };
    link_->onData = [this](const std::string& bytes) { OnData(bytes); };
}

SimMng::~SimMng() {
    link_->onConnected = nullptr;
    link_->onStateChanged = nullptr;
    link_->onError = nullptr;
    link_->onClosed = nullptr;
    link_->onData = nullptr;
}

double SimMng::Now() const { return services_.clock ? services_.clock->Now() : 0.0; }

void SimMng::Changed() {
    if (changed) changed();
}

void SimMng::Panel(int n, const std::string& text) {
    panels_[static_cast<size_t>(n - 1)] = text;
    Changed();
}

void SimMng::Message(const std::string& text) {
    if (services_.mainStatus) services_.mainStatus->StatusBarMessage(1, text);
}

void SimMng::ShowSocketState() {
    const int16_t st = link_->State();
    if (st == kConnected) connected_ = true;
    Panel(1, SocketStateText(st));
}

// --- link ---

bool SimMng::ParsePort(const std::string& text, uint16_t& port) {
    double v = 0;
    if (!platform::TryReadStrict(text, v) || v != static_cast<double>(static_cast<long>(v)) || v < 1 || v > 65535)
        return false;
    port = static_cast<uint16_t>(v);
    return true;
}

void SimMng::Connect_Command_Click() {
    ++interactive_;
    if (!connected_) ConnectOrClose();
    --interactive_;
}

void SimMng::ConnectOrClose() {
    const int16_t st = link_->State();
    // An error state is left by connecting again.
    if (st != kClosed && st != kError) {
        closing_ = true;
        link_->Close();
        closing_ = false;
        Panel(2, "");
        return;
    }
    if (platform::Trim(host_box_).empty()) {
        // Nothing to connect to, now or in a second.
        const std::string text = "Simulator host is not set";
        Panel(3, text);
        if (services_.log) services_.log(text);
        if (interactive_ && services_.warnUser) services_.warnUser(text, "WARNING");
        return;
    }
    uint16_t port = 0;
    if (!ParsePort(port_box_, port)) {
        const std::string text = "Simulator port \"" + port_box_ + "\" is not a port number from 1 to 65535";
        Panel(3, text);
        if (services_.log) services_.log(text);
        if (interactive_ && services_.warnUser) services_.warnUser(text, "WARNING");
        return;
    }
    parser_.Clear();
    Panel(1, SocketStateText(kClosed));
    link_->Connect(host_box_, port);
    ShowSocketState();
}

void SimMng::OnConnected() {
    connected_ = true;
    down_logged_ = false;
    dropped_logged_ = false;
    parser_.Clear();
    Panel(1, SocketStateText(link_->State()) + " to " + link_->PeerName());
    // Replaces a warning of an earlier failed attempt in the main window.
    Message("Simulator connected to " + host_box_ + ":" + port_box_);
    // A link that keeps dropping during a restart is told once; the restart's
    // outcome counts the rest.
    if (relinking_ && ++reconnects_ > 1) return;
    if (services_.log) services_.log("Simulator connected to " + host_box_ + ":" + port_box_);
}

void SimMng::OnLinkLost(const std::string& why) {
    connected_ = false;
    ShowSocketState();
    Panel(2, "");  // the simulator's last state is not known without a link
    if (seq_ != kIdle) {
        Relink(why);
        return;
    }
    const std::string text = "WARNING: simulator " + host_box_ + ":" + port_box_ + ": " + why;
    if (services_.log) services_.log(text);
    Message(text);
}

// A simulator may close its remote port while it rewinds and refuse
// connections for a few seconds: the sequence connects again each second
// and goes on, within the bound of the restart (armed afresh when the
// scenario was already running, where the steps have none of their own).
void SimMng::Relink(const std::string& why) {
    lost_why_ = why;
    if (!relinking_) {
        relinking_ = true;
        lost_step_ = StepName(seq_);
        const bool first = losses_++ == 0;
        const bool setting_up = seq_ == kSwitchOff || seq_ == kSettle || seq_ == kSetupDelay ||
                                seq_ == kOtherLevel || seq_ == kSingleSat || seq_ == kDone;
        // Before the scenario runs the status decides the next step again;
        // once it runs, the levels are sent again.
        if (seq_ != kWaitConnect) resume_ = setting_up ? kSwitchOff : kStatusAsked;
        const std::string text = "WARNING: simulator " + host_box_ + ":" + port_box_ + ": " + why + " at the " +
                                 StepName(seq_) + "; connecting again";
        if (first && services_.log) services_.log(text);
        Message(text);
        seq_ = kWaitConnect;
        if (!timeout_->Enabled()) ArmTimeout();
    }
    status_check_->SetEnabled(false);
    scenario_config_->SetEnabled(true);
}

void SimMng::TryConnectAgain() {
    const int16_t st = link_->State();
    if (st == kClosed || st == kError) ConnectOrClose();
}

void SimMng::SimConnect(const std::string& host, const std::string& port) {
    host_box_ = host;
    port_box_ = port;
    Changed();
    if (!connected_) ConnectOrClose();
}

void SimMng::SetSimType(const std::string& model) {
    if (model.find("STR4500") != std::string::npos) type_ = 0;
    if (model.find("GSS7700") != std::string::npos) type_ = 1;
    if (model.find("GSS6560") != std::string::npos) type_ = 1;
}

// The boxes follow the configuration while nothing is connected, so a later
// connect uses the configured simulator, not a stale one.
void SimMng::SetSimHostName(const std::string& host) {
    host_ = host;
    if (!connected_) host_box_ = host;
    ForgetFailedAttempt();
    Changed();
}

void SimMng::SetSimHostPort(int32_t port) {
    port_ = port;
    if (!connected_) port_box_ = std::to_string(port);
    ForgetFailedAttempt();
    Changed();
}

// A new configuration starts afresh: the failure of an attempt made with
// the earlier one is no longer shown.
void SimMng::ForgetFailedAttempt() {
    if (connected_ || link_->State() != kError) return;
    panels_[0] = SocketStateText(kClosed);
    panels_[2].clear();
}

// --- sending ---

bool SimMng::SendOrLog(const std::string& command, bool warn_box) {
    if (link_->State() == kConnected && link_->Send(command)) return true;
    Panel(3, "not connected: " + command);
    if (!down_logged_) {
        down_logged_ = true;
        if (services_.log) services_.log("Simulator not connected: \"" + command + "\" not sent");
    }
    if (warn_box && interactive_ && services_.warnUser) services_.warnUser(kClosedWarning, "WARNING");
    return false;
}

bool SimMng::Checked(const std::string& command) { return SendOrLog(command, true); }
bool SimMng::Unchecked(const std::string& command) { return SendOrLog(command, false); }

void SimMng::Stop_Command_Click() {
    ++interactive_;
    Checked(cmd::Stop());
    --interactive_;
}

void SimMng::Status_Command_Click() {
    ++interactive_;
    Checked(cmd::Status());
    --interactive_;
}

void SimMng::Rewind_Command_Click() {
    ++interactive_;
    Checked(cmd::Rewind());
    --interactive_;
}

void SimMng::Start_Command_Click() {
    ++interactive_;
    Checked(cmd::Start());
    --interactive_;
}

void SimMng::Command1_Click() { Unchecked(cmd::Time()); }

void SimMng::SetPower_Command_Click(const std::string& level_box) {
    ++interactive_;
    double level = 0;
    if (!platform::TryReadStrict(level_box, level)) {
        if (services_.warnUser) services_.warnUser("Invalid power level", "WARNING");
    } else {
        Checked(cmd::SetAllPower(IsSimTypeOne(), level));
    }
    --interactive_;
}

void SimMng::AutoSetUp_Command_Click(const std::string& level_box) {
    ++interactive_;
    double level = 0;
    bool readable = true;
    try {
        level = platform::ReadLenient(level_box);
    } catch (const platform::BenchError&) {
        readable = false;  // a level beyond any number starts nothing
    }
    if (readable)
        SimRestart(level, 20, 10.0, 2, -1, 0, 10.0, true);
    else if (services_.warnUser)
        services_.warnUser("Invalid power level", "WARNING");
    --interactive_;
}

bool SimMng::SimLoadScenario(const std::string& file) { return Unchecked(cmd::LoadScenario(file)); }

void SimMng::SimSetPower(double level) {
    level_ = platform::RoundToInt16(level);
    Checked(cmd::SetAllPower(IsSimTypeOne(), level));
}

bool SimMng::SimIncreasePower(double step) {
    level_ = platform::RoundToInt16(level_ + step);
    return Checked(cmd::SetAllPower(IsSimTypeOne(), level_));
}

bool SimMng::SimDecreasePower(double step) {
    level_ = platform::RoundToInt16(level_ - step);
    return Checked(cmd::SetAllPower(IsSimTypeOne(), level_));
}

bool SimMng::SimSetSatPower(int16_t sat, double level) { return Checked(cmd::SetSatPower(IsSimTypeOne(), sat, level)); }
bool SimMng::SimIncreaseSatPower(int16_t sat, double step) {
    return Checked(cmd::StepSatPower(IsSimTypeOne(), sat, step));
}
bool SimMng::SimDecreaseSatPower(int16_t sat, double step) {
    return Checked(cmd::StepSatPower(IsSimTypeOne(), sat, -step));
}
void SimMng::SimSetChPower(const std::string& time, int16_t ch, double level) {
    Checked(cmd::SetChPower(IsSimTypeOne(), time, ch, level));
}
bool SimMng::SimIncreaseChPower(int16_t ch, double step) { return Checked(cmd::StepChPower(IsSimTypeOne(), ch, step)); }
bool SimMng::SimDecreaseChPower(int16_t ch, double step) {
    return Checked(cmd::StepChPower(IsSimTypeOne(), ch, -step));
}
bool SimMng::SimTurnSatONOFF(int16_t sat, int16_t on) { return Checked(cmd::TurnSat(IsSimTypeOne(), sat, on)); }
void SimMng::SimTurnChONOFF(const std::string& time, int16_t ch, int16_t on) {
    Checked(cmd::TurnCh(IsSimTypeOne(), time, ch, on));
}
void SimMng::SimTurnAllONOFF(const std::string& time, int16_t on) {
    Checked(cmd::TurnAll(IsSimTypeOne(), time, on));
}

// --- replies ---

void SimMng::OnData(const std::string& bytes) {
    ShowSocketState();
    answered_bytes_ += bytes.size();
    const unsigned dropped_before = parser_.Dropped();
    std::string error, fatal;
    bool any = false, has_error = false, has_fatal = false;
    // Each element is acted on as the parser finds it: a megabyte of replies
    // in one read is never a megabyte of elements held at once.
    parser_.Feed(bytes, [&](const ReplyElement& e) {
        any = true;
        switch (e.kind) {
        case ReplyElement::Status: {
            const std::optional<int16_t> n = StatusNumber(e.text);
            if (!n) {
                // A number the bench cannot hold is shown and otherwise ignored.
                Panel(2, platform::Trim(e.text));
                break;
            }
            const int16_t code = MapSimStatusCode(type_, *n);
            last_status_ = code;
            status_seen_ = code;
            Panel(2, code >= 0 && code <= 6 ? SimStatusText(code) : std::to_string(code));
            if (code == 2 || code == 3 || code == 4 || code == 6) SimRestartMachine(code);
            break;
        }
        case ReplyElement::Data:
            Panel(3, e.text);
            break;
        case ReplyElement::Error:
            has_error = true;
            error = e.text;
            break;
        case ReplyElement::Fatal:
            has_fatal = true;
            fatal = e.text;
            break;
        }
    });
    if (parser_.Dropped() != dropped_before && !dropped_logged_) {
        // Said once per connection: a simulator that keeps doing it would
        // otherwise fill the log with one line a second.
        dropped_logged_ = true;
        if (services_.log)
            services_.log("Simulator reply element never closed, dropped: \"" + parser_.LastDropped() + "\"");
    }
    if (!any) {
        answer_head_ = OneLine(bytes);
        return;
    }
    Panel(3, has_error ? error : has_fatal ? fatal : std::string());
    ShowSocketState();
    if (has_fatal) Answered("<fatal>", fatal);
    if (has_error) Answered("<error>", error);
}

void SimMng::Answered(const std::string& kind, const std::string& text) {
    const std::string said = kind + " \"" + OneLine(text) + "\"";
    if (seq_ != kIdle && kind == "<fatal>") {
        Fail("Simulator restart failed: the simulator answered the " + StepName(seq_) + " with " + said + LinkTrouble());
        return;
    }
    // A simulator that says it on every poll is told once.
    if (said == said_) return;
    said_ = said;
    if (!services_.log) return;
    if (seq_ != kIdle)
        services_.log("Simulator answered the " + StepName(seq_) + " with " + said +
                      "; the restart waits on for the status it needs");
    else
        services_.log("Simulator answered " + said + "; the bench goes on");
}

std::string SimMng::LinkTrouble() const {
    if (losses_ == 0) return {};
    return "; the link was lost " + std::to_string(losses_) + (losses_ == 1 ? " time" : " times") +
           " and connected again " + std::to_string(reconnects_) + (reconnects_ == 1 ? " time" : " times") +
           " (the last loss: " + lost_why_ + " at the " + lost_step_ + ")";
}

int16_t SimMng::GetSimStatus() {
    status_check_->SetEnabled(false);
    // A programmatic query: a closed link is logged, not a box.
    Checked(cmd::Status());
    status_check_->SetEnabled(true);
    return last_status_;
}

void SimMng::StatusTick() {
    status_check_->SetEnabled(false);
    // The poll sends only on a live link; a closed one is the link's news,
    // not a warning every second.
    if (link_->State() == kConnected) link_->Send(cmd::Status());
    status_check_->SetEnabled(true);
}

// --- restart sequence ---

void SimMng::SimRestart(double power, int16_t restart_arg, double first_sat_power, int16_t first_sat_channel,
                        int16_t first_sat_en, int16_t setup_time, double sim_power, bool full_restart) {
    ctl_.Completed = false;
    failed_ = false;
    failure_.clear();
    answered_bytes_ = 0;
    answer_head_.clear();
    status_seen_ = -1;
    losses_ = 0;
    reconnects_ = 0;
    lost_step_.clear();
    said_.clear();
    ctl_.OtherPower = power;
    ctl_.SatOff = restart_arg;
    ctl_.SingleSatPower = first_sat_power;
    ctl_.SingleSatChannel = first_sat_channel;
    ctl_.SingleSatEn = first_sat_en;
    ctl_.SetupDelay = setup_time;
    ctl_.SettlePower = sim_power;
    SimRestartMachine(0);
    SimRestartMachine(full_restart ? 1 : 12);
}

void SimMng::ArmTimeout() {
    timeout_->SetInterval(answer_timeout_ms_);
    timeout_->SetEnabled(false);
    timeout_->SetEnabled(true);
}

void SimMng::OnTimeout() {
    timeout_->SetEnabled(false);
    if (seq_ == kIdle) return;
    const int secs = answer_timeout_ms_ / 1000;
    const std::string bound = secs > 0 && secs * 1000 == answer_timeout_ms_ ? std::to_string(secs) + " s"
                                                                           : std::to_string(answer_timeout_ms_) + " ms";
    if (seq_ == kWaitConnect && relinking_ && reconnects_ == 0)
        Fail("Simulator restart: the link was lost (" + lost_why_ + ") and not connected again within " + bound);
    else if (seq_ == kWaitConnect && relinking_)
        Fail("Simulator restart failed within " + bound + ": the link was lost " + std::to_string(losses_) +
             " times and connected again " + std::to_string(reconnects_) + (reconnects_ == 1 ? " time" : " times") +
             "; at the end it was down again (the last loss: " + lost_why_ + " at the " + lost_step_ + ")");
    else if (seq_ == kStartSent && arming_seen_)
        Fail("Simulator did not get the scenario running within " + bound + ": it stayed Arming" + LinkTrouble());
    else if (answered_bytes_ == 0)
        Fail("Simulator did not answer the " + StepName(seq_) + " within " + bound + LinkTrouble());
    else {
        // It answered, but never with what the step waits for: say what it did say.
        std::string what;
        if (status_seen_ >= 0)
            what = "its last status was " +
                   (status_seen_ <= 6 ? "\"" + SimStatusText(status_seen_) + "\"" : std::to_string(status_seen_));
        else if (!answer_head_.empty())
            what = "no reply element in its answer (" + std::to_string(answered_bytes_) + " bytes, beginning \"" +
                   answer_head_.substr(0, 40) + (answer_head_.size() > 40 ? "..." : "") + "\")";
        else
            what = "no status in its answer";
        // Waiting for the link again: the answers were to the step it was lost at.
        const std::string step = seq_ == kWaitConnect && !lost_step_.empty() ? lost_step_ : StepName(seq_);
        Fail("Simulator restart failed: the simulator answered the " + step + ", but not with the status it needs within " +
             bound + "; " + what + LinkTrouble());
    }
}

void SimMng::Fail(const std::string& text) {
    failed_ = true;
    failure_ = text;
    if (services_.log) services_.log(text);
    Message(text);
    SimRestartMachine(0);
}

void SimMng::SimRestartMachine(int16_t event) {
    // The bound armed when the sequence began runs on through every step:
    // no reply re-arms it, so a simulator that answers but never gets its
    // scenario running ("Arming" for ever) still ends the sequence.
    // What the simulator answered counts from the command of the step on.
    auto step_sent = [this] {
        answered_bytes_ = 0;
        answer_head_.clear();
        status_seen_ = -1;
    };
    auto to_stop_sent = [this, step_sent] {
        step_sent();
        Unchecked(cmd::Stop());
        Message("Sent STOP command to simulator");
        seq_ = kStopSent;
    };
    auto ended = [this, step_sent] {
        Message("Received STOP response from simulator");
        step_sent();
        Unchecked(cmd::Rewind());
        Message("Sent REWIND command to simulator");
        seq_ = kRewindSent;
    };
    auto initialised = [this, step_sent] {
        Message("Received REWIND response from simulator");
        step_sent();
        Unchecked(cmd::Start());
        Message("Sent START command to simulator");
        seq_ = kStartSent;
    };
    auto step_timer = [this](bool again) {
        scenario_config_->SetEnabled(false);
        if (again) scenario_config_->SetEnabled(true);
    };

    if (seq_ != kIdle && event == 0) {
        // A reset also ends the status poll, so no query runs on unseen.
        seq_ = kIdle;
        relinking_ = false;
        status_check_->SetEnabled(false);
        timeout_->SetEnabled(false);
        return;
    }
    switch (seq_) {
    case kIdle:
        timeout_->SetEnabled(false);
        scenario_config_->SetEnabled(false);
        relinking_ = false;
        resume_ = kStatusAsked;
        if (event == 1 && connected_) {
            seq_ = kStatusAsked;
            arming_seen_ = false;
            step_sent();
            Unchecked(cmd::Status());
            ArmTimeout();
        } else if (event == 1 || (event == 12 && !connected_)) {
            // Levels sent into a closed link would read as set: a set-up
            // without a link connects first, then sends them.
            seq_ = kWaitConnect;
            if (event == 12) resume_ = kSwitchOff;
            arming_seen_ = false;
            // A connect already under way is waited for, not closed.
            const int16_t before = link_->State();
            if (before == kClosed || before == kError) ConnectOrClose();
            // A connect that could not even start (no usable host or port)
            // has nothing to wait for; a refused one is tried again.
            const int16_t st = link_->State();
            if (seq_ == kWaitConnect && !relinking_ && (st == kClosed || st == kError)) {
                Fail("Simulator restart: the simulator cannot be connected (" + host_box_ + ":" + port_box_ + ")");
                break;
            }
            scenario_config_->SetEnabled(true);
            ArmTimeout();
        } else if (event == 12) {
            seq_ = kSwitchOff;
            scenario_config_->SetEnabled(true);
        }
        break;
    case kWaitConnect:
        if (event != 5) break;
        if (!connected_) {
            if (relinking_) TryConnectAgain();
            break;
        }
        relinking_ = false;
        if (resume_ == kSwitchOff) {
            // The scenario ran before the link went: its levels again. The
            // set-up steps have no bound of their own.
            timeout_->SetEnabled(false);
            seq_ = kSwitchOff;
            break;
        }
        scenario_config_->SetEnabled(false);
        seq_ = kStatusAsked;
        step_sent();
        Unchecked(cmd::Status());
        break;
    case kStatusAsked:
        if (event == 4) {
            to_stop_sent();
        } else if (event == 6) {
            ended();
        } else if (event == 2) {
            initialised();
        }
        break;
    case kStopSent:
        if (event == 6) ended();
        break;
    case kRewindSent:
        if (event == 2) initialised();
        break;
    case kStartSent:
        if (event == 3) {
            Message("Received ARMING status from simulator");
            arming_seen_ = true;
            status_check_->SetEnabled(true);
        } else if (event == 4) {
            Message("Received RUNNING status from simulator");
            timeout_->SetEnabled(false);
            status_check_->SetEnabled(false);
            seq_ = kSwitchOff;
            scenario_config_->SetEnabled(true);
        }
        break;
    case kSwitchOff:
        if (event != 5) break;
        step_timer(false);
        if (ctl_.SatOff != 0) Unchecked(cmd::TurnOffRestartSat(IsSimTypeOne(), ctl_.SatOff));
        seq_ = kSettle;
        step_timer(true);
        break;
    case kSettle:
        if (event != 5) break;
        step_timer(false);
        // The other-satellites level stays as given; only the settle level goes out now.
        Unchecked(cmd::SetRestartAllPower(IsSimTypeOne(), ctl_.SettlePower));
        seq_ = kSetupDelay;
        delay_start_ = Now();
        step_timer(true);
        break;
    case kSetupDelay: {
        if (event != 5) break;
        const int32_t secs = MakeTimeDifference(Now(), delay_start_);
        if (secs > ctl_.SetupDelay)
            seq_ = kOtherLevel;
        else
            Message("Test Setup Delay: " + std::to_string(ctl_.SetupDelay - secs) + " s");
        break;
    }
    case kOtherLevel:
        if (event != 5) break;
        step_timer(false);
        if (ctl_.OtherPower < 100.0) Unchecked(cmd::SetRestartAllPower(IsSimTypeOne(), ctl_.OtherPower));
        seq_ = kSingleSat;
        step_timer(true);
        break;
    case kSingleSat:
        if (event != 5) break;
        step_timer(false);
        if (ctl_.SingleSatEn == -1)
            Unchecked(cmd::SetRestartSatPower(IsSimTypeOne(), ctl_.SingleSatPower, ctl_.SingleSatChannel));
        seq_ = kDone;
        step_timer(true);
        break;
    case kDone:
        if (event != 5) break;
        step_timer(false);
        ctl_.Completed = true;
        seq_ = kIdle;
        if (losses_ > 1 && services_.log) services_.log("Simulator restart completed" + LinkTrouble());
        break;
    default:
        break;
    }
}

}  // namespace bench::sim
