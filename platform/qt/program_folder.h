#pragma once
// The program folder: where Config.dat, ComPorts.txt and SystemLogs live.
// $FIXBENCH_HOME when set (tests always set it); else ~/.local/share/fixbench,
// created on demand. Never the executable's folder: a person's configuration
// and recordings do not belong in a build tree, which a clean deletes.
#include <string>
#include <string_view>

namespace platform {

// Without a trailing "/". Looked up afresh on every call, so a test that
// changes $FIXBENCH_HOME gets the new folder.
std::string ProgramFolder();

// ProgramFolder() & "/" & name.
std::string ProgramFile(std::string_view name);

}  // namespace platform
