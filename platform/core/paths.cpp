#include "platform/core/paths.h"

#include "platform/core/codepage.h"

#include <algorithm>

namespace platform {

std::string JoinPath(std::string_view folder, std::string_view name) {
    if (folder.empty()) return std::string(name);
    std::string out(folder);
    if (out.back() == '/' && !name.empty() && name.front() == '/') name.remove_prefix(1);
    else if (out.back() != '/' && !name.empty() && name.front() != '/') out += '/';
    out += name;
    return out;
}

std::string MapStoredPath(std::string_view stored, std::string_view programFolder) {
    std::string path = Cp1252ToUtf8(stored);
    std::replace(path.begin(), path.end(), '\\', '/');
    const bool drive = path.size() >= 2 && path[1] == ':' &&
                       ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
    if (!drive) return path;
    std::string rest = path.substr(2);
    if (rest.empty()) return std::string(programFolder);
    // "C:\" alone is the program folder itself, kept with its trailing "/".
    if (rest == "/") return JoinPath(programFolder, "/");
    return JoinPath(programFolder, rest);
}

}  // namespace platform
