#include "platform/ui/prompts.h"

#include "platform/core/diagnostics.h"

#include <QApplication>
#include <QDateTime>
#include <QLocale>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QHeaderView>
#include <QRegularExpression>
#include <QScreen>
#include <QTreeView>
#include <QInputDialog>
#include <QLineEdit>
#include <QMainWindow>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace platform {

namespace {

QString Q(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

QMessageBox::Icon ToQt(Icon icon) {
    switch (icon) {
        case Icon::Information: return QMessageBox::Information;
        case Icon::Warning: return QMessageBox::Warning;
        case Icon::Critical: return QMessageBox::Critical;
        case Icon::Question: return QMessageBox::Question;
        default: return QMessageBox::NoIcon;
    }
}

Answer DefaultAnswer(Buttons b) { return (b == Buttons::YesNo || b == Buttons::YesNoCancel) ? Answer::Yes : Answer::Ok; }

// The window a box belongs to: the one the user is working in when it is on
// the screen, else the program's main window. A box without an owner opens
// wherever the window manager likes, behind the bench's windows as often as
// not; one with an owner opens centred over it.
QWidget* BoxOwner() {
    if (QWidget* modal = QApplication::activeModalWidget(); modal && modal->isVisible()) return modal;
    if (QWidget* active = QApplication::activeWindow(); active && active->isVisible()) return active;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (qobject_cast<QMainWindow*>(w) && w->isVisible()) return w;
    return nullptr;
}

// Whether a modal window keeps `window` from taking input.
bool BlockedBy(const QWidget* window, const QWidget* modal) {
    if (!window || !modal || window == modal) return false;
    for (const QWidget* p = window; p; p = p->parentWidget())
        if (p == modal) return false;  // the modal's own windows take input
    if (modal->windowModality() == Qt::ApplicationModal) return true;
    for (const QWidget* p = modal->parentWidget(); p; p = p->parentWidget())
        if (p->window() == window) return true;
    return false;
}

// A click on a window that a box blocks gives that window the focus, where
// Enter and Escape do nothing: the focus goes back to the box at once.
void WatchBlockedWindows() {
    static bool watching = false;
    if (watching || !qobject_cast<QApplication*>(QCoreApplication::instance())) return;
    watching = true;
    QObject::connect(qApp, &QGuiApplication::focusWindowChanged, qApp, [](QWindow* focus) {
        QWidget* modal = QApplication::activeModalWidget();
        if (!focus || !modal || !modal->isVisible()) return;
        QWidget* window = nullptr;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->windowHandle() == focus) window = w;
        if (!BlockedBy(window, modal)) return;
        QTimer::singleShot(0, modal, [box = QPointer<QWidget>(modal)] {
            if (!box || !box->isVisible()) return;
            box->raise();
            box->activateWindow();
        });
    });
}

// Above every window of the bench until it is answered.
void KeepOnTop(QWidget& box) {
    WatchBlockedWindows();
    box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
}

}  // namespace

Prompts& Prompts::Instance() {
    static Prompts prompts;
    return prompts;
}

bool Prompts::Unattended() const {
    if (unattended_override_ >= 0) return unattended_override_ == 1;
    if (const char* u = std::getenv("FIXBENCH_UNATTENDED"); u && *u && std::strcmp(u, "0") != 0) return true;
    // "offscreen" may carry options ("offscreen:configfile=...").
    if (const char* p = std::getenv("QT_QPA_PLATFORM"); p && std::strncmp(p, "offscreen", 9) == 0) return true;
    return qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr;
}

void Prompts::ClearQueue() {
    answers_.clear();
    files_.clear();
    texts_.clear();
}

void Prompts::Note(std::string_view kind, std::string_view title, std::string_view text, bool logged) {
    std::string line = std::string(title) + ": " + std::string(text);
    asked_.push_back(line);
    if (!logged) Diagnostic(std::string(kind) + " answered unattended: " + line);
}

std::vector<std::string> Prompts::NextFiles() {
    if (files_.empty()) return {};
    auto names = std::move(files_.front());
    files_.pop_front();
    return names;
}

Answer Prompts::Ask(std::string_view text, Buttons buttons, std::string_view title, Icon icon,
                    std::optional<Answer> enter) {
    if (Unattended()) {
        Note("Question", title, text);
        if (answers_.empty()) return DefaultAnswer(buttons);
        Answer a = answers_.front();
        answers_.pop_front();
        return a;
    }
    QMessageBox box(ToQt(icon), Q(title), Q(text), QMessageBox::NoButton, BoxOwner());
    KeepOnTop(box);
    switch (buttons) {
        case Buttons::Ok: box.setStandardButtons(QMessageBox::Ok); break;
        case Buttons::OkCancel: box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel); break;
        case Buttons::YesNo: box.setStandardButtons(QMessageBox::Yes | QMessageBox::No); break;
        case Buttons::YesNoCancel:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
            break;
    }
    if (enter) {
        static constexpr std::pair<Answer, QMessageBox::StandardButton> kButtons[] = {
            {Answer::Ok, QMessageBox::Ok}, {Answer::Cancel, QMessageBox::Cancel},
            {Answer::Yes, QMessageBox::Yes}, {Answer::No, QMessageBox::No}};
        for (const auto& [answer, button] : kButtons)
            if (answer == *enter && box.button(button)) box.setDefaultButton(button);
    }
    switch (box.exec()) {
        case QMessageBox::Yes: return Answer::Yes;
        case QMessageBox::No: return Answer::No;
        case QMessageBox::Cancel: return Answer::Cancel;
        default: return Answer::Ok;
    }
}

void Prompts::InformLogged(std::string_view text, std::string_view title, Icon icon) {
    if (Unattended()) {
        Note("Message", title, text, true);
        return;
    }
    Inform(text, title, icon);
}

void Prompts::Inform(std::string_view text, std::string_view title, Icon icon) {
    if (Unattended()) {
        Note("Message", title, text);  // nothing to answer: the queue is left for questions
        return;
    }
    auto* box = new QMessageBox(ToQt(icon), Q(title), Q(text), QMessageBox::Ok, BoxOwner());
    box->setAttribute(Qt::WA_DeleteOnClose);
    KeepOnTop(*box);
    box->open();
}

std::string Prompts::AskText(std::string_view prompt, std::string_view title) {
    if (Unattended()) {
        Note("Input", title, prompt);
        if (texts_.empty()) return {};
        std::string t = std::move(texts_.front());
        texts_.pop_front();
        return t;
    }
    bool ok = false;
    WatchBlockedWindows();
    const QString text = QInputDialog::getText(BoxOwner(), Q(title), Q(prompt), QLineEdit::Normal, QString(), &ok);
    return ok ? text.toStdString() : std::string();
}

std::string Prompts::DialogFolder(std::string_view folder, std::string_view filter) const {
    const auto it = folders_.find(filter);
    if (it != folders_.end() && QFileInfo(Q(it->second)).isDir()) return it->second;
    return std::string(folder);
}

std::string Prompts::WithFilterExtension(std::string name, std::string_view filter) {
    if (name.empty()) return name;
    const auto slash = name.find_last_of('/');
    const std::string_view base = std::string_view(name).substr(slash == std::string::npos ? 0 : slash + 1);
    if (base.find('.') != std::string_view::npos) return name;
    static const QRegularExpression pattern(QStringLiteral("\\*\\.([A-Za-z0-9_]+)"));
    const QRegularExpressionMatch m = pattern.match(Q(filter));
    if (m.hasMatch()) name += "." + m.captured(1).toStdString();
    return name;
}

std::unique_ptr<QFileDialog> Prompts::MakeFileDialog(std::string_view title, std::string_view folder,
                                                     std::string_view filter, bool save, bool many, QWidget* owner) {
    auto d = std::make_unique<QFileDialog>(owner ? owner->window() : BoxOwner(), Q(title), Q(folder), Q(filter));
    // The desktop's own dialog cannot be sized; ours can.
    d->setOption(QFileDialog::DontUseNativeDialog);
    d->setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    d->setFileMode(save ? QFileDialog::AnyFile : many ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
    d->setViewMode(QFileDialog::Detail);
    const QFontMetrics fm(d->font());
    // Result and log names run to 60 characters, mostly capitals and digits.
    const int name = fm.horizontalAdvance(QString(kReadableNameChars, QLatin1Char('D'))) + 40;
    int others = 0;
    if (auto* tree = d->findChild<QTreeView*>(QStringLiteral("treeView"))) {
        QHeaderView* header = tree->header();
        header->resizeSection(0, name);
        // Size, type and date whole too.
        const QString samples[] = {QStringLiteral("1023.99 KB"), QStringLiteral("plain text document"),
                                   QLocale().toString(QDateTime::currentDateTime(), QLocale::ShortFormat)};
        for (int i = 1; i < header->count() && i <= 3; ++i)
            header->resizeSection(i, std::max(header->sectionSize(i), fm.horizontalAdvance(samples[i - 1]) + 24));
        for (int i = 1; i < header->count(); ++i) others += header->sectionSize(i);
    }
    int sidebar = 0;
    if (auto* side = d->findChild<QWidget*>(QStringLiteral("sidebar"))) sidebar = side->sizeHint().width();
    QSize size(sidebar + name + others + 80, std::max(d->sizeHint().height(), 32 * fm.height()));
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        size = size.boundedTo(screen->availableGeometry().size() * 0.95);
    d->resize(size.expandedTo(d->sizeHint()));
    return d;
}

std::vector<std::string> Prompts::PickFiles(std::string_view kind, std::string_view title, std::string_view folder,
                                            std::string_view filter, bool save, bool many, QWidget* owner) {
    const std::string start = DialogFolder(folder, filter);
    std::vector<std::string> names;
    if (Unattended()) {
        Note(kind, title, start);
        names = NextFiles();
    } else {
        std::unique_ptr<QFileDialog> d = MakeFileDialog(title, start, filter, save, many, owner);
        // The window the dialog is for, and the control there that the keys
        // go back to (Qt would give them to the dialog's parent window,
        // which may be another than the one being worked in).
        const QPointer<QWidget> window = d->parentWidget();
        QPointer<QWidget> had = window ? window->focusWidget() : nullptr;
        if (QWidget* focus = QApplication::focusWidget(); focus && window && focus->window() == window) had = focus;
        WatchBlockedWindows();
        if (d->exec() == QDialog::Accepted)
            for (const QString& f : d->selectedFiles()) names.push_back(f.toStdString());
        d.reset();
        if (window && window->isVisible()) {
            window->raise();
            window->activateWindow();
            if (had && had->isVisible() && had->isEnabled()) had->setFocus(Qt::OtherFocusReason);
        }
    }
    if (save)
        for (std::string& n : names) n = WithFilterExtension(std::move(n), filter);
    if (!names.empty() && !names.front().empty())
        folders_[std::string(filter)] = QFileInfo(Q(names.front())).absolutePath().toStdString();
    return names;
}

std::string Prompts::OpenFileName(std::string_view title, std::string_view folder, std::string_view filter,
                                  QWidget* owner) {
    auto names = PickFiles("Open file", title, folder, filter, false, false, owner);
    return names.empty() ? std::string() : names.front();
}

std::vector<std::string> Prompts::OpenFileNames(std::string_view title, std::string_view folder,
                                                std::string_view filter, QWidget* owner) {
    return PickFiles("Open files", title, folder, filter, false, true, owner);
}

std::string Prompts::SaveFileName(std::string_view title, std::string_view folder, std::string_view filter,
                                  QWidget* owner) {
    auto names = PickFiles("Save file", title, folder, filter, true, false, owner);
    return names.empty() ? std::string() : names.front();
}

}  // namespace platform
