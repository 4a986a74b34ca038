// Sentence reading, checksum and field splitting, classification and log
// recognition.
#include <gtest/gtest.h>

#include "analysis/core/byte_stream.h"
#include "analysis/core/nmea_reader.h"
#include "tests/analysis/navsift_harness.h"

namespace navsift_test {
namespace {

using namespace navsift;

const std::string kGga = Sentence("GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,");

TEST(Tokenizer, AcceptsGoodChecksumsAndRejectsBadOnes)
{
    NmeaFields f;
    ASSERT_EQ(nmea_tokenize(kGga, f), 0);
    EXPECT_EQ(f.Count(), 15);
    EXPECT_EQ(f[0], "$GPGGA");
    EXPECT_EQ(f[1], "123519");
    EXPECT_EQ(f[2], "4807.038");
    EXPECT_EQ(f[9], "545.4");
    EXPECT_EQ(f[13], "");
    EXPECT_EQ(f[14], "");
    EXPECT_EQ(f[15], "");  // past the end
    EXPECT_EQ(nmea_classify(f), kGGA);

    std::string bad = kGga;
    bad[bad.size() - 3] = bad[bad.size() - 3] == '0' ? '1' : '0';  // one hex digit off
    EXPECT_EQ(nmea_tokenize(bad, f), 1);
    EXPECT_EQ(f.Count(), 0);
    EXPECT_EQ(nmea_tokenize("$GPGGA,1,2,3\r\n", f), 1);  // no checksum at all
    EXPECT_EQ(nmea_tokenize("no sentence", f), 1);

    // Lower-case hex digits and garbage before the "$".
    std::string lower = "junk" + kGga;
    for (std::size_t i = lower.find('*'); i < lower.size(); ++i) {
        lower[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(lower[i])));
    }
    ASSERT_EQ(nmea_tokenize(lower, f), 0);
    EXPECT_EQ(f[0], "$GPGGA");
}

TEST(Tokenizer, TrackerSentencesAreTakenWhateverTheirChecksumTimeOnlyWithoutAFailedOne)
{
    NmeaFields f;
    // A time whose checksum fails may hold a damaged digit: not taken.
    EXPECT_EQ(nmea_tokenize("$PQNVTG,1500,123.4,0,0,0,12.5*00\r\n", f), 1);
    EXPECT_EQ(f.Count(), 0);
    EXPECT_EQ(nmea_tokenize("$PQNVTG,1500,123.4,0,0,0,12.5*ZZ\r\n", f), 1);
    ASSERT_EQ(nmea_tokenize(Sentence("PQNVTG,1500,123.4,0,0,0,12.5"), f), 0);
    EXPECT_EQ(f.Count(), 7);
    EXPECT_EQ(f[6], "12.5");
    EXPECT_EQ(nmea_classify(f), kQnvTG);
    // One that carries no checksum cannot fail it.
    ASSERT_EQ(nmea_tokenize("$PQNVTG,1500,123.4,0,0,0,12.5\r\n", f), 0);
    EXPECT_EQ(f[2], "123.4");
    ASSERT_EQ(nmea_tokenize("$PQNVTS,1,7,0,1575.42,0,41,1200*00\r\n", f), 0);
    EXPECT_EQ(nmea_classify(f), kQnvTS);
    // Without a checksum the last field is still kept.
    ASSERT_EQ(nmea_tokenize("$PQNVTS,1,7,0,1575.42,0,41,1200\r\n", f), 0);
    EXPECT_EQ(f.Count(), 8);
    EXPECT_EQ(f[7], "1200");
    EXPECT_EQ(nmea_classify(f), kQnvTS);
}

TEST(Tokenizer, ClassifiesOnlyTheKnownNames)
{
    NmeaFields f;
    const std::pair<const char*, SentenceCode> cases[] = {
        {"GPRMC,1", kRMC},        {"GPGSV,1", kGSV},          {"GPGSA,1", kGSA},      {"GPVTG,1", kVTG},
        {"PQNVEPHEM,1", kQnvEphem}, {"PQNVALMANAC,1", kQnvAlmanac}, {"PQNVODO,1", kQnvOdo}, {"GNGGA,1", kUnknownSentence},
        {"gpgga,1", kUnknownSentence},
    };
    for (const auto& [body, code] : cases) {
        ASSERT_EQ(nmea_tokenize(Sentence(body), f), 0) << body;
        EXPECT_EQ(nmea_classify(f), code) << body;
    }
}

TEST(Tokenizer, LongSentencesAndFieldsAreKeptWhole)
{
    std::string body = "PQNVEPHEM";
    for (int k = 0; k < 60; ++k) {
        body += "," + std::to_string(k);
    }
    body += "," + std::string(100, 'A');
    NmeaFields f;
    ASSERT_EQ(nmea_tokenize(Sentence(body), f), 0);
    EXPECT_EQ(f.Count(), 62);
    EXPECT_EQ(f[60], "59");
    EXPECT_EQ(f[61], std::string(100, 'A'));
}

// A literal with its NUL bytes kept.
template <std::size_t N>
std::string Bytes(const char (&text)[N])
{
    return std::string(text, N - 1);
}

TEST(Tokenizer, BytesOutsidePrintableAsciiRejectTheSentence)
{
    NmeaFields f;
    // A NUL inside the latitude keeps the checksum right; a DEL, a tab or a
    // Latin-1 byte carry a matching checksum when the line was damaged
    // before the receiver summed it.
    for (const std::string& damaged : {Bytes("48\0" "07.038"), Bytes("4807\x7f.038"), Bytes("4807\t.038"),
                                       Bytes("4807\xb0.038")}) {
        const std::string body = "GPGGA,123519," + damaged + ",N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,";
        EXPECT_EQ(nmea_tokenize(Sentence(body), f), 1) << body;
        EXPECT_EQ(f.Count(), 0);
    }
    // Not even the timing sentences, which are taken whatever their checksum.
    EXPECT_EQ(nmea_tokenize(Bytes("$PQNVTG,1500,12\x01" "3.4,0,0,0,12.5*00\r\n"), f), 1);
    EXPECT_EQ(nmea_tokenize(Bytes("$PQNVTS,1,7,0,1575.42,0,41,12\0" "00\r\n"), f), 1);
    // The line end and what follows the checksum are no part of the fields.
    ASSERT_EQ(nmea_tokenize(kGga + Bytes("\0\x01"), f), 0);
    EXPECT_EQ(f[2], "4807.038");
}

TEST(SentenceReader, CutsAtDollarSignsWhateverTheLineEnds)
{
    ByteStream in = ByteStream::FromText("preamble\r\n$GPGGA,1*00$GPRMC,2*00\r\n$GPGSV,3,\r\n4*00\r\n$GPVTG,end");
    std::string s;
    EXPECT_EQ(read_nmea_sentence(in, s), 0);
    EXPECT_EQ(s, "$preamble\r\n");
    EXPECT_EQ(read_nmea_sentence(in, s), 11);
    EXPECT_EQ(s, "$GPGGA,1*00\r\n");
    const int64_t rmc = read_nmea_sentence(in, s);
    EXPECT_EQ(s, "$GPRMC,2*00\r\n");
    EXPECT_EQ(read_nmea_sentence(in, s), 35);
    EXPECT_EQ(s, "$GPGSV,3,4*00\r\n");
    read_nmea_sentence(in, s);
    EXPECT_EQ(s, "$GPVTG,end");
    EXPECT_TRUE(in.AtEnd());

    // Going back to a sentence's position reads it again.
    in.Seek(rmc);
    read_nmea_sentence(in, s);
    EXPECT_EQ(s, "$GPRMC,2*00\r\n");
}

TEST(SentenceReader, AnEndlessRunComesInPiecesOf2047Characters)
{
    ByteStream in = ByteStream::FromText("$" + std::string(3000, 'x'));
    std::string s;
    read_nmea_sentence(in, s);
    EXPECT_EQ(s, "$\r\n");  // nothing before the first "$"
    read_nmea_sentence(in, s);
    EXPECT_EQ(s.size(), 2048u);
    read_nmea_sentence(in, s);
    EXPECT_EQ(s.size(), 954u);
    EXPECT_TRUE(in.AtEnd());
}

TEST(LogRecognition, NeedsSixGoodPositionSentencesAndRewinds)
{
    const std::string rmc = Sentence("GPRMC,100000,A,4807.038,N,01131.000,E,0,0,300608,,");
    std::string five = "header line\r\n";
    for (int k = 0; k < 5; ++k) {
        five += (k % 2 ? kGga : rmc) + Sentence("GPGSA,A,3,,,,,,,,,,,,,2.5,1.3,2.1");
    }
    five += "$GPGGA,bad*00\r\n";
    ByteStream in = ByteStream::FromText(five);
    EXPECT_EQ(is_nmea_log(in), 1);
    EXPECT_EQ(in.Tell(), 0);
    ByteStream six = ByteStream::FromText(five + kGga);
    six.Seek(40);
    EXPECT_EQ(is_nmea_log(six), 1) << "counting starts where the stream stands";
    six.Seek(0);
    EXPECT_EQ(is_nmea_log(six), 0);
    EXPECT_EQ(six.Tell(), 0);
}

}  // namespace
}  // namespace navsift_test
