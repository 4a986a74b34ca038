#include "bench/session/labsat_test_machine.h"

#include "bench/devices/statistics.h"
#include "bench/session/test_engine.h"
#include "platform/core/clock.h"

namespace bench::session {

namespace {
constexpr const char* kColdStart = "$PQNVCOLD";
}

void LabSatTestMachine::Status(const std::string& text) {
    if (services_.status) services_.status->StatusBarMessage(1, text);
}

void LabSatTestMachine::Fail(const std::string& what, int16_t replay) {
    const TestRun& r = engine_.Run();
    engine_.LabSatSubState = 6;
    const std::string text = "LabSat test " + r.TestType + " (" + r.LabSatBinFile + ") failed: " + what +
                             " in replay " + std::to_string(replay + 1);
    if (services_.log) services_.log->WriteLine(text);
    Status(text);
    engine_.EntryFailed(text);
}

void LabSatTestMachine::LabSatTestStateMachine() {
    TestRun& r = engine_.Run();
    DeviceFanout& fanout = engine_.Fanout();
    ILabSat* unit = services_.labsat;
    int16_t& sub = engine_.LabSatSubState;
    if (!unit && sub >= 0 && sub <= 7 && sub != 6) {
        Fail("no LabSat unit", r.LabSatIteration);
        return;
    }
    // Each step moves on before its side effects, so a step that fails is
    // never repeated by the next tick.
    switch (sub) {
    case 7:
        sub = 1;
        Status("Labsat Logging Initializing");
        fanout.InitNemaDebugLogging(r.TestIndex, FileBaseName(r.LabSatBinFile), "L" + std::to_string(r.LabSatIteration));
        fanout.SendTestCommandToDevice(kColdStart);
        break;
    case 0:
        sub = 1;
        Status("Labsat Initializing");
        fanout.TestingChangePrimaryLogFile("L" + std::to_string(r.LabSatIteration) + ".txt");
        fanout.SendTestCommandToDevice(kColdStart);
        break;
    case 1:
        sub = 2;
        Status("Labsat Setting bin file");
        if (!unit->LabSatSetBinFile(r.LabSatBinFile)) Fail("the bin file was not set", r.LabSatIteration);
        break;
    case 2:
        sub = 3;
        Status("Labsat Setting attenuation");
        if (!unit->LabSatSetAttenuation(r.LabSatAttenuation)) Fail("the attenuation was not set", r.LabSatIteration);
        break;
    case 3:
        sub = 4;
        Status("Labsat Setting start time");
        if (!unit->LabSatSetStartTime(r.LabSatStart)) Fail("the start time was not set", r.LabSatIteration);
        break;
    case 4:
        sub = 5;
        Status("Labsat Start replay");
        engine_.ReplayStart = services_.clock->Now();
        replay_start_ms_ = services_.clock->MonotonicMs();
        if (!unit->LabSatSetStartReplay()) Fail("the replay was not started", r.LabSatIteration);
        break;
    case 5: {
        // Elapsed time of the replay itself: neither midnight nor a clock
        // step of the PC changes how long it runs.
        const int64_t elapsed = (services_.clock->MonotonicMs() - replay_start_ms_) / 1000;
        Status("Labsat Running " + std::to_string(r.LabSatDuration - elapsed));
        if (elapsed <= r.LabSatDuration) break;
        const int16_t replay = r.LabSatIteration++;
        // An iteration count below 1 still runs one replay, never an endless series.
        sub = r.LabSatIteration >= r.LabSatIterations ? 6 : 0;
        if (!unit->LabSatSetStopReplay()) Fail("the replay was not stopped", replay);
        fanout.TestingEndPrimaryLogging();
        break;
    }
    default:
        break;
    }
}

}  // namespace bench::session
