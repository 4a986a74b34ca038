#include "platform/qt/program_folder.h"

#include <QDir>
#include <cstdlib>

namespace platform {

namespace {

std::string StripSlash(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

}  // namespace

std::string ProgramFolder() {
    if (const char* home = std::getenv("FIXBENCH_HOME"); home && *home) {
        QDir().mkpath(QString::fromLocal8Bit(home));
        return StripSlash(home);
    }
    std::string base;
    if (const char* user = std::getenv("HOME"); user && *user)
        base = std::string(user) + "/.local/share";
    else
        base = "/tmp";
    std::string folder = StripSlash(base) + "/fixbench";
    QDir().mkpath(QString::fromStdString(folder));
    return folder;
}

std::string ProgramFile(std::string_view name) {
    return ProgramFolder() + "/" + std::string(name);
}

}  // namespace platform
