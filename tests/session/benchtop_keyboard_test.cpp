// The bench by keyboard: menus reached with Alt, Alt+letter and F10, every
// entry with a letter of its own, and Start and Stop on keys of their own.
#include <QApplication>
#include <QMenu>
#include <QMenuBar>

#include <set>

#include "tests/session/benchtop_fixture.h"
#include "tests/support/keyboard.h"

namespace benchtop_test {
namespace {

using dialogs_test::TakeAsked;

// Every entry of the menu (and of its submenus) underlines a letter that no
// other entry of the same menu underlines.
void ExpectMnemonics(const QList<QAction*>& entries, const std::string& where) {
    std::set<QString> seen;
    for (QAction* a : entries) {
        if (a->isSeparator()) continue;
        const QString caption = bench::Benchtop::PlainCaption(a->text());
        const QKeySequence key = QKeySequence::mnemonic(a->text());
        EXPECT_FALSE(key.isEmpty()) << where << " > " << caption.toStdString() << " has no mnemonic";
        EXPECT_TRUE(seen.insert(key.toString()).second)
            << where << " > " << caption.toStdString() << " repeats " << key.toString().toStdString();
        if (a->menu()) ExpectMnemonics(a->menu()->actions(), where + " > " + caption.toStdString());
    }
}

class BenchKeyboard : public BenchtopTest {};

TEST_F(BenchKeyboard, EveryMenuAndEntryHasAMnemonicOfItsOwn) {
    // The hidden menus too: they keep their letters for when they are shown.
    top = std::make_unique<bench::Benchtop>(factory, nullptr, bench::BenchtopOptions{true});
    Open();
    top->AddToMenu("GPS1 NMEA WINDOW");
    top->AddToMenu("GPS2 NMEA WINDOW");
    top->AddToMenu("GPS2 DEBUG WINDOW");
    ExpectMnemonics(top->menuBar()->actions(), "menu bar");
    // The captions read as before.
    EXPECT_EQ(bench::Benchtop::PlainCaption(Entry("exectest")->text()), "Start");
    EXPECT_EQ(bench::Benchtop::PlainCaption(Entry("T120")->text()), "120 sec");
    EXPECT_EQ(bench::Benchtop::PlainCaption(Entry("win1_2")->text()), "GPS2 DEBUG WINDOW");
    // Start and Stop show their keys in the menu.
    EXPECT_FALSE(Entry("exectest")->shortcut().isEmpty());
    EXPECT_FALSE(Entry("StopTesting")->shortcut().isEmpty());
    EXPECT_NE(Entry("exectest")->shortcut(), Entry("StopTesting")->shortcut());
}

TEST_F(BenchKeyboard, AltLetterThenTheEntrysLetterStartsASession) {
    Open();
    top->ConfigDialog().close();
    test::Activate(top.get());
    TakeAsked();
    ASSERT_TRUE(test::PressKey(Qt::Key_T, Qt::AltModifier, "t"));
    EXPECT_EQ(QApplication::activePopupWidget(), top->Menu("TestingMenu")) << "Alt+T opens the Testing menu";
    ASSERT_TRUE(test::PressKey(Qt::Key_S, Qt::NoModifier, "s"));
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
    // Start ran: with no receiver configured it says so.
    const std::vector<std::string> asked = TakeAsked();
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_NE(asked[0].find("No device is enabled"), std::string::npos) << asked[0];
}

TEST_F(BenchKeyboard, F10OpensTheFirstMenuAndF5Starts) {
    Open();
    top->ConfigDialog().close();
    test::Activate(top.get());
    ASSERT_TRUE(test::PressKey(Qt::Key_F10));
    EXPECT_EQ(QApplication::activePopupWidget(), top->Menu("opt"));
    test::PressKey(Qt::Key_Escape);
    test::PressKey(Qt::Key_Escape);
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
    // Alt alone takes the keyboard to the menu bar; Down opens its menu.
    test::Activate(top.get());
    ASSERT_TRUE(test::PressKey(Qt::Key_Alt, Qt::AltModifier));
    test::PressKey(Qt::Key_Down);
    EXPECT_EQ(QApplication::activePopupWidget(), top->Menu("opt")) << "Alt, then Down";
    test::PressKey(Qt::Key_Escape);
    test::PressKey(Qt::Key_Escape);
    test::Activate(top.get());
    TakeAsked();
    ASSERT_TRUE(test::PressKey(Qt::Key_F5));
    const std::vector<std::string> asked = TakeAsked();
    ASSERT_EQ(asked.size(), 1u) << "F5 is Start";
    EXPECT_NE(asked[0].find("No device is enabled"), std::string::npos) << asked[0];
}

}  // namespace
}  // namespace benchtop_test

namespace benchtop_test {
namespace {

// A click on the main window while a box is open over it: the keys still
// answer the box.
TEST_F(BenchKeyboard, AfterAClickOnABlockedWindowEscapeStillAnswersTheBox) {
    Open();
    top->ConfigDialog().close();
    test::Activate(top.get());
    platform::Prompts::Instance().SetUnattended(false);
    platform::Prompts::Instance().Inform("Something to read", "WARNING", platform::Icon::Warning);
    platform::Prompts::Instance().SetUnattended(true);
    test::Pump(30);
    QWidget* box = QApplication::activeModalWidget();
    ASSERT_NE(box, nullptr) << "the box is shown";
    test::Activate(box);
    // The window manager gives the clicked window the focus.
    top->activateWindow();
    test::Pump(50);
    ASSERT_TRUE(test::PressKey(Qt::Key_Escape));
    test::Pump(30);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr) << "Escape went to the box";
}

}  // namespace
}  // namespace benchtop_test

#include <QTableWidget>

#include "bench/session/results_window.h"
#include "tests/session/keys_ui.h"

namespace benchtop_test {
namespace {

// A bench with one receiver and a COLD test, OK pressed, the keyboard in
// the main window.
class SessionKeys : public BenchKeyboard {
protected:
    void OpenWithOneReceiver() {
        bench::SystemConfig c = Config({0});
        AddColdTest(c, 0, 3, 0, 0);
        SetUpDevices(c);
        test::Pump(100);
        test::Activate(top.get());
    }
    bench::Results* ResultsShown() {
        auto* r = top->findChild<bench::Results*>();
        return r && r->isVisible() ? r : nullptr;
    }
};

TEST_F(SessionKeys, TheResultsGridLeavesTheKeysWhereStartWasPressedAndStopWorksFromEveryWindow) {
    OpenWithOneReceiver();
    ASSERT_TRUE(test::PressKey(Qt::Key_F5));
    ASSERT_TRUE(top->SessionRunning()) << "F5 starts";
    ASSERT_TRUE(test::WaitFor([&] { return ResultsShown() != nullptr; }, 2000)) << "the grid opens with the session";
    test::Pump(300);
    EXPECT_EQ(QGuiApplication::focusWindow(), top->windowHandle()) << "the grid took the focus";
    // Stop from wherever the keyboard is.
    ASSERT_TRUE(test::PressKey(Qt::Key_F5, Qt::ShiftModifier));
    EXPECT_FALSE(top->SessionRunning()) << "Shift+F5 did not stop";

    // A click on the grid, then Stop and Start from there.
    ASSERT_TRUE(test::PressKey(Qt::Key_F5));
    ASSERT_TRUE(top->SessionRunning());
    test::Activate(ResultsShown());
    ASSERT_EQ(QGuiApplication::focusWindow(), ResultsShown()->windowHandle());
    ASSERT_TRUE(test::PressKey(Qt::Key_F5, Qt::ShiftModifier));
    EXPECT_FALSE(top->SessionRunning()) << "Shift+F5 does nothing in the results grid";
    ASSERT_TRUE(test::PressKey(Qt::Key_F5));
    EXPECT_TRUE(top->SessionRunning()) << "F5 does nothing in the results grid";
    top->StopTesting_Click();
}

TEST_F(SessionKeys, TheWindowMenuListsTheResultsGrid) {
    OpenWithOneReceiver();
    ASSERT_TRUE(test::PressKey(Qt::Key_F5));
    ASSERT_TRUE(test::WaitFor([&] { return ResultsShown() != nullptr; }, 2000));
    ASSERT_TRUE(test::PressKey(Qt::Key_F5, Qt::ShiftModifier));
    test::Activate(top.get());
    // Alt+W, then the entry's letter.
    ASSERT_TRUE(test::PressKey(Qt::Key_W, Qt::AltModifier, "w"));
    ASSERT_EQ(QApplication::activePopupWidget(), top->Menu("OWindows"));
    QAction* entry = nullptr;
    for (QAction* a : top->Menu("OWindows")->actions())
        if (a->isVisible() && bench::Benchtop::PlainCaption(a->text()) == "Results") entry = a;
    ASSERT_NE(entry, nullptr) << "no Results entry in the Window menu";
    const QString letter = QKeySequence::mnemonic(entry->text()).toString().remove("Alt+").toLower();
    ASSERT_FALSE(letter.isEmpty());
    ASSERT_TRUE(test::PressKey(Qt::Key_A + (letter[0].unicode() - 'a'), Qt::NoModifier, letter));
    test::Pump(100);
    EXPECT_EQ(QGuiApplication::focusWindow(), ResultsShown()->windowHandle()) << "the grid is not in front";
}

TEST_F(SessionKeys, NewTestSessionEmptiesTheResultsGrid) {
    OpenWithOneReceiver();
    top->Grid().UpdateTest(2, 3);
    top->Grid().UpdateCell(1, 0, 35.5);
    bench::Results* results = ResultsShown();
    ASSERT_NE(results, nullptr);
    auto* table = results->findChild<QTableWidget*>("MSFlexGrid1");
    ASSERT_EQ(results->windowTitle(), "Results: n. 2 of 3");
    ASSERT_EQ(table->item(4, 1)->text(), "35.5");
    // Testing > New Test Session by its letters.
    test::Activate(top.get());
    ASSERT_TRUE(test::PressKey(Qt::Key_T, Qt::AltModifier, "t"));
    ASSERT_TRUE(test::PressKey(Qt::Key_N, Qt::NoModifier, "n"));
    ASSERT_TRUE(top->ConfigDialog().isVisible());
    EXPECT_EQ(results->windowTitle(), "Results") << "the old session's trial counter stays";
    for (int row : {0, 1, 2, 4})
        EXPECT_TRUE(!table->item(row, 1) || table->item(row, 1)->text().isEmpty())
            << "row " << row << " keeps " << table->item(row, 1)->text().toStdString();
}

TEST_F(SessionKeys, EnterInTheStopQuestionKeepsTheSessionRunning) {
    OpenWithOneReceiver();
    ASSERT_TRUE(test::PressKey(Qt::Key_F5));
    ASSERT_TRUE(top->SessionRunning());
    test::Activate(top.get());
    {
        keys_test::BoxAnswer enter({{Qt::Key_Return, QStringLiteral("\r")}});
        ASSERT_TRUE(test::PressKey(Qt::Key_T, Qt::AltModifier, "t"));
        ASSERT_TRUE(test::PressKey(Qt::Key_N, Qt::NoModifier, "n"));
        ASSERT_TRUE(enter.Answered()) << "no question was asked";
        EXPECT_EQ(enter.Text(), "A test session is running. Stop the session and start a new one?");
    }
    EXPECT_TRUE(top->SessionRunning()) << "Enter stopped the session";
    EXPECT_FALSE(top->ConfigDialog().isVisible());
    top->StopTesting_Click();
}

}  // namespace
}  // namespace benchtop_test
