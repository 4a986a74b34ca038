#include "platform/qt/bench_window.h"

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QRadioButton>
#include <QScreen>

#include <algorithm>

#include "platform/qt/owned_window.h"
#include "platform/ui/prompts.h"

namespace platform {

namespace {

BenchWindow* BenchWindowOf(QWidget* widget) { return widget ? qobject_cast<BenchWindow*>(widget->window()) : nullptr; }

// A box the user types a line into (not a list, not a read-only text).
bool IsTextBox(const QWidget* w) {
    if (const auto* edit = qobject_cast<const QLineEdit*>(w)) return !edit->isReadOnly();
    if (const auto* combo = qobject_cast<const QComboBox*>(w)) return combo->isEditable();
    return qobject_cast<const QAbstractSpinBox*>(w) != nullptr;
}

// A button that Enter presses (a check box or an option is Space's alone).
QAbstractButton* PressButton(QWidget* w) {
    auto* button = qobject_cast<QAbstractButton*>(w);
    if (!button || qobject_cast<QCheckBox*>(button) || qobject_cast<QRadioButton*>(button)) return nullptr;
    return button;
}

bool LetterOrDigit(int key) { return (key >= Qt::Key_A && key <= Qt::Key_Z) || (key >= Qt::Key_0 && key <= Qt::Key_9); }

// Sees every key before the control that has the focus: a key that reaches
// it has matched no shortcut or mnemonic of the window.
class WindowKeys final : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::KeyPress || !watched->isWidgetType()) return false;
        auto* key = static_cast<QKeyEvent*>(event);
        auto* widget = static_cast<QWidget*>(watched);
        const Qt::KeyboardModifiers mods = key->modifiers() & ~Qt::KeypadModifier;
        if (key->key() == Qt::Key_F4 && mods == Qt::ControlModifier) return CloseChild(widget);
        BenchWindow* window = BenchWindowOf(widget);
        if (!window) return false;
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && mods == Qt::NoModifier) {
            if (QAbstractButton* button = PressButton(widget)) {
                if (button->isEnabled()) button->click();
                return true;
            }
            QAbstractButton* fallback = window->DefaultButton();
            const bool from = window->DefaultFrom() == BenchWindow::EnterFrom::AnyControl || IsTextBox(widget);
            if (from && fallback && fallback->isEnabled() && fallback->isVisible()) {
                fallback->click();
                return true;
            }
            return false;
        }
        if (mods == Qt::AltModifier && LetterOrDigit(key->key())) {
            // Never a letter typed into a box, where a person meant a menu.
            if (BenchWindowOwner* owner = window->Owner()) owner->MenuKey(QKeySequence(Qt::ALT | key->key()));
            return true;
        }
        return false;
    }

private:
    // Ctrl+F4: the workspace window that holds the focus, else a window of
    // the bench's own, as its close button.
    static bool CloseChild(QWidget* widget) {
        for (QWidget* w = widget; w; w = w->parentWidget()) {
            if (auto* sub = qobject_cast<QMdiSubWindow*>(w)) {
                sub->close();
                return true;
            }
            if (w->isWindow()) break;
        }
        if (BenchWindow* window = BenchWindowOf(widget)) {
            window->close();
            return true;
        }
        return false;
    }
};

}  // namespace

void InstallWindowKeys() {
    static QObject* keys = nullptr;
    if (keys || !QCoreApplication::instance()) return;
    keys = new WindowKeys(QCoreApplication::instance());
    QCoreApplication::instance()->installEventFilter(keys);
}

BenchWindow::BenchWindow(QWidget* owner, Placement placement) : QWidget(owner, Qt::Window), placement_(placement) {
    // Above the main window that owns it, never buried by a click there.
    MakeOwnedWindow(*this);
    InstallWindowKeys();
}

BenchWindow::~BenchWindow() = default;

void BenchWindow::SetDefaultButton(QAbstractButton* button, EnterFrom from) {
    default_ = button;
    default_from_ = from;
}

BenchWindowOwner* BenchWindow::Owner() const {
    QWidget* parent = parentWidget();
    return parent ? dynamic_cast<BenchWindowOwner*>(parent->window()) : nullptr;
}

void BenchWindow::setVisible(bool visible) {
    if (visible && !placed_ && !isVisible() && placement_ == Placement::ByOwner) {
        // Placed before it is mapped: a window manager takes the place of a
        // window not yet on the screen as its frame's.
        placed_ = true;
        ensurePolished();
        resize(ContentSize());
        if (BenchWindowOwner* owner = Owner())
            owner->PlaceBenchWindow(*this);
        else
            PlaceOnScreen(*this);
    }
    QWidget::setVisible(visible);
}

void BenchWindow::FitContents() {
    const QSize size = ContentSize();
    if (size == this->size()) return;
    resize(size);
    if (!isVisible()) return;
    if (BenchWindowOwner* owner = Owner(); owner && placement_ == Placement::ByOwner)
        owner->PlaceBenchWindow(*this);
    else
        KeepOnScreen(*this);
}

void BenchWindow::KeepWorkInView() {
    if (!isVisible() || placement_ != Placement::ByOwner) return;
    if (BenchWindowOwner* owner = Owner()) owner->PlaceBenchWindow(*this);
}

void BenchWindow::closeEvent(QCloseEvent* event) {
    const std::string question = CloseQuestion();
    if (!question.empty() &&
        Prompts::Instance().Ask(question, Buttons::YesNo, "WARNING", Icon::Question, Answer::No) != Answer::Yes) {
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

void BenchWindow::keyPressEvent(QKeyEvent* event) {
    // Here when no control of the window took it.
    if (event->key() == Qt::Key_Escape && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        close();
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

void PlaceOnScreen(QWidget& window) {
    QRect area(0, 0, 1600, 1000);
    if (const QScreen* screen = window.screen() ? window.screen() : QGuiApplication::primaryScreen())
        area = screen->availableGeometry();
    const QSize size = window.frameGeometry().size().expandedTo(window.size());
    QPoint at(area.right() - size.width() - 40, area.top() + 80);
    if (const QWidget* owner = window.parentWidget() ? window.parentWidget()->window() : nullptr) {
        const QRect m = owner->frameGeometry();
        at = QPoint(m.right() - size.width() - 40, m.top() + 80);
    }
    window.move(at);
    KeepOnScreen(window);
}

}  // namespace platform
