// The widgets of the configuration dialog and their arrangement.
#include "bench/session/config_dialog.h"

#include <QCheckBox>
#include <QTabBar>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QStackedWidget>
#include <QTabWidget>
#include <QVBoxLayout>

namespace bench {
namespace {

// The editor's panels stand in a row starting 1680 twips from the left and
// 100 twips from the top (15 twips a pixel).
constexpr int PanelRowLeft = 1680 / 15;
constexpr int PanelRowTop = 100 / 15;

QString Indexed(const char* name, int index) { return QStringLiteral("%1_%2").arg(QLatin1String(name)).arg(index); }

QLineEdit* Box(QWidget* parent, const QString& name, int width) {
    auto* box = new QLineEdit(parent);
    box->setObjectName(name);
    box->setMinimumWidth(width);
    return box;
}

QPushButton* Button(QWidget* parent, const QString& name, const QString& caption) {
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(name);
    // Enter presses the button that has the focus, as a click does.
    b->setAutoDefault(true);
    return b;
}

QFrame* Panel(QWidget* parent, const QString& name) {
    auto* f = new QFrame(parent);
    f->setObjectName(name);
    f->setFrameShape(QFrame::StyledPanel);
    return f;
}

const char* const PortBauds[] = {"2400", "4800", "9600", "19200", "38400", "57600", "115200"};

}  // namespace

void TestingConfig::BuildWidgets() {
    setObjectName(QStringLiteral("TestingConfig"));
    setWindowTitle(QStringLiteral("Testing Configuration Panel"));
    setModal(false);
    tabs_ = new QTabWidget(this);
    tabs_->setObjectName(QStringLiteral("TabStrip"));
    // Alt+D, Alt+T and Alt+G open a page.
    tabs_->addTab(BuildDevicePage(), QStringLiteral("&Device"));
    tabs_->addTab(BuildTestingPage(), QStringLiteral("&Testing"));
    tabs_->addTab(BuildGeneralPage(), QStringLiteral("&General"));
    // Ctrl+Tab and Ctrl+PageDown go to the next page, with Shift or
    // PageUp back, from every control: taken before a list can read
    // PageDown as its own (and change a port unseen).
    const std::pair<QKeySequence, int> pageKeys[] = {
        {QKeySequence(Qt::CTRL | Qt::Key_Tab), 1},
        {QKeySequence(Qt::CTRL | Qt::Key_PageDown), 1},
        {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab), -1},
        {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Tab), -1},
        {QKeySequence(Qt::CTRL | Qt::Key_PageUp), -1}};
    for (const auto& [key, step] : pageKeys) {
        auto* shortcut = new QShortcut(key, this);
        connect(shortcut, &QShortcut::activated, this, [this, step] {
            const int n = tabs_->count();
            tabs_->setCurrentIndex((tabs_->currentIndex() + step + n) % n);
        });
    }

    auto* ok = Button(this, QStringLiteral("Save_Command"), QStringLiteral("OK"));
    auto* save = Button(this, QStringLiteral("SaveOnly_Command"), QStringLiteral("Save"));
    auto* cancel = Button(this, QStringLiteral("Cancel_Command"), QStringLiteral("Cancel"));
    for (QPushButton* b : {ok, save, cancel}) b->setMinimumWidth(90);
    // Enter is OK where no button has the focus; Escape is Cancel (reject).
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &TestingConfig::Save_Command_Click);
    connect(save, &QPushButton::clicked, this, &TestingConfig::SaveOnly_Command_Click);
    connect(cancel, &QPushButton::clicked, this, &TestingConfig::Cancel_Command_Click);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(save);
    buttons->addWidget(cancel);

    auto* top = new QVBoxLayout(this);
    top->setContentsMargins(12, 12, 12, 12);
    top->setSpacing(10);
    top->addWidget(tabs_);
    top->addLayout(buttons);
    SetReadingOrder();
}

// Tab goes through each page as it is read: top to bottom, left to right,
// a device panel after the other; on the Testing page the editor's fields
// come before the list's buttons that take them, and the list last.
void TestingConfig::SetReadingOrder() {
    std::vector<QWidget*> order{tabs_->tabBar()};
    for (DeviceControls& c : dev_) {
        for (QWidget* w : std::initializer_list<QWidget*>{
                 c.devEN, c.dName, c.lPath, c.nmeaP, c.nmeaB, c.debugEN, c.debugP, c.debugB, c.coldC, c.warmC, c.hotC,
                 c.restartC, c.badPosC, c.startupS, c.startupD, c.aStart, c.rLog, c.gLog, c.pLog, c.hwRes, c.badNCO})
            order.push_back(w);
    }
    auto named = [this](const char* name) { return findChild<QWidget*>(QLatin1String(name)); };
    order.push_back(testType_);
    for (QRadioButton* r : scenario_) order.push_back(r);
    for (int i : {0, 1, 2}) order.push_back(testField_[static_cast<std::size_t>(i)]);
    for (QRadioButton* r : testOption_) order.push_back(r);
    for (int i : {3, 4}) order.push_back(testField_[static_cast<std::size_t>(i)]);
    order.push_back(scriptFile_);
    order.push_back(named("ScriptCommand"));
    order.push_back(almanacsFile_);
    order.push_back(named("AlmCommand"));
    // The simulator panel: its signal column, then the first and the single
    // satellite's columns, then the files.
    for (int i : {0, 1, 2, 3, 4, 5}) order.push_back(simData_[static_cast<std::size_t>(i)]);
    order.push_back(simOption_[1]);
    for (int i : {6, 7}) order.push_back(simData_[static_cast<std::size_t>(i)]);
    order.push_back(simOption_[0]);
    order.push_back(simOption_[2]);
    for (int i : {8, 9, 10, 11}) order.push_back(simData_[static_cast<std::size_t>(i)]);
    order.push_back(named("ScenarioCommand"));
    order.push_back(simData_[12]);
    order.push_back(named("SimAlmCommand"));
    order.push_back(simData_[13]);
    order.push_back(named("LabSatBin"));
    for (int i : {0, 1, 2, 3, 5}) order.push_back(labSatData_[static_cast<std::size_t>(i)]);
    order.push_back(named("LabSatAlmCommand"));
    order.push_back(labSatData_[4]);
    for (const char* name : {"Add", "Insert", "Replace", "Remove", "Clear"}) order.push_back(named(name));
    order.push_back(testList_);
    order.push_back(simulatorType_);
    order.push_back(simHostName_);
    order.push_back(simHostPort_);
    for (const char* name : {"Save_Command", "SaveOnly_Command", "Cancel_Command"}) order.push_back(named(name));
    for (std::size_t i = 1; i < order.size(); ++i)
        if (order[i - 1] && order[i]) QWidget::setTabOrder(order[i - 1], order[i]);
}

QWidget* TestingConfig::BuildDevicePage() {
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("DevicePage"));
    auto* grid = new QGridLayout(page);
    grid->setSpacing(10);
    for (int d = 0; d < DeviceSlots; ++d) grid->addWidget(BuildDevicePanel(d), d / 2, d % 2);
    return page;
}

QFrame* TestingConfig::BuildDevicePanel(int d) {
    DeviceControls& c = dev_[static_cast<std::size_t>(d)];
    auto* outer = Panel(nullptr, Indexed("Device", d));
    c.devEN = new QCheckBox(QStringLiteral("Device %1 enabled").arg(d + 1), outer);
    c.devEN->setObjectName(Indexed("DevEN", d));
    connect(c.devEN, &QCheckBox::toggled, this, [this, d] { DevENToggled(d); });

    auto* stack = new QStackedWidget(outer);
    c.title = new QFrame;
    c.title->setObjectName(Indexed("DevTitle", d));
    c.caption = new QLabel(QStringLiteral("DEVICE %1").arg(d + 1), c.title);
    c.caption->setObjectName(Indexed("DevCaption", d));
    QFont big = c.caption->font();
    big.setPointSizeF(big.pointSizeF() * 2.4);
    big.setBold(true);
    c.caption->setFont(big);
    c.caption->setAlignment(Qt::AlignCenter);
    c.caption->setToolTip(QStringLiteral("Double-click to enable this device"));
    auto* titleLayout = new QVBoxLayout(c.title);
    titleLayout->addWidget(c.caption);
    c.title->installEventFilter(this);
    c.caption->installEventFilter(this);

    c.panel = new QFrame;
    c.panel->setObjectName(Indexed("DevPanel", d));
    QWidget* p = c.panel;
    c.dName = Box(p, Indexed("DName", d), 120);
    c.lPath = Box(p, Indexed("LPath", d), 150);
    c.coldC = Box(p, Indexed("ColdC", d), 120);
    c.warmC = Box(p, Indexed("WarmC", d), 120);
    c.hotC = Box(p, Indexed("HotC", d), 120);
    c.restartC = Box(p, Indexed("RestartC", d), 120);
    c.badPosC = Box(p, Indexed("BadPosC", d), 300);
    c.startupS = Box(p, Indexed("StartupS", d), 120);
    c.startupD = Box(p, Indexed("StartupD", d), 60);
    auto combo = [p](const QString& name) {
        auto* box = new QComboBox(p);
        box->setObjectName(name);
        return box;
    };
    c.nmeaP = combo(Indexed("NmeaP", d));
    c.debugP = combo(Indexed("DebugP", d));
    c.nmeaB = combo(Indexed("NmeaB", d));
    c.debugB = combo(Indexed("DebugB", d));
    for (int port = 1; port <= 20; ++port) {
        c.nmeaP->addItem(QString::number(port));
        c.debugP->addItem(QString::number(port));
    }
    for (const char* baud : PortBauds) {
        c.nmeaB->addItem(QLatin1String(baud));
        c.debugB->addItem(QLatin1String(baud));
    }
    auto check = [p](const QString& name, const char* caption) {
        auto* box = new QCheckBox(QLatin1String(caption), p);
        box->setObjectName(name);
        return box;
    };
    c.aStart = check(Indexed("AStart", d), "Auto Start");
    c.debugEN = check(Indexed("DebugEN", d), "DEBUG Enabled");
    connect(c.debugEN, &QCheckBox::toggled, this, [this, d](bool on) {
        if (on) GiveOwnDebugPort(d);
    });
    c.rLog = check(Indexed("RLog", d), "Results Logging");
    c.gLog = check(Indexed("GLog", d), "Global Logging");
    c.pLog = check(Indexed("PLog", d), "Partial Logging");
    c.hwRes = check(Indexed("HWRes", d), "HW Reset");
    c.badNCO = Button(p, Indexed("BadNCO", d), QStringLiteral("NCO Range"));
    connect(c.badNCO, &QPushButton::clicked, this, [this, d] {
        const DeviceConfig& dc = config_.Devices[static_cast<std::size_t>(d)];
        NcoSettingsWindow().DisplyNCOPar(static_cast<int16_t>(d), dc.NcoStart, dc.NcoMax, dc.NcoStep, dc.BadNcoC);
    });

    auto* g = new QGridLayout(p);
    g->setContentsMargins(4, 4, 4, 4);
    g->setHorizontalSpacing(8);
    g->setVerticalSpacing(5);
    auto label = [p](const char* text) { return new QLabel(QLatin1String(text), p); };
    g->addWidget(label("Name"), 0, 0);
    g->addWidget(c.dName, 0, 1);
    g->addWidget(label("Results Folder"), 0, 2);
    g->addWidget(c.lPath, 0, 3);
    g->addWidget(label("NMEA Port"), 1, 0);
    auto* nmea = new QHBoxLayout;
    nmea->setSpacing(6);
    nmea->addWidget(c.nmeaP);
    nmea->addWidget(c.nmeaB);
    nmea->addStretch();
    g->addLayout(nmea, 1, 1);
    g->addWidget(c.debugEN, 1, 2);
    auto* debug = new QHBoxLayout;
    debug->setSpacing(6);
    debug->addWidget(c.debugP);
    debug->addWidget(c.debugB);
    debug->addStretch();
    g->addLayout(debug, 1, 3);
    g->addWidget(label("COLD Command"), 2, 0);
    g->addWidget(c.coldC, 2, 1);
    g->addWidget(label("WARM  Command"), 2, 2);
    g->addWidget(c.warmC, 2, 3);
    g->addWidget(label("HOT Command"), 3, 0);
    g->addWidget(c.hotC, 3, 1);
    g->addWidget(label("RESTART"), 3, 2);
    g->addWidget(c.restartC, 3, 3);
    g->addWidget(label("BAD POSITION"), 4, 0);
    g->addWidget(c.badPosC, 4, 1, 1, 3);
    g->addWidget(label("STARTUP String"), 5, 0);
    g->addWidget(c.startupS, 5, 1);
    g->addWidget(label("Startup Delay (s)"), 5, 2);
    g->addWidget(c.startupD, 5, 3);
    auto* checks = new QGridLayout;
    checks->addWidget(c.aStart, 0, 0);
    checks->addWidget(c.rLog, 0, 1);
    checks->addWidget(c.gLog, 0, 2);
    checks->addWidget(c.pLog, 1, 0);
    checks->addWidget(c.hwRes, 1, 1);
    checks->addWidget(c.badNCO, 1, 2);
    g->addLayout(checks, 6, 0, 1, 4);

    stack->addWidget(c.title);
    stack->addWidget(c.panel);
    auto* v = new QVBoxLayout(outer);
    v->setContentsMargins(8, 6, 8, 8);
    v->addWidget(c.devEN);
    v->addWidget(stack, 1);
    return outer;
}

QWidget* TestingConfig::BuildTestingPage() {
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("TestingPage"));

    testType_ = new QComboBox(page);
    testType_->setObjectName(QStringLiteral("TestType"));
    for (std::string_view k : TestTypeKeywords) testType_->addItem(QString::fromLatin1(k.data(), static_cast<int>(k.size())));
    connect(testType_, &QComboBox::currentIndexChanged, this, [this] { LayoutEditor(); });
    static const char* const scenarioNames[3] = {"Roof Antenna", "Simulator", "LabSat"};
    auto* head = new QHBoxLayout;
    head->addWidget(new QLabel(QStringLiteral("Test Type"), page));
    head->addWidget(testType_);
    head->addSpacing(24);
    head->addWidget(new QLabel(QStringLiteral("Scenario"), page));
    auto* scenarioGroup = new QWidget(page);
    auto* scenarioLayout = new QHBoxLayout(scenarioGroup);
    scenarioLayout->setContentsMargins(0, 0, 0, 0);
    for (int i = 0; i < 3; ++i) {
        auto* r = new QRadioButton(QLatin1String(scenarioNames[i]), scenarioGroup);
        r->setObjectName(Indexed("Scenario", i));
        connect(r, &QRadioButton::toggled, this, [this](bool on) { if (on) LayoutEditor(); });
        scenarioLayout->addWidget(r);
        scenario_[static_cast<std::size_t>(i)] = r;
    }
    head->addWidget(scenarioGroup);
    head->addStretch();

    // The row of editor panels; the list's buttons use the room on its left.
    panelRow_ = new QWidget(page);
    panelRow_->setObjectName(QStringLiteral("PanelRow"));
    auto* buttonColumn = new QWidget(panelRow_);
    auto* bl = new QVBoxLayout(buttonColumn);
    bl->setContentsMargins(0, PanelRowTop, 0, 0);
    bl->setSpacing(6);
    const std::pair<const char*, void (TestingConfig::*)()> listButtons[] = {
        {"Add", &TestingConfig::Add_Click},         {"Insert", &TestingConfig::Insert_Click},
        {"Replace", &TestingConfig::Replace_Click}, {"Remove", &TestingConfig::Remove_Click},
        {"Clear", &TestingConfig::Clear_Click}};
    for (const auto& [name, slot] : listButtons) {
        auto* b = Button(buttonColumn, QLatin1String(name), QLatin1String(name));
        b->setFixedWidth(PanelRowLeft - 16);
        connect(b, &QPushButton::clicked, this, slot);
        bl->addWidget(b);
    }
    bl->addStretch();
    buttonColumn->setGeometry(0, 0, PanelRowLeft - 8, 220);

    // Acquisition.
    acquisitionPanel_ = Panel(panelRow_, QStringLiteral("AcquisitionPanel"));
    {
        auto* g = new QGridLayout(acquisitionPanel_);
        static const char* const defaults[AcquisitionFields] = {"50", "15", "45", "6", "10"};
        for (int i = 0; i < AcquisitionFields; ++i) {
            testField_[static_cast<std::size_t>(i)] = Box(acquisitionPanel_, Indexed("TestField", i), 60);
            testField_[static_cast<std::size_t>(i)]->setText(QLatin1String(defaults[i]));
        }
        minDelayLabel_ = new QLabel(QStringLiteral("Min Delay [s]"), acquisitionPanel_);
        maxDelayLabel_ = new QLabel(QStringLiteral("Max Delay [s]"), acquisitionPanel_);
        satsLabel_ = new QLabel(QStringLiteral("Sats"), acquisitionPanel_);
        timeLabel_ = new QLabel(QStringLiteral("Time"), acquisitionPanel_);
        g->addWidget(new QLabel(QStringLiteral("Number"), acquisitionPanel_), 0, 0);
        g->addWidget(testField_[0], 0, 1);
        g->addWidget(minDelayLabel_, 1, 0);
        g->addWidget(testField_[1], 1, 1);
        g->addWidget(maxDelayLabel_, 2, 0);
        g->addWidget(testField_[2], 2, 1);
        for (int i = 0; i < 2; ++i) {
            auto* r = new QRadioButton(i == 0 ? QStringLiteral("TTFF") : QStringLiteral("TTTRK"), acquisitionPanel_);
            r->setObjectName(Indexed("TestOption", i));
            connect(r, &QRadioButton::toggled, this, [this] { LayoutEditor(); });
            testOption_[static_cast<std::size_t>(i)] = r;
        }
        auto* options = new QHBoxLayout;
        options->addWidget(testOption_[0]);
        options->addWidget(testOption_[1]);
        g->addLayout(options, 3, 0, 1, 2);
        g->addWidget(satsLabel_, 4, 0);
        g->addWidget(testField_[3], 4, 1);
        g->addWidget(timeLabel_, 5, 0);
        g->addWidget(testField_[4], 5, 1);
    }
    // Script.
    scriptPanel_ = Panel(panelRow_, QStringLiteral("ScriptPanel"));
    {
        auto* g = new QGridLayout(scriptPanel_);
        scriptFile_ = Box(scriptPanel_, QStringLiteral("ScriptFile"), 200);
        auto* pick = Button(scriptPanel_, QStringLiteral("ScriptCommand"), QStringLiteral("File"));
        connect(pick, &QPushButton::clicked, this, [this] { PickInto(scriptFile_, QStringLiteral("Script File (*.txt)|*.txt")); });
        g->addWidget(new QLabel(QStringLiteral("Script File"), scriptPanel_), 0, 0, 1, 2);
        g->addWidget(scriptFile_, 1, 0);
        g->addWidget(pick, 1, 1);
        g->setRowStretch(2, 1);
    }
    // Roof antenna.
    scenarioPanel_[0] = Panel(panelRow_, QStringLiteral("RoofPanel"));
    {
        auto* g = new QGridLayout(scenarioPanel_[0]);
        almanacsFile_ = Box(scenarioPanel_[0], QStringLiteral("AlmanacsFile"), 220);
        connect(almanacsFile_, &QLineEdit::textChanged, almanacsFile_, &QLineEdit::setToolTip);
        auto* pick = Button(scenarioPanel_[0], QStringLiteral("AlmCommand"), QStringLiteral("File"));
        connect(pick, &QPushButton::clicked, this, [this] { PickInto(almanacsFile_, QStringLiteral("Script File (*.txt)|*.txt")); });
        g->addWidget(new QLabel(QStringLiteral("Almanac File"), scenarioPanel_[0]), 0, 0, 1, 2);
        g->addWidget(almanacsFile_, 1, 0);
        g->addWidget(pick, 1, 1);
        g->setRowStretch(2, 1);
    }
    // Simulator.
    scenarioPanel_[1] = Panel(panelRow_, QStringLiteral("SimulatorPanel"));
    {
        QFrame* sp = scenarioPanel_[1];
        auto* g = new QGridLayout(sp);
        g->setHorizontalSpacing(8);
        static const char* const labels[12] = {"Setup Time", "Power", "Start Power", "End Power", "Step", "OFF Time",
                                               "Channel", "Power", "Single Sat Channel", "Start Power", "End Power", "Step"};
        for (int i = 0; i < SimDataFields; ++i)
            simData_[static_cast<std::size_t>(i)] = Box(sp, Indexed("SimData", i), i < 12 ? 60 : 200);
        simData_[0]->setText(QStringLiteral("90"));
        // Three groups: signal, sweep and first satellite, single satellite.
        static const int place[12][2] = {{0, 0}, {1, 0}, {2, 0}, {3, 0}, {4, 0}, {5, 0},
                                         {1, 2}, {2, 2}, {1, 4}, {2, 4}, {3, 4}, {4, 4}};
        for (int i = 0; i < 12; ++i) {
            g->addWidget(new QLabel(QLatin1String(labels[i]), sp), place[i][0], place[i][1]);
            g->addWidget(simData_[static_cast<std::size_t>(i)], place[i][0], place[i][1] + 1);
        }
        static const char* const options[3] = {"Rewind", "FirstSatEn", "Single Sat En"};
        static const int optionPlace[3][2] = {{5, 2}, {0, 2}, {0, 4}};
        for (int i = 0; i < SimOptionFields; ++i) {
            auto* box = new QCheckBox(QLatin1String(options[i]), sp);
            box->setObjectName(Indexed("SimOption", i));
            simOption_[static_cast<std::size_t>(i)] = box;
            g->addWidget(box, optionPlace[i][0], optionPlace[i][1], 1, 2);
        }
        auto* scn = Button(sp, QStringLiteral("ScenarioCommand"), QStringLiteral("Scenario"));
        connect(scn, &QPushButton::clicked, this, [this] { PickInto(simData_[12], QStringLiteral("Script File (*.scn)|*.scn")); });
        auto* alm = Button(sp, QStringLiteral("SimAlmCommand"), QStringLiteral("Almanacs"));
        connect(alm, &QPushButton::clicked, this, [this] { PickInto(simData_[13], QStringLiteral("Script File (*.txt)|*.txt")); });
        g->addWidget(scn, 6, 0);
        g->addWidget(simData_[12], 6, 1, 1, 5);
        g->addWidget(alm, 7, 0);
        g->addWidget(simData_[13], 7, 1, 1, 5);
    }
    // LabSat.
    scenarioPanel_[2] = Panel(panelRow_, QStringLiteral("LabSatPanel"));
    {
        QFrame* lp = scenarioPanel_[2];
        auto* g = new QGridLayout(lp);
        for (int i = 0; i < LabSatDataFields; ++i) {
            auto* box = Box(lp, Indexed("LabSatData", i), i == 0 || i == 4 ? 200 : 70);
            connect(box, &QLineEdit::textChanged, box, &QLineEdit::setToolTip);
            labSatData_[static_cast<std::size_t>(i)] = box;
        }
        connect(labSatData_[0], &QLineEdit::textChanged, this, [this] { LabSatData0Changed(); });
        auto* bin = Button(lp, QStringLiteral("LabSatBin"), QStringLiteral("Bin File"));
        connect(bin, &QPushButton::clicked, this, [this] { PickInto(labSatData_[0], QStringLiteral("Script File (*.bin)|*.bin")); });
        auto* alm = Button(lp, QStringLiteral("LabSatAlmCommand"), QStringLiteral("Almanacs"));
        connect(alm, &QPushButton::clicked, this, [this] { PickInto(labSatData_[4], QStringLiteral("Script File (*.txt)|*.txt")); });
        g->addWidget(bin, 0, 0);
        g->addWidget(labSatData_[0], 0, 1, 1, 3);
        g->addWidget(new QLabel(QStringLiteral("Start Time (s)"), lp), 1, 0);
        g->addWidget(labSatData_[1], 1, 1);
        g->addWidget(new QLabel(QStringLiteral("Duration (s)"), lp), 1, 2);
        g->addWidget(labSatData_[2], 1, 3);
        g->addWidget(new QLabel(QStringLiteral("Iterations"), lp), 2, 0);
        g->addWidget(labSatData_[3], 2, 1);
        g->addWidget(new QLabel(QStringLiteral("Attenuation"), lp), 2, 2);
        g->addWidget(labSatData_[5], 2, 3);
        g->addWidget(alm, 3, 0);
        g->addWidget(labSatData_[4], 3, 1, 1, 3);
        g->setRowStretch(4, 1);
    }
    // Each panel keeps the size it needs with every control shown.
    int rowHeight = 0;
    for (QFrame* f : {acquisitionPanel_, scriptPanel_, scenarioPanel_[0], scenarioPanel_[1], scenarioPanel_[2]}) {
        f->setFixedSize(f->sizeHint());
        rowHeight = std::max(rowHeight, f->height());
    }
    panelRow_->setFixedHeight(std::max(rowHeight, 220) + PanelRowTop + 4);

    testList_ = new QListWidget(page);
    testList_->setObjectName(QStringLiteral("TestList"));
    testList_->setMinimumHeight(160);
    connect(testList_, &QListWidget::itemClicked, this, [this] { TestList_Click(); });
    connect(testList_, &QListWidget::currentItemChanged, this, [this] { TestList_Click(); });

    auto* v = new QVBoxLayout(page);
    v->setSpacing(8);
    v->addLayout(head);
    v->addWidget(panelRow_);
    v->addWidget(new QLabel(QStringLiteral("Test list"), page));
    v->addWidget(testList_, 1);
    return page;
}

QWidget* TestingConfig::BuildGeneralPage() {
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("GeneralPage"));
    simulatorType_ = new QComboBox(page);
    simulatorType_->setObjectName(QStringLiteral("SimulatorType"));
    for (std::string_view t : SimulatorTypes) simulatorType_->addItem(QString::fromLatin1(t.data(), static_cast<int>(t.size())));
    simHostName_ = Box(page, QStringLiteral("SimHostName"), 220);
    simHostPort_ = Box(page, QStringLiteral("SimHostPort"), 80);
    auto* g = new QGridLayout;
    g->setHorizontalSpacing(10);
    g->addWidget(new QLabel(QStringLiteral("Simulator Type"), page), 0, 0);
    g->addWidget(simulatorType_, 0, 1, Qt::AlignLeft);
    g->addWidget(new QLabel(QStringLiteral("Host Name"), page), 1, 0);
    g->addWidget(simHostName_, 1, 1, Qt::AlignLeft);
    g->addWidget(new QLabel(QStringLiteral("Port"), page), 2, 0);
    g->addWidget(simHostPort_, 2, 1, Qt::AlignLeft);
    g->setColumnStretch(2, 1);
    auto* v = new QVBoxLayout(page);
    v->addLayout(g);
    v->addStretch();
    return page;
}

// The controls' initial values, as a fresh dialog shows them. Each slot
// starts with a name and port of its own ("Device2" on port 2, ...): two
// slots with one name would write into the same files.
void TestingConfig::ApplyControlDefaults() {
    const DeviceConfig def;
    filling_ = true;
    for (int d = 0; d < DeviceSlots; ++d) {
        DeviceControls& c = dev_[static_cast<std::size_t>(d)];
        c.devEN->setChecked(false);
        c.dName->setText(QStringLiteral("Device%1").arg(d + 1));
        c.lPath->setText(QString::fromLatin1(def.LPath.c_str()));
        c.coldC->setText(QString::fromLatin1(def.ColdC.c_str()));
        c.warmC->setText(QString::fromLatin1(def.WarmC.c_str()));
        c.hotC->setText(QString::fromLatin1(def.HotC.c_str()));
        c.badPosC->setText(QString::fromLatin1(def.BadPosC.c_str()));
        c.restartC->setText(QString::fromLatin1(def.RestartC.c_str()));
        c.startupS->setText(QString());
        c.startupD->setText(QStringLiteral("0"));
        c.nmeaP->setCurrentText(QString::number(d + 1));
        c.nmeaB->setCurrentText(QString::number(def.NmeaB));
        c.debugP->setCurrentText(QString::number(def.DebugP));
        c.debugB->setCurrentText(QString::number(def.DebugB));
        for (QCheckBox* b : {c.aStart, c.debugEN, c.rLog, c.gLog, c.pLog, c.hwRes}) b->setChecked(false);
        DevENToggled(d);
    }
    filling_ = false;
    simulatorType_->setCurrentIndex(0);
    simHostName_->clear();
    simHostPort_->clear();
    testList_->clear();
    ShowEditorValues(TestEditorValues{});
    tabs_->setCurrentIndex(0);
}

void TestingConfig::DevENToggled(int d) {
    DeviceControls& c = dev_[static_cast<std::size_t>(d)];
    const bool on = c.devEN->isChecked();
    c.panel->setEnabled(on);
    if (on && !filling_) GiveOwnNameAndPort(d);
    auto* stack = qobject_cast<QStackedWidget*>(c.panel->parentWidget());
    if (stack) stack->setCurrentWidget(on ? static_cast<QWidget*>(c.panel) : c.title);
}

void TestingConfig::LayoutEditor() {
    const std::string type = testType_->currentText().toStdString();
    const bool acquisition = HasAcquisitionSection(type);
    const bool sync = IsSyncTestType(type);
    minDelayLabel_->setText(sync ? QStringLiteral("Second") : QStringLiteral("Min Delay [s]"));
    maxDelayLabel_->setText(sync ? QStringLiteral("Increment [s]") : QStringLiteral("Max Delay [s]"));
    const bool tttrk = testOption_[1]->isChecked();
    for (QWidget* w : {static_cast<QWidget*>(satsLabel_), static_cast<QWidget*>(timeLabel_),
                       static_cast<QWidget*>(testField_[3]), static_cast<QWidget*>(testField_[4])})
        w->setVisible(tttrk);
    std::vector<QFrame*> shown;
    acquisitionPanel_->setVisible(acquisition);
    if (acquisition) shown.push_back(acquisitionPanel_);
    scriptPanel_->setVisible(type == "SCRIPT");
    if (type == "SCRIPT") shown.push_back(scriptPanel_);
    for (std::size_t i = 0; i < 3; ++i) {
        const bool on = scenario_[i]->isChecked();
        scenarioPanel_[i]->setVisible(on);
        if (on) shown.push_back(scenarioPanel_[i]);
    }
    int x = PanelRowLeft;
    for (QFrame* f : shown) {
        f->move(x, PanelRowTop);
        x += f->width();
    }
    panelRow_->setMinimumWidth(x + 4);
}

}  // namespace bench
