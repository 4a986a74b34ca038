// The configuration and NCO dialogs by keyboard: Enter presses the button
// that has the focus (OK only where none has), a question that deletes
// answers No to Enter, and Ctrl+Tab or Ctrl+PageDown turn the page from
// every control without a list taking them.
#include <QComboBox>
#include <QTabBar>
#include <QTabWidget>

#include "bench/session/config.h"
#include "tests/session/dialogs_config_fixture.h"
#include "tests/session/keys_ui.h"

namespace dialogs_test {
namespace {

using keys_test::FocusName;
using keys_test::PressEnter;
using keys_test::Retype;
using keys_test::TabTo;

class ConfigKeys : public ConfigDialog {
protected:
    // A Config.dat with slot 0 enabled as "GPS1" and one COLD test; the
    // dialog opened on it with the keyboard in it.
    void OpenOnConfig() {
        bench::SystemConfig c;
        bench::SystemConfigReset(c);
        c.Devices[0].DevEN = bench::FlagSet;
        c.Devices[0].DName = "GPS1";
        c.Devices[0].NcoStart = 100;
        c.TestLines[0] = "COLD,0,50,15,45,6,10,-1,0,";
        bench::ParseTestLine(c.TestLines[0], c.Tests[0]);
        c.Tests[0].Enabled = bench::FlagSet;
        ASSERT_TRUE(bench::SaveSystemConfig(ConfigDat(), c).ok);
        saved_bytes = test::ReadFileBytes(ConfigDat());
        Open();
        keys_test::Focus(dlg.get());
        test::Pump(100);
    }
    QTabWidget* Tabs() { return Find<QTabWidget>(dlg.get(), "TabStrip"); }
    std::string saved_bytes;
};

TEST_F(ConfigKeys, EnterOnCancelOrAListButtonPressesThatButtonAndOkOnlyFromABox) {
    OpenOnConfig();
    // An edit, then Cancel by Tab and Enter: nothing is stored.
    ASSERT_TRUE(TabTo("DName_0")) << FocusName().toStdString();
    Retype("EDITED");
    ASSERT_EQ(Text(dlg.get(), "DName_0"), "EDITED");
    ASSERT_TRUE(TabTo("Cancel_Command")) << FocusName().toStdString();
    PressEnter();
    EXPECT_FALSE(dlg->isVisible()) << "Cancel closes the dialog";
    EXPECT_TRUE(host.FileCalls().empty()) << "no device set up: " << host.FileCalls().front();
    EXPECT_EQ(test::ReadFileBytes(ConfigDat()), saved_bytes) << "Config.dat rewritten by a cancelled edit";

    // Reopened: a test typed into the editor, Tab to Add, Enter adds it and
    // the dialog stays open.
    Open();
    keys_test::Focus(dlg.get());
    Page("Testing");
    ASSERT_EQ(List()->count(), 1);
    ASSERT_TRUE(TabTo("TestField_0")) << FocusName().toStdString();
    Retype("7");
    ASSERT_TRUE(TabTo("Add")) << FocusName().toStdString();
    PressEnter();
    EXPECT_TRUE(dlg->isVisible()) << "Add does not close the dialog";
    ASSERT_EQ(List()->count(), 2) << "the line was not added";
    EXPECT_EQ(List()->item(1)->text().toStdString(), "COLD,0,7,15,45,6,10,-1,0,");
    EXPECT_TRUE(host.FileCalls().empty());

    // Enter in a box, where no button has the focus: OK.
    ASSERT_TRUE(TabTo("TestField_1")) << FocusName().toStdString();
    PressEnter();
    EXPECT_FALSE(dlg->isVisible()) << "Enter in a box is OK";
    ASSERT_EQ(host.FileCalls().size(), 1u);
    EXPECT_EQ(host.FileCalls()[0], "InitializeDevices " + ConfigDat());
    const bench::SystemConfig saved = Saved();
    EXPECT_EQ(saved.TestLines[1], "COLD,0,7,15,45,6,10,-1,0,");
    EXPECT_EQ(saved.Devices[0].DName, "GPS1") << "the cancelled edit stays cancelled";
}

TEST_F(ConfigKeys, EnterOnTheNcoDialogsCancelStoresNothing) {
    OpenOnConfig();
    // The slot's "NCO Range" button by Tab and Enter opens its dialog (and
    // does not press OK).
    ASSERT_TRUE(TabTo("BadNCO_0")) << FocusName().toStdString();
    PressEnter();
    ASSERT_TRUE(dlg->isVisible()) << "Enter on NCO Range pressed OK";
    bench::NCOSettings& nco = dlg->NcoSettingsWindow();
    ASSERT_TRUE(nco.isVisible()) << "the NCO dialog did not open";
    keys_test::Focus(&nco);
    ASSERT_TRUE(TabTo("Text1_0")) << FocusName().toStdString();
    Retype("555");
    ASSERT_TRUE(TabTo("Command1_1")) << FocusName().toStdString();
    PressEnter();
    EXPECT_FALSE(nco.isVisible());
    EXPECT_EQ(dlg->WorkingCopy().Devices[0].NcoStart, 100) << "Cancel stored the typed Min NCO";

    // Enter in a box confirms.
    dialogs_test::Click(dlg.get(), "BadNCO_0");
    keys_test::Focus(&nco);
    ASSERT_TRUE(TabTo("Text1_0")) << FocusName().toStdString();
    Retype("555");
    PressEnter();
    EXPECT_FALSE(nco.isVisible());
    EXPECT_EQ(dlg->WorkingCopy().Devices[0].NcoStart, 555);
}

TEST_F(ConfigKeys, EnterInTheClearQuestionKeepsTheListAndAFocusedYesClearsIt) {
    OpenOnConfig();
    Page("Testing");
    ASSERT_EQ(List()->count(), 1);
    ASSERT_TRUE(TabTo("Clear")) << FocusName().toStdString();
    {
        keys_test::BoxAnswer enter({{Qt::Key_Return, QStringLiteral("\r")}});
        PressEnter();
        ASSERT_TRUE(enter.Answered()) << "no question was asked";
        EXPECT_EQ(enter.Text(), "Test list will be deleted! Are you sure?");
    }
    EXPECT_EQ(List()->count(), 1) << "Enter deleted the test list";
    EXPECT_TRUE(dlg->isVisible());
    // Tab to Yes, then Enter: the focused answer.
    keys_test::Focus(dlg.get());
    ASSERT_TRUE(TabTo("Clear")) << FocusName().toStdString();
    {
        keys_test::BoxAnswer yes({{Qt::Key_Tab, QStringLiteral("\t")}, {Qt::Key_Return, QStringLiteral("\r")}});
        PressEnter();
        ASSERT_TRUE(yes.Answered());
    }
    EXPECT_EQ(List()->count(), 0);
}

TEST_F(ConfigKeys, CtrlTabAndCtrlPageDownTurnThePageFromEveryControl) {
    OpenOnConfig();
    QTabWidget* tabs = Tabs();
    struct Stop {
        int page;
        const char* control;
    };
    // The port and baud lists, a box, a check box, the test list, the
    // test-type list and the simulator list.
    const Stop stops[] = {{0, "NmeaP_0"}, {0, "NmeaB_0"},  {0, "DebugP_0"}, {0, "DName_0"},
                          {0, "DevEN_1"}, {1, "TestList"}, {1, "TestType"}, {2, "SimulatorType"}};
    struct Key {
        int key;
        Qt::KeyboardModifiers mods;
        int step;
        const char* name;
    };
    const Key keys[] = {{Qt::Key_Tab, Qt::ControlModifier, 1, "Ctrl+Tab"},
                        {Qt::Key_PageDown, Qt::ControlModifier, 1, "Ctrl+PageDown"},
                        {Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier, -1, "Ctrl+Shift+Tab"},
                        {Qt::Key_PageUp, Qt::ControlModifier, -1, "Ctrl+PageUp"}};
    for (const Stop& stop : stops) {
        for (const Key& k : keys) {
            SCOPED_TRACE(std::string(k.name) + " from " + stop.control);
            tabs->setCurrentIndex(stop.page);
            auto* control = Find<QWidget>(dlg.get(), stop.control);
            ASSERT_NE(control, nullptr);
            control->setFocus(Qt::TabFocusReason);
            test::Pump(10);
            ASSERT_EQ(FocusName(), stop.control);
            auto* list = qobject_cast<QComboBox*>(control);
            const QString before = list ? list->currentText() : QString();
            ASSERT_TRUE(test::PressKey(k.key, k.mods));
            EXPECT_EQ(tabs->currentIndex(), (stop.page + k.step + 3) % 3) << "the page did not turn";
            if (list) {
                EXPECT_EQ(list->currentText(), before) << "the list took the key";
            }
        }
    }
}

TEST_F(ConfigKeys, TheFirstControlHasTheFocusShownAndThePagesHaveLetters) {
    OpenOnConfig();
    QTabWidget* tabs = Tabs();
    EXPECT_EQ(QApplication::focusWidget(), tabs->tabBar()) << FocusName().toStdString();
    EXPECT_TRUE(dlg->testAttribute(Qt::WA_KeyboardFocusChange)) << "the focus is not drawn until a first Tab";
    for (int i = 0; i < tabs->count(); ++i)
        EXPECT_FALSE(QKeySequence::mnemonic(tabs->tabText(i)).isEmpty()) << tabs->tabText(i).toStdString();
    ASSERT_TRUE(test::PressKey(Qt::Key_G, Qt::AltModifier, "g"));
    EXPECT_EQ(tabs->currentWidget()->objectName(), "GeneralPage");
    ASSERT_TRUE(test::PressKey(Qt::Key_T, Qt::AltModifier, "t"));
    EXPECT_EQ(tabs->currentWidget()->objectName(), "TestingPage");
    // Put up again, as the main window does once it is on the screen: the
    // focus still shows.
    dlg->hide();
    dlg->show();
    keys_test::Focus(dlg.get());
    EXPECT_TRUE(dlg->testAttribute(Qt::WA_KeyboardFocusChange)) << "the focus is not drawn after the dialog is put up again";
}

}  // namespace
}  // namespace dialogs_test
