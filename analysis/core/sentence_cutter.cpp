#include "analysis/core/sentence_cutter.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "analysis/core/text_util.h"

namespace navsift {

namespace {

// The longest sentence kept whole; a longer run of text is cut there.
constexpr std::size_t kMaxSentence = 2047;

bool IsUpperOrDigit(char c) { return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); }
bool IsAlnum(char c) { return IsUpperOrDigit(c) || (c >= 'a' && c <= 'z'); }
bool IsHex(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
int HexValue(char c) { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; }

// Where the address after the "$" at `dollar` ends (at its "," or "*"),
// with `accept` telling its characters; 0 when there is none.
template <typename Accept>
std::size_t AddressEnd(std::string_view text, std::size_t dollar, std::size_t end, Accept accept)
{
    std::size_t k = dollar + 1;
    while (k < end && accept(text[k])) {
        ++k;
    }
    return k > dollar + 1 && k < end && (text[k] == ',' || text[k] == '*') ? k : 0;
}

}  // namespace

bool SentenceCutter::Next(std::string& s)
{
    const std::string_view text(in_.Data(), in_.Size());
    for (;;) {
        const std::size_t from = in_.Pos();
        const void* found = std::memchr(text.data() + from, '$', text.size() - from);
        if (found == nullptr) {
            in_.Advance(text.size() - from);
            return false;
        }
        const std::size_t dollar = static_cast<std::size_t>(static_cast<const char*>(found) - text.data());
        // One pass over the sentence, never past the next "$" or the
        // longest sentence: where its line ends and where its checksum
        // stands.
        const std::size_t limit = std::min(text.size(), dollar + kMaxSentence);
        std::size_t next = limit;
        std::size_t line_end = std::string_view::npos;
        std::size_t star = std::string_view::npos;
        bool printable = true;
        uint8_t sum = 0;
        for (std::size_t k = dollar + 1; k < limit; ++k) {
            const char c = text[k];
            if (c == '$') {
                next = k;
                break;
            }
            if (c == '\r' || c == '\n') {
                line_end = std::min(line_end, k);
                continue;
            }
            if (star == std::string_view::npos) {
                if (c == '*') {
                    star = k;
                } else {
                    sum ^= static_cast<uint8_t>(c);
                    printable = printable && c >= 0x20 && c <= 0x7e;
                }
            }
        }
        const std::size_t end_of_text = std::min(next, line_end);
        const bool checksum_holds = star != std::string_view::npos && star + 2 < text.size() &&
                                    IsHex(text[star + 1]) && IsHex(text[star + 2]) &&
                                    (HexValue(text[star + 1]) << 4 | HexValue(text[star + 2])) == sum;
        std::size_t end = 0;  // where this sentence's bytes end in the log
        if (checksum_holds && printable && AddressEnd(text, dollar, star + 1, IsAlnum) != 0) {
            // A sentence whatever its address, joined where a line break
            // fell inside it.
            s.clear();
            for (std::size_t k = dollar; k < star; ++k) {
                if (text[k] != '\r' && text[k] != '\n') {
                    s += text[k];
                }
            }
            s.append(text.substr(star, 3));
            end = star + 3;
        } else if (AddressEnd(text, dollar, end_of_text, IsUpperOrDigit) != 0) {
            // Kept as its line holds it: up to its checksum field when that
            // stands on the line, else to the line's end.
            if (star != std::string_view::npos && star < end_of_text) {
                end = star + 1;
                while (end < text.size() && end - star <= 2 && IsHex(text[end])) {
                    ++end;
                }
            } else {
                end = end_of_text;
            }
            s.assign(text.substr(dollar, end - dollar));
        } else {
            // A "$" right before another "$" or a line end ("$$GPGGA") holds
            // nothing to lose.
            left_out_.no_sentence += end_of_text > dollar + 1 ? 1 : 0;
            in_.Advance(dollar + 1 - from);
            continue;
        }
        if (end == limit && limit < text.size() && text[limit] != '$' && text[limit] != '\r' && text[limit] != '\n') {
            ++left_out_.cut_long;  // the rest, up to the next "$", is no sentence
        }
        in_.Advance(end - from);
        s += "\r\n";
        return true;
    }
}

std::string left_out_lines(const CutterLeftOut& left_out)
{
    std::string out;
    if (left_out.no_sentence > 0) {
        out += Format("%d texts after a \"$\" left out: no sentence (binary data, or text with no address of "
                      "capitals and digits and no good checksum)\n",
                      left_out.no_sentence);
    }
    if (left_out.cut_long > 0) {
        out += Format("%d sentences longer than 2047 characters cut there, their rest left out\n", left_out.cut_long);
    }
    return out;
}

}  // namespace navsift
