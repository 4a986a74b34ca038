#include "platform/process/program_start.h"

#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>

namespace platform {

std::vector<std::string> SplitCommandLine(const std::string& line) {
    std::vector<std::string> out;
    for (const QString& w : QProcess::splitCommand(QString::fromLocal8Bit(line.data(), static_cast<int>(line.size()))))
        out.push_back(w.toLocal8Bit().toStdString());
    return out;
}

StartedProgram StartProgram(const std::string& program, const std::vector<std::string>& args) {
    StartedProgram r;
    if (program.empty()) {
        r.error = "no program given";
        return r;
    }
    QString exe = QString::fromLocal8Bit(program.data(), static_cast<int>(program.size()));
    if (!exe.contains('/')) {
        const QString found = QStandardPaths::findExecutable(exe);
        if (found.isEmpty()) {
            r.error = "program not found: " + program;
            return r;
        }
        exe = found;
    } else {
        const QFileInfo info(exe);
        if (!info.isFile() || !info.isExecutable()) {
            r.error = "not an executable file: " + program;
            return r;
        }
    }
    QStringList list;
    for (const std::string& a : args) list << QString::fromLocal8Bit(a.data(), static_cast<int>(a.size()));
    qint64 pid = 0;
    if (!QProcess::startDetached(exe, list, QString(), &pid)) {
        r.error = "could not start " + program;
        return r;
    }
    r.ok = true;
    r.pid = pid;
    return r;
}

}  // namespace platform
