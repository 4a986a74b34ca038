#pragma once
// The configuration of a test session and its binary file ("Config.dat" or
// any ".dat"). Texts hold the file's bytes (Windows-1252) so that a load
// followed by a save reproduces the file exactly; convert them with
// platform/core/codepage.h only where they are shown or edited.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/core/codepage.h"  // Cp1252ToUtf8 / Utf8ToCp1252 for showing texts

namespace bench {

// Flags are 16-bit: -1 set, 0 clear. Compare with FlagSet, never with != 0.
constexpr int16_t FlagSet = -1;
constexpr int16_t FlagClear = 0;

constexpr int DeviceSlots = 4;
constexpr int TestSlots = 128;
constexpr int ScriptFileSlots = 30;

// One receiver slot; the defaults are the dialog controls' initial values.
struct DeviceConfig {
    int16_t DevEN = FlagClear;           // slot in use
    std::string DName = "Device1";       // trimmed
    std::string LPath = "C:\\GPS_TEST\\";  // results folder as stored; see MapStoredPath
    int16_t NmeaP = 1;                   // serial port number
    int32_t NmeaB = 57600;
    int16_t DebugEN = FlagClear;
    int16_t DebugP = 1;
    int32_t DebugB = 38400;
    int16_t AStart = FlagClear;
    int16_t RLog = FlagClear;
    int16_t GLog = FlagClear;
    int16_t PLog = FlagClear;
    std::string ColdC = "$PQNVCOLD";
    std::string WarmC = "$PQNVWARM";
    std::string HotC = "$PQNVHOT";
    std::string BadPosC = "$PQNVTEST,1001,0,4400.000,S,17500.000,E,100.0";
    std::string BadNcoC;                 // set only through the NCO settings
    std::string RestartC = "$PQNVCOLD";
    std::string StartupS;
    int16_t HWRes = FlagClear;
    double StartupD = 0.0;               // seconds
    int32_t NcoStart = 0;
    int32_t NcoMax = 0;
    int32_t NcoStep = 0;

    bool operator==(const DeviceConfig&) const = default;
};

// One entry of the test list, parsed from the line of the same index.
struct TestEntry {
    int16_t Enabled = FlagClear;
    std::string Type;                    // test type keyword ("COLD", ...)
    int16_t Trials = 0;
    int16_t MinDelay = 0;                // SYNC_ tests: UTC second of the commands
    int16_t MaxDelay = 0;                // SYNC_ tests: increment of that second
    int16_t AlmanacWait = FlagClear;
    int16_t Simulator = FlagClear;
    int16_t SimSetupTime = 0;
    double EndPower = 0.0;
    double StartPower = 0.0;
    int16_t FirstSatEn = FlagClear;
    int16_t FirstSatPower = 0;
    int16_t FirstSatChannel = 0;
    double PowerStep = 0.0;
    int16_t ScriptCount = 0;             // a number, not a flag
    std::array<std::string, ScriptFileSlots> ScriptFiles{};
    double SimPower = 0.0;
    int16_t Rewind = FlagClear;
    int16_t TttrkOption = 0;             // 0 TTFF, 1 time to track
    int16_t TttrkSats = 0;
    int16_t TttrkTime = 0;
    double SimPowerRepeat = 0.0;         // copy of SimPower
    int16_t Reserved = 0;                // never written by the dialog; kept as read
    int16_t OffTime = 0;
    int16_t SingleSatEn = FlagClear;
    double SingleSatStartPower = 0.0;
    double SingleSatEndPower = 0.0;
    double SingleSatStep = 0.0;
    int16_t SingleSatChannel = 0;
    std::string ScenarioFile;
    std::string AlmanacFile;
    int16_t LabSat = FlagClear;
    std::string LabSatBinFile;
    int32_t LabSatStart = 0;
    int32_t LabSatDuration = 0;
    int16_t LabSatIterations = 0;
    int16_t LabSatAttenuation = 0;

    bool operator==(const TestEntry&) const = default;
};

// The reference antenna of the position-error reports as typed in the
// antenna-position dialog. It is no field of the record: the file keeps it
// in a block of its own after the record (see EncodeSystemConfig), which a
// bench that knows only the record reads past.
struct AntennaConfig {
    bool Stored = false;                       // the file holds one
    int16_t Use = FlagClear;                   // "Validate": the reports use it
    std::array<std::string, 6> Parts{};        // latitude degrees, minutes, decimals; the same for the longitude
    std::array<std::string, 2> Hemispheres{};  // "N"/"S", "E"/"W", or "" when none was chosen

    bool operator==(const AntennaConfig&) const = default;
};

// The whole configuration of a session; each owner keeps its own copy.
struct SystemConfig {
    std::string SimulatorType = "Spirent STR4500";
    std::string SimHostName;
    int32_t SimHostPort = 15650;         // the simulators' remote-control port
    std::array<DeviceConfig, DeviceSlots> Devices{};
    std::array<TestEntry, TestSlots> Tests{};
    std::array<std::string, TestSlots> TestLines{};  // raw line of each entry
    AntennaConfig Antenna{};                         // after the record, when stored

    bool operator==(const SystemConfig&) const = default;
};

// The simulator types the dialog offers.
inline constexpr std::array<std::string_view, 3> SimulatorTypes = {
    "Spirent STR4500", "Spirent GSS7700", "Spirent GSS6560"};

// Clears the scenario flags and scenario files of every test entry (Enabled,
// AlmanacWait, Simulator, FirstSatEn, SingleSatEn, LabSat, AlmanacFile,
// LabSatBinFile); everything else keeps its value. Run before the test list
// is parsed again, so no entry keeps a stale scenario.
void SystemConfigReset(SystemConfig& config);

// Stores the NCO range and command of one device slot (0 to 3).
// BenchError(err::BadArgument) for another slot.
void BadNCOParametersSetting(SystemConfig& config, int slot, int32_t start, int32_t max,
                             int32_t step, const std::string& command);

// ---- The file image ----------------------------------------------------------

// Size of the image when every text is empty.
constexpr std::size_t EmptyConfigImageSize = 24072;
// Longest text the 16-bit byte count can describe.
constexpr std::size_t MaxConfigTextBytes = 65535;

struct ConfigEncodeResult {
    bool ok = false;
    std::string bytes;        // the image when ok
    std::string tooLongField; // when not ok: e.g. "Devices[1].StartupS"
    std::size_t tooLongBytes = 0;
};

// The record as the file stores it: fields in order, little-endian, texts
// as a 16-bit byte count and the bytes. Fails (nothing cut) when a text
// exceeds MaxConfigTextBytes.
//
// A stored antenna position follows the record as one block: the eight
// bytes "FBANTPOS", a 16-bit byte count of what follows up to the check,
// `Use` (2 bytes), the six `Parts` and the two `Hemispheres` as texts, then
// the CRC-32 of those counted bytes (4 bytes). Without a stored position the
// image is the record alone, byte for byte as before. A bench that knows
// only the record ignores the block, as it ignores any bytes after the
// record; one that saves over the file leaves the block in place, where it
// is found again only if the record kept its length; otherwise it no longer
// starts where the record ends and the file counts as having none.
ConfigEncodeResult EncodeSystemConfig(const SystemConfig& config);

struct ConfigDecodeResult {
    SystemConfig config;      // fields read whole; the rest at their defaults
    bool complete = false;    // the whole record was present
    std::size_t bytesUsed = 0;  // end of the last field read whole
    std::string brokenField;  // when incomplete and not empty: the field cut off
    // Not empty when the bytes are no configuration record: the first field
    // whose value no record holds (a flag other than -1 or 0, a test type
    // that is no keyword, a count out of its range), where it starts and
    // what it holds. `config` is then the default record.
    std::string notARecord;
};

// Reads a record from the start of an image, and the antenna block when one
// starts right after the record, is whole and its check holds; other bytes
// after the record are ignored. `bytesUsed` is the end of the record.
// An image cut short keeps every device and test entry it holds whole; the
// one it stops in takes its defaults, and each test entry kept whose line is
// gone gets its line made again from it (TestLineFromEntry).
ConfigDecodeResult DecodeSystemConfig(std::string_view bytes);

// ---- The file ---------------------------------------------------------------

struct ConfigLoadResult {
    SystemConfig config;
    std::string warning;      // empty when the file was whole, empty or missing
    // The file is no configuration record (or cannot be read): nothing of it
    // is loaded, and whoever holds a configuration keeps it.
    bool refused = false;
};

// Reads a configuration file. A missing or empty file gives the default
// record and no warning. A file that ends inside the record gives what it
// holds whole (see DecodeSystemConfig), defaults for the rest, and a warning
// naming the file, the byte where it ends and the field it stops in. A file
// that is no record, or that cannot be read, is refused with a warning that
// says why (for bytes that are no record: where they stop making sense).
// Never creates or changes the file.
ConfigLoadResult LoadSystemConfig(const std::string& path);

struct ConfigSaveResult {
    bool ok = false;
    std::string warning;      // why nothing was saved
};

// Writes the record through a temporary file renamed over `path`, so a crash
// never leaves half a configuration. When the old file was longer, its bytes
// past the new record are kept after it, as an in-place write would leave
// them. A text too long for its count, or a file that cannot be written,
// refuses the save and leaves the old file as it was.
ConfigSaveResult SaveSystemConfig(const std::string& path, const SystemConfig& config);

// Stores `antenna` in the configuration file at `path`, its record kept byte
// for byte (a missing or empty file gets the default record). A file that
// cannot be read whole is left as it is, with the reason as the warning.
ConfigSaveResult SaveAntennaPosition(const std::string& path, const AntennaConfig& antenna);

}  // namespace bench
