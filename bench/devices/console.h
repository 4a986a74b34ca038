#pragma once
// The device console: the ring of received lines, the receive-event reader
// that fills it, and the small port routines of the device window.
//
// A completed line (ended by LF; its CR stays) goes, in an NMEA window, to
// the device's MessageProcessing hook, then to the primary and secondary logs
// when they are open, byte for byte. A failure while handling a line is
// reported once and never stops the rest of the input. A line that grows past
// kMaxLineBytes without LF is cut into a new slot; its bytes still reach the
// logs unchanged. The label shows at most kShownLineChars characters of a
// line, and a byte outside printable ASCII as the escape \xNN, so what a
// receiver at the wrong speed sends costs the window no more to draw than a
// screenful of sentences and never sends the text layout looking through the
// system's fonts for a glyph; the first line too long to be shown whole is
// named in the system log. Only the label changes: the ring, the decoder and
// the logs keep the bytes as they came.
#include "bench/devices/device_state.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace bench {

// No sentence comes near either bound. The label's 35 lines of at most
// kShownLineChars are far wider than the console, and few enough characters
// to lay out again every refresh.
inline constexpr size_t kMaxLineBytes = 4096;
inline constexpr size_t kShownLineChars = 256;

// A fresh console: all lines empty, indices 0, the scroll bar's range
// 34..255 with its value at the end (the newest lines in view).
ConsoleBuffer ConsoleInit(platform::SerialLink* port, ControlView* label, ScrollBarView* scroll,
                          StatusBarView* status, platform::Timer* refresh_timer, platform::Timer* script_timer,
                          platform::Timer* port_timeout_timer);

// Appends one received character that arrived at `arrived`.
void ConsoleAddChar(DeviceState& dev, char ch, platform::Stamp arrived);
// The same for every character of a chunk, in order: each line it completes
// goes to the dispatcher with the chunk's stamp as its time.
void ConsoleAddChars(DeviceState& dev, std::string_view chunk, platform::Stamp arrived);

// Appends `bytes` as the console shows them: printable ASCII as it is, any
// other byte as \xNN (a NUL as \x00, 0xFF as \xFF), at most `limit`
// characters and never half an escape. False when not all of it fitted.
bool AppendShownText(std::string& out, std::string_view bytes, size_t limit);

// Label := the lines FirstShown..Current (the partial line included), each
// line's bytes as AppendShownText shows them, with its CR LF or LF.
void ConsoleRefresh(ConsoleBuffer& console);
// Label := the lines from..to, walking forward with wrap.
void ConsoleShowRange(ConsoleBuffer& console, int from, int to);
// The scroll bar moved: shows the 35 lines ending where it points.
void ConsoleScroll(DeviceState& dev);
// Paused debug window: shows the lines from the previous trigger when the
// current line holds the filter text, and makes this line the next start.
void ConsoleTriggerCapture(DeviceState& dev);

// Open and close the device's port; errors go to the caller.
void CommPortOpen(DeviceState& dev);
void CommPortClose(DeviceState& dev);
// Only while the port is closed: settings "<baud>,n,8,1" and the port number.
void CommPortSetup(DeviceState& dev, int16_t port_number, int32_t baud);

// The receive event: reads all waiting input and feeds it to the console,
// each chunk with the stamp of its arrival. Never throws; receive events are
// always re-armed.
void CommPortRead(DeviceState& dev) noexcept;

}  // namespace bench
