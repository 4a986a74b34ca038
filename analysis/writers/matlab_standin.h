#pragma once
// Matlab does not exist on this system: where a report would start it, the
// script is written for a machine that has it and the user is told that its
// plots were not made.
#include <string>

namespace navsift {

// Prints that `script` was written but not run. Returns 1 when the user asked
// for matlab (the analysis then fails), else 0.
int matlab_not_available(const std::string& script, bool requested);

// A text to stand between quotes in a script: Matlab quotes a "'" inside a
// text by doubling it.
std::string MatlabText(const std::string& text);

}  // namespace navsift
