#pragma once
// A simulator controller over a link in memory, manual timers and a fake
// clock, so its replies and its restart sequence are stepped by hand.
#include <memory>
#include <string>
#include <vector>

#include "bench/instruments/sim_mng.h"
#include "platform/qt/bench_timer.h"
#include "tests/support/fake_clock.h"
#include "tests/support/fake_session_env.h"

namespace simtest {

using namespace bench::sim;

class MemoryLink : public SimTransport {
public:
    int16_t state = kClosed;
    std::vector<std::string> sent;
    std::vector<std::pair<std::string, uint16_t>> connects;
    int closes = 0;

    int16_t State() const override { return state; }
    void Connect(const std::string& host, uint16_t port) override {
        connects.emplace_back(host, port);
        state = kConnecting;
    }
    void Close() override {
        ++closes;
        state = kClosed;
        if (onClosed) onClosed();
    }
    bool Send(const std::string& bytes) override {
        if (state != kConnected) return false;
        sent.push_back(bytes);
        return true;
    }
    std::string PeerName() const override { return "simhost"; }
    std::string ErrorText() const override { return "Connection refused"; }

    // The peer's side of things.
    void Accept() {
        state = kConnected;
        if (onStateChanged) onStateChanged();
        if (onConnected) onConnected();
    }
    void Reply(const std::string& bytes) {
        if (onData) onData(bytes);
    }
    void Status(int n) { Reply("<status>" + std::to_string(n) + "</status>"); }
    void PeerCloses() {
        state = kClosed;
        if (onStateChanged) onStateChanged();
        if (onClosed) onClosed();
    }
    void Refuse() {
        state = kError;
        if (onStateChanged) onStateChanged();
        if (onError) onError();
    }
};

struct Fixture {
    MemoryLink* link;
    platform::ManualTimer* statusCheck;
    platform::ManualTimer* config;
    platform::ManualTimer* timeout;
    test::FakeClock clock;
    fakes::FakeStatusBar status;
    std::vector<std::string> log;
    std::vector<std::string> warnings;
    std::unique_ptr<SimMng> sim;

    explicit Fixture(int type = 0) {
        auto l = std::make_unique<MemoryLink>();
        auto a = std::make_unique<platform::ManualTimer>();
        auto b = std::make_unique<platform::ManualTimer>();
        auto c = std::make_unique<platform::ManualTimer>();
        link = l.get();
        statusCheck = a.get();
        config = b.get();
        timeout = c.get();
        SimServices s;
        s.clock = &clock;
        s.mainStatus = &status;
        s.log = [this](const std::string& t) { log.push_back(t); };
        s.warnUser = [this](const std::string& t, const std::string& title) { warnings.push_back(title + ": " + t); };
        sim = std::make_unique<SimMng>(std::move(l), std::move(a), std::move(b), std::move(c), std::move(s));
        sim->SetSimType(type == 1 ? "GSS7700" : "STR4500");
    }

    void Connect() {
        sim->SetSimHostName("simhost");
        sim->Connect_Command_Click();
        link->Accept();
    }

    // One tick of the scenario timer, one second later.
    void Tick() {
        clock.Advance(1000);
        config->Tick();
    }
};

}  // namespace simtest
