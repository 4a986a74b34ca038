// Shows the bench at work without hardware: the program's main window and
// device windows, unattended, against two emulated receivers on
// pseudo-terminals. It writes the configuration, presses OK in the
// configuration dialog, starts a short COLD session from the Testing menu,
// waits for it to end (the automatic reports on, as a user of
// "fixbench --all-menus" switches them on), asks for the KML of each receiver's log through the
// program's own KML request, and prints the TTFF of every trial beside the
// delay the receiver really took, and where the files are.
//
// Run by tools/demo with $FIXBENCH_HOME set to a fresh program folder and
// navsift on the PATH.
#include <QAbstractButton>
#include <QAction>
#include <QApplication>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "bench/devices/background_saves.h"
#include "bench/devices/comm_window.h"
#include "bench/devices/system_log.h"
#include "bench/session/benchtop.h"
#include "bench/session/config.h"
#include "bench/session/device_windows.h"
#include "bench/session/test_line.h"
#include "platform/core/numtext.h"
#include "platform/core/paths.h"
#include "platform/qt/program_folder.h"
#include "tests/support/qt_app.h"
#include "tests/support/scripted_receiver.h"

namespace {

constexpr int kTrials = 3;
constexpr int kSessionTimeoutMs = 120000;
constexpr int kKmlTimeoutMs = 15000;
// Receiver k's fix delays, trial by trial (milliseconds).
const std::vector<int> kDelays[2] = {{1800, 2600, 1400}, {2300, 1200, 3100}};
const char* const kNames[2] = {"RCV1", "RCV2"};

int Fail(const std::string& why) {
    std::fprintf(stderr, "demo: %s\n", why.c_str());
    return 1;
}

std::vector<std::string> Lines(const std::string& all) {
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

std::string Mapped(const std::string& stored) { return platform::MapStoredPath(stored, platform::ProgramFolder()); }

std::string FolderOf(const std::string& path) { return path.substr(0, path.rfind('/')); }

std::string WithoutExtension(const std::string& path) {
    const size_t slash = path.rfind('/');
    const size_t dot = path.rfind('.');
    return dot != std::string::npos && (slash == std::string::npos || dot > slash) ? path.substr(0, dot) : path;
}

// The configuration a test engineer would set up: two receivers, primary
// and results logs, one COLD test of three trials with short waits.
bool WriteConfig() {
    bench::SystemConfig c;
    bench::SystemConfigReset(c);
    for (int s = 0; s < 2; ++s) {
        bench::DeviceConfig& d = c.Devices[s];
        d.DevEN = bench::FlagSet;
        d.DName = kNames[s];
        d.NmeaP = static_cast<int16_t>(s + 1);
        d.NmeaB = 9600;
        d.StartupS = "$PQNVRST";
        d.ColdC = "$PQNVCOLD";
        d.GLog = bench::FlagSet;
        d.RLog = bench::FlagSet;
    }
    bench::TestEditorValues v;
    v.type = "COLD";
    v.testField = {std::to_string(kTrials), "1", "2", "6", "10"};
    c.TestLines[0] = bench::BuildTestLine(v);
    bench::ParseTestLine(c.TestLines[0], c.Tests[0]);
    c.Tests[0].Enabled = bench::FlagSet;
    const bench::ConfigSaveResult saved = bench::SaveSystemConfig(platform::ProgramFile("Config.dat"), c);
    if (!saved.ok) std::fprintf(stderr, "demo: Config.dat not written: %s\n", saved.warning.c_str());
    return saved.ok;
}

bool Trigger(bench::Benchtop& top, const char* name) {
    QAction* a = top.findChild<QAction*>(name);
    if (!a || !a->isEnabled()) return false;
    a->trigger();
    return true;
}

}  // namespace

int main() {
    if (!std::getenv("FIXBENCH_HOME")) return Fail("FIXBENCH_HOME is not set; run it through tools/demo");
    // Lines in order with the navsift runs that share the terminal.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    test::EnsureApp();
    std::printf("Program folder: %s\n", platform::ProgramFolder().c_str());

    std::vector<std::unique_ptr<test::ScriptedReceiver>> receivers;
    for (int s = 0; s < 2; ++s) {
        test::ScriptedReceiver::Script script;
        script.fix_delays_ms = kDelays[s];
        if (s == 1) {
            script.latitude = "4512.250,N";
            script.longitude = "00741.875,E";
        }
        receivers.push_back(std::make_unique<test::ScriptedReceiver>(script));
        receivers.back()->RegisterPort(s + 1);
        std::printf("Receiver %s on port %d: %s\n", kNames[s], s + 1, receivers.back()->DevicePath().c_str());
    }
    if (!WriteConfig()) return 1;

    bench::CommWindowFactory factory;
    // Started as "fixbench --all-menus", the one way to reach the report options.
    auto top = std::make_unique<bench::Benchtop>(factory, nullptr, bench::BenchtopOptions{true});
    top->show();
    // OK in the configuration dialog sets the device windows up from Config.dat.
    auto* ok = top->ConfigDialog().findChild<QAbstractButton*>("Save_Command");
    if (!ok) return Fail("the configuration dialog has no OK button");
    ok->click();
    auto* w0 = dynamic_cast<bench::CommWindow*>(top->NmeaWindow(0));
    auto* w1 = dynamic_cast<bench::CommWindow*>(top->NmeaWindow(1));
    if (!w0 || !w1) return Fail("OK did not open a device window for each receiver");
    // The shortest maximum TTFF the Option menu offers.
    Trigger(*top, "T120");
    // Tool > Excel Reports > Automatic Report Generation: a workbook per receiver at the end.
    if (!Trigger(*top, "AutoRepGen") || !top->State().Options.AutoRepGen)
        return Fail("Automatic Report Generation could not be switched on");
    if (!test::WaitFor([&] { return !w0->GetCurrentGGAString().empty() && !w1->GetCurrentGGAString().empty(); }, 5000))
        return Fail("the device windows hear nothing from the receivers");

    std::printf("Starting a COLD session of %d trials...\n", kTrials);
    if (!Trigger(*top, "exectest")) return Fail("Testing > Start is not available");
    std::string last;
    const bool done = test::WaitFor(
        [&] {
            const std::string now = top->StatusText(2);
            if (now != last && !now.empty()) {
                std::printf("  %s\n", now.c_str());
                std::fflush(stdout);
                last = now;
            }
            return top->StatusText(1) == "Test Session Completed";
        },
        kSessionTimeoutMs);
    if (!done)
        return Fail("the session did not complete in " + std::to_string(kSessionTimeoutMs / 1000) + " s; status: \"" +
                    top->StatusText(1) + "\" / \"" + top->StatusText(2) + "\"; see " + bench::SystemLogPath());
    std::printf("%s\n\n", top->StatusText(1).c_str());
    // The reports' files go to disk in the background: as the program does
    // before it ends, wait for them.
    bench::WaitForWorkbookSaves();

    // The program's own KML request: navsift once per device, beside its log.
    top->MakeKML();
    std::vector<std::string> logs, results, kmls, reports;
    for (int s = 0; s < 2; ++s) {
        auto* w = dynamic_cast<bench::CommWindow*>(top->NmeaWindow(s));
        logs.push_back(Mapped(w->DeviceGetPrimaryLogFileName()));
        // The results file is named after the primary log (no step suffix in a COLD test).
        results.push_back(Mapped(w->DeviceGetPrimaryLogFileBaseName() + "_Results.txt"));
        kmls.push_back(WithoutExtension(logs.back()) + ".kml");
        const bench::DeviceConfig& dc = top->State().RunConfig.Devices[s];
        reports.push_back(top->Reports().Context().ReportFile(dc.LPath + "\\" + dc.DName));
    }
    const bool kml_made = test::WaitFor(
        [&] {
            for (const std::string& k : kmls)
                if (test::ReadFileBytes(k).find("</kml>") == std::string::npos) return false;
            return true;
        },
        kKmlTimeoutMs);

    // The TTFF table, from the results files the bench wrote.
    int measured = 0, close = 0;
    std::printf("%-6s %5s %10s %16s %12s\n", "Device", "Trial", "TTFF (s)", "receiver (s)", "error (ms)");
    for (int s = 0; s < 2; ++s) {
        const std::vector<std::string> lines = Lines(test::ReadFileBytes(results[static_cast<size_t>(s)]));
        const auto& restarts = receivers[static_cast<size_t>(s)]->Restarts();
        for (size_t k = 0; k < lines.size(); ++k) {
            const std::string ttff_text = lines[k].substr(0, lines[k].find('\t'));
            double ttff = 0;
            if (!platform::TryReadStrict(ttff_text, ttff)) continue;
            ++measured;
            if (k < restarts.size() && restarts[k].fix_ms >= 0) {
                const double real = (restarts[k].fix_ms - restarts[k].startup_ms) / 1000.0;
                const double error_ms = (ttff - real) * 1000.0;
                close += std::fabs(error_ms) <= 50.0;
                std::printf("%-6s %5zu %10s %16.3f %12.0f\n", kNames[s], k + 1, ttff_text.c_str(), real, error_ms);
            } else {
                std::printf("%-6s %5zu %10s %16s %12s\n", kNames[s], k + 1, ttff_text.c_str(), "-", "-");
            }
        }
    }

    std::printf("\nFiles:\n");
    std::printf("  session folder:    %s\n", FolderOf(FolderOf(logs[0])).c_str());
    for (int s = 0; s < 2; ++s) {
        std::printf("  %s primary log:  %s\n", kNames[s], logs[static_cast<size_t>(s)].c_str());
        std::printf("  %s results:      %s\n", kNames[s], results[static_cast<size_t>(s)].c_str());
        std::printf("  %s KML:          %s%s\n", kNames[s], kmls[static_cast<size_t>(s)].c_str(),
                    test::ReadFileBytes(kmls[static_cast<size_t>(s)]).find("</kml>") == std::string::npos
                        ? "  (not made)"
                        : "");
    }
    int reports_made = 0;
    for (int s = 0; s < 2; ++s) {
        const bool made = !test::ReadFileBytes(reports[static_cast<size_t>(s)]).empty();
        reports_made += made;
        std::printf("  %s report:       %s%s\n", kNames[s], reports[static_cast<size_t>(s)].c_str(),
                    made ? "" : "  (not made)");
    }
    std::printf("  system log:        %s\n", bench::SystemLogPath().c_str());

    top.reset();
    if (measured != 2 * kTrials) return Fail(std::to_string(measured) + " of " + std::to_string(2 * kTrials) + " trials have a result line");
    if (!kml_made) return Fail("navsift made no KML (is it on the PATH?)");
    if (reports_made != 2) return Fail("the session end made " + std::to_string(reports_made) + " of 2 report workbooks");
    std::printf("\n%d of %d trials measured within 50 ms of the receiver's own timing.\n", close, measured);
    return close == measured ? 0 : 1;
}
