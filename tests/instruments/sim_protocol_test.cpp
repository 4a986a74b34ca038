// The simulator's wire: every command of both dialects byte for byte, the
// status mapping, and the reply parser over split and merged reads.
#include <gtest/gtest.h>

#include <clocale>
#include <string>
#include <vector>

#include "bench/instruments/sim_protocol.h"

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
    const char* old = std::setlocale(LC_NUMERIC, nullptr);
    const std::string saved = old ? old : "C";
    if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8") && !std::setlocale(LC_NUMERIC, "fr_FR.UTF-8"))
        GTEST_SKIP() << "no comma locale installed";
    const std::string text = cmd::SetAllPower(false, -132.25);
    std::setlocale(LC_NUMERIC, saved.c_str());
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

// An element whose close never comes gives way to the first complete
// element after it; one still arriving is waited for.
TEST(SimReplyParser, AnUnclosedElementGivesWayToTheNextCompleteOne) {
    ReplyParser p;
    EXPECT_TRUE(p.Feed("<data>12:00:01</dat a><sta").empty());
    EXPECT_EQ(p.Dropped(), 0u) << "nothing complete after it yet";
    EXPECT_EQ(Kinds(p.Feed("tus>2</status><data>RW</data>")), "S=2;D=RW;");
    EXPECT_EQ(p.Dropped(), 1u);
    EXPECT_EQ(p.LastDropped(), "<data>12:00:01</dat a>");
    EXPECT_EQ(p.Pending(), 0u);
    // Opened again before its close: the first opening was never closed.
    EXPECT_EQ(Kinds(p.Feed("<status>" + std::string(1000, '7') + "<status>6</status>")), "S=6;");
    EXPECT_EQ(p.Dropped(), 2u);
    // Several unclosed ones before a complete one go together.
    EXPECT_EQ(Kinds(p.Feed("<error>a<fatal>b<data>c<status>3</status>")), "S=3;");
    EXPECT_EQ(p.Dropped(), 3u);
    // An element of another kind inside a complete one stays its text, as before.
    EXPECT_EQ(Kinds(p.Feed("<data>x<status>4</status>y</data>")), "D=x<status>4</status>y;");
    EXPECT_EQ(p.Dropped(), 3u);
}

}  // namespace
