#pragma once
// The main window on a temporary program folder, with device windows that
// record what the bench calls on them.
#include <QAction>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QWidget>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "bench/session/benchtop.h"
#include "bench/session/config.h"
#include "bench/session/test_line.h"
#include "tests/session/dialogs_ui.h"
#include "tests/support/fake_device_window.h"
#include "tests/support/qt_app.h"

namespace benchtop_test {

// A device window that only records; its caption follows its kind and name
// as a real one's does.
class RecordingWindow : public QWidget, public fakes::FakeDeviceWindow {
public:
    RecordingWindow(std::string tag, std::vector<std::string>* calls)
        : fakes::FakeDeviceWindow(std::move(tag), calls, &platform::SystemClock::Instance()) {
        resize(200, 150);
    }
    void SetDeviceType(uint8_t kind) override {
        fakes::FakeDeviceWindow::SetDeviceType(kind);
        kind_ = kind;
        Retitle();
    }
    void SetDeviceName(const std::string& name) override {
        fakes::FakeDeviceWindow::SetDeviceName(name);
        name_ = name;
        Retitle();
    }

private:
    void Retitle() {
        setWindowTitle(QString::fromStdString(name_ + (kind_ == 1 ? " DEBUG WINDOW" : " NMEA WINDOW")));
    }
    uint8_t kind_ = 0;
    std::string name_;
};

class RecordingFactory : public bench::DeviceWindowFactory {
public:
    Made CreateDeviceWindow(bench::BenchHost& host) override {
        hosts.push_back(&host);
        auto* w = new RecordingWindow("W" + std::to_string(made.size()), &calls);
        made.push_back(w);
        return {w, w};
    }
    std::vector<std::string> calls;
    std::vector<RecordingWindow*> made;  // in order; may dangle once closed
    std::vector<bench::BenchHost*> hosts;
};

class BenchtopTest : public ::testing::Test {
protected:
    void SetUp() override {
        dialogs_test::ResetPrompts();
        home = std::make_unique<test::TempHome>();
    }
    void TearDown() override {
        top.reset();
        dialogs_test::ResetPrompts();
    }
    bench::Benchtop& Open() {
        if (!top) top = std::make_unique<bench::Benchtop>(factory);
        top->show();
        return *top;
    }
    QAction* Entry(const char* name) {
        QAction* a = top->findChild<QAction*>(name);
        if (!a) ADD_FAILURE() << "no menu entry " << name;
        return a;
    }
    // As the user picks an entry from its menu.
    void Trigger(const char* name) {
        if (QAction* a = Entry(name)) a->trigger();
    }
    // A configuration with these slots enabled, written as the program
    // folder's Config.dat.
    bench::SystemConfig Config(std::vector<int> enabled, bool debug = false) {
        bench::SystemConfig c;
        bench::SystemConfigReset(c);
        for (int s : enabled) {
            c.Devices[s].DevEN = bench::FlagSet;
            c.Devices[s].DName = "GPS" + std::to_string(s + 1);
            c.Devices[s].NmeaP = static_cast<int16_t>(s + 1);
            c.Devices[s].NmeaB = 9600;
            c.Devices[s].StartupS = "$PQNVSTART";
            if (debug) {
                c.Devices[s].DebugEN = bench::FlagSet;
                c.Devices[s].DebugP = static_cast<int16_t>(s + 11);
                c.Devices[s].DebugB = 115200;
            }
        }
        return c;
    }
    // A roof-antenna COLD test as the editor makes it, as entry `index`.
    static void AddColdTest(bench::SystemConfig& c, int index, int trials, int min_delay, int max_delay) {
        bench::TestEditorValues v;
        v.type = "COLD";
        v.testField = {std::to_string(trials), std::to_string(min_delay), std::to_string(max_delay), "6", "10"};
        c.TestLines[index] = bench::BuildTestLine(v);
        bench::ParseTestLine(c.TestLines[index], c.Tests[index]);
        c.Tests[index].Enabled = bench::FlagSet;
    }
    void WriteConfigDat(const bench::SystemConfig& c) {
        ASSERT_TRUE(bench::SaveSystemConfig(home->File("Config.dat"), c).ok);
    }
    // Writes the configuration and presses OK in the configuration dialog.
    void SetUpDevices(const bench::SystemConfig& c) {
        WriteConfigDat(c);
        Open();
        top->ConfigDialog().close();
        top->ConfigDialog().show();  // reads Config.dat afresh
        dialogs_test::Click(&top->ConfigDialog(), "Save_Command");
    }
    // Calls that the window with this tag received, in order, without the tag.
    std::vector<std::string> CallsOf(const std::string& tag) const {
        std::vector<std::string> out;
        for (const auto& c : factory.calls)
            if (c.rfind(tag + ".", 0) == 0) out.push_back(c.substr(tag.size() + 1));
        return out;
    }
    int Count(const std::string& call) const {
        int n = 0;
        for (const auto& c : factory.calls) n += c == call;
        return n;
    }
    std::vector<std::string> VisibleMenuTitles() {
        std::vector<std::string> out;
        for (QAction* a : top->menuBar()->actions())
            if (a->isVisible()) out.push_back(bench::Benchtop::PlainCaption(a->text()).toStdString());
        return out;
    }

    std::unique_ptr<test::TempHome> home;
    RecordingFactory factory;
    std::unique_ptr<bench::Benchtop> top;
};

}  // namespace benchtop_test
