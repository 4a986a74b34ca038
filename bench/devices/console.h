#pragma once
// The device console: the ring of received lines, the receive-event reader
// that fills it, and the small port routines of the device window.
//
// A completed line (ended by LF; its CR stays) goes, in an NMEA window, to
// the device's MessageProcessing hook, then to the primary and secondary logs
// when they are open, byte for byte. A failure while handling a line is
// reported once and never stops the rest of the input. A line that grows past
// kMaxLineBytes without LF is cut into a new slot; its bytes still reach the
// logs unchanged. The label shows at most kShownLineBytes of a line, so what
// a receiver at the wrong speed sends costs the window no more to draw than
// a screenful of sentences; the first line cut so is named in the system log.
#include "bench/devices/device_state.h"

#include <cstdint>
#include <string_view>

namespace bench {

// No sentence comes near either bound.
inline constexpr size_t kMaxLineBytes = 4096;
inline constexpr size_t kShownLineBytes = 512;

// A fresh console: all lines empty, indices 0, the scroll bar's range
// 34..255 with its value at the end (the newest lines in view).
ConsoleBuffer ConsoleInit(platform::SerialLink* port, ControlView* label, ScrollBarView* scroll,
                          StatusBarView* status, platform::Timer* refresh_timer, platform::Timer* script_timer,
                          platform::Timer* port_timeout_timer);

// Appends one received character.
void ConsoleAddChar(DeviceState& dev, char ch);
// The same for every character of a chunk, in order.
void ConsoleAddChars(DeviceState& dev, std::string_view chunk);

// Label := the lines FirstShown..Current (the partial line included).
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

// The receive event: reads all waiting input and feeds it to the console.
// Never throws; receive events are always re-armed.
void CommPortRead(DeviceState& dev) noexcept;

}  // namespace bench
