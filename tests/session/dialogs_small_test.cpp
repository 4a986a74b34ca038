// The NCO range settings, the antenna coordinates, the task monitor and the
// about box, driven through their controls.
#include "bench/session/small_dialogs.h"

#include "tests/session/dialogs_ui.h"
#include "tests/support/keyboard.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>

#include <memory>

using namespace bench;
using namespace dialogs_test;

namespace {

struct Stored {
    int device;
    int32_t start, max, step;
    std::string command;
};

class RecordingSink : public NcoParametersSink {
public:
    void BadNCOParametersSetting(int device, int32_t start, int32_t max, int32_t step,
                                 const std::string& command) override {
        stored.push_back({device, start, max, step, command});
    }
    std::vector<Stored> stored;
};

class NcoDialog : public ::testing::Test {
protected:
    void SetUp() override {
        ResetPrompts();
        window = std::make_unique<NCOSettings>(sink);
    }
    RecordingSink sink;
    std::unique_ptr<NCOSettings> window;
};

TEST_F(NcoDialog, ShowsTheSlotValuesAndStoresWhatIsConfirmed) {
    window->DisplyNCOPar(2, 100, 900, 20, "$PQNVNCO,1,2,");
    ASSERT_TRUE(window->isVisible());
    EXPECT_EQ(window->windowTitle(), "NCO Range Settings");
    EXPECT_EQ(Text(window.get(), "Text1_0"), "100");
    EXPECT_EQ(Text(window.get(), "Text1_1"), "900");
    EXPECT_EQ(Text(window.get(), "Text1_2"), "20");
    EXPECT_EQ(Text(window.get(), "Text1_3"), "$PQNVNCO,1,2,");
    Type(window.get(), "Text1_0", "-50");
    Type(window.get(), "Text1_3", "$PQNVNCO,7,7,");
    Click(window.get(), "Command1_0");
    ASSERT_EQ(sink.stored.size(), 1u);
    EXPECT_EQ(sink.stored[0].device, 2);
    EXPECT_EQ(sink.stored[0].start, -50);
    EXPECT_EQ(sink.stored[0].max, 900);
    EXPECT_EQ(sink.stored[0].step, 20);
    EXPECT_EQ(sink.stored[0].command, "$PQNVNCO,7,7,");
    EXPECT_FALSE(window->isVisible());
}

TEST_F(NcoDialog, CancelStoresNothing) {
    window->DisplyNCOPar(1, 1, 2, 3, "X");
    Type(window.get(), "Text1_2", "8");
    Click(window.get(), "Command1_1");
    EXPECT_TRUE(sink.stored.empty());
    EXPECT_FALSE(window->isVisible());
}

TEST_F(NcoDialog, StepRoundsHalvesToEven) {
    window->DisplyNCOPar(0, 0, 10, 1, "");
    Type(window.get(), "Text1_2", "2.5");
    Click(window.get(), "Command1_0");
    window->DisplyNCOPar(0, 0, 10, 1, "");
    Type(window.get(), "Text1_2", "3.5");
    Click(window.get(), "Command1_0");
    ASSERT_EQ(sink.stored.size(), 2u);
    EXPECT_EQ(sink.stored[0].step, 2);
    EXPECT_EQ(sink.stored[1].step, 4);
}

TEST_F(NcoDialog, TextThatIsNotANumberIsRefusedAndTheWindowStays) {
    window->DisplyNCOPar(3, 0, 10, 1, "");
    for (const char* bad : {"12a", "", "3000000000"}) {
        Type(window.get(), "Text1_1", bad);
        Click(window.get(), "Command1_0");
        EXPECT_TRUE(sink.stored.empty()) << bad;
        EXPECT_TRUE(window->isVisible()) << bad;
        EXPECT_TRUE(AnyStartsWith(TakeAsked(), "WARNING: Max NCO")) << bad;
    }
}

TEST(SmallDialogs, AboutBoxShowsTitleAndRelease) {
    test::EnsureApp();
    frmAbout about(ProgramVersion{2, 1, 7});
    EXPECT_EQ(about.windowTitle(), "About Fix Bench");
    ASSERT_NE(about.findChild<QLabel*>("lblTitle"), nullptr);
    EXPECT_EQ(about.findChild<QLabel*>("lblTitle")->text(), "Fix Bench");
    EXPECT_EQ(about.findChild<QLabel*>("lblVersion")->text(), "release 2.1.7");
}

TEST(SmallDialogs, TaskMonitorClearsItsCounterWhenShown) {
    test::EnsureApp();
    TaskMonitor monitor;
    monitor.show();
    EXPECT_EQ(monitor.windowTitle(), "Task Monitor");
    EXPECT_EQ(monitor.Counter(), 0);
}

TEST(SmallDialogs, CoordsPresetFillsTheBoxesAndHidingKeepsThem) {
    test::EnsureApp();
    Coords coords;
    coords.show();
    Click(&coords, "Command2");
    const AntennaPosition& site = Coords::PresetSite();
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(Text(&coords, QStringLiteral("Text%1").arg(i + 1)).toStdString(), site.parts[static_cast<std::size_t>(i)]);
    Type(&coords, "Text3", "5000");
    Click(&coords, "Check1");
    Click(&coords, "Command1");
    EXPECT_FALSE(coords.isVisible());
    const AntennaPosition p = coords.Position();
    EXPECT_EQ(p.parts[2], "5000");
    EXPECT_EQ(p.parts[0], site.parts[0]);
    EXPECT_TRUE(p.use);
}

}  // namespace

// Enter is the default button and Escape cancels, as in every desktop dialog.
namespace {

void FocusBox(QWidget* window, const char* name) {
    test::Activate(window);
    auto* box = window->findChild<QLineEdit*>(name);
    ASSERT_NE(box, nullptr) << name;
    box->setFocus();
    test::Pump(10);
}

TEST_F(NcoDialog, EnterConfirmsAndEscapeCancels) {
    window->DisplyNCOPar(1, 10, 90, 5, "$PQNVNCO,1,");
    FocusBox(window.get(), "Text1_2");
    ASSERT_TRUE(test::PressKey(Qt::Key_Return));
    ASSERT_EQ(sink.stored.size(), 1u) << "Enter is OK";
    EXPECT_EQ(sink.stored[0].step, 5);
    EXPECT_FALSE(window->isVisible());

    window->DisplyNCOPar(1, 10, 90, 5, "$PQNVNCO,1,");
    FocusBox(window.get(), "Text1_0");
    ASSERT_TRUE(test::PressKey(Qt::Key_Escape));
    EXPECT_EQ(sink.stored.size(), 1u) << "Escape stores nothing";
    EXPECT_FALSE(window->isVisible());
}

TEST(SmallDialogs, EscapeClosesTheAntennaPositionAndEnterTheAboutBox) {
    test::EnsureApp();
    Coords coords;
    coords.show();
    FocusBox(&coords, "Text1");
    ASSERT_TRUE(test::PressKey(Qt::Key_Escape));
    EXPECT_FALSE(coords.isVisible());

    frmAbout about(ProgramVersion{2, 1, 7});
    about.show();
    test::Activate(&about);
    ASSERT_TRUE(test::PressKey(Qt::Key_Return));
    EXPECT_FALSE(about.isVisible());
}

}  // namespace

// The antenna position from the keyboard alone: Tab walks the boxes as
// they read, left to right and top to bottom, "Preset Site" before
// "submit"; Enter in a box submits, Enter on a button presses that button;
// a hemisphere is chosen by typing its letter, a sign by typing it.
namespace {

std::string Focused() {
    QWidget* w = QApplication::focusWidget();
    return w ? w->objectName().toStdString() : std::string("(none)");
}

void TypeKeys(const QString& text) {
    for (QChar c : text) ASSERT_TRUE(test::PressKey(0, Qt::NoModifier, QString(c)));
}

TEST(SmallDialogs, AntennaPositionTabsInReadingOrderAndEnterSubmits) {
    ResetPrompts();
    Coords coords;
    std::vector<AntennaPosition> submitted;
    QObject::connect(&coords, &Coords::Submitted, [&](const AntennaPosition& p) { submitted.push_back(p); });
    coords.show();
    FocusBox(&coords, "Text1");
    std::vector<std::string> order{Focused()};
    for (int i = 0; i < 10; ++i) {
        ASSERT_TRUE(test::PressKey(Qt::Key_Tab));
        order.push_back(Focused());
    }
    EXPECT_EQ(order, (std::vector<std::string>{"Text1", "Text2", "Text3", "Hemisphere_0", "Text4", "Text5", "Text6",
                                               "Hemisphere_1", "Check1", "Command2", "Command1"}));
    ASSERT_TRUE(test::PressKey(Qt::Key_Backtab));
    EXPECT_EQ(Focused(), "Command2");

    // Enter on "Preset Site" fills the site in; the window stays.
    ASSERT_TRUE(test::PressKey(Qt::Key_Return));
    EXPECT_TRUE(coords.isVisible());
    EXPECT_TRUE(submitted.empty());
    EXPECT_EQ(Text(&coords, "Text3").toStdString(), "3150");
    EXPECT_EQ(coords.Position().hemispheres, (std::array<std::string, 2>{"N", "E"})) << "the site's hemispheres";

    // 10 deg 0.5 min S typed as a sign, 179 deg 59.997 min E with its
    // letter; the latitude still has the site's N: two hemispheres.
    FocusBox(&coords, "Text1");
    for (const char* part : {"-10", "0", "5", "", "179", "59", "997"}) {
        if (auto* box = qobject_cast<QLineEdit*>(QApplication::focusWidget())) box->selectAll();
        TypeKeys(QString::fromLatin1(part));
        ASSERT_TRUE(test::PressKey(Qt::Key_Tab));
    }
    EXPECT_EQ(Focused(), "Hemisphere_1");
    TypeKeys("W");
    EXPECT_EQ(coords.Position().hemispheres[1], "W") << "a letter typed chooses its hemisphere";
    ASSERT_TRUE(test::PressKey(Qt::Key_Up));
    EXPECT_EQ(coords.Position().hemispheres[1], "E");
    ASSERT_TRUE(test::PressKey(Qt::Key_Tab));
    ASSERT_TRUE(test::PressKey(Qt::Key_Space));  // Validate
    ASSERT_TRUE(test::PressKey(Qt::Key_Return));
    EXPECT_TRUE(coords.isVisible()) << "refused, not submitted";
    EXPECT_TRUE(submitted.empty());
    EXPECT_TRUE(AnyStartsWith(TakeAsked(), "WARNING: The antenna latitude \"-10\" \"0\" \"5\" N has both the sign"));

    // S typed on the latitude's hemisphere agrees with the sign; Enter there submits.
    FocusBox(&coords, "Text3");
    ASSERT_TRUE(test::PressKey(Qt::Key_Tab));
    EXPECT_EQ(Focused(), "Hemisphere_0");
    TypeKeys("S");
    ASSERT_TRUE(test::PressKey(Qt::Key_Return));
    EXPECT_FALSE(coords.isVisible()) << "Enter on a hemisphere submits";
    ASSERT_EQ(submitted.size(), 1u);
    const AntennaPosition& p = submitted[0];
    EXPECT_EQ(p.parts, (std::array<std::string, 6>{"-10", "0", "5", "179", "59", "997"}));
    EXPECT_EQ(p.hemispheres, (std::array<std::string, 2>{"S", "E"}));
    EXPECT_TRUE(p.use);
    EXPECT_TRUE(TakeAsked().empty());
}

}  // namespace
