#include "bench/session/dialog_prompts.h"

#include "bench/devices/system_log.h"
#include "platform/core/error.h"
#include "platform/qt/program_folder.h"
#include "platform/ui/prompts.h"

#include <QStringList>

#include <exception>

namespace bench {
namespace {

// "Config File (*.dat)|*.dat" -> "Config File (*.dat)"; pairs joined by ";;".
std::string QtFilter(const QString& filter) {
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList labels;
    for (int i = 0; i < parts.size(); i += 2) labels << parts[i];
    return labels.join(QStringLiteral(";;")).toStdString();
}

}  // namespace

void WarnUser(QWidget*, const QString& text) {
    platform::Prompts::Instance().Inform(text.toStdString(), "WARNING", platform::Icon::Warning);
}

bool AskYesNo(QWidget*, const QString& title, const QString& text, bool noOnEnter) {
    return platform::Prompts::Instance().Ask(text.toStdString(), platform::Buttons::YesNo, title.toStdString(),
                                             platform::Icon::Question,
                                             noOnEnter ? std::optional(platform::Answer::No) : std::nullopt) ==
           platform::Answer::Yes;
}

QString PickFileToOpen(QWidget* parent, const QString& title, const QString& filter, const QString& folder) {
    return QString::fromStdString(platform::Prompts::Instance().OpenFileName(title.toStdString(), folder.toStdString(),
                                                                             QtFilter(filter), parent));
}

QString PickFileToSave(QWidget* parent, const QString& title, const QString& filter, const QString& folder) {
    return QString::fromStdString(platform::Prompts::Instance().SaveFileName(title.toStdString(), folder.toStdString(),
                                                                             QtFilter(filter), parent));
}

QString ProgramFolder() { return QString::fromStdString(platform::ProgramFolder()); }

void ReportTrappedError(const std::string& description, const std::string& procedure) {
    ErrorReport(procedure, std::make_exception_ptr(platform::BenchError(platform::err::FileIo, description)));
}

}  // namespace bench
