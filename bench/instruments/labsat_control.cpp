#include "bench/instruments/labsat_control.h"

#include "bench/devices/system_log.h"
#include "platform/core/numtext.h"

namespace bench {

namespace {
constexpr const char* kRemoteSettings = "115200,n,8,1";
constexpr const char* kCrLf = "\r\n";
}  // namespace

// --- the refused local server ---

bool UnavailableLabSatBackend::SetSkipTime(double seconds) {
    return Refuse("SetSkipTime=" + platform::NumberToText(seconds));
}

bool UnavailableLabSatBackend::SetAttenuation(double value) {
    return Refuse("SetAttenuation=" + platform::NumberToText(value));
}

bool UnavailableLabSatBackend::Refuse(const std::string& what) {
    if (report_) report_(Unavailable() + ": " + what);
    return false;
}

// --- line format ---

std::array<std::string, kRemoteFields> SplitRemoteFields(std::string_view text) {
    std::array<std::string, kRemoteFields> f{};
    if (text.empty()) return f;
    const size_t len = text.size();
    size_t start = 0;
    int taken = 0;
    size_t comma = text.find(',', start);
    while (comma != std::string_view::npos && comma != len - 1 && taken < kRemoteFields - 1) {
        f[taken++] = std::string(text.substr(start, comma - start));
        start = comma + 1;
        comma = text.find(',', start);
    }
    std::string_view rest = text.substr(start);
    if (!rest.empty() && rest.back() == ',') rest.remove_suffix(1);
    f[taken] = std::string(rest);
    return f;
}

RemoteLineAssembler::Result RemoteLineAssembler::Append(std::string_view bytes) {
    Result r;
    size_t pos = 0;
    while (pos < bytes.size()) {
        const size_t lf = bytes.find('\n', pos);
        const size_t end = lf == std::string_view::npos ? bytes.size() : lf;
        if (!discarding_) buffer_.append(bytes.substr(pos, end - pos));
        if (lf == std::string_view::npos) {
            // Room for the CR that may still come before the LF.
            if (!discarding_ && buffer_.size() > kMaxLine + 1) {
                buffer_.clear();
                discarding_ = true;
                ++r.oversized;
            }
            break;
        }
        if (discarding_) {
            discarding_ = false;
        } else {
            if (!buffer_.empty() && buffer_.back() == '\r') buffer_.pop_back();
            if (buffer_.size() > kMaxLine)
                ++r.oversized;
            else
                r.lines.push_back(buffer_);
            buffer_.clear();
        }
        pos = lf + 1;
    }
    return r;
}

// --- the controller ---

LabSatMng::LabSatMng(std::unique_ptr<platform::SerialLink> port, BackendFactory make_backend, Report report)
    : port_(std::move(port)), make_backend_(std::move(make_backend)), report_(std::move(report)) {
    port_->SetReceiveHandler([this] { RemoteComm_OnComm(); });
    port_->SetErrorHandler([this](const std::string& reason) { RemoteComm_Lost(reason); });
}

// The line to the other PC went away: said at once and closed, so every
// later operation fails as not sent instead of writing into nothing.
void LabSatMng::RemoteComm_Lost(const std::string& reason) {
    if (report_) report_("LabSat remote port " + std::to_string(port_number_) + " lost (" + reason + "): port closed");
    try {
        port_->SetPortOpen(false);
    } catch (...) {
        ErrorReport("RemoteComm_Lost");
    }
    changed();
}

LabSatMng::~LabSatMng() {
    try {
        if (port_->PortOpen()) port_->SetPortOpen(false);
    } catch (...) {
        // Closing on the way out: nothing left to tell.
    }
}

void LabSatMng::SetRemoteFlag(bool checked) {
    remote_ = checked;
    RemoteFlag_Click();
}

LabSatBackend& LabSatMng::Server() {
    if (!server_) server_ = make_backend_();
    return *server_;
}

bool LabSatMng::Operate(const std::string& line, const std::function<bool(LabSatBackend&)>& local) {
    if (remote_) return SendRemoteLine(line + kCrLf);
    return local(Server());
}

std::string LabSatMng::NotReadyReason() {
    if (remote_)
        return port_->PortOpen() ? std::string()
                                 : "LabSat remote port " + std::to_string(port_number_) + " not open (Remote Control)";
    return Server().Unavailable();
}

bool LabSatMng::LabSatSetBinFile(const std::string& file) {
    return Operate("SETBIN," + file, [&](LabSatBackend& b) { return b.SetRepFile(file); });
}

bool LabSatMng::LabSatSetStartTime(int32_t seconds) {
    return Operate("SETSTART," + std::to_string(seconds),
                   [&](LabSatBackend& b) { return b.SetSkipTime(static_cast<double>(seconds)); });
}

bool LabSatMng::LabSatSetAttenuation(int16_t value) {
    return Operate("SETATTENUATION," + std::to_string(value),
                   [&](LabSatBackend& b) { return b.SetAttenuation(static_cast<double>(value)); });
}

bool LabSatMng::LabSatSetStartReplay() {
    return Operate("START", [](LabSatBackend& b) { return b.StartReplay(); });
}

bool LabSatMng::LabSatSetStopReplay() {
    return Operate("STOP", [](LabSatBackend& b) { return b.StopReplay(); });
}

bool LabSatMng::SendRemoteLine(const std::string& text) {
    std::string shown = text;
    while (!shown.empty() && (shown.back() == '\n' || shown.back() == '\r')) shown.pop_back();
    if (!port_->PortOpen()) {
        if (report_) report_("LabSat remote port " + std::to_string(port_number_) + " closed: " + shown + " not sent");
        return false;
    }
    try {
        port_->Output(text);
        return true;
    } catch (const std::exception& e) {
        if (report_) report_("LabSat remote port " + std::to_string(port_number_) + ": " + shown + " not sent (" + e.what() + ")");
        return false;
    }
}

void LabSatMng::Command1_Click() {
    try {
        if (!port_->PortOpen()) {
            port_->SetSettings(kRemoteSettings);
            port_->SetCommPort(port_number_);
            port_->SetRThreshold(1);
            port_->SetPortOpen(true);
        } else {
            port_->SetPortOpen(false);
        }
    } catch (...) {
        // The caption stays as it was: the port did not change.
        ErrorReport("Command1_Click");
        ErrorMessageBox();
    }
    changed();
}

void LabSatMng::RemoteComm_OnComm() {
    std::string bytes;
    try {
        bytes = port_->Input();
    } catch (...) {
        ErrorReport("RemoteComm_OnComm");
        return;
    }
    RemoteLineAssembler::Result r = assembler_.Append(bytes);
    for (int i = 0; i < r.oversized; ++i)
        if (report_)
            report_("LabSat relay: a line of more than " + std::to_string(RemoteLineAssembler::kMaxLine) +
                    " bytes without its end was dropped");
    for (const std::string& line : r.lines) {
        panel2_ = line;
        RunRemoteLine(line);
    }
    if (!r.lines.empty()) changed();
}

void LabSatMng::RunRemoteLine(const std::string& line) {
    remote_fields_ = SplitRemoteFields(line);
    const std::string& word = remote_fields_[0];
    panel1_ = word;
    changed();
    LabSatBackend& server = Server();
    // The path is everything after the first comma: a path may hold commas.
    auto path = [&] {
        std::string p = line.substr(line.find(',') == std::string::npos ? line.size() : line.find(',') + 1);
        if (!p.empty() && p.back() == ',') p.pop_back();
        return p;
    };
    auto number = [&](double& out) {
        if (platform::TryReadStrict(remote_fields_[1], out)) return true;
        // No value is no instruction: nothing is set (not 0).
        if (platform::Trim(remote_fields_[1]).empty()) {
            if (report_) report_("LabSat relay: line \"" + line + "\" has no value; ignored");
            return false;
        }
        if (report_) report_("LabSat relay: \"" + remote_fields_[1] + "\" is not a number; line \"" + line + "\" ignored");
        return false;
    };
    double v = 0;
    if (word == "SETBIN") {
        server.SetRepFile(path());
    } else if (word == "SETSTART") {
        if (number(v)) server.SetSkipTime(v);
    } else if (word == "SETATTENUATION") {
        if (number(v)) server.SetAttenuation(v);
    } else if (word == "START") {
        server.StartReplay();
    } else if (word == "STOP") {
        server.StopReplay();
    } else if (!line.empty()) {
        if (report_) report_("LabSat relay: unknown command in line \"" + line + "\" ignored");
    }
}

}  // namespace bench
