#include "platform/core/diagnostics.h"
#include "platform/qt/program_folder.h"
#include "platform/ui/prompts.h"
#include "tests/support/qt_app.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QScreen>
#include <QHeaderView>
#include <QTreeView>
#include <QMainWindow>
#include <QMessageBox>
#include <QTimer>
#include <gtest/gtest.h>
#include <cstdlib>
#include <unistd.h>

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

// Without $FIXBENCH_HOME the folder is the user's own, also when the
// program runs from a build tree it could write to.
TEST(ProgramFolder, HomeVariableWinsElseTheUsersFolderNeverTheExecutables) {
    {
        test::TempHome home;
        EXPECT_EQ(ProgramFolder(), home.Path());
        EXPECT_EQ(ProgramFile("Config.dat"), home.Path() + "/Config.dat");
    }
    test::EnsureApp();
    test::TempHome user;
    ::unsetenv("FIXBENCH_HOME");
    const std::string old_home = std::getenv("HOME") ? std::getenv("HOME") : "";
    ::setenv("HOME", user.Path().c_str(), 1);
    const std::string exe_dir = QCoreApplication::applicationDirPath().toStdString();
    ASSERT_EQ(::access(exe_dir.c_str(), W_OK), 0) << "the build folder is writable";
    const std::string folder = ProgramFolder();
    ::setenv("HOME", old_home.c_str(), 1);
    EXPECT_EQ(folder, user.Path() + "/.local/share/fixbench");
    EXPECT_TRUE(QFileInfo(QString::fromStdString(folder)).isDir()) << "made on demand";
}


// File dialogs open where the user last went for that kind of file, and a
// name saved without an extension gets the one the filter lists.
TEST(PromptsFiles, OpenInTheFolderLastUsedAndSaveWithTheFiltersExtension) {
    test::EnsureApp();
    test::TempHome home;
    Prompts& p = Prompts::Instance();
    p.ClearQueue();
    p.ClearAsked();
    p.ForgetFolders();
    const std::string scripts = home.Path() + "/scripts";
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(scripts)));

    p.QueueFileName(scripts + "/myscript");
    EXPECT_EQ(p.SaveFileName("Save", home.Path(), "Script File (*.txt)"), scripts + "/myscript.txt");
    p.QueueFileName(scripts + "/night.v2.txt");
    EXPECT_EQ(p.SaveFileName("Save", home.Path(), "Script File (*.txt)"), scripts + "/night.v2.txt");
    p.QueueFileName(scripts + "/plain");
    EXPECT_EQ(p.SaveFileName("Save", home.Path(), "All files (*)"), scripts + "/plain") << "no extension to add";
    p.QueueFileName(home.Path() + "/session");
    EXPECT_EQ(p.SaveFileName("Save", home.Path(), "Config File (*.dat)"), home.Path() + "/session.dat");

    p.ClearAsked();
    EXPECT_EQ(p.OpenFileName("Open", home.Path(), "Script File (*.txt)"), "") << "cancelled";
    EXPECT_EQ(p.OpenFileName("Open", home.Path(), "Config File (*.dat)"), "");
    ASSERT_EQ(p.Asked().size(), 2u);
    EXPECT_EQ(p.Asked()[0], "Open: " + scripts) << "where the last script went";
    EXPECT_EQ(p.Asked()[1], "Open: " + home.Path()) << "each kind of file keeps its own folder";

    // A folder that is gone is not offered.
    ASSERT_TRUE(QDir(QString::fromStdString(scripts)).removeRecursively());
    p.ClearAsked();
    p.OpenFileNames("Open", home.Path(), "Script File (*.txt)");
    ASSERT_EQ(p.Asked().size(), 1u);
    EXPECT_EQ(p.Asked()[0], "Open: " + home.Path());
    p.ForgetFolders();
}

// The dialog a person sees shows a 60-character file name whole, in the
// folder asked for, and still fits a 1280 x 800 screen.
TEST(PromptsFiles, DialogIsWideEnoughForLongNames) {
    test::EnsureApp();
    test::TempHome home;
    const std::string name = "Rover_A_TTFF_SYNC_COLD_NMEA_UTC55_Results_T2A_T2U_Statistics";
    ASSERT_EQ(name.size(), static_cast<size_t>(Prompts::kReadableNameChars));
    std::unique_ptr<QFileDialog> d = Prompts::MakeFileDialog("Open", home.Path(), "Script File (*.txt)", false);
    EXPECT_EQ(d->directory().absolutePath().toStdString(), home.Path());
    auto* tree = d->findChild<QTreeView*>("treeView");
    ASSERT_NE(tree, nullptr);
    const int needed = QFontMetrics(tree->font()).horizontalAdvance(QString::fromStdString(name));
    EXPECT_GE(tree->header()->sectionSize(0), needed + 24) << "the name column, with room for the icon";
    d->show();
    QCoreApplication::processEvents();
    int columns = 0;
    for (int i = 0; i < tree->header()->count(); ++i) columns += tree->header()->sectionSize(i);
    const QSize screen = QGuiApplication::primaryScreen()->availableGeometry().size();
    EXPECT_LE(d->width(), screen.width());
    EXPECT_LE(d->height(), screen.height());
    if (screen.width() >= 1280)
        EXPECT_GE(tree->viewport()->width(), columns) << "every column in view without scrolling";
    else
        EXPECT_GE(d->width(), screen.width() * 9 / 10) << "a small screen's room is used";
}

// Shown boxes (the interactive road, driven offscreen): each belongs to the
// window the user works in, or to the main window, and stays above the
// bench's windows until answered.
TEST(PromptsShown, BoxesBelongToTheActiveOrMainWindowAndStayOnTop) {
    test::EnsureApp();
    Prompts& p = Prompts::Instance();
    p.SetUnattended(false);
    QMainWindow main;
    main.setObjectName("MainForm");
    main.resize(800, 600);
    main.show();
    QWidget tool(&main, Qt::Window);
    tool.resize(300, 200);
    tool.show();
    QApplication::setActiveWindow(&tool);
    ASSERT_TRUE(test::WaitFor([&] { return QApplication::activeWindow() == &tool; }, 2000));

    p.Inform("Invalid power level", "Simulator");
    QMessageBox* box = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* b = qobject_cast<QMessageBox*>(w); b && b->isVisible()) box = b;
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->parentWidget(), &tool) << "over the window that raised it";
    EXPECT_TRUE(box->windowFlags() & Qt::WindowStaysOnTopHint);
    box->accept();
    test::Pump(20);

    // Raised while no bench window is active (a link dropped at night): over
    // the main window. A question waits for its answer and stays on top.
    tool.hide();
    QApplication::setActiveWindow(nullptr);
    QWidget* owner = nullptr;
    bool on_top = false;
    QTimer::singleShot(50, [&] {
        auto* asked = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!asked) return;
        owner = asked->parentWidget();
        on_top = asked->windowFlags() & Qt::WindowStaysOnTopHint;
        asked->button(QMessageBox::No)->click();
    });
    EXPECT_EQ(p.Ask("Winsock connection is closed!", Buttons::YesNo, "Simulator"), Answer::No);
    EXPECT_EQ(owner, &main);
    EXPECT_TRUE(on_top);
    p.SetUnattended(true);
}
