#include "bench/devices/comm_window.h"

#include "bench/devices/bench_host.h"
#include "bench/devices/console.h"
#include "bench/devices/pos_chart.h"
#include "bench/devices/sat_db.h"
#include "bench/devices/statistics.h"
#include "bench/devices/sat_table_widget.h"
#include "bench/devices/system_log.h"
#include "platform/comm/serial_port.h"
#include "platform/core/numtext.h"
#include "platform/qt/bench_timer.h"

#include <algorithm>

#include <QCheckBox>
#include <QCloseEvent>
#include <QResizeEvent>
#include <QComboBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScreen>
#include <QScrollBar>
#include <QStatusBar>
#include <QTextCursor>
#include <QVBoxLayout>

namespace bench {

namespace {

QString Latin1(std::string_view s) { return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size())); }

// The device's name and the window's kind, each once: a window named after
// its kind (the menu's "NMEA WINDOW") is captioned with its name alone.
std::string KindCaption(const std::string& name, const std::string& kind) {
    if (name == kind || (name.size() > kind.size() && name.ends_with(" " + kind))) return name;
    return name + " " + kind;
}

// Received text as it is shown: CR dropped, bytes as Latin-1.
QString ShownText(std::string_view s) {
    std::string t;
    t.reserve(s.size());
    for (char c : s)
        if (c != '\r') t.push_back(c);
    return Latin1(t);
}

// A label of the window as device code sees it.
class LabelView : public ControlView {
public:
    QLabel* label = nullptr;

protected:
    void Changed(Property p) override {
        if (!label) return;
        if (p == Property::Text)
            label->setText(Latin1(Text()));
        else if (p == Property::Visible)
            label->setVisible(Visible());
    }
};

// The console's label. Its room is set by the window (its minimum size; its
// size policy ignores hints), so its hints are that room: a hint from the
// text would lay out the whole text again each time it changes, on top of
// the layout that draws it.
class ConsoleLabel : public QLabel {
public:
    using QLabel::QLabel;
    QSize sizeHint() const override { return minimumSize(); }
    QSize minimumSizeHint() const override { return minimumSize(); }
};

// The console label: redrawn only when its text really changed.
class ConsoleView : public ControlView {
public:
    QLabel* label = nullptr;

protected:
    void Changed(Property p) override {
        if (!label) return;
        if (p == Property::Visible) label->setVisible(Visible());
        if (p != Property::Text || Text() == shown_) return;
        shown_ = Text();
        label->setText(ShownText(shown_));
    }

private:
    std::string shown_;
};

class ScrollView : public ScrollBarView {
public:
    QScrollBar* bar = nullptr;

protected:
    void Changed() override {
        if (!bar) return;
        QSignalBlocker quiet(bar);
        bar->setRange(Min(), Max());
        bar->setValue(Value());
    }
};

class StatusView : public StatusBarView {
public:
    std::array<QLabel*, 4>* panels = nullptr;

protected:
    void Changed(int panel) override {
        if (panels && panel >= 1 && panel <= 4) (*panels)[static_cast<size_t>(panel - 1)]->setText(Latin1(PanelText(panel)));
    }
};

// The message box keeps its last lines only, in the widget and in the view.
class OutputView : public OutputBoxView {
public:
    QPlainTextEdit* box = nullptr;

protected:
    void Changed(std::string_view added) override {
        if (trimming_ || !box) return;
        if (added.empty()) {
            box->clear();
            lines_ = 0;
            return;
        }
        QTextCursor end(box->document());
        end.movePosition(QTextCursor::End);
        std::string text(added);
        if (!text.empty() && text.back() == '\n') text.pop_back();  // the box starts a new line itself
        if (box->document()->isEmpty())
            end.insertText(ShownText(text));
        else
            box->appendPlainText(ShownText(text));
        box->verticalScrollBar()->setValue(box->verticalScrollBar()->maximum());
        for (char c : added) lines_ += c == '\n';
        if (lines_ > CommWindow::kOutputLines) Trim();
    }

private:
    // Down to a little less than the limit, so that trimming is rare.
    static constexpr int kKept = CommWindow::kOutputLines - 500;
    void Trim() {
        std::string keep = Text();
        size_t pos = keep.size();
        int n = 0;
        while (pos > 0 && n <= kKept) {
            pos = keep.rfind('\n', pos - 1);
            if (pos == std::string::npos) { pos = 0; break; }
            ++n;
        }
        if (pos > 0) keep.erase(0, pos + 1);
        trimming_ = true;
        Clear();
        Append(keep);
        trimming_ = false;
        lines_ = kKept;
    }
    bool trimming_ = false;
    int lines_ = 0;
};

// A value of a panel, as wide as the longest text it shows (`sample`) and
// never wider: the panel keeps its width whatever the receiver sends.
QLabel* ValueLabel(QWidget* parent, const QString& name, const QString& sample) {
    auto* l = new QLabel(parent);
    l->setObjectName(name);
    l->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    l->setMinimumWidth(l->fontMetrics().horizontalAdvance(sample) + 2 * l->frameWidth() + 6);
    l->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    l->setTextFormat(Qt::PlainText);
    return l;
}

// The longest texts of the status bar's first panel and of the values.
const char* const kLongestStatus = "TEST RUNNING: 00000 -> WAITING FOR 00 TRACKED SATELLITES";
const char* const kLongestValue = "-000 00.000000' W";
const char* const kShortValue = "WWWWW";

}  // namespace

struct CommWindow::Views {
    ConsoleView label1;
    ScrollView scroll;
    StatusView status;
    OutputView output;
    std::array<LabelView, 16> position;
    std::array<LabelView, 7> hold;
    std::array<LabelView, 4> stats;
};

CommWindow::CommWindow(BenchHost* host, QWidget* parent)
    : QWidget(parent),
      port_(std::make_unique<platform::SerialPort>()),
      refresh_timer_(std::make_unique<platform::QtTimer>(20)),
      watchdog_timer_(std::make_unique<platform::QtTimer>(60000)),
      port_timeout_timer_(std::make_unique<platform::QtTimer>(60000)),
      reproduce_nmea_timer_(std::make_unique<platform::QtTimer>(1000)),
      reproduce_file_timer_(std::make_unique<platform::QtTimer>(1)),
      script_timer_(std::make_unique<platform::QtTimer>(1000)),
      views_(std::make_unique<Views>()) {
    setObjectName("CommWindow");
    dev_.Host = host;
    BuildWidgets();
    LoadStep();
}

CommWindow::~CommWindow() {
    // Timers and the port stop before the record they work on goes away.
    for (auto* t : {refresh_timer_.get(), watchdog_timer_.get(), port_timeout_timer_.get(),
                    reproduce_nmea_timer_.get(), reproduce_file_timer_.get(), script_timer_.get()})
        t->SetEnabled(false);
    port_->SetReceiveHandler(nullptr);
    port_->SetErrorHandler(nullptr);
    UnloadPositionWindow(dev_);
    WriteCountedReports(dev_);
}

platform::SerialLink& CommWindow::Port() { return *port_; }


void CommWindow::BuildWidgets() {
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    auto* scroll_area = new QScrollArea(this);
    scroll_area->setWidgetResizable(true);
    scroll_area->setFrameShape(QFrame::NoFrame);
    auto* content = new QWidget(scroll_area);
    scroll_area->setWidget(content);
    outer->addWidget(scroll_area, 1);

    auto* main = new QVBoxLayout(content);
    main->setContentsMargins(6, 6, 6, 6);
    main->setSpacing(6);
    auto* top = new QHBoxLayout;
    main->addLayout(top);

    // Port settings and the window's buttons.
    auto* frame1 = new QGroupBox("Port", content);
    frame1->setObjectName("Frame1");
    auto* f1 = new QGridLayout(frame1);
    combo1_ = new QComboBox(frame1);
    combo1_->setObjectName("Combo1");
    combo1_->setEditable(true);
    for (int i = 1; i <= 16; ++i) combo1_->addItem(QString::number(i));
    combo2_ = new QComboBox(frame1);
    combo2_->setObjectName("Combo2");
    combo2_->setEditable(true);
    for (int b : {4800, 9600, 19200, 38400, 57600, 115200, 230400, 460800}) combo2_->addItem(QString::number(b));
    combo2_->setCurrentText("9600");
    open_port_ = new QPushButton("Open Port", frame1);
    open_port_->setObjectName("OpenPort");
    close_port_ = new QPushButton("Close Port", frame1);
    close_port_->setObjectName("ClosePort");
    check1_ = new QCheckBox("Data Decoding", frame1);
    check1_->setObjectName("Check1");
    pos_c_ = new QCheckBox("Position Chart", frame1);
    pos_c_->setObjectName("PosC");
    command2_ = new QPushButton("Clear Messages", frame1);
    command2_->setObjectName("Command2");
    command3_ = new QPushButton("Standard Layout", frame1);
    command3_->setObjectName("Command3");
    command5_ = new QPushButton("Task Monitor", frame1);
    command5_->setObjectName("Command5");
    // The product version has a row of its own across the window: a long
    // text neither wraps nor pushes the console aside.
    product_ver_ = new QLabel(content);
    product_ver_->setObjectName("ProductVerString");
    product_ver_->setWordWrap(false);
    product_ver_->setTextFormat(Qt::PlainText);
    product_ver_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    // Two columns, so the row of panels leaves room for the satellite table
    // below it on a laptop screen.
    auto* ports = new QHBoxLayout;
    ports->addWidget(new QLabel("Port", frame1));
    ports->addWidget(combo1_, 1);
    ports->addWidget(new QLabel("Baud", frame1));
    ports->addWidget(combo2_, 1);
    f1->addLayout(ports, 0, 0, 1, 2);
    f1->addWidget(open_port_, 1, 0);
    f1->addWidget(close_port_, 1, 1);
    f1->addWidget(check1_, 2, 0);
    f1->addWidget(pos_c_, 2, 1);
    f1->addWidget(command2_, 3, 0);
    f1->addWidget(command3_, 3, 1);
    f1->addWidget(command5_, 4, 0);
    f1->setRowStretch(5, 1);
    top->addWidget(frame1);

    // The console.
    frame2_ = new QFrame(content);
    frame2_->setObjectName("Frame2");
    frame2_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    auto* f2 = new QHBoxLayout(frame2_);
    f2->setContentsMargins(2, 2, 2, 2);
    label1_ = new ConsoleLabel(frame2_);
    label1_->setObjectName("Label1");
    label1_->setTextFormat(Qt::PlainText);
    label1_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label1_->setAutoFillBackground(true);
    QPalette pal = label1_->palette();
    pal.setColor(QPalette::Window, Qt::white);
    pal.setColor(QPalette::WindowText, Qt::black);
    label1_->setPalette(pal);
    // Long lines must not widen the window.
    // and it keeps its room before the window is first shown, so the opening
    // size counts its 35 lines.
    QSizePolicy console_policy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    console_policy.setRetainSizeWhenHidden(true);
    label1_->setSizePolicy(console_policy);
    vscroll1_ = new QScrollBar(Qt::Vertical, frame2_);
    vscroll1_->setObjectName("VScroll1");
    f2->addWidget(label1_, 1);
    f2->addWidget(vscroll1_);
    top->addWidget(frame2_, 1);

    // Position, position-hold and fix statistics panels.
    data_panel_ = new QGroupBox("Position", content);
    data_panel_->setObjectName("DataPanel");
    auto* dp = new QGridLayout(data_panel_);
    dp->setVerticalSpacing(2);
    // Values of the third column: hemispheres, "DIFF", the hold status.
    auto narrow = [](int i) { return i == 2 || i == 4 || i == 14; };
    for (int i = 0; i < 16; ++i)
        position_data_[i] =
            ValueLabel(data_panel_, QString("PositionData_%1").arg(i), narrow(i) ? kShortValue : kLongestValue);
    for (int i = 0; i < 7; ++i)
        hold_position_data_[i] = ValueLabel(data_panel_, QString("HoldPositionData_%1").arg(i),
                                            i == 0 || i % 2 == 0 ? kShortValue : kLongestValue);
    for (int i = 0; i < 4; ++i)
        data_statistics_[i] = ValueLabel(data_panel_, QString("DataStatistics_%1").arg(i), kLongestValue);
    int r = 0;
    auto caption = [&](const char* text, int row, int col) { dp->addWidget(new QLabel(text, data_panel_), row, col); };
    caption("UTC", r, 0), dp->addWidget(position_data_[0], r++, 1, 1, 2);
    caption("Lat", r, 0), dp->addWidget(position_data_[1], r, 1), dp->addWidget(position_data_[2], r++, 2);
    caption("Lon", r, 0), dp->addWidget(position_data_[3], r, 1), dp->addWidget(position_data_[4], r++, 2);
    caption("Alt", r, 0), dp->addWidget(position_data_[5], r++, 1);
    caption("Speed", r, 0), dp->addWidget(position_data_[6], r++, 1);
    caption("Course", r, 0), dp->addWidget(position_data_[7], r++, 1);
    caption("PDOP", r, 0), dp->addWidget(position_data_[8], r++, 1);
    caption("HDOP", r, 0), dp->addWidget(position_data_[9], r++, 1);
    caption("VDOP", r, 0), dp->addWidget(position_data_[10], r++, 1);
    caption("Fix", r, 0), dp->addWidget(position_data_[11], r, 1), dp->addWidget(position_data_[14], r++, 2);
    caption("Used", r, 0), dp->addWidget(position_data_[12], r++, 1);
    // Hold status and fix statistics in columns of their own, so the panel
    // is no taller than the console at its fewest lines.
    const int rows = r;
    r = 0;
    constexpr int c = 4;
    dp->setColumnMinimumWidth(3, 8);
    auto caption2 = [&](const char* text, int row) { dp->addWidget(new QLabel(text, data_panel_), row, c); };
    auto* hold_caption = new QLabel("Position Hold Status", data_panel_);
    dp->addWidget(hold_caption, r, c, 1, 2), dp->addWidget(hold_position_data_[0], r++, c + 2);
    caption2("Lat", r), dp->addWidget(hold_position_data_[1], r, c + 1), dp->addWidget(hold_position_data_[2], r++, c + 2);
    caption2("Lon", r), dp->addWidget(hold_position_data_[3], r, c + 1), dp->addWidget(hold_position_data_[4], r++, c + 2);
    caption2("Alt", r), dp->addWidget(hold_position_data_[5], r, c + 1), dp->addWidget(hold_position_data_[6], r++, c + 2);
    caption2("No Fix", r), dp->addWidget(data_statistics_[3], r++, c + 1);
    caption2("2D Fix", r), dp->addWidget(data_statistics_[2], r++, c + 1);
    caption2("3D Fix", r), dp->addWidget(data_statistics_[1], r++, c + 1);
    caption2("NMEA", r), dp->addWidget(data_statistics_[0], r++, c + 1);
    caption2("Trk", r), dp->addWidget(position_data_[15], r++, c + 1);
    caption2("TG Sats", r), dp->addWidget(position_data_[13], r++, c + 1);
    r = std::max(r, rows);
    dp->setRowStretch(r, 1);
    // Its room is kept while "Data Decoding" hides it, so ticking the box
    // never needs a larger window.
    QSizePolicy keep = data_panel_->sizePolicy();
    keep.setRetainSizeWhenHidden(true);
    keep.setHorizontalPolicy(QSizePolicy::Fixed);
    data_panel_->setSizePolicy(keep);
    top->addWidget(data_panel_);
    main->addWidget(product_ver_);

    // Console filter of a debug window.
    frame3_ = new QGroupBox("Filter", content);
    frame3_->setObjectName("Frame3");
    auto* f3 = new QHBoxLayout(frame3_);
    filter_check_ = new QCheckBox("Filter", frame3_);
    filter_check_->setObjectName("Filter_CheckBox");
    text1_ = new QLineEdit("KALMAN", frame3_);
    text1_->setObjectName("Text1");
    f3->addWidget(filter_check_);
    f3->addWidget(text1_, 1);
    main->addWidget(frame3_);

    // Satellite table and messages.
    auto* bottom = new QHBoxLayout;
    sat_table_ = new SatTableWidget(content);
    bottom->addWidget(sat_table_, 0, Qt::AlignTop);
    output_win_ = new QPlainTextEdit(content);
    output_win_->setObjectName("OutputWin");
    output_win_->setReadOnly(true);
    output_win_->setMaximumBlockCount(kOutputLines);
    // Narrower on a small screen, so the satellite table keeps its width.
    output_win_->setMinimumWidth(120);
    bottom->addWidget(output_win_, 1);
    main->addLayout(bottom);

    status_bar_ = new QStatusBar(this);
    status_bar_->setObjectName("StatusBar1");
    status_bar_->setSizeGripEnabled(false);
    const int widths[4] = {status_bar_->fontMetrics().horizontalAdvance(kLongestStatus) + 12, 120, 120, 80};
    for (int i = 0; i < 4; ++i) {
        panels_[i] = new QLabel(status_bar_);
        panels_[i]->setObjectName(QString("StatusBar1_%1").arg(i + 1));
        panels_[i]->setMinimumWidth(widths[i]);
        panels_[i]->setTextFormat(Qt::PlainText);
        status_bar_->addWidget(panels_[i], i == 0 ? 1 : 0);
    }
    outer->addWidget(status_bar_);

    connect(open_port_, &QPushButton::clicked, this, [this] { OpenPort_Click(); });
    connect(close_port_, &QPushButton::clicked, this, [this] { Handle("ClosePort_Click", [&] { ClosePort_Click(); }); });
    connect(check1_, &QCheckBox::toggled, this, [this] { Handle("Check1_Click", [&] { OnCheck1Toggled(); }); });
    connect(filter_check_, &QCheckBox::toggled, this, [this](bool on) { dev_.FilterOn = on; });
    connect(text1_, &QLineEdit::textChanged, this,
            [this](const QString& t) { dev_.FilterText = t.toLatin1().toStdString(); });
    connect(vscroll1_, &QScrollBar::valueChanged, this, [this](int v) {
        Handle("VScroll1_Change", [&] {
            views_->scroll.SetValue(v);
            ConsoleScroll(dev_);
        });
    });
    connect(command2_, &QPushButton::clicked, this, [this] { dev_.OutputWin->Clear(); });
    connect(command3_, &QPushButton::clicked, this, [this] { StandardLayout(); });
    connect(command5_, &QPushButton::clicked, this, [this] {
        Handle("Command5_Click", [&] {
            if (open_task_monitor_)
                open_task_monitor_();
            else
                OutputMsg(dev_, "Task monitor not available");
        });
    });
    connect(pos_c_, &QCheckBox::toggled, this, [this](bool on) { Handle("PosC_Click", [&] { OnPosC(on); }); });
    sat_table_->SetRowButtonHandler([this](int i) { OnCommand4(i); });

    content_ = content;
    FitToOpeningSize();
}

QSize CommWindow::sizeHint() const {
    // Every panel in view, as far as the screen allows. The status bar is
    // outside the scrolled part. Measured as styled, even before the first show.
    ensurePolished();
    // Layouts and their items keep their last measure until the next
    // event-loop pass (and until the first show): what just changed must
    // count at once.
    for (QWidget* w : content_->findChildren<QWidget*>()) w->updateGeometry();
    for (QLayout* l : content_->findChildren<QLayout*>()) l->invalidate();
    QSize want = content_->sizeHint() + QSize(2, status_bar_->sizeHint().height() + 2);
    if (const QScreen* screen = this->screen()) want = want.boundedTo(screen->availableGeometry().size());
    return want;
}

namespace {
constexpr int kFewestConsoleLines = 8;
constexpr int kFewestConsoleChars = 40;
}  // namespace

// The console's room with all its lines and its full width.
QSize CommWindow::FullConsole() const {
    const QFontMetrics fm(label1_->font());
    return {fm.averageCharWidth() * 72, fm.lineSpacing() * ConsoleBuffer::kShown + 4};
}

QSize CommWindow::minimumSizeHint() const {
    ensurePolished();
    const QFontMetrics fm(label1_->font());
    const QSize kept = label1_->minimumSize();
    auto remeasure = [this] {
        for (QWidget* w : content_->findChildren<QWidget*>()) w->updateGeometry();
        for (QLayout* l : content_->findChildren<QLayout*>()) l->invalidate();
    };
    label1_->setMinimumSize(fm.averageCharWidth() * kFewestConsoleChars, fm.lineSpacing() * kFewestConsoleLines + 4);
    remeasure();
    const QSize least = content_->minimumSizeHint() + QSize(2, status_bar_->sizeHint().height() + 2);
    label1_->setMinimumSize(kept);
    remeasure();
    return least;
}

void CommWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    FitConsoleToRoom();
}

// A window given less room than its panels need (cascaded below another,
// on a small screen) takes it from the console, down to a readable few
// lines and characters, before any other panel scrolls; given room again,
// the console takes its lines back.
void CommWindow::FitConsoleToRoom() {
    auto* area = qobject_cast<QScrollArea*>(content_->parentWidget() ? content_->parentWidget()->parentWidget() : nullptr);
    if (!area || !label1_->isVisibleTo(this)) return;
    for (QWidget* w : content_->findChildren<QWidget*>()) w->updateGeometry();
    for (QLayout* l : content_->findChildren<QLayout*>()) l->invalidate();
    const QSize need = content_->minimumSizeHint();
    const QSize room = area->size();
    const QFontMetrics fm(label1_->font());
    const QSize full = FullConsole();
    const QSize fewest(fm.averageCharWidth() * kFewestConsoleChars, fm.lineSpacing() * kFewestConsoleLines + 4);
    QSize now = label1_->minimumSize();
    now.setHeight(std::clamp(now.height() - (need.height() - room.height()), fewest.height(), full.height()));
    now.setWidth(std::clamp(now.width() - (need.width() - room.width()), fewest.width(), full.width()));
    if (now != label1_->minimumSize()) label1_->setMinimumSize(now);
}

void CommWindow::FitToOpeningSize() {
    auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget());
    if (!sub) {
        resize(sizeHint());
        return;
    }
    // The sub-window adds its title bar and borders; within a workspace on
    // screen it stays inside the workspace, and a smaller one scrolls.
    QSize outer = sub->sizeHint();
    if (QMdiArea* area = sub->mdiArea(); area && area->isVisible()) {
        const QSize room = area->viewport()->size();
        // Short of room, the console shows fewer lines (down to a readable
        // few) so that the other panels stay whole; on a large workspace it
        // keeps all its lines.
        // (The hint is capped at the screen, so the excess is taken in steps.)
        const int fewest = QFontMetrics(label1_->font()).lineSpacing() * kFewestConsoleLines + 4;
        while (outer.height() > room.height() && label1_->minimumHeight() > fewest) {
            label1_->setMinimumHeight(
                std::max(fewest, label1_->minimumHeight() - (outer.height() - room.height())));
            outer = sub->sizeHint();
        }
        outer = outer.boundedTo(room);
    }
    sub->resize(outer);
}

void CommWindow::ApplyKind() {
    // Other kinds leave caption and font as they are.
    if (dev_.DeviceKind == 0) {
        setWindowTitle(Latin1(KindCaption(dev_.DeviceName, "NMEA WINDOW")));
        QFont f = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
        f.setPointSize(8);
        label1_->setFont(f);
        check1_->setText("Data Decoding");
    } else if (dev_.DeviceKind == 1) {
        setWindowTitle(Latin1(KindCaption(dev_.DeviceName, "DEBUG WINDOW")));
        QFont f = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        f.setPointSize(8);
        label1_->setFont(f);
        check1_->setText("Filtering");
        // The filter row keeps its room while hidden, as the data panel does.
        QSizePolicy keep = frame3_->sizePolicy();
        keep.setRetainSizeWhenHidden(true);
        frame3_->setSizePolicy(keep);
    }
    // The console shows its 35 lines.
    label1_->setMinimumHeight(QFontMetrics(label1_->font()).lineSpacing() * ConsoleBuffer::kShown + 4);
    label1_->setMinimumWidth(QFontMetrics(label1_->font()).averageCharWidth() * 72);
    // The main window sets the kind before it places and shows the window.
    FitToOpeningSize();
}

void CommWindow::BindViews() {
    Views& v = *views_;
    v.label1.label = label1_;
    v.scroll.bar = vscroll1_;
    v.status.panels = &panels_;
    v.output.box = output_win_;
    for (size_t i = 0; i < v.position.size(); ++i) {
        v.position[i].label = position_data_[i];
        dev_.PositionData[i] = &v.position[i];
    }
    for (size_t i = 0; i < v.hold.size(); ++i) {
        v.hold[i].label = hold_position_data_[i];
        dev_.HoldPositionData[i] = &v.hold[i];
    }
    for (size_t i = 0; i < v.stats.size(); ++i) {
        v.stats[i].label = data_statistics_[i];
        dev_.DataStatistics[i] = &v.stats[i];
    }
    CellRow* rows[SatTableWidget::RowCount] = {&dev_.SatBar, &dev_.Cn0,  &dev_.SatId, &dev_.CN0Max, &dev_.CN0Min,
                                               &dev_.CN0Ave, &dev_.Tim,  &dev_.T2U,   &dev_.T2DE,   &dev_.EPH,
                                               &dev_.AZ,     &dev_.EL,   &dev_.TrackTimer};
    for (int r = 0; r < SatTableWidget::RowCount; ++r)
        for (int c = 0; c < SatTableWidget::kColumns; ++c) (*rows[r])[static_cast<size_t>(c)] = &sat_table_->Cell(r, c);
    dev_.OutputWin = &v.output;
    dev_.WatchDogTimer = watchdog_timer_.get();
}

void CommWindow::LoadStep() {
    ApplyKind();
    BindViews();
    dev_.Console = ConsoleInit(port_.get(), &views_->label1, &views_->scroll, &views_->status, refresh_timer_.get(),
                               script_timer_.get(), port_timeout_timer_.get());
    dev_.Console.ReplayTimer = reproduce_file_timer_.get();
    for (size_t id = 1; id < dev_.Sats.size(); ++id) dev_.Sats[id] = SatDBEntry{};
    SatTableClear(dev_);
    dev_.FilterText = "KALMAN";
    dev_.Paused = 0;
    dev_.FilterOn = false;
    dev_.ReplayActive = false;
    dev_.RestartScriptPending = false;
    open_port_->setEnabled(!open_port_disabled_);
    close_port_->setEnabled(false);
    frame3_->setVisible(false);
    data_panel_->setVisible(false);

    port_->SetReceiveHandler([this] { CommPortRead(dev_); });
    port_->SetErrorHandler([this](const std::string& reason) { PortLost(reason); });
    port_->SetRThreshold(1);
    refresh_timer_->SetTickHandler([this] { DisplayRefreshTick(); });
    watchdog_timer_->SetTickHandler([this] { WatchDogTick(); });
    port_timeout_timer_->SetTickHandler([this] { PortTimeoutTick(); });
    reproduce_nmea_timer_->SetTickHandler([this] { ReproduceNmeaTick(); });
    reproduce_file_timer_->SetTickHandler([this] { ReproduceFileTick(); });
    script_timer_->SetTickHandler([this] { ScriptTick(); });
    InstallDispatcher();
}

// --- the window's own events ---

void CommWindow::OpenPortChecked() {
    const int16_t number = platform::RoundToInt16(platform::ReadLenient(combo1_->currentText().toStdString()));
    const int32_t baud = platform::RoundToInt32(platform::ReadLenient(combo2_->currentText().toStdString()));
    CommPortSetup(dev_, number, baud);
    port_->SetHolderName(windowTitle().toLatin1().toStdString());
    port_->SetReportName(PortTitle(""));
    CommPortOpen(dev_);
    reopen_pending_ = false;
    PortBack();
    refresh_timer_->SetEnabled(true);
    open_port_->setEnabled(false);
    close_port_->setEnabled(true);
}

void CommWindow::OpenPort_Click() {
    try {
        OpenPortChecked();
    } catch (...) {
        // Several windows open their ports at set-up: the box says whose
        // port it is.
        const PendingError e = ErrorOf(std::current_exception());
        const std::string port = (dev_.DeviceKind == 1 ? ", debug port " : ", port ") +
                                 combo1_->currentText().toLatin1().toStdString();
        const std::exception_ptr named = std::make_exception_ptr(
            platform::BenchError(e.Number, "Device " + dev_.DeviceName + port + ": " + e.Description));
        ErrorReport("OpenPort_Click", named);
        ErrorMessageBox(named);
    }
}

void CommWindow::ClosePort_Click() {
    reopen_pending_ = false;
    CommPortClose(dev_);
    close_port_->setEnabled(false);
    open_port_->setEnabled(!open_port_disabled_);
    refresh_timer_->SetEnabled(false);
}

void CommWindow::Check1_Click() { OnCheck1Toggled(); }

void CommWindow::OnCheck1Toggled() {
    const bool ticked = check1_->isChecked();
    if (dev_.DeviceKind == 1) {
        dev_.Paused = ticked ? 1 : 0;
        frame3_->setVisible(ticked);
        refresh_timer_->SetEnabled(!ticked);
    } else {
        data_panel_->setVisible(ticked);
    }
}

void CommWindow::OnCommand4(int index) {
    // Mean, Max, Min: the C/N0 statistics start again; Time: the tracked time.
    if (index >= 1 && index <= 3)
        SatDB_ResetCN0Counts(dev_);
    else if (index == 10)
        SatDB_ResetTrackCounts(dev_);
}

void CommWindow::StandardLayout() {
    // The opening size: every panel in view (a fixed size in twips would
    // hide the satellite table at the usual fonts).
    frame2_->setVisible(true);
    label1_->setVisible(true);
    label1_->setMinimumSize(FullConsole());
    FitToOpeningSize();
}

void CommWindow::DisplayRefreshTick() {
    ConsoleRefresh(dev_.Console);
    SetStatusPanelText(dev_.Console.Status, 4, std::to_string(dev_.Console.LongestChunk));
}

void CommWindow::ReproduceNmeaTick() {
    if (dev_.ReplayFile.is_open()) reproduce_file_timer_->SetEnabled(true);
}

void CommWindow::ReproduceFileTick() {
    Handle("ReproduceFileTimer_Timer", [&] {
        std::ifstream& f = dev_.ReplayFile;
        if (!f.is_open()) {
            reproduce_file_timer_->SetEnabled(false);
            return;
        }
        char block[80];
        f.read(block, sizeof block);
        const std::streamsize n = f.gcount();
        if (n > 0) ConsoleAddChars(dev_, std::string_view(block, static_cast<size_t>(n)), Now());
        if (n < static_cast<std::streamsize>(sizeof block) || f.peek() == std::char_traits<char>::eof()) {
            // End of the file: the replay is over, as after a stop, with the
            // last lines drawn.
            reproduce_file_timer_->SetEnabled(false);
            CloseReplayFile();
            reproduce_nmea_timer_->SetEnabled(false);
            dev_.ReplayActive = false;
            ConsoleRefresh(dev_.Console);
            if (!port_->PortOpen()) refresh_timer_->SetEnabled(false);
        }
    });
}

void CommWindow::CloseReplayFile() {
    if (dev_.ReplayFile.is_open()) dev_.ReplayFile.close();
    dev_.ReplayFile.clear();
}

void CommWindow::closeEvent(QCloseEvent* event) {
    // The window holds the receiver's port and logs for the session: it is
    // only set aside, and the main window says so in the panel that a
    // session's ticks do not rewrite. One that no session holds just closes.
    auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget());
    if (sub && !closable_) {
        event->ignore();
        sub->showMinimized();
        if (dev_.Host)
            dev_.Host->StatusBarMessage(2, windowTitle().toLatin1().toStdString() +
                                               " minimised, not closed: the session needs it "
                                               "(Testing > New Test Session closes it)");
        return;
    }
    QWidget::closeEvent(event);
}

double CommWindow::TwipsPerPixel() const {
    const int dpi = logicalDpiX();
    return dpi > 0 ? 1440.0 / dpi : 15.0;
}

QWidget* CommWindow::Frame() {
    // Inside the main window's workspace the frame is the sub-window.
    if (auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget())) return sub;
    return this;
}

}  // namespace bench
