#pragma once
// The constellation simulator's remote-control protocol: the socket state
// texts, the status codes, the command texts of both dialects and the reply
// parser. Widget-free and socket-free, so every byte can be checked alone.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace bench::sim {

// Socket states as the bench numbers them (0 closed ... 7 connected, 9 error).
enum SocketState : int16_t {
    kClosed = 0,
    kOpen = 1,
    kListening = 2,
    kConnectionPending = 3,
    kResolvingHost = 4,
    kHostResolved = 5,
    kConnecting = 6,
    kConnected = 7,
    kClosing = 8,
    kError = 9,
};

// "Closed", "Connected", ...; any other number gives "".
std::string SocketStateText(int state);

// The simulator's own status number mapped to the bench's codes 0..6: type 0
// unchanged, type 1 shifted (4 and 3 both "Arming", 7 "Ended", others 0).
int16_t MapSimStatusCode(int16_t type, int16_t number);

// "No scenario specified" ... "Ended" for 0..6; "" otherwise.
std::string SimStatusText(int code);

// Command texts. `type_one` selects the second dialect. Levels and steps are
// written with at most 15 significant digits and "." whatever the locale;
// nothing is appended (no CR, no LF).
namespace cmd {
std::string Status();            // "NULL"
std::string Start();             // "RU"
std::string Stop();              // "-,EN"
std::string Rewind();            // "RW"
std::string Time();              // "-,TIME"
std::string LoadScenario(std::string_view file);
std::string SetAllPower(bool type_one, double level);
std::string SetSatPower(bool type_one, int16_t sat, double level);
std::string StepSatPower(bool type_one, int16_t sat, double step);
std::string SetChPower(bool type_one, std::string_view time, int16_t ch, double level);
std::string StepChPower(bool type_one, int16_t ch, double step);
std::string TurnSat(bool type_one, int16_t sat, int16_t on);
std::string TurnCh(bool type_one, std::string_view time, int16_t ch, int16_t on);
std::string TurnAll(bool type_one, std::string_view time, int16_t on);
// The three commands of the restart sequence.
std::string TurnOffRestartSat(bool type_one, int16_t sat);
std::string SetRestartSatPower(bool type_one, double level, int16_t ch);
std::string SetRestartAllPower(bool type_one, double level);
}  // namespace cmd

// One complete element of a reply, in the order it arrived.
struct ReplyElement {
    enum Kind { Status, Data, Error, Fatal } kind;
    std::string text;
};

// Cuts the byte stream from the simulator into its elements. A reply may come
// in pieces or several in one read: what is unfinished is kept for the next
// read, and every complete element comes out once, when its closing tag is
// in. The four kinds are found independently of one another, so an element
// inside an element of another kind is an element too, and the outer one's
// text holds it as it came. An element opened again before its close, and
// one longer than kMaxPending that has not closed, was never closed: it is
// dropped. Text outside the four elements is ignored. What comes out, and
// what is dropped, depends only on the bytes, never on how the reads cut
// them, and each byte is looked at a fixed number of times.
class ReplyParser {
public:
    // Hands each element that this read completes to `take`, in the order
    // of their closing tags, as it completes. When `take` clears the parser,
    // the rest of the read goes with what was held.
    void Feed(std::string_view bytes, const std::function<void(const ReplyElement&)>& take);
    // The same, collected.
    std::vector<ReplyElement> Feed(std::string_view bytes);
    void Clear();
    // Bytes held for elements still open and a tag still arriving.
    size_t Pending() const { return held_.size() - held_skip_; }
    // Elements dropped so far, and the start of the last one.
    unsigned Dropped() const { return dropped_; }
    const std::string& LastDropped() const { return last_dropped_; }
    // A peer that never closes an element cannot make the bench hold more,
    // and no element longer than this is taken.
    static constexpr size_t kMaxPending = 64 * 1024;

private:
    static constexpr uint64_t kNotOpen = UINT64_MAX;
    bool AnyOpen() const;
    void Take(const char* p, size_t n);
    void DropRunaways(uint64_t end, std::string_view incoming);
    void Drop(size_t kind, std::string_view incoming, uint64_t until);
    void Release();
    // True when it handed an element over.
    bool OnTag(size_t index, const std::function<void(const ReplyElement&)>& take);

    // Stream positions count the bytes fed since the start or Clear.
    uint64_t received_ = 0;
    // The stream's bytes from position held_from_ on, kept while an element
    // is open or a tag may be arriving; the first held_skip_ are let go.
    std::string held_;
    uint64_t held_from_ = 0;
    size_t held_skip_ = 0;
    // Where each kind's open element starts (its opening tag), if one is open.
    uint64_t open_at_[4] = {kNotOpen, kNotOpen, kNotOpen, kNotOpen};
    // A '<' and what followed it, while it may still become a tag.
    char tag_[10] = {};
    size_t tag_len_ = 0;
    uint64_t tag_at_ = 0;
    unsigned dropped_ = 0;
    std::string last_dropped_;
    unsigned generation_ = 0;  // counts Clear calls
    ReplyElement element_{ReplyElement::Status, {}};
};

// The status number of a status element: leading number read leniently,
// rounded half to even. Empty when it does not fit 16 bits.
std::optional<int16_t> StatusNumber(std::string_view text);

}  // namespace bench::sim
