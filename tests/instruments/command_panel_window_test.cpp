// The "Command Panel" window driven as a user drives it: opened from the
// main window's menu, a script written with the command box and the edit
// buttons, saved, loaded, run, and files sent from its buttons.
#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "bench/instruments/command_panel.h"
#include "bench/instruments/command_panel_window.h"
#include "bench/session/benchtop.h"
#include "bench/session/device_windows.h"
#include "tests/session/dialogs_ui.h"
#include "tests/support/qt_app.h"

namespace {

using dialogs_test::Click;
using dialogs_test::Lines;
using Strings = std::vector<std::string>;

class PanelWindow : public ::testing::Test {
protected:
    void SetUp() override {
        dialogs_test::ResetPrompts();
        home = std::make_unique<test::TempHome>();
        top = std::make_unique<bench::Benchtop>(factory);
        top->show();
        top->ConfigDialog().hide();
        QAction* entry = top->findChild<QAction*>("CommPanel");
        ASSERT_NE(entry, nullptr);
        entry->trigger();
        w = top->findChild<bench::instruments::CommandPanelWindow*>("CommandPanel");
        ASSERT_NE(w, nullptr);
        list = w->findChild<QListWidget*>("List1");
        combo = w->findChild<QComboBox*>("CommandList");
        ASSERT_NE(list, nullptr);
        ASSERT_NE(combo, nullptr);
    }
    void TearDown() override {
        top.reset();
        dialogs_test::ResetPrompts();
    }
    void Write(const QString& text) {
        combo->setFocus();
        combo->lineEdit()->selectAll();
        QTest_Type(text);
    }
    void QTest_Type(const QString& text) {
        QKeyEvent del(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier);
        QApplication::sendEvent(combo->lineEdit(), &del);
        for (QChar c : text) {
            QKeyEvent key(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
            QApplication::sendEvent(combo->lineEdit(), &key);
        }
    }

    std::unique_ptr<test::TempHome> home;
    bench::CommWindowFactory factory;
    std::unique_ptr<bench::Benchtop> top;
    bench::instruments::CommandPanelWindow* w = nullptr;
    QListWidget* list = nullptr;
    QComboBox* combo = nullptr;
};

TEST_F(PanelWindow, OpensWithItsTemplatesAndHelpTexts) {
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(w->windowTitle(), "Command Panel");
    ASSERT_EQ(combo->count(), 31);
    EXPECT_EQ(combo->itemText(0), "SEND>");
    EXPECT_EQ(combo->itemText(30), "SIMTURNALLONOFF>");
    auto* help = w->findChild<QListWidget*>("CommandHlpList");
    ASSERT_EQ(help->count(), 31);
    // Choosing a template shows its help text as the box's tool tip.
    combo->activated(6);
    EXPECT_EQ(combo->toolTip().toStdString(),
              "RANDOMDELAY>min>max (introduce a random time delay, in the range between min and max, before "
              "execution of next instruction)");
    EXPECT_EQ(w->findChild<QLineEdit*>("Text1")->text().toStdString(),
              "Write here the command to send to all devices. Use the syntax: SEND>\"COMMAND STRING\"");
    for (const char* b : {"Command1", "Command12", "Command13", "Command3", "Command14", "Command4", "Command6",
                          "Command5", "Command7", "Command8", "Command2", "Command9", "Command10", "Command16",
                          "Command17", "Command18", "Command19", "SendF", "Command15"})
        EXPECT_TRUE(w->findChild<QWidget*>(b) && w->findChild<QWidget*>(b)->isVisible()) << b;
    // The same window every time.
    top->findChild<QAction*>("CommPanel")->trigger();
    EXPECT_EQ(top->findChildren<bench::instruments::CommandPanelWindow*>().size(), 1);
}

TEST_F(PanelWindow, WritingEditingSavingAndLoadingAScript) {
    Write("SEND>$PQNVHOT");
    Click(w, "Command1");
    Write("DELAY>00:00:05");
    Click(w, "Command1");
    Write("END>");
    Click(w, "Command1");
    EXPECT_EQ(Lines(list), (Strings{"SEND>$PQNVHOT", "DELAY>00:00:05", "END>"}));

    // Insert before the selected line, replace it, remove it.
    dialogs_test::ClickRow(list, 1);
    Write("SEND>\"text string\"");
    Click(w, "Command12");
    EXPECT_EQ(Lines(list), (Strings{"SEND>$PQNVHOT", "SEND>\"text string\"", "DELAY>00:00:05", "END>"}));
    dialogs_test::ClickRow(list, 3);
    Write("STOPLOG>");
    Click(w, "Command13");
    dialogs_test::ClickRow(list, 0);
    Click(w, "Command3");
    EXPECT_EQ(Lines(list), (Strings{"SEND>\"text string\"", "DELAY>00:00:05", "STOPLOG>"}));
    // A double click brings a line back into the box.
    {
        const QPointF at = list->visualItemRect(list->item(1)).center();
        QWidget* vp = list->viewport();
        // As the mouse gives it: press, release, double click, release.
        for (QEvent::Type t : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease, QEvent::MouseButtonDblClick,
                               QEvent::MouseButtonRelease}) {
            const bool down = t != QEvent::MouseButtonRelease;
            QMouseEvent e(t, at, vp->mapToGlobal(at), Qt::LeftButton, down ? Qt::LeftButton : Qt::NoButton,
                          Qt::NoModifier);
            QApplication::sendEvent(vp, &e);
        }
    }
    EXPECT_EQ(combo->currentText(), "DELAY>00:00:05");

    auto& prompts = platform::Prompts::Instance();
    prompts.QueueFileName(home->File("mine.txt"));
    Click(w, "Command6");
    const std::string saved = test::ReadFileBytes(home->File("mine.txt"));
    EXPECT_EQ(saved, "3\r\n\"SEND>\"text string\"\"\r\n\"DELAY>00:00:05\"\r\n\"STOPLOG>\"\r\n");

    Write("END>");
    Click(w, "Command1");
    Click(w, "Command4");  // Save writes the same file again
    EXPECT_EQ(test::ReadFileBytes(home->File("mine.txt")).substr(0, 3), "4\r\n");

    dialogs_test::ClickRow(list, 0);
    Click(w, "Command3");
    prompts.QueueFileName(home->File("mine.txt"));
    Click(w, "Command5");
    EXPECT_EQ(Lines(list), (Strings{"SEND>\"text string\"", "DELAY>00:00:05", "STOPLOG>", "END>"}));

    // A damaged file is loaded as far as it goes, and Save does not
    // overwrite it with that part: it asks for a name.
    test::WriteFileBytes(home->File("bad.txt"), "3\r\n\"SEND>A\"\r\n");
    prompts.QueueFileName(home->File("bad.txt"));
    Click(w, "Command5");
    EXPECT_EQ(Lines(list), Strings{"SEND>A"});
    EXPECT_TRUE(dialogs_test::AnyStartsWith(dialogs_test::TakeAsked(), "WARNING: Script file"));
    prompts.QueueFileName("");  // the user cancels the name
    Click(w, "Command4");
    EXPECT_EQ(test::ReadFileBytes(home->File("bad.txt")), "3\r\n\"SEND>A\"\r\n");
}

TEST_F(PanelWindow, RunShowsProgressAndStatus) {
    Write("REPEATSTART>2");
    Click(w, "Command1");
    Write("REPEATEND>");
    Click(w, "Command1");
    Click(w, "Command2");
    auto& panel = top->ScriptPanel().Panel();
    ASSERT_TRUE(test::WaitFor([&] { return panel.GetScriptEndStatus(); }, 3000));
    EXPECT_EQ(w->findChild<QLabel*>("CPSb_1")->text(), "Remaining Cycles 0");
    // Execute runs the box's line at once, without the script.
    Write("REPEATSTART>7");
    Click(w, "Command7");
    EXPECT_EQ(w->findChild<QLabel*>("CPSb_1")->text(), "Remaining Cycles 7");
}

}  // namespace
