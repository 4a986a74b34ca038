#include "bench/instruments/command_panel_window.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStatusBar>
#include <QVBoxLayout>

#include "bench/devices/system_log.h"
#include "bench/instruments/command_panel.h"
#include "platform/core/codepage.h"
#include "platform/ui/prompts.h"

namespace bench::instruments {

namespace {

QString Show(const std::string& bytes) { return QString::fromStdString(platform::Cp1252ToUtf8(bytes)); }
std::string Bytes(const QString& text) { return platform::Utf8ToCp1252(text.toStdString()); }

constexpr const char* kFilter = "Script File (*.txt)";

}  // namespace

CommandPanelWindow::CommandPanelWindow(CommandPanel& panel, std::string program_folder, QWidget* parent)
    : platform::BenchWindow(parent), panel_(panel), program_folder_(std::move(program_folder)) {
    setObjectName(QStringLiteral("CommandPanel"));

    auto* hint = new QLineEdit(this);
    hint->setObjectName(QStringLiteral("Text1"));
    hint->setReadOnly(true);
    hint->setText(QStringLiteral(
        "Write here the command to send to all devices. Use the syntax: SEND>\"COMMAND STRING\""));

    command_ = new QComboBox(this);
    command_->setObjectName(QStringLiteral("CommandList"));
    command_->setEditable(true);
    command_->setInsertPolicy(QComboBox::NoInsert);
    command_->setMinimumWidth(420);
    help_ = new QListWidget(this);
    help_->setObjectName(QStringLiteral("CommandHlpList"));
    help_->hide();  // holds the texts the command box shows as its tool tip
    for (int i = 0; i < CommandPanel::kTemplates; ++i) {
        command_->addItem(Show(CommandPanel::Template(i)));
        help_->addItem(Show(CommandPanel::HelpText(i)));
    }
    command_->setCurrentIndex(-1);
    command_->setEditText(QString());
    connect(command_, QOverload<int>::of(&QComboBox::activated), this, [this](int i) {
        if (i >= 0 && i < help_->count()) command_->setToolTip(help_->item(i)->text());
    });

    list_ = new QListWidget(this);
    list_->setObjectName(QStringLiteral("List1"));
    // Its lines take the room the window is given: on a laptop screen the
    // panel fits over a device window's console.
    list_->setMinimumSize(200, 100);
    connect(list_, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row != panel_.Selected()) panel_.Select(static_cast<int16_t>(row));
    });
    connect(list_, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* item) {
        if (item) command_->setEditText(item->text());
    });

    // Edit and run.
    auto* edit = new QGroupBox(QStringLiteral("Script"), this);
    auto* eg = new QGridLayout(edit);
    QPushButton* add = Button("Command1", "Add");
    QPushButton* insert = Button("Command12", "Insert");
    QPushButton* replace = Button("Command13", "Replace");
    QPushButton* remove = Button("Command3", "Remove");
    QPushButton* execSel = Button("Command8", "Execute Sel");
    QPushButton* load = Button("Command5", "Load");
    QPushButton* save = Button("Command4", "Save");
    QPushButton* saveAs = Button("Command6", "Save As");
    QPushButton* run = Button("Command2", "RUN");
    QPushButton* pause = Button("Command9", "PAUSE");
    QPushButton* stop = Button("Command10", "STOP");
    // Three columns: editing the list, its file, running it.
    int r = 0;
    for (QPushButton* b : {add, insert, replace, remove}) eg->addWidget(b, r++, 0);
    r = 0;
    for (QPushButton* b : {load, save, saveAs, execSel}) eg->addWidget(b, r++, 1);
    r = 0;
    for (QPushButton* b : {run, pause, stop}) eg->addWidget(b, r++, 2);

    auto* restart = new QGroupBox(QStringLiteral("Restart"), this);
    auto* rg = new QGridLayout(restart);
    QPushButton* hot = Button("Command16", "HOT");
    QPushButton* warm = Button("Command17", "WARM");
    QPushButton* cold = Button("Command18", "COLD");
    QPushButton* fullCold = Button("Command19", "FULL COLD");
    rg->addWidget(hot, 0, 0);
    rg->addWidget(warm, 0, 1);
    rg->addWidget(cold, 1, 0);
    rg->addWidget(fullCold, 1, 1);

    auto* send = new QGroupBox(QStringLiteral("Files"), this);
    auto* sg = new QHBoxLayout(send);
    QPushButton* sendFile = Button("SendF", "Send File");
    QPushButton* sendComm = Button("Command15", "Send Comm File");
    sg->addWidget(sendFile);
    sg->addWidget(sendComm);

    QPushButton* selectAll = Button("Command14", "Command14");
    QPushButton* execute = Button("Command7", "Execute");
    // Enter in the command line executes what it holds.
    SetDefaultButton(execute);

    // Controls that do nothing: kept under their names, out of sight.
    Button("Command11", "Add ")->hide();
    for (int i = 20; i <= 25; ++i) Button(("Command" + std::to_string(i)).c_str(), "")->hide();
    auto* list2 = new QListWidget(this);
    list2->setObjectName(QStringLiteral("List2"));
    list2->hide();

    auto* bar = new QStatusBar(this);
    bar->setObjectName(QStringLiteral("CPSb"));
    bar->setSizeGripEnabled(false);
    status_ = new QLabel(bar);
    status_->setObjectName(QStringLiteral("CPSb_1"));
    status_->setMinimumWidth(240);
    bar->addWidget(status_, 1);

    auto* commandRow = new QHBoxLayout;
    commandRow->addWidget(command_, 1);
    commandRow->addWidget(selectAll);
    commandRow->addWidget(execute);
    // The script's buttons, and beside them the restarts above the files.
    auto* column = new QVBoxLayout;
    column->addWidget(restart);
    column->addWidget(send);
    column->addStretch(1);
    auto* side = new QHBoxLayout;
    side->addWidget(edit, 0, Qt::AlignTop);
    side->addLayout(column);
    auto* middle = new QHBoxLayout;
    middle->addWidget(list_, 1);
    middle->addLayout(side);
    auto* top = new QVBoxLayout(this);
    top->setContentsMargins(6, 6, 6, 2);
    top->setSpacing(4);
    top->addWidget(hint);
    top->addLayout(commandRow);
    top->addLayout(middle, 1);
    top->addWidget(bar);

    On(add, [this] { panel_.Add(CommandText()); });
    On(insert, [this] { panel_.Insert(CommandText()); });
    On(replace, [this] { panel_.Replace(CommandText()); });
    On(remove, [this] { panel_.Remove(); });
    On(execSel, [this] { panel_.ExecuteSel(); });
    On(execute, [this] { panel_.Execute(CommandText()); });
    On(selectAll, [this] {
        command_->setFocus();
        command_->lineEdit()->selectAll();
    });
    On(load, [this] { Load(); });
    On(save, [this] {
        if (panel_.State().ScriptFileName.empty())
            SaveAs();
        else
            panel_.Save();
    });
    On(saveAs, [this] { SaveAs(); });
    On(run, [this] { panel_.Command2_Click(); });
    On(pause, [this] { panel_.Command9_Click(); });
    On(stop, [this] { panel_.Command10_Click(); });
    On(hot, [this] { panel_.SendRestart("$PQNVHOT"); });
    On(warm, [this] { panel_.SendRestart("$PQNVWARM"); });
    On(cold, [this] { panel_.SendRestart("$PQNVCOLD"); });
    On(fullCold, [this] { panel_.SendRestart("$PQNVCOLD,15"); });
    On(sendFile, [this] {
        const std::string name = AskFile("Open", false);
        if (!name.empty()) panel_.SendFromFile(name, nullptr);
    });
    On(sendComm, [this] {
        const std::string name = AskFile("Open", false);
        if (!name.empty()) panel_.SendMessagesFromFile(500, name);
    });

    Redraw();
}

CommandPanelWindow::~CommandPanelWindow() = default;

QPushButton* CommandPanelWindow::Button(const char* name, const char* caption) {
    auto* b = new QPushButton(QString::fromLatin1(caption), this);
    b->setObjectName(QString::fromLatin1(name));
    return b;
}

template <class F>
void CommandPanelWindow::On(QPushButton* b, F&& fn) {
    connect(b, &QPushButton::clicked, this, [this, name = b->objectName().toStdString(), fn]() noexcept {
        try {
            fn();
        } catch (...) {
            ErrorReport(name + "_Click");
        }
        Redraw();
    });
}

std::string CommandPanelWindow::CommandText() const { return Bytes(command_->currentText()); }

void CommandPanelWindow::SetCommandText(const std::string& text) { command_->setEditText(Show(text)); }

std::string CommandPanelWindow::AskFile(const char* title, bool save) {
    auto& prompts = platform::Prompts::Instance();
    return save ? prompts.SaveFileName(title, program_folder_, kFilter, this)
                : prompts.OpenFileName(title, program_folder_, kFilter, this);
}

void CommandPanelWindow::Load() {
    const std::string name = AskFile("Open", false);
    if (name.empty()) return;
    int16_t status = 1;
    panel_.LoadScript(name, status);
    // A file that did not load whole is not the one Save writes: its damaged
    // content would be replaced by the part that was read.
    panel_.State().ScriptFileName = status == 0 ? name : std::string();
}

void CommandPanelWindow::SaveAs() {
    const std::string name = AskFile("Save", true);
    if (name.empty()) return;
    panel_.State().ScriptFileName = name;
    panel_.SaveScript(name);
}

void CommandPanelWindow::Redraw() {
    const std::vector<std::string>& lines = panel_.Lines();
    bool same = list_->count() == static_cast<int>(lines.size());
    for (int i = 0; same && i < list_->count(); ++i) same = list_->item(i)->text() == Show(lines[static_cast<size_t>(i)]);
    if (!same) {
        QSignalBlocker block(list_);
        list_->clear();
        for (const std::string& l : lines) list_->addItem(Show(l));
    }
    if (list_->currentRow() != panel_.Selected()) {
        QSignalBlocker block(list_);
        list_->setCurrentRow(panel_.Selected());
    }
    const QString caption = Show(panel_.Caption());
    if (windowTitle() != caption) setWindowTitle(caption);
    const QString status = Show(panel_.StatusText());
    if (status_->text() != status) status_->setText(status);
}

}  // namespace bench::instruments
