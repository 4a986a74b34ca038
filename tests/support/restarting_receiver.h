#pragma once
// An emulated receiver that restarts on command: it streams GGA sentences,
// answers the restart command with its start-up text, reports no fix for a
// chosen delay and then a fix. The moments it wrote the start-up text and
// the first fix are kept on the steady clock, so tests compare the bench's
// TTFF with what the receiver really did.
#include "tests/support/emulated_receiver.h"

#include <cstdint>
#include <memory>
#include <string>

class QTimer;

namespace test {

class RestartingReceiver : public EmulatedReceiver {
public:
    struct Plan {
        std::string command = "$PQNVCOLD";        // a received line containing this is the restart
        std::string startup = "$PQNVRST,COLD,EMU 1.0";  // sentence body sent when restarting
        int fix_delay_ms = 1000;                  // from the start-up text to the first fix
        int gga_interval_ms = 100;                // GGA output period
        int ignore_commands = 0;                  // commands dropped before one is answered
        bool fixes = true;                        // false: no fix after a restart
    };

    explicit RestartingReceiver(Plan plan);
    ~RestartingReceiver() override;

    // Applies to the next restart (the stream keeps its period).
    void SetPlan(const Plan& plan) { plan_ = plan; }
    const Plan& GetPlan() const { return plan_; }

    int CommandsSeen() const { return commands_seen_; }
    int Restarts() const { return restarts_; }
    bool HasFix() const { return has_fix_; }
    // Steady-clock milliseconds of the last start-up text and of the first
    // fix after it (-1: not yet).
    int64_t StartupSentMs() const { return startup_ms_; }
    int64_t FixSentMs() const { return fix_ms_; }

    // The GGA sentence the receiver sends now.
    std::string CurrentGga() const;

    static int64_t SteadyMs();

private:
    void Restart();
    Plan plan_;
    int commands_seen_ = 0;
    int restarts_ = 0;
    bool has_fix_ = true;  // running with a fix until told to restart
    int64_t startup_ms_ = -1;
    int64_t fix_ms_ = -1;
    std::unique_ptr<QTimer> fix_timer_;
};

}  // namespace test
