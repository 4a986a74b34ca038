#include "bench/instruments/sim_protocol.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>

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
// The eight tags; a tag holds no '<' after its first byte.
struct TagText {
    uint8_t kind;  // index into kKinds
    bool open;
    std::string_view text;
};
constexpr std::array<TagText, 8> kTagTexts = {{{0, true, "<status>"},
                                               {0, false, "</status>"},
                                               {1, true, "<data>"},
                                               {1, false, "</data>"},
                                               {2, true, "<error>"},
                                               {2, false, "</error>"},
                                               {3, true, "<fatal>"},
                                               {3, false, "</fatal>"}}};
constexpr std::array<ReplyElement::Kind, 4> kKinds = {ReplyElement::Status, ReplyElement::Data, ReplyElement::Error,
                                                      ReplyElement::Fatal};
constexpr size_t kNoTag = kTagTexts.size();
constexpr size_t kMayBeTag = kTagTexts.size() + 1;

// Which tag the n bytes at p begin with (p[0] is '<'), or whether they may
// still grow into one.
size_t MatchTag(const char* p, size_t n) {
    bool may_be = false;
    for (size_t i = 0; i < kTagTexts.size(); ++i) {
        const std::string_view t = kTagTexts[i].text;
        if (n > 1 && t[1] != p[1]) continue;
        if (n >= t.size()) {
            if (std::memcmp(p, t.data(), t.size()) == 0) return i;
        } else if (std::memcmp(p, t.data(), n) == 0) {
            may_be = true;
        }
    }
    return may_be ? kMayBeTag : kNoTag;
}

std::string_view OpeningTag(size_t kind) { return kTagTexts[2 * kind].text; }
}  // namespace

void ReplyParser::Clear() {
    ++generation_;
    received_ = 0;
    held_.clear();
    held_from_ = 0;
    held_skip_ = 0;
    for (uint64_t& at : open_at_) at = kNotOpen;
    tag_len_ = 0;
}

bool ReplyParser::AnyOpen() const {
    for (uint64_t at : open_at_)
        if (at != kNotOpen) return true;
    return false;
}

std::vector<ReplyElement> ReplyParser::Feed(std::string_view bytes) {
    std::vector<ReplyElement> out;
    Feed(bytes, [&out](const ReplyElement& e) { out.push_back(e); });
    return out;
}

void ReplyParser::Feed(std::string_view bytes, const std::function<void(const ReplyElement&)>& take) {
    const unsigned generation = generation_;
    const char* p = bytes.data();
    const char* const end = p + bytes.size();
    // A tag begun in an earlier read is completed byte by byte.
    while (tag_len_ > 0 && p < end) {
        if (*p == '<') {
            // What came since the last '<' was text; a tag may start here.
            tag_len_ = 0;
            Release();
            break;
        }
        tag_[tag_len_++] = *p;
        Take(p++, 1);
        const size_t m = MatchTag(tag_, tag_len_);
        if (m == kMayBeTag) continue;
        tag_len_ = 0;
        if (m != kNoTag && OnTag(m, take) && generation != generation_) return;
        Release();
    }
    while (p < end) {
        // Up to the next '<' nothing can close or open.
        const char* lt = static_cast<const char*>(std::memchr(p, '<', static_cast<size_t>(end - p)));
        const char* stop = lt ? lt : end;
        if (stop > p) Take(p, static_cast<size_t>(stop - p));
        if (!lt) break;
        p = lt;
        const size_t avail = std::min<size_t>(static_cast<size_t>(end - p), sizeof tag_);
        const size_t m = MatchTag(p, avail);
        if (m == kNoTag) {
            // Not a tag: text, and the next one starts at a later '<'.
            Take(p++, 1);
            continue;
        }
        tag_at_ = received_;
        if (m == kMayBeTag) {
            // The read ends inside what may be a tag: kept for the next one.
            std::memcpy(tag_, p, avail);
            tag_len_ = avail;
            Take(p, avail);
            break;
        }
        const size_t len = kTagTexts[m].text.size();
        tag_len_ = len;  // held while it is taken, as the start of an element
        Take(p, len);
        p += len;
        tag_len_ = 0;
        // Cleared by what the element set off: the rest is of the old link.
        if (OnTag(m, take) && generation != generation_) return;
        Release();
    }
}

// The next n bytes of the stream arrive.
void ReplyParser::Take(const char* p, size_t n) {
    DropRunaways(received_ + n, std::string_view(p, n));
    if (AnyOpen() || tag_len_ > 0) {
        if (Pending() == 0) {
            held_.clear();
            held_skip_ = 0;
            held_from_ = received_;
        }
        held_.append(p, n);
    }
    received_ += n;
}

// Elements that would be longer than the cap once the stream reaches `end`
// have not closed within it. `incoming` holds the bytes from received_ on.
void ReplyParser::DropRunaways(uint64_t end, std::string_view incoming) {
    bool dropped = false;
    for (size_t k = 0; k < kKinds.size(); ++k)
        if (open_at_[k] != kNotOpen && end - open_at_[k] > kMaxPending) {
            Drop(k, incoming, end);
            dropped = true;
        }
    if (dropped) Release();
}

void ReplyParser::Drop(size_t kind, std::string_view incoming, uint64_t until) {
    ++dropped_;
    // Its first bytes, from the held ones and then from those arriving.
    const size_t kShown = static_cast<size_t>(std::min<uint64_t>(64, until - open_at_[kind]));
    const size_t from = static_cast<size_t>(open_at_[kind] - held_from_);
    last_dropped_.assign(held_, from, kShown);
    if (last_dropped_.size() < kShown)
        last_dropped_.append(incoming.substr(0, kShown - last_dropped_.size()));
    // Shown in a log line: no line breaks or control bytes of the peer's.
    for (char& ch : last_dropped_)
        if (static_cast<unsigned char>(ch) < 0x20 || ch == 0x7f) ch = ' ';
    open_at_[kind] = kNotOpen;
}

// Lets go of the held bytes that no open element and no arriving tag needs.
void ReplyParser::Release() {
    uint64_t keep = tag_len_ > 0 ? tag_at_ : kNotOpen;
    for (uint64_t at : open_at_) keep = std::min(keep, at);
    if (keep == kNotOpen) {
        held_.clear();
        held_skip_ = 0;
        held_from_ = received_;
        return;
    }
    held_skip_ = static_cast<size_t>(keep - held_from_);
    // Moved down only once half of it is let go, so each byte moves a
    // bounded number of times.
    if (held_skip_ > 4096 && held_skip_ > held_.size() / 2) {
        held_.erase(0, held_skip_);
        held_from_ += held_skip_;
        held_skip_ = 0;
    }
}

// A whole tag has come; tag_at_ is where it starts.
bool ReplyParser::OnTag(size_t index, const std::function<void(const ReplyElement&)>& take) {
    const TagText& tag = kTagTexts[index];
    uint64_t& at = open_at_[tag.kind];
    if (tag.open) {
        // Opened again before its close: the first opening was never closed.
        if (at != kNotOpen) Drop(tag.kind, {}, tag_at_);
        at = tag_at_;
        return false;
    }
    if (at == kNotOpen) return false;  // a close with no opening: text
    const uint64_t text_from = at + OpeningTag(tag.kind).size();
    element_.kind = kKinds[tag.kind];
    element_.text.assign(held_, static_cast<size_t>(text_from - held_from_), static_cast<size_t>(tag_at_ - text_from));
    at = kNotOpen;
    take(element_);
    return true;
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
