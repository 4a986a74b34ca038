#include "bench/instruments/ext_control_window.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "bench/instruments/instrument_placement.h"
#include "platform/qt/owned_window.h"

namespace bench {

namespace {
QPushButton* Button(QWidget* parent, const char* name, const char* caption) {
    auto* b = new QPushButton(QString::fromLatin1(caption), parent);
    b->setObjectName(QString::fromLatin1(name));
    return b;
}
}  // namespace

ExtControlWindow::ExtControlWindow(ExtControl& control, QWidget* parent) : QWidget(parent), control_(control) {
    setObjectName("ExtControl");
    setWindowTitle("Extern Control");
    // Above the main window that owns it, never buried by a click there.
    platform::MakeOwnedWindow(*this);

    auto* top = new QVBoxLayout(this);
    auto* row = new QHBoxLayout;
    path_ = new QLineEdit(this);
    path_->setObjectName("Text1");
    path_->setMinimumWidth(320);
    QPushButton* connectButton = Button(this, "Command1", "Connect");
    row->addWidget(path_, 1);
    row->addWidget(connectButton);
    top->addLayout(row);

    auto* row2 = new QHBoxLayout;
    label_ = new QLabel(this);
    label_->setObjectName("Label1");
    label_->setTextFormat(Qt::PlainText);
    label_->setMinimumWidth(240);
    QPushButton* send = Button(this, "Command2", "Send");
    row2->addWidget(label_, 1);
    row2->addWidget(send);
    top->addLayout(row2);

    auto* tests = new QGroupBox("Test", this);
    tests->setObjectName("TestFrame");
    auto* grid = new QGridLayout(tests);
    QPushButton* sendTab = Button(tests, "SendTab", "Send TAB");
    QPushButton* sendCom = Button(tests, "SendCom", "Send COM");
    QPushButton* set520 = Button(tests, "Set520", "Set 520");
    QPushButton* jump = Button(tests, "JumpToCom", "Jump To Com");
    QPushButton* set510 = Button(tests, "Set510", "Set 510");
    QPushButton* startup = Button(tests, "Sartup", "sartup");
    grid->addWidget(sendTab, 0, 0);
    grid->addWidget(sendCom, 0, 1);
    grid->addWidget(set520, 0, 2);
    grid->addWidget(jump, 1, 0);
    grid->addWidget(set510, 1, 1);
    grid->addWidget(startup, 1, 2);
    top->addWidget(tests);

    connect(path_, &QLineEdit::textChanged, this,
            [this](const QString& t) { control_.SetProgramPath(t.toLocal8Bit().toStdString()); });
    connect(connectButton, &QPushButton::clicked, this, [this] { control_.Command1_Click(); });
    connect(send, &QPushButton::clicked, this, [this] { control_.Command2_Click(); });
    connect(sendTab, &QPushButton::clicked, this, [this] { control_.SendTab_Click(); });
    connect(sendCom, &QPushButton::clicked, this, [this] { control_.SendCom_Click(); });
    connect(set520, &QPushButton::clicked, this, [this] { control_.Set520_Click(); });
    connect(jump, &QPushButton::clicked, this, [this] { control_.JumpToCom_Click(); });
    connect(set510, &QPushButton::clicked, this, [this] { control_.Set510_Click(); });
    connect(startup, &QPushButton::clicked, this, [this] { control_.Sartup_Click(); });

    Redraw();
    resize(sizeHint());
}

void ExtControlWindow::closeEvent(QCloseEvent* event) {
    QWidget::closeEvent(event);
    if (event->isAccepted() && onClosed) onClosed();
}

void ExtControlWindow::Redraw() {
    const QString path = QString::fromLocal8Bit(control_.ProgramPath().c_str());
    if (path_->text() != path) path_->setText(path);
    label_->setText(QString::fromLocal8Bit(control_.Label1().c_str()));
}

ExtControlOwner::ExtControlOwner(QWidget* main_window, SinkFactory make_sink, const platform::Clock& clock,
                                 ExtControl::Starter start, ExtControl::Report report)
    : main_window_(main_window),
      make_sink_(std::move(make_sink)),
      clock_(clock),
      start_(std::move(start)),
      report_(std::move(report)) {}

ExtControlOwner::~ExtControlOwner() {
    settled = nullptr;  // its owner may be going too
    Unload();
}

ExtControl& ExtControlOwner::Control() {
    if (!control_) {
        if (!sink_) sink_ = make_sink_();
        timer_ = make_timer_ ? make_timer_() : std::make_unique<platform::QtTimer>(100, false);
        control_ = std::make_unique<ExtControl>(*sink_, *timer_, clock_, start_, report_);
        control_->onChange = [this] {
            if (window_) window_->Redraw();
        };
        control_->settled = [this] {
            if (settled) settled();
        };
    }
    return *control_;
}

ExtControlWindow& ExtControlOwner::Show() {
    ExtControl& c = Control();
    if (!window_) {
        window_ = new ExtControlWindow(c, main_window_);
        if (place) {
            window_->adjustSize();
            place(*window_);
        } else {
            PlaceOverMainWindow(window_, main_window_, 360);
        }
        // Closed by hand: unloaded as the menu entry's clearing unloads it
        // (once the close has returned), and the entry told, so that no
        // trial goes on asking a window that is gone for keys.
        window_->onClosed = [this] {
            if (closedByUser) closedByUser();
            if (window_) QTimer::singleShot(0, window_.data(), [this] { Unload(); });
        };
    }
    window_->show();
    window_->raise();
    return *window_;
}

void ExtControlOwner::Unload() {
    delete window_.data();
    const bool made = control_ != nullptr;
    control_.reset();
    timer_.reset();
    // Nothing is under way any more that its reports were about.
    if (made && settled) settled();
}

}  // namespace bench
