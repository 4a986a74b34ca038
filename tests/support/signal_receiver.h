#pragma once
// A receiver under a simulator's signal, on a pseudo-terminal. It sends one
// epoch per UTC second (GGA, GSA, GSV with C/N0, RMC), `latency_ms` after the
// second starts, stamped with that second, as receivers do. While it tracks,
// its eight satellites have C/N0 and the GGA a fix; while it does not, no
// C/N0 and no fix. A signal switched off is noticed `loss_epochs` epochs
// later; a signal switched on is tracked again `reacquire_ms` later (the
// first epoch after that). A hot-start command loses the fix for `hot_ms`.
// Every outage is recorded on the steady clock, so tests compare the
// bench's time to track again with what the receiver did.
#include "tests/support/emulated_receiver.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class QTimer;

namespace test {

class SignalReceiver : public EmulatedReceiver {
public:
    struct Plan {
        std::string hot_command = "$PQNVHOT";
        std::string startup = "$PQNVRST,HOT,EMU 2.0";
        int hot_ms = 1000;
        int reacquire_ms = 2000;
        int loss_epochs = 2;
        int latency_ms = 10;
        std::string latitude = "4807.038,N";
        std::string longitude = "01131.000,E";
    };
    struct Outage {
        int64_t off_ms = -1;               // the simulator switched the signal off
        int64_t lost_ms = -1;              // first epoch without satellites
        int64_t on_ms = -1;                // the simulator switched it on
        std::vector<int64_t> tracked_ms;   // epochs with satellites after that (up to 20)
    };

    explicit SignalReceiver(Plan plan);
    ~SignalReceiver() override;

    // The simulator's signal (wire to FakeSimServer::OnSignal).
    void Signal(bool on);
    void SetReacquireMs(int ms) { plan_.reacquire_ms = ms; }

    bool Tracking() const { return tracking_; }
    int HotStarts() const { return hot_starts_; }
    const std::vector<Outage>& Outages() const { return outages_; }
    // Steady ms of the epoch stamped with this UTC second of the day (-1: none yet).
    int64_t EpochSentMs(int32_t utc_second) const;

private:
    void Arm();
    void Epoch();
    std::string Sentences(const std::string& time, const std::string& date) const;

    Plan plan_;
    std::unique_ptr<QTimer> timer_;
    bool signal_ = true;
    bool tracking_ = true;
    int loss_countdown_ = -1;
    int64_t regain_at_ms_ = -1;  // steady ms from which the receiver tracks again
    int hot_starts_ = 0;
    std::vector<Outage> outages_;
    std::vector<std::pair<int32_t, int64_t>> epochs_;  // UTC second, steady ms (recent)
};

}  // namespace test
