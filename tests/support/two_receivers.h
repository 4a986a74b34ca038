#pragma once
// The configuration most end-to-end tests run the bench with: two receivers,
// "RCV1" and "RCV2", on two consecutive emulated ports at 9600 baud, started
// with "$PQNVRST". Header-only: only tests that link the session use it.
#include "bench/session/config.h"
#include "bench/session/test_line.h"

#include <cstdint>
#include <string>

namespace test {

// `count` receivers "RCV1", "RCV2"... on consecutive emulated ports.
inline bench::SystemConfig ReceiversConfig(int first_port, int count, bool logs = true) {
    bench::SystemConfig c;
    bench::SystemConfigReset(c);
    for (int s = 0; s < count; ++s) {
        bench::DeviceConfig& d = c.Devices[s];
        d.DevEN = bench::FlagSet;
        d.DName = "RCV" + std::to_string(s + 1);
        d.NmeaP = static_cast<int16_t>(first_port + s);
        d.NmeaB = 9600;
        d.StartupS = "$PQNVRST";
        if (logs) {
            d.GLog = bench::FlagSet;
            d.RLog = bench::FlagSet;
        }
    }
    return c;
}

inline bench::SystemConfig TwoReceiverConfig(int first_port, bool logs = true) {
    return ReceiversConfig(first_port, 2, logs);
}

// A COLD test line as the test editor makes it: `trials` trials, a wait of
// `min_wait` to `max_wait` seconds between them.
inline std::string ColdTestLine(int trials, int min_wait, int max_wait) {
    bench::TestEditorValues v;
    v.type = "COLD";
    v.testField = {std::to_string(trials), std::to_string(min_wait), std::to_string(max_wait), "6", "10"};
    return bench::BuildTestLine(v);
}

// Makes `line` the configuration's first test, enabled.
inline void SetFirstTest(bench::SystemConfig& c, const std::string& line) {
    c.TestLines[0] = line;
    bench::ParseTestLine(c.TestLines[0], c.Tests[0]);
    c.Tests[0].Enabled = bench::FlagSet;
}

// The two receivers on ports 3 and 4, restarted with "$PQNVHOT", against
// a simulator of the first dialect at 127.0.0.1:`sim_port`, with `test_line`
// as the first test.
inline bench::SystemConfig HotReceiversWithSimulator(uint16_t sim_port, const std::string& test_line) {
    bench::SystemConfig c = TwoReceiverConfig(3);
    c.SimulatorType = "Spirent STR4500";
    c.SimHostName = "127.0.0.1";
    c.SimHostPort = sim_port;
    for (int s = 0; s < 2; ++s) {
        c.Devices[s].HotC = "$PQNVHOT";
        c.Devices[s].RestartC = "$PQNVHOT";
    }
    SetFirstTest(c, test_line);
    return c;
}

}  // namespace test
