#include "bench/session/session_platform.h"

#include "platform/workbook/workbook.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>
#include <QTimer>
#include <filesystem>
#include <system_error>

#include "platform/core/paths.h"

namespace bench::session {

void SessionSpreadsheet::StartSessionExcel() { app_ = std::make_shared<workbook::Application>(); }

void SessionSpreadsheet::QuitSessionExcel() {
    if (app_) app_->Quit();
    app_.reset();
}

namespace fs = std::filesystem;

std::string LocalFileSystem::MapPath(const std::string& path) {
    return platform::MapStoredPath(path, program_folder_);
}

bool LocalFileSystem::MakeFolder(const std::string& path, std::string& error) {
    const fs::path p(MapPath(path));
    std::error_code ec;
    if (fs::is_directory(p, ec)) return true;
    fs::create_directories(p, ec);
    if (!ec && fs::is_directory(p)) return true;
    error = ec ? ec.message() : "not a folder";
    return false;
}

bool LocalFileSystem::FileHasData(const std::string& path) {
    std::error_code ec;
    const fs::path p(MapPath(path));
    if (!fs::is_regular_file(p, ec)) return false;
    const auto size = fs::file_size(p, ec);
    return !ec && size >= 1;
}

ClockSeededRandom::ClockSeededRandom(const platform::Clock& clock)
    : engine_(static_cast<std::mt19937_64::result_type>(clock.UtcMs())) {}

double ClockSeededRandom::Next() { return uniform_(engine_); }

void QtScheduler::SingleShot(int ms, std::function<void()> fn) {
    QTimer::singleShot(ms, QCoreApplication::instance(), [fn = std::move(fn)] {
        try {
            fn();
        } catch (...) {
            // Nothing may cross the event loop; the continuation reports its own errors.
        }
    });
}

std::string DetachedLauncher::StartDetached(const std::string& program, const std::vector<std::string>& args) {
    QString exe = QString::fromStdString(program);
    if (!exe.contains('/')) {
        const QString beside = QString::fromStdString(programs_folder_) + "/" + exe;
        const QFileInfo info(beside);
        if (info.isFile() && info.isExecutable()) {
            exe = beside;
        } else if (const QString found = QStandardPaths::findExecutable(exe); !found.isEmpty()) {
            exe = found;
        } else {
            const QString path = qEnvironmentVariable("PATH");
            return "not found beside the bench (" + beside.toStdString() + ") nor on the PATH (" +
                   (path.isEmpty() ? std::string("empty") : path.toStdString()) + ")";
        }
    }
    QStringList list;
    for (const auto& a : args) list << QString::fromStdString(a);
    if (!QProcess::startDetached(exe, list)) return "could not start " + exe.toStdString();
    return {};
}

}  // namespace bench::session
