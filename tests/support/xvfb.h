#pragma once
// An X server of the test's own (Xvfb), for what only a real X server shows:
// keystrokes into another program, a window manager's stacking.
#include <QProcess>
#include <QStandardPaths>

#include <cstdlib>
#include <string>

#include "tests/support/qt_app.h"

namespace test {

// An X server of its own on a display it picks; DISPLAY points there while
// the object lives.
class Xvfb {
public:
    bool Start(std::string& why, const char* screen = "1024x768x24") {
        const QString exe = QStandardPaths::findExecutable("Xvfb");
        if (exe.isEmpty()) {
            why = "Xvfb is not installed";
            return false;
        }
        proc_.start(exe, {"-displayfd", "1", "-screen", "0", screen, "-nolisten", "tcp"});
        if (!proc_.waitForStarted(5000)) {
            why = "Xvfb did not start";
            return false;
        }
        std::string number;
        test::WaitFor([&] {
            number += proc_.readAllStandardOutput().toStdString();
            return number.find('\n') != std::string::npos;
        }, 10000);
        if (number.find('\n') == std::string::npos) {
            why = "Xvfb gave no display number";
            return false;
        }
        number.erase(number.find('\n'));
        if (const char* d = std::getenv("DISPLAY")) previous_ = d, had_previous_ = true;
        ::setenv("DISPLAY", (":" + number).c_str(), 1);
        return true;
    }
    ~Xvfb() {
        if (had_previous_)
            ::setenv("DISPLAY", previous_.c_str(), 1);
        else
            ::unsetenv("DISPLAY");
        if (proc_.state() != QProcess::NotRunning) {
            proc_.terminate();
            proc_.waitForFinished(5000);
        }
    }

private:
    QProcess proc_;
    std::string previous_;
    bool had_previous_ = false;
};

}  // namespace test
