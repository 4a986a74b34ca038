// The simulator's wire: every command of both dialects byte for byte, the
// status mapping, and the reply parser over split and merged reads.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bench/instruments/sim_protocol.h"
#include "tests/support/comma_locale.h"

namespace {

using namespace bench::sim;

TEST(SimCommands, EveryCommandOfBothDialectsByteForByte) {
    const std::vector<std::pair<std::string, std::string>> rows[] = {
        // {type 0, type 1} for the same call
        {{cmd::SetAllPower(false, -130), "-,POW_LEV,v1_a1,-130,1,1,1,1"},
         {cmd::SetAllPower(true, -130), "-,POW_LEV,v1_a1,-130,GPS,1,0,1,1,1,1"}},
        {{cmd::SetAllPower(false, -132.5), "-,POW_LEV,v1_a1,-132.5,1,1,1,1"},
         {cmd::SetAllPower(true, 10.0), "-,POW_LEV,v1_a1,10,GPS,1,0,1,1,1,1"}},
        {{cmd::SetSatPower(false, 5, -140), "-,POW_LEV,v1_a1,-140,5,0,0,1"},
         {cmd::SetSatPower(true, 5, -140), "-,POW_LEV,v1_a1,-140,GPS,5,0,1,0,0,0"}},
        {{cmd::StepSatPower(false, 7, 2.5), "-,POW_LEV,v1_a1,2.5,7,0,0,0"},
         {cmd::StepSatPower(true, 7, -2.5), "-,POW_LEV,v1_a1,-2.5,GPS,7,0,1,0,0,0"}},
        {{cmd::SetChPower(false, "-", 3, -141), "-,POW_LEV,v1_a1,-141,3,1,0,1"},
         {cmd::SetChPower(true, "1234", 3, -141), "1234,POW_LEV,v1_a1,-141,GPS,3,0,1,0,1,0"}},
        {{cmd::StepChPower(false, 3, -1), "-,POW_LEV,v1_a1,-1,3,1,0,0"},
         {cmd::StepChPower(true, 3, 1), "-,POW_LEV,v1_a1,1,GPS,3,0,1,0,1,0"}},
        {{cmd::TurnSat(false, 12, 0), "-,POW_ON,v1_a1,0,12,0,0"},
         {cmd::TurnSat(true, 12, 1), "-,POW_ON,v1_a1,1,GPS,12,0,0,0"}},
        {{cmd::TurnCh(false, "95", 2, 1), "95,POW_ON,v1_a1,1,2,1,0"},
         {cmd::TurnCh(true, "-", 2, 0), "-,POW_ON,v1_a1,0,GPS,2,0,1,0"}},
        {{cmd::TurnAll(false, "3620", 0), "3620,POW_ON,v1_a1,0,0,1,1"},
         {cmd::TurnAll(true, "-", 0), "-,POW_ON,v1_a1,0,GPS,1,0,1,1"}},
        {{cmd::TurnOffRestartSat(false, 20), "-,POW_ON,v1_a1,0,20,0,0"},
         {cmd::TurnOffRestartSat(true, 20), "-,POW_ON,v1_a1,0,GPS,20,0,0,0"}},
        // The restart's single-satellite command ends in 1 in the second
        // dialect, unlike the channel-level command.
        {{cmd::SetRestartSatPower(false, 10, 2), "-,POW_LEV,v1_a1,10,2,1,0,1"},
         {cmd::SetRestartSatPower(true, 10, 2), "-,POW_LEV,v1_a1,10,GPS,2,0,1,0,1,1"}},
        {{cmd::SetRestartAllPower(false, -0.5), "-,POW_LEV,v1_a1,-0.5,1,1,1,1"},
         {cmd::SetRestartAllPower(true, -0.5), "-,POW_LEV,v1_a1,-0.5,GPS,1,0,1,1,1,1"}},
    };
    for (const auto& pair : rows)
        for (const auto& [got, want] : pair) EXPECT_EQ(got, want);
    EXPECT_EQ(cmd::Status(), "NULL");
    EXPECT_EQ(cmd::Start(), "RU");
    EXPECT_EQ(cmd::Stop(), "-,EN");
    EXPECT_EQ(cmd::Rewind(), "RW");
    EXPECT_EQ(cmd::Time(), "-,TIME");
    // A scenario path goes as its bytes (Windows-1252 as typed).
    EXPECT_EQ(cmd::LoadScenario("C:\\Sc\xe9narios\\roof 1.scn"), "SC,C:\\Sc\xe9narios\\roof 1.scn");
}

TEST(SimCommands, NumbersUseAPointWhateverTheLocale) {
    std::string text;
    {
        test::CommaLocale comma;
        REQUIRE_COMMA_LOCALE(comma);
        text = cmd::SetAllPower(false, -132.25);
    }
    EXPECT_EQ(text, "-,POW_LEV,v1_a1,-132.25,1,1,1,1");
}

TEST(SimStatus, StateTextsAndBothDialectsMapping) {
    EXPECT_EQ(SocketStateText(0), "Closed");
    EXPECT_EQ(SocketStateText(7), "Connected");
    EXPECT_EQ(SocketStateText(9), "Error");
    EXPECT_EQ(SocketStateText(10), "");
    EXPECT_EQ(SocketStateText(-1), "");
    // Type 0 unchanged, 9 stays 9.
    EXPECT_EQ(MapSimStatusCode(0, 9), 9);
    EXPECT_EQ(MapSimStatusCode(0, 4), 4);
    const std::vector<std::pair<int16_t, int16_t>> one = {{0, 0}, {1, 1}, {2, 2}, {3, 3}, {4, 3}, {5, 4},
                                                          {6, 5}, {7, 6}, {8, 0}, {9, 0}, {-1, 0}};
    for (const auto& [in, out] : one) EXPECT_EQ(MapSimStatusCode(1, in), out) << in;
    EXPECT_EQ(SimStatusText(3), "Arming");
    EXPECT_EQ(SimStatusText(6), "Ended");
    EXPECT_EQ(SimStatusText(7), "");
    // Halves go to the even neighbour; a number beyond 16 bits is not one.
    EXPECT_EQ(StatusNumber("2.5"), 2);
    EXPECT_EQ(StatusNumber("3.5"), 4);
    EXPECT_EQ(StatusNumber(" 6 "), 6);
    EXPECT_EQ(StatusNumber("abc"), 0);
    EXPECT_FALSE(StatusNumber("99999").has_value());
}

std::string Kinds(const std::vector<ReplyElement>& e) {
    std::string out;
    for (const ReplyElement& x : e) {
        static const char* names[] = {"S", "D", "E", "F"};
        out += std::string(names[x.kind]) + "=" + x.text + ";";
    }
    return out;
}

TEST(SimReplyParser, ElementsComeOutOnceInOrderHoweverTheBytesArrive) {
    const std::string reply = "<msg><status>4</status><data>RU</data><error>late</error></msg>";
    const std::string want = "S=4;D=RU;E=late;";
    // Whole.
    {
        ReplyParser p;
        EXPECT_EQ(Kinds(p.Feed(reply)), want);
        EXPECT_EQ(p.Pending(), 0u);
    }
    // One byte at a time: each element exactly once, when its closing tag is in.
    {
        ReplyParser p;
        std::string got;
        for (char c : reply) got += Kinds(p.Feed(std::string(1, c)));
        EXPECT_EQ(got, want);
    }
    // Cut inside an opening tag, inside a text and inside a closing tag.
    for (size_t cut : {3u, 8u, 14u, 18u, 21u, 30u}) {
        ReplyParser p;
        std::string got = Kinds(p.Feed(reply.substr(0, cut)));
        got += Kinds(p.Feed(reply.substr(cut)));
        EXPECT_EQ(got, want) << "cut at " << cut;
    }
    // Three replies merged in one read: every status, in order.
    {
        ReplyParser p;
        EXPECT_EQ(Kinds(p.Feed("<status>6</status><status>2</status>junk<status>3</status><fatal>x</fatal>")),
                  "S=6;S=2;S=3;F=x;");
    }
}

TEST(SimReplyParser, TextOutsideElementsAndRunawayElementsAreDropped) {
    ReplyParser p;
    EXPECT_TRUE(p.Feed("hello <stat").empty());
    EXPECT_LE(p.Pending(), 5u) << "only what may still become a tag is kept";
    EXPECT_EQ(Kinds(p.Feed("us>1</status>")), "S=1;");
    // Tags are case-sensitive.
    EXPECT_TRUE(p.Feed("<STATUS>2</STATUS>").empty());
    // An element that never closes cannot hold more than the cap.
    EXPECT_TRUE(p.Feed("<data>" + std::string(ReplyParser::kMaxPending, 'x')).empty());
    EXPECT_EQ(p.Pending(), 0u);
    EXPECT_EQ(Kinds(p.Feed("<status>5</status>")), "S=5;");
    // Nor does one that closes past the cap in the same read.
    const unsigned before = p.Dropped();
    EXPECT_EQ(Kinds(p.Feed("<data>" + std::string(ReplyParser::kMaxPending, 'y') + "</data><status>6</status>")), "S=6;");
    EXPECT_EQ(p.Dropped(), before + 1);
    EXPECT_EQ(p.LastDropped(), "<data>" + std::string(58, 'y'));
}

// An element opened again before its close was never closed; the other
// kinds never wait for it.
TEST(SimReplyParser, AnUnclosedElementNeverHoldsBackTheOthers) {
    ReplyParser p;
    EXPECT_TRUE(p.Feed("<data>12:00:01</dat a><sta").empty());
    EXPECT_EQ(p.Dropped(), 0u) << "its close may still come";
    EXPECT_EQ(Kinds(p.Feed("tus>2</status><data>RW</data>")), "S=2;D=RW;");
    EXPECT_EQ(p.Dropped(), 1u);
    EXPECT_EQ(p.LastDropped(), "<data>12:00:01</dat a><status>2</status>");
    EXPECT_EQ(p.Pending(), 0u);
    // Opened again before its close: the first opening was never closed.
    EXPECT_EQ(Kinds(p.Feed("<status>" + std::string(1000, '7') + "<status>6</status>")), "S=6;");
    EXPECT_EQ(p.Dropped(), 2u);
    // Elements left open wait for their own close only.
    EXPECT_EQ(Kinds(p.Feed("<error>a<fatal>b<data>c<status>3</status>")), "S=3;");
    EXPECT_EQ(p.Dropped(), 2u);
    EXPECT_EQ(Kinds(p.Feed("</fatal>")), "F=b<data>c<status>3</status>;");
    // An element inside one of another kind is an element, and the outer
    // one's text holds it as it came.
    EXPECT_EQ(Kinds(p.Feed("<data>x<status>4</status>y</data>")), "S=4;D=x<status>4</status>y;");
    EXPECT_EQ(p.Dropped(), 3u) << "the data element left open above";
    EXPECT_EQ(p.LastDropped(), "<data>c<status>3</status></fatal>");
    EXPECT_EQ(Kinds(p.Feed("</error>")), "E=a<fatal>b<data>c<status>3</status></fatal><data>x<status>4</status>y</data>;");
    EXPECT_EQ(p.Pending(), 0u);
}

// The elements of a stream, and what it drops, are the same however the
// reads cut it: whole, in pieces of every size, and cut once anywhere.
TEST(SimReplyParser, TheSameBytesGiveTheSameElementsWhateverTheCut) {
    const std::string stream =
        "<msg><status>4</status><data>RU</data></msg>"
        "<data>x<status>5</status>y</data>"                 // nested, other kind
        "<data>a<error>b</data>c</error>"                   // overlapping
        "<status>1<status>2</status></status>"              // nested, same kind: the outer never closed
        "<error>e1</error><fatal>f<fatal>g</fatal>"         // reopened
        "</data>junk<stat<status>3</status><<data>d</data>"  // stray close, broken tags
        "<STATUS>9</STATUS><data>" + std::string(ReplyParser::kMaxPending, 'r') + "</data>"  // past the cap
        "<status>6</status><error>open to the end";
    ReplyParser whole;
    const std::string want = Kinds(whole.Feed(stream));
    EXPECT_EQ(want,
              "S=4;D=RU;S=5;D=x<status>5</status>y;D=a<error>b;E=b</data>c;S=2;E=e1;F=g;S=3;D=d;S=6;");
    EXPECT_EQ(whole.Dropped(), 3u) << "the outer status, the first fatal, the element past the cap";
    const std::string last = whole.LastDropped();
    EXPECT_EQ(last, "<data>" + std::string(58, 'r'));

    for (size_t size : {1u, 2u, 3u, 5u, 7u, 9u, 16u, 64u, 1000u, 4096u}) {
        ReplyParser p;
        std::string got;
        for (size_t at = 0; at < stream.size(); at += size) got += Kinds(p.Feed(stream.substr(at, size)));
        EXPECT_EQ(got, want) << "reads of " << size;
        EXPECT_EQ(p.Dropped(), whole.Dropped()) << "reads of " << size;
        EXPECT_EQ(p.LastDropped(), last) << "reads of " << size;
        EXPECT_EQ(p.Pending(), whole.Pending()) << "reads of " << size;
    }
    const std::string head = stream.substr(0, 400);
    for (size_t cut = 1; cut < head.size(); ++cut) {
        ReplyParser p;
        std::string got = Kinds(p.Feed(head.substr(0, cut)));
        got += Kinds(p.Feed(head.substr(cut)));
        ReplyParser one;
        EXPECT_EQ(got, Kinds(one.Feed(head))) << "cut at " << cut;
        EXPECT_EQ(p.Dropped(), one.Dropped()) << "cut at " << cut;
    }
}

// An element that never closes is dropped once it outgrows the cap, in one
// read as in many, and the bytes after it are parsed as usual.
TEST(SimReplyParser, AnElementPastTheCapThatNeverClosesIsDropped) {
    const std::string runaway = "<fatal>" + std::string(ReplyParser::kMaxPending + 5000, 'z');
    for (size_t size : {size_t{1}, size_t{16}, size_t{64}, runaway.size()}) {
        ReplyParser p;
        for (size_t at = 0; at < runaway.size(); at += size) EXPECT_TRUE(p.Feed(runaway.substr(at, size)).empty());
        EXPECT_EQ(p.Dropped(), 1u) << "reads of " << size;
        EXPECT_EQ(p.LastDropped(), "<fatal>" + std::string(57, 'z')) << "reads of " << size;
        EXPECT_EQ(p.Pending(), 0u) << "reads of " << size;
        EXPECT_EQ(Kinds(p.Feed("zz</fatal><status>2</status>")), "S=2;") << "reads of " << size;
    }
    // Right at the cap it is still taken, however it comes.
    const std::string fits = "<data>" + std::string(ReplyParser::kMaxPending - 13, 'q') + "</data>";
    ASSERT_EQ(fits.size(), ReplyParser::kMaxPending);
    const std::string taken = "D=" + std::string(ReplyParser::kMaxPending - 13, 'q') + ";";
    ReplyParser one, bytes;
    EXPECT_EQ(Kinds(one.Feed(fits)), taken);
    std::string got;
    for (char c : fits) got += Kinds(bytes.Feed(std::string_view(&c, 1)));
    EXPECT_EQ(got, taken);
    EXPECT_EQ(one.Dropped() + bytes.Dropped(), 0u);

    // An element that sets off a new connection ends the read: what follows
    // it came over the old one.
    ReplyParser q;
    std::string seen;
    q.Feed("<status>1</status><status>2</status><data>x", [&](const ReplyElement& e) {
        seen += e.text;
        q.Clear();
    });
    EXPECT_EQ(seen, "1");
    EXPECT_EQ(q.Pending(), 0u);
    EXPECT_EQ(Kinds(q.Feed("</data><data>y</data>")), "D=y;");
}

}  // namespace
