#pragma once
// The simulator controller behind the simulator window: the link and its
// state, the reply status, every remote command in both dialects and the
// restart sequence (stop, rewind, start, wait until running, then the
// set-up levels). Widget-free: the window shows its panels and boxes and
// forwards its buttons; the test engine and the scripts call it directly.
//
// Waits on the simulator are bounded: a restart whose scenario is not
// running within kInstrumentAnswerTimeoutMs of its start (however the
// simulator answers meanwhile) ends it as failed (system log and status
// bar), never silently. A link that goes down during the sequence (a
// simulator that closes at the rewind and refuses for a while) is connected
// again once a second within that same bound; only then does it fail.
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "bench/instruments/sim_link.h"
#include "bench/instruments/sim_protocol.h"
#include "bench/session/session_ports.h"

namespace platform {
class Clock;
class Timer;
}  // namespace platform

namespace bench::sim {

// The arguments of the last restart.
struct SimControl {
    double OtherPower = 0;       // all satellites after the delay; 100 or more: leave
    int16_t SatOff = 0;          // satellite switched off once running; 0: none
    double SingleSatPower = 0;   // level of one channel
    int16_t SingleSatChannel = 0;
    int16_t SingleSatEn = 0;     // -1: set that channel's level
    int16_t SetupDelay = 0;      // seconds at the settle level
    double SettlePower = 0;      // all satellites during the delay
    bool Completed = false;
};

// Restart sequence states.
enum SeqState : int16_t {
    kIdle = 0,
    kStopSent = 1,
    kRewindSent = 2,
    kStartSent = 3,
    kSwitchOff = 4,
    kOtherLevel = 5,
    kSingleSat = 6,
    kDone = 7,
    kSettle = 8,
    kSetupDelay = 9,
    kStatusAsked = 10,
    kWaitConnect = 11,
};

// What the controller reaches outside itself.
struct SimServices {
    platform::Clock* clock = nullptr;
    session::IStatusBar* mainStatus = nullptr;                  // progress, panel 1
    std::function<void(const std::string&)> log;                // one system-log line
    std::function<void(const std::string&, const std::string&)> warnUser;  // text, title; never waited on
};

class SimMng final : public session::ISimulator {
public:
    // Timers: status check (1000 ms), scenario configuration (1000 ms) and
    // the answer time-out; all off at creation.
    SimMng(std::unique_ptr<SimTransport> link, std::unique_ptr<platform::Timer> status_check,
           std::unique_ptr<platform::Timer> scenario_config, std::unique_ptr<platform::Timer> timeout,
           SimServices services);
    ~SimMng() override;
    SimMng(const SimMng&) = delete;
    SimMng& operator=(const SimMng&) = delete;

    // --- buttons (a closed link shows the warning box) ---
    void Connect_Command_Click();
    void Stop_Command_Click();
    void Status_Command_Click();
    void Rewind_Command_Click();
    // The level box's text; a text that is no number sends nothing.
    void SetPower_Command_Click(const std::string& level_box);
    void Start_Command_Click() override;
    void Command1_Click();  // the time query
    // Runs a full restart with the level box's number for the other satellites.
    void AutoSetUp_Command_Click(const std::string& level_box);

    // --- operations of the engine and the scripts ---
    void SimRestart(double power, int16_t restart_arg, double first_sat_power, int16_t first_sat_channel,
                    int16_t first_sat_en, int16_t setup_time, double sim_power, bool full_restart) override;
    void SimInitialize() {}
    bool IsSimMngCompleted() override { return ctl_.Completed; }
    bool IsSimMngFailed() override { return failed_; }
    bool SimLinkUp() override { return link_->State() == kConnected; }
    int16_t GetSimStatus() override;
    bool SimLoadScenario(const std::string& file);
    bool SimStartScenario() { return Checked(cmd::Start()); }
    bool SimStopScenario() { return Checked(cmd::Stop()); }
    bool SimRewindScenario() { return Checked(cmd::Rewind()); }
    void SimSetPower(double level) override;
    bool SimIncreasePower(double step);
    bool SimDecreasePower(double step);
    bool SimSetSatPower(int16_t sat, double level);
    bool SimIncreaseSatPower(int16_t sat, double step);
    bool SimDecreaseSatPower(int16_t sat, double step);
    void SimSetChPower(const std::string& time, int16_t ch, double level) override;
    bool SimIncreaseChPower(int16_t ch, double step);
    bool SimDecreaseChPower(int16_t ch, double step);
    bool SimTurnSatONOFF(int16_t sat, int16_t on);
    void SimTurnChONOFF(const std::string& time, int16_t ch, int16_t on) override;
    void SimTurnAllONOFF(const std::string& time, int16_t on) override;
    // Fills the host and port boxes and connects unless connected.
    void SimConnect(const std::string& host, const std::string& port);

    // --- identity (from the configuration) ---
    void SetSimType(const std::string& model);
    void SetSimHostName(const std::string& host);
    void SetSimName(const std::string& name) { name_ = name; Changed(); }
    void SetSimHostPort(int32_t port);
    int16_t GetSimType() const { return type_; }
    bool IsSimTypeOne() const { return type_ == 1; }
    bool GetSimConnectionStatus() const { return connected_; }
    void SetSimConnectionStatus(bool on) { connected_ = on; }
    const std::string& SimHostName() const { return host_; }
    const std::string& SimName() const { return name_; }
    int32_t SimHostPort() const { return port_; }

    // --- what the window shows ---
    const std::string& Panel(int n) const { return panels_[static_cast<size_t>(n - 1)]; }  // 1..3
    const std::string& HostBox() const { return host_box_; }
    const std::string& PortBox() const { return port_box_; }
    void SetHostBox(const std::string& text) { host_box_ = text; }
    void SetPortBox(const std::string& text) { port_box_ = text; }
    int16_t SocketState() const { return link_->State(); }
    int16_t LastSimStatus() const { return last_status_; }
    int16_t CurrentPower() const { return level_; }
    int16_t SequenceState() const { return seq_; }
    const SimControl& Control() const { return ctl_; }
    const std::string& FailureText() const { return failure_; }
    std::function<void()> changed;  // panels or boxes changed

    // The timers, for their owner and for tests that tick them by hand.
    platform::Timer& StatusCheckTimer() { return *status_check_; }
    platform::Timer& SimScenarioConfigTimer() { return *scenario_config_; }
    platform::Timer& TimeoutTimer() { return *timeout_; }
    // One step of the restart sequence (events 0..6 and 12).
    void SimRestartMachine(int16_t event);
    // The bound on the restart's wait for the simulator (tests shorten it).
    void SetAnswerTimeoutMs(int ms) { answer_timeout_ms_ = ms; }

private:
    void ConnectOrClose();
    bool Checked(const std::string& command);
    bool Unchecked(const std::string& command);
    bool SendOrLog(const std::string& command, bool warn_box);
    void OnData(const std::string& bytes);
    void OnConnected();
    void OnLinkLost(const std::string& why);
    // The link went down while the sequence runs: connect again, then go on.
    void Relink(const std::string& why);
    void TryConnectAgain();
    void ShowSocketState();
    void Panel(int n, const std::string& text);
    void ForgetFailedAttempt();
    void Message(const std::string& text);
    void Changed();
    void ArmTimeout();
    void OnTimeout();
    void Fail(const std::string& text);
    // What the simulator said in an <error> or <fatal> element, and what the
    // bench does about it: a fatal one ends a restart at once.
    void Answered(const std::string& kind, const std::string& text);
    // "; the link was lost N times ..." for a restart's outcome ("" when it held).
    std::string LinkTrouble() const;
    void StatusTick();
    double Now() const;
    bool ParsePort(const std::string& text, uint16_t& port);

    std::unique_ptr<SimTransport> link_;
    std::unique_ptr<platform::Timer> status_check_, scenario_config_, timeout_;
    SimServices services_;
    ReplyParser parser_;

    int16_t type_ = 0;
    std::string host_, name_;
    int32_t port_ = 15650;
    std::string host_box_, port_box_ = "15650";
    bool connected_ = false;
    int16_t level_ = 0;
    int16_t last_status_ = 0;
    std::array<std::string, 3> panels_{};

    SimControl ctl_;
    int16_t seq_ = kIdle;
    double delay_start_ = 0;
    bool failed_ = false;
    bool arming_seen_ = false;     // the scenario answered "Arming" since START
    bool relinking_ = false;       // the sequence waits for its lost link
    int16_t resume_ = kStatusAsked;  // where a relinked sequence goes on
    std::string lost_why_;         // why the link went down
    std::string failure_;
    int answer_timeout_ms_;
    bool closing_ = false;         // our own close: not a lost link
    bool down_logged_ = false;     // one "not sent" line per down episode
    bool dropped_logged_ = false;  // one line per connection for unclosed reply elements
    int interactive_ = 0;          // inside a button click
    // What the simulator did during the present restart, for its outcome.
    size_t answered_bytes_ = 0;    // bytes it sent
    std::string answer_head_;      // the last answer that held no reply element, cut to a line
    int16_t status_seen_ = -1;     // the last status it reported (-1: none)
    int losses_ = 0;               // times the link went down
    int reconnects_ = 0;           // times it was connected again
    std::string lost_step_;        // the step of the last loss
    std::string said_;             // the last <error>/<fatal> text logged
};

}  // namespace bench::sim
