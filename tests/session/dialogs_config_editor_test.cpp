// The configuration dialog's test-list editor, its layout rules and what it
// refuses.
#include "tests/session/dialogs_config_fixture.h"

#include <QFrame>
#include <QLabel>

#include <fstream>

using namespace bench;
using namespace dialogs_test;

namespace {

const std::string Cold = "COLD,0,50,15,45,6,10,-1,0,";

class ConfigEditor : public ConfigDialog {
protected:
    void SetUp() override {
        ConfigDialog::SetUp();
        Open();
        Page("Testing");
        TakeAsked();
    }
    // Refused: one warning, and neither list nor file nor owner touched.
    void ExpectRefused(const std::vector<std::string>& listBefore, const std::string& what) {
        const auto asked = TakeAsked();
        EXPECT_TRUE(AnyStartsWith(asked, "WARNING: ")) << what;
        EXPECT_EQ(Lines(List()), listBefore) << what;
        EXPECT_TRUE(host.FileCalls().empty()) << what;
    }
    void WriteMiB(const std::string& path, double mib) {
        std::ofstream out(path, std::ios::binary);
        out << std::string(static_cast<std::size_t>(mib * 1024 * 1024), '\0');
    }
};

TEST_F(ConfigEditor, CommaInsideATestFieldIsRefused) {
    Type(dlg.get(), "AlmanacsFile", "alm,1.txt");
    Click(dlg.get(), "Add");
    ExpectRefused({}, "comma in the almanac file");
    Type(dlg.get(), "AlmanacsFile", "");
    Type(dlg.get(), "TestField_1", "1,5");
    Click(dlg.get(), "Add");
    ExpectRefused({}, "comma in a delay");
}

TEST_F(ConfigEditor, NumbersThatDoNotFitTheirFieldAreRefused) {
    Type(dlg.get(), "TestField_0", "40000");
    Click(dlg.get(), "Add");
    ExpectRefused({}, "40000 trials");
    Type(dlg.get(), "TestField_0", "12");
    Click(dlg.get(), "Scenario_2");
    Type(dlg.get(), "LabSatData_5", "-99999");
    Click(dlg.get(), "Add");
    ExpectRefused({}, "attenuation");
}

TEST_F(ConfigEditor, DeviceSettingsTheRecordCannotTakeRefuseOkAndChangeNothing) {
    Page("Device");
    Click(dlg.get(), "DevEN_1");
    const SystemConfig before = dlg->WorkingCopy();
    const struct {
        const char* box;
        const char* text;
    } bad[] = {{"DName_1", "GPS/1"}, {"DName_1", "GPS\\1"}, {"DName_1", "GPS,1"}, {"DName_1", "\u6771\u4eac"},
               {"StartupD_1", "soon"}, {"StartupD_1", ""}, {"SimHostPort", "70000"}};
    for (const auto& b : bad) {
        Type(dlg.get(), "DName_1", "GPS1");
        Type(dlg.get(), "StartupD_1", "0");
        Type(dlg.get(), "SimHostPort", "15650");
        Type(dlg.get(), b.box, QString::fromUtf8(b.text));
        Click(dlg.get(), "Save_Command");
        ExpectRefused({}, std::string(b.box) + " = " + b.text);
        EXPECT_TRUE(dlg->isVisible());
        EXPECT_EQ(dlg->WorkingCopy(), before) << b.text;
        EXPECT_TRUE(test::ReadFileBytes(ConfigDat()).empty()) << b.text;
    }
    Type(dlg.get(), "DName_1", "GPS1");
    Type(dlg.get(), "StartupD_1", "0.5");
    Type(dlg.get(), "SimHostPort", "15650");
    Click(dlg.get(), "Save_Command");
    EXPECT_EQ(Saved().Devices[1].DName, "GPS1");
}

TEST_F(ConfigEditor, TextsTravelInTheCodePageAndWhatItCannotHoldIsRefused) {
    Type(dlg.get(), "AlmanacsFile", QString::fromUtf8("\u03A9mega.txt"));  // no Greek in the code page
    Click(dlg.get(), "Add");
    ExpectRefused({}, "omega");
    Type(dlg.get(), "AlmanacsFile", QString::fromUtf8("\u20ACuro.txt"));
    Click(dlg.get(), "Add");
    Click(dlg.get(), "Save_Command");
    EXPECT_EQ(Saved().TestLines[0], "COLD,0,50,15,45,6,10,-1,0,\x80uro.txt");
    EXPECT_EQ(Saved().Tests[0].AlmanacFile, "\x80uro.txt");
}

TEST_F(ConfigEditor, StoredLineWhoseNumberNoLongerFitsIsRefusedAtOk) {
    Click(dlg.get(), "Cancel_Command");
    SystemConfig start;
    start.Tests[0].Enabled = FlagSet;
    start.TestLines[0] = "COLD,0,50,15,45,6,10,-1,0,";
    start.Tests[1].Enabled = FlagSet;
    start.TestLines[1] = "WARM,0,70000,15,45,6,10,-1,0,";
    ASSERT_TRUE(SaveSystemConfig(ConfigDat(), start).ok);
    const std::string before = test::ReadFileBytes(ConfigDat());
    Open();
    ASSERT_EQ(List()->count(), 2);
    TakeAsked();
    Click(dlg.get(), "Save_Command");
    const auto asked = TakeAsked();
    EXPECT_TRUE(AnyStartsWith(asked, "WARNING: Test line 2")) << (asked.empty() ? "" : asked[0]);
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_EQ(test::ReadFileBytes(ConfigDat()), before);
    EXPECT_TRUE(host.FileCalls().empty());
}

TEST_F(ConfigEditor, ListHoldsAtMost128Tests) {
    for (int i = 0; i < 128; ++i) Click(dlg.get(), "Add");
    ASSERT_EQ(List()->count(), 128);
    EXPECT_TRUE(TakeAsked().empty());
    const auto full = Lines(List());
    Click(dlg.get(), "Add");
    ExpectRefused(full, "129th Add");
    Click(dlg.get(), "Insert");
    ExpectRefused(full, "129th Insert");
    Click(dlg.get(), "Save_Command");
    const SystemConfig c = Saved();
    EXPECT_EQ(c.Tests[127].Enabled, FlagSet);
    EXPECT_EQ(c.TestLines[127], Cold);
}

TEST_F(ConfigEditor, ReplaceAndRemoveNeedASelectedLine) {
    Click(dlg.get(), "Remove");
    EXPECT_TRUE(TakeAsked().empty()) << "Remove on an empty list does nothing";
    Click(dlg.get(), "Add");
    Click(dlg.get(), "Replace");
    ExpectRefused({Cold}, "Replace without selection");
    Click(dlg.get(), "Remove");
    ExpectRefused({Cold}, "Remove without selection");
}

TEST_F(ConfigEditor, InsertReplaceRemoveAndClearWorkOnTheSelectedLine) {
    Click(dlg.get(), "Add");
    Choose(dlg.get(), "TestType", "WARM");
    Click(dlg.get(), "Add");
    Choose(dlg.get(), "TestType", "TESTDRIVE");
    Click(dlg.get(), "Insert");  // nothing selected: at the top
    EXPECT_EQ(Lines(List()), (std::vector<std::string>{"TESTDRIVE,0,", Cold, "WARM,0,50,15,45,6,10,-1,0,"}));

    ClickRow(List(), 2);
    Choose(dlg.get(), "TestType", "HOT");
    Click(dlg.get(), "Insert");  // before the selected line
    EXPECT_EQ(List()->item(2)->text().toStdString(), "HOT,0,50,15,45,6,10,-1,0,");
    EXPECT_EQ(List()->item(3)->text().toStdString(), "WARM,0,50,15,45,6,10,-1,0,");

    ClickRow(List(), 0);
    EXPECT_EQ(Find<QComboBox>(dlg.get(), "TestType")->currentText(), "TESTDRIVE");
    Choose(dlg.get(), "TestType", "TUNNELREACQUIRE");
    Type(dlg.get(), "AlmanacsFile", "a.txt");
    Click(dlg.get(), "Replace");
    EXPECT_EQ(List()->item(0)->text().toStdString(), "TUNNELREACQUIRE,0,a.txt");

    ClickRow(List(), 1);
    Click(dlg.get(), "Remove");
    EXPECT_EQ(Lines(List()), (std::vector<std::string>{"TUNNELREACQUIRE,0,a.txt", "HOT,0,50,15,45,6,10,-1,0,",
                                                       "WARM,0,50,15,45,6,10,-1,0,"}));

    platform::Prompts::Instance().QueueAnswer(platform::Answer::No);
    Click(dlg.get(), "Clear");
    EXPECT_EQ(List()->count(), 3);
    EXPECT_TRUE(AnyStartsWith(TakeAsked(), "WARNING: Test list will be deleted! Are you sure?"));
    platform::Prompts::Instance().QueueAnswer(platform::Answer::Yes);
    Click(dlg.get(), "Clear");
    EXPECT_EQ(List()->count(), 0);
}

TEST_F(ConfigEditor, ClickingALineShowsItInTheEditorAndLaysThePanelsOut) {
    const std::string line =
        "SYNC_HOT,1,5,55,2,8,30,0,-1,60,-131,-125,-140,-5,20,3,-129,8,-131,-141,-2,a.scn,b.txt,0,1,0";
    List()->addItem(QString::fromStdString(line));
    ClickRow(List(), 0);
    EXPECT_EQ(Find<QComboBox>(dlg.get(), "TestType")->currentText(), "SYNC_HOT");
    EXPECT_TRUE(Checked("Scenario_1"));
    EXPECT_TRUE(Checked("TestOption_1"));
    EXPECT_EQ(Text(dlg.get(), "TestField_1"), "55");
    EXPECT_EQ(Text(dlg.get(), "SimData_0"), "60");
    EXPECT_EQ(Text(dlg.get(), "SimData_13"), "b.txt");
    EXPECT_TRUE(Checked("SimOption_1"));
    EXPECT_FALSE(Checked("SimOption_0"));
    // SYNC_ delays are a UTC second and its increment.
    const auto labels = dlg->findChildren<QLabel*>();
    auto shown = [&](const char* text) {
        return std::any_of(labels.begin(), labels.end(), [&](QLabel* l) { return l->text() == text && l->isVisible(); });
    };
    EXPECT_TRUE(shown("Second"));
    EXPECT_TRUE(shown("Increment [s]"));
    EXPECT_FALSE(shown("Min Delay [s]"));
    EXPECT_TRUE(Find<QWidget>(dlg.get(), "TestField_3")->isVisible()) << "Sats shown while TTTRK is chosen";

    auto* acq = Find<QFrame>(dlg.get(), "AcquisitionPanel");
    auto* sim = Find<QFrame>(dlg.get(), "SimulatorPanel");
    EXPECT_TRUE(acq->isVisible());
    EXPECT_TRUE(sim->isVisible());
    EXPECT_FALSE(Find<QFrame>(dlg.get(), "LabSatPanel")->isVisible());
    EXPECT_FALSE(Find<QFrame>(dlg.get(), "RoofPanel")->isVisible());
    EXPECT_FALSE(Find<QFrame>(dlg.get(), "ScriptPanel")->isVisible());
    EXPECT_EQ(acq->pos(), QPoint(112, 6)) << "1680 and 100 twips";
    EXPECT_EQ(sim->x(), acq->x() + acq->width()) << "the next panel starts at the right edge of the one before";

    // Re-adding the shown line reproduces it.
    Click(dlg.get(), "Add");
    EXPECT_EQ(List()->item(1)->text().toStdString(), line);

    Click(dlg.get(), "TestOption_0");
    EXPECT_FALSE(Find<QWidget>(dlg.get(), "TestField_3")->isVisible());
    Choose(dlg.get(), "TestType", "SCRIPT");
    Click(dlg.get(), "Scenario_0");
    EXPECT_FALSE(acq->isVisible());
    auto* script = Find<QFrame>(dlg.get(), "ScriptPanel");
    auto* roof = Find<QFrame>(dlg.get(), "RoofPanel");
    EXPECT_EQ(script->x(), 112);
    EXPECT_EQ(roof->x(), script->x() + script->width());
    EXPECT_TRUE(shown("Min Delay [s]") || !acq->isVisible());
}

TEST_F(ConfigEditor, DoubleClickOnTheDeviceTitleEnablesTheSlot) {
    Page("Device");
    DoubleClick(Find<QWidget>(dlg.get(), "DevCaption_3"));
    EXPECT_TRUE(Checked("DevEN_3"));
    EXPECT_TRUE(Find<QWidget>(dlg.get(), "DevPanel_3")->isVisible());
    EXPECT_TRUE(Find<QWidget>(dlg.get(), "DevPanel_3")->isEnabled());
    Click(dlg.get(), "DevEN_3");
    EXPECT_FALSE(Find<QWidget>(dlg.get(), "DevPanel_3")->isVisible());
    EXPECT_FALSE(Find<QWidget>(dlg.get(), "DevPanel_3")->isEnabled());
    DoubleClick(Find<QWidget>(dlg.get(), "DevTitle_3"));
    EXPECT_TRUE(Checked("DevEN_3"));
}

TEST_F(ConfigEditor, BinFileSizeProposesTheDuration) {
    Click(dlg.get(), "Scenario_2");
    const std::string three = home->File("three.bin");
    const std::string two = home->File("two.bin");
    WriteMiB(three, 3);
    WriteMiB(two, 2);
    platform::Prompts::Instance().QueueFileName(three);
    Click(dlg.get(), "LabSatBin");
    EXPECT_EQ(Text(dlg.get(), "LabSatData_0").toStdString(), three);
    EXPECT_EQ(Text(dlg.get(), "LabSatData_2"), "1");
    EXPECT_EQ(Find<QLineEdit>(dlg.get(), "LabSatData_0")->toolTip().toStdString(), three);
    Type(dlg.get(), "LabSatData_0", QString::fromStdString(two));
    EXPECT_EQ(Text(dlg.get(), "LabSatData_2"), "0");
    Type(dlg.get(), "LabSatData_2", "45");
    Type(dlg.get(), "LabSatData_0", QString::fromStdString(home->File("missing.bin")));
    EXPECT_EQ(Text(dlg.get(), "LabSatData_2"), "45") << "a path that names no file leaves the duration";
    EXPECT_TRUE(TakeAsked().size() == 1) << "only the file dialog was asked";
}

TEST_F(ConfigEditor, FilePickersFillTheirBoxesAndCancelLeavesThem) {
    Type(dlg.get(), "AlmanacsFile", "keep.txt");
    Click(dlg.get(), "AlmCommand");  // cancelled
    EXPECT_EQ(Text(dlg.get(), "AlmanacsFile"), "keep.txt");
    platform::Prompts::Instance().QueueFileName("/data/alm/week1.txt");
    Click(dlg.get(), "AlmCommand");
    EXPECT_EQ(Text(dlg.get(), "AlmanacsFile"), "/data/alm/week1.txt");
    EXPECT_TRUE(AnyStartsWith(TakeAsked(), "Insert: "));
    Click(dlg.get(), "Scenario_1");
    platform::Prompts::Instance().QueueFileName("/data/city.scn");
    Click(dlg.get(), "ScenarioCommand");
    EXPECT_EQ(Text(dlg.get(), "SimData_12"), "/data/city.scn");
}

}  // namespace
