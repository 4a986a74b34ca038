#pragma once
// Starting another program without a shell and without waiting for it.
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// Splits a command line as a user types it: blanks separate words, double
// quotes group words with blanks ("C:\My Tools\x.exe" -a).
std::vector<std::string> SplitCommandLine(const std::string& line);

struct StartedProgram {
    bool ok = false;
    int64_t pid = 0;      // the started process
    std::string error;    // why it did not start
};

// Starts program with args detached; nothing goes through a shell.
StartedProgram StartProgram(const std::string& program, const std::vector<std::string>& args);

}  // namespace platform
