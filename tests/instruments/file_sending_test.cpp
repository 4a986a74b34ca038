// Sending files: line by line with a checksum on the line timer, byte by
// byte in pieces between event-loop turns, and one command to a signal
// generator on a port of its own.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/comm/serial_port.h"
#include "tests/instruments/script_fakes.h"
#include "tests/support/emulated_receiver.h"
#include "tests/support/qt_app.h"

namespace {

using script_test::Rig;
using Msgs = std::vector<std::string>;

// Ticks the line timer until it stops; how many ticks it took.
int DrainLines(Rig& rig) {
    int n = 0;
    while (rig.lineTimer.Tick() && n < 1000) ++n;
    return n;
}

TEST(LineSending, OneLineAChecksumAndALineEndPerTick) {
    for (const char* ending : {"\r\n", "\n", "\r"}) {
        SCOPED_TRACE(testing::PrintToString(std::string(ending)));
        test::TempHome home;
        Rig rig(home.Path());
        test::WriteFileBytes(home.File("alm.txt"), std::string("$PQNVA,1") + ending + "$PQNVB,2" + ending);
        rig.P().SendMessagesFromFile(100, "alm.txt");
        EXPECT_TRUE(rig.P().sendingFlag());
        EXPECT_EQ(rig.lineTimer.Interval(), 100);
        rig.lineTimer.Tick();
        EXPECT_EQ(rig.bench.messages, Msgs{"$PQNVA,1*45\r\n"});
        EXPECT_TRUE(rig.P().sendingFlag());
        rig.lineTimer.Tick();
        EXPECT_TRUE(rig.P().sendingFlag());
        rig.lineTimer.Tick();
        EXPECT_FALSE(rig.P().sendingFlag()) << "the third tick finds the end";
        EXPECT_FALSE(rig.lineTimer.Enabled());
        EXPECT_EQ(rig.bench.messages, (Msgs{"$PQNVA,1*45\r\n", "$PQNVB,2*45\r\n"}));
    }
}

TEST(LineSending, LastLineWithoutEndEmptyLinesAndEmptyFiles) {
    test::TempHome home;
    Rig rig(home.Path());
    test::WriteFileBytes(home.File("a.txt"), "$X\r\n\r\n$Y");
    rig.P().SendMessagesFromFile(500, "a.txt");
    EXPECT_EQ(DrainLines(rig), 4);
    EXPECT_EQ(rig.bench.messages, (Msgs{"$X*58\r\n", "*00\r\n", "$Y*59\r\n"}));

    test::WriteFileBytes(home.File("empty.txt"), "");
    rig.bench.messages.clear();
    rig.P().SendMessagesFromFile(500, "empty.txt");
    EXPECT_TRUE(rig.P().sendingFlag());
    EXPECT_EQ(DrainLines(rig), 1);
    EXPECT_FALSE(rig.P().sendingFlag());
    EXPECT_TRUE(rig.bench.messages.empty());
}

TEST(LineSending, AFileThatCannotBeOpenedLeavesNobodyWaiting) {
    test::TempHome home;
    Rig rig(home.Path());
    rig.P().SendMessagesFromFile(100, "C:\\almanacs\\missing.txt");
    EXPECT_FALSE(rig.P().sendingFlag());
    EXPECT_FALSE(rig.lineTimer.Enabled());
    EXPECT_TRUE(rig.LogHas("Cannot open C:\\almanacs\\missing.txt (SendMessagesFromFile)"));
}

TEST(LineSending, ASecondFileReplacesTheFirst) {
    test::TempHome home;
    Rig rig(home.Path());
    test::WriteFileBytes(home.File("one.txt"), "$A\r\n$B\r\n$C\r\n");
    test::WriteFileBytes(home.File("two.txt"), "$Z\r\n");
    rig.P().SendMessagesFromFile(100, "one.txt");
    rig.lineTimer.Tick();
    rig.P().SendMessagesFromFile(100, "two.txt");
    DrainLines(rig);
    EXPECT_EQ(rig.bench.messages, (Msgs{"$A*41\r\n", "$Z*5A\r\n"}));
    EXPECT_FALSE(rig.P().sendingFlag());
}

TEST(ByteSending, EveryByteInOrderAndOneFileAtATime) {
    test::TempHome home;
    Rig rig(home.Path());
    std::string all;
    for (int i = 0; i < 256; ++i) all += static_cast<char>(i);
    const std::string big = all + all + all;  // more than one piece
    test::WriteFileBytes(home.File("bytes.bin"), big);
    test::WriteFileBytes(home.File("second.bin"), "$SECOND");
    std::vector<std::string> done;
    rig.P().SendFromFile("bytes.bin", [&] { done.push_back("bytes " + std::to_string(rig.bench.chars.size())); });
    // Asked for again while the first runs: it waits its turn.
    rig.P().SendFromFile("second.bin", [&] { done.push_back("second " + std::to_string(rig.bench.chars.size())); });
    EXPECT_TRUE(rig.P().SendingBytes());
    int turns = 0;
    while (rig.byteTimer.Tick() && turns < 100) ++turns;
    EXPECT_EQ(rig.bench.chars, big + "$SECOND");
    EXPECT_EQ(done, (std::vector<std::string>{"bytes 768", "second 775"}));
    EXPECT_GE(turns, 3) << "the event loop turns between pieces";
    EXPECT_FALSE(rig.P().SendingBytes());

    // A missing file ends at once, with a line in the system log.
    bool ended = false;
    rig.P().SendFromFile("absent.bin", [&] { ended = true; });
    EXPECT_TRUE(ended);
    EXPECT_TRUE(rig.LogHas("Cannot open absent.bin (SendFromFile)"));
}

TEST(ByteSending, TheScriptWaitsForItsFile) {
    test::TempHome home;
    Rig rig(home.Path());
    test::WriteFileBytes(home.File("f.bin"), std::string(1000, 'x'));
    rig.P().SetLines({"SENDFILE>f.bin", "SEND>AFTER"});
    rig.P().ScriptRun();
    rig.Tick();  // starts sending
    rig.Tick();
    rig.Tick();
    EXPECT_TRUE(rig.calls.empty()) << "the next line waits while the file goes out";
    while (rig.byteTimer.Tick()) {
    }
    EXPECT_EQ(rig.bench.chars.size(), 1000u);
    rig.Tick();
    EXPECT_EQ(rig.calls, script_test::Calls{"SendCommandToDevices(AFTER)"});
}

TEST(SignalGenerator, TheCommandReachesThePortBeforeItCloses) {
    test::EnsureApp();
    test::TempHome home;
    test::EmulatedReceiver generator;
    generator.RegisterPort(7);
    Rig rig(home.Path());
    rig.panel.reset();
    bench::instruments::ScriptPanelServices s;
    s.clock = &rig.clock;
    s.log = &rig.log;
    s.makePort = [] { return std::make_unique<platform::SerialPort>(); };
    bench::instruments::CommandPanel panel(s);
    panel.ExecuteCommand("SENDGENCMD>7>115200>FREQ 1575.42 MHZ");
    EXPECT_TRUE(test::WaitFor([&] { return generator.Received() == "FREQ 1575.42 MHZ\r\n"; }, 2000))
        << generator.Received();
    // A port that is not there is a line in the system log, nothing more.
    panel.ExecuteCommand("SENDGENCMD>9>9600>X");
    EXPECT_TRUE(rig.LogHas("Signal generator on port 9: ")) << (rig.log.lines.empty() ? "" : rig.log.lines.back());
}

}  // namespace
