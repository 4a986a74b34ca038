#pragma once
// What one run of navsift made. A run that produced nothing is a failure,
// whatever analysis ran: the dispatch says why, takes back every file and
// folder the run created, and ends with status 1. So that it can, every
// analysis counts what it produces here, says here what an input lacked,
// and creates its outputs through here.
#include <cstddef>
#include <cstdio>
#include <string>
#include <system_error>
#include <vector>

namespace navsift {

class ByteStream;

// Results of the run: a track point drawn, a table row of an epoch, a trial
// line, a sentence converted, a chart made.
void run_produced(std::size_t count = 1);

// Says on stderr why an input gave nothing ("PATH: WHY").
void run_input_lacks(const std::string& input, const std::string& why);
// The same for an NMEA log: the reason is that it is empty, holds no NMEA
// sentence, or holds the positions of another talker only (named) when it
// does, else `why`.
void run_log_lacks(ByteStream& log, const std::string& path, const std::string& why);
// That reason without saying it.
std::string why_log_gave_nothing(ByteStream& log, const std::string& why);

// Output files and folders: opened or made here, they are remembered (a
// file that was there before is taken back to what it held when it was
// only appended to). `mode` is an fopen mode ("wb", "ab").
std::FILE* open_output(const std::string& path, const char* mode);
// Makes `folder` and its parents; false with `ec` set when it cannot.
bool make_output_folder(const std::string& folder, std::error_code& ec);
// A file that another writer (the workbook engine, an outside program)
// creates at `path`.
void note_output(const std::string& path);

// The dispatch's side: one per run, current from its making to its end.
class RunOutcome {
public:
    RunOutcome();
    ~RunOutcome();
    RunOutcome(const RunOutcome&) = delete;
    RunOutcome& operator=(const RunOutcome&) = delete;

    // An input the command line names; an NMEA log's reason names its
    // talker.
    struct Input {
        std::string path;
        bool nmea = false;
    };
    // The exit status of the run once its analysis has returned `status`:
    // that status when something was produced; otherwise every output is
    // taken back and, where the analysis thought it succeeded, the run says
    // why (for each of `inputs` that no reason was given for) and fails.
    int Judge(int status, const std::string& analysis, const std::vector<Input>& inputs);

    std::size_t Produced() const;
};

}  // namespace navsift
