#include "bench/devices/nmea.h"

#include "bench/devices/bench_host.h"
#include "bench/devices/device_state.h"
#include "bench/devices/system_log.h"
#include "platform/comm/serial_port.h"
#include "platform/core/error.h"
#include "platform/qt/bench_timer.h"

#include <cctype>

namespace bench {

std::array<std::string, kNmeaFieldSlots> NmeaFields;

namespace {

constexpr int kMaxFields = 30;
constexpr size_t kHexBlock = 128;

char Upper(char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); }

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Writes bytes when the port is open; otherwise notes the first unsent write
// of this closed spell.
void WriteToPort(DeviceState& dev, std::string_view bytes, std::string_view routine) {
    platform::SerialLink* port = dev.Console.Port;
    if (!port || !port->PortOpen()) {
        if (!dev.PortClosedNoted) {
            dev.PortClosedNoted = true;
            // Named, since several devices may have their ports closed.
            const std::string which = !dev.PortLostTitle.empty()
                                         ? dev.PortLostTitle + " lost"
                                         : "Device " + dev.DeviceName + ": port " +
                                               (port ? std::to_string(port->CommPort()) : std::string("none")) +
                                               " closed";
            SystemLogWrite(which + ", command not sent (" + std::string(routine) + ")");
        }
        return;
    }
    dev.PortClosedNoted = false;
    platform::Timer* refresh = dev.Console.RefreshTimer;
    bool was_on = refresh && refresh->Enabled();
    // No console redraw between the parts of a command.
    if (refresh) refresh->SetEnabled(false);
    try {
        port->Output(bytes);
    } catch (...) {
        if (refresh && was_on) refresh->SetEnabled(true);
        throw;
    }
    if (refresh && was_on) refresh->SetEnabled(true);
}

}  // namespace

std::string NMEA_Checksum(std::string_view text) {
    unsigned x = 0;
    for (size_t i = 1; i < text.size(); ++i) x ^= static_cast<unsigned char>(text[i]);
    static const char* digits = "0123456789ABCDEF";
    return {digits[(x >> 4) & 0xF], digits[x & 0xF]};
}

int16_t NMEA_Msg_Decoding(const BenchHost* host, std::string_view line) {
    int16_t result = -1;
    Trapped("NMEA_Msg_Decoding", [&] {
        for (auto& f : NmeaFields) f.clear();
        const bool ts = host && host->GetTSMsgStatus();
        const bool check = !ts && (!host || host->NmeaCRCChecked());
        const size_t star = line.find('*');
        size_t end;
        if (!ts) {
            if (star == std::string_view::npos) return;
            end = star;
        } else if (star != std::string_view::npos) {
            end = star;
        } else {
            end = line.size();
            while (end > 0 && (line[end - 1] == '\r' || line[end - 1] == '\n')) --end;
        }
        // Sentences are printable ASCII: a control byte (a NUL changes no
        // XOR) or a byte above 0x7E inside the fields is corruption.
        for (size_t i = 0; i < end; ++i) {
            const auto c = static_cast<unsigned char>(line[i]);
            if (c < 0x20 || c > 0x7E) return;
        }
        if (check) {
            std::string received(line.substr(star + 1, 2));
            for (char& c : received) c = Upper(c);
            if (received != NMEA_Checksum(line.substr(0, star))) return;
        }
        int index = 1;
        size_t start = 0;
        size_t comma = line.find(',');
        while (index < kMaxFields && comma != std::string_view::npos && comma < end) {
            NmeaFields[index].assign(line.substr(start, comma - start));
            start = comma + 1;
            comma = line.find(',', start);
            ++index;
        }
        if (end > start) NmeaFields[index].assign(line.substr(start, end - start));
        NmeaFields[0] = std::to_string(index);
        result = 0;
    });
    return result;
}

std::string SendNmeaCommand(DeviceState& dev, std::string_view text) {
    if (text.empty()) return {};
    std::string message(text);
    message += '*';
    message += NMEA_Checksum(text);
    message += "\r\n";
    WriteToPort(dev, message, "SendNmeaCommand");
    message.resize(message.size() - 2);
    return message;
}

std::string HexCommandBytes(std::string_view hex) {
    if (hex.size() < 2) return {};
    if (hex.size() % 2 != 0)
        throw platform::BenchError(platform::err::BadArgument,
                                   "Hexadecimal command with an odd number of digits (" + std::string(hex) + ")");
    if (hex.size() > 2 * kHexBlock)
        throw platform::BenchError(platform::err::BadArgument, "Hexadecimal command longer than 128 bytes");
    std::string block(kHexBlock, '\0');
    for (size_t i = 0; i < hex.size(); i += 2) {
        int hi = HexValue(hex[i]), lo = HexValue(hex[i + 1]);
        if (hi < 0 || lo < 0)
            throw platform::BenchError(platform::err::BadArgument,
                                       "Not a hexadecimal byte: \"" + std::string(hex.substr(i, 2)) + "\"");
        block[i / 2] = static_cast<char>(hi * 16 + lo);
    }
    return block;
}

std::string SendHexBytes(DeviceState& dev, std::string_view hex) {
    std::string block = HexCommandBytes(hex);
    if (!block.empty()) WriteToPort(dev, block, "SendHexBytes");
    return std::string(hex);
}

std::string SendChars(DeviceState& dev, std::string_view text) {
    WriteToPort(dev, text, "SendChars");
    return std::string(text);
}

std::string SendMessageLine(DeviceState& dev, std::string_view text) {
    std::string line(text);
    line += "\r\n";
    WriteToPort(dev, line, "SendMessageLine");
    return line;
}

}  // namespace bench
