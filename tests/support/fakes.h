#pragma once
// Stand-ins for the main window and for a serial port, recording what device
// code asks of them.
#include "bench/devices/bench_host.h"
#include "platform/comm/serial_port.h"

#include <optional>
#include <string>
#include <vector>

namespace test {

// The main window as device code sees it. Options start as the menus show
// them at start-up; every call is recorded.
class FakeBenchHost : public bench::BenchHost {
public:
    bool TsOn = false;
    bool CrcOn = true;
    bool NtcOn = false;
    bool CarsOn = false;
    bool SessionOn = true;
    int32_t PCtoUTCDelta = 0;
    double FixTime = 0;
    int16_t MaxTTFF = 300;

    std::vector<std::string> Calls;  // "StopTestSession", "StartTestSession _TD_3_L_7", ...
    std::vector<int16_t> Disabled;
    std::vector<int16_t> Restarted;
    std::vector<std::pair<int16_t, std::string>> Versions;
    std::vector<std::pair<int16_t, std::string>> StatusMessages;

    bool GetTSMsgStatus() const override { return TsOn; }
    bool NmeaCRCChecked() const override { return CrcOn; }
    bool NTCChecked() const override { return NtcOn; }
    bool GetCARSTestSessionStatus() const override { return CarsOn; }
    bool TestSessionRunning() const override { return SessionOn; }
    void StopTestSession() override { Calls.push_back("StopTestSession"); }
    void StartTestSession(const std::string& name) override { Calls.push_back("StartTestSession " + name); }
    void TestingChangePrimaryLogFile(const std::string& suffix) override {
        Calls.push_back("TestingChangePrimaryLogFile " + suffix);
    }
    void DeviceSetVersionString(int16_t id, const std::string& v) override { Versions.emplace_back(id, v); }
    void DeviceDisable(int16_t id) override { Disabled.push_back(id); }
    void RestartSingleDevice(int16_t port) override { Restarted.push_back(port); }
    void SetPCtoUTCDeltaTime(int32_t s) override { PCtoUTCDelta = s; }
    int32_t GetPCtoUTCDeltaTime() const override { return PCtoUTCDelta; }
    void SetFixAvailableTime(double t) override { FixTime = t; }
    double FixAvailableTime() const override { return FixTime; }
    int16_t MaxAcceptableTTFF() const override { return MaxTTFF; }
    void StatusBarMessage(int16_t panel, const std::string& text) override { StatusMessages.emplace_back(panel, text); }
};

// A serial port in memory: Inject() makes input wait and raises the receive
// notification (when RThreshold > 0); Output is recorded.
class FakeSerialLink : public platform::SerialLink {
public:
    bool Exists = true;        // opening a missing port fails like a real one
    bool FailWrites = false;   // Output raises a device I/O error
    std::string Written;       // every byte output
    std::vector<std::string> Writes;  // each Output call
    std::vector<bool> RtsChanges;
    int Opens = 0;

    void SetCommPort(int16_t n) override;
    int16_t CommPort() const override { return number_; }
    void SetSettings(const std::string& s) override;
    std::string Settings() const override { return settings_; }
    void SetPortOpen(bool open) override;
    bool PortOpen() const override { return open_; }
    std::vector<platform::ReceivedChunk> Input() override;
    void Output(std::string_view bytes) override;
    void SetRThreshold(int t) override { threshold_ = t; }
    int RThreshold() const override { return threshold_; }
    void SetRTSEnable(bool on) override {
        rts_ = on;
        RtsChanges.push_back(on);
    }
    bool RTSEnable() const override { return rts_; }

    // Input arrives at `at` (the real clock's now when none is given);
    // notifies when the port is open and RThreshold > 0.
    void Inject(std::string_view bytes, std::optional<platform::Stamp> at = std::nullopt);

private:
    int16_t number_ = 1;
    std::string settings_ = "9600,n,8,1";
    bool open_ = false;
    int threshold_ = 0;
    bool rts_ = false;
    std::vector<platform::ReceivedChunk> pending_;
};

}  // namespace test
