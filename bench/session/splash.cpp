#include "bench/session/splash.h"

#include <QFrame>
#include <QLabel>
#include <QVBoxLayout>

#include "bench/devices/system_log.h"
#include "platform/qt/bench_timer.h"

namespace bench {

QString ReleaseText(ProgramVersion version) {
    return QString("release %1.%2.%3").arg(version.major).arg(version.minor).arg(version.revision);
}

frmSplash::frmSplash(ProgramVersion version, std::function<void()> show_main, QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint), show_main_(std::move(show_main)) {
    setObjectName("frmSplash");
    setAttribute(Qt::WA_DeleteOnClose);
    auto* frame = new QFrame(this);
    frame->setObjectName("Frame1");
    frame->setFrameShape(QFrame::Box);
    frame->setLineWidth(2);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(frame);
    auto* box = new QVBoxLayout(frame);
    box->setContentsMargins(30, 24, 30, 24);
    box->setSpacing(10);

    auto label = [&](const char* name, const QString& text, int point_size, bool bold) {
        auto* l = new QLabel(text, frame);
        l->setObjectName(name);
        QFont f = l->font();
        if (point_size > 0) f.setPointSize(point_size);
        f.setBold(bold);
        l->setFont(f);
        l->setAlignment(Qt::AlignCenter);
        box->addWidget(l);
        return l;
    };
    label("lblCompanyProduct", "GPS Receiver Test Bench", 11, false);
    lblProductName_ = label("lblProductName", "Fix Bench", 26, true);
    lblVersion_ = label("lblVersion", ReleaseText(version), 11, false);
    label("lblPlatform", "Linux", 9, false);
    // 6000 x 3000 twips.
    resize(400, 200);

    timer1_ = std::make_unique<platform::QtTimer>(1000, true);
    timer1_->SetTickHandler([this] { Timer1_Timer(); });
}

frmSplash::~frmSplash() = default;

bool frmSplash::TimerEnabled() const { return timer1_->Enabled(); }

void frmSplash::Timer1_Timer() {
    timer1_->SetEnabled(false);
    if (show_main_) {
        auto show = std::move(show_main_);
        show_main_ = nullptr;
        try {
            show();
        } catch (...) {
            ErrorReport("Timer1_Timer");
        }
    }
    close();
}

}  // namespace bench
