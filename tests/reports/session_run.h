#pragma once
// A whole session run as the user starts it: the bench opened on the
// configuration saved in the home folder, one option of the Tool menu
// switched on, Testing > Start, and the wait for the session's end.
#include <QAction>
#include <QDir>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "bench/devices/comm_window.h"
#include "bench/session/benchtop.h"
#include "tests/session/dialogs_ui.h"
#include "tests/support/qt_app.h"

namespace reptest {

struct SessionRun {
    std::unique_ptr<bench::Benchtop> top;
    std::string folder;  // the session's folder under GPS_TEST; empty when the session did not end
};

// `setUp` runs on the opened bench before the option is switched on.
inline SessionRun RunSession(bench::CommWindowFactory& factory, test::TempHome& home, const char* option,
                             int timeoutMs, const std::function<void(bench::Benchtop&)>& setUp = {}) {
    SessionRun run;
    run.top = std::make_unique<bench::Benchtop>(factory, nullptr, bench::BenchtopOptions{true});
    bench::Benchtop& top = *run.top;
    top.show();
    dialogs_test::Click(&top.ConfigDialog(), "Save_Command");
    if (top.NmeaWindow(1) == nullptr) {
        ADD_FAILURE() << "the second receiver's window is not open";
        return run;
    }
    if (setUp) setUp(top);
    QAction* entry = top.Entry(option);
    if (!entry || !entry->isVisible()) {
        ADD_FAILURE() << "no menu entry " << option;
        return run;
    }
    entry->trigger();
    top.Entry("exectest")->trigger();
    if (!test::WaitFor([&] { return top.StatusText(1) == "Test Session Completed"; }, timeoutMs)) {
        ADD_FAILURE() << top.StatusText(1) << " / " << top.StatusText(2);
        return run;
    }
    const QStringList sessions = QDir(QString::fromStdString(home.File("GPS_TEST")))
                                     .entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    if (sessions.size() != 1) {
        ADD_FAILURE() << sessions.size() << " session folders";
        return run;
    }
    run.folder = home.File("GPS_TEST/" + sessions[0].toStdString());
    return run;
}

}  // namespace reptest
