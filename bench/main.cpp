// Fixbench: the splash first, then the main window with its configuration
// dialog. The program ends when the main window closes.
#include <QApplication>

#include <cstdio>
#include <exception>
#include <memory>

#include "bench/session/benchtop.h"
#include "bench/session/device_windows.h"
#include "bench/session/splash.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    app.setApplicationName("Fixbench");
    app.setQuitOnLastWindowClosed(false);

    bench::CommWindowFactory factory;
    bench::Benchtop* top = nullptr;
    auto* splash = new bench::frmSplash(bench::ProgramVersion{}, [&] {
        if (!top) {
            try {
                top = new bench::Benchtop(factory);
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
    splash->show();
    return app.exec();
}
