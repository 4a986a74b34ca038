#pragma once
// The one base of the bench's windows that are not dialogs (the results
// grid, the instruments, the script panel, the replay's controls, the task
// monitor, the antenna position and position windows). Each takes the
// keyboard as the bench's dialogs do and opens where its owner keeps the
// work in view:
//  - Enter presses the button that has the focus; in a text box, the
//    window's default button when it has one (else nothing). Space is the
//    buttons' own, as ever.
//  - Alt+letter reaches the window's own mnemonics and else its owner's
//    menus; it never types into a box.
//  - Escape and Ctrl+F4 close the window as its close button does (a
//    window kept for the life of the program is hidden). A close that would
//    stop something under way asks first, and Enter answers No.
//  - The first show opens it at the size of its contents, placed by its
//    owner (the main window) before it reaches the screen.
// Ctrl+F4 also closes the window of the main window's workspace that has the
// focus, as its close button does.
#include <QWidget>

#include <string>

class QAbstractButton;
class QKeySequence;

namespace platform {

// What the main window does for the windows it owns.
class BenchWindowOwner {
public:
    virtual ~BenchWindowOwner() = default;
    // Moves (and, short of room, resizes) a window about to be shown for the
    // first time, or whose contents changed size.
    virtual void PlaceBenchWindow(QWidget& window) = 0;
    // An Alt+letter that no control of the window answers; true when one of
    // the owner's menus took it.
    virtual bool MenuKey(const QKeySequence& key) = 0;
};

class BenchWindow : public QWidget {
    Q_OBJECT
public:
    enum class Placement {
        ByOwner,  // the owner places it at its first show
        Own,      // the window places itself (the position window's rule)
    };
    // A top-level window owned by `owner`'s window: above it, as its
    // dialogs are, with its own title bar and buttons.
    explicit BenchWindow(QWidget* owner, Placement placement = Placement::ByOwner);
    ~BenchWindow() override;

    // Where Enter presses the window's default button from.
    enum class EnterFrom {
        TextBoxes,   // the boxes a line is typed into
        AnyControl,  // every control but a button, as in a dialog
    };
    // The button that Enter presses where no button has the focus.
    void SetDefaultButton(QAbstractButton* button, EnterFrom from = EnterFrom::TextBoxes);
    QAbstractButton* DefaultButton() const { return default_; }
    EnterFrom DefaultFrom() const { return default_from_; }

    // The size the window opens at: its contents'.
    virtual QSize ContentSize() const { return sizeHint(); }
    // Its contents changed: sized to them again (the top left kept), and
    // placed anew by its owner when it now covers what the owner keeps in
    // view.
    void FitContents();
    // Windows opened beneath it (a replay's device windows): placed anew by
    // its owner when it now covers what the owner keeps in view.
    void KeepWorkInView();

    // The owner that places the window and answers its menu keys (null
    // when its parent is none).
    BenchWindowOwner* Owner() const;

    void setVisible(bool visible) override;

protected:
    // Non-empty while closing would stop something under way: the question
    // asked before the window closes.
    virtual std::string CloseQuestion() const { return {}; }
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    Placement placement_;
    bool placed_ = false;
    QAbstractButton* default_ = nullptr;
    EnterFrom default_from_ = EnterFrom::TextBoxes;
};

// The keyboard rules above, for every window of the program: installed once
// (the first BenchWindow does it; the main window too, for its workspace).
void InstallWindowKeys();

// Where a window opens that has no owner to place it: near the top right
// of its screen, whole on it.
void PlaceOnScreen(QWidget& window);

}  // namespace platform
