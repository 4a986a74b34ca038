#pragma once
// A receiver that plays a script of restarts on a pseudo-terminal, for whole
// sessions run on the real clock. It sends one epoch a second (GGA, and GSA,
// GSV, RMC when wanted) without a fix until told to restart; it answers the
// restart command with its start-up text and, after the delay the script
// gives that restart, sends the epoch with its first fix and keeps the fix
// until the next restart. Every restart is recorded on the steady clock
// with the exact GGA sentence of its first fix, so a test compares the
// bench's files with what the receiver really did.
#include "tests/support/emulated_receiver.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class QTimer;

namespace test {

class ScriptedReceiver : public EmulatedReceiver {
public:
    struct Script {
        std::string restart_command = "$PQNVCOLD";     // a received line containing this restarts
        std::string startup = "$PQNVRST,COLD,EMU 1.0";  // sentence body sent when restarting
        std::vector<int> fix_delays_ms{1000};  // delay of restart k (the last repeats)
        int epoch_ms = 1000;                   // output period
        int ignore_commands = 0;               // restart commands dropped before one is answered
        bool fixes = true;                     // false: no fix after a restart
        bool gsa = true, gsv = true, rmc = true;
        bool qnv_time = false;  // "$PQNVTG" (GPS week and whole seconds of the week) after the RMC
        std::string latitude = "4807.038,N";   // GGA fields 2-3 of the fix
        std::string longitude = "01131.000,E";  // GGA fields 4-5 of the fix
    };

    // One answered restart.
    struct Restart {
        int64_t command_ms = -1;  // steady ms when the command line arrived
        int64_t startup_ms = -1;  // when the start-up text went out
        int64_t fix_ms = -1;      // when the first fix went out (-1: not yet)
        int delay_ms = 0;         // the delay the script gave it
        std::string fix_gga;      // the GGA sentence of the first fix, with CR LF
        std::string fix_epoch;    // every sentence of that epoch, the GGA first
    };

    explicit ScriptedReceiver(Script script);
    ~ScriptedReceiver() override;

    const Script& GetScript() const { return script_; }
    const std::vector<Restart>& Restarts() const { return restarts_; }
    // Restart command lines received (answered or not).
    int CommandsSeen() const { return commands_seen_; }
    bool HasFix() const { return has_fix_; }
    // Every byte the receiver has sent, in order.
    const std::string& Sent() const { return sent_; }

    // Received lines that contain the restart command, counted from byte
    // `from` of Received() (a line that starts before it is not counted).
    int CommandLinesAfter(size_t from) const;

    // The sentences of one epoch as they would go out now.
    std::string Epoch() const;

    static int64_t SteadyMs();

private:
    void Send(const std::string& bytes);
    void Answer();
    void SendFix();
    std::string Gga(const std::string& time) const;
    // The epoch as it goes out at system-clock millisecond `ms`.
    std::string EpochAt(int64_t ms) const;

    Script script_;
    std::vector<Restart> restarts_;
    int commands_seen_ = 0;
    bool has_fix_ = false;
    std::string sent_;
    std::unique_ptr<QTimer> fix_timer_;
};

}  // namespace test
