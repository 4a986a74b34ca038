#pragma once
// The boxes and file pickers the session dialogs raise, in one place so
// every one goes through the bench's prompt service (which tests answer).
#include <QString>

#include <string>

class QWidget;

namespace bench {

// A warning box titled "WARNING".
void WarnUser(QWidget* parent, const QString& text);
// A Yes/No question; true for Yes. Enter answers No where `noOnEnter`
// (a question that deletes something).
bool AskYesNo(QWidget* parent, const QString& title, const QString& text, bool noOnEnter = false);
// File pickers; `filter` in the "Label (*.ext)|*.ext" form. Empty when cancelled.
QString PickFileToOpen(QWidget* parent, const QString& title, const QString& filter, const QString& folder);
QString PickFileToSave(QWidget* parent, const QString& title, const QString& filter, const QString& folder);
// The program folder (where "Config.dat" lives).
QString ProgramFolder();
// A line in the system log for an error trapped in `procedure`.
void ReportTrappedError(const std::string& description, const std::string& procedure);

}  // namespace bench
