#pragma once
// The LabSat replay unit's controller, `LabSatMng` without its widgets: five
// operations that go either to the unit's local remote server or, in remote
// mode, as text lines over a serial port to a second bench PC; and the relay
// side, which takes lines from that port and runs each on its own server.
//
// Line format (CR LF after each): "SETBIN,<file>", "SETSTART,<n>",
// "SETATTENUATION,<n>", "START", "STOP" at "115200,n,8,1".
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "bench/session/session_ports.h"
#include "platform/comm/serial_port.h"

namespace bench {

// The replay unit's remote server: the five properties the bench sets.
// Each call says whether the unit took it.
class LabSatBackend {
public:
    virtual ~LabSatBackend() = default;
    virtual bool SetRepFile(const std::string& path) = 0;
    virtual bool SetSkipTime(double seconds) = 0;
    virtual bool SetAttenuation(double value) = 0;
    virtual bool StartReplay() = 0;
    virtual bool StopReplay() = 0;
    // "" when the server can take the properties, else why not.
    virtual std::string Unavailable() const { return {}; }
};

// The unit's server runs only on the PC the unit is attached to, under
// another operating system: here every call is refused and said so.
class UnavailableLabSatBackend final : public LabSatBackend {
public:
    explicit UnavailableLabSatBackend(std::function<void(const std::string&)> report) : report_(std::move(report)) {}
    bool SetRepFile(const std::string& path) override { return Refuse("RepFile=" + path); }
    bool SetSkipTime(double seconds) override;
    bool SetAttenuation(double value) override;
    bool StartReplay() override { return Refuse("StartReplay=True"); }
    bool StopReplay() override { return Refuse("StopReplay=True"); }
    std::string Unavailable() const override { return "LabSat local control not available on this platform"; }

private:
    bool Refuse(const std::string& what);
    std::function<void(const std::string&)> report_;
};

constexpr int kRemoteFields = 11;

// The fields of a received line: split at ",", at most 11; the last keeps
// any further commas, less one trailing ",".
std::array<std::string, kRemoteFields> SplitRemoteFields(std::string_view text);

// Cuts a byte stream into lines however it arrives. A line ends at LF; one
// CR before the LF is dropped. A line that grows past kMaxLine bytes without
// its end is thrown away up to the next LF.
class RemoteLineAssembler {
public:
    static constexpr size_t kMaxLine = 4096;
    struct Result {
        std::vector<std::string> lines;
        int oversized = 0;  // lines thrown away
    };
    Result Append(std::string_view bytes);
    const std::string& Pending() const { return buffer_; }

private:
    std::string buffer_;
    bool discarding_ = false;
};

class LabSatMng final : public session::ILabSat {
public:
    using BackendFactory = std::function<std::unique_ptr<LabSatBackend>()>;
    using Report = std::function<void(const std::string&)>;

    // `report` carries failures to the system log and the status bar.
    LabSatMng(std::unique_ptr<platform::SerialLink> port, BackendFactory make_backend, Report report);
    ~LabSatMng() override;

    // --- the five operations ---
    bool LabSatSetBinFile(const std::string& file) override;
    bool LabSatSetStartTime(int32_t seconds) override;
    bool LabSatSetAttenuation(int16_t value) override;
    bool LabSatSetStartReplay() override;
    bool LabSatSetStopReplay() override;

    // "" when an operation can reach the unit now, else why not: the
    // relay's port closed in remote mode, the local server refusing.
    std::string NotReadyReason();

    // --- controls ---
    // "Remote Control": read at each operation.
    void SetRemoteFlag(bool checked);
    bool RemoteFlag() const { return remote_; }
    void RemoteFlag_Click() { changed(); }
    bool Frame2Enabled() const { return remote_; }
    // Port number box.
    void SetPortNumber(int16_t number) { port_number_ = number; }
    int16_t PortNumber() const { return port_number_; }
    // "Start" opens the port, "Stop" closes it.
    void Command1_Click();
    std::string Command1Caption() const { return port_->PortOpen() ? "Stop" : "Start"; }
    // Panel 1: the command word of the last relayed line; panel 2: the line.
    const std::string& Panel(int n) const { return n == 1 ? panel1_ : panel2_; }

    // Test buttons.
    void SetBinTest_Click() { LabSatSetBinFile("c:\\prova.bin"); }
    void SetStartTest_Click() { LabSatSetStartTime(10); }
    void SetAttTest_Click() { LabSatSetAttenuation(1); }
    void StartTest_Click() { LabSatSetStartReplay(); }
    void StopTest_Click() { LabSatSetStopReplay(); }

    // --- relay ---
    // Writes a line to the port; false (and reported) when it is closed or
    // the write fails.
    bool SendRemoteLine(const std::string& text);
    // The receive event of the port.
    void RemoteComm_OnComm();
    // The port's device went away (`reason` names it and the cause).
    void RemoteComm_Lost(const std::string& reason);
    void RunRemoteLine(const std::string& line);

    platform::SerialLink& Port() { return *port_; }
    // The window redraws on this.
    std::function<void()> onChange;

private:
    LabSatBackend& Server();
    // Sends in remote mode, else sets the property through `local`.
    bool Operate(const std::string& line, const std::function<bool(LabSatBackend&)>& local);
    void changed() {
        if (onChange) onChange();
    }

    std::unique_ptr<platform::SerialLink> port_;
    BackendFactory make_backend_;
    Report report_;
    std::unique_ptr<LabSatBackend> server_;
    RemoteLineAssembler assembler_;
    std::array<std::string, kRemoteFields> remote_fields_{};
    bool remote_ = false;
    int16_t port_number_ = 1;
    std::string panel1_, panel2_;
};

}  // namespace bench
