#pragma once
// Where an instrument window opens the first time: inside the main window's
// frame, near its right edge, `down` pixels below its top, and always whole
// on the screen.
class QWidget;

namespace bench {

void PlaceOverMainWindow(QWidget* window, const QWidget* main_window, int down);

}  // namespace bench
