#pragma once
// What device code needs of the main window: its option marks, session
// control, and the few values the main window keeps for all devices. Options
// are read live on every use; nothing caches them. Device windows made by the
// replay window get a host that leaves the live session alone.
#include <cstdint>
#include <string>

#include "platform/core/error.h"

namespace workbook {
class Application;
class Workbook;
class Worksheet;
}  // namespace workbook

namespace bench {

class BenchHost {
public:
    virtual ~BenchHost() = default;

    // Option marks.
    virtual bool GetTSMsgStatus() const = 0;            // "$PQNVTS" satellite source; no checksum check
    virtual bool NmeaCRCChecked() const = 0;            // checksum checking on
    virtual bool NTCChecked() const = 0;                // blocked-time check on
    virtual bool GetCARSTestSessionStatus() const = 0;  // "$PQNVCARS" starts and stops sessions

    // Session control.
    virtual void StopTestSession() = 0;
    virtual void StartTestSession(const std::string& name) = 0;
    virtual void TestingChangePrimaryLogFile(const std::string& suffix) = 0;
    // A test session runs, so its folders exist for the logs to go to.
    virtual bool TestSessionRunning() const { return true; }

    // Device reports.
    virtual void DeviceSetVersionString(int16_t device_id, const std::string& version) = 0;
    virtual void DeviceDisable(int16_t device_id) = 0;
    virtual void RestartSingleDevice(int16_t port_number) = 0;

    // Values the main window keeps.
    virtual void SetPCtoUTCDeltaTime(int32_t seconds) = 0;
    virtual int32_t GetPCtoUTCDeltaTime() const = 0;
    virtual void SetFixAvailableTime(double date_time) = 0;  // time of day of the latest GGA with a fix
    virtual double FixAvailableTime() const = 0;
    virtual int16_t MaxAcceptableTTFF() const = 0;           // seconds, 300 at start

    // Panel numbered from 1; "TEST: " progress lines go to panel 2.
    virtual void StatusBarMessage(int16_t panel, const std::string& text) = 0;
    // A condition that lasts (a port lost, a log that cannot be written),
    // keyed by what it is about: the main window keeps it in view until the
    // same key comes with an empty text. Without such a window, the text
    // goes to panel 2 once.
    virtual void StatusBarNotice(const std::string& key, const std::string& text) {
        (void)key;
        if (!text.empty()) StatusBarMessage(2, text);
    }

    // The layout of a test's sheet and chart in the device's own workbook,
    // which the report builders own. A host without them refuses.
    virtual void FormatDeviceTTFFSheet(workbook::Application&, workbook::Worksheet&, const std::string&, int16_t,
                                       int16_t) {
        throw platform::BenchError(platform::err::BadArgument, "No device workbook layout here");
    }
    virtual void CreateDeviceTTFFChart(workbook::Workbook&, const std::string&, const std::string&,
                                       const std::string&, int16_t, int16_t, int16_t, int16_t) {
        throw platform::BenchError(platform::err::BadArgument, "No device workbook layout here");
    }
};

}  // namespace bench
