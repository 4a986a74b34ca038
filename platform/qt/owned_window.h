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

// Tells the window manager again which window owns `window`. A window shown
// before its owner reached the screen is taken as a window of its own (the
// manager reads the owner once, when the window appears, and finds none), and
// is buried at the first click on its owner. Showing it again instead races
// with the manager and can leave it unmapped for good. Only X11 needs this.
void RestateOwner(QWidget& window);

// Moves `window` the least needed for the whole of it, title bar and borders
// included, to lie on the available area of its screen.
void KeepOnScreen(QWidget& window);

}  // namespace platform
