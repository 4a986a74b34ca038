#pragma once
// Starting an outside program (pdflatex): an argument list, no shell, a
// working folder of its own, no standard input, and a bound on how long it
// may run.
#include <string>
#include <vector>

namespace navsift {

struct ProgramRun {
    enum class Outcome {
        Exited,       // exit_code holds its status
        NotFound,     // no such program on PATH
        CannotStart,  // found but not started (reason in error)
        TimedOut,     // stopped after the bound
        Signalled,    // ended by a signal
    };
    Outcome outcome = Outcome::CannotStart;
    int exit_code = -1;
    std::string error;
};

// Runs argv[0] (looked up on PATH when it has no "/") in `folder` with
// standard input from /dev/null and its output into `output_file` (or
// /dev/null when empty), and waits at most `timeout_seconds` for it; a
// program still running then is killed with everything it started.
ProgramRun run_program(const std::vector<std::string>& argv, const std::string& folder, int timeout_seconds,
                       const std::string& output_file = "");

}  // namespace navsift
