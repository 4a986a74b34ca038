#pragma once
// "Please wait....": the small window that shows how far a report has got.
// Modeless and without an owner; the report runs on the GUI thread, so each
// change repaints at once instead of waiting for the event loop.
//
// Object names: "ProgBar", its label "Label1" and its bar "ProgressBar1".
#include <QWidget>

#include "bench/reports/report_app.h"

class QLabel;
class QProgressBar;

namespace bench::reports {

class ProgBar : public QWidget, public Progress {
    Q_OBJECT
public:
    explicit ProgBar(QWidget* parent = nullptr);
    void Show() override;
    void Hide() override;
    void SetMax(float max) override;
    void SetValue(float value) override;
    int Max() const;
    int Value() const;

private:
    QLabel* label1_ = nullptr;
    QProgressBar* bar_ = nullptr;
};

}  // namespace bench::reports
