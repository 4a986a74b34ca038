#include "bench/session/config.h"

#include "bench/session/test_line.h"
#include "platform/core/error.h"

#include <bit>
#include <cstdio>
#include <cstring>
#include <type_traits>
#include <vector>

namespace bench {

void SystemConfigReset(SystemConfig& config) {
    for (TestEntry& t : config.Tests) {
        t.Enabled = FlagClear;
        t.AlmanacWait = FlagClear;
        t.Simulator = FlagClear;
        t.FirstSatEn = FlagClear;
        t.SingleSatEn = FlagClear;
        t.LabSat = FlagClear;
        t.AlmanacFile.clear();
        t.LabSatBinFile.clear();
    }
}

void BadNCOParametersSetting(SystemConfig& config, int slot, int32_t start, int32_t max,
                             int32_t step, const std::string& command) {
    if (slot < 0 || slot >= DeviceSlots)
        throw platform::BenchError(platform::err::BadArgument,
                                   "Device slot " + std::to_string(slot) + " out of range");
    DeviceConfig& d = config.Devices[static_cast<std::size_t>(slot)];
    d.NcoStart = start;
    d.NcoMax = max;
    d.NcoStep = step;
    d.BadNcoC = command;
}

namespace {

// The field order of the file, written once and walked by both the writer
// and the reader. R is the record type, const or not.
template <class R, class V>
void VisitDevice(R& d, V& v) {
    v.Flag("DevEN", d.DevEN);
    v.Text("DName", d.DName);
    v.Text("LPath", d.LPath);
    v.Num("NmeaP", d.NmeaP);
    v.Num("NmeaB", d.NmeaB);
    v.Flag("DebugEN", d.DebugEN);
    v.Num("DebugP", d.DebugP);
    v.Num("DebugB", d.DebugB);
    v.Flag("AStart", d.AStart);
    v.Flag("RLog", d.RLog);
    v.Flag("GLog", d.GLog);
    v.Flag("PLog", d.PLog);
    v.Text("ColdC", d.ColdC);
    v.Text("WarmC", d.WarmC);
    v.Text("HotC", d.HotC);
    v.Text("BadPosC", d.BadPosC);
    v.Text("BadNcoC", d.BadNcoC);
    v.Text("RestartC", d.RestartC);
    v.Text("StartupS", d.StartupS);
    v.Flag("HWRes", d.HWRes);
    v.Num("StartupD", d.StartupD);
    v.Num("NcoStart", d.NcoStart);
    v.Num("NcoMax", d.NcoMax);
    v.Num("NcoStep", d.NcoStep);
}

template <class R, class V>
void VisitTest(R& t, V& v) {
    v.Flag("Enabled", t.Enabled);
    v.Keyword("Type", t.Type);
    v.Num("Trials", t.Trials);
    v.Num("MinDelay", t.MinDelay);
    v.Num("MaxDelay", t.MaxDelay);
    v.Flag("AlmanacWait", t.AlmanacWait);
    v.Flag("Simulator", t.Simulator);
    v.Num("SimSetupTime", t.SimSetupTime);
    v.Num("EndPower", t.EndPower);
    v.Num("StartPower", t.StartPower);
    v.Flag("FirstSatEn", t.FirstSatEn);
    v.Num("FirstSatPower", t.FirstSatPower);
    v.Num("FirstSatChannel", t.FirstSatChannel);
    v.Num("PowerStep", t.PowerStep);
    v.Count("ScriptCount", t.ScriptCount, 0, ScriptFileSlots);
    for (std::size_t i = 0; i < t.ScriptFiles.size(); ++i) {
        v.Enter("ScriptFiles", i);
        v.Text("", t.ScriptFiles[i]);
        v.Leave();
    }
    v.Num("SimPower", t.SimPower);
    v.Flag("Rewind", t.Rewind);
    v.Count("TttrkOption", t.TttrkOption, 0, 1);
    v.Num("TttrkSats", t.TttrkSats);
    v.Num("TttrkTime", t.TttrkTime);
    v.Num("SimPowerRepeat", t.SimPowerRepeat);
    v.Num("Reserved", t.Reserved);
    v.Num("OffTime", t.OffTime);
    v.Flag("SingleSatEn", t.SingleSatEn);
    v.Num("SingleSatStartPower", t.SingleSatStartPower);
    v.Num("SingleSatEndPower", t.SingleSatEndPower);
    v.Num("SingleSatStep", t.SingleSatStep);
    v.Num("SingleSatChannel", t.SingleSatChannel);
    v.Text("ScenarioFile", t.ScenarioFile);
    v.Text("AlmanacFile", t.AlmanacFile);
    v.Flag("LabSat", t.LabSat);
    v.Text("LabSatBinFile", t.LabSatBinFile);
    v.Num("LabSatStart", t.LabSatStart);
    v.Num("LabSatDuration", t.LabSatDuration);
    v.Num("LabSatIterations", t.LabSatIterations);
    v.Num("LabSatAttenuation", t.LabSatAttenuation);
}

template <class R, class V>
void VisitConfig(R& c, V& v) {
    v.Text("SimulatorType", c.SimulatorType);
    v.Text("SimHostName", c.SimHostName);
    v.Num("SimHostPort", c.SimHostPort);
    for (std::size_t i = 0; i < c.Devices.size(); ++i) {
        v.Enter("Devices", i);
        VisitDevice(c.Devices[i], v);
        v.Leave();
    }
    for (std::size_t i = 0; i < c.Tests.size(); ++i) {
        v.Enter("Tests", i);
        VisitTest(c.Tests[i], v);
        v.Leave();
    }
    for (std::size_t i = 0; i < c.TestLines.size(); ++i) {
        v.Enter("TestLines", i);
        v.Text("", c.TestLines[i]);
        v.Leave();
    }
}

template <class R, class V>
void VisitAntenna(R& a, V& v) {
    v.Num("Use", a.Use);
    for (std::size_t i = 0; i < a.Parts.size(); ++i) {
        v.Enter("Parts", i);
        v.Text("", a.Parts[i]);
        v.Leave();
    }
    for (std::size_t i = 0; i < a.Hemispheres.size(); ++i) {
        v.Enter("Hemispheres", i);
        v.Text("", a.Hemispheres[i]);
        v.Leave();
    }
}

constexpr std::string_view kAntennaMark = "FBANTPOS";

uint32_t Crc32(std::string_view bytes) {
    uint32_t crc = 0xFFFFFFFFu;
    for (char c : bytes) {
        crc ^= static_cast<unsigned char>(c);
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

uint32_t Le(std::string_view b, std::size_t at, std::size_t size) {
    uint32_t v = 0;
    for (std::size_t i = 0; i < size; ++i) v |= static_cast<uint32_t>(static_cast<unsigned char>(b[at + i])) << (8 * i);
    return v;
}

// Raw bits of a number, so doubles keep every bit (NaN payloads included).
template <class T>
auto Bits(T value) {
    if constexpr (std::is_same_v<T, double>)
        return std::bit_cast<uint64_t>(value);
    else
        return static_cast<std::make_unsigned_t<T>>(value);
}

// Tracks where in the record the walk is, to name a field in messages.
class FieldPath {
public:
    void Enter(const char* array, std::size_t index) { stack_.push_back({array, index}); }
    void Leave() { stack_.pop_back(); }
    std::string Name(const char* field) const {
        std::string out;
        for (const Level& level : stack_) {
            if (!out.empty()) out += '.';
            out += level.array;
            out += "[" + std::to_string(level.index) + "]";
        }
        if (*field) {
            if (!out.empty()) out += '.';
            out += field;
        }
        return out;
    }

protected:
    struct Level {
        const char* array;
        std::size_t index;
    };
    const Level* Top() const { return stack_.empty() ? nullptr : &stack_.front(); }

private:
    std::vector<Level> stack_;
};

class Writer : public FieldPath {
public:
    std::string bytes;
    std::string tooLongField;
    std::size_t tooLongBytes = 0;

    template <class T>
    void Num(const char*, const T& value) {
        auto bits = Bits(value);
        for (std::size_t i = 0; i < sizeof(T); ++i) {
            bytes.push_back(static_cast<char>(bits & 0xFF));
            bits = static_cast<decltype(bits)>(bits >> 8);
        }
    }
    void Flag(const char* field, const int16_t& value) { Num(field, value); }
    void Count(const char* field, const int16_t& value, int, int) { Num(field, value); }
    void Keyword(const char* field, const std::string& text) { Text(field, text); }
    void Text(const char* field, const std::string& text) {
        if (text.size() > MaxConfigTextBytes && tooLongField.empty()) {
            tooLongField = Name(field);
            tooLongBytes = text.size();
        }
        Num(field, static_cast<uint16_t>(text.size()));
        bytes += text;
    }
};

class Reader : public FieldPath {
public:
    explicit Reader(std::string_view data) : data_(data) {}
    std::size_t pos = 0;
    bool failed = false;
    std::string brokenField;

    template <class T>
    void Num(const char* field, T& value) {
        if (!Take(field, sizeof(T))) return;
        std::make_unsigned_t<decltype(Bits(value))> bits = 0;
        for (std::size_t i = 0; i < sizeof(T); ++i)
            bits |= static_cast<decltype(bits)>(static_cast<unsigned char>(data_[pos + i])) << (8 * i);
        if constexpr (std::is_same_v<T, double>)
            value = std::bit_cast<double>(bits);
        else
            value = static_cast<T>(bits);
        pos += sizeof(T);
    }
    void Text(const char* field, std::string& text) {
        if (!Take(field, 2)) return;
        const std::size_t count = static_cast<unsigned char>(data_[pos]) |
                                  (static_cast<std::size_t>(static_cast<unsigned char>(data_[pos + 1])) << 8);
        // Every setting is typed text: a control byte in one (or in what a
        // cut file still holds of it) says these bytes are no record.
        const std::string_view held = data_.substr(pos + 2, count);
        for (std::size_t i = 0; i < held.size(); ++i) {
            const unsigned char c = static_cast<unsigned char>(held[i]);
            if (c < 0x20 || c == 0x7F) {
                char hex[8];
                std::snprintf(hex, sizeof hex, "0x%02X", c);
                Refuse(field, pos, std::string("a control byte (") + hex + ") at byte " +
                                       std::to_string(pos + 2 + i) + ", which no setting holds");
                return;
            }
        }
        if (data_.size() - pos - 2 < count) {
            Fail(field);
            return;
        }
        text.assign(held);
        pos += 2 + count;
    }

    // Fields whose values a configuration record never holds otherwise:
    // bytes that are no record stop making sense there.
    void Flag(const char* field, int16_t& value) {
        const std::size_t at = pos;
        Num(field, value);
        if (!failed && value != FlagSet && value != FlagClear)
            Refuse(field, at, std::to_string(value) + ", which is no flag (-1 or 0)");
    }
    void Count(const char* field, int16_t& value, int low, int high) {
        const std::size_t at = pos;
        Num(field, value);
        if (!failed && (value < low || value > high))
            Refuse(field, at,
                   std::to_string(value) + ", outside " + std::to_string(low) + " to " + std::to_string(high));
    }
    void Keyword(const char* field, std::string& text) {
        const std::size_t at = pos;
        Text(field, text);
        if (failed || text.empty()) return;
        for (std::string_view k : TestTypeKeywords)
            if (text == k) return;
        std::string shown = text.substr(0, 40);
        for (char& c : shown)
            if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E) c = '?';
        Refuse(field, at, "\"" + shown + (text.size() > 40 ? "..." : "") + "\", which is no test type");
    }

    bool refused = false;
    std::string refusal;      // the field, where it starts and what it holds
    std::string brokenArray;  // the top-level array element the walk stopped in
    std::size_t brokenIndex = 0;

private:
    void Refuse(const char* field, std::size_t at, const std::string& what) {
        failed = true;
        refused = true;
        refusal = Name(field) + " (byte " + std::to_string(at) + ") holds " + what;
    }
    // True when `size` bytes of the field are present; stops the walk otherwise.
    bool Take(const char* field, std::size_t size) {
        if (failed) return false;
        if (data_.size() - pos < size) {
            Fail(field);
            return false;
        }
        return true;
    }
    void Fail(const char* field) {
        failed = true;
        // An image that stops exactly between fields names no broken field.
        if (pos < data_.size()) brokenField = Name(field);
        if (const Level* top = Top()) {
            brokenArray = top->array;
            brokenIndex = top->index;
        }
    }
    std::string_view data_;
};

}  // namespace

ConfigEncodeResult EncodeSystemConfig(const SystemConfig& config) {
    Writer w;
    w.bytes.reserve(EmptyConfigImageSize + 1024);
    VisitConfig(config, w);
    ConfigEncodeResult out;
    if (!w.tooLongField.empty()) {
        out.tooLongField = w.tooLongField;
        out.tooLongBytes = w.tooLongBytes;
        return out;
    }
    if (config.Antenna.Stored) {
        Writer a;
        a.Enter("Antenna", 0);
        VisitAntenna(config.Antenna, a);
        if (!a.tooLongField.empty() || a.bytes.size() > 0xFFFF) {
            out.tooLongField = a.tooLongField.empty() ? std::string("Antenna") : a.tooLongField;
            out.tooLongBytes = a.tooLongField.empty() ? a.bytes.size() : a.tooLongBytes;
            return out;
        }
        w.bytes += kAntennaMark;
        w.Num("", static_cast<uint16_t>(a.bytes.size()));
        w.bytes += a.bytes;
        w.Num("", Crc32(a.bytes));
    }
    out.ok = true;
    out.bytes = std::move(w.bytes);
    return out;
}

namespace {

// A record cut short keeps what it holds whole: the entry or device it
// stops in goes back to its defaults (half of one is neither), and every
// test entry whose line was lost with the tail gets it made again from the
// entry, so the test list that the dialog shows and saves still holds it.
void KeepWholeEntries(const Reader& r, SystemConfig& c) {
    const std::string_view where = r.brokenArray;
    if (where == "Devices" && r.brokenIndex < c.Devices.size()) c.Devices[r.brokenIndex] = DeviceConfig{};
    if (where == "Tests" && r.brokenIndex < c.Tests.size()) c.Tests[r.brokenIndex] = TestEntry{};
    const std::size_t lines_whole = where == "TestLines" ? r.brokenIndex : 0;
    for (std::size_t i = lines_whole; i < c.Tests.size(); ++i)
        if (c.Tests[i].Enabled == FlagSet) c.TestLines[i] = TestLineFromEntry(c.Tests[i]);
}

}  // namespace

ConfigDecodeResult DecodeSystemConfig(std::string_view bytes) {
    ConfigDecodeResult out;
    Reader r(bytes);
    VisitConfig(out.config, r);
    if (r.refused) {
        out.config = SystemConfig{};
        out.notARecord = r.refusal;
        out.bytesUsed = r.pos;
        return out;
    }
    out.complete = !r.failed;
    out.bytesUsed = r.pos;
    out.brokenField = r.brokenField;
    if (!out.complete) {
        KeepWholeEntries(r, out.config);
        return out;
    }
    // Only a whole block that starts where the record ends is the antenna:
    // anything else there is what an older save left behind.
    const std::string_view tail = bytes.substr(r.pos);
    const std::size_t head = kAntennaMark.size() + 2;
    if (tail.size() < head + 4 || tail.substr(0, kAntennaMark.size()) != kAntennaMark) return out;
    const std::size_t count = Le(tail, kAntennaMark.size(), 2);
    if (tail.size() < head + count + 4) return out;
    const std::string_view block = tail.substr(head, count);
    if (Le(tail, head + count, 4) != Crc32(block)) return out;
    AntennaConfig antenna;
    Reader a(block);
    VisitAntenna(antenna, a);
    if (a.failed || a.pos != count) return out;
    antenna.Stored = true;
    out.config.Antenna = std::move(antenna);
    return out;
}

}  // namespace bench
