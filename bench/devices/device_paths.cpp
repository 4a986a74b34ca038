#include "bench/devices/device_paths.h"

#include "platform/core/paths.h"
#include "platform/qt/program_folder.h"

namespace bench {

std::string DeviceFilePath(const std::string& name) {
    const bool drive = name.size() >= 2 && name[1] == ':' &&
                       ((name[0] >= 'A' && name[0] <= 'Z') || (name[0] >= 'a' && name[0] <= 'z'));
    if (!drive && name.find('\\') == std::string::npos) return name;
    return platform::MapStoredPath(name, platform::ProgramFolder());
}

}  // namespace bench
