#pragma once
// The lowest layer of NMEA input: the sentence reader that cuts a log at "$"
// whatever its line ends, the checksum test and field splitter, and the
// sentence classifier.
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "analysis/core/byte_stream.h"

namespace navsift {

enum SentenceCode : int {
    kUnknownSentence = 0,
    kGGA = 1,
    kRMC = 2,
    kGSV = 3,
    kGSA = 4,
    kVTG = 5,
    kQnvTG = 6,
    kQnvTS = 7,
    kQnvEphem = 8,
    kQnvAlmanac = 9,
    kQnvOdo = 10,
};

// The fields of the sentence being parsed: field 0 is the name with its "$".
// Fields past the last one read as empty.
class NmeaFields {
public:
    void Clear()
    {
        text_.clear();
        spans_.clear();
    }
    int Count() const { return static_cast<int>(spans_.size()); }
    std::string_view Field(int i) const
    {
        if (i < 0 || i >= Count()) {
            return {};
        }
        return std::string_view(text_).substr(spans_[i].first, spans_[i].second);
    }
    std::string_view operator[](int i) const { return Field(i); }

private:
    friend int nmea_tokenize(std::string_view text, NmeaFields& fields);
    std::string text_;
    std::vector<std::pair<uint32_t, uint32_t>> spans_;
};

// Exclusive-or of the bytes after the leading "$" (when present) up to the
// "*" or the end.
uint8_t NmeaChecksum(std::string_view sentence);

// Reads up to the next "$" (consumed), dropping CR and LF; the text starts
// with "$" and, when another sentence follows, ends with "\r\n". Returns the
// position where the reading began (just after the previous "$").
int64_t read_nmea_sentence(ByteStream& in, std::string& sentence);

// 0 when the sentence is accepted (checksum right, a "$PQNVTS" sentence
// whatever its checksum, or a "$PQNVTG" sentence without one) and its fields
// are stored; 1 otherwise,
// with the fields cleared. A byte outside 0x20-0x7E in the fields rejects
// the sentence whatever its checksum.
int nmea_tokenize(std::string_view text, NmeaFields& fields);

SentenceCode nmea_classify(const NmeaFields& fields);

// 0 when at least 6 accepted GGA or RMC sentences are found from the current
// position; the stream is put back to its start either way.
int is_nmea_log(ByteStream& in);

// What a log holds of the sentences that give positions: its accepted
// $GPGGA and $GPRMC sentences, and the other talkers whose GGA or RMC it
// holds ("$GN", "$GN and $GL"), which are not read. The stream is put back
// to its start.
struct PositionTalkers {
    int gp = 0;
    std::string others;
};
PositionTalkers position_talkers(ByteStream& in);
// Why a log gave no fix, for the run's message: "no $GP sentence: its
// positions come from the $GN talker, ..." where it has no $GP sentence but
// another talker's, else `otherwise`.
std::string why_no_fix(const PositionTalkers& t, const std::string& otherwise);

}  // namespace navsift
