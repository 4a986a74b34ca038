#pragma once
// A receiver's serial port as the device code sees it: a port number, a
// settings text such as "9600,n,8,1", open and close, all waiting input in one
// read, output of text or bytes, the RTS line and a receive notification.
// Errors are BenchError with the numbers below, so ErrorMessageBox can show
// them. Text is bytes: nothing is decoded or translated on the way.
//
// Input comes in chunks, each stamped with the moment it arrived (see
// port_reader.h): whenever the GUI thread gets to them, the bytes keep the
// time they came.
#include "platform/comm/port_reader.h"
#include "platform/core/error.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

namespace err {
constexpr int InvalidPropertyValue = 380;  // a settings text that cannot be applied
constexpr int PortInUse = 8010;            // the device exists but cannot be opened
constexpr int PortNotOpen = 8018;          // output on a closed port
}  // namespace err

// Device path of port number n: the line "n PATH" of ComPorts.txt in the
// program folder, else /dev/ttyS<n-1>.
std::string PortDevicePath(int port_number);

class SerialLink {
public:
    virtual ~SerialLink() = default;

    virtual void SetCommPort(int16_t number) = 0;  // error while open
    virtual int16_t CommPort() const = 0;
    // "baud,parity,data,stop"; a text that cannot be applied is error 380.
    virtual void SetSettings(const std::string& settings) = 0;
    virtual std::string Settings() const = 0;

    // Opening a missing device, an open port, a busy one: BenchError.
    virtual void SetPortOpen(bool open) = 0;
    virtual bool PortOpen() const = 0;

    // The chunks waiting, oldest first, each with its arrival stamp (none
    // when nothing came); a port may hand a babbling receiver's bytes over
    // in several turns, notifying again for the rest. Bytes that arrived
    // before a close are still here.
    virtual std::vector<ReceivedChunk> Input() = 0;
    // Error PortNotOpen when closed.
    virtual void Output(std::string_view bytes) = 0;

    // 0: no receive notification; above 0: notify when input arrives (on the
    // GUI thread, once for whatever arrived meanwhile).
    virtual void SetRThreshold(int threshold) = 0;
    virtual int RThreshold() const = 0;

    // Remembered while closed and applied at open. A port without an RTS
    // line (a pseudo-terminal) ignores it; this never fails the caller.
    virtual void SetRTSEnable(bool on) = 0;
    virtual bool RTSEnable() const = 0;

    void SetReceiveHandler(std::function<void()> handler) { receive_ = std::move(handler); }
    // Called once per opening when the open port's device goes away (a USB
    // adapter unplugged, a pseudo-terminal closed); reason names the device
    // and the system's cause. The port is still open: the handler closes it.
    void SetErrorHandler(std::function<void(const std::string& reason)> handler) { error_ = std::move(handler); }

    // "PATH: cause" of the last open that failed; "" after one that worked.
    virtual std::string LastOpenFailure() const { return {}; }
    // Who holds the port while it is open (a window's caption): named when
    // another port of the program asks for the same device.
    void SetHolderName(std::string name) { holder_ = std::move(name); }
    const std::string& HolderName() const { return holder_; }
    // How the port's own messages name its holder and itself ("Device GPS1:
    // port 3"); "Port 3" when nothing was given.
    void SetReportName(std::string name) { report_name_ = std::move(name); }
    std::string ReportName() const;

protected:
    // Calls the receive handler; exceptions it lets out are noted, never
    // passed to the event loop.
    void NotifyReceive();
    // Calls the error handler the same way.
    void NotifyError(const std::string& reason);

private:
    std::function<void()> receive_;
    std::function<void(const std::string&)> error_;
    std::string holder_;
    std::string report_name_;
};

// Parsed settings text.
struct PortSettings {
    int baud = 9600;
    char parity = 'n';
    int data_bits = 8;
    double stop_bits = 1;
};
// Throws BenchError(InvalidPropertyValue) on a malformed text.
PortSettings ParsePortSettings(const std::string& settings);

// Over QSerialPort on the GUI thread, which opens, sets up, writes and
// switches RTS; a PortReader of its own reads the open descriptor.
class SerialPort final : public SerialLink {
public:
    SerialPort();
    ~SerialPort() override;
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    void SetCommPort(int16_t number) override;
    int16_t CommPort() const override { return number_; }
    void SetSettings(const std::string& settings) override;
    std::string Settings() const override { return settings_; }
    void SetPortOpen(bool open) override;
    bool PortOpen() const override;
    std::vector<ReceivedChunk> Input() override;
    void Output(std::string_view bytes) override;
    void SetRThreshold(int threshold) override;
    int RThreshold() const override { return threshold_; }
    void SetRTSEnable(bool on) override;
    bool RTSEnable() const override { return rts_; }
    std::string LastOpenFailure() const override { return open_failure_; }

    // The device path the port was (or will be) opened on.
    std::string DevicePath() const;
    // The holder's name when another open port of the program has `path`.
    std::string HeldBy(const std::string& path) const;

private:
    struct Impl;
    bool HungUp() const;
    // On the GUI thread, from the reader's inbox: input waits; the device
    // went away (after the last chunk before it was taken).
    void Delivered();
    void Lost(const std::string& cause);
    void StopReader();
    void ApplySettings();
    void ApplyRts();
    std::unique_ptr<Impl> impl_;
    int16_t number_ = 1;
    std::string settings_ = "9600,n,8,1";
    int threshold_ = 0;
    bool rts_ = false;
    bool rts_refusal_noted_ = false;
    std::string open_failure_;
};

}  // namespace platform
