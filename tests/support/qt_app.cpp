#include "tests/support/qt_app.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QScreen>
#include <QThread>
#include <QWidget>
#include <algorithm>
#include <utility>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>
#include <unistd.h>

namespace test {

std::vector<std::string> SplitLines(const std::string& all) {
    std::vector<std::string> out;
    size_t start = 0;
    while (start < all.size()) {
        size_t lf = all.find('\n', start);
        size_t end = lf == std::string::npos ? all.size() : lf + 1;
        out.push_back(all.substr(start, end - start));
        start = end;
    }
    return out;
}

void EnsureApp() {
    if (QCoreApplication::instance()) return;
    if (!std::getenv("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static int argc = 1;
    static char name[] = "fixbench-tests";
    static char* argv[] = {name, nullptr};
    new QApplication(argc, argv);  // lives for the whole test run
}

bool EnsureAppWithScreen(int width, int height, int scale) {
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (!QCoreApplication::instance() && (!platform || std::string(platform) == "offscreen")) {
        // The offscreen platform reads its screens from a file. One per process: tests run side by side,
        // and a shared file may be read while another test is rewriting it.
        const std::string file = QDir::tempPath().toStdString() + "/fixbench-screen-" + std::to_string(width) + "x" +
                                 std::to_string(height) + "-" + std::to_string(::getpid()) + ".json";
        std::ofstream(file) << "{\"screens\": [{\"name\": \"screen\", \"x\": 0, \"y\": 0, \"width\": " << width
                            << ", \"height\": " << height << ", \"dpi\": 96, \"dpr\": 1}]}\n";
        ::setenv("QT_QPA_PLATFORM", ("offscreen:configfile=" + file).c_str(), 1);
        if (scale > 1) ::setenv("QT_SCALE_FACTOR", std::to_string(scale).c_str(), 1);
    }
    EnsureApp();
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen && screen->geometry().width() * scale >= width && screen->geometry().height() * scale >= height &&
           static_cast<int>(screen->devicePixelRatio()) == scale;
}

bool WaitFor(const std::function<bool()>& pred, int timeout_ms) {
    EnsureApp();
    QElapsedTimer t;
    t.start();
    while (!pred()) {
        if (t.elapsed() >= timeout_ms) return pred();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::usleep(200);
    }
    return true;
}

bool Settle(int stable_ms, int timeout_ms) {
    EnsureApp();
    auto snapshot = [] {
        std::vector<std::pair<const void*, QRect>> out;
        for (QWidget* w : QApplication::allWidgets())
            if (w->isVisible()) out.emplace_back(w, w->isWindow() ? w->frameGeometry() : w->geometry());
        std::sort(out.begin(), out.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
        return out;
    };
    QElapsedTimer total, still;
    total.start();
    still.start();
    auto last = snapshot();
    int passes = 0;
    while (passes < 5 || still.elapsed() < stable_ms) {
        if (total.elapsed() >= timeout_ms) return false;
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        auto now = snapshot();
        if (now != last) {
            last = std::move(now);
            passes = 0;
            still.restart();
        } else {
            ++passes;
        }
        QThread::usleep(200);
    }
    return true;
}

void Pump(int ms) {
    EnsureApp();
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::usleep(200);
    }
}

TempHome::TempHome() {
    std::string tmpl = QDir::tempPath().toStdString() + "/fixbench-test-XXXXXX";
    if (!::mkdtemp(tmpl.data())) throw std::runtime_error("cannot make a temporary folder");
    path_ = tmpl;
    if (const char* prev = std::getenv("FIXBENCH_HOME")) {
        had_previous_ = true;
        previous_ = prev;
    }
    ::setenv("FIXBENCH_HOME", path_.c_str(), 1);
}

TempHome::~TempHome() {
    if (had_previous_)
        ::setenv("FIXBENCH_HOME", previous_.c_str(), 1);
    else
        ::unsetenv("FIXBENCH_HOME");
    QDir(QString::fromStdString(path_)).removeRecursively();
}

std::string ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

int PortReaderThreads() {
    int n = 0;
    std::error_code ec;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task", ec))
        n += ReadFileBytes(task.path().string() + "/comm") == "port reader\n";
    return n;
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

}  // namespace test
