// The receiver slots of the configuration dialog: two enabled devices never
// share a name (their files) or a serial port, and a new configuration
// starts with the simulator's usual port.
#include "tests/session/dialogs_config_fixture.h"

#include <QComboBox>
#include <QFile>

#include <algorithm>

using namespace bench;
using namespace dialogs_test;

namespace {

class ConfigDevices : public ConfigDialog {
protected:
    QString Port(const QString& box) { return Find<QComboBox>(dlg.get(), box)->currentText(); }
    // OK as the user presses it: the warnings it gave, and whether the
    // devices were set up.
    std::vector<std::string> PressOk(bool& accepted) {
        TakeAsked();
        host.calls.clear();
        Click(dlg.get(), "Save_Command");
        accepted = !host.FileCalls().empty();
        return TakeAsked();
    }
    // OK stores nothing and gives this one warning.
    void ExpectRefused(const std::string& warning) {
        bool accepted = true;
        const std::vector<std::string> asked = PressOk(accepted);
        EXPECT_FALSE(accepted);
        ASSERT_EQ(asked.size(), 1u);
        EXPECT_EQ(asked[0], "WARNING: " + warning);
    }
};

TEST_F(ConfigDevices, EachNewlyEnabledSlotGetsANameAndPortOfItsOwn) {
    Open();
    for (int d = 0; d < 4; ++d) Click(dlg.get(), QStringLiteral("DevEN_%1").arg(d));
    for (int d = 0; d < 4; ++d) {
        EXPECT_EQ(Text(dlg.get(), QStringLiteral("DName_%1").arg(d)), QStringLiteral("Device%1").arg(d + 1));
        EXPECT_EQ(Port(QStringLiteral("NmeaP_%1").arg(d)), QString::number(d + 1));
    }
    bool accepted = false;
    EXPECT_TRUE(PressOk(accepted).empty());
    ASSERT_TRUE(accepted);
    const SystemConfig saved = Saved();
    for (int d = 0; d < 4; ++d) {
        EXPECT_EQ(saved.Devices[static_cast<std::size_t>(d)].DName, "Device" + std::to_string(d + 1));
        EXPECT_EQ(saved.Devices[static_cast<std::size_t>(d)].NmeaP, d + 1);
    }
}

TEST_F(ConfigDevices, ASlotEnabledAfterRenamingTakesWhatIsStillFree) {
    Open();
    Click(dlg.get(), "DevEN_0");
    Type(dlg.get(), "DName_0", "Device2");
    Choose(dlg.get(), "NmeaP_0", "2");
    Click(dlg.get(), "DevEN_1");
    EXPECT_EQ(Text(dlg.get(), "DName_1"), "Device1");
    EXPECT_EQ(Port("NmeaP_1"), "1");
    // The debug port switched on keeps clear of every port in use.
    Click(dlg.get(), "DebugEN_1");
    EXPECT_EQ(Port("DebugP_1"), "3");
}

TEST_F(ConfigDevices, OkRefusesTwoDevicesWithOneNameAndNamesBoth) {
    Open();
    Click(dlg.get(), "DevEN_0");
    Click(dlg.get(), "DevEN_2");
    Type(dlg.get(), "DName_0", "Rover");
    // The name as its files will be: blanks and case do not make it another.
    Type(dlg.get(), "DName_2", " ROVER ");
    // Two receivers would write into one set of files.
    ExpectRefused("Device 1 (Rover) and Device 3 (ROVER) have the same name: their logs and results would be "
                  "written into the same files. Give each enabled device a name of its own.");
    EXPECT_TRUE(dlg->isVisible()) << "the dialog stays open to be mended";
    EXPECT_FALSE(QFile::exists(QString::fromStdString(ConfigDat())));

    Type(dlg.get(), "DName_2", "Base");
    bool accepted = false;
    EXPECT_TRUE(PressOk(accepted).empty());
    EXPECT_TRUE(accepted);
}

TEST_F(ConfigDevices, OkRefusesTwoDevicesOnOnePortAndNamesBoth) {
    Open();
    Click(dlg.get(), "DevEN_0");
    Click(dlg.get(), "DevEN_1");
    Choose(dlg.get(), "NmeaP_1", "1");
    ExpectRefused("Device 1 (Device1) port 1 and Device 2 (Device2) port 1 are the same serial port (/dev/ttyS0). "
                  "Give each enabled device a port of its own.");

    // A debug port is a port too.
    Choose(dlg.get(), "NmeaP_1", "2");
    Click(dlg.get(), "DebugEN_0");
    Choose(dlg.get(), "DebugP_0", "2");
    ExpectRefused("Device 1 (Device1) debug port 2 and Device 2 (Device2) port 2 are the same serial port "
                  "(/dev/ttyS1). Give each enabled device a port of its own.");

    // Two numbers that the port list maps to one device.
    test::WriteFileBytes(home->File("ComPorts.txt"), "5 /dev/ttyUSB7\n6 /dev/ttyUSB7\n");
    Choose(dlg.get(), "DebugP_0", "5");
    Choose(dlg.get(), "NmeaP_1", "6");
    ExpectRefused("Device 1 (Device1) debug port 5 and Device 2 (Device2) port 6 are the same serial port "
                  "(/dev/ttyUSB7). Give each enabled device a port of its own.");

    Choose(dlg.get(), "NmeaP_1", "7");
    bool accepted = false;
    EXPECT_TRUE(PressOk(accepted).empty());
    EXPECT_TRUE(accepted);
    EXPECT_EQ(Saved().Devices[0].DebugP, 5);
    EXPECT_EQ(Saved().Devices[1].NmeaP, 7);
}

TEST_F(ConfigDevices, AClashingFileIsShownAsItIsAndRefusedAtOk) {
    SystemConfig c;
    for (int d : {0, 1}) {
        c.Devices[static_cast<std::size_t>(d)].DevEN = FlagSet;
        c.Devices[static_cast<std::size_t>(d)].DName = "Device1";
        c.Devices[static_cast<std::size_t>(d)].NmeaP = 1;
    }
    ASSERT_TRUE(SaveSystemConfig(ConfigDat(), c).ok);
    Open();
    EXPECT_EQ(Text(dlg.get(), "DName_1"), "Device1") << "a loaded slot is not renamed behind the user's back";
    bool accepted = true;
    const std::vector<std::string> asked = PressOk(accepted);
    EXPECT_FALSE(accepted);
    EXPECT_TRUE(AnyStartsWith(asked, "WARNING: Device 1 (Device1) and Device 2 (Device1) have the same name"));
}

TEST_F(ConfigDevices, ANewConfigurationUsesTheSimulatorsPort) {
    EXPECT_EQ(LoadSystemConfig(ConfigDat()).config.SimHostPort, 15650) << "no file yet";
    Open();
    Page("General");
    EXPECT_EQ(Text(dlg.get(), "SimHostPort"), "15650");
    Page("Device");
    Click(dlg.get(), "DevEN_0");
    bool accepted = false;
    PressOk(accepted);
    ASSERT_TRUE(accepted);
    EXPECT_EQ(Saved().SimHostPort, 15650);
    EXPECT_NE(std::find(host.calls.begin(), host.calls.end(), "SimulatorSettings Spirent STR4500||15650"),
              host.calls.end());
}

}  // namespace
