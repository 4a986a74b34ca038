#pragma once
// The configuration dialog opened on a temporary program folder, with an
// owner that records what the dialog hands it.
#include "bench/session/config_dialog.h"

#include "tests/session/dialogs_ui.h"

#include <QCheckBox>
#include <QListWidget>
#include <QRadioButton>
#include <QTabWidget>

#include <memory>

namespace dialogs_test {

class RecordingHost : public bench::TestingConfigHost {
public:
    void InitializeDevices(const std::string& path) override { calls.push_back("InitializeDevices " + path); }
    void SystemConfigUpdate(const std::string& path) override { calls.push_back("SystemConfigUpdate " + path); }
    void SimulatorSettings(const std::string& type, const std::string& host, int32_t port) override {
        calls.push_back("SimulatorSettings " + type + "|" + host + "|" + std::to_string(port));
    }
    // The calls other than the simulator settings, which come with every rebuild.
    std::vector<std::string> FileCalls() const {
        std::vector<std::string> out;
        for (const auto& c : calls)
            if (c.rfind("SimulatorSettings", 0) != 0) out.push_back(c);
        return out;
    }
    std::vector<std::string> calls;
};

class ConfigDialog : public ::testing::Test {
protected:
    void SetUp() override {
        ResetPrompts();
        home = std::make_unique<test::TempHome>();
    }
    void TearDown() override {
        dlg.reset();
        ResetPrompts();
    }
    void Open() {
        if (!dlg) dlg = std::make_unique<bench::TestingConfig>(host);
        dlg->show();
    }
    std::string ConfigDat() const { return home->File("Config.dat"); }
    void Page(const char* caption) {
        auto* tabs = Find<QTabWidget>(dlg.get(), "TabStrip");
        for (int i = 0; i < tabs->count(); ++i)
            if (tabs->tabText(i).remove(QLatin1Char('&')) == QLatin1String(caption)) tabs->setCurrentIndex(i);
    }
    QListWidget* List() { return Find<QListWidget>(dlg.get(), "TestList"); }
    // Sets the editor to a plain roof-antenna test of `type` and adds it.
    void AddTest(const char* type) {
        Page("Testing");
        Choose(dlg.get(), "TestType", type);
        Click(dlg.get(), "Scenario_0");
        Click(dlg.get(), "Add");
    }
    bool Checked(const QString& name) {
        auto* b = Find<QAbstractButton>(dlg.get(), name);
        return b && b->isChecked();
    }
    bench::SystemConfig Saved() const { return bench::LoadSystemConfig(ConfigDat()).config; }

    std::unique_ptr<test::TempHome> home;
    RecordingHost host;
    std::unique_ptr<bench::TestingConfig> dlg;
};

}  // namespace dialogs_test
