// A log whose file system fills up in the middle of a night: lines go in
// groups, as the receive path writes them, while the disk refuses some of
// their bytes. Nothing is lost while the disk comes back in time; past the
// bound whole lines are dropped and counted; a line is never the splice of
// two. Run on a small tmpfs when this process may mount one, and always on
// a file-size limit, which refuses the bytes past it as a full disk does.
#include "bench/devices/byte_log.h"
#include "bench/devices/system_log.h"
#include "platform/core/error.h"
#include "tests/support/emulated_receiver.h"
#include "tests/support/qt_app.h"
#include "tests/support/small_tmpfs.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <string>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace bench;

namespace {

// A full disk and its freeing, whichever way it is made.
struct Disk {
    std::string folder;
    std::function<void()> fill, free;
};

// The file-size limit: bytes past it are refused (EFBIG), a write across it
// is cut there.
class FileSizeLimit {
public:
    FileSizeLimit() {
        ::getrlimit(RLIMIT_FSIZE, &saved_);
        old_ = std::signal(SIGXFSZ, SIG_IGN);
    }
    ~FileSizeLimit() {
        Free();
        std::signal(SIGXFSZ, old_);
    }
    void FillAt(const std::string& path) {
        struct stat st {};
        ::stat(path.c_str(), &st);
        struct rlimit r = saved_;
        r.rlim_cur = static_cast<rlim_t>(st.st_size) + 1000;  // not a line boundary
        ::setrlimit(RLIMIT_FSIZE, &r);
    }
    void Free() { ::setrlimit(RLIMIT_FSIZE, &saved_); }

private:
    struct rlimit saved_ {};
    void (*old_)(int) = SIG_DFL;
};

// Sentences of changing lengths, numbered so each is one of its own.
std::string Sentence(int i) {
    if (i % 3 == 0) return test::Sentence("$GPGSV,2,2,08,15,40,160,36,2" + std::to_string(i % 10) + ",12,300," + std::to_string(i));
    if (i % 3 == 1)
        return test::Sentence("$GPGGA,061612." + std::to_string(i) + ",4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,");
    return test::Sentence("$GPGSA,A,3,04,05,,09,12,,,24,,,,," + std::to_string(i));
}

struct Written {
    std::vector<std::string> lines;
    int first_failures = 0, repeated = 0;
};

// What the receive path does with one read: its lines collected, then one
// write per file; a failure is reported by the caller and reading goes on.
void WriteGroups(ByteLogFile& log, int from, int to, Written& w) {
    for (int i = from; i < to;) {
        ByteLogFile::Deferral batch;
        for (int k = 0; k < 7 && i < to; ++k, ++i) {
            w.lines.push_back(Sentence(i));
            log.Write(w.lines.back());
        }
        try {
            ByteLogFile::FlushDeferred();
        } catch (const RepeatedWriteFailure&) {
            ++w.repeated;
        } catch (const platform::BenchError&) {
            ++w.first_failures;
        }
    }
}

// The whole night on one disk: a short spell (everything kept), then one
// longer than the bound (whole lines dropped and counted).
void NightOnAFullDisk(const std::string& path, const std::function<void()>& fill, const std::function<void()>& free) {
    std::vector<std::string> told;
    WriteFailures::Reset();
    WriteFailures::SetListener([&](const std::string& p, const std::string& cause) { told.push_back(p + ": " + cause); });
    struct Unlisten {
        ~Unlisten() { WriteFailures::SetListener({}); }
    } unlisten;

    ByteLogFile log;
    log.Open(path);
    Written w;
    WriteGroups(log, 0, 100, w);
    fill();
    WriteGroups(log, 100, 400, w);
    EXPECT_EQ(w.first_failures, 1) << "the spell's first failure is the one reported";
    EXPECT_GT(w.repeated, 10);
    EXPECT_EQ(told.size(), 1u) << "told at once, not at the end";
    if (!told.empty()) { EXPECT_EQ(told[0].rfind(path + ": ", 0), 0u) << told[0]; }
    EXPECT_GT(log.Unwritten(), 0u);
    free();
    WriteGroups(log, 400, 410, w);
    EXPECT_EQ(log.Unwritten(), 0u);
    std::string all;
    for (const std::string& l : w.lines) all += l;
    ASSERT_EQ(test::ReadFileBytes(path), all) << "a short spell loses nothing: every byte in order";

    // A spell longer than the bound holds.
    fill();
    const int first = static_cast<int>(w.lines.size());
    WriteGroups(log, first, first + 25000, w);
    EXPECT_LE(log.Unwritten(), ByteLogFile::kMaxUnwritten);
    free();
    WriteGroups(log, first + 25000, first + 25010, w);
    log.Close();

    const std::vector<std::string> got = test::SplitLines(test::ReadFileBytes(path));
    size_t j = 0, missing = 0;
    for (const std::string& line : got) {
        while (j < w.lines.size() && w.lines[j] != line) {
            ++j;
            ++missing;
        }
        ASSERT_LT(j, w.lines.size()) << "not a line that was written, a splice: " << line;
        ++j;
    }
    missing += w.lines.size() - j;
    ASSERT_GT(missing, 0u) << "the spell was longer than the bound";
    EXPECT_EQ(got.back(), w.lines.back()) << "writes go on after the spell";
    const std::string system_log = test::ReadFileBytes(SystemLogPath());
    const std::string counted = std::to_string(missing) + " lines (";
    const size_t at = system_log.find(" bytes) not written to " + path + ": the file did not take them");
    ASSERT_NE(at, std::string::npos) << system_log;
    const size_t start = system_log.rfind(" : ", at);
    EXPECT_EQ(system_log.substr(start + 3, counted.size()), counted) << system_log.substr(start, at - start);
}

struct SystemLogOpen {
    SystemLogOpen() { OpenSystemLog(); }
    ~SystemLogOpen() { CloseSystemLog(); }
};

}  // namespace

TEST(FullDisk, ALogOnAFullTmpfsKeepsWholeLinesAndCountsWhatItDrops) {
    test::TempHome home;
    SystemLogOpen log;
    test::SmallTmpfs disk(home.File("small"));
    if (!disk.Mounted()) GTEST_SKIP() << "no tmpfs can be mounted here (" << disk.Why() << "); the file-size case stands in";
    NightOnAFullDisk(home.File("small/GPS1_TTFF_COLD_NMEA.txt"), [&] { disk.Fill(); }, [&] { disk.Free(); });
}

TEST(FullDisk, ALogPastTheFileSizeLimitKeepsWholeLinesAndCountsWhatItDrops) {
    test::TempHome home;
    SystemLogOpen log;
    FileSizeLimit limit;
    const std::string path = home.File("GPS1_TTFF_COLD_NMEA.txt");
    NightOnAFullDisk(path, [&] { limit.FillAt(path); }, [&] { limit.Free(); });
}
