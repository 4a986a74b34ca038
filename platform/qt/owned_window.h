#pragma once
// Windows that belong to another window (the main window, a device window):
// under a window manager they stay above their owner, as its dialogs do,
// and they open wholly on the screen.
class QWidget;

namespace platform {

// Makes `window` a top-level window owned by its parent's window (call it
// before the window is first shown). It keeps its title bar, its minimise,
// maximise and close buttons, and its modelessness.
void MakeOwnedWindow(QWidget& window);

// Moves `window` the least needed for the whole of it, title bar and borders
// included, to lie on the available area of its screen.
void KeepOnScreen(QWidget& window);

}  // namespace platform
