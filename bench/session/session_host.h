#pragma once
// The main window as the device windows see it: option marks, session
// control and the values kept for all devices, answered by the session
// engine. The Qt main window owns one and hands it to every device window.
#include "bench/devices/bench_host.h"
#include "bench/reports/device_sheet.h"
#include "bench/session/test_engine.h"

namespace bench::session {

// The option marks device code reads, as the menus hold them.
struct DeviceOptionMarks {
    bool TS_ON = false;
    bool NmeaCRC = true;  // checked at start
    bool NTC = false;
    bool CARS_Test_Session = false;
};

class SessionHost final : public BenchHost {
public:
    SessionHost(TestEngine& engine, DeviceOptionMarks& marks) : engine_(engine), marks_(marks) {}

    bool GetTSMsgStatus() const override { return marks_.TS_ON; }
    bool NmeaCRCChecked() const override { return marks_.NmeaCRC; }
    bool NTCChecked() const override { return marks_.NTC; }
    bool GetCARSTestSessionStatus() const override { return marks_.CARS_Test_Session; }

    bool TestSessionRunning() const override { return engine_.SessionRunning(); }
    void StopTestSession() override { engine_.StopSession("a receiver asked for a new test session"); }
    void StartTestSession(const std::string& name) override { engine_.StartTestSession(name); }
    void TestingChangePrimaryLogFile(const std::string& suffix) override {
        engine_.Fanout().TestingChangePrimaryLogFile(suffix);
    }

    void DeviceSetVersionString(int16_t device_id, const std::string& version) override {
        engine_.Fanout().DeviceSetVersionString(device_id, version);
    }
    void DeviceDisable(int16_t device_id) override { engine_.Fanout().DeviceDisable(device_id); }
    void RestartSingleDevice(int16_t port_number) override {
        if (port_number >= 0 && port_number <= 255)
            engine_.Fanout().RestartSingleDevice(static_cast<uint8_t>(port_number));
    }

    void SetPCtoUTCDeltaTime(int32_t seconds) override { engine_.Fanout().SetPCtoUTCDeltaTime(seconds); }
    int32_t GetPCtoUTCDeltaTime() const override { return engine_.Fanout().GetPCtoUTCDeltaTime(); }
    void SetFixAvailableTime(double date_time) override { engine_.Fanout().SetFixAvailableTime(date_time); }
    double FixAvailableTime() const override { return engine_.Fanout().State().FixAvailableTime; }
    int16_t MaxAcceptableTTFF() const override { return engine_.Fanout().State().MaxAcceptableTTFF; }

    void StatusBarMessage(int16_t panel, const std::string& text) override {
        if (auto* status = engine_.Fanout().Services().status) status->StatusBarMessage(panel, text);
    }

    void FormatDeviceTTFFSheet(workbook::Application& excel, workbook::Worksheet& sheet, const std::string& name,
                               int16_t n, int16_t limit) override {
        reports::FormatDeviceTTFFSheet(excel, sheet, name, n, limit);
    }
    void CreateDeviceTTFFChart(workbook::Workbook& book, const std::string& device, const std::string& name,
                               const std::string& data, int16_t r1, int16_t c1, int16_t r2, int16_t c2) override {
        reports::CreateDeviceTTFFChart(book, device, name, data, r1, c1, r2, c2);
    }

private:
    TestEngine& engine_;
    DeviceOptionMarks& marks_;
};

// The session's lines go to the run's system log.
class SystemLogSink final : public ISystemLog {
public:
    void WriteLine(const std::string& text) override;
};

}  // namespace bench::session
