// -conv through the real navsift on real and real-shaped logs: every
// sentence whose checksum holds is written, whatever its address, each text
// left out is counted with its reason, a raw capture without line ends
// converts as the same log with them, and the progress counter ends its
// line. The sentences are told apart here by their checksums, independently
// of the program's cutter.
#include <gtest/gtest.h>

#include <regex>
#include <sstream>

#include "tests/analysis/navsift_harness.h"

namespace navsift_test {
namespace {

fs::path DataFile(const std::string& name)
{
    return fs::path(FIXBENCH_SOURCE_DIR) / "tests/data" / name;
}

// Every "$...*hh" of `text` whose checksum holds, in order, line breaks
// inside it dropped.
std::vector<std::string> GoodSentences(const std::string& text)
{
    std::vector<std::string> out;
    const std::regex sentence(R"(\$([^$*]*)\*([0-9A-Fa-f]{2}))");
    for (auto it = std::sregex_iterator(text.begin(), text.end(), sentence); it != std::sregex_iterator(); ++it) {
        std::string body;
        for (char c : (*it)[1].str()) {
            if (c != '\r' && c != '\n') {
                body += c;
            }
        }
        unsigned x = 0;
        bool printable = true;
        for (unsigned char c : body) {
            x ^= c;
            printable = printable && c >= 0x20 && c <= 0x7e;
        }
        if (printable && x == std::stoul((*it)[2].str(), nullptr, 16)) {
            out.push_back("$" + body + "*" + (*it)[2].str());
        }
    }
    return out;
}

std::vector<std::string> CrLfLines(const std::string& text)
{
    std::vector<std::string> out;
    std::size_t from = 0;
    for (std::size_t at; (at = text.find("\r\n", from)) != std::string::npos; from = at + 2) {
        out.push_back(text.substr(from, at - from));
    }
    EXPECT_EQ(from, text.size()) << "every line ends in CR LF";
    return out;
}

// The sentences of `good` that `lines` holds, in order.
std::vector<std::string> Held(const std::vector<std::string>& lines, const std::vector<std::string>& good)
{
    std::vector<std::string> out;
    std::size_t k = 0;
    for (const std::string& line : lines) {
        if (k < good.size() && line == good[k]) {
            out.push_back(line);
            ++k;
        }
    }
    return out;
}

// A real receiver's log whose maker's sentences have addresses of 17
// characters, and sentences of other makers' text: all of them written.
TEST(LogConversion, EverySentenceWithAGoodChecksumIsWrittenWhateverItsAddress)
{
    ScratchDir dir;
    const std::string teseo = ReadFile(fs::path(FIXBENCH_SOURCE_DIR) / "tests/data/real/st-teseo-liv4f.log");
    WriteFile(dir / "teseo.log", teseo);
    RunResult r = Navsift({"-conv", "teseo.log", "-o", "teseo.txt"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<std::string> good = GoodSentences(teseo);
    const std::vector<std::string> lines = CrLfLines(ReadFile(dir / "teseo.txt"));
    EXPECT_EQ(Held(lines, good), good);
    EXPECT_EQ(CountOf(ReadFile(dir / "teseo.txt"), "$PSTMANTENNASTATUS,"), CountOf(teseo, "$PSTMANTENNASTATUS,"));
    EXPECT_GT(CountOf(teseo, "$PSTMANTENNASTATUS,"), 5);
    // Its comment lines name sentences in prose: counted, not written.
    EXPECT_NE(r.out.find("2 texts after a \"$\" left out"), std::string::npos) << r.out;

    // Other makers' text sentences, with good checksums; text of no sentence
    // form and binary bytes, left out and counted; a doubled "$" loses
    // nothing.
    const std::string skytraq = Sentence("SkyTraq,Venus6,Kernel v1.4.23");
    const std::string furuno = Sentence("PFEC,GPtxt,MT1.0 ROM OK");
    const std::string longest = Sentence("PSTMCPUUSAGEANDSTACKDEPTHREPORT,25,1024");
    const std::string gga = Sentence("GPGGA,101500.00,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,");
    WriteFile(dir / "makers.log", skytraq + "$ver,011023,rev,090210\r\n" + furuno + std::string("$\x01\x02\xff\r\n") +
                                      "$" + longest + gga);
    r = Navsift({"-conv", "makers.log", "-o", "makers.txt"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadFile(dir / "makers.txt"), skytraq + furuno + longest + gga);
    EXPECT_NE(r.out.find("Converted Sentences: 4\r\n"), std::string::npos) << "the counter ends its line: " << r.out;
    EXPECT_NE(r.out.find("2 texts after a \"$\" left out: no sentence"), std::string::npos) << r.out;

    // Regrouped, the counts go to the error stream, the sentences alone to
    // the output; a log without an RMC regroups into nothing, which fails.
    r = Navsift({"-conv", "makers.log", "-ctype", "1"}, dir.path());
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("produced nothing from makers.log"), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("2 texts after a \"$\" left out"), std::string::npos) << r.err;
}

// A raw capture whose sentences run together without line ends converts to
// exactly what the same capture with CR LF converts to: every sentence, one
// a line.
TEST(LogConversion, ALogWithoutLineEndsConvertsAsTheSameLogWithThem)
{
    ScratchDir dir;
    const std::string raw = ReadFile(DataFile("no_line_ends.txt"));
    ASSERT_EQ(raw.find('\n'), std::string::npos);
    std::string with_ends;
    for (std::size_t k = 0; k < raw.size(); ++k) {
        if (raw[k] == '$' && k > 0) {
            with_ends += "\r\n";
        }
        with_ends += raw[k];
    }
    with_ends += "\r\n";
    WriteFile(dir / "raw.log", raw);
    WriteFile(dir / "lines.log", with_ends);
    const RunResult a = Navsift({"-conv", "raw.log", "-o", "raw.txt"}, dir.path());
    const RunResult b = Navsift({"-conv", "lines.log", "-o", "lines.txt"}, dir.path());
    ASSERT_EQ(a.status, 0) << a.err;
    ASSERT_EQ(b.status, 0) << b.err;
    const std::string out = ReadFile(dir / "raw.txt");
    EXPECT_EQ(out, ReadFile(dir / "lines.txt"));
    EXPECT_EQ(out, with_ends);
    const std::vector<std::string> good = GoodSentences(raw);
    EXPECT_EQ(CrLfLines(out), good);
    EXPECT_EQ(static_cast<int>(good.size()), CountOf(raw, "$"));
    const std::string last = "Converted Sentences: " + std::to_string(good.size()) + "\r\n";
    EXPECT_TRUE(a.out.ends_with(last)) << "the counter ends its line: ..." << a.out.substr(a.out.size() - 60);
    EXPECT_EQ(a.out.find("left out"), std::string::npos) << a.out;
}

}  // namespace
}  // namespace navsift_test
