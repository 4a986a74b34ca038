#pragma once
// The "Command Panel" window: the script list, the command box with its
// templates and help texts, the edit, file, run and restart buttons and the
// file-sending buttons. It draws the panel's state and forwards the clicks;
// everything it does is done by CommandPanel.
//
// Object names are the controls' names: "List1", "CommandList",
// "CommandHlpList", "Text1", "CPSb" (first panel "CPSb_1"), "Command1" to
// "Command25", "SendF", "List2".
#include "platform/qt/bench_window.h"

#include <string>

class QComboBox;
class QLabel;
class QListWidget;
class QPushButton;

namespace bench::instruments {

class CommandPanel;

class CommandPanelWindow : public platform::BenchWindow {
    Q_OBJECT
public:
    CommandPanelWindow(CommandPanel& panel, std::string program_folder, QWidget* parent = nullptr);
    ~CommandPanelWindow() override;

    // The command box's text as the panel takes it (8-bit code page).
    std::string CommandText() const;
    void SetCommandText(const std::string& text);

    void Redraw();

private:
    QPushButton* Button(const char* name, const char* caption);
    template <class F>
    void On(QPushButton* b, F&& fn);
    void Load();
    void SaveAs();
    std::string AskFile(const char* title, bool save);

    CommandPanel& panel_;
    std::string program_folder_;
    QListWidget* list_ = nullptr;
    QComboBox* command_ = nullptr;
    QListWidget* help_ = nullptr;
    QLabel* status_ = nullptr;
};

}  // namespace bench::instruments
