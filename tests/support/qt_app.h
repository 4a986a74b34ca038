#pragma once
// Qt for tests: one application object, and waits that let events run.
#include <functional>
#include <string>
#include <vector>

namespace test {

// Creates the QApplication on first use (offscreen under ctest).
void EnsureApp();

// As EnsureApp, on a desktop of width x height pixels when the offscreen
// application is made here (ctest runs each test in its own process), shown
// at `scale` (2: each window twice its size, as on a high-density screen,
// so the desktop is width / 2 x height / 2 to the windows). False when an
// application made earlier has a smaller screen.
bool EnsureAppWithScreen(int width, int height, int scale = 1);

// Runs events until pred() holds or timeout_ms pass; the final pred().
bool WaitFor(const std::function<bool()>& pred, int timeout_ms = 2000);

// Runs events for ms milliseconds.
void Pump(int ms);

// Runs events until the windows have settled: every visible widget keeps
// its geometry over several passes of the event loop and for stable_ms
// (a loaded machine runs fewer passes in a time, never fewer here); false
// when they still move after timeout_ms.
bool Settle(int stable_ms = 100, int timeout_ms = 60000);

// Seconds a loaded machine may add to a time measured on the real clock (a
// reader woken late, a receiver's line sent late). Tests that compare such a
// time allow this much; the accuracy itself is a benchmark's figure.
constexpr double kRealClockMargin = 0.2;

// A temporary folder used as the program folder ($FIXBENCH_HOME) while the
// object lives; removed afterwards.
class TempHome {
public:
    TempHome();
    ~TempHome();
    TempHome(const TempHome&) = delete;
    TempHome& operator=(const TempHome&) = delete;
    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
    std::string previous_;
    bool had_previous_ = false;
};

// The whole content of a file as bytes ("" when missing).
std::string ReadFileBytes(const std::string& path);

// The lines of a file's text, each with its line feed (the last one
// without, when the text ends mid-line).
std::vector<std::string> SplitLines(const std::string& all);
void WriteFileBytes(const std::string& path, const std::string& bytes);

// Threads of this process that read a port (each open port has one).
int PortReaderThreads();

}  // namespace test
