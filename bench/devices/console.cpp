#include "bench/devices/console.h"

#include "bench/devices/system_log.h"
#include "platform/comm/serial_port.h"
#include "platform/qt/bench_timer.h"

#include <algorithm>

namespace bench {

namespace {

constexpr int kRing = ConsoleBuffer::kLines;
constexpr int kSpan = ConsoleBuffer::kShown - 1;  // 34

int Wrap(int i) { return i & (kRing - 1); }

// Failures met so far (reported or not), so a read can tell whether it
// went through cleanly.
unsigned g_failures = 0;

// Reports a failure of line handling, once while the same failure repeats.
void ReportLineFailure(DeviceState& dev, std::string_view routine, const std::exception_ptr& e) noexcept {
    ++g_failures;
    try {
        PendingError p = ErrorOf(e);
        std::string key = p.Description + " (" + std::string(routine) + ")";
        if (key == dev.ReceiveFailureNoted) return;
        dev.ReceiveFailureNoted = key;
    } catch (...) {
    }
    ErrorReport(routine, e);
}

// Writes the line to the open logs. The open flags are read here, after the
// dispatcher, which may have switched the logs.
bool LogLine(DeviceState& dev, const std::string& line) {
    bool ok = true;
    if (dev.PrimaryOpen) {
        try {
            dev.PrimaryFile.Write(line);
        } catch (...) {
            ReportLineFailure(dev, "ConsoleAddChar", std::current_exception());
            ok = false;
        }
    }
    if (dev.SecondaryOpen) {
        try {
            dev.SecondaryFile.Write(line);
        } catch (...) {
            ReportLineFailure(dev, "ConsoleAddChar", std::current_exception());
            ok = false;
        }
    }
    return ok;
}

void KeepViewWindow(ConsoleBuffer& c) {
    if (Wrap(c.Current - c.FirstShown) > kSpan) c.FirstShown = static_cast<int16_t>(Wrap(c.Current - kSpan));
}

// Steps 6 to 8 of a completed line, once Current has moved on.
void AfterAdvance(DeviceState& dev) {
    ConsoleBuffer& c = dev.Console;
    if (c.Scroll && c.Scroll->Value() < c.Scroll->Max()) {
        c.Scroll->SetValue(c.Scroll->Value() + 1);
        ConsoleScroll(dev);
    }
    c.Lines[c.Current].clear();
    if (!(dev.DeviceKind != 0 && dev.Paused != 0)) KeepViewWindow(c);
}

// The first line too long to be shown whole is said once, with the device
// and its port: the console alone would look as if bytes were lost.
void NoteLongLine(DeviceState& dev, std::string_view line) noexcept {
    if (line.ends_with('\n')) line.remove_suffix(1);
    if (line.ends_with('\r')) line.remove_suffix(1);
    if (line.size() <= kShownLineChars || dev.LongLineNoted) return;
    dev.LongLineNoted = true;
    try {
        std::string who = "Device " + dev.DeviceName;
        if (dev.Console.Port) who += ": port " + std::to_string(dev.Console.Port->CommPort());
        const std::string text = who + ": a line longer than " + std::to_string(kShownLineChars) +
                                 " bytes (a wrong baud rate?): the console shows the first " +
                                 std::to_string(kShownLineChars) + " characters of such lines, the logs every byte";
        SystemLogWrite(text);
        OutputMsg(dev, text);
    } catch (...) {
    }
}

// A line reached LF in a chunk that arrived at `arrived`.
void CompleteLine(DeviceState& dev, platform::Stamp arrived) {
    ConsoleBuffer& c = dev.Console;
    NoteLongLine(dev, c.Lines[c.Current]);
    bool ok = true;
    if (dev.DeviceKind == 0) {
        if (dev.MessageProcessing) {
            try {
                dev.MessageProcessing(dev, arrived);
            } catch (...) {
                ReportLineFailure(dev, "MessageProcessing", std::current_exception());
                ok = false;
            }
        }
    } else if (dev.DeviceKind == 1 && dev.Paused == 1 && !dev.FilterOn) {
        ConsoleTriggerCapture(dev);
    }
    const std::string& line = c.Lines[c.Current];
    ok = LogLine(dev, line) && ok;
    // While writes are collected, the read decides once they are out.
    if (ok && !ByteLogFile::Deferring()) dev.ReceiveFailureNoted.clear();

    if (!dev.FilterOn) {
        c.Current = static_cast<int16_t>(Wrap(c.Current + 1));
    } else if (line.find(dev.FilterText) != std::string::npos) {
        KeepViewWindow(c);
        ConsoleShowRange(c, c.FirstShown, c.Current);
        c.Current = static_cast<int16_t>(Wrap(c.Current + 1));
    }
    AfterAdvance(dev);
}

// A line grew too long without LF: its bytes go to the logs as they are and
// the next bytes start a new slot. It is no sentence, so nothing decodes it.
void CutLine(DeviceState& dev) {
    ConsoleBuffer& c = dev.Console;
    NoteLongLine(dev, c.Lines[c.Current]);
    if (LogLine(dev, c.Lines[c.Current]) && !ByteLogFile::Deferring()) dev.ReceiveFailureNoted.clear();
    c.Current = static_cast<int16_t>(Wrap(c.Current + 1));
    AfterAdvance(dev);
}

}  // namespace

ConsoleBuffer ConsoleInit(platform::SerialLink* port, ControlView* label, ScrollBarView* scroll,
                          StatusBarView* status, platform::Timer* refresh_timer, platform::Timer* script_timer,
                          platform::Timer* port_timeout_timer) {
    ConsoleBuffer c;
    c.Port = port;
    c.Label = label;
    c.Scroll = scroll;
    c.Status = status;
    c.RefreshTimer = refresh_timer;
    c.ScriptTimer = script_timer;
    c.PortTimeoutTimer = port_timeout_timer;
    if (scroll) {
        scroll->SetMin(kSpan);
        scroll->SetMax(kRing - 1);
        scroll->SetValue(kRing - 1);
    }
    return c;
}

void ConsoleAddChars(DeviceState& dev, std::string_view chunk, platform::Stamp arrived) {
    size_t pos = 0;
    const size_t n = chunk.size();
    while (pos < n) {
        std::string& line = dev.Console.Lines[dev.Console.Current];
        size_t lf = chunk.find('\n', pos);
        size_t stop = lf == std::string_view::npos ? n : lf;
        size_t room = kMaxLineBytes - std::min(line.size(), kMaxLineBytes);
        size_t take = std::min(stop - pos, room);
        line.append(chunk.data() + pos, take);
        pos += take;
        if (pos < stop) {
            CutLine(dev);
            continue;
        }
        if (pos == lf) {
            line.push_back('\n');
            ++pos;
            CompleteLine(dev, arrived);
        }
    }
}

void ConsoleAddChar(DeviceState& dev, char ch, platform::Stamp arrived) {
    ConsoleAddChars(dev, std::string_view(&ch, 1), arrived);
}

void ConsoleShowRange(ConsoleBuffer& c, int from, int to) {
    if (!c.Label) return;
    from = Wrap(from);
    to = Wrap(to);
    std::string text;
    for (int i = from;; i = Wrap(i + 1)) {
        const std::string& line = c.Lines[i];
        const bool last = i == to;
        std::string_view body = line, end;
        if (body.ends_with("\r\n"))
            end = "\r\n";
        else if (body.ends_with('\n'))
            end = "\n";
        else if (last && body.ends_with('\r'))
            end = "\r";  // the LF after it is still on its way
        body.remove_suffix(end.size());
        const bool whole = AppendShownText(text, body, kShownLineChars);
        // A slot without LF before the last one is a cut piece: it gets a
        // line of its own, so the label never holds one endless line.
        if (whole && (last || !end.empty() || line.empty())) {
            text += end;
        } else {
            text += " [...]";
            if (!last) text += "\r\n";
        }
        if (last) break;
    }
    c.Label->SetText(std::move(text));
}

bool AppendShownText(std::string& out, std::string_view bytes, size_t limit) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    size_t room = limit;
    for (size_t i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        if (b >= 0x20 && b <= 0x7E) {
            if (room < 1) return false;
            out.push_back(static_cast<char>(b));
            room -= 1;
        } else {
            if (room < 4) return false;
            const char esc[4] = {'\\', 'x', kHex[b >> 4], kHex[b & 15]};
            out.append(esc, 4);
            room -= 4;
        }
    }
    return true;
}

void ConsoleRefresh(ConsoleBuffer& c) { ConsoleShowRange(c, c.FirstShown, c.Current); }

void ConsoleScroll(DeviceState& dev) {
    ConsoleBuffer& c = dev.Console;
    if (!c.Scroll) return;
    int last = Wrap(c.Current - (c.Scroll->Max() - c.Scroll->Value()));
    ConsoleShowRange(c, last - kSpan, last);
}

void ConsoleTriggerCapture(DeviceState& dev) {
    ConsoleBuffer& c = dev.Console;
    if (c.Lines[c.Current].find(dev.FilterText) == std::string::npos) return;
    ConsoleShowRange(c, c.FirstShown, c.FirstShown + 40);
    c.FirstShown = c.Current;
}

void CommPortOpen(DeviceState& dev) {
    platform::SerialLink* port = dev.Console.Port;
    if (!port) throw platform::BenchError(platform::err::PortNotFound, "Invalid port number");
    if (!port->PortOpen()) {
        port->SetPortOpen(true);
        dev.PortClosedNoted = false;
    }
}

void CommPortClose(DeviceState& dev) {
    platform::SerialLink* port = dev.Console.Port;
    if (port && port->PortOpen()) port->SetPortOpen(false);
}

void CommPortSetup(DeviceState& dev, int16_t port_number, int32_t baud) {
    platform::SerialLink* port = dev.Console.Port;
    if (!port || port->PortOpen()) return;
    port->SetSettings(std::to_string(baud) + ",n,8,1");
    port->SetCommPort(port_number);
}

void CommPortRead(DeviceState& dev) noexcept {
    ConsoleBuffer& c = dev.Console;
    Trapped("CommPortRead", [&] {
        if (dev.PortTimeoutEnabled && c.PortTimeoutTimer) {
            // The time-out counts a whole interval of silence.
            c.PortTimeoutTimer->SetEnabled(false);
            c.PortTimeoutTimer->SetEnabled(true);
        }
        platform::SerialLink* port = c.Port;
        if (!port) return;
        struct Rearm {
            platform::SerialLink* port;
            int threshold;
            ~Rearm() {
                try {
                    port->SetRThreshold(threshold);
                } catch (...) {
                }
            }
        } rearm{port, port->RThreshold()};
        port->SetRThreshold(0);
        const std::vector<platform::ReceivedChunk> chunks = port->Input();
        size_t bytes = 0;
        for (const platform::ReceivedChunk& chunk : chunks) bytes += chunk.Bytes.size();
        c.LongestChunk = std::max<int32_t>(c.LongestChunk, static_cast<int32_t>(std::min<size_t>(bytes, INT32_MAX)));
        // The lines of one read reach their logs in one write per file.
        const unsigned failures_before = g_failures;
        ByteLogFile::Deferral batch;
        for (const platform::ReceivedChunk& chunk : chunks) ConsoleAddChars(dev, chunk.Bytes, chunk.Arrived);
        try {
            ByteLogFile::FlushDeferred();
        } catch (...) {
            ReportLineFailure(dev, "CommPortRead", std::current_exception());
        }
        if (g_failures == failures_before) dev.ReceiveFailureNoted.clear();
    });
}

}  // namespace bench
