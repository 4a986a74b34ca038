// The Command Panel's script files as a user names them: a name typed
// without its extension is saved as the Load dialog lists it, and the next
// dialog opens where the last script went.
#include <QAction>
#include <QDir>
#include <QListWidget>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "bench/devices/system_log.h"
#include "bench/instruments/command_panel_window.h"
#include "bench/session/benchtop.h"
#include "bench/session/device_windows.h"
#include "tests/session/dialogs_ui.h"
#include "tests/support/qt_app.h"

namespace {

using dialogs_test::Click;

TEST(CommandPanelFiles, SaveAsAddsTheExtensionAndLoadOpensWhereTheScriptWent) {
    dialogs_test::ResetPrompts();
    test::TempHome home;
    bench::CommWindowFactory factory;
    auto top = std::make_unique<bench::Benchtop>(factory);
    top->show();
    top->ConfigDialog().hide();
    top->findChild<QAction*>("CommPanel")->trigger();
    auto* w = top->findChild<bench::instruments::CommandPanelWindow*>("CommandPanel");
    ASSERT_NE(w, nullptr);
    auto* list = w->findChild<QListWidget*>("List1");
    ASSERT_NE(list, nullptr);
    const std::string scripts = home.File("scripts");
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(scripts)));

    w->SetCommandText("SEND>$PQNVHOT");
    Click(w, "Command1");
    auto& prompts = platform::Prompts::Instance();
    prompts.QueueFileName(scripts + "/myscript");
    dialogs_test::TakeAsked();
    Click(w, "Command6");  // Save As
    EXPECT_EQ(dialogs_test::TakeAsked(), std::vector<std::string>{"Save: " + home.Path()});
    EXPECT_EQ(test::ReadFileBytes(scripts + "/myscript.txt"), "1\r\n\"SEND>$PQNVHOT\"\r\n");
    // What the Load dialog's filter lists in that folder.
    const QStringList listed =
        QDir(QString::fromStdString(scripts)).entryList({QStringLiteral("*.txt")}, QDir::Files);
    EXPECT_EQ(listed, QStringList{QStringLiteral("myscript.txt")});

    Click(w, "Command3");  // nothing selected: nothing removed
    prompts.QueueFileName(scripts + "/myscript.txt");
    Click(w, "Command5");  // Load
    EXPECT_EQ(dialogs_test::TakeAsked(), std::vector<std::string>{"Open: " + scripts});
    EXPECT_EQ(dialogs_test::Lines(list), std::vector<std::string>{"SEND>$PQNVHOT"});

    // Save writes the file that Save As named.
    w->SetCommandText("END>");
    Click(w, "Command1");
    Click(w, "Command4");
    EXPECT_EQ(test::ReadFileBytes(scripts + "/myscript.txt").substr(0, 3), "2\r\n");
    top.reset();
    dialogs_test::ResetPrompts();
}

// A script whose second line is ten million characters long, as a broken
// generator writes it: refused at load, naming its line, as other damaged
// scripts are, and the windows never get it to draw or run.
TEST(CommandPanelFiles, ALineLongerThanACommandIsRefusedAtLoadNamingItsLine) {
    dialogs_test::ResetPrompts();
    test::TempHome home;
    bench::CommWindowFactory factory;
    auto top = std::make_unique<bench::Benchtop>(factory);
    top->show();
    top->ConfigDialog().hide();
    top->findChild<QAction*>("CommPanel")->trigger();
    auto* w = top->findChild<bench::instruments::CommandPanelWindow*>("CommandPanel");
    ASSERT_NE(w, nullptr);
    auto* list = w->findChild<QListWidget*>("List1");
    ASSERT_NE(list, nullptr);

    const std::string script = home.File("huge.txt");
    test::WriteFileBytes(script, "3\r\n\"SEND>$PQNVHOT\"\r\n\"SEND>" + std::string(10 * 1000 * 1000, 'A') +
                                     "\"\r\n\"END>\"\r\n");
    platform::Prompts::Instance().QueueFileName(script);
    dialogs_test::TakeAsked();
    Click(w, "Command5");  // Load
    const std::string said = "line 2 is 10000005 characters long, more than a command can be (16384)";
    const std::vector<std::string> asked = dialogs_test::TakeAsked();
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_NE(asked[1].find(said), std::string::npos) << asked[1].substr(0, 300);
    ASSERT_EQ(list->count(), 1) << "only the sound part";
    EXPECT_EQ(list->item(0)->text().toStdString(), "SEND>$PQNVHOT");
    const std::string log = test::ReadFileBytes(bench::SystemLogPath());
    EXPECT_NE(log.find("Script file " + script + ": stopped after 1 of 3 lines: " + said + " (LoadScript)"),
              std::string::npos)
        << log.substr(0, 2000);

    // The longest line a command can be still loads.
    const std::string longest = "SEND>" + std::string(16384 - 5, 'B');
    test::WriteFileBytes(script, "1\r\n\"" + longest + "\"\r\n");
    platform::Prompts::Instance().QueueFileName(script);
    Click(w, "Command5");
    EXPECT_EQ(dialogs_test::Lines(list), std::vector<std::string>{longest});
    top.reset();
    dialogs_test::ResetPrompts();
}

}  // namespace
