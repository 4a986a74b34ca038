#include "platform/ui/prompts.h"

#include "platform/core/diagnostics.h"

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QMainWindow>
#include <QMessageBox>
#include <cstdlib>
#include <cstring>

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

// Above every window of the bench until it is answered.
void KeepOnTop(QWidget& box) {
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
    if (const char* p = std::getenv("QT_QPA_PLATFORM"); p && std::strcmp(p, "offscreen") == 0) return true;
    return qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr;
}

void Prompts::ClearQueue() {
    answers_.clear();
    files_.clear();
    texts_.clear();
}

void Prompts::Note(std::string_view kind, std::string_view title, std::string_view text) {
    std::string line = std::string(title) + ": " + std::string(text);
    asked_.push_back(line);
    Diagnostic(std::string(kind) + " answered unattended: " + line);
}

std::vector<std::string> Prompts::NextFiles() {
    if (files_.empty()) return {};
    auto names = std::move(files_.front());
    files_.pop_front();
    return names;
}

Answer Prompts::Ask(std::string_view text, Buttons buttons, std::string_view title, Icon icon) {
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
    switch (box.exec()) {
        case QMessageBox::Yes: return Answer::Yes;
        case QMessageBox::No: return Answer::No;
        case QMessageBox::Cancel: return Answer::Cancel;
        default: return Answer::Ok;
    }
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
    const QString text = QInputDialog::getText(BoxOwner(), Q(title), Q(prompt), QLineEdit::Normal, QString(), &ok);
    return ok ? text.toStdString() : std::string();
}

std::string Prompts::OpenFileName(std::string_view title, std::string_view folder, std::string_view filter) {
    if (Unattended()) {
        Note("Open file", title, folder);
        auto names = NextFiles();
        return names.empty() ? std::string() : names.front();
    }
    return QFileDialog::getOpenFileName(BoxOwner(), Q(title), Q(folder), Q(filter)).toStdString();
}

std::vector<std::string> Prompts::OpenFileNames(std::string_view title, std::string_view folder,
                                                std::string_view filter) {
    if (Unattended()) {
        Note("Open files", title, folder);
        return NextFiles();
    }
    std::vector<std::string> out;
    for (const QString& f : QFileDialog::getOpenFileNames(BoxOwner(), Q(title), Q(folder), Q(filter)))
        out.push_back(f.toStdString());
    return out;
}

std::string Prompts::SaveFileName(std::string_view title, std::string_view folder, std::string_view filter) {
    if (Unattended()) {
        Note("Save file", title, folder);
        auto names = NextFiles();
        return names.empty() ? std::string() : names.front();
    }
    return QFileDialog::getSaveFileName(BoxOwner(), Q(title), Q(folder), Q(filter)).toStdString();
}

}  // namespace platform
