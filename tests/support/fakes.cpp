#include "tests/support/fakes.h"

#include <utility>

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

std::vector<platform::ReceivedChunk> FakeSerialLink::Input() { return std::exchange(pending_, {}); }

void FakeSerialLink::Output(std::string_view bytes) {
    if (!open_) throw BenchError(platform::err::PortNotOpen, "Operation valid only when the port is open");
    if (FailWrites) throw BenchError(platform::err::FileIo, "Device I/O error");
    Written.append(bytes);
    Writes.emplace_back(bytes);
}

void FakeSerialLink::Inject(std::string_view bytes, std::optional<platform::Stamp> at) {
    pending_.push_back({std::string(bytes), at ? *at : platform::SystemClock::Instance().StampNow()});
    if (open_ && threshold_ > 0) NotifyReceive();
}

}  // namespace test
