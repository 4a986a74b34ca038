// A device window whose log sits on a small file system that fills up: the
// real window on the offscreen platform, its receiver on a pseudo-terminal,
// a 4 MiB tmpfs that is really filled (when this process may mount one).
// Whatever the disk refuses, the log never ends in part of a line and no
// line starts in the middle of another; what is dropped is told once per
// spell of a full disk, with its count.
#include "bench/devices/comm_window.h"
#include "bench/devices/system_log.h"
#include "tests/support/emulated_receiver.h"
#include "tests/support/fakes.h"
#include "tests/support/qt_app.h"
#include "tests/support/small_tmpfs.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <sys/stat.h>

using namespace bench;

namespace {

struct SystemLogOpen {
    SystemLogOpen() { OpenSystemLog(); }
    ~SystemLogOpen() { CloseSystemLog(); }
};

size_t FileSize(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? static_cast<size_t>(st.st_size) : 0;
}

size_t Count(const std::string& all, const std::string& what) {
    size_t n = 0;
    for (size_t at = all.find(what); at != std::string::npos; at = all.find(what, at + 1)) ++n;
    return n;
}

// The system-log lines that hold `what`, each without its date.
std::vector<std::string> LinesWith(const std::string& all, const std::string& what) {
    std::vector<std::string> lines;
    for (const std::string& line : test::SplitLines(all))
        if (line.find(what) != std::string::npos) lines.push_back(line.substr(line.find(" : ") + 3));
    return lines;
}

// A numbered line of the receiver's own; `length` bytes when given.
std::string Mark(int i, size_t length = 0) {
    std::string body = "$PQNVMARK,RCV1," + std::to_string(i) + ",";
    const size_t total = length ? length : body.size() + 5 + static_cast<size_t>(i % 41);
    body += std::string(total - body.size() - 5, 'A');
    return test::Sentence(body);
}

// A babbling receiver: NMEA characters in no order, no line feed.
std::string Babble(size_t n) {
    static const char kChars[] = "$GPGSVRMCA0123456789,.*NESW";
    std::string out(n, ' ');
    uint32_t x = 88172645u;
    for (char& c : out) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        c = kChars[x % (sizeof(kChars) - 1)];
    }
    return out;
}

// One device window logging onto the small disk.
class WindowOnASmallDisk : public ::testing::Test {
protected:
    void SetUp() override {
        if (!disk.Mounted()) GTEST_SKIP() << "no tmpfs can be mounted here (" << disk.Why() << ")";
        rx.RegisterPort(44);
        window = std::make_unique<CommWindow>(&host);
        window->SetDeviceName("RCV1");
        window->SetDeviceID(0);
        window->SetDeviceComParams(44, 115200);
        window->show();
        window->OpenPort_Click();
        ASSERT_TRUE(window->Port().PortOpen());
        window->DeviceSetPrimaryLogFileBaseName(home.File("small/RCV1_TTFF_COLD_NMEA"));
        window->DeviceStartPrimaryLogging(".txt");
        path = window->State().PrimaryFile.Path();
        ASSERT_FALSE(path.empty());
    }
    void TearDown() override { window.reset(); }

    void Send(const std::string& bytes) {
        sent += bytes;
        rx.Write(bytes);
    }
    // Every byte sent so far reached the window: in the file or held back,
    // less what the window dropped.
    bool Reached(size_t dropped = 0) {
        return !rx.Sending() && FileSize(path) + window->State().PrimaryFile.Unwritten() + dropped == sent.size();
    }
    void SendMarks(int n) {
        for (int k = 0; k < n; ++k) Send(Mark(next++));
    }
    // Fills the disk so that the log's last page is partly free: the next
    // line longer than that room is cut by the disk.
    size_t FillLeavingRoom() {
        for (int tries = 0; tries < 8; ++tries) {
            disk.Fill();
            const size_t room = (4096 - FileSize(path) % 4096) % 4096;
            if (room >= 64) return room;
            disk.Free();
            SendMarks(1);
            EXPECT_TRUE(test::WaitFor([&] { return Reached(); }, 5000));
        }
        return 0;
    }
    std::string SystemLog() const { return test::ReadFileBytes(SystemLogPath()); }

    test::TempHome home;
    SystemLogOpen system_log;
    test::SmallTmpfs disk{home.File("small")};
    test::FakeBenchHost host;
    test::EmulatedReceiver rx;
    std::unique_ptr<CommWindow> window;
    std::string path, sent;
    int next = 0;
};

}  // namespace

// The disk fills in the middle of a line and stays full until the log is
// closed: the line's start is cut back out of the file, and its bytes are
// counted with the held ones that never went out.
TEST_F(WindowOnASmallDisk, ALogClosedWhileTheDiskIsFullEndsInItsLastWholeLine) {
    SendMarks(30);
    ASSERT_TRUE(test::WaitFor([&] { return Reached(); }, 5000)) << FileSize(path) << " of " << sent.size();
    const size_t room = FillLeavingRoom();
    ASSERT_GT(room, 0u);
    const size_t whole = FileSize(path);
    Send(Mark(next++, room + 50));
    SendMarks(10);
    ASSERT_TRUE(test::WaitFor([&] { return Reached(); }, 5000)) << FileSize(path) << " of " << sent.size();
    ASSERT_EQ(FileSize(path), whole + room) << "the disk took the line's start";
    ASSERT_GT(window->State().PrimaryFile.Unwritten(), 0u);

    window->DeviceEndPrimaryLogging();
    const std::string log = test::ReadFileBytes(path);
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back(), '\n') << "the log ends in part of a line: ..." << log.substr(log.size() - std::min<size_t>(log.size(), 60));
    EXPECT_EQ(log, sent.substr(0, whole)) << "cut back to the last whole line";
    const std::vector<std::string> told = LinesWith(SystemLog(), " not written to " + path);
    ASSERT_EQ(told.size(), 1u) << SystemLog();
    EXPECT_EQ(told[0], "11 lines (" + std::to_string(sent.size() - whole) + " bytes) not written to " + path +
                           ": the file did not take them\r\n");
}

// A babbling receiver sends a line longer than the bound for held bytes
// while the disk is full: the line is dropped whole, its start in the file
// too, so the next sentence starts a line of its own once the disk has room;
// the drop is told once for the spell, with its count.
TEST_F(WindowOnASmallDisk, ALineTooLongToHoldIsDroppedWholeAndToldOncePerSpell) {
    SendMarks(20);
    ASSERT_TRUE(test::WaitFor([&] { return Reached(); }, 5000)) << FileSize(path) << " of " << sent.size();
    const size_t room = FillLeavingRoom();
    ASSERT_GT(room, 0u);
    const size_t whole = FileSize(path);
    const std::string babble = Babble(size_t{3} << 19) + "\r\n";
    Send(babble);
    const size_t before_marks = sent.size();
    SendMarks(5);
    const std::string held = sent.substr(before_marks);
    // The sentences after it are held, or written into the room the
    // babble's start left when it was cut back out.
    EXPECT_TRUE(test::WaitFor([&] { return Reached(babble.size()); }, 15000))
        << FileSize(path) << " written, " << window->State().PrimaryFile.Unwritten() << " held of " << sent.size();
    disk.Free();
    const size_t after_free = sent.size();
    SendMarks(5);
    const std::string later = sent.substr(after_free);
    ASSERT_TRUE(test::WaitFor(
        [&] { return !rx.Sending() && window->State().PrimaryFile.Unwritten() == 0 && Count(test::ReadFileBytes(path), later) == 1; },
        10000));
    window->DeviceEndPrimaryLogging();

    const std::string system_log = SystemLog();
    EXPECT_EQ(Count(system_log, "Device I/O error (" + path), 1u) << "one spell, one failure told";
    const std::vector<std::string> told = LinesWith(system_log, " not written to " + path);
    EXPECT_EQ(told.size(), 1u) << "reports in one spell, the first: " << (told.empty() ? "" : told[0]);
    if (!told.empty()) {
        EXPECT_EQ(told[0], "1 lines (" + std::to_string(babble.size()) + " bytes) not written to " + path +
                               ": the file did not take them\r\n");
    }
    const std::string log = test::ReadFileBytes(path);
    for (const std::string& line : test::SplitLines(log))
        ASSERT_EQ(line.rfind("$PQNVMARK,RCV1,", 0), 0u) << "a sentence starts mid-line: " << line.substr(0, 60) << " ... "
                                                        << line.substr(line.size() - std::min<size_t>(line.size(), 60));
    EXPECT_TRUE(log == sent.substr(0, whole) + held + later) << "the babble dropped whole, every sentence kept";
}
