#include "platform/core/diagnostics.h"
#include "platform/qt/program_folder.h"
#include "platform/ui/prompts.h"
#include "tests/support/qt_app.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

using namespace platform;

TEST(PromptsUnattended, AnswersFromTheQueueAndLogsTheQuestion) {
    test::EnsureApp();
    Prompts& p = Prompts::Instance();
    ASSERT_TRUE(p.Unattended()) << "tests must never show a dialog";
    p.ClearQueue();
    p.ClearAsked();
    std::vector<std::string> notes;
    SetDiagnosticSink([&](const std::string& s) { notes.push_back(s); });

    p.QueueAnswer(Answer::No);
    p.QueueAnswer(Answer::Cancel);
    EXPECT_EQ(p.Ask("Overwrite the file?", Buttons::YesNo, "WARNING"), Answer::No);
    EXPECT_EQ(p.Ask("Stop the session?", Buttons::OkCancel, "WARNING"), Answer::Cancel);
    EXPECT_EQ(p.Ask("Empty queue", Buttons::YesNoCancel, "WARNING"), Answer::Yes) << "first button by default";
    EXPECT_EQ(p.Ask("Empty queue", Buttons::OkCancel, "WARNING"), Answer::Ok);

    p.QueueFileName("/data/run1.txt");
    p.QueueFileNames({"/a.txt", "/b.txt"});
    EXPECT_EQ(p.OpenFileName("Open log", "/data", "Text (*.txt)"), "/data/run1.txt");
    EXPECT_EQ(p.OpenFileNames("Open logs", "/data", "Text (*.txt)"), (std::vector<std::string>{"/a.txt", "/b.txt"}));
    EXPECT_EQ(p.SaveFileName("Save", "/data", ""), "") << "nothing queued: cancelled";

    p.Inform("Invalid port number 8002", Prompts::kProgramTitle);
    SetDiagnosticSink({});
    ASSERT_EQ(p.Asked().size(), 8u);
    EXPECT_EQ(p.Asked()[0], "WARNING: Overwrite the file?");
    EXPECT_EQ(p.Asked()[7], "Fixbench: Invalid port number 8002");
    EXPECT_EQ(notes.size(), 8u);
}

TEST(ProgramFolder, HomeVariableWinsElseTheWritableExecutableFolder) {
    {
        test::TempHome home;
        EXPECT_EQ(ProgramFolder(), home.Path());
        EXPECT_EQ(ProgramFile("Config.dat"), home.Path() + "/Config.dat");
    }
    test::EnsureApp();
    ::unsetenv("FIXBENCH_HOME");
    std::string exe_dir = QCoreApplication::applicationDirPath().toStdString();
    EXPECT_EQ(ProgramFolder(), exe_dir) << "the build folder is writable";
}

