// The script command language: one line is a word and up to eleven fields,
// each introduced by ">". The table below is the language: each word, the
// conversion of each field it reads, and what it does.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <limits>
#include <vector>

#include "bench/devices/system_log.h"
#include "bench/instruments/command_panel.h"
#include "platform/core/clock.h"
#include "platform/core/codepage.h"
#include "platform/core/error.h"
#include "platform/core/numtext.h"

namespace bench::instruments {

namespace {

enum class Conv : uint8_t { Text, Int, Long, Byte, Real, LenientReal, Flag, Time };

// A field that fails its conversion: the line is not run.
struct FieldError {
    int field;
    std::string why;
};

// "h:mm:ss" or "h:mm", hours 0 to 23; seconds since midnight.
bool ParseTimeOfDay(const std::string& text, double& seconds) {
    const std::string t = platform::Trim(text);
    int parts[3] = {0, 0, 0};
    int count = 0;
    size_t i = 0;
    while (count < 3) {
        size_t digits = 0;
        int v = 0;
        while (i < t.size() && t[i] >= '0' && t[i] <= '9' && digits < 2) {
            v = v * 10 + (t[i] - '0');
            ++i;
            ++digits;
        }
        if (digits == 0) return false;
        parts[count++] = v;
        if (i == t.size()) break;
        if (t[i] != ':') return false;
        ++i;
    }
    if (i != t.size() || count < 2) return false;
    if (parts[0] > 23 || parts[1] > 59 || parts[2] > 59) return false;
    seconds = parts[0] * 3600.0 + parts[1] * 60.0 + parts[2];
    return true;
}

bool EqualsNoCase(const std::string& a, const char* b) { return platform::UpperCase(a) == platform::UpperCase(b); }

// A lenient read whose number is beyond any double fails its field.
double Lenient(const std::string& text, int k) {
    try {
        return platform::ReadLenient(text);
    } catch (const platform::BenchError&) {
        throw FieldError{k, "is out of range"};
    }
}

double Convert(Conv conv, const std::string& text, int k) {
    switch (conv) {
    case Conv::Text:
        return 0;
    case Conv::Int:
    case Conv::Long:
    case Conv::Byte: {
        const double v = platform::RoundHalfEven(Lenient(text, k));
        const double lo = conv == Conv::Byte ? 0.0 : conv == Conv::Int ? -32768.0 : -2147483648.0;
        const double hi = conv == Conv::Byte ? 255.0 : conv == Conv::Int ? 32767.0 : 2147483647.0;
        if (v < lo || v > hi) throw FieldError{k, "is out of range"};
        return v;
    }
    case Conv::Real: {
        double v = 0;
        if (!platform::TryReadStrict(text, v)) throw FieldError{k, "is not a number"};
        return v;
    }
    case Conv::LenientReal:
        return Lenient(text, k);
    case Conv::Flag: {
        if (EqualsNoCase(text, "True")) return -1;
        if (EqualsNoCase(text, "False")) return 0;
        double v = 0;
        if (!platform::TryReadStrict(text, v)) throw FieldError{k, "is not True, False or a number"};
        return v != 0 ? -1 : 0;
    }
    case Conv::Time: {
        double seconds = 0;
        if (!ParseTimeOfDay(text, seconds)) throw FieldError{k, "is not a time hh:mm:ss"};
        return seconds;
    }
    }
    return 0;
}

// A neighbour the line needs is not there: the line does nothing else.
[[noreturn]] void Missing(const char* what) {
    throw platform::BenchError(platform::err::BadArgument, std::string(what) + " is not available");
}

}  // namespace

struct CommandPanel::Args {
    std::array<std::string, 12> field{};  // A1 to A11 at 1 to 11
    std::array<double, 12> value{};
    const std::string& s(int k) const { return field[static_cast<size_t>(k)]; }
    double r(int k) const { return value[static_cast<size_t>(k)]; }
    int16_t i(int k) const { return static_cast<int16_t>(r(k)); }
    int32_t l(int k) const { return static_cast<int32_t>(r(k)); }
    uint8_t b(int k) const { return static_cast<uint8_t>(r(k)); }
};

struct CommandPanel::Word {
    const char* word;
    std::vector<Conv> fields;
    void (*run)(CommandPanel&, const Args&);
};

const std::vector<CommandPanel::Word>& CommandPanel::Words() {
    using C = Conv;
    using P = CommandPanel;
    using A = Args;
    // Static, so the word lambdas below use them without captures.
    static const auto bench = [](P& p) -> ScriptBench& {
        if (!p.services_.bench) Missing("The main window");
        return *p.services_.bench;
    };
    static const auto sim = [](P& p) -> ScriptSimulator& {
        if (!p.services_.simulatorScript) Missing("The simulator window");
        return *p.services_.simulatorScript;
    };
    static const std::vector<Word> words{
        {"SEND", {C::Text}, [](P& p, const A& a) { bench(p).SendCommandToDevices(a.s(1)); }},
        {"SENDGENCMD", {C::Int, C::Long, C::Text},
         [](P& p, const A& a) { p.SendSignalGeneratorCommand(a.i(1), a.l(2), a.s(3)); }},
        {"SENDCHRS", {C::Int, C::Text},
         [](P& p, const A& a) {
             // An interval below 1 ms never ticks: nothing would go out.
             if (a.i(1) < 1) throw FieldError{1, "is not an interval of at least 1 ms"};
             bench(p).SendChrsCommandToDevices(a.i(1), a.s(2));
         }},
        {"SWITCHRTS", {C::Byte}, [](P& p, const A& a) { bench(p).SwitchRTSSignalOnDevices(0, a.b(1)); }},
        {"SWITCHRTSONPORT", {C::Byte, C::Byte},
         [](P& p, const A& a) { bench(p).SwitchRTSSignalOnDevices(a.b(1), a.b(2)); }},
        {"SIMCHECKRESTART", {},
         [](P& p, const A&) {
             if (bench(p).CheckSimulatorStatusEnd()) {
                 bench(p).ExecuteSimulatorRestart();
                 p.state_.StepState = 3;
             }
         }},
        {"REACQUIRETESTON", {}, [](P& p, const A&) { bench(p).AcquiringTestStartOnDevices(); }},
        {"SIMCONNECT", {C::Text, C::Text},
         [](P& p, const A& a) {
             sim(p).SimShow();
             sim(p).SimConnect(a.s(1), a.s(2));
         }},
        {"SIMSCLOAD", {C::Text}, [](P& p, const A& a) { sim(p).SimLoadScenario(a.s(1)); }},
        {"SIMSTART", {}, [](P& p, const A&) { sim(p).SimStartScenario(); }},
        {"SIMAUTOSTART", {C::Real, C::Int, C::Real, C::Int, C::Flag, C::Int, C::Real},
         [](P& p, const A& a) {
             if (!p.services_.simulator) Missing("The simulator window");
             // The script goes on while the sequence runs.
             p.services_.simulator->SimRestart(a.r(1), a.i(2), a.r(3), a.i(4), a.i(5), a.i(6), a.r(7), true);
         }},
        {"SIMSTOP", {}, [](P& p, const A&) { sim(p).SimStopScenario(); }},
        {"SIMREWIND", {}, [](P& p, const A&) { sim(p).SimRewindScenario(); }},
        {"SIMSETPOWER", {C::Real}, [](P& p, const A& a) { sim(p).SimSetPower(a.r(1)); }},
        {"SIMINCREASEPOWER", {C::Real}, [](P& p, const A& a) { sim(p).SimIncreasePower(a.r(1)); }},
        {"SIMDECREASEPOWER", {C::Real}, [](P& p, const A& a) { sim(p).SimDecreasePower(a.r(1)); }},
        {"SIMSETSATPOWER", {C::Int, C::Real}, [](P& p, const A& a) { sim(p).SimSetSatPower(a.i(1), a.r(2)); }},
        {"SIMINCREASESATPOWER", {C::Int, C::Real},
         [](P& p, const A& a) { sim(p).SimIncreaseSatPower(a.i(1), a.r(2)); }},
        {"SIMDECREASESATPOWER", {C::Int, C::Real},
         [](P& p, const A& a) { sim(p).SimDecreaseSatPower(a.i(1), a.r(2)); }},
        {"SIMSETCHPOWER", {C::Int, C::Real}, [](P& p, const A& a) { sim(p).SimSetChPower("-", a.i(1), a.r(2)); }},
        {"SIMINCREASECHPOWER", {C::Int, C::Real},
         [](P& p, const A& a) { sim(p).SimIncreaseChPower(a.i(1), a.r(2)); }},
        {"SIMDECREASECHPOWER", {C::Int, C::Real},
         [](P& p, const A& a) { sim(p).SimDecreaseChPower(a.i(1), a.r(2)); }},
        {"SIMTURNSATONOFF", {C::Int, C::Int}, [](P& p, const A& a) { sim(p).SimTurnSatONOFF(a.i(1), a.i(2)); }},
        {"SIMTURNCHONOFF", {C::Int, C::Int},
         [](P& p, const A& a) { sim(p).SimTurnChONOFF("-", a.i(1), a.i(2)); }},
        {"SIMTURNALLONOFF", {C::Int}, [](P& p, const A& a) { sim(p).SimTurnAllONOFF("-", a.i(1)); }},
        {"DELAY", {C::Time}, [](P& p, const A& a) { p.DelaySeconds(static_cast<int64_t>(a.r(1))); }},
        {"OPENFILE", {C::Int, C::Text}, [](P& p, const A& a) { p.OpenFileSlot(a.i(1), a.s(2)); }},
        {"CLOSEFILE", {C::Int}, [](P& p, const A& a) { p.CloseFileSlot(a.i(1)); }},
        {"WRITETOFILE", {C::Int, C::Text}, [](P& p, const A& a) { p.WriteFileSlot(a.i(1), a.s(2), false); }},
        {"WRITEGGATOFILE", {C::Int}, [](P& p, const A& a) { p.WriteFileSlot(a.i(1), "", true); }},
        {"SAVEPOSPICTURE", {}, [](P& p, const A&) { bench(p).DeviceSavePosPicture(); }},
        {"RANDOMDELAY", {C::LenientReal, C::LenientReal},
         [](P& p, const A& a) {
             double u = p.services_.random ? p.services_.random->Next() : 0.0;
             auto r = static_cast<float>(u);  // single precision, as the delay always drew
             if (r >= 1.0f) r = std::nextafter(1.0f, 0.0f);
             if (r < 0.0f) r = 0.0f;
             double s = platform::RoundHalfEven((a.r(2) - a.r(1)) * static_cast<double>(r) + a.r(1));
             // Limits so far apart that their span is no number.
             if (std::isnan(s)) throw FieldError{2, "is out of range"};
             // A negative draw waits nothing; a huge one stays a number of seconds.
             s = std::clamp(s, 0.0, static_cast<double>(std::numeric_limits<int32_t>::max()));
             p.DelaySeconds(static_cast<int64_t>(s));
         }},
        {"WAITFIX", {C::Int},
         [](P& p, const A& a) {
             p.state_.StepState = 2;
             p.state_.WaitFixTimeout = a.i(1);
             bench(p).SetMaxAcceptableTTFFOnDevice(p.state_.WaitFixTimeout);
         }},
        {"WAITUTCSEC", {C::Int},
         [](P& p, const A& a) {
             // No second of a minute lies outside 0 to 59: such a wait would never end.
             if (a.i(1) < 0 || a.i(1) > 59) throw FieldError{1, "is not a second 0 to 59"};
             p.state_.TargetSecond = a.i(1);
             p.state_.StepState = 5;
         }},
        {"WAITDIFF", {},
         [](P& p, const A&) {
             p.state_.StepState = 4;
             bench(p).ResetDiffAvailability();
         }},
        {"REPEATSTART", {C::Int},
         [](P& p, const A& a) {
             p.state_.RepeatCount = a.i(1);
             p.state_.RepeatStartLine = p.state_.LineIndex;
             p.SetStatus("Remaining Cycles " + std::to_string(p.state_.RepeatCount));
         }},
        {"REPEATEND", {},
         [](P& p, const A&) {
             if (p.state_.RepeatCount > std::numeric_limits<int16_t>::min()) --p.state_.RepeatCount;
             p.SetStatus("Remaining Cycles " + std::to_string(p.state_.RepeatCount));
             if (p.state_.RepeatCount > 0) p.state_.LineIndex = p.state_.RepeatStartLine;
         }},
        {"INITLOG", {C::Text, C::Text}, [](P& p, const A& a) { bench(p).InitLog(a.s(1), a.s(2)); }},
        {"CHANGESECONDARYLOG", {C::Text},
         [](P& p, const A& a) {
             const std::string name = a.s(1).empty() ? std::to_string(p.state_.RepeatCount) : a.s(1);
             bench(p).TestingChangeSecondaryLogFile(name + ".txt");
         }},
        {"STOPLOG", {}, [](P& p, const A&) { bench(p).StopLog(); }},
        {"SENDEXTCONTROLCOMMAND", {C::LenientReal},
         [](P& p, const A& a) {
             if (!p.services_.external) Missing("The external-program driver");
             p.services_.external->ExecuteExtCommand(platform::NumberToText(a.r(1)));
         }},
        {"RESADDLINELABLE", {C::Int, C::Text},
         [](P& p, const A& a) {
             if (!p.services_.results) Missing("The results grid");
             p.services_.results->AddLineLable(a.i(1), a.s(2));
         }},
        {"SENDFILE", {C::Text}, [](P& p, const A& a) { p.SendFromFile(a.s(1), nullptr); }},
        {"DOSCMD", {C::Text},
         [](P& p, const A& a) {
             // The text is the user's own command line, run by the shell and not waited for.
             p.Log("DOSCMD: " + a.s(1));
             const std::string why =
                 p.services_.launcher
                     ? p.services_.launcher->StartDetached("/bin/sh", {"-c", platform::Cp1252ToUtf8(a.s(1))})
                     : "no program launcher";
             if (!why.empty()) p.Log("DOSCMD could not start: " + a.s(1));
         }},
        {"MAKEKML", {}, [](P& p, const A&) { bench(p).MakeKML(); }},
        {"SENDMSGONPORT", {C::Int, C::Text},
         [](P& p, const A& a) { bench(p).SendMessageOnSerialPort(a.i(1), a.s(2)); }},
        {"END", {}, [](P& p, const A&) { p.state_.EndFlag = true; }},
    };
    return words;
}

void CommandPanel::ExecuteCommand(const std::string& line) {
    // A button's line: whatever it calls, nothing escapes to the event loop.
    try {
        ExecuteLine(line, 0);
    } catch (...) {
        ReportCaught("ExecuteCommand", "Script command \"" + line + "\": ");
    }
}

void CommandPanel::ExecuteLine(const std::string& line, int line_number) {
    const std::string where =
        line_number > 0 ? "Script line " + std::to_string(line_number) + " \"" + line + "\"" : "Script command \"" + line + "\"";
    const size_t p = line.find('>');
    if (p == std::string::npos) {
        if (!line.empty()) Log(where + ": no command word (ExecuteCommand)");
        return;
    }
    Args a;
    const std::string word = line.substr(0, p);
    size_t start = p + 1;
    for (int k = 1; k <= 11; ++k) {
        const size_t q = line.find('>', start);
        if (q == std::string::npos) {
            a.field[static_cast<size_t>(k)] = line.substr(start);
            break;
        }
        a.field[static_cast<size_t>(k)] = line.substr(start, q - start);
        start = q + 1;
    }
    for (const Word& w : Words()) {
        if (word != w.word) continue;
        try {
            for (size_t k = 0; k < w.fields.size(); ++k)
                a.value[k + 1] = Convert(w.fields[k], a.field[k + 1], static_cast<int>(k + 1));
            w.run(*this, a);
        } catch (const FieldError& e) {
            Log(where + ": field A" + std::to_string(e.field) + " \"" + a.field[static_cast<size_t>(e.field)] +
                "\" " + e.why + "; skipped (ExecuteCommand)");
        } catch (const platform::BenchError& e) {
            Log(where + ": " + e.Description() + " (ExecuteCommand)");
        }
        return;
    }
    Log(where + ": unknown command word (ExecuteCommand)");
}

// --- per-device script files ---

std::fstream* CommandPanel::FileSlot(int device, int slot) {
    if (device < 0 || device >= kDeviceSlots || slot < 1 || slot > kFileSlots) return nullptr;
    auto& f = slots_[device][slot - 1];
    return f && f->is_open() ? f.get() : nullptr;
}

namespace {
void CheckSlot(int16_t slot) {
    if (slot < 1 || slot > CommandPanel::kFileSlots) throw FieldError{1, "is not a file slot 1 to 20"};
}
}  // namespace

void CommandPanel::OpenFileSlot(int16_t slot, const std::string& suffix) {
    CheckSlot(slot);
    ScriptBench* bench = services_.bench;
    if (!bench) Missing("The main window");
    for (int16_t d = 0; d < kDeviceSlots; ++d) {
        if (!bench->CheckDeviceEnabled(d)) continue;
        const std::string base = bench->GetDevicePrimaryLogFileName(d);
        if (base.size() < 4) {
            Log("OPENFILE: device " + std::to_string(d + 1) + " has no log name yet; slot " + std::to_string(slot) +
                " not opened");
            continue;
        }
        const std::string name = base.substr(0, base.size() - 4) + suffix + ".txt";
        auto& f = slots_[d][slot - 1];
        if (f) f->close();  // the earlier file of this slot is not left open
        // Appended to: a file opened again keeps what it had, without a mixed tail.
        f = std::make_unique<std::fstream>(LocalPath(name), std::ios::in | std::ios::out | std::ios::binary |
                                                                 std::ios::app);
        if (!f->is_open()) {
            f.reset();
            Log("OPENFILE: cannot open " + name);
        }
    }
}

void CommandPanel::CloseFileSlot(int16_t slot) {
    CheckSlot(slot);
    ScriptBench* bench = services_.bench;
    if (!bench) Missing("The main window");
    for (int16_t d = 0; d < kDeviceSlots; ++d) {
        if (!bench->CheckDeviceEnabled(d)) continue;
        auto& f = slots_[d][slot - 1];
        if (!f) {
            Log("CLOSEFILE: slot " + std::to_string(slot) + " of device " + std::to_string(d + 1) + " is not open");
            continue;
        }
        f->close();
        f.reset();
    }
}

void CommandPanel::WriteFileSlot(int16_t slot, const std::string& text, bool gga) {
    CheckSlot(slot);
    ScriptBench* bench = services_.bench;
    if (!bench) Missing("The main window");
    for (int16_t d = 0; d < kDeviceSlots; ++d) {
        if (!bench->CheckDeviceEnabled(d)) continue;
        const std::string bytes = gga ? bench->GetDeviceCurrentGGAString(d) : text;
        std::fstream* f = FileSlot(d, slot);
        if (!f) {
            Log(std::string(gga ? "WRITEGGATOFILE" : "WRITETOFILE") + ": slot " + std::to_string(slot) +
                " of device " + std::to_string(d + 1) + " is not open");
            continue;
        }
        f->write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        f->flush();  // on disk at once: an overnight run may end any moment
    }
}

}  // namespace bench::instruments
