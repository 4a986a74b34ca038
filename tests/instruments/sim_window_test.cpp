// The simulator window offscreen, driven through its controls as an operator
// would, against the fake simulator on 127.0.0.1.
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTcpServer>

#include <gtest/gtest.h>

#include "bench/instruments/sim_mng.h"
#include "bench/instruments/sim_window.h"
#include "platform/qt/bench_timer.h"
#include "tests/support/fake_session_env.h"
#include "tests/support/fake_sim_server.h"
#include "tests/support/qt_app.h"

namespace {

using namespace bench::sim;

template <class T>
T* Child(QWidget& w, const char* name) {
    T* c = w.findChild<T*>(name);
    EXPECT_NE(c, nullptr) << name;
    return c;
}

TEST(SimWindow, TheOperatorConnectsSetsPowerAndRunsAutoSetup) {
    test::EnsureApp();
    test::FakeSimServer server(1);
    server.SetStatus(4);  // running
    fakes::FakeStatusBar status;
    std::vector<std::string> warnings;
    SimServices s;
    s.clock = &platform::SystemClock::Instance();
    s.mainStatus = &status;
    s.warnUser = [&](const std::string& t, const std::string&) { warnings.push_back(t); };
    SimMng sim(std::make_unique<TcpSimTransport>(), std::make_unique<platform::QtTimer>(),
               std::make_unique<platform::QtTimer>(), std::make_unique<platform::QtTimer>(), std::move(s));
    // What the configuration dialog hands over before the window exists.
    sim.SetSimType("GSS7700");
    sim.SetSimName("Lab GSS7700");
    sim.SetSimHostName("127.0.0.1");
    sim.SetSimHostPort(server.Port());

    SimWindow w(sim);
    w.show();
    EXPECT_EQ(Child<QGroupBox>(w, "Frame1")->title(), "Lab GSS7700");
    EXPECT_EQ(Child<QComboBox>(w, "Combo1")->currentText(), "127.0.0.1");
    EXPECT_EQ(Child<QLineEdit>(w, "Text1")->text(), QString::number(server.Port()));
    for (const char* name : {"Start_Command", "Stop_Command", "Status_Command", "Rewind_Command",
                             "SetPower_Command", "AutoSetUp_Command", "Command1", "Connect_Command"})
        Child<QPushButton>(w, name);

    // A command before connecting: the operator is warned, nothing goes out.
    Child<QPushButton>(w, "Status_Command")->click();
    EXPECT_EQ(warnings, std::vector<std::string>{"Winsock connection is closed!"});

    Child<QPushButton>(w, "Connect_Command")->click();
    ASSERT_TRUE(test::WaitFor([&] { return Child<QLabel>(w, "StatusBar1_1")->text() == "Connected to 127.0.0.1"; }, 3000))
        << Child<QLabel>(w, "StatusBar1_1")->text().toStdString();

    Child<QLineEdit>(w, "Text7")->setText("-133.5");
    Child<QPushButton>(w, "SetPower_Command")->click();
    ASSERT_TRUE(test::WaitFor([&] { return Child<QLabel>(w, "StatusBar1_2")->text() == "Running"; }, 3000))
        << Child<QLabel>(w, "StatusBar1_2")->text().toStdString();
    EXPECT_EQ(server.CommandTexts(), std::vector<std::string>{"-,POW_LEV,v1_a1,-133.5,GPS,1,0,1,1,1,1"});

    // Auto Setup: a full restart whose set-up switches satellite 20 off,
    // holds everything at 10, then the box's level and channel 2 at 10.
    Child<QLineEdit>(w, "Text10")->setText("-130");
    Child<QPushButton>(w, "AutoSetUp_Command")->click();
    EXPECT_EQ(sim.Control().OtherPower, -130);
    EXPECT_EQ(sim.Control().SatOff, 20);
    EXPECT_EQ(sim.Control().SingleSatChannel, 2);
    EXPECT_EQ(sim.Control().SingleSatEn, -1);
    EXPECT_EQ(sim.SequenceState(), kStatusAsked);
    ASSERT_TRUE(test::WaitFor([&] { return server.CommandTexts().size() >= 3; }, 3000));
    EXPECT_EQ(server.CommandTexts()[1], "NULL");
    EXPECT_EQ(server.CommandTexts()[2], "-,EN") << "the running scenario is stopped first";
}

}  // namespace

namespace {

// A failed connection's "Error" goes when a new configuration comes.
TEST(SimWindow, ANewConfigurationClearsTheErrorOfAnEarlierAttempt) {
    test::EnsureApp();
    quint16 closed = 0;
    {
        QTcpServer probe;
        ASSERT_TRUE(probe.listen(QHostAddress::LocalHost));
        closed = probe.serverPort();
    }
    fakes::FakeStatusBar status;
    SimServices s;
    s.clock = &platform::SystemClock::Instance();
    s.mainStatus = &status;
    s.warnUser = [](const std::string&, const std::string&) {};
    SimMng sim(std::make_unique<TcpSimTransport>(), std::make_unique<platform::QtTimer>(),
               std::make_unique<platform::QtTimer>(), std::make_unique<platform::QtTimer>(), std::move(s));
    sim.SetSimHostName("127.0.0.1");
    sim.SetSimHostPort(closed);
    SimWindow w(sim);
    w.show();
    Child<QPushButton>(w, "Connect_Command")->click();
    ASSERT_TRUE(test::WaitFor([&] { return Child<QLabel>(w, "StatusBar1_1")->text() == "Error"; }, 3000))
        << Child<QLabel>(w, "StatusBar1_1")->text().toStdString();
    // What the configuration dialog's OK hands over.
    sim.SetSimType("Spirent STR4500");
    sim.SetSimName("Spirent STR4500");
    sim.SetSimHostName("127.0.0.1");
    sim.SetSimHostPort(15650);
    // Shown at the window's next redraw, which a flood of changes may put off
    // for a moment.
    EXPECT_TRUE(test::WaitFor([&] { return Child<QLabel>(w, "StatusBar1_1")->text() != "Error"; }, 3000));
    EXPECT_EQ(Child<QLineEdit>(w, "Text1")->text(), "15650");
}

}  // namespace
