#pragma once
// The start-up window: shows the product and its release for about a second,
// then hands over to the main window and goes.
//
// Object names: "frmSplash", labels "lblProductName", "lblVersion",
// "lblCompanyProduct", "lblPlatform"; timer Timer1 (1000 ms).
#include <QWidget>

#include <functional>
#include <memory>

#include "bench/session/small_dialogs.h"

class QLabel;

namespace platform {
class QtTimer;
}

namespace bench {

class frmSplash : public QWidget {
    Q_OBJECT
public:
    // `show_main` creates the main window when it does not exist yet and
    // shows it; it runs once, on the first tick.
    frmSplash(ProgramVersion version, std::function<void()> show_main, QWidget* parent = nullptr);
    ~frmSplash() override;

    // The first tick: stop, show the main window, unload.
    void Timer1_Timer();
    bool TimerEnabled() const;

private:
    std::unique_ptr<platform::QtTimer> timer1_;
    std::function<void()> show_main_;
    QLabel* lblProductName_ = nullptr;
    QLabel* lblVersion_ = nullptr;
};

// "release 1.0.0": the numbers in decimal without leading blanks.
QString ReleaseText(ProgramVersion version);

}  // namespace bench
