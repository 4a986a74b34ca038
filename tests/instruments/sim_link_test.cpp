// The simulator controller over a real TCP socket against the fake simulator
// on 127.0.0.1: the bytes on the wire, one segment per command, replies cut
// into pieces, merged or never closed, and a simulator that refuses, drops
// the link, falls silent or never gets its scenario running.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "bench/instruments/sim_mng.h"
#include "platform/qt/bench_timer.h"
#include "tests/support/fake_session_env.h"
#include "tests/support/fake_sim_server.h"
#include "tests/support/qt_app.h"
#include "tests/support/tcp_peer.h"

namespace {

using namespace bench::sim;
using Strings = std::vector<std::string>;

struct TcpRig {
    fakes::FakeStatusBar status;
    Strings log;
    Strings panel2;
    std::unique_ptr<SimMng> sim;

    TcpRig(test::FakeSimServer& server, int type) : TcpRig(server.Port(), type) {}
    TcpRig(uint16_t port, int type) {
        test::EnsureApp();
        SimServices s;
        s.clock = &platform::SystemClock::Instance();
        s.mainStatus = &status;
        s.log = [this](const std::string& t) { log.push_back(t); };
        sim = std::make_unique<SimMng>(std::make_unique<TcpSimTransport>(), std::make_unique<platform::QtTimer>(),
                                       std::make_unique<platform::QtTimer>(), std::make_unique<platform::QtTimer>(),
                                       std::move(s));
        sim->SetSimType(type == 1 ? "GSS6560" : "STR4500");
        sim->SetSimHostName("127.0.0.1");
        sim->SetSimHostPort(port);
        sim->changed = [this] {
            if (panel2.empty() || panel2.back() != sim->Panel(2)) panel2.push_back(sim->Panel(2));
        };
    }
    bool Connect() {
        sim->Connect_Command_Click();
        return test::WaitFor([&] { return sim->GetSimConnectionStatus(); }, 3000);
    }
};

long Count(const Strings& lines, const std::string& part) {
    return std::count_if(lines.begin(), lines.end(), [&](const std::string& l) { return l.find(part) != std::string::npos; });
}

std::string Joined(const Strings& v) {
    std::string out;
    for (const auto& s : v) out += s;
    return out;
}

TEST(SimOverTcp, FullRestartWithRepliesCutIntoPiecesSecondDialect) {
    test::FakeSimServer server(1);
    server.SetStatus(4);           // running
    server.split_sizes = {3, 7};   // every reply arrives in small pieces
    TcpRig rig(server, 1);
    ASSERT_TRUE(rig.Connect());
    EXPECT_EQ(rig.sim->Panel(1), "Connected to 127.0.0.1");

    rig.sim->SimRestart(-131.5, 9, -140, 4, -1, 0, 10, true);
    ASSERT_TRUE(test::WaitFor([&] { return rig.sim->IsSimMngCompleted() || rig.sim->IsSimMngFailed(); }, 15000));
    ASSERT_TRUE(rig.sim->IsSimMngCompleted()) << rig.sim->FailureText();

    Strings got = server.CommandTexts();
    ASSERT_GE(got.size(), 9u);
    EXPECT_EQ(Strings(got.begin(), got.begin() + 4), (Strings{"NULL", "-,EN", "RW", "RU"}));
    // Status polls while the scenario arms, then the set-up, one a second.
    const Strings setup(got.end() - 4, got.end());
    EXPECT_EQ(setup, (Strings{"-,POW_ON,v1_a1,0,GPS,9,0,0,0", "-,POW_LEV,v1_a1,10,GPS,1,0,1,1,1,1",
                              "-,POW_LEV,v1_a1,-131.5,GPS,1,0,1,1,1,1", "-,POW_LEV,v1_a1,-140,GPS,4,0,1,0,1,1"}));
    for (size_t i = 4; i + 4 < got.size(); ++i) EXPECT_EQ(got[i], "NULL");
    EXPECT_EQ(server.Received(), Joined(got)) << "no terminator, nothing between commands";
    EXPECT_EQ(rig.sim->Panel(2), "Running");
}

TEST(SimOverTcp, RepliesMergedIntoOneSegmentAreEachHandledInOrder) {
    test::FakeSimServer server(0);
    server.merge_count = 3;
    TcpRig rig(server, 0);
    ASSERT_TRUE(rig.Connect());
    rig.sim->Stop_Command_Click();
    rig.sim->Rewind_Command_Click();
    rig.sim->Start_Command_Click();
    ASSERT_TRUE(test::WaitFor([&] { return rig.sim->LastSimStatus() == 3; }, 3000))
        << server.Received();
    EXPECT_EQ(server.Received(), "-,ENRWRU");
    // Ended, Initialised and Arming all shown, in that order, from one read.
    auto at = [&](const char* t) { return std::find(rig.panel2.begin(), rig.panel2.end(), t) - rig.panel2.begin(); };
    EXPECT_LT(at("Ended"), at("Initialised"));
    EXPECT_LT(at("Initialised"), at("Arming"));
    EXPECT_LT(at("Arming"), static_cast<long>(rig.panel2.size()));
}

TEST(SimOverTcp, ARefusedConnectionIsAWarningAndNothingIsSent) {
    test::FakeSimServer server(0);
    server.Refuse();
    TcpRig rig(server, 0);
    rig.sim->Connect_Command_Click();
    ASSERT_TRUE(test::WaitFor([&] { return rig.sim->Panel(1) == "Error"; }, 3000));
    EXPECT_FALSE(rig.sim->GetSimConnectionStatus());
    ASSERT_EQ(rig.log.size(), 1u);
    EXPECT_NE(rig.log[0].find("refused"), std::string::npos) << rig.log[0];
    EXPECT_EQ(rig.status.panels[1], rig.log[0]);
    rig.sim->SimSetPower(-130);
    EXPECT_EQ(rig.log.back(), "Simulator not connected: \"-,POW_LEV,v1_a1,-130,1,1,1,1\" not sent");
}

// A simulator that drops the link mid-sequence and takes connections again:
// the sequence connects again and goes on from the simulator's status; one
// that goes on refusing fails it at the restart's bound.
TEST(SimOverTcp, ALinkDroppedMidSequenceIsConnectedAgainOrFailsAtTheBound) {
    test::FakeSimServer server(0);
    server.SetStatus(4);
    server.drop_after_commands = 2;  // answers "-,EN", then is gone
    TcpRig rig(server, 0);
    ASSERT_TRUE(rig.Connect());
    rig.sim->SetAnswerTimeoutMs(4000);
    rig.sim->SimRestart(-130, 0, 0, 0, 0, 0, 10, true);
    ASSERT_TRUE(test::WaitFor([&] { return server.CommandTexts().size() == 2 && !server.ClientConnected(); }, 3000));
    server.drop_after_commands = -1;
    ASSERT_TRUE(test::WaitFor([&] { return server.CommandTexts().size() >= 4; }, 3000)) << Joined(rig.log);
    EXPECT_FALSE(rig.sim->IsSimMngFailed()) << rig.sim->FailureText();
    EXPECT_EQ(server.Connections(), 2);
    // Stopped, then the rewind into the closing link: asked again, so the rewind again.
    const Strings got = server.CommandTexts();
    EXPECT_EQ(Strings(got.begin(), got.begin() + 4), (Strings{"NULL", "-,EN", "NULL", "RW"}));
    EXPECT_EQ(Count(rig.log, "the simulator closed the connection at the REWIND; connecting again"), 1) << Joined(rig.log);

    server.Refuse();
    ASSERT_TRUE(test::WaitFor([&] { return rig.sim->IsSimMngFailed(); }, 8000));
    EXPECT_FALSE(rig.sim->IsSimMngCompleted());
    EXPECT_EQ(rig.sim->FailureText(),
              "Simulator restart failed within 4 s: the link was lost 2 times and connected again 1 time; at the end "
              "it was down again (the last loss: link error: Connection refused at the START)");
    EXPECT_EQ(rig.status.panels[1], rig.sim->FailureText());
}

TEST(SimOverTcp, ASilentSimulatorFailsTheSequenceAfterTheBound) {
    test::FakeSimServer server(0);
    server.SetStatus(4);
    TcpRig rig(server, 0);
    rig.sim->SetAnswerTimeoutMs(400);
    ASSERT_TRUE(rig.Connect());
    server.stall = true;
    rig.sim->SimRestart(-130, 0, 0, 0, 0, 0, 10, true);
    ASSERT_TRUE(test::WaitFor([&] { return rig.sim->IsSimMngFailed(); }, 3000));
    EXPECT_EQ(rig.sim->SequenceState(), kIdle);
    EXPECT_EQ(rig.log.back(), "Simulator did not answer the status query within 400 ms");
    // Slow answers within the bound are no failure.
    server.stall = false;
    server.reply_delay_ms = 150;
    rig.sim->SetAnswerTimeoutMs(5000);
    rig.sim->SimRestart(100, 0, 0, 0, 0, 0, 10, true);
    ASSERT_TRUE(test::WaitFor([&] { return rig.sim->SequenceState() == kStartSent; }, 3000));
    EXPECT_FALSE(rig.sim->IsSimMngFailed());
}

// --- the simulator misbehaving the way it does in a lab at night ---

// The simulator cuts commands only where one write ended: commands issued
// in one turn of the event loop must not share a segment.
TEST(SimNightFaults, CommandsOfOneTurnLeaveEachInASegmentOfItsOwnInOrder) {
    test::FakeSimServer server(0);
    TcpRig rig(server, 0);
    ASSERT_TRUE(rig.Connect());
    ASSERT_TRUE(test::WaitFor([&] { return server.ClientConnected(); }, 5000));
    const int before = server.DataSegmentsIn();
    ASSERT_GE(before, 0) << "the system reports no segment counts";

    // What the engine sends in one step when it switches the signal, then
    // two status queries and the time query, all without returning to the loop.
    rig.sim->SimTurnAllONOFF("-", 0);
    rig.sim->SimSetPower(-130);
    rig.sim->SimTurnChONOFF("125", 3, 1);
    rig.sim->Status_Command_Click();
    rig.sim->Status_Command_Click();
    rig.sim->Command1_Click();
    const Strings sent{"-,POW_ON,v1_a1,0,0,1,1", "-,POW_LEV,v1_a1,-130,1,1,1,1", "125,POW_ON,v1_a1,1,3,1,0",
                       "NULL", "NULL", "-,TIME"};
    std::string all;
    for (const std::string& c : sent) all += c;
    ASSERT_TRUE(test::WaitFor([&] { return server.Received().size() >= all.size(); }, 5000)) << server.Received();
    EXPECT_EQ(server.Received(), all) << "every byte, in order, nothing between";
    EXPECT_EQ(server.DataSegmentsIn() - before, static_cast<int>(sent.size()))
        << "one segment per command, not glued together";
}

TEST(SimNightFaults, AnUnclosedReplyElementIsDroppedOnceALaterOneCompletes) {
    test::FakeSimServer server(0);
    TcpRig rig(server, 0);
    ASSERT_TRUE(rig.Connect());
    ASSERT_TRUE(test::WaitFor([&] { return server.ClientConnected(); }, 5000));

    // A data element whose closing tag came out garbled, then an ordinary reply.
    server.SendRaw("<msg><data>12:00:01</dat a></msg>");
    server.SendRaw("<msg><status>2</status><data>NULL</data></msg>");
    ASSERT_TRUE(test::WaitFor([&] { return rig.sim->LastSimStatus() == 2; }, 5000))
        << "the reply after the unclosed element was held back";
    EXPECT_EQ(rig.sim->Panel(2), "Initialised");
    EXPECT_EQ(Count(rig.log, "never closed"), 1);
    EXPECT_NE(rig.log.back().find("<data>12:00:01</dat a>"), std::string::npos) << rig.log.back();

    // An open status element of 60,000 bytes, then the next status: the next
    // counts, and the drop is not said again on this connection.
    server.SendRaw("<status>" + std::string(60000, '7'));
    server.SendRaw("<status>6</status>");
    ASSERT_TRUE(test::WaitFor([&] { return rig.sim->LastSimStatus() == 6; }, 5000));
    EXPECT_EQ(rig.sim->Panel(2), "Ended");
    EXPECT_EQ(Count(rig.log, "never closed"), 1);

    // A reply cut in two is still waited for, not dropped.
    server.SendRaw("<status>4");
    test::Pump(100);
    server.SendRaw("</status>");
    ASSERT_TRUE(test::WaitFor([&] { return rig.sim->LastSimStatus() == 4; }, 5000));
    EXPECT_EQ(Count(rig.log, "never closed"), 1);
}

// A scenario that answers "Arming" to every poll: the restart must still end
// within its bound, as a failure, with the reason.
TEST(SimNightFaults, AScenarioThatStaysArmingFailsTheRestartAtItsBound) {
    test::FakeSimServer server(1);
    server.arming_ms = 1 << 30;
    TcpRig rig(server, 1);
    ASSERT_TRUE(rig.Connect());
    rig.sim->SetAnswerTimeoutMs(2500);  // the polls come every second, well inside it
    rig.sim->SimRestart(-130, 0, 0, 0, 0, 0, 10, true);
    ASSERT_TRUE(test::WaitFor([&] { return rig.sim->IsSimMngFailed() || rig.sim->IsSimMngCompleted(); }, 20000))
        << "still waiting in state " << rig.sim->SequenceState();
    EXPECT_TRUE(rig.sim->IsSimMngFailed());
    EXPECT_FALSE(rig.sim->IsSimMngCompleted());
    EXPECT_EQ(rig.sim->SequenceState(), kIdle);
    const std::string why = "Simulator did not get the scenario running within 2500 ms: it stayed Arming";
    EXPECT_EQ(rig.sim->FailureText(), why);
    EXPECT_EQ(rig.log.back(), why);
    EXPECT_EQ(rig.status.panels[1], why);
    // It was answering all along: polls went out after START and were answered "Arming".
    const Strings got = server.CommandTexts();
    const auto ru = std::find(got.begin(), got.end(), "RU");
    ASSERT_NE(ru, got.end());
    EXPECT_GE(std::count(ru, got.end(), "NULL"), 1);
    EXPECT_EQ(rig.sim->Panel(2), "Arming");
    // No poll goes on after the failure.
    const size_t after = server.CommandTexts().size();
    test::Pump(1500);
    EXPECT_EQ(server.CommandTexts().size(), after);
}

}  // namespace

namespace {

// A megabyte of replies written to the socket at once, then an element that
// never closes within the cap and, later, replies as usual: every reply of
// the megabyte is taken in order, the runaway element is not, and the link
// goes on parsing.
TEST(SimOverTcp, AMegabyteOfRepliesInOneWriteIsParsedWholeAndTheCapHolds) {
    test::FakeSimServer server(0);
    server.SetStatus(5);
    TcpRig rig(server, 0);
    ASSERT_TRUE(rig.Connect());
    Strings data;
    rig.sim->changed = [&] {
        const std::string& p3 = rig.sim->Panel(3);
        if (!p3.empty() && (data.empty() || data.back() != p3)) data.push_back(p3);
    };
    std::string burst;
    int replies = 0;
    while (burst.size() < (1u << 20)) {
        burst += "<status>" + std::to_string(replies % 2 ? 5 : 1) + "</status><data>reply " +
                 std::to_string(replies) + "</data>";
        ++replies;
    }
    server.SendRaw(burst);
    ASSERT_TRUE(test::WaitFor([&] { return !data.empty() && data.back() == "reply " + std::to_string(replies - 1); },
                              10000))
        << data.size() << " of " << replies;
    ASSERT_EQ(data.size(), static_cast<size_t>(replies));
    for (int k = 0; k < replies; ++k) ASSERT_EQ(data[static_cast<size_t>(k)], "reply " + std::to_string(k));
    EXPECT_EQ(rig.sim->LastSimStatus(), (replies - 1) % 2 ? 5 : 1);

    const std::string runaway = "<data>" + std::string(ReplyParser::kMaxPending + 100, 'z');
    server.SendRaw(runaway);
    test::Pump(100);
    server.SendRaw("</data><data>after</data>");
    ASSERT_TRUE(test::WaitFor([&] { return data.back() == "after"; }, 3000)) << data.back().substr(0, 40);
    for (const std::string& d : data) EXPECT_LE(d.size(), ReplyParser::kMaxPending);
    EXPECT_EQ(Count(rig.log, "never closed, dropped"), 1) << "the runaway element is said";
    ASSERT_FALSE(rig.log.empty());
    EXPECT_EQ(rig.log.back(), "Simulator reply element never closed, dropped: \"<data>" + std::string(58, 'z') + "\"");
}

}  // namespace

namespace {

// Replies as a peer on another machine sends them: the stream cut anywhere,
// in writes of 1, 3, 7, 64 and 1,000 bytes with nothing between them. Each
// data element carries its number and a text of its own, so a byte lost,
// doubled or moved shows in the elements the bench takes.
TEST(SimOverTcp, RepliesWrittenAFewBytesAtATimeComeWholeAndInOrder) {
    test::TcpPeer peer;
    ASSERT_NE(peer.Port(), 0);
    TcpRig rig(peer.Port(), 0);
    Strings data;
    rig.sim->changed = [&] {
        const std::string& p3 = rig.sim->Panel(3);
        if (!p3.empty() && (data.empty() || data.back() != p3)) data.push_back(p3);
    };
    Strings want;
    std::string stream;
    for (int k = 0; stream.size() < 150000; ++k) {
        want.push_back(std::to_string(k) + ":" + std::string(static_cast<size_t>(k % 37), static_cast<char>('a' + k % 26)));
        if (k % 5 == 0) stream += "<status>" + std::to_string(k % 2 ? 4 : 2) + "</status>";
        stream += "<data>" + want.back() + "</data>";
    }
    stream += "<status>3</status>";
    ASSERT_TRUE(rig.Connect());
    const size_t cuts[] = {0, 997, 20011, 60013, 100019, stream.size()};
    const size_t sizes[] = {1, 3, 7, 64, 1000};
    for (size_t i = 0; i < 5; ++i)
        peer.Send(std::string_view(stream).substr(cuts[i], cuts[i + 1] - cuts[i]), sizes[i]);
    ASSERT_TRUE(test::WaitFor([&] { return rig.sim->LastSimStatus() == 3; }, 60000))
        << data.size() << " of " << want.size() << " elements";
    EXPECT_EQ(data.size(), want.size());
    for (size_t k = 0; k < std::min(data.size(), want.size()); ++k) ASSERT_EQ(data[k], want[k]) << "element " << k;
    EXPECT_EQ(Count(rig.log, "never closed"), 0) << Joined(rig.log);
    EXPECT_FALSE(peer.Failed());
}

// A peer that stops in the middle of a reply and later closes: what came
// before the unfinished element is taken at once, without waiting for the
// rest; the close is noticed, after the last whole reply, and the
// unfinished element never counts.
TEST(SimOverTcp, APeerThatStallsThenClosesMidReplyKeepsWhatCameBefore) {
    test::TcpPeer peer;
    ASSERT_NE(peer.Port(), 0);
    TcpRig rig(peer.Port(), 1);
    ASSERT_TRUE(rig.Connect());
    Strings seen;  // data elements and the link's close, in order
    rig.sim->changed = [&] {
        const std::string& p3 = rig.sim->Panel(3);
        if (!p3.empty() && (seen.empty() || seen.back() != p3)) seen.push_back(p3);
        if (rig.sim->Panel(1) == "Closed" && (seen.empty() || seen.back() != "(closed)")) seen.push_back("(closed)");
    };
    std::string flood;
    for (int k = 0; k < 3000; ++k) flood += "<data>reply " + std::to_string(k) + "</data>";
    const std::string stalled = "<status>4</status><data>before the stall</data><data>cut sho";
    peer.Send(flood, 5);
    peer.Send(stalled, 2);
    ASSERT_TRUE(test::WaitFor([&] { return !seen.empty() && seen.back() == "before the stall"; }, 30000))
        << (seen.empty() ? "" : seen.back());
    EXPECT_EQ(rig.sim->Panel(2), "Arming");
    EXPECT_EQ(rig.sim->Panel(1), "Connected") << "a stalled peer is still connected";

    const std::string last = "rt</data><status>7</status><data>last words</data><data>never fin";
    peer.Send(last, 3);
    peer.CloseAfterSending();
    ASSERT_TRUE(test::WaitFor([&] { return rig.sim->Panel(1) == "Closed"; }, 30000)) << "the close is not noticed";
    EXPECT_EQ(rig.sim->LastSimStatus(), 6);
    Strings want;
    for (int k = 0; k < 3000; ++k) want.push_back("reply " + std::to_string(k));
    want.insert(want.end(), {"before the stall", "cut short", "last words", "(closed)"});
    EXPECT_EQ(seen, want);
    EXPECT_EQ(Count(rig.log, "the simulator closed the connection"), 1) << Joined(rig.log);
    EXPECT_EQ(Count(rig.log, "never closed"), 0) << "an element cut by the close is no runaway";
}

}  // namespace
