// The replay window driven as a user drives it, offscreen: logs chosen in the
// open dialog, their indexes built, "Done", the record slider, the buttons
// and the player's timer, into real device windows that decode what they get.
#include <QAbstractItemView>
#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QTimer>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QSlider>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "bench/devices/comm_window.h"
#include "bench/instruments/replay_index.h"
#include "bench/instruments/replay_window.h"
#include "platform/qt/bench_timer.h"
#include "tests/instruments/replay_logs.h"
#include "tests/session/benchtop_fixture.h"
#include "tests/session/dialogs_ui.h"
#include "tests/support/fake_device_window.h"
#include "tests/support/fakes.h"
#include "tests/support/qt_app.h"

namespace {

namespace fs = std::filesystem;
using dialogs_test::Click;
using dialogs_test::Find;
using platform::Answer;

// Everything a device window's console received, in order (fewer lines than
// its ring holds).
std::string ConsoleText(bench::CommWindow* w) {
    const bench::ConsoleBuffer& c = w->State().Console;
    std::string out;
    for (int i = 0; i < c.Current; ++i) out += c.Lines[i];
    return out + c.Lines[c.Current];
}

bool EndsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

// Bytes of one second of a made log: its GGA up to the next second's.
std::string Second(const replay_test::Log& log, size_t i) {
    const auto from = static_cast<size_t>(log.epochs[i].position - 1);
    const size_t to = i + 1 < log.epochs.size() ? static_cast<size_t>(log.epochs[i + 1].position - 1) : log.bytes.size();
    return log.bytes.substr(from, to - from);
}

// Replay device windows that record the calls made on them, tagged "W".
struct FakeReplayWindows : bench::ReplayDeviceWindows {
    std::vector<std::string> calls;
    std::vector<std::unique_ptr<fakes::FakeDeviceWindow>> made;
    bench::DeviceOps* MakeReplayWindow() override {
        made.push_back(std::make_unique<fakes::FakeDeviceWindow>("W", &calls, &platform::SystemClock::Instance()));
        return made.back().get();
    }
    void ShowReplayWindow(bench::DeviceOps*) override {}
    void CloseReplayWindow(bench::DeviceOps*) override {}
    bool IsOpen(bench::DeviceOps*) const override { return true; }
};

// Writes an index of (1-based position, seconds of the day) records beside
// `log`, newer than the log, as building it would.
void WriteIndex(const std::string& log, const std::vector<std::pair<int64_t, int>>& records) {
    std::string idx(4, '\0');
    const auto n = static_cast<uint32_t>(records.size());
    std::memcpy(idx.data(), &n, 4);
    for (const auto& [position, second] : records) {
        const auto pos = static_cast<uint32_t>(position);
        const double t = second / 86400.0;
        char rec[12];
        std::memcpy(rec, &pos, 4);
        std::memcpy(rec + 4, &t, 8);
        idx.append(rec, 12);
    }
    const std::string name = bench::ReplayIndexName(log);
    test::WriteFileBytes(name, idx);
    fs::last_write_time(name, fs::last_write_time(log) + std::chrono::seconds(2));
}

// A device window that records the calls made on it.
class RecordingWindow : public QWidget, public fakes::FakeDeviceWindow {
public:
    RecordingWindow(std::string tag, std::vector<std::string>* calls)
        : fakes::FakeDeviceWindow(std::move(tag), calls, &platform::SystemClock::Instance()) {}
};

class ReplayWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        dialogs_test::ResetPrompts();
        home = std::make_unique<test::TempHome>();
    }
    void TearDown() override {
        owner.reset();
        dialogs_test::ResetPrompts();
    }
    // real: CommWindows; else windows that record their calls.
    bench::ReplayWindow& Open(bool real) {
        owner = std::make_unique<bench::ReplayOwner>(
            nullptr, &live,
            [this, real](bench::BenchHost& host) -> bench::ReplayWindowMade {
                hosts.push_back(&host);
                if (real) {
                    auto* w = new bench::CommWindow(&host);
                    comm.push_back(w);
                    return {w, w};
                }
                auto* w = new RecordingWindow("W" + std::to_string(recorded.size()), &calls);
                recorded.push_back(w);
                return {w, w};
            },
            [this](const std::string& text) { reports.push_back(text); });
        window = &owner->Show();
        return *window;
    }
    std::string Log(const std::string& name, const replay_test::Log& log) {
        const std::string path = home->File(name);
        test::WriteFileBytes(path, log.bytes);
        return path;
    }
    // "Add " with the file chosen in the dialog; `answers` for the questions after it.
    void Add(const std::string& path, std::vector<Answer> answers = {}) {
        auto& p = platform::Prompts::Instance();
        p.QueueFileName(path);
        for (Answer a : answers) p.QueueAnswer(a);
        Click(window, "Command3");
    }
    std::vector<std::string> List() { return dialogs_test::Lines(Find<QListWidget>(window, "List1")); }
    QSlider* Slider(const char* name) { return Find<QSlider>(window, name); }
    std::string Text3() { return Find<QLineEdit>(window, "Text3")->text().toStdString(); }
    bool Shown(const char* frame) { return Find<QGroupBox>(window, frame)->isVisible(); }
    std::vector<std::string> ReplayCalls(const std::string& tag) {
        std::vector<std::string> out;
        for (const auto& c : calls)
            if (c.rfind(tag + ".DeviceReplayFile", 0) == 0) out.push_back(c.substr(tag.size() + 1));
        return out;
    }
    static std::string Replayed(const std::string& file, long long pos, long long next) {
        return "DeviceReplayFile(" + file + "," + std::to_string(pos) + "," + std::to_string(next) + ")";
    }

    std::unique_ptr<test::TempHome> home;
    test::FakeBenchHost live;
    std::unique_ptr<bench::ReplayOwner> owner;
    bench::ReplayWindow* window = nullptr;
    std::vector<bench::CommWindow*> comm;
    std::vector<RecordingWindow*> recorded;
    std::vector<bench::BenchHost*> hosts;
    std::vector<std::string> calls;
    std::vector<std::string> reports;
};

TEST_F(ReplayWindowTest, TheUtcBoxLooksReadOnlyAndTakesNoFocus) {
    Open(false);
    auto* utc = Find<QLineEdit>(window, "Text3");
    ASSERT_NE(utc, nullptr);
    EXPECT_TRUE(utc->isReadOnly());
    EXPECT_EQ(utc->focusPolicy(), Qt::NoFocus) << "no focus frame, and Tab passes it by";
    EXPECT_EQ(utc->palette().color(QPalette::Base), window->palette().color(QPalette::Window))
        << "shown on the window's colour, not as a box to type in";
}

TEST_F(ReplayWindowTest, TwoLogsPlayTogetherIntoDeviceWindowsThatDecodeThem) {
    // The second log starts five seconds after the first, further north.
    const replay_test::Log a = replay_test::MakeLog(43200, 12, 7.038, "$PQNVRST,BOOT*00\r\n");
    const replay_test::Log b = replay_test::MakeLog(43205, 12, 9.5);
    const std::string fa = Log("RCV1_NMEA.txt", a);
    const std::string fb = Log("RCV2_NMEA.txt", b);
    Open(true);
    EXPECT_EQ(window->windowTitle().toStdString(), "Log Files Replay");
    EXPECT_TRUE(Shown("Frame1"));
    EXPECT_FALSE(Shown("Frame2"));

    Add(fa, {Answer::Yes});
    Add(fb, {Answer::Yes});
    EXPECT_EQ(dialogs_test::TakeAsked(),
              (std::vector<std::string>{"Open: " + home->Path(), "Warning: The " + home->File("RCV1_NMEA.idx") +
                                                      " file is not available. Do you want to create it?",
                                        "Open: " + home->Path(), "Warning: The " + home->File("RCV2_NMEA.idx") +
                                                      " file is not available. Do you want to create it?"}));
    EXPECT_EQ(List(), (std::vector<std::string>{fa, fb}));
    EXPECT_EQ(bench::ReadIndexCount(home->File("RCV1_NMEA.idx")), 12);
    EXPECT_EQ(bench::ReadIndexCount(home->File("RCV2_NMEA.idx")), 12);

    Click(window, "Command6");  // Done
    EXPECT_FALSE(Shown("Frame1"));
    EXPECT_TRUE(Shown("Frame2"));
    ASSERT_EQ(comm.size(), 2u);
    EXPECT_EQ(Slider("Slider1")->minimum(), 1);
    EXPECT_EQ(Slider("Slider1")->maximum(), 12);
    EXPECT_EQ(Slider("Slider1")->value(), 1);
    EXPECT_EQ(Text3(), "12:00:00");
    // Side by side in one row.
    EXPECT_EQ(comm[1]->DeviceGetTop(), comm[0]->DeviceGetTop());
    EXPECT_EQ(comm[1]->DeviceGetLeft(), comm[0]->DeviceGetWidth());
    // The first second of each log: the second log's first record stands for
    // the time before it began.
    EXPECT_EQ(ConsoleText(comm[0]), Second(a, 0));
    EXPECT_EQ(ConsoleText(comm[1]), Second(b, 0));

    // 12:00:01 is still before the second log: its first second is not fed again.
    Click(window, "Forward");
    EXPECT_EQ(ConsoleText(comm[0]), Second(a, 0) + Second(a, 1));
    EXPECT_EQ(ConsoleText(comm[1]), Second(b, 0));

    // Seek to 12:00:07: both logs replay that very second, decoded.
    Slider("Slider1")->setValue(8);
    EXPECT_EQ(Text3(), "12:00:07");
    EXPECT_TRUE(EndsWith(ConsoleText(comm[0]), Second(a, 7)));
    EXPECT_TRUE(EndsWith(ConsoleText(comm[1]), Second(b, 2)));
    const std::string gga_a = a.epochs[7].gga.substr(0, a.epochs[7].gga.size() - 2);
    EXPECT_EQ(comm[0]->GetCurrentGGAString().substr(0, gga_a.size()), gga_a);
    EXPECT_EQ(comm[0]->State().Sats[5].CN0, a.epochs[7].cn0);
    EXPECT_EQ(comm[1]->State().Sats[5].CN0, b.epochs[2].cn0);
    // Latitudes in minutes of arc.
    EXPECT_NEAR(comm[1]->State().Latitude - comm[0]->State().Latitude, 9.5 - 7.038, 1e-6);

    Click(window, "Back");
    EXPECT_EQ(Text3(), "12:00:06");
    EXPECT_EQ(comm[0]->State().Sats[5].CN0, a.epochs[6].cn0);
    Click(window, "Forward");
    EXPECT_EQ(Slider("Slider1")->value(), 8);

    // Play at ten records a second, pause, play on to the end.
    Slider("Slider2")->setValue(100);
    Click(window, "Play");
    EXPECT_FALSE(Find<QPushButton>(window, "Play")->isEnabled());
    ASSERT_TRUE(test::WaitFor([&] { return Slider("Slider1")->value() >= 10; }, 3000));
    Click(window, "Stop");
    const int paused = Slider("Slider1")->value();
    test::Pump(350);
    EXPECT_EQ(Slider("Slider1")->value(), paused) << "nothing moves while paused";
    Click(window, "Play");
    ASSERT_TRUE(test::WaitFor([&] { return Slider("Slider1")->value() == 12; }, 3000));
    const std::string at_end = ConsoleText(comm[0]);
    test::Pump(350);
    EXPECT_EQ(Slider("Slider1")->value(), 12);
    EXPECT_EQ(ConsoleText(comm[0]), at_end) << "the last record is replayed once";
    Click(window, "Stop");

    // From the seek on, the first window got the log's bytes in order, to its end.
    const std::string from_seek = a.bytes.substr(static_cast<size_t>(a.epochs[7].position - 1));
    EXPECT_TRUE(EndsWith(ConsoleText(comm[0]), from_seek));
    // The second log, 12:00:07 to 12:00:11, its last second ending where 12:00:12 begins.
    std::string b_played;
    for (size_t i = 2; i <= 6; ++i) b_played += Second(b, i);
    EXPECT_TRUE(EndsWith(ConsoleText(comm[1]), b_played));
    // Its first second was fed once, though the first log's times before it
    // all point to it.
    const std::string b0 = b.epochs[0].gga;
    const std::string seen = ConsoleText(comm[1]);
    EXPECT_EQ(seen.find(b0), seen.rfind(b0));
    EXPECT_EQ(comm[1]->State().Sats[5].CN0, b.epochs[6].cn0);
    // Each replay window keeps its C/N0 log beside its log.
    EXPECT_TRUE(fs::exists(home->File("RCV1_NMEA_CN0.txt")));
    EXPECT_TRUE(reports.empty()) << reports.front();
}

TEST_F(ReplayWindowTest, ReplayWindowsLeaveTheLiveSessionAlone) {
    live.CarsOn = true;
    replay_test::Log a = replay_test::MakeLog(3600, 3);
    // A recorded session start and stop in the middle of the log.
    a.bytes += replay_test::Sentence("PQNVCARS,START") + replay_test::Sentence("PQNVCARS,STOP");
    const std::string fa = Log("cars.txt", a);
    bench::BuildTimeIndex(fa, "$GPGGA", nullptr);
    Open(true);
    Add(fa);
    EXPECT_EQ(dialogs_test::TakeAsked(), (std::vector<std::string>{"Open: " + home->Path()})) << "an index that exists asks nothing";
    Click(window, "Command6");
    ASSERT_EQ(comm.size(), 1u);
    Click(window, "Forward");
    Click(window, "Forward");
    EXPECT_NE(ConsoleText(comm[0]).find("PQNVCARS,STOP"), std::string::npos);
    EXPECT_TRUE(live.Calls.empty()) << live.Calls.front();
    EXPECT_EQ(live.FixTime, 0.0);
    ASSERT_EQ(hosts.size(), 1u);
    EXPECT_NE(hosts[0], static_cast<bench::BenchHost*>(&live));
    // The checksum option still follows the main window's.
    live.CrcOn = false;
    EXPECT_FALSE(hosts[0]->NmeaCRCChecked());
}

TEST_F(ReplayWindowTest, RemovingALogThenDoneReplaysTheOthersEachByItsOwnIndex) {
    const replay_test::Log l0 = replay_test::MakeLog(36000, 5);
    const replay_test::Log l1 = replay_test::MakeLog(36000, 5, 1.0);
    // Starts two seconds later and has a header line before its first GGA.
    const replay_test::Log l2 = replay_test::MakeLog(36002, 5, 2.0, "$PQNVVER,1.2*00\r\n");
    const std::string f0 = Log("l0.txt", l0), f1 = Log("l1.txt", l1), f2 = Log("l2.txt", l2);
    Open(false);
    for (const auto& f : {f0, f1, f2}) Add(f, {Answer::Yes});
    dialogs_test::ClickRow(Find<QListWidget>(window, "List1"), 1);
    Click(window, "Command5");  // Remove
    EXPECT_EQ(List(), (std::vector<std::string>{f0, f2}));
    EXPECT_EQ(owner->Control().ReplayIndexNames(), (std::vector<std::string>{home->File("l0.idx"), home->File("l2.idx")}));

    Click(window, "Command6");
    ASSERT_EQ(recorded.size(), 2u);
    const std::vector<std::string> set_up = {
        "SetDeviceType(0)", "SetDeviceName(" + f2 + ")", "SetDeviceID(1)", "DeviceSetTop(0)", "DeviceSetLeft(2000)", "DeviceEnableDataDecoding()", "DeviceSetPrimaryLogFileBaseName(" + home->File("l2") + ")",
        "DeviceEnableCN0Logging(-1)"};
    std::vector<std::string> second(recorded[1]->own_calls.begin(), recorded[1]->own_calls.begin() + set_up.size());
    EXPECT_EQ(second, set_up);

    // 10:00:00 is before the third log: its first record; 10:00:03 is its second.
    EXPECT_EQ(ReplayCalls("W0"), (std::vector<std::string>{Replayed(f0, 1, l0.epochs[1].position)}));
    EXPECT_EQ(ReplayCalls("W1"),
              (std::vector<std::string>{Replayed(f2, l2.epochs[0].position, l2.epochs[1].position)}));
    Slider("Slider1")->setValue(4);
    EXPECT_EQ(ReplayCalls("W1").back(), Replayed(f2, l2.epochs[1].position, l2.epochs[2].position));
    // The first log's last second runs to the end of the log.
    Slider("Slider1")->setValue(5);
    EXPECT_EQ(ReplayCalls("W0").back(),
              Replayed(f0, l0.epochs[4].position, static_cast<long long>(l0.bytes.size()) + 1));
    EXPECT_EQ(ReplayCalls("W1").back(), Replayed(f2, l2.epochs[2].position, l2.epochs[3].position));

    // A second "Done" closes the first set of windows before making its own.
    QPointer<QWidget> first = recorded[0];
    Click(window, "Command7");  // File List
    EXPECT_TRUE(Shown("Frame1"));
    Click(window, "Command6");
    EXPECT_TRUE(first.isNull());
    EXPECT_EQ(recorded.size(), 4u);
    EXPECT_EQ(owner->Control().ReplayDeviceWindowList().size(), 2u);
}

// Two day-long logs from noon to noon, the second five seconds behind: the
// slider and the buttons feed each log the second of the day it shows, on
// the right day, across midnight and on into the next morning.
TEST_F(ReplayWindowTest, DayLongLogsReplayTheirOwnSecondsAcrossMidnight) {
    const replay_test::Log a = replay_test::MakeLog(43200, 86401);
    const replay_test::Log b = replay_test::MakeLog(43205, 86401, 9.5);
    const std::string fa = Log("day_a.txt", a);
    const std::string fb = Log("day_b.txt", b);
    Open(false);
    Add(fa, {Answer::Yes});
    Add(fb, {Answer::Yes});
    Click(window, "Command6");
    ASSERT_EQ(recorded.size(), 2u);
    EXPECT_EQ(Slider("Slider1")->maximum(), 86401);

    // What each log was fed at a record of the first log, and the time shown.
    auto expect_at = [&](int record, const std::string& shown) {
        Slider("Slider1")->setValue(record);
        const size_t ia = static_cast<size_t>(record - 1);
        EXPECT_EQ(Text3(), shown) << record;
        EXPECT_EQ(ReplayCalls("W0").back(), Replayed(fa, a.epochs[ia].position, a.epochs[ia + 1].position)) << shown;
        // The second log's record of the same second began five seconds later.
        const size_t ib = ia - 5;
        EXPECT_EQ(ReplayCalls("W1").back(), Replayed(fb, b.epochs[ib].position, b.epochs[ib + 1].position)) << shown;
    };
    expect_at(43198, "23:59:57");
    expect_at(43201, "00:00:00");
    expect_at(43425, "00:03:44");
    expect_at(50101, "01:55:00");
    expect_at(64801, "06:00:00");
    expect_at(86400, "11:59:59");

    // Step by step over midnight: one second after the other, none twice.
    Slider("Slider1")->setValue(43196);
    const size_t before_a = ReplayCalls("W0").size();
    for (int i = 0; i < 8; ++i) Click(window, "Forward");
    const std::vector<std::string> got = ReplayCalls("W0");
    ASSERT_EQ(got.size(), before_a + 8);
    for (size_t k = 0; k < 8; ++k)
        EXPECT_EQ(got[before_a + k], Replayed(fa, a.epochs[43196 + k].position, a.epochs[43197 + k].position)) << k;
    EXPECT_EQ(Text3(), "00:00:03");
    EXPECT_TRUE(reports.empty()) << reports.front();
}

// A log longer than its index can address: the last indexed second feeds
// its own bytes only, up to the next second beyond the index, never the
// gigabytes after it; a last second followed by nothing that looks like a
// second feeds no more than any second could.
TEST(ReplayBigLog, TheLastIndexedSecondOfALogPastFourGibibytesFeedsOneSecond) {
    dialogs_test::ResetPrompts();
    test::TempHome home;
    const replay_test::Log tail = replay_test::MakeLog(600, 20);
    // Sparse: the receiver's seconds straddle 4 GiB, then 700 MiB of nothing.
    const int64_t at = (int64_t{1} << 32) - static_cast<int64_t>(tail.bytes.size()) / 2;
    const int64_t size = (int64_t{1} << 32) + (int64_t{700} << 20);
    const std::string path = home.File("huge.txt");
    {
        std::ofstream out(path, std::ios::binary);
        out.seekp(at);
        out.write(tail.bytes.data(), static_cast<std::streamsize>(tail.bytes.size()));
        out.seekp(size - 1);
        out.put('\n');
        ASSERT_TRUE(out.good()) << "no room for a sparse file";
    }
    // The index as building it gives: the seconds that begin below 4 GiB.
    std::vector<size_t> indexed;
    for (size_t i = 0; i < tail.epochs.size(); ++i)
        if (at + tail.epochs[i].position <= bench::kMaxIndexedPosition) indexed.push_back(i);
    ASSERT_GE(indexed.size(), 2u);
    ASSERT_LT(indexed.size(), tail.epochs.size());
    std::vector<std::pair<int64_t, int>> records;
    for (size_t i : indexed) records.push_back({at + tail.epochs[i].position, tail.epochs[i].second});
    WriteIndex(path, records);

    FakeReplayWindows windows;
    platform::ManualTimer timer;
    std::vector<std::string> reports;
    bench::Replay r(windows, timer, home.Path(), [&](const std::string& t) { reports.push_back(t); });
    r.AddLog(path);
    r.Command6_Click();
    ASSERT_EQ(r.Slider1Max(), static_cast<int>(indexed.size()));
    r.Slider1_Change(r.Slider1Max());
    const size_t last = indexed.back();
    const std::string want = "W.DeviceReplayFile(" + path + "," + std::to_string(at + tail.epochs[last].position) +
                             "," + std::to_string(at + tail.epochs[last + 1].position) + ")";
    ASSERT_FALSE(windows.calls.empty());
    EXPECT_EQ(windows.calls.back(), want);

    // Only nothing after the last second: at most one bounded read's worth.
    const std::string bare = home.File("bare.txt");
    const std::string one = Second(tail, 0);
    const int64_t bare_at = (int64_t{1} << 32) - 4096;
    {
        std::ofstream out(bare, std::ios::binary);
        out.seekp(bare_at);
        out.write(one.data(), static_cast<std::streamsize>(one.size()));
        out.seekp(size - 1);
        out.put('\n');
        ASSERT_TRUE(out.good());
    }
    WriteIndex(bare, {{bare_at + 1, tail.epochs[0].second}});
    bench::Replay r2(windows, timer, home.Path(), [&](const std::string& t) { reports.push_back(t); });
    windows.calls.clear();
    r2.AddLog(bare);
    r2.Command6_Click();
    ASSERT_FALSE(windows.calls.empty());
    const std::string& call = windows.calls.back();
    const std::string head = "W.DeviceReplayFile(" + bare + "," + std::to_string(bare_at + 1) + ",";
    ASSERT_EQ(call.substr(0, head.size()), head);
    const long long end = std::stoll(call.substr(head.size()));
    EXPECT_GT(end, bare_at + 1 + static_cast<long long>(one.size())) << "the whole second";
    EXPECT_LE(end - (bare_at + 1), 64 * 1024) << "fed " << end - (bare_at + 1) << " bytes";
    EXPECT_TRUE(reports.empty()) << reports.front();
}

TEST_F(ReplayWindowTest, TheFileListRefusesWhatCannotBeReplayed) {
    Open(false);
    // Nothing listed: "Done" stays on the list; the player cannot be used yet.
    Click(window, "Command6");
    EXPECT_TRUE(Shown("Frame1"));
    EXPECT_TRUE(dialogs_test::AnyStartsWith(dialogs_test::TakeAsked(), "WARNING: Add the logs"));
    Click(window, "Command8");  // Cancel
    EXPECT_TRUE(Shown("Frame2"));
    for (const char* c : {"Play", "Back", "Forward"}) EXPECT_FALSE(Find<QPushButton>(window, c)->isEnabled()) << c;
    EXPECT_FALSE(Slider("Slider1")->isEnabled());
    Click(window, "Command7");

    // A log without an index, answered No: listed, asked again at "Done",
    // and left out when the answer stays No.
    const std::string plain = Log("plain.txt", replay_test::MakeLog(100, 3));
    const std::string other = Log("other.txt", replay_test::MakeLog(100, 3, 3.0));
    Add(plain, {Answer::No});
    Add(other, {Answer::Yes});
    EXPECT_FALSE(fs::exists(home->File("plain.idx")));
    EXPECT_EQ(List().size(), 2u);
    dialogs_test::TakeAsked();
    platform::Prompts::Instance().QueueAnswer(Answer::No);
    Click(window, "Command6");
    const auto asked = dialogs_test::TakeAsked();
    EXPECT_TRUE(dialogs_test::AnyStartsWith(asked, "Warning: The " + home->File("plain.idx")));
    EXPECT_TRUE(dialogs_test::AnyStartsWith(asked, "WARNING: These logs are not replayed:\n" + plain));
    ASSERT_EQ(recorded.size(), 1u);
    EXPECT_EQ(recorded[0]->own_calls[1], "SetDeviceName(" + other + ")");

    // An index older than its log is rebuilt without asking.
    Click(window, "Command7");
    test::WriteFileBytes(other, replay_test::MakeLog(100, 4, 3.0).bytes);
    fs::last_write_time(other, fs::last_write_time(home->File("other.idx")) + std::chrono::seconds(2));
    Add(other);
    EXPECT_EQ(dialogs_test::TakeAsked(), (std::vector<std::string>{"Open: " + home->Path()}));
    EXPECT_EQ(bench::ReadIndexCount(home->File("other.idx")), 4);

    // At most eleven logs.
    while (List().size() < 11) Add(other);
    dialogs_test::TakeAsked();
    Click(window, "Command3");
    EXPECT_EQ(List().size(), 11u);
    EXPECT_TRUE(dialogs_test::AnyStartsWith(dialogs_test::TakeAsked(), "WARNING: At most 11 logs"));
}

// --- logs a newcomer brings ---

// The log with every "$GPGGA" given another talker, checksums made again,
// as a multi-constellation receiver writes it.
std::string WithTalker(const std::string& bytes, const std::string& talker) {
    std::string out;
    size_t start = 0;
    for (size_t nl; (nl = bytes.find("\r\n", start)) != std::string::npos; start = nl + 2) {
        std::string line = bytes.substr(start, nl - start);
        if (line.rfind("$GPGGA", 0) == 0) {
            const std::string body = talker + line.substr(3, line.find('*') - 3);
            line = test::Sentence(body);
            line.resize(line.size() - 2);
        }
        out += line + "\r\n";
    }
    return out;
}

TEST_F(ReplayWindowTest, ALogOfAnotherTalkerIsSaidToHaveNoTimeToReplayByNamingIt) {
    const std::string gn = home->File("multi_NMEA.log");
    test::WriteFileBytes(gn, WithTalker(replay_test::MakeLog(43200, 5).bytes, "$GN"));
    const std::string gp = Log("RCV1_NMEA.txt", replay_test::MakeLog(43200, 5));
    Open(false);
    dialogs_test::TakeAsked();
    Add(gn, {Answer::Yes});
    const std::string no_time =
        "no time to replay by: it holds no $GPGGA sentence with a time (its fixes are $GNGGA sentences)";
    std::vector<std::string> asked = dialogs_test::TakeAsked();
    ASSERT_EQ(asked.size(), 3u);
    EXPECT_EQ(asked[2], "WARNING: " + gn + " has " + no_time + ".");
    EXPECT_EQ(bench::ReadIndexCount(home->File("multi_NMEA.idx")), 0);

    Add(gp, {Answer::Yes});
    dialogs_test::TakeAsked();
    Click(window, "Command6");  // Done
    asked = dialogs_test::TakeAsked();
    EXPECT_TRUE(dialogs_test::AnyStartsWith(asked, "WARNING: These logs are not replayed:\n" + gn + " (" + no_time + ")"))
        << (asked.empty() ? "" : asked[0]);
    EXPECT_EQ(recorded.size(), 1u) << "the other log still replays";

    // A file named as an index would have its own index written over it.
    Click(window, "Command7");
    const std::string idx = home->File("RCV1_NMEA.idx");
    const std::string before = test::ReadFileBytes(idx);
    Add(idx);
    asked = dialogs_test::TakeAsked();
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_EQ(asked[1], "WARNING: The file " + idx + " is named as a time index: it cannot be replayed.");
    EXPECT_EQ(List().size(), 2u);
    EXPECT_EQ(test::ReadFileBytes(idx), before);
}

// The names in a file dialog's list, once its folder has been read.
std::vector<std::string> ListedNames(QFileDialog* dialog) {
    std::vector<std::string> out;
    auto* view = dialog->findChild<QAbstractItemView*>("treeView");
    if (!view || !view->model()) return out;
    const QModelIndex root = view->rootIndex();
    for (int r = 0; r < view->model()->rowCount(root); ++r) {
        const QString name = view->model()->index(r, 0, root).data().toString();
        if (QFileInfo(dialog->directory().filePath(name)).isFile()) out.push_back(name.toStdString());
    }
    std::sort(out.begin(), out.end());
    return out;
}

// The real dialog "Add " opens: it lists the logs by the names loggers give
// them, and everything once "All files" is chosen.
TEST_F(ReplayWindowTest, TheOpenDialogListsNmeaLogsByTheirUsualNamesAndAllFiles) {
    for (const char* f : {"a_NMEA.txt", "b.log", "c.nmea", "notes.doc"}) test::WriteFileBytes(home->File(f), "x");
    Open(false);
    QStringList filters;
    std::vector<std::string> logs, all;
    QTimer poll;
    poll.setInterval(50);
    int polls = 0;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* d = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!d) return;
        if (++polls > 200) {  // ten seconds
            d->reject();
            return;
        }
        if (filters.isEmpty()) filters = d->nameFilters();
        if (logs.empty()) {
            const std::vector<std::string> names = ListedNames(d);
            if (names.size() < 3) return;
            logs = names;
            d->selectNameFilter(filters.value(1));
            return;
        }
        all = ListedNames(d);
        if (all.size() == 4) d->reject();
    });
    poll.start();
    platform::Prompts::Instance().SetUnattended(false);
    Click(window, "Command3");
    platform::Prompts::Instance().SetUnattended(true);
    poll.stop();
    EXPECT_EQ(filters, (QStringList{"NMEA logs (*.txt *.log *.nmea)", "All files (*)"}));
    EXPECT_EQ(logs, (std::vector<std::string>{"a_NMEA.txt", "b.log", "c.nmea"}));
    EXPECT_EQ(all, (std::vector<std::string>{"a_NMEA.txt", "b.log", "c.nmea", "notes.doc"}));
    EXPECT_TRUE(List().empty()) << "cancelled: nothing added";
}

// A window whose log has no record for the timeline's second keeps showing
// an older one: its status bar says so until the log has the second.
TEST_F(ReplayWindowTest, AWindowWithoutARecordForTheSecondSaysSoUntilItsLogHasOne) {
    // 12:00:00 to 12:00:09; one with a gap from 12:00:03 to 12:00:06; one
    // that ends at 12:00:02; one that starts at 12:00:05.
    const std::string full = Log("full.txt", replay_test::MakeLog(43200, 10));
    const std::string gap = home->File("gap.txt");
    test::WriteFileBytes(gap, replay_test::MakeLog(43200, 3).bytes + replay_test::MakeLog(43207, 3).bytes);
    const std::string early = Log("early.txt", replay_test::MakeLog(43200, 3));
    const std::string late = Log("late.txt", replay_test::MakeLog(43205, 5));
    Open(true);
    for (const std::string& f : {full, gap, early, late}) Add(f, {Answer::Yes});
    Click(window, "Command6");
    ASSERT_EQ(comm.size(), 4u);
    auto status = [&](size_t i) { return Find<QLabel>(comm[i], "StatusBar1_1")->text().toStdString(); };
    EXPECT_EQ(status(0), "");
    EXPECT_EQ(status(1), "");
    EXPECT_EQ(status(3), "No record for 12:00:00 in this log (it starts at 12:00:05)");
    Slider("Slider1")->setValue(4);  // 12:00:03
    EXPECT_EQ(status(0), "");
    EXPECT_EQ(status(1), "No record for 12:00:03 in this log");
    EXPECT_EQ(status(2), "No record for 12:00:03 in this log (it ends at 12:00:02)");
    Click(window, "Forward");
    EXPECT_EQ(status(1), "No record for 12:00:04 in this log") << "it follows the timeline";
    Slider("Slider1")->setValue(8);  // 12:00:07
    EXPECT_EQ(status(1), "") << "the log has the second again";
    EXPECT_EQ(status(3), "");
    EXPECT_EQ(status(2), "No record for 12:00:07 in this log (it ends at 12:00:02)");
}

TEST(ReplayTimer, TicksAdvanceOneRecordUntilTheLastAndTheSpeedSetsTheInterval) {
    dialogs_test::ResetPrompts();
    test::TempHome home;
    const replay_test::Log l = replay_test::MakeLog(7200, 3);
    test::WriteFileBytes(home.File("t.txt"), l.bytes);
    bench::BuildTimeIndex(home.File("t.txt"), "$GPGGA", nullptr);

    FakeReplayWindows windows;
    platform::ManualTimer timer;
    bench::Replay r(windows, timer, home.Path(), [](const std::string&) {});
    EXPECT_EQ(timer.Interval(), 1000);
    r.Slider2_Change(2000);
    EXPECT_EQ(timer.Interval(), 2000);
    r.Slider2_Change(100);
    EXPECT_EQ(timer.Interval(), 100);

    r.AddLog(home.File("t.txt"));
    r.Command6_Click();
    r.Play_Click();
    EXPECT_TRUE(timer.Tick());
    EXPECT_TRUE(timer.Tick());
    EXPECT_EQ(r.Slider1Value(), 3);
    const size_t replays = windows.calls.size();
    EXPECT_TRUE(timer.Tick());
    EXPECT_TRUE(timer.Tick());
    EXPECT_EQ(r.Slider1Value(), 3);
    EXPECT_EQ(windows.calls.size(), replays) << "nothing more is replayed at the last record";
    EXPECT_TRUE(r.Playing());
    r.Stop_Click();
    EXPECT_FALSE(timer.Tick());
}

TEST(ReplayBigLog, ASecondPastTwoGibibytesOfLogReachesTheWindow) {
    dialogs_test::ResetPrompts();
    test::TempHome home;
    // A sparse file: three gibibytes of nothing, then one second of a receiver.
    const std::string path = home.File("big.txt");
    const replay_test::Log tail = replay_test::MakeLog(600, 2);
    const auto at = static_cast<int64_t>(3) << 30;
    {
        std::ofstream out(path, std::ios::binary);
        out.seekp(at);
        out.write(tail.bytes.data(), static_cast<std::streamsize>(tail.bytes.size()));
        ASSERT_TRUE(out.good()) << "no room for a sparse file";
    }
    test::FakeBenchHost host;
    bench::CommWindow w(&host);
    w.SetDeviceType(0);
    w.DeviceReplayFile(path, at + 1, at + 1 + static_cast<int64_t>(Second(tail, 0).size()));
    EXPECT_EQ(ConsoleText(&w), Second(tail, 0));
    EXPECT_EQ(w.State().Sats[5].CN0, tail.epochs[0].cn0);
}

using ReplayFromTheMenu = benchtop_test::BenchtopTest;

TEST_F(ReplayFromTheMenu, OneReplayWindowWhoseDeviceWindowsStayOutOfTheSession) {
    Open();
    Trigger("LogFileReplay");
    bench::ReplayWindow* shown = top->LogReplay().Window();
    ASSERT_NE(shown, nullptr);
    EXPECT_TRUE(shown->isVisible());
    shown->close();
    Trigger("LogFileReplay");
    EXPECT_EQ(top->LogReplay().Window(), shown) << "one window, kept";
    EXPECT_TRUE(shown->isVisible());

    const replay_test::Log l = replay_test::MakeLog(50000, 4);
    test::WriteFileBytes(home->File("menu.txt"), l.bytes);
    platform::Prompts::Instance().QueueFileName(home->File("menu.txt"));
    platform::Prompts::Instance().QueueAnswer(platform::Answer::Yes);
    Click(shown, "Command3");
    Click(shown, "Command6");
    ASSERT_EQ(factory.made.size(), 1u);
    // In the workspace with the live windows, but not one of them.
    EXPECT_NE(qobject_cast<QMdiSubWindow*>(factory.made[0]->parentWidget()), nullptr);
    EXPECT_EQ(top->NmeaWindow(0), nullptr);
    EXPECT_EQ(top->WindowMenuCount(), 0);
    EXPECT_NE(factory.hosts[0], &top->Host());
    EXPECT_EQ(CallsOf("W0").back(), "DeviceReplayFile(" + home->File("menu.txt") + ",1," +
                                        std::to_string(l.epochs[1].position) + ")");
}

}  // namespace
