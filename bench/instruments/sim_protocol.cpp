#include "bench/instruments/sim_protocol.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "platform/core/error.h"
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

namespace {
// The earliest opening tag at or after `from`; npos and no tag when none.
size_t NextOpening(const std::string& s, size_t from, const Tag*& tag) {
    size_t best = std::string::npos;
    tag = nullptr;
    for (const Tag& t : kTags) {
        const size_t at = s.find(t.open, from);
        if (at < best) {
            best = at;
            tag = &t;
        }
    }
    return best;
}

// Where the element opened at `at` closes: the end of its closing tag, or
// npos while it is not closed. An opening tag of the same kind before the
// closing tag means this one was never closed (the close is the later one's).
size_t ElementEnd(const std::string& s, size_t at, const Tag& tag, size_t& text_start, size_t& close) {
    text_start = at + std::string_view(tag.open).size();
    close = s.find(tag.close, text_start);
    if (close == std::string::npos) return std::string::npos;
    const size_t again = s.find(tag.open, text_start);
    if (again < close) return std::string::npos;
    return close + std::string_view(tag.close).size();
}

// Where each kind of element closes in the text, in order.
using Closings = std::array<std::vector<size_t>, kTags.size()>;

Closings FindClosings(const std::string& s) {
    Closings out;
    for (size_t k = 0; k < kTags.size(); ++k)
        for (size_t p = s.find(kTags[k].close); p != std::string::npos; p = s.find(kTags[k].close, p + 1))
            out[k].push_back(p);
    return out;
}

// The start of the earliest complete element opened at or after `from`, or
// npos. Of one kind, the first to complete is the one closed by the first
// closing tag after `from`: the last opening tag before that close.
size_t CompleteElementAfter(const std::string& s, size_t from, const Closings& closings) {
    size_t best = std::string::npos;
    for (size_t k = 0; k < kTags.size(); ++k) {
        const std::vector<size_t>& c = closings[k];
        const std::string_view open(kTags[k].open);
        const size_t first_open = s.find(open, from);
        if (first_open == std::string::npos) continue;
        const auto it = std::lower_bound(c.begin(), c.end(), first_open + open.size());
        if (it == c.end()) continue;
        best = std::min(best, s.rfind(open, *it - open.size()));
    }
    return best;
}
}  // namespace

std::vector<ReplyElement> ReplyParser::Feed(std::string_view bytes) {
    pending_.append(bytes);
    std::vector<ReplyElement> out;
    std::optional<Closings> closings;  // found once per read, when needed
    size_t pos = 0;
    for (;;) {
        const Tag* tag = nullptr;
        const size_t at = NextOpening(pending_, pos, tag);
        if (!tag) {
            // Keep only what may be the start of a tag still arriving.
            const size_t keep = PartialOpeningTail(std::string_view(pending_).substr(pos));
            pending_.erase(0, pending_.size() - keep);
            break;
        }
        size_t text_start = 0, close = 0;
        const size_t end = ElementEnd(pending_, at, *tag, text_start, close);
        if (end == std::string::npos) {
            // Not closed (yet). Once a complete element has come after it,
            // its close is not coming: it is dropped rather than holding
            // back every later reply.
            if (!closings) closings = FindClosings(pending_);
            const size_t later = CompleteElementAfter(pending_, at + 1, *closings);
            if (later != std::string::npos) {
                ++dropped_;
                last_dropped_ = pending_.substr(at, std::min<size_t>(later - at, 64));
                // Shown in a log line: no line breaks or control bytes of the peer's.
                for (char& ch : last_dropped_)
                    if (static_cast<unsigned char>(ch) < 0x20 || ch == 0x7f) ch = ' ';
                pos = later;
                continue;
            }
            pending_.erase(0, at);
            break;
        }
        out.push_back({tag->kind, pending_.substr(text_start, close - text_start)});
        pos = end;
    }
    if (pending_.size() > kMaxPending) pending_.clear();
    return out;
}

std::optional<int16_t> StatusNumber(std::string_view text) {
    double v = 0;
    try {
        v = platform::RoundHalfEven(platform::ReadLenient(text));
    } catch (const platform::BenchError&) {
        return std::nullopt;  // beyond any double
    }
    if (!std::isfinite(v) || v < -32768.0 || v > 32767.0) return std::nullopt;
    return static_cast<int16_t>(v);
}

}  // namespace bench::sim
