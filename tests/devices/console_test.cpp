#include "bench/devices/console.h"
#include "bench/devices/system_log.h"
#include "platform/qt/bench_timer.h"
#include "tests/support/fakes.h"
#include "tests/support/qt_app.h"

#include <gtest/gtest.h>

using namespace bench;

namespace {

std::string Line(int i) { return "$GPTXT,line " + std::to_string(i) + "*00\r\n"; }

class ConsoleTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::EnsureApp();
        dev.Console.Port = &port;
        port.SetReceiveHandler([this] { CommPortRead(dev); });
        port.SetRThreshold(1);
        port.SetPortOpen(true);
        dev.MessageProcessing = [this](DeviceState& d, platform::Stamp arrived) {
            dispatched.push_back(d.Console.Lines[d.Console.Current]);
            times.push_back(arrived.Us);
        };
    }
    void TearDown() override { CloseSystemLog(); }

    std::string SystemLog() { return test::ReadFileBytes(SystemLogPath()); }

    test::TempHome home;
    test::FakeSerialLink port;
    DeviceState dev;
    std::vector<std::string> dispatched;
    std::vector<int64_t> times;  // the stamp each line was dispatched with
};

}  // namespace

TEST_F(ConsoleTest, ChunksJoinIntoLinesThatKeepTheirCrLfTimedByTheChunkThatEndedThem) {
    port.Inject("$GPGGA,1*", platform::Stamp{1000});
    port.Inject("00\r", platform::Stamp{2000});
    EXPECT_TRUE(dispatched.empty()) << "no LF yet";
    port.Inject("\n\n$GPRMC\r\n$X", platform::Stamp{3000});
    ASSERT_EQ(dispatched.size(), 3u);
    EXPECT_EQ(dispatched[0], "$GPGGA,1*00\r\n");
    EXPECT_EQ(dispatched[1], "\n") << "a lone LF completes a line";
    EXPECT_EQ(dispatched[2], "$GPRMC\r\n");
    EXPECT_EQ(times, (std::vector<int64_t>{3000, 3000, 3000})) << "a line's time is when its LF arrived";
    EXPECT_EQ(dev.Console.Current, 3);
    EXPECT_EQ(dev.Console.Lines[3], "$X");
    EXPECT_EQ(dev.Console.LongestChunk, 12);
    EXPECT_EQ(port.RThreshold(), 1) << "receive events re-armed";
    ConsoleRefresh(dev.Console);
    EXPECT_EQ(dev.Console.Label->Text(), "$GPGGA,1*00\r\n\n$GPRMC\r\n$X");
    port.Inject("Y\r\n", platform::Stamp{4000});
    ASSERT_EQ(dispatched.size(), 4u);
    EXPECT_EQ(dispatched[3], "$XY\r\n");
    EXPECT_EQ(times[3], 4000);
}

TEST_F(ConsoleTest, RingWrapsAndShowsAtMost35Lines) {
    std::string all;
    for (int i = 0; i < 300; ++i) all += Line(i);
    port.Inject(all);
    EXPECT_EQ(dispatched.size(), 300u);
    EXPECT_EQ(dev.Console.Current, 300 % 256);
    EXPECT_EQ(dev.Console.FirstShown, (300 - 34) % 256);
    EXPECT_EQ(dev.Console.Lines[255], Line(255));
    EXPECT_EQ(dev.Console.Lines[0], Line(256)) << "the 257th line reuses slot 0";
    EXPECT_EQ(dev.Console.Lines[dev.Console.Current], "") << "the next slot is emptied";
    ConsoleRefresh(dev.Console);
    std::string shown;
    for (int i = 266; i < 300; ++i) shown += Line(i);
    EXPECT_EQ(dev.Console.Label->Text(), shown);
}

TEST_F(ConsoleTest, FilteredLinesAreDecodedAndLoggedButNotKept) {
    std::string log = home.File("primary.txt");
    dev.PrimaryFile.Open(log);
    dev.PrimaryOpen = true;
    dev.FilterOn = true;
    dev.FilterText = "KALMAN";
    port.Inject("a KALMAN 1\r\nnoise\r\nkalman\r\nKALMAN 2\r\nnoise 2\r\n");
    EXPECT_EQ(dispatched.size(), 5u);
    EXPECT_EQ(test::ReadFileBytes(log), "a KALMAN 1\r\nnoise\r\nkalman\r\nKALMAN 2\r\nnoise 2\r\n");
    EXPECT_EQ(dev.Console.Current, 2);
    EXPECT_EQ(dev.Console.Lines[0], "a KALMAN 1\r\n");
    EXPECT_EQ(dev.Console.Lines[1], "KALMAN 2\r\n");
    EXPECT_EQ(dev.Console.Label->Text(), "a KALMAN 1\r\nKALMAN 2\r\n") << "each match redraws at once";
}

TEST_F(ConsoleTest, PausedDebugWindowShowsFromTriggerToTrigger) {
    dev.DeviceKind = 1;
    dev.Paused = 1;
    dev.FilterText = "TRIG";
    dev.Console.Label->SetText("untouched");
    port.Inject("a\nb\nc\n");
    EXPECT_TRUE(dispatched.empty()) << "a debug window decodes nothing";
    EXPECT_EQ(dev.Console.Label->Text(), "untouched");
    port.Inject("TRIG 1\n");
    std::string expect = "a\nb\nc\nTRIG 1\n";  // 41 lines from slot 0; the rest of the ring is empty
    EXPECT_EQ(dev.Console.Label->Text(), expect);
    EXPECT_EQ(dev.Console.FirstShown, 3);
    std::string more;
    for (int i = 0; i < 50; ++i) more += "x" + std::to_string(i) + "\n";
    port.Inject(more + "TRIG 2\n");
    std::string shown = "TRIG 1\n";
    for (int i = 0; i < 40; ++i) shown += "x" + std::to_string(i) + "\n";
    EXPECT_EQ(dev.Console.Label->Text(), shown) << "41 lines from the previous trigger";
    EXPECT_EQ(dev.Console.FirstShown, 54);
}

TEST_F(ConsoleTest, ScrolledBackViewMovesWithNewLines) {
    for (int i = 0; i < 100; ++i) port.Inject(Line(i));
    dev.Console.Scroll->SetValue(dev.Console.Scroll->Max() - 10);
    ConsoleScroll(dev);
    std::string shown;
    for (int i = 56; i <= 90; ++i) shown += Line(i);
    EXPECT_EQ(dev.Console.Label->Text(), shown) << "35 lines ending 10 before the newest";
    port.Inject(Line(100));
    EXPECT_EQ(dev.Console.Scroll->Value(), dev.Console.Scroll->Max() - 9);
}

TEST_F(ConsoleTest, AFailingLogDoesNotDeafenThePort) {
    OpenSystemLog();
    dev.PrimaryOpen = true;  // flag set but the file is gone: every write fails
    std::string second = home.File("secondary.txt");
    dev.SecondaryFile.Open(second);
    dev.SecondaryOpen = true;
    port.Inject(Line(1) + Line(2));
    port.Inject(Line(3));
    EXPECT_EQ(dispatched.size(), 3u) << "every line still decoded";
    EXPECT_EQ(test::ReadFileBytes(second), Line(1) + Line(2) + Line(3)) << "the other log still written";
    EXPECT_EQ(port.RThreshold(), 1);
    std::string log = SystemLog();
    EXPECT_NE(log.find(" : Bad file name or number (ConsoleAddChar)\r\n"), std::string::npos) << log;
    size_t reports = 0;
    for (size_t at = log.find("(ConsoleAddChar)"); at != std::string::npos; at = log.find("(ConsoleAddChar)", at + 1))
        ++reports;
    EXPECT_EQ(reports, 1u) << "reported once: " << log;
}

TEST_F(ConsoleTest, AThrowingDispatcherIsReportedAndTheLineStillLogged) {
    OpenSystemLog();
    std::string primary = home.File("p.txt");
    dev.PrimaryFile.Open(primary);
    dev.PrimaryOpen = true;
    int calls = 0;
    dev.MessageProcessing = [&](DeviceState&, platform::Stamp) {
        if (++calls == 1) throw std::out_of_range("index");
    };
    port.Inject(Line(1) + Line(2));
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(test::ReadFileBytes(primary), Line(1) + Line(2));
    EXPECT_NE(SystemLog().find("Subscript out of range (MessageProcessing)\r\n"), std::string::npos);
}

TEST_F(ConsoleTest, DispatcherMaySwitchTheLogBeforeTheLineIsWritten) {
    std::string a = home.File("a.txt"), b = home.File("b.txt");
    dev.PrimaryFile.Open(a);
    dev.PrimaryOpen = true;
    dev.MessageProcessing = [&](DeviceState& d, platform::Stamp) {
        if (d.Console.Lines[d.Console.Current].find("CARS") != std::string::npos) d.PrimaryFile.Open(b);
    };
    port.Inject("one\r\n$PQNVCARS\r\ntwo\r\n");
    EXPECT_EQ(test::ReadFileBytes(a), "one\r\n");
    EXPECT_EQ(test::ReadFileBytes(b), "$PQNVCARS\r\ntwo\r\n");
}

TEST_F(ConsoleTest, EndlessLineIsCutButLoggedUnchanged) {
    std::string primary = home.File("p.txt");
    dev.PrimaryFile.Open(primary);
    dev.PrimaryOpen = true;
    std::string garbage(kMaxLineBytes * 2 + 100, 'G');
    for (size_t i = 0; i < garbage.size(); i += 5000) port.Inject(garbage.substr(i, 5000));
    port.Inject("\r\n$GPGGA\r\n");
    EXPECT_EQ(test::ReadFileBytes(primary), garbage + "\r\n$GPGGA\r\n");
    EXPECT_EQ(dev.Console.Lines[0].size(), kMaxLineBytes);
    EXPECT_EQ(dev.Console.Lines[1].size(), kMaxLineBytes);
    ASSERT_EQ(dispatched.size(), 2u) << "only completed lines are decoded";
    EXPECT_EQ(dispatched[0], std::string(100, 'G') + "\r\n");
    EXPECT_EQ(dispatched[1], "$GPGGA\r\n");
}

// A long line is shown up to the bound, escapes whole, and marked as cut;
// a line break still arriving is not shown as a byte.
TEST_F(ConsoleTest, LongLinesAreShownCutAtAWholeEscape) {
    const std::string high(100, '\xff');
    port.Inject("ab" + high + "\r\n" + std::string(kShownLineChars, 'c') + "\r\n$GP\r");
    ConsoleRefresh(dev.Console);
    std::string first = "ab";
    for (size_t i = 0; i < (kShownLineChars - 2) / 4; ++i) first += "\\xFF";
    EXPECT_EQ(dev.Console.Label->Text(), first + " [...]\r\n" + std::string(kShownLineChars, 'c') + "\r\n$GP\r");
    EXPECT_EQ(dispatched[0], "ab" + high + "\r\n") << "the ring keeps the bytes";
}

TEST_F(ConsoleTest, PortTimeoutRestartsOnlyWhileEnabled) {
    auto* timeout = dynamic_cast<platform::ManualTimer*>(dev.Console.PortTimeoutTimer);
    ASSERT_NE(timeout, nullptr);
    timeout->SetInterval(60000);
    port.Inject("a\n");
    EXPECT_FALSE(timeout->Enabled()) << "off as the menu shows it";
    dev.PortTimeoutEnabled = true;
    timeout->SetEnabled(true);
    int before = timeout->Restarts();
    port.Inject("b\n");
    port.Inject("c\n");
    EXPECT_TRUE(timeout->Enabled());
    EXPECT_EQ(timeout->Restarts(), before + 2);
}

TEST_F(ConsoleTest, PortSetupOnlyWhileClosed) {
    port.SetPortOpen(false);
    CommPortSetup(dev, 3, 115200);
    EXPECT_EQ(port.Settings(), "115200,n,8,1");
    EXPECT_EQ(port.CommPort(), 3);
    CommPortOpen(dev);
    CommPortOpen(dev);  // already open: nothing
    EXPECT_EQ(port.Opens, 2);
    CommPortSetup(dev, 5, 9600);
    EXPECT_EQ(port.Settings(), "115200,n,8,1");
    EXPECT_EQ(port.CommPort(), 3);
    CommPortClose(dev);
    CommPortClose(dev);
    EXPECT_FALSE(port.PortOpen());
    port.Exists = false;
    EXPECT_THROW(CommPortOpen(dev), platform::BenchError);
}

TEST_F(ConsoleTest, FullDiskIsReportedOnceAndReadingGoesOn) {
    OpenSystemLog();
    dev.PrimaryFile.Open("/dev/full");
    dev.PrimaryOpen = true;
    port.Inject(Line(1) + Line(2));
    port.Inject(Line(3));
    EXPECT_EQ(dispatched.size(), 3u);
    EXPECT_EQ(port.RThreshold(), 1);
    std::string log = SystemLog();
    size_t reports = 0;
    for (size_t at = log.find("(CommPortRead)"); at != std::string::npos; at = log.find("(CommPortRead)", at + 1))
        ++reports;
    EXPECT_EQ(reports, 1u) << log;
    EXPECT_NE(log.find("Device I/O error (/dev/full"), std::string::npos) << log;
    // Once the disk takes writes again, a new failure is reported anew.
    std::string good = home.File("good.txt");
    dev.PrimaryFile.Open(good);
    port.Inject(Line(4));
    dev.PrimaryFile.Open("/dev/full");
    port.Inject(Line(5));
    EXPECT_EQ(test::ReadFileBytes(good), Line(4));
    log = SystemLog();
    reports = 0;
    for (size_t at = log.find("(CommPortRead)"); at != std::string::npos; at = log.find("(CommPortRead)", at + 1))
        ++reports;
    EXPECT_EQ(reports, 2u) << log;
}

TEST(ConsoleCrash, LinesOfTheChunkSurviveACrashInTheDispatcher) {
    GTEST_FLAG_SET(death_test_style, "fast");  // the child writes where the parent looks
    test::TempHome home;
    std::string primary = home.File("p.txt");
    EXPECT_DEATH(
        {
            test::FakeSerialLink port;
            DeviceState dev;
            dev.Console.Port = &port;
            port.SetReceiveHandler([&] { CommPortRead(dev); });
            port.SetRThreshold(1);
            port.SetPortOpen(true);
            dev.PrimaryFile.Open(primary);
            dev.PrimaryOpen = true;
            dev.MessageProcessing = [](DeviceState& d, platform::Stamp) {
                if (d.Console.Lines[d.Console.Current].find("boom") != std::string::npos) std::abort();
            };
            port.Inject("first\r\nsecond\r\nboom\r\nnever\r\n");
        },
        "");
    EXPECT_EQ(test::ReadFileBytes(primary), "first\r\nsecond\r\n");
}
