#include "bench/instruments/sim_protocol.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

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
// One opening or closing tag in the text.
struct TagAt {
    size_t pos;
    uint8_t kind;  // index into kTags
    bool open;
};

constexpr size_t kNone = static_cast<size_t>(-1);

// Every tag of the four kinds, in order: one pass over the text, since a tag
// holds no '<' after its first character.
std::vector<TagAt> FindTags(std::string_view s) {
    std::vector<TagAt> out;
    for (size_t p = s.find('<'); p != std::string_view::npos; p = s.find('<', p + 1)) {
        const std::string_view rest = s.substr(p);
        for (size_t k = 0; k < kTags.size(); ++k) {
            if (rest.starts_with(kTags[k].open)) {
                out.push_back({p, static_cast<uint8_t>(k), true});
                break;
            }
            if (rest.starts_with(kTags[k].close)) {
                out.push_back({p, static_cast<uint8_t>(k), false});
                break;
            }
        }
    }
    return out;
}
}  // namespace

// An element is complete when the next tag of its own kind after its opening
// tag is its closing tag; an opening tag of the same kind first means it was
// never closed (the close is the later one's). Each read's text is looked at
// a fixed number of times, however many elements it holds.
std::vector<ReplyElement> ReplyParser::Feed(std::string_view bytes) {
    std::string joined;
    std::string_view s = bytes;
    if (!pending_.empty()) {
        joined = std::move(pending_);
        joined.append(bytes);
        s = joined;
    }
    pending_.clear();
    const std::vector<TagAt> tags = FindTags(s);
    const size_t n = tags.size();
    // The next tag of the same kind, and the first complete element from
    // each tag on.
    std::vector<size_t> next_same(n, kNone), next_complete(n + 1, kNone);
    std::array<size_t, kTags.size()> last{};
    last.fill(kNone);
    for (size_t i = n; i-- > 0;) {
        next_same[i] = last[tags[i].kind];
        last[tags[i].kind] = i;
        const bool complete = tags[i].open && next_same[i] != kNone && !tags[next_same[i]].open;
        next_complete[i] = complete ? i : next_complete[i + 1];
    }

    std::vector<ReplyElement> out;
    size_t pos = 0, i = 0;
    for (;;) {
        while (i < n && (tags[i].pos < pos || !tags[i].open)) ++i;
        if (i == n) {
            // Keep only what may be the start of a tag still arriving.
            const size_t keep = PartialOpeningTail(s.substr(pos));
            pending_.assign(s.substr(s.size() - keep));
            break;
        }
        const size_t at = tags[i].pos;
        const Tag& tag = kTags[tags[i].kind];
        if (next_complete[i] == i) {
            const size_t text_start = at + std::string_view(tag.open).size();
            const size_t close = tags[next_same[i]].pos;
            const size_t end = close + std::string_view(tag.close).size();
            // The cap holds however the bytes came: an element longer than
            // the bench would wait for is not taken because one read held it.
            if (end - at > kMaxPending)
                NoteDropped(s.substr(at, 64));
            else
                out.push_back({tag.kind, std::string(s.substr(text_start, close - text_start))});
            pos = end;
            i = next_same[i] + 1;
            continue;
        }
        // Not closed (yet). Once a complete element has come after it, its
        // close is not coming: it is dropped rather than holding back every
        // later reply.
        const size_t later = next_complete[i + 1];
        if (later != kNone) {
            NoteDropped(s.substr(at, std::min<size_t>(tags[later].pos - at, 64)));
            pos = tags[later].pos;
            i = later;
            continue;
        }
        // An element still open waits for the next read, unless it has
        // outgrown what a reply can be.
        if (s.size() - at <= kMaxPending) pending_.assign(s.substr(at));
        break;
    }
    return out;
}

void ReplyParser::NoteDropped(std::string_view start) {
    ++dropped_;
    last_dropped_.assign(start);
    // Shown in a log line: no line breaks or control bytes of the peer's.
    for (char& ch : last_dropped_)
        if (static_cast<unsigned char>(ch) < 0x20 || ch == 0x7f) ch = ' ';
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
