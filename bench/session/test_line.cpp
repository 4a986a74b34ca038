#include "bench/session/test_line.h"

#include "platform/core/error.h"
#include "platform/core/numtext.h"

#include <algorithm>
#include <cmath>

namespace bench {
namespace {

// For the editor's boxes: a number beyond any double is no flag value.
bool LenientEquals(const std::string& text, double value) {
    try {
        return platform::ReadLenient(text) == value;
    } catch (const platform::BenchError&) {
        return false;
    }
}

constexpr std::array<std::string_view, 9> AcquisitionTypes = {
    "COLD", "WARM", "HOT", "SYNC_COLD", "SYNC_HOT", "SYNC_WARM", "BAD_POSITION", "BAD_NCO", "REACQUISITION"};

// BAD_NCO and REACQUISITION lines once carried no acquisition section, so
// their trials and delays came from whatever entry held the index before.
// Lines of that older form are told apart by their field count.
bool OlderFormWithoutAcquisition(const TestLineFieldArray& f, int fieldCount) {
    if (f[0] != "BAD_NCO" && f[0] != "REACQUISITION") return false;
    int scenarioFields = 0;
    if (f[1] == "0") scenarioFields = 1;
    else if (f[1] == "1") scenarioFields = SimDataFields + SimOptionFields;
    else if (f[1] == "2") scenarioFields = LabSatDataFields;
    return fieldCount < 2 + 7 + scenarioFields;
}

int FieldCount(std::string_view line) {
    if (line.empty()) return 0;
    const auto commas = std::count(line.begin(), line.end(), ',');
    return static_cast<int>(std::min<std::ptrdiff_t>(commas, TestLineFields - 1)) + 1;
}

bool LineHasAcquisition(const TestLineFieldArray& f, std::string_view line) {
    return HasAcquisitionSection(f[0]) && !OlderFormWithoutAcquisition(f, FieldCount(line));
}

// Reads numbered fields of one split line; integer overflows name the field.
class FieldReader {
public:
    explicit FieldReader(const TestLineFieldArray& f) : f_(f) {}
    const std::string& Text(int i) const { return f_[static_cast<std::size_t>(i)]; }
    double Number(int i) const { return platform::ReadLenient(Text(i)); }
    int16_t Int16(int i, const char* name) const {
        try {
            return platform::RoundToInt16(Number(i));
        } catch (const platform::BenchError&) {
            throw Overflow(i, name);
        }
    }
    int32_t Int32(int i, const char* name) const {
        try {
            return platform::RoundToInt32(Number(i));
        } catch (const platform::BenchError&) {
            throw Overflow(i, name);
        }
    }
    int16_t Flag(int i) const { return Number(i) != 0.0 ? FlagSet : FlagClear; }

private:
    platform::BenchError Overflow(int i, const char* name) const {
        return platform::BenchError(platform::err::Overflow,
                                    std::string(name) + " \"" + Text(i) + "\" is out of range");
    }
    const TestLineFieldArray& f_;
};

// Where the scenario section starts.
int ScenarioStart(const TestLineFieldArray& f, std::string_view line) {
    if (LineHasAcquisition(f, line)) return 9;
    if (f[0] == "SCRIPT") return 3;
    return 2;
}

}  // namespace

bool HasAcquisitionSection(std::string_view type) {
    return std::find(AcquisitionTypes.begin(), AcquisitionTypes.end(), type) != AcquisitionTypes.end();
}

bool IsSyncTestType(std::string_view type) {
    return type == "SYNC_COLD" || type == "SYNC_HOT" || type == "SYNC_WARM";
}

TestLineFieldArray SplitTestLine(std::string_view line) {
    TestLineFieldArray fields{};
    if (line.empty()) return fields;
    std::size_t pos = 0;
    int n = 0;
    for (; n < TestLineFields - 1; ++n) {
        std::size_t comma = line.find(',', pos);
        if (comma == std::string_view::npos) break;
        fields[static_cast<std::size_t>(n)] = std::string(line.substr(pos, comma - pos));
        pos = comma + 1;
    }
    std::string rest(line.substr(pos));
    if (!rest.empty() && rest.back() == ',') rest.pop_back();
    fields[static_cast<std::size_t>(n)] = rest;
    return fields;
}

void ParseTestLine(std::string_view line, TestEntry& entry) {
    const TestLineFieldArray fields = SplitTestLine(line);
    const FieldReader f(fields);
    TestEntry t = entry;  // all or nothing: a bad number leaves the entry alone
    t.Enabled = FlagSet;
    t.Type = f.Text(0);
    if (LineHasAcquisition(fields, line)) {
        t.Trials = f.Int16(2, "Number");
        t.MinDelay = f.Int16(3, "Min Delay");
        t.MaxDelay = f.Int16(4, "Max Delay");
        t.TttrkSats = f.Int16(5, "Sats");
        t.TttrkTime = f.Int16(6, "Time");
        t.TttrkOption = f.Number(7) == -1.0 ? 0 : 1;
    } else if (t.Type == "SCRIPT") {
        t.ScriptFiles[0] = f.Text(2);
        t.ScriptCount = 1;
    }
    const int s = ScenarioStart(fields, line);
    const std::string& scenario = f.Text(1);
    if (scenario == "0") {
        t.AlmanacFile = f.Text(s);
    } else if (scenario == "1") {
        t.Simulator = FlagSet;
        t.SimSetupTime = f.Int16(s, "Setup Time");
        t.SimPower = f.Number(s + 1);
        t.SimPowerRepeat = t.SimPower;
        t.StartPower = f.Number(s + 2);
        t.EndPower = f.Number(s + 3);
        t.PowerStep = f.Number(s + 4);
        t.OffTime = f.Int16(s + 5, "OFF Time");
        t.FirstSatChannel = f.Int16(s + 6, "Channel");
        t.FirstSatPower = f.Int16(s + 7, "Channel Power");
        t.SingleSatChannel = f.Int16(s + 8, "Single Sat Channel");
        t.SingleSatStartPower = f.Number(s + 9);
        t.SingleSatEndPower = f.Number(s + 10);
        t.SingleSatStep = f.Number(s + 11);
        t.ScenarioFile = f.Text(s + 12);
        t.AlmanacFile = f.Text(s + 13);
        t.Rewind = f.Flag(s + 14);
        t.FirstSatEn = f.Flag(s + 15);
        t.SingleSatEn = f.Flag(s + 16);
    } else if (scenario == "2") {
        t.LabSat = FlagSet;
        t.LabSatBinFile = f.Text(s);
        t.LabSatStart = f.Int32(s + 1, "Start Time");
        t.LabSatDuration = f.Int32(s + 2, "Duration");
        t.LabSatIterations = f.Int16(s + 3, "Iterations");
        t.AlmanacFile = f.Text(s + 4);
        t.LabSatAttenuation = f.Int16(s + 5, "Attenuation");
    }
    entry = std::move(t);
}

std::string BuildTestLine(const TestEditorValues& v) {
    std::string line = v.type + "," + std::to_string(v.scenario);
    auto add = [&line](const std::string& field) { line += ","; line += field; };
    if (HasAcquisitionSection(v.type)) {
        for (const std::string& field : v.testField) add(field);
        add(v.ttff ? "-1" : "0");
        add(v.ttff ? "0" : "-1");
    } else if (v.type == "SCRIPT") {
        add(v.scriptFile);
    }
    if (v.scenario == ScenarioRoof) {
        add(v.almanacsFile);
    } else if (v.scenario == ScenarioSimulator) {
        for (const std::string& field : v.simData) add(field);
        for (bool option : v.simOption) add(option ? "1" : "0");
    } else if (v.scenario == ScenarioLabSat) {
        for (const std::string& field : v.labSatData) add(field);
    }
    return line;
}

std::string TestLineFromEntry(const TestEntry& e) {
    using platform::NumberToText;
    auto n = [](long v) { return std::to_string(v); };
    TestEditorValues v;
    v.type = e.Type;
    v.scenario = e.Simulator == FlagSet ? ScenarioSimulator : e.LabSat == FlagSet ? ScenarioLabSat : ScenarioRoof;
    v.testField = {n(e.Trials), n(e.MinDelay), n(e.MaxDelay), n(e.TttrkSats), n(e.TttrkTime)};
    v.ttff = e.TttrkOption == 0;
    v.scriptFile = e.ScriptFiles[0];
    v.almanacsFile = e.AlmanacFile;
    v.simData = {n(e.SimSetupTime),          NumberToText(e.SimPower),          NumberToText(e.StartPower),
                 NumberToText(e.EndPower),   NumberToText(e.PowerStep),         n(e.OffTime),
                 n(e.FirstSatChannel),       n(e.FirstSatPower),                n(e.SingleSatChannel),
                 NumberToText(e.SingleSatStartPower), NumberToText(e.SingleSatEndPower),
                 NumberToText(e.SingleSatStep), e.ScenarioFile, e.AlmanacFile};
    v.simOption = {e.Rewind == FlagSet, e.FirstSatEn == FlagSet, e.SingleSatEn == FlagSet};
    v.labSatData = {e.LabSatBinFile, n(e.LabSatStart), n(e.LabSatDuration), n(e.LabSatIterations), e.AlmanacFile,
                    n(e.LabSatAttenuation)};
    return BuildTestLine(v);
}

std::string CheckTestEditorValues(const TestEditorValues& v) {
    auto comma = [](const std::string& s) { return s.find(',') != std::string::npos; };
    bool any = comma(v.type) || comma(v.scriptFile) || comma(v.almanacsFile);
    for (const auto& s : v.testField) any = any || comma(s);
    for (const auto& s : v.simData) any = any || comma(s);
    for (const auto& s : v.labSatData) any = any || comma(s);
    if (any) return "A test field cannot contain a comma (\",\").";
    try {
        TestEntry probe;
        ParseTestLine(BuildTestLine(v), probe);
    } catch (const platform::BenchError& e) {
        return e.Description() + ".";
    }
    return {};
}

TestEditorValues EditorValuesFromLine(std::string_view line, const TestEditorValues& base) {
    const TestLineFieldArray f = SplitTestLine(line);
    TestEditorValues v = base;
    v.type = f[0];
    if (f[1] == "0" || f[1] == "1" || f[1] == "2") v.scenario = f[1][0] - '0';
    if (LineHasAcquisition(f, line)) {
        for (int i = 0; i < AcquisitionFields; ++i) v.testField[static_cast<std::size_t>(i)] = f[static_cast<std::size_t>(2 + i)];
        v.ttff = LenientEquals(f[7], -1.0);
    } else if (v.type == "SCRIPT") {
        v.scriptFile = f[2];
    }
    const std::size_t s = static_cast<std::size_t>(ScenarioStart(f, line));
    if (f[1] == "0") {
        v.almanacsFile = f[s];
    } else if (f[1] == "1") {
        for (std::size_t i = 0; i < SimDataFields; ++i) v.simData[i] = f[s + i];
        for (std::size_t i = 0; i < SimOptionFields; ++i)
            v.simOption[i] = !LenientEquals(f[s + SimDataFields + i], 0.0);
    } else if (f[1] == "2") {
        for (std::size_t i = 0; i < LabSatDataFields; ++i) v.labSatData[i] = f[s + i];
    }
    return v;
}

}  // namespace bench
