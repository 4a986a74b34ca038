#pragma once
// The bench's timers. Their rules are the ones every timer-driven wait of the
// bench is written against:
//   - enabling an enabled timer does not restart its count;
//   - disabling then enabling restarts it;
//   - an interval of 0 (or less) never fires;
//   - changing the interval of an enabled timer restarts it;
//   - a tick handler is never re-entered.
// Code holds a `Timer&` so tests can step a fake one by hand.
#include <functional>
#include <memory>

class QTimer;

namespace platform {

class Timer {
public:
    virtual ~Timer() = default;
    virtual void SetEnabled(bool on) = 0;
    virtual bool Enabled() const = 0;
    virtual void SetInterval(int ms) = 0;
    virtual int Interval() const = 0;

    // The handler runs on each tick. Exceptions it lets out are caught and
    // noted (they must never cross the event loop).
    void SetTickHandler(std::function<void()> handler) { handler_ = std::move(handler); }

protected:
    // Runs the handler unless it is already running.
    void Fire();

private:
    std::function<void()> handler_;
    bool in_tick_ = false;
};

// Over QTimer, on the thread that creates it (the GUI thread).
class QtTimer final : public Timer {
public:
    explicit QtTimer(int interval_ms = 0, bool enabled = false);
    ~QtTimer() override;
    QtTimer(const QtTimer&) = delete;
    QtTimer& operator=(const QtTimer&) = delete;

    void SetEnabled(bool on) override;
    bool Enabled() const override { return enabled_; }
    void SetInterval(int ms) override;
    int Interval() const override { return interval_; }

private:
    void Rearm();
    std::unique_ptr<QTimer> timer_;
    int interval_;
    bool enabled_;
};

// A timer that ticks only when told to: the stand-in for windowless devices
// and for tests that step machines by hand. Keeps the same rules as QtTimer.
class ManualTimer final : public Timer {
public:
    explicit ManualTimer(int interval_ms = 0, bool enabled = false) : interval_(interval_ms), enabled_(enabled) {}
    void SetEnabled(bool on) override {
        if (on == enabled_) return;
        enabled_ = on;
        if (on) ++restarts_;
    }
    bool Enabled() const override { return enabled_; }
    void SetInterval(int ms) override {
        interval_ = ms;
        if (enabled_) ++restarts_;
    }
    int Interval() const override { return interval_; }
    // Runs the handler when the timer would fire; true when it did.
    bool Tick() {
        if (!enabled_ || interval_ <= 0) return false;
        Fire();
        return true;
    }
    // How many times the count was started afresh.
    int Restarts() const { return restarts_; }

private:
    int interval_;
    bool enabled_;
    int restarts_ = 0;
};

}  // namespace platform
