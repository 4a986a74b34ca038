#include "bench/instruments/replay_window.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiSubWindow>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QVBoxLayout>

#include <algorithm>

#include "bench/devices/system_log.h"
#include "platform/qt/bench_timer.h"
#include "platform/qt/program_folder.h"

namespace bench {

namespace {

QString Local(const std::string& s) { return QString::fromLocal8Bit(s.data(), static_cast<int>(s.size())); }

QPushButton* Button(QWidget* parent, const char* name, const char* caption) {
    auto* b = new QPushButton(QString::fromLatin1(caption), parent);
    b->setObjectName(QString::fromLatin1(name));
    return b;
}

}  // namespace

template <class F>
void ReplayWindow::Handle(const char* name, F&& body) noexcept {
    try {
        body();
    } catch (...) {
        ErrorReport(name, std::current_exception());
    }
    Redraw();
}

ReplayWindow::ReplayWindow(Replay& control, QWidget* parent) : platform::BenchWindow(parent), control_(control) {
    setObjectName("Replay");
    setWindowTitle("Log Files Replay");

    // One frame at a time, the window sized for the one shown.
    auto* top = new QVBoxLayout(this);
    frame1_ = new QGroupBox(this);
    frame1_->setObjectName("Frame1");
    auto* f1 = new QHBoxLayout(frame1_);
    list_ = new QListWidget(frame1_);
    list_->setObjectName("List1");
    list_->setMinimumWidth(420);
    f1->addWidget(list_, 1);
    auto* buttons = new QVBoxLayout;
    QPushButton* add = Button(frame1_, "Command3", "Add ");
    QPushButton* remove = Button(frame1_, "Command5", "Remove");
    QPushButton* done = Button(frame1_, "Command6", "Done");
    QPushButton* cancel = Button(frame1_, "Command8", "Cancel");
    for (QPushButton* b : {add, remove, done, cancel}) buttons->addWidget(b);
    buttons->addStretch(1);
    progress_ = new QProgressBar(frame1_);
    progress_->setObjectName("ProgressBar1");
    progress_->setVisible(false);
    buttons->addWidget(progress_);
    f1->addLayout(buttons);
    top->addWidget(frame1_);

    frame2_ = new QGroupBox(this);
    frame2_->setObjectName("Frame2");
    auto* f2 = new QVBoxLayout(frame2_);
    auto* row1 = new QHBoxLayout;
    play_ = Button(frame2_, "Play", "Play");
    stop_ = Button(frame2_, "Stop", "Stop");
    back_ = Button(frame2_, "Back", "<");
    forward_ = Button(frame2_, "Forward", ">");
    for (QPushButton* b : {play_, stop_, back_, forward_}) row1->addWidget(b);
    row1->addSpacing(12);
    row1->addWidget(new QLabel("UTC", frame2_));
    text3_ = new QLineEdit(frame2_);
    text3_->setObjectName("Text3");
    text3_->setReadOnly(true);
    // It looks as it is: shown on the window's colour, never focused.
    text3_->setFocusPolicy(Qt::NoFocus);
    QPalette shown = text3_->palette();
    shown.setColor(QPalette::Base, shown.color(QPalette::Window));
    text3_->setPalette(shown);
    text3_->setMinimumWidth(text3_->fontMetrics().horizontalAdvance("00:00:00") + 16);
    text3_->setMaximumWidth(text3_->minimumWidth());
    row1->addWidget(text3_);
    row1->addStretch(1);
    QPushButton* files = Button(frame2_, "Command7", "File List");
    row1->addWidget(files);
    f2->addLayout(row1);

    auto* row2 = new QHBoxLayout;
    row2->addWidget(new QLabel("Second", frame2_));
    slider1_ = new QSlider(Qt::Horizontal, frame2_);
    slider1_->setObjectName("Slider1");
    // Dragging replays only where the slider is let go.
    slider1_->setTracking(false);
    row2->addWidget(slider1_, 1);
    f2->addLayout(row2);

    auto* row3 = new QHBoxLayout;
    row3->addWidget(new QLabel("ms per second", frame2_));
    slider2_ = new QSlider(Qt::Horizontal, frame2_);
    slider2_->setObjectName("Slider2");
    slider2_->setRange(Replay::kMinInterval, Replay::kMaxInterval);
    slider2_->setSingleStep(100);
    slider2_->setPageStep(100);
    slider2_->setTickInterval(100);
    slider2_->setTickPosition(QSlider::TicksBelow);
    row3->addWidget(slider2_, 1);
    interval_ = new QLabel(frame2_);
    interval_->setMinimumWidth(interval_->fontMetrics().horizontalAdvance("2000 ms") + 8);
    row3->addWidget(interval_);
    f2->addLayout(row3);
    top->addWidget(frame2_);

    connect(add, &QPushButton::clicked, this, [this] { Handle("Command3_Click", [&] { control_.Command3_Click(); }); });
    connect(remove, &QPushButton::clicked, this,
            [this] { Handle("Command5_Click", [&] { control_.Command5_Click(list_->currentRow()); }); });
    connect(done, &QPushButton::clicked, this, [this] { Handle("Command6_Click", [&] { control_.Command6_Click(); }); });
    connect(cancel, &QPushButton::clicked, this, [this] { Handle("Command8_Click", [&] { control_.Command8_Click(); }); });
    connect(files, &QPushButton::clicked, this, [this] { Handle("Command7_Click", [&] { control_.Command7_Click(); }); });
    connect(play_, &QPushButton::clicked, this, [this] { Handle("Play_Click", [&] { control_.Play_Click(); }); });
    connect(stop_, &QPushButton::clicked, this, [this] { Handle("Stop_Click", [&] { control_.Stop_Click(); }); });
    connect(back_, &QPushButton::clicked, this, [this] { Handle("Back_Click", [&] { control_.Back_Click(); }); });
    connect(forward_, &QPushButton::clicked, this, [this] { Handle("Forward_Click", [&] { control_.Forward_Click(); }); });
    connect(slider1_, &QSlider::valueChanged, this,
            [this](int v) { Handle("Slider1_Change", [&] { control_.Slider1_Change(v); }); });
    connect(slider2_, &QSlider::valueChanged, this,
            [this](int v) { Handle("Slider2_Change", [&] { control_.Slider2_Change(v); }); });

    control_.SetProgress(this);
    Redraw();
}

ReplayWindow::~ReplayWindow() { control_.SetProgress(nullptr); }

void ReplayWindow::Redraw() {
    const bool list = control_.FileListShown();
    if (frame1_->isHidden() == list || frame2_->isHidden() != list) {
        frame2_->setVisible(!list);
        frame1_->setVisible(list);
        // Without the other frame's room: placed anew if it now hides what
        // the bench keeps in view.
        layout()->activate();
        FitContents();
    }

    const auto& files = control_.List1();
    bool same = list_->count() == static_cast<int>(files.size());
    for (int i = 0; same && i < list_->count(); ++i) same = list_->item(i)->text() == Local(files[i]);
    if (!same) {
        const int row = list_->currentRow();
        list_->clear();
        for (const std::string& f : files) list_->addItem(Local(f));
        if (row >= 0 && list_->count() > 0) list_->setCurrentRow(std::min(row, list_->count() - 1));
    }

    const bool ready = control_.PlayerReady();
    for (QWidget* w : {static_cast<QWidget*>(play_), static_cast<QWidget*>(back_), static_cast<QWidget*>(forward_),
                       static_cast<QWidget*>(slider1_)})
        w->setEnabled(ready);
    stop_->setEnabled(control_.Playing());
    play_->setEnabled(ready && !control_.Playing());
    {
        // The range and value follow the controller without replaying anything.
        QSignalBlocker quiet(slider1_);
        slider1_->setRange(control_.Slider1Min(), control_.Slider1Max());
        slider1_->setValue(control_.Slider1Value());
    }
    {
        QSignalBlocker quiet(slider2_);
        slider2_->setValue(control_.Slider2Value());
    }
    text3_->setText(QString::fromStdString(control_.Text3()));
    interval_->setText(QString::number(control_.Slider2Value()) + " ms");
}

void ReplayWindow::closeEvent(QCloseEvent* event) {
    platform::BenchWindow::closeEvent(event);
    if (event->isAccepted()) Handle("Form_Unload", [&] { control_.WindowClosed(); });
}

std::string ReplayWindow::CloseQuestion() const {
    return control_.Playing() ? "The logs are being replayed. Closing Log Files Replay stops the replay. Close it?"
                              : std::string();
}

void ReplayWindow::SetRange(int64_t minimum, int64_t maximum) {
    // The bar counts in int: a log past 2 GiB is shown in coarser steps.
    progress_scale_ = 1;
    while (maximum / progress_scale_ > INT32_MAX / 2) progress_scale_ *= 2;
    progress_->setRange(static_cast<int>(minimum / progress_scale_), static_cast<int>(maximum / progress_scale_));
}

void ReplayWindow::SetValue(int64_t value) {
    const int v = static_cast<int>(value / progress_scale_);
    if (v == progress_->value()) return;
    progress_->setValue(v);
    progress_->repaint();
}

void ReplayWindow::SetVisible(bool visible) {
    progress_->setVisible(visible);
    if (visible) progress_->repaint();
}

// --- owner ---

ReplayOwner::ReplayOwner(QWidget* main_window, BenchHost* live_host, MakeWindow make, Replay::Report report)
    : main_window_(main_window), host_(live_host), make_(std::move(make)), report_(std::move(report)) {}

ReplayOwner::~ReplayOwner() {
    delete window_.data();
    control_.reset();  // closes the replay device windows still open
}

Replay& ReplayOwner::Control() {
    if (!control_) {
        timer_ = std::make_unique<platform::QtTimer>(1000, false);
        control_ = std::make_unique<Replay>(*this, *timer_, platform::ProgramFolder(), report_);
        control_->onChange = [this] {
            if (window_) window_->Redraw();
        };
        control_->takeFocus = [this] {
            if (!window_) return;
            window_->raise();
            window_->activateWindow();
        };
    }
    return *control_;
}

ReplayWindow& ReplayOwner::Show() {
    Replay& c = Control();
    if (!window_) window_ = new ReplayWindow(c, main_window_);
    window_->show();
    window_->raise();
    window_->activateWindow();
    return *window_;
}

DeviceOps* ReplayOwner::MakeReplayWindow() {
    ReplayWindowMade made = make_(host_);
    widgets_[made.ops] = made.widget;
    return made.ops;
}

void ReplayOwner::ShowReplayWindow(DeviceOps* window) {
    QWidget* w = WidgetOf(window);
    if (!w) return;
    w->show();
    if (auto* sub = qobject_cast<QMdiSubWindow*>(w->parentWidget())) sub->show();
}

void ReplayOwner::CloseReplayWindow(DeviceOps* window) {
    QWidget* w = WidgetOf(window);
    widgets_.erase(window);
    if (!w) return;
    // The sub-window goes with the device window inside it.
    if (auto* sub = qobject_cast<QMdiSubWindow*>(w->parentWidget()))
        delete sub;
    else
        delete w;
}

bool ReplayOwner::IsOpen(DeviceOps* window) const { return WidgetOf(window) != nullptr; }

QWidget* ReplayOwner::WidgetOf(DeviceOps* window) const {
    auto it = widgets_.find(window);
    return it == widgets_.end() ? nullptr : it->second.data();
}

}  // namespace bench
