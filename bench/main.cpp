// For now the bench opens one device window on the first port listed in
// ComPorts.txt in the program folder (port 1 when none is), so a receiver
// can be watched before sessions are run.
#include "bench/devices/bench_host.h"
#include "bench/devices/comm_window.h"
#include "bench/devices/system_log.h"
#include "platform/core/numtext.h"
#include "platform/qt/program_folder.h"

#include <QApplication>
#include <fstream>
#include <sstream>

namespace {

// The main window's side while there is no main window: options as at start.
class StandaloneHost : public bench::BenchHost {
public:
    bool GetTSMsgStatus() const override { return false; }
    bool NmeaCRCChecked() const override { return true; }
    bool NTCChecked() const override { return false; }
    bool GetCARSTestSessionStatus() const override { return false; }
    void StopTestSession() override {}
    void StartTestSession(const std::string&) override {}
    void TestingChangePrimaryLogFile(const std::string&) override {}
    void DeviceSetVersionString(int16_t, const std::string&) override {}
    void DeviceDisable(int16_t) override {}
    void RestartSingleDevice(int16_t) override {}
    void SetPCtoUTCDeltaTime(int32_t s) override { delta_ = s; }
    int32_t GetPCtoUTCDeltaTime() const override { return delta_; }
    void SetFixAvailableTime(double t) override { fix_time_ = t; }
    double FixAvailableTime() const override { return fix_time_; }
    int16_t MaxAcceptableTTFF() const override { return 300; }
    void StatusBarMessage(int16_t, const std::string&) override {}

private:
    int32_t delta_ = 0;
    double fix_time_ = 0;
};

int16_t FirstListedPort() {
    std::ifstream in(platform::ProgramFile("ComPorts.txt"));
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        int number = 0;
        if (fields >> number && number > 0 && number <= 32767) return static_cast<int16_t>(number);
    }
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    app.setApplicationName("Fixbench");
    try {
        bench::OpenSystemLog();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "system log not opened: %s\n", e.what());
    }
    StandaloneHost host;
    bench::CommWindow window(&host);
    window.SetDeviceType(0);
    window.SetDeviceName("GPS1");
    window.SetDeviceID(0);
    window.SetDeviceComParams(FirstListedPort(), 9600);
    window.DeviceEnableDataDecoding();
    window.show();
    window.OpenPort_Click();
    int rc = app.exec();
    bench::CloseSystemLog();
    return rc;
}
