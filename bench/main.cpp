// Fixbench: the splash first, then the main window with its configuration
// dialog. The program ends when the main window closes, or on SIGTERM or
// SIGHUP after stopping the session.
#include <QApplication>

#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>

#include "bench/devices/device_workbook.h"
#include "bench/session/benchtop.h"
#include "bench/session/device_windows.h"
#include "bench/session/splash.h"
#include "platform/qt/termination_signals.h"

namespace {

constexpr const char* kUsage =
    "Usage: fixbench [--all-menus] [Qt options]\n"
    "The GPS receiver test bench.\n"
    "\n"
    "  --all-menus  start with every menu entry visible: the Tool menu (Excel Interface;\n"
    "               Excel Reports with Automatic Report Generation, Sensitivity and\n"
    "               Generate Excel Report; Set Antenna Coordinates), Sim Management,\n"
    "               LabSat Management, ShowResults, getconf and the Option menu's\n"
    "               entries that are otherwise hidden\n"
    "  --help       show this text\n"
    "  --version    show the version\n"
    "\n"
    "The program folder (Config.dat, ComPorts.txt, SystemLogs, and the folders of\n"
    "paths written as C:\\...) is $FIXBENCH_HOME when set, else ~/.local/share/fixbench.\n";

}  // namespace

int main(int argc, char** argv) {
    // Answered before Qt starts, so it works without a display.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0 || std::strcmp(argv[i], "-version") == 0) {
            const bench::ProgramVersion v;
            std::printf("fixbench release %d.%d.%d\n", v.major, v.minor, v.revision);
            return 0;
        }
    }
    QApplication app(argc, argv);
    // Qt has taken its own options out of argv; what is left is ours.
    bench::BenchtopOptions options;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--all-menus") == 0) {
            options.allMenus = true;
        } else {
            std::fprintf(stderr, "fixbench: unknown option %s\n%s", argv[i], kUsage);
            return 2;
        }
    }
    app.setApplicationName("Fixbench");
    app.setQuitOnLastWindowClosed(false);

    bench::CommWindowFactory factory;
    bench::Benchtop* top = nullptr;
    auto* splash = new bench::frmSplash(bench::ProgramVersion{}, [&] {
        if (!top) {
            try {
                top = new bench::Benchtop(factory, nullptr, options);
            } catch (const std::exception& e) {
                std::fprintf(stderr, "fixbench: the main window could not be made: %s\n", e.what());
                QCoreApplication::exit(1);
                return;
            }
            top->setAttribute(Qt::WA_DeleteOnClose);
            factory.taskMonitor = [&top] { top->TaskMonitorWindow().show(); };
            QObject::connect(top, &QObject::destroyed, &app, [&top] {
                top = nullptr;
                QCoreApplication::quit();
            });
        }
        top->show();
    });
    // A shutdown or a closed terminal stops the session as closing the
    // window does, and the program ends normally.
    platform::TerminationSignals stop_signals([&top](const std::string& name) {
        if (top) top->StopForSignal(name);  // session stopped, logs closed, window closed
        // Also out of any box that is waiting for an answer.
        QCoreApplication::exit(0);
    });
    splash->show();
    const int status = app.exec();
    // The receivers' workbooks are written in the background: the last
    // saves land before the program goes.
    bench::WaitForWorkbookSaves();
    return status;
}
