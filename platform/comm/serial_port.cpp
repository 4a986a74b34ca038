#include "platform/comm/serial_port.h"

#include <set>

#include "platform/comm/port_inbox.h"

#include "platform/core/diagnostics.h"
#include "platform/core/numtext.h"
#include "platform/qt/program_folder.h"

#include <QSerialPort>
#include <QSocketNotifier>
#include <QTimer>
#include <fstream>
#include <poll.h>
#include <sstream>

namespace platform {

std::string PortDevicePath(int port_number) {
    std::ifstream in(ProgramFile("ComPorts.txt"), std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string number;
        if (!(fields >> number)) continue;
        double n = 0;
        if (!TryReadStrict(number, n) || n != port_number) continue;
        std::string rest;
        std::getline(fields, rest);
        std::string path = Trim(rest);
        while (!path.empty() && (path.back() == '\r' || path.back() == ' ' || path.back() == '\t'))
            path.pop_back();
        if (!path.empty()) return path;
    }
    return "/dev/ttyS" + std::to_string(port_number - 1);
}

std::string SerialLink::ReportName() const {
    return report_name_.empty() ? "Port " + std::to_string(CommPort()) : report_name_;
}

void SerialLink::NotifyReceive() {
    if (!receive_) return;
    try {
        receive_();
    } catch (const std::exception& e) {
        Diagnostic(std::string("Unhandled error in a receive event: ") + e.what());
    } catch (...) {
        Diagnostic("Unhandled error in a receive event");
    }
}

void SerialLink::NotifyError(const std::string& reason) {
    if (!error_) return;
    try {
        error_(reason);
    } catch (const std::exception& e) {
        Diagnostic(std::string("Unhandled error in a port error event: ") + e.what());
    } catch (...) {
        Diagnostic("Unhandled error in a port error event");
    }
}

PortSettings ParsePortSettings(const std::string& settings) {
    auto bad = [&] {
        return BenchError(err::InvalidPropertyValue, "Invalid property value (settings \"" + settings + "\")");
    };
    std::vector<std::string> parts;
    std::string part;
    std::istringstream in(settings);
    while (std::getline(in, part, ',')) parts.push_back(Trim(part));
    if (parts.size() != 4) throw bad();
    PortSettings s;
    double baud = 0, data = 0, stop = 0;
    if (!TryReadStrict(parts[0], baud) || baud <= 0 || baud > 4000000 || baud != static_cast<int>(baud))
        throw bad();
    s.baud = static_cast<int>(baud);
    if (parts[1].size() != 1) throw bad();
    s.parity = static_cast<char>(std::tolower(static_cast<unsigned char>(parts[1][0])));
    if (std::string_view("noems").find(s.parity) == std::string_view::npos) throw bad();
    if (!TryReadStrict(parts[2], data) || data < 5 || data > 8 || data != static_cast<int>(data)) throw bad();
    s.data_bits = static_cast<int>(data);
    if (!TryReadStrict(parts[3], stop) || (stop != 1 && stop != 1.5 && stop != 2)) throw bad();
    s.stop_bits = stop;
    return s;
}

struct SerialPort::Impl {
    explicit Impl(SerialPort& owner)
        : inbox([&owner] { owner.Delivered(); }, [&owner](const std::string& cause) { owner.Lost(cause); }) {}
    QSerialPort port;
    QObject context;          // the port's own error notes land here
    PortInbox inbox;          // what the port's reader read
    bool loss_noted = false;  // this opening's loss was passed on
    std::string path;         // the device this opening is on
};

namespace {
// Every port of the program, to name the one that holds a device.
std::set<const SerialPort*>& LivePorts() {
    static std::set<const SerialPort*> ports;
    return ports;
}
}  // namespace

SerialPort::SerialPort() : impl_(std::make_unique<Impl>(*this)) {
    LivePorts().insert(this);
    // A device that went away shows on a write too. Qt names the failure by
    // whatever errno held, so the descriptor itself says whether the far
    // end is gone.
    QObject::connect(&impl_->port, &QSerialPort::errorOccurred, [this](QSerialPort::SerialPortError e) {
        if (e == QSerialPort::NoError || !PortOpen() || impl_->loss_noted) return;
        const bool hung_up = HungUp();
        if (!hung_up && e != QSerialPort::ResourceError) return;
        impl_->loss_noted = true;
        const std::string cause = hung_up ? std::string("the device hung up") : impl_->port.errorString().toStdString();
        const std::string reason = impl_->path + ": " + cause;
        impl_->port.clearError();
        // Passed on from the event loop: the handler closes the port, which
        // must not happen inside the port's own notification.
        QTimer::singleShot(0, &impl_->context, [this, reason] {
            if (PortOpen()) NotifyError(reason);
        });
    });
}

// The far end is gone when the descriptor reports a hang-up or an error.
// (What a read finds is the reader's to tell.)
bool SerialPort::HungUp() const {
    const int fd = static_cast<int>(impl_->port.handle());
    if (fd < 0) return false;
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 0) != 1) return false;
    return (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

SerialPort::~SerialPort() {
    LivePorts().erase(this);
    // The reader lets go of the descriptor before it is closed; deliveries
    // still queued for this port die with its context.
    StopReader();
    if (impl_->port.isOpen()) impl_->port.close();
}

void SerialPort::StopReader() { impl_->inbox.Stop(); }

void SerialPort::Delivered() {
    if (threshold_ > 0) NotifyReceive();
}

void SerialPort::Lost(const std::string& cause) {
    if (impl_->loss_noted || !PortOpen()) return;
    impl_->loss_noted = true;
    NotifyError(impl_->path + ": " + cause);
}

std::string SerialPort::HeldBy(const std::string& path) const {
    for (const SerialPort* other : LivePorts())
        if (other != this && other->PortOpen() && other->impl_->path == path)
            return other->HolderName().empty() ? std::string("another window of this program") : other->HolderName();
    return {};
}

std::string SerialPort::DevicePath() const { return PortDevicePath(number_); }

void SerialPort::SetCommPort(int16_t number) {
    if (PortOpen()) throw BenchError(err::PortOpen, "Port already open");
    if (number < 1) throw BenchError(err::PortNotFound, "Invalid port number");
    number_ = number;
}

void SerialPort::SetSettings(const std::string& settings) {
    ParsePortSettings(settings);
    settings_ = settings;
    if (PortOpen()) ApplySettings();
}

void SerialPort::ApplySettings() {
    PortSettings s = ParsePortSettings(settings_);
    QSerialPort& p = impl_->port;
    QSerialPort::Parity parity = QSerialPort::NoParity;
    switch (s.parity) {
        case 'e': parity = QSerialPort::EvenParity; break;
        case 'o': parity = QSerialPort::OddParity; break;
        case 'm': parity = QSerialPort::MarkParity; break;
        case 's': parity = QSerialPort::SpaceParity; break;
        default: break;
    }
    QSerialPort::StopBits stop = s.stop_bits == 2     ? QSerialPort::TwoStop
                                 : s.stop_bits == 1.5 ? QSerialPort::OneAndHalfStop
                                                      : QSerialPort::OneStop;
    bool ok = p.setBaudRate(s.baud) && p.setParity(parity) &&
              p.setDataBits(static_cast<QSerialPort::DataBits>(s.data_bits)) && p.setStopBits(stop) &&
              p.setFlowControl(QSerialPort::NoFlowControl);
    if (!ok) {
        std::string why = p.errorString().toStdString();
        p.clearError();
        throw BenchError(err::PortSetup, "Could not apply settings \"" + settings_ + "\": " + why);
    }
}

void SerialPort::ApplyRts() {
    if (!PortOpen()) return;
    if (!impl_->port.setRequestToSend(rts_)) {
        impl_->port.clearError();
        // Pseudo-terminals have no modem lines; the caller must not notice.
        if (!rts_refusal_noted_) {
            rts_refusal_noted_ = true;
            Diagnostic(ReportName() + " (" + DevicePath() + "): RTS line not available");
        }
    }
}

void SerialPort::SetPortOpen(bool open) {
    QSerialPort& p = impl_->port;
    if (!open) {
        StopReader();
        if (p.isOpen()) p.close();
        return;
    }
    if (p.isOpen()) throw BenchError(err::PortOpen, "Port already open");
    ParsePortSettings(settings_);
    std::string path = DevicePath();
    p.setPortName(QString::fromStdString(path));
    if (!p.open(QIODevice::ReadWrite)) {
        QSerialPort::SerialPortError e = p.error();
        std::string why = p.errorString().toStdString();
        p.clearError();
        // The system only says the device is locked; when a window of this
        // program has it, that window is named.
        if (const std::string holder = HeldBy(path); !holder.empty()) why = "held by " + holder;
        open_failure_ = path + ": " + why;
        if (e == QSerialPort::DeviceNotFoundError)
            throw BenchError(err::PortNotFound, "Invalid port number (" + path + ": " + why + ")");
        if (e == QSerialPort::OpenError) throw BenchError(err::PortOpen, "Port already open (" + path + ")");
        throw BenchError(err::PortInUse, "Port not available (" + path + ": " + why + ")");
    }
    try {
        ApplySettings();
    } catch (...) {
        p.close();
        throw;
    }
    ApplyRts();
    p.clearError();
    open_failure_.clear();
    impl_->loss_noted = false;
    impl_->path = path;
    // Qt reads no more: the port's own reader does, on its thread, and
    // stamps what it reads.
    for (QSocketNotifier* n : p.findChildren<QSocketNotifier*>())
        if (n->type() == QSocketNotifier::Read) n->setEnabled(false);
    impl_->inbox.Start(static_cast<int>(p.handle()));
}

bool SerialPort::PortOpen() const { return impl_->port.isOpen(); }

std::vector<ReceivedChunk> SerialPort::Input() {
    // A receiver that babbles faster than its lines are decoded must not
    // hold the windows' thread for long: one receive event takes a bounded
    // share, and the rest comes at the next, after other events had their
    // turn.
    return impl_->inbox.Take();
}

void SerialPort::Output(std::string_view bytes) {
    if (!PortOpen()) throw BenchError(err::PortNotOpen, "Operation valid only when the port is open");
    QSerialPort& p = impl_->port;
    qint64 n = p.write(bytes.data(), static_cast<qint64>(bytes.size()));
    if (n != static_cast<qint64>(bytes.size())) {
        std::string why = p.errorString().toStdString();
        p.clearError();
        throw BenchError(err::FileIo, "Device I/O error (" + why + ")");
    }
    p.flush();  // hand the bytes to the driver now, not at the next event-loop pass
}

void SerialPort::SetRThreshold(int threshold) {
    const bool was_off = threshold_ == 0;
    threshold_ = threshold < 0 ? 0 : threshold;
    // Input that came while notifications were off is reported like fresh input.
    if (was_off && threshold_ > 0 && impl_->inbox.Waiting()) impl_->inbox.Post();
}

void SerialPort::SetRTSEnable(bool on) {
    rts_ = on;
    ApplyRts();
}

}  // namespace platform
