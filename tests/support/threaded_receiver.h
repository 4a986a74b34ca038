#pragma once
// A receiver on a pseudo-terminal that runs on a thread of its own, so it
// goes on sending, answering and timing what it writes whatever the bench's
// GUI thread is doing. It streams GGA sentences, answers the restart
// command with its start-up text and reports a fix a chosen delay later.
// The moments it wrote the start-up text and the first fix are kept on the
// steady clock (the clock the bench stamps its input with), so a test or a
// benchmark compares the bench's TTFF with what the receiver really did.
//
// Hooks run on the receiver's thread just before it writes the start-up
// text or the fix; a hook that holds the GUI thread there makes those bytes
// arrive while the bench's windows cannot read them.
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace test {

class ThreadedReceiver {
public:
    struct Plan {
        std::string command = "$PQNVCOLD";              // a received line containing this is the restart
        std::string startup = "$PQNVRST,COLD,EMU 1.0";  // sentence body sent when restarting
        int fix_delay_ms = 700;                         // from the start-up text to the first fix
        int gga_interval_ms = 100;                      // GGA output period
    };

    explicit ThreadedReceiver(Plan plan);
    ~ThreadedReceiver();
    ThreadedReceiver(const ThreadedReceiver&) = delete;
    ThreadedReceiver& operator=(const ThreadedReceiver&) = delete;

    const std::string& DevicePath() const { return path_; }
    // Adds "number path" to ComPorts.txt in the program folder.
    void RegisterPort(int number);

    // For the next restart.
    void SetFixDelay(int ms) { fix_delay_ms_ = ms; }
    // Run on the receiver's thread right before the start-up text and the
    // fix are written (empty: none).
    void SetBeforeStartup(std::function<void()> hook);
    void SetBeforeFix(std::function<void()> hook);

    int Restarts() const { return restarts_; }
    // Steady-clock microseconds of the last start-up text and of the first
    // fix after it, each taken as its write began (-1: not yet).
    int64_t StartupWrittenUs() const { return startup_us_; }
    int64_t FixWrittenUs() const { return fix_us_; }
    // Seconds from the last start-up text to its fix, as the receiver wrote
    // them (negative while the fix is still to come).
    double WrittenTtff() const;
    // The same for every restart so far that had its fix, in order.
    std::vector<double> WrittenTtffs() const;

    // Microseconds of the steady clock, as the bench's stamps count.
    static int64_t SteadyUs();

private:
    void Run();
    void Send(const std::string& bytes);
    std::string Gga() const;

    Plan plan_;
    int master_ = -1;
    int slave_ = -1;
    int wake_[2] = {-1, -1};
    std::string path_;
    std::atomic<int> fix_delay_ms_;
    std::atomic<int> restarts_{0};
    std::atomic<int64_t> startup_us_{-1};
    std::atomic<int64_t> fix_us_{-1};
    std::atomic<bool> stop_{false};
    bool has_fix_ = true;  // on the receiver's thread only
    mutable std::mutex mutex_;  // the hooks and the history
    std::vector<double> ttffs_;
    std::function<void()> before_startup_;
    std::function<void()> before_fix_;
    std::thread thread_;
};

// Runs `work` on the GUI thread (posted to its event loop) and returns once
// it has begun there, so that what the caller does next happens while the
// GUI thread is inside it; false when the GUI thread did not get to it
// within `timeout_ms`. Called from another thread.
bool RunOnGuiThreadAndWaitForItToBegin(std::function<void()> work, int timeout_ms = 5000);

// Holds the GUI thread for `ms` in one blocking sleep, starting before this
// returns (see RunOnGuiThreadAndWaitForItToBegin).
bool HoldGuiThread(int ms);

}  // namespace test
