#pragma once
// The LabSat sub-machine: while the test state machine is in state 13 it
// replays a recorded RF file on the LabSat unit once per iteration, one step
// per tick: logs, receivers' cold start, bin file, attenuation, start
// offset, start, the replay's duration, stop, next iteration.
//
// A LabSat operation that does not reach the unit ends the test as failed
// (system log and status bar) and counts among the session's failed
// entries; a replay that was never sent is never counted as run.
#include <cstdint>
#include <string>

namespace bench::session {

class TestEngine;
struct SessionServices;

class LabSatTestMachine {
public:
    LabSatTestMachine(TestEngine& engine, SessionServices& services) : engine_(engine), services_(services) {}

    // One step; sub-state 6 (all replays done, or failed) lets the test
    // state machine end the test.
    void LabSatTestStateMachine();

private:
    void Status(const std::string& text);
    void Fail(const std::string& what, int16_t replay);

    TestEngine& engine_;
    SessionServices& services_;
    int64_t replay_start_ms_ = 0;
};

}  // namespace bench::session
