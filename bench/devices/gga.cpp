#include "bench/devices/gga.h"

#include "bench/devices/bench_host.h"
#include "bench/devices/gga_sampling.h"
#include "bench/devices/nmea.h"
#include "bench/devices/statistics.h"
#include "bench/devices/system_log.h"
#include "bench/devices/test_machine.h"
#include "bench/devices/timing.h"
#include "bench/devices/sat_db.h"
#include "bench/devices/tracking_results.h"
#include "platform/comm/serial_port.h"
#include "platform/core/error.h"
#include "platform/core/numtext.h"

namespace bench {

using platform::Mid;
using platform::NumberToText;
using platform::ReadLenient;

namespace {

const std::string& F(int k) { return NmeaFields[static_cast<size_t>(k)]; }

// Altitude and satellites used go to worksheet cells: a field that is empty
// or not a number (a 2D fix often has no altitude) leaves the cell empty
// rather than abandoning the epoch.
CellValue NumberCell(const std::string& field) {
    double v = 0;
    if (platform::TryReadStrict(field, v)) return v;
    return std::monostate{};
}

// Latitude, longitude, height, tracked (always 0), used, quality.
void PositionCells(CellValue* out, int16_t quality) {
    out[0] = GetLatitudeFromGGA(F(3), F(4));
    out[1] = GetLongitudeFromGGA(F(5), F(6));
    out[2] = NumberCell(F(10));
    out[3] = 0.0;
    out[4] = NumberCell(F(8));
    out[5] = static_cast<double>(quality);
}

void RestartSeenByGGA(DeviceState& dev, bool full_reset, platform::Stamp arrived) {
    const double at = dev.Times.DateTime(arrived);
    if (full_reset) {
        dev.PrevQuality = 0;
        SatDB_Reset(dev, at);
        SatTableClear(dev);
        DiffOnReset(dev, at, arrived);
    } else {
        SatDB_Reset(dev, at);
    }
    DeviceTestMachine(dev, EvStart, arrived);
    DeviceTestMachine(dev, EvRestartSeen, arrived);
}

// Seconds of the day of the first 8 characters of "hh:mm:ss...". A text
// that is no time of day (a field such as "1200") is a conversion error: the
// rest of the line's steps are abandoned rather than storing a made-up time.
int32_t ClockTextSeconds(const std::string& text, const std::string& field) {
    auto digit = [&](size_t i) { return text[i] >= '0' && text[i] <= '9'; };
    const bool shaped = text.size() >= 8 && text[2] == ':' && text[5] == ':' && digit(0) && digit(1) && digit(3) &&
                        digit(4) && digit(6) && digit(7);
    const int h = shaped ? (text[0] - '0') * 10 + (text[1] - '0') : 0;
    const int m = shaped ? (text[3] - '0') * 10 + (text[4] - '0') : 0;
    const int s = shaped ? (text[6] - '0') * 10 + (text[7] - '0') : 0;
    if (!shaped || h > 23 || m > 59 || s > 59)
        throw platform::BenchError(platform::err::TypeMismatch, "Type mismatch (GGA time \"" + field + "\")");
    return h * 3600 + m * 60 + s;
}

void Steps(DeviceState& dev, std::string_view line, platform::Stamp arrived) {
    const double arrived_at = dev.Times.DateTime(arrived);
    if (dev.SampleCounting) ++dev.SampleCounter;
    dev.CurrentGGA = line;
    ++dev.GGACount;
    const double quality_read = ReadLenient(F(7));
    // Taken as the restart: a first GGA that already has a fix is passed over.
    if (dev.GGAAsStartup && (quality_read == 0 || dev.GGACount >= 2)) {
        dev.GGAAsStartup = false;
        RestartSeenByGGA(dev, true, arrived);
    }
    if (IsCompleteGGATime(F(2))) dev.PCtoUTCDelta = EvaluatePCtoUTCDeltaTime(F(2), arrived_at, dev.Host);
    DeviceTestMachine(dev, EvTick, arrived);
    const int32_t s = platform::RoundToInt32(ReadLenient(GetUTCSecondsFromGGAString(F(2))));
    if (dev.ReacqArmed && dev.SignalOnSecond == s) {
        dev.ReacqArmed = false;
        RestartSeenByGGA(dev, false, arrived);
    }
    const int16_t q = platform::RoundToInt16(quality_read);
    dev.UTCSeconds = s;
    dev.Quality = q;
    const int16_t p = dev.PrevQuality;
    // Fix gained or lost.
    if (q != 0 && p == 0) {
        // A trial that is over (a fix, or a time-out) keeps the GGA it ended
        // with: a fix that comes after the time-out is not this trial's.
        const bool trialOver = dev.TestState == Idle && dev.TestCompleted;
        if (dev.TestMode == 0) DeviceTestMachine(dev, EvFix, arrived);
        if (!trialOver) dev.FixGGA = line;
        dev.FixAvailable = true;
        dev.FixPCTime = arrived_at;
        dev.ReacqSeconds = MakeTimeDifference(dev.FixPCTime, dev.FixLostPCTime);
        dev.SampleCounter = 0;
        dev.SampleCounting = true;
        dev.FixSeen = true;
        dev.FixPlus10Second = (s + 10) % 86400;
        dev.FixPlus5Second = (s + 5) % 86400;
        dev.FixRow[1] = static_cast<double>(s);
        PositionCells(&dev.FixRow[2], q);
    } else if (q == 0 && p != 0) {
        dev.FixAvailable = false;
        dev.FixLostPCTime = arrived_at;
        dev.FixLostSeconds = MakeTimeDifference(dev.FixLostPCTime, dev.FixPCTime);
    }
    if (s == dev.FixPlus5Second)
        PositionCells(&dev.AfterFixRow[0], q);
    else if (s == dev.FixPlus10Second)
        PositionCells(&dev.AfterFixRow[6], q);
    if (q == 2 && p != 2) DiffOnEntered(dev, line, arrived);
    dev.GGATimeText = MakeTimeFromGGAString(F(2));
    if (dev.GGATimeCheck) {
        double t = ReadLenient(Mid(dev.GGATimeText, 7, 6));
        double d = t - dev.PrevGGASeconds;
        if (d < 0) d += 60;
        if (d != 1.0)
            OutputMsg(dev, "WARNING GGA DELTA TIME: " + NumberToText(platform::RoundDecimals(d, 3)) +
                               " - Happened at " + dev.GGATimeText);
        dev.PrevGGASeconds = t;
    }
    // A receiver whose time stands still is restarted.
    const int32_t whole = ClockTextSeconds(dev.GGATimeText, F(2));
    if (dev.Host && dev.Host->NTCChecked()) {
        if (whole == dev.PrevBlockedSecond) {
            ++dev.BlockedCount;
            if (dev.BlockedCount > kBlockedRepeats) {
                OutputMsg(dev, "ALARM: TIME IS BLOCKED!");
                dev.Host->RestartSingleDevice(dev.Console.Port ? dev.Console.Port->CommPort() : int16_t{0});
            }
        } else {
            dev.PrevBlockedSecond = whole;
            dev.BlockedCount = 0;
        }
    }
    dev.FixDate = whole / 86400.0;
    dev.PrevQuality = q;
    if (q == 0) {
        SetStatusPanelText(dev.Console.Status, 2, "FIX INVALID");
    } else {
        SetStatusPanelText(dev.Console.Status, 2, "FIX AVAILABLE");
        if (dev.Host) dev.Host->SetFixAvailableTime(dev.FixDate);
    }
    auto label = [&](size_t i, std::string text) {
        if (dev.PositionData[i]) dev.PositionData[i]->SetText(std::move(text));
    };
    label(14, q == 2 ? "DIFF" : "");
    SetStatusPanelText(dev.Console.Status, 3, dev.GGATimeText);
    label(0, dev.GGATimeText);
    label(1, MakeLatitudeString(F(3)));
    label(2, F(4));
    label(3, MakeLongitudeString(F(5)));
    label(4, F(6));
    label(5, NumberToText(ReadLenient(F(10))) + " m");
    label(12, F(8));
    dev.Latitude = MakeLatitudeMinutes(F(3));
    dev.LatHemisphere = F(4);
    dev.Longitude = MakeLongitudeMinutes(F(5));
    dev.LonHemisphere = F(6);
    GGASamplingTake(dev, line);
}

}  // namespace

void NMEA_GGA_Processing(DeviceState& dev, std::string_view line, platform::Stamp arrived) {
    Trapped("NMEA_GGA_Processing", [&] { Steps(dev, line, arrived); });
}

}  // namespace bench
