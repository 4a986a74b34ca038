#include "bench/instruments/sim_window.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>

#include "bench/devices/system_log.h"
#include "bench/instruments/sim_mng.h"
#include "platform/core/codepage.h"

namespace bench::sim {

namespace {
QString Q(const std::string& s) { return QString::fromStdString(s); }
}  // namespace

template <class F>
QPushButton* SimWindow::Button(const char* name, const char* caption, QWidget* parent, F&& body) {
    auto* b = new QPushButton(QString::fromLatin1(caption), parent);
    b->setObjectName(QString::fromLatin1(name));
    const std::string procedure = std::string(name) + "_Click";
    connect(b, &QPushButton::clicked, this, [this, procedure, body] {
        // Nothing a button does may escape into the event loop.
        try {
            body();
        } catch (...) {
            ErrorReport(procedure);
        }
        Redraw();
    });
    parent->layout()->addWidget(b);
    return b;
}

SimWindow::SimWindow(SimMng& sim, QWidget* parent) : platform::BenchWindow(parent), sim_(sim) {
    setObjectName("SimMng");
    setWindowTitle("Simulator Management");

    // Laid out low and wide: on a laptop screen the window fits over a
    // device window's console, clear of its satellite table.
    // --- host, in one row ---
    frame1_ = new QGroupBox("Host Config", this);
    frame1_->setObjectName("Frame1");
    auto* hostGrid = new QGridLayout(frame1_);
    hostGrid->setColumnStretch(5, 1);
    hostGrid->addWidget(new QLabel("Host Name", frame1_), 0, 0);
    host_ = new QComboBox(frame1_);
    host_->setObjectName("Combo1");
    host_->setEditable(true);
    host_->addItems({"localhost", "127.0.0.1"});
    host_->setMinimumWidth(220);
    hostGrid->addWidget(host_, 0, 1);
    hostGrid->addWidget(new QLabel("Host Port", frame1_), 0, 2);
    port_ = new QLineEdit(frame1_);
    port_->setObjectName("Text1");
    port_->setMaximumWidth(90);
    hostGrid->addWidget(port_, 0, 3, Qt::AlignLeft);
    auto* connectRow = new QWidget(frame1_);
    connectRow->setLayout(new QHBoxLayout);
    connectRow->layout()->setContentsMargins(0, 0, 0, 0);
    hostGrid->addWidget(connectRow, 0, 4, Qt::AlignLeft);
    // Enter in a box connects, to the host and port typed.
    SetDefaultButton(Button("Connect_Command", "Connect", connectRow, [this] { sim_.Connect_Command_Click(); }));
    connect(host_, &QComboBox::currentTextChanged, this, [this](const QString& t) { sim_.SetHostBox(t.toStdString()); });
    connect(port_, &QLineEdit::textEdited, this, [this](const QString& t) { sim_.SetPortBox(t.toStdString()); });

    // --- simulation ---
    auto* frame2 = new QGroupBox("Simulation", this);
    frame2->setObjectName("Frame2");
    auto* simLayout = new QVBoxLayout(frame2);
    auto* row1 = new QWidget(frame2);
    row1->setLayout(new QHBoxLayout);
    row1->layout()->setContentsMargins(0, 0, 0, 0);
    simLayout->addWidget(row1);
    Button("Start_Command", "Start", row1, [this] { sim_.Start_Command_Click(); });
    Button("Stop_Command", "Stop", row1, [this] { sim_.Stop_Command_Click(); });
    Button("Status_Command", "Status", row1, [this] { sim_.Status_Command_Click(); });
    Button("Rewind_Command", "Rewind", row1, [this] { sim_.Rewind_Command_Click(); });
    Button("Command1", "Command1", row1, [this] { sim_.Command1_Click(); });

    auto* levels = new QGridLayout;
    simLayout->addLayout(levels);
    auto box = [&](const char* name, const char* label, int row, int col) {
        levels->addWidget(new QLabel(label, frame2), row, col);
        auto* e = new QLineEdit(frame2);
        e->setObjectName(name);
        e->setMaximumWidth(90);
        levels->addWidget(e, row, col + 1);
        return e;
    };
    // Each level beside its button; the power range, the single satellite.
    level_ = box("Text7", "Power Level", 0, 0);
    auto* setRow = new QWidget(frame2);
    setRow->setLayout(new QHBoxLayout);
    setRow->layout()->setContentsMargins(0, 0, 0, 0);
    levels->addWidget(setRow, 0, 2, Qt::AlignLeft);
    Button("SetPower_Command", "Set Power", setRow, [this] { sim_.SetPower_Command_Click(level_->text().toStdString()); });
    auto_level_ = box("Text10", "Other Satellites Power Level", 0, 3);
    box("Text2", "Min", 1, 0);
    box("Text3", "Max", 1, 3);
    box("Text4", "1 Satellite Min Power Level", 2, 0);
    box("Text5", "1 Satellite Simulator Channel", 2, 3);
    box("Text6", "Turn OFF Satellite", 3, 0);
    auto* autoRow = new QWidget(frame2);
    autoRow->setLayout(new QHBoxLayout);
    autoRow->layout()->setContentsMargins(0, 0, 0, 0);
    levels->addWidget(autoRow, 0, 5, Qt::AlignLeft);
    Button("AutoSetUp_Command", "Auto Setup", autoRow,
           [this] { sim_.AutoSetUp_Command_Click(auto_level_->text().toStdString()); });

    // --- status bar: socket state, simulator status, last error ---
    auto* bar = new QStatusBar(this);
    bar->setObjectName("StatusBar1");
    bar->setSizeGripEnabled(false);
    for (int i = 0; i < 3; ++i) {
        panels_[static_cast<size_t>(i)] = new QLabel(bar);
        panels_[static_cast<size_t>(i)]->setObjectName(QString("StatusBar1_%1").arg(i + 1));
        panels_[static_cast<size_t>(i)]->setTextFormat(Qt::PlainText);
        panels_[static_cast<size_t>(i)]->setMinimumWidth(150);
        bar->addWidget(panels_[static_cast<size_t>(i)], i == 2 ? 2 : 1);
    }

    auto* top = new QVBoxLayout(this);
    top->setContentsMargins(6, 6, 6, 2);
    top->setSpacing(4);
    top->addWidget(frame1_);
    top->addWidget(frame2);
    top->addStretch(1);
    top->addWidget(bar);

    // Loading shows what the configuration stored.
    host_->setCurrentText(Q(sim_.HostBox()));
    port_->setText(Q(sim_.PortBox()));
    redraw_ = new QTimer(this);
    redraw_->setSingleShot(true);
    redraw_->setTimerType(Qt::PreciseTimer);
    connect(redraw_, &QTimer::timeout, this, [this] { Redraw(); });
    sim_.changed = [this] { RedrawSoon(); };
    Redraw();
}

SimWindow::~SimWindow() { sim_.changed = nullptr; }

void SimWindow::RedrawSoon() {
    if (redraw_->isActive()) return;
    const qint64 since = redrawn_.elapsed();
    redraw_->start(since >= kRedrawGapMs ? 0 : static_cast<int>(kRedrawGapMs - since));
}

void SimWindow::Redraw() {
    redraw_->stop();
    redrawn_.start();
    frame1_->setTitle(sim_.SimName().empty() ? QStringLiteral("Host Config") : Q(sim_.SimName()));
    if (host_->currentText() != Q(sim_.HostBox())) host_->setCurrentText(Q(sim_.HostBox()));
    if (port_->text() != Q(sim_.PortBox())) port_->setText(Q(sim_.PortBox()));
    for (int i = 0; i < 3; ++i) panels_[static_cast<size_t>(i)]->setText(Q(platform::Cp1252ToUtf8(sim_.Panel(i + 1))));
}

}  // namespace bench::sim
