#include "bench/instruments/sim_protocol.h"

#include <array>
#include <cmath>

#include "platform/core/numtext.h"

namespace bench::sim {

using platform::NumberToText;

std::string SocketStateText(int state) {
    static const std::array<const char*, 10> texts = {
        "Closed",        "Open",       "Listening", "Connection Pending", "Resolving Host",
        "Host Resolved", "Connecting", "Connected", "Closing",            "Error"};
    if (state < 0 || state > 9) return "";
    return texts[static_cast<size_t>(state)];
}

int16_t MapSimStatusCode(int16_t type, int16_t number) {
    if (type != 1) return number;
    switch (number) {
    case 1: return 1;
    case 2: return 2;
    case 3: return 3;
    case 4: return 3;
    case 5: return 4;
    case 6: return 5;
    case 7: return 6;
    default: return 0;
    }
}

std::string SimStatusText(int code) {
    static const std::array<const char*, 7> texts = {"No scenario specified", "Invalid scenario", "Initialised",
                                                     "Arming", "Running", "Paused", "Ended"};
    if (code < 0 || code > 6) return "";
    return texts[static_cast<size_t>(code)];
}

namespace cmd {
namespace {
std::string I(int16_t v) { return std::to_string(v); }
std::string D(double v) { return NumberToText(v); }
}  // namespace

std::string Status() { return "NULL"; }
std::string Start() { return "RU"; }
std::string Stop() { return "-,EN"; }
std::string Rewind() { return "RW"; }
std::string Time() { return "-,TIME"; }
std::string LoadScenario(std::string_view file) { return "SC," + std::string(file); }

std::string SetAllPower(bool one, double level) {
    return "-,POW_LEV,v1_a1," + D(level) + (one ? ",GPS,1,0,1,1,1,1" : ",1,1,1,1");
}
std::string SetSatPower(bool one, int16_t sat, double level) {
    return one ? "-,POW_LEV,v1_a1," + D(level) + ",GPS," + I(sat) + ",0,1,0,0,0"
               : "-,POW_LEV,v1_a1," + D(level) + "," + I(sat) + ",0,0,1";
}
std::string StepSatPower(bool one, int16_t sat, double step) {
    return one ? "-,POW_LEV,v1_a1," + D(step) + ",GPS," + I(sat) + ",0,1,0,0,0"
               : "-,POW_LEV,v1_a1," + D(step) + "," + I(sat) + ",0,0,0";
}
std::string SetChPower(bool one, std::string_view time, int16_t ch, double level) {
    return one ? std::string(time) + ",POW_LEV,v1_a1," + D(level) + ",GPS," + I(ch) + ",0,1,0,1,0"
               : std::string(time) + ",POW_LEV,v1_a1," + D(level) + "," + I(ch) + ",1,0,1";
}
std::string StepChPower(bool one, int16_t ch, double step) {
    return one ? "-,POW_LEV,v1_a1," + D(step) + ",GPS," + I(ch) + ",0,1,0,1,0"
               : "-,POW_LEV,v1_a1," + D(step) + "," + I(ch) + ",1,0,0";
}
std::string TurnSat(bool one, int16_t sat, int16_t on) {
    return one ? "-,POW_ON,v1_a1," + I(on) + ",GPS," + I(sat) + ",0,0,0"
               : "-,POW_ON,v1_a1," + I(on) + "," + I(sat) + ",0,0";
}
std::string TurnCh(bool one, std::string_view time, int16_t ch, int16_t on) {
    return one ? std::string(time) + ",POW_ON,v1_a1," + I(on) + ",GPS," + I(ch) + ",0,1,0"
               : std::string(time) + ",POW_ON,v1_a1," + I(on) + "," + I(ch) + ",1,0";
}
std::string TurnAll(bool one, std::string_view time, int16_t on) {
    return std::string(time) + ",POW_ON,v1_a1," + I(on) + (one ? ",GPS,1,0,1,1" : ",0,1,1");
}
std::string TurnOffRestartSat(bool one, int16_t sat) {
    return one ? "-,POW_ON,v1_a1,0,GPS," + I(sat) + ",0,0,0" : "-,POW_ON,v1_a1,0," + I(sat) + ",0,0";
}
std::string SetRestartSatPower(bool one, double level, int16_t ch) {
    // The second dialect's last field is 1 here, unlike the channel-level command.
    return one ? "-,POW_LEV,v1_a1," + D(level) + ",GPS," + I(ch) + ",0,1,0,1,1"
               : "-,POW_LEV,v1_a1," + D(level) + "," + I(ch) + ",1,0,1";
}
std::string SetRestartAllPower(bool one, double level) { return SetAllPower(one, level); }
}  // namespace cmd

namespace {
struct Tag {
    ReplyElement::Kind kind;
    const char* open;
    const char* close;
};
constexpr std::array<Tag, 4> kTags = {{{ReplyElement::Status, "<status>", "</status>"},
                                       {ReplyElement::Data, "<data>", "</data>"},
                                       {ReplyElement::Error, "<error>", "</error>"},
                                       {ReplyElement::Fatal, "<fatal>", "</fatal>"}}};

// Length of the longest tail of `s` that could still grow into an opening tag.
size_t PartialOpeningTail(std::string_view s) {
    size_t best = 0;
    for (const Tag& t : kTags) {
        const std::string_view open(t.open);
        for (size_t n = std::min(open.size() - 1, s.size()); n > best; --n)
            if (s.substr(s.size() - n) == open.substr(0, n)) {
                best = n;
                break;
            }
    }
    return best;
}
}  // namespace

std::vector<ReplyElement> ReplyParser::Feed(std::string_view bytes) {
    pending_.append(bytes);
    std::vector<ReplyElement> out;
    size_t pos = 0;
    for (;;) {
        // The earliest opening tag from here.
        size_t best = std::string::npos;
        const Tag* tag = nullptr;
        for (const Tag& t : kTags) {
            const size_t at = pending_.find(t.open, pos);
            if (at < best) {
                best = at;
                tag = &t;
            }
        }
        if (!tag) {
            // Keep only what may be the start of a tag still arriving.
            const size_t keep = PartialOpeningTail(std::string_view(pending_).substr(pos));
            pending_.erase(0, pending_.size() - keep);
            break;
        }
        const size_t text_start = best + std::string_view(tag->open).size();
        const size_t close = pending_.find(tag->close, text_start);
        if (close == std::string::npos) {
            // Unfinished: wait for the rest.
            pending_.erase(0, best);
            break;
        }
        out.push_back({tag->kind, pending_.substr(text_start, close - text_start)});
        pos = close + std::string_view(tag->close).size();
    }
    if (pending_.size() > kMaxPending) pending_.clear();
    return out;
}

std::optional<int16_t> StatusNumber(std::string_view text) {
    const double v = platform::RoundHalfEven(platform::ReadLenient(text));
    if (!std::isfinite(v) || v < -32768.0 || v > 32767.0) return std::nullopt;
    return static_cast<int16_t>(v);
}

}  // namespace bench::sim
