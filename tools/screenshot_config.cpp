// Writes a Config.dat with two (or the number given, up to four) enabled
// receivers (RCV1 on port 1, RCV2 on port 2, ...) and a COLD test of three
// trials into the folder given, for tools/screenshots.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/session/config.h"
#include "bench/session/test_line.h"

int main(int argc, char** argv) {
    const int receivers = argc == 3 ? std::atoi(argv[2]) : 2;
    if (argc < 2 || argc > 3 || receivers < 1 || receivers > 4) {
        std::fprintf(stderr, "usage: %s FOLDER [RECEIVERS]\n", argv[0]);
        return 2;
    }
    bench::SystemConfig c;
    bench::SystemConfigReset(c);
    for (int s = 0; s < receivers; ++s) {
        c.Devices[s].DevEN = bench::FlagSet;
        c.Devices[s].DName = "RCV" + std::to_string(s + 1);
        c.Devices[s].NmeaP = static_cast<int16_t>(s + 1);
        c.Devices[s].NmeaB = 9600;
    }
    bench::TestEditorValues cold;
    cold.type = "COLD";
    cold.testField = {"3", "0", "0", "6", "10"};
    c.TestLines[0] = bench::BuildTestLine(cold);
    bench::ParseTestLine(c.TestLines[0], c.Tests[0]);
    c.Tests[0].Enabled = bench::FlagSet;
    const bench::ConfigSaveResult saved = bench::SaveSystemConfig(std::string(argv[1]) + "/Config.dat", c);
    if (!saved.ok) std::fprintf(stderr, "%s\n", saved.warning.c_str());
    return saved.ok ? 0 : 1;
}
