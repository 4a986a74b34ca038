#pragma once
// Cuts the sentences out of a log for rewriting it, whatever its line ends:
// one CR LF per line, none at all (a raw capture), or a sentence broken over
// two lines.
#include <cstdint>
#include <string>

#include "analysis/core/byte_stream.h"

namespace navsift {

// What text beginning with a "$" was left out, by reason.
struct CutterLeftOut {
    // Text after a "$" that is no sentence: binary data, a maker's text of
    // no sentence form (no address of capitals and digits, and no good
    // checksum).
    int no_sentence = 0;
    // Text of a sentence past the longest kept (2047 characters).
    int cut_long = 0;

    int Total() const { return no_sentence + cut_long; }
};

// A sentence is a "$", an address and its fields up to its checksum ("*"
// and two hexadecimal digits). One whose checksum holds is kept whatever its
// address (of any length and case), its line breaks before the checksum
// dropped. One without a checksum, or with one that fails, is kept as its
// line holds it when its address is of capitals and digits ("$GPGGA,",
// "$PQNVTG,", "$PQNVCOLD*"). Text between sentences is no part of one.
// Each byte is looked at a bounded number of times: a log without line ends
// reads as fast as one with them.
class SentenceCutter {
public:
    explicit SentenceCutter(ByteStream& in) : in_(in) {}
    // The next sentence with its "\r\n" into `s`; false when the rest of the
    // log holds none.
    bool Next(std::string& s);
    const CutterLeftOut& LeftOut() const { return left_out_; }

private:
    ByteStream& in_;
    CutterLeftOut left_out_;
};

// "N texts left out: ..." lines for what the cutter left out, each ending in
// "\n"; empty when nothing was.
std::string left_out_lines(const CutterLeftOut& left_out);

}  // namespace navsift
