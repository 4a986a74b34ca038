#include "bench/instruments/labsat_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStatusBar>
#include <QVBoxLayout>


namespace bench {

namespace {
QString Latin1(const std::string& s) { return QString::fromLatin1(s.data(), static_cast<int>(s.size())); }

QPushButton* Button(QWidget* parent, const char* name, const char* caption) {
    auto* b = new QPushButton(QString::fromLatin1(caption), parent);
    b->setObjectName(QString::fromLatin1(name));
    return b;
}
}  // namespace

LabSatMngWindow::LabSatMngWindow(LabSatMng& control, QWidget* parent) : platform::BenchWindow(parent), control_(control) {
    setObjectName("LabSatMng");
    setWindowTitle("LabSat Management");

    auto* top = new QVBoxLayout(this);
    remote_ = new QCheckBox("Remote Control", this);
    remote_->setObjectName("RemoteFlag");
    top->addWidget(remote_);

    frame_ = new QGroupBox("Remote", this);
    frame_->setObjectName("Frame2");
    auto* fl = new QHBoxLayout(frame_);
    auto* label = new QLabel("Comm Port", frame_);
    label->setObjectName("Label1");
    port_ = new QComboBox(frame_);
    port_->setObjectName("Combo1");
    port_->setEditable(true);
    for (int n = 1; n <= 16; ++n) port_->addItem(QString::number(n));
    open_ = Button(frame_, "Command1", "Start");
    fl->addWidget(label);
    fl->addWidget(port_);
    fl->addWidget(open_);
    top->addWidget(frame_);

    auto* tests = new QGroupBox("Test", this);
    tests->setObjectName("TestFrame");
    auto* tl = new QHBoxLayout(tests);
    QPushButton* setBin = Button(tests, "SetBinTest", "Set BIN");
    QPushButton* setStart = Button(tests, "SetStartTest", "Set Start");
    QPushButton* setAtt = Button(tests, "SetAttTest", "Set ATT");
    QPushButton* start = Button(tests, "StartTest", "Start");
    QPushButton* stop = Button(tests, "StopTest", "Stop");
    for (QPushButton* b : {setBin, setStart, setAtt, start, stop}) tl->addWidget(b);
    top->addWidget(tests);

    auto* bar = new QStatusBar(this);
    bar->setObjectName("StatusBar1");
    bar->setSizeGripEnabled(false);
    panel1_ = new QLabel(bar);
    panel1_->setObjectName("StatusBar1_1");
    panel1_->setMinimumWidth(120);
    panel1_->setTextFormat(Qt::PlainText);
    panel2_ = new QLabel(bar);
    panel2_->setObjectName("StatusBar1_2");
    panel2_->setTextFormat(Qt::PlainText);
    bar->addWidget(panel1_);
    bar->addWidget(panel2_, 1);
    top->addWidget(bar);

    connect(remote_, &QCheckBox::clicked, this, [this](bool on) { control_.SetRemoteFlag(on); });
    connect(port_, &QComboBox::currentTextChanged, this, [this](const QString& t) {
        bool ok = false;
        const int n = t.trimmed().toInt(&ok);
        if (ok && n > 0 && n <= 255) control_.SetPortNumber(static_cast<int16_t>(n));
    });
    connect(open_, &QPushButton::clicked, this, [this] { control_.Command1_Click(); });
    connect(setBin, &QPushButton::clicked, this, [this] { control_.SetBinTest_Click(); });
    connect(setStart, &QPushButton::clicked, this, [this] { control_.SetStartTest_Click(); });
    connect(setAtt, &QPushButton::clicked, this, [this] { control_.SetAttTest_Click(); });
    connect(start, &QPushButton::clicked, this, [this] { control_.StartTest_Click(); });
    connect(stop, &QPushButton::clicked, this, [this] { control_.StopTest_Click(); });

    // On load the frame follows the check box.
    Redraw();
}

void LabSatMngWindow::Redraw() {
    remote_->setChecked(control_.RemoteFlag());
    frame_->setEnabled(control_.Frame2Enabled());
    open_->setText(QString::fromLatin1(control_.Command1Caption().c_str()));
    const QString n = QString::number(control_.PortNumber());
    if (port_->currentText() != n) port_->setCurrentText(n);
    panel1_->setText(Latin1(control_.Panel(1)));
    panel2_->setText(Latin1(control_.Panel(2)));
}

LabSatOwner::LabSatOwner(QWidget* main_window, PortFactory make_port, LabSatMng::BackendFactory make_backend,
                         LabSatMng::Report report)
    : main_window_(main_window),
      make_port_(std::move(make_port)),
      make_backend_(std::move(make_backend)),
      report_(std::move(report)) {}

LabSatOwner::~LabSatOwner() {
    delete window_.data();
}

LabSatMng& LabSatOwner::Control() {
    if (!control_) {
        control_ = std::make_unique<LabSatMng>(make_port_(), make_backend_, report_);
        control_->onChange = [this] {
            if (window_) window_->Redraw();
        };
    }
    return *control_;
}

LabSatMngWindow& LabSatOwner::Show() {
    LabSatMng& c = Control();
    if (!window_) window_ = new LabSatMngWindow(c, main_window_);
    window_->show();
    window_->raise();
    return *window_;
}

}  // namespace bench
