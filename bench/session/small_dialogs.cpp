#include "bench/session/small_dialogs.h"

#include "bench/reports/position_error.h"
#include "bench/session/dialog_prompts.h"
#include "platform/core/codepage.h"
#include "platform/core/numtext.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <iterator>

namespace bench {
namespace {

QString Show(const std::string& bytes) { return QString::fromStdString(platform::Cp1252ToUtf8(bytes)); }

QString Indexed(const char* name, int index) { return QStringLiteral("%1_%2").arg(QLatin1String(name)).arg(index); }

}  // namespace

// ---- NCOSettings ----------------------------------------------------------

NCOSettings::NCOSettings(NcoParametersSink& sink, QWidget* parent) : QDialog(parent), sink_(sink) {
    setObjectName(QStringLiteral("NCOSettings"));
    setWindowTitle(QStringLiteral("NCO Range Settings"));
    setModal(false);
    auto* grid = new QGridLayout;
    static const char* const labels[4] = {"Min NCO:", "Max NCO:", "Step:", "Command:"};
    for (int i = 0; i < 4; ++i) {
        auto* box = new QLineEdit(this);
        box->setObjectName(Indexed("Text1", i));
        box->setMinimumWidth(i == 3 ? 320 : 140);
        grid->addWidget(new QLabel(QString::fromLatin1(labels[i]), this), i, 0);
        grid->addWidget(box, i, 1);
        text1_[static_cast<std::size_t>(i)] = box;
    }
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    for (int i = 0; i < 2; ++i) {
        auto* b = new QPushButton(i == 0 ? QStringLiteral("OK") : QStringLiteral("Cancel"), this);
        b->setObjectName(Indexed("Command1", i));
        // Enter presses the button with the focus, else confirms; Escape
        // cancels (reject).
        b->setAutoDefault(true);
        b->setDefault(i == 0);
        connect(b, &QPushButton::clicked, this, [this, i] { Command1_Click(i); });
        buttons->addWidget(b);
    }
    auto* top = new QVBoxLayout(this);
    top->setContentsMargins(16, 16, 16, 16);
    top->setSpacing(12);
    top->addLayout(grid);
    top->addLayout(buttons);
}

void NCOSettings::DisplyNCOPar(int16_t device, int32_t start, int32_t max, int32_t step,
                               const std::string& command) {
    device_ = device;
    text1_[0]->setText(QString::number(start));
    text1_[1]->setText(QString::number(max));
    text1_[2]->setText(QString::number(step));
    text1_[3]->setText(Show(command));
    // Each opening starts on its first box, wherever the last one ended.
    text1_[0]->setFocus(Qt::OtherFocusReason);
    text1_[0]->selectAll();
    show();
    raise();
    activateWindow();
}

void NCOSettings::Command1_Click(int index) {
    if (index == 0) {
        static const char* const names[3] = {"Min NCO", "Max NCO", "Step"};
        std::array<int32_t, 3> values{};
        for (std::size_t i = 0; i < 3; ++i) {
            double number = 0.0;
            const std::string text = text1_[i]->text().toStdString();
            bool fits = platform::TryReadStrict(text, number);
            if (fits) {
                try {
                    values[i] = platform::RoundToInt32(number);
                } catch (const std::exception&) {
                    fits = false;
                }
            }
            if (!fits) {
                WarnUser(this, QStringLiteral("%1 must be a whole number from -2147483648 to 2147483647.")
                                   .arg(QLatin1String(names[i])));
                return;
            }
        }
        bool lossless = true;
        const std::string command = platform::Utf8ToCp1252(text1_[3]->text().toStdString(), &lossless);
        if (!lossless) {
            WarnUser(this, QStringLiteral("The command contains characters that cannot be sent."));
            return;
        }
        sink_.BadNCOParametersSetting(device_, values[0], values[1], values[2], command);
    }
    hide();
}

void NCOSettings::NCOWindowSetPos(int32_t a, int32_t b) { move(a, b); }

// ---- Coords ---------------------------------------------------------------

Coords::Coords(QWidget* parent) : platform::BenchWindow(parent) {
    setObjectName(QStringLiteral("Coords"));
    setWindowTitle(QStringLiteral("Antenna Position"));
    auto* label3 = new QLabel(QStringLiteral("Insert antenna position and click to validate values.If you don't "
                                             "validate will be considered the mean Latitude and longitude values. "),
                              this);
    label3->setObjectName(QStringLiteral("Label3"));
    label3->setWordWrap(true);
    // Degrees, whole minutes, the digits after the minutes' decimal point,
    // then the hemisphere.
    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(10);
    grid->addWidget(new QLabel(QStringLiteral("Degree"), this), 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("Minutes"), this), 0, 2, 1, 3);
    grid->addWidget(new QLabel(QStringLiteral("Hemisphere"), this), 0, 5);
    grid->addWidget(new QLabel(QStringLiteral("Latitude"), this), 1, 0);
    grid->addWidget(new QLabel(QStringLiteral("Longitude"), this), 2, 0);
    for (int i = 0; i < 6; ++i) {
        auto* box = new QLineEdit(this);
        box->setObjectName(QStringLiteral("Text%1").arg(i + 1));
        box->setMinimumWidth(i % 3 == 2 ? 90 : 50);
        const int row = 1 + i / 3;
        if (i % 3 == 2) grid->addWidget(new QLabel(QStringLiteral("."), this), row, 3);
        grid->addWidget(box, row, i % 3 == 2 ? 4 : 1 + i % 3);
        text_[static_cast<std::size_t>(i)] = box;
    }
    // Blank: no hemisphere chosen (the side of the fixes, as before there
    // was a choice); a "-" before the degrees chooses S or W as well.
    static const char* const sides[2][2] = {{"N", "S"}, {"E", "W"}};
    for (int i = 0; i < 2; ++i) {
        auto* side = new QComboBox(this);
        side->setObjectName(Indexed("Hemisphere", i));
        side->addItems({QString(), QString::fromLatin1(sides[i][0]), QString::fromLatin1(sides[i][1])});
        grid->addWidget(side, 1 + i, 5);
        hemisphere_[static_cast<std::size_t>(i)] = side;
    }
    check1_ = new QCheckBox(QStringLiteral("Validate"), this);
    check1_->setObjectName(QStringLiteral("Check1"));
    auto* ok = new QPushButton(QStringLiteral("submit"), this);
    ok->setObjectName(QStringLiteral("Command1"));
    auto* preset = new QPushButton(QStringLiteral("Preset Site"), this);
    preset->setObjectName(QStringLiteral("Command2"));
    connect(ok, &QPushButton::clicked, this, &Coords::Command1_Click);
    connect(preset, &QPushButton::clicked, this, &Coords::Command2_Click);
    // Enter submits from every box and list; Escape closes it, keeping
    // what it holds.
    SetDefaultButton(ok, EnterFrom::AnyControl);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(preset);
    buttons->addStretch();
    buttons->addWidget(ok);
    auto* top = new QVBoxLayout(this);
    top->setContentsMargins(16, 16, 16, 16);
    top->setSpacing(12);
    top->addWidget(label3);
    top->addLayout(grid);
    top->addWidget(check1_);
    top->addLayout(buttons);
    // Reading order: the latitude's boxes and hemisphere, the longitude's,
    // the check box, then the buttons from left to right.
    QWidget* order[] = {text_[0], text_[1], text_[2], hemisphere_[0], text_[3], text_[4],
                        text_[5], hemisphere_[1], check1_, preset, ok};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i) setTabOrder(order[i], order[i + 1]);
}

void Coords::Command1_Click() {
    // A typed position is checked here, where it can still be corrected:
    // the reports refuse one they would have to read another way.
    const AntennaPosition p = Position();
    bool typed = p.use;
    for (const std::string& part : p.parts) typed = typed || !platform::Trim(part).empty();
    if (typed) {
        reports::TypedPosition t;
        t.parts = p.parts;
        t.hemispheres = p.hemispheres;
        reports::ReadPosition read;
        if (const std::string why = reports::ReadTypedPosition(t, read); !why.empty()) {
            WarnUser(this, Show(why));
            return;
        }
    }
    hide();
    emit Submitted(p);
}

void Coords::Command2_Click() {
    const AntennaPosition& site = PresetSite();
    for (std::size_t i = 0; i < 6; ++i) text_[i]->setText(QString::fromStdString(site.parts[i]));
    for (std::size_t i = 0; i < 2; ++i) hemisphere_[i]->setCurrentText(QString::fromStdString(site.hemispheres[i]));
}

AntennaPosition Coords::Position() const {
    AntennaPosition p;
    for (std::size_t i = 0; i < 6; ++i) p.parts[i] = platform::Utf8ToCp1252(text_[i]->text().toStdString());
    for (std::size_t i = 0; i < 2; ++i) p.hemispheres[i] = hemisphere_[i]->currentText().toStdString();
    p.use = check1_->isChecked();
    return p;
}

void Coords::SetPosition(const AntennaPosition& p) {
    for (std::size_t i = 0; i < 6; ++i) text_[i]->setText(Show(p.parts[i]));
    for (std::size_t i = 0; i < 2; ++i) {
        // A letter the list does not offer (a hand-edited file) is shown as
        // it is, so that submit names it instead of dropping it.
        const QString side = QString::fromStdString(platform::UpperCase(platform::Trim(p.hemispheres[i])));
        if (hemisphere_[i]->findText(side) < 0) hemisphere_[i]->addItem(side);
        hemisphere_[i]->setCurrentText(side);
    }
    check1_->setChecked(p.use);
}

const AntennaPosition& Coords::PresetSite() {
    // The roof antenna of the lab, 45 deg 28.3150 min N, 9 deg 11.4520 min E.
    static const AntennaPosition site{{"45", "28", "3150", "9", "11", "4520"}, false, {"N", "E"}};
    return site;
}

// ---- TaskMonitor ----------------------------------------------------------

TaskMonitor::TaskMonitor(QWidget* parent) : platform::BenchWindow(parent) {
    setObjectName(QStringLiteral("TaskMonitor"));
    setWindowTitle(QStringLiteral("Task Monitor"));
}

QSize TaskMonitor::ContentSize() const { return {320, 200}; }

void TaskMonitor::showEvent(QShowEvent* event) {
    counter_ = 0;
    TaskMonitorAddFrame();
    platform::BenchWindow::showEvent(event);
}

// ---- frmAbout -------------------------------------------------------------

frmAbout::frmAbout(ProgramVersion version, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("About Fix Bench"));
    lblTitle_ = new QLabel(QStringLiteral("Fix Bench"), this);
    lblTitle_->setObjectName(QStringLiteral("lblTitle"));
    QFont big = lblTitle_->font();
    big.setPointSizeF(big.pointSizeF() * 2);
    big.setBold(true);
    lblTitle_->setFont(big);
    lblVersion_ = new QLabel(QStringLiteral("release %1.%2.%3").arg(version.major).arg(version.minor).arg(version.revision), this);
    lblVersion_->setObjectName(QStringLiteral("lblVersion"));
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("cmdOK"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    auto* top = new QVBoxLayout(this);
    top->setContentsMargins(24, 24, 24, 16);
    top->setSpacing(12);
    top->addWidget(lblTitle_, 0, Qt::AlignHCenter);
    top->addWidget(lblVersion_, 0, Qt::AlignHCenter);
    top->addWidget(ok, 0, Qt::AlignRight);
    setMinimumWidth(300);
}

}  // namespace bench
