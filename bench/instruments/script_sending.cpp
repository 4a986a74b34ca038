// Sending files to every enabled receiver: byte by byte as fast as the
// device windows take the bytes, or one line per tick with a checksum; and
// one command to a signal generator on a port of its own.
#include <fstream>

#include "bench/devices/nmea.h"
#include "bench/instruments/command_panel.h"
#include "platform/comm/serial_port.h"
#include "platform/qt/bench_timer.h"

namespace bench::instruments {

namespace {
// A short interval keeps the event loop turning between pieces of a file.
constexpr int kByteTurnMs = 1;
}  // namespace

void CommandPanel::SendFromFile(const std::string& file, std::function<void()> done) {
    // One file at a time: a second request waits, so two files never mix
    // on the wire.
    byte_queue_.push_back({file, std::move(done)});
    if (!byte_file_) StartNextByteFile();
}

void CommandPanel::StartNextByteFile() {
    while (!byte_file_ && !byte_queue_.empty()) {
        ByteJob job = std::move(byte_queue_.front());
        byte_queue_.pop_front();
        auto in = std::make_unique<std::ifstream>(LocalPath(job.file), std::ios::binary);
        if (!in->is_open()) {
            Log("Cannot open " + job.file + " (SendFromFile)");
            if (job.done) job.done();
            continue;
        }
        byte_file_ = std::move(in);
        byte_done_ = std::move(job.done);
        if (services_.byteTimer) {
            services_.byteTimer->SetInterval(kByteTurnMs);
            services_.byteTimer->SetEnabled(true);
        }
    }
}

void CommandPanel::ByteTimer_Timer() {
    if (!byte_file_) {
        if (services_.byteTimer) services_.byteTimer->SetEnabled(false);
        return;
    }
    char c = 0;
    for (int n = 0; n < kBytesPerTurn; ++n) {
        if (!byte_file_->get(c)) {
            FinishByteFile();
            return;
        }
        if (services_.bench) services_.bench->SendChrToDevices(std::string(1, c));
    }
    if (byte_file_->peek() == std::char_traits<char>::eof()) FinishByteFile();
}

void CommandPanel::FinishByteFile() {
    byte_file_.reset();
    if (services_.byteTimer) services_.byteTimer->SetEnabled(false);
    auto done = std::move(byte_done_);
    byte_done_ = nullptr;
    if (done) done();
    StartNextByteFile();
}

void CommandPanel::SendMessagesFromFile(int16_t interval_ms, const std::string& file) {
    if (services_.lineTimer) services_.lineTimer->SetEnabled(false);
    line_file_.reset();  // a file still being sent gives way to the new one
    auto in = std::make_unique<std::ifstream>(LocalPath(file), std::ios::binary);
    if (!in->is_open()) {
        // Nobody may wait for a file that never goes out.
        sending_flag_ = false;
        Log("Cannot open " + file + " (SendMessagesFromFile)");
        return;
    }
    sending_flag_ = true;
    line_file_ = std::move(in);
    if (services_.lineTimer) {
        services_.lineTimer->SetInterval(interval_ms);
        services_.lineTimer->SetEnabled(true);
    }
}

void CommandPanel::LineTimer_Timer() {
    if (services_.lineTimer) services_.lineTimer->SetEnabled(false);
    if (!line_file_ || line_file_->peek() == std::char_traits<char>::eof()) {
        line_file_.reset();
        sending_flag_ = false;
        return;
    }
    std::string line;
    char c = 0;
    while (line_file_->get(c)) {
        if (c == '\r') {
            if (line_file_->peek() == '\n') line_file_->get(c);
            break;
        }
        if (c == '\n') break;
        line += c;
    }
    if (services_.bench) services_.bench->DeviceSendMessage(line + "*" + NMEA_Checksum(line) + "\r\n");
    if (services_.lineTimer) services_.lineTimer->SetEnabled(true);
}

void CommandPanel::SendSignalGeneratorCommand(int16_t port, int32_t baud, const std::string& command) {
    if (!services_.makePort) {
        Log("No serial port for the signal generator (SendSignalGeneratorCommand)");
        return;
    }
    try {
        std::unique_ptr<platform::SerialLink> link = services_.makePort();
        link->SetCommPort(port);
        link->SetSettings(std::to_string(baud) + ",n,8,1");
        link->SetPortOpen(true);
        link->Output(command + "\r\n");
        link->SetPortOpen(false);
    } catch (const platform::BenchError& e) {
        Log("Signal generator on port " + std::to_string(port) + ": " + e.Description() + " (SendSignalGeneratorCommand)");
    }
}

}  // namespace bench::instruments
