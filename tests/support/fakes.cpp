#include "tests/support/fakes.h"

namespace test {

using platform::BenchError;

void FakeSerialLink::SetCommPort(int16_t n) {
    if (open_) throw BenchError(platform::err::PortOpen, "Port already open");
    number_ = n;
}

void FakeSerialLink::SetSettings(const std::string& s) {
    platform::ParsePortSettings(s);
    settings_ = s;
}

void FakeSerialLink::SetPortOpen(bool open) {
    if (open && open_) throw BenchError(platform::err::PortOpen, "Port already open");
    if (open && !Exists) throw BenchError(platform::err::PortNotFound, "Invalid port number");
    if (open) ++Opens;
    open_ = open;
}

std::string FakeSerialLink::Input() {
    std::string out;
    out.swap(pending_);
    return out;
}

void FakeSerialLink::Output(std::string_view bytes) {
    if (!open_) throw BenchError(platform::err::PortNotOpen, "Operation valid only when the port is open");
    if (FailWrites) throw BenchError(platform::err::FileIo, "Device I/O error");
    Written.append(bytes);
    Writes.emplace_back(bytes);
}

void FakeSerialLink::Inject(std::string_view bytes) {
    pending_.append(bytes);
    if (open_ && threshold_ > 0) NotifyReceive();
}

}  // namespace test
