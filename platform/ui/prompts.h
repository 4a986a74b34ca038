#pragma once
// Message boxes and file dialogs behind one service. Interactive runs show the
// real dialog. Unattended runs and tests never show one: each question is
// logged and answered from a queue (or with its default when the queue is
// empty), so nothing can block.
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class QFileDialog;
class QWidget;

namespace platform {

enum class Buttons { Ok, OkCancel, YesNo, YesNoCancel };
enum class Answer { Ok, Cancel, Yes, No };
enum class Icon { None, Information, Warning, Critical, Question };

class Prompts {
public:
    // The one service of the process.
    static Prompts& Instance();

    // Unattended at start when QT_QPA_PLATFORM is "offscreen" or
    // FIXBENCH_UNATTENDED is set, or when no QApplication exists.
    bool Unattended() const;
    void SetUnattended(bool on) { unattended_override_ = on ? 1 : 0; }

    // Answers used by the next questions, in order.
    void QueueAnswer(Answer a) { answers_.push_back(a); }
    void QueueFileNames(std::vector<std::string> names) { files_.push_back(std::move(names)); }
    void QueueFileName(std::string name) { QueueFileNames({std::move(name)}); }
    void QueueText(std::string text) { texts_.push_back(std::move(text)); }
    void ClearQueue();

    // Every question asked while unattended, as "title: text".
    const std::vector<std::string>& Asked() const { return asked_; }
    void ClearAsked() { asked_.clear(); }

    // A box the caller waits on. Enter presses the button that has the
    // focus; where none has, `enter` (none given: the first button).
    // A question that ends or deletes something passes its safe answer
    // (No, Cancel) there. Unattended: the next queued answer, else the
    // first button's answer (Ok or Yes).
    Answer Ask(std::string_view text, Buttons buttons, std::string_view title, Icon icon = Icon::None,
               std::optional<Answer> enter = std::nullopt);

    // A box with one OK button that the caller does not wait for (no nested
    // event loop in device code).
    void Inform(std::string_view text, std::string_view title, Icon icon = Icon::Information);
    // The same for a text its caller has written to the system log itself:
    // unattended, the box is noted (Asked) but its text not logged twice.
    void InformLogged(std::string_view text, std::string_view title, Icon icon = Icon::Information);

    // An input box: the typed text, or "" on Cancel. Unattended: the next
    // queued text, else "".
    std::string AskText(std::string_view prompt, std::string_view title);

    // File dialogs; an empty result (or list) means cancelled. filter is in
    // Qt form, e.g. "Text files (*.txt);;All files (*)". A dialog opens in
    // the folder of the file last chosen with the same filter (while that
    // folder exists), else in `folder`. A name chosen to save without an
    // extension gets the filter's ("myscript" -> "myscript.txt"). The
    // dialog opens over `owner` (none: the window in use) and, answered or
    // cancelled, gives the keys back to the control that had them there.
    std::string OpenFileName(std::string_view title, std::string_view folder, std::string_view filter,
                             QWidget* owner = nullptr);
    std::vector<std::string> OpenFileNames(std::string_view title, std::string_view folder,
                                           std::string_view filter, QWidget* owner = nullptr);
    std::string SaveFileName(std::string_view title, std::string_view folder, std::string_view filter,
                             QWidget* owner = nullptr);

    // Where the next dialog for `filter` opens.
    std::string DialogFolder(std::string_view folder, std::string_view filter) const;
    void ForgetFolders() { folders_.clear(); }

    // `name` with the first "*.ext" of `filter` appended when its file name
    // has no extension of its own.
    static std::string WithFilterExtension(std::string name, std::string_view filter);

    // The dialog shown to a person: the bench's own (not the desktop's), in
    // detail view, wide enough for file names of 60 characters.
    static std::unique_ptr<QFileDialog> MakeFileDialog(std::string_view title, std::string_view folder,
                                                       std::string_view filter, bool save, bool many = false,
                                                       QWidget* owner = nullptr);
    static constexpr int kReadableNameChars = 60;

    // The title of the program's own boxes.
    static constexpr const char* kProgramTitle = "Fixbench";

private:
    void Note(std::string_view kind, std::string_view title, std::string_view text, bool logged = false);
    std::vector<std::string> NextFiles();
    // Runs the dialog, or takes the queued names when unattended.
    std::vector<std::string> PickFiles(std::string_view kind, std::string_view title, std::string_view folder,
                                       std::string_view filter, bool save, bool many, QWidget* owner);
    std::map<std::string, std::string, std::less<>> folders_;  // filter -> last folder
    int unattended_override_ = -1;
    std::deque<Answer> answers_;
    std::deque<std::vector<std::string>> files_;
    std::deque<std::string> texts_;
    std::vector<std::string> asked_;
};

}  // namespace platform
