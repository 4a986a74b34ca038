#include "bench/devices/speed_sentences.h"

#include "bench/devices/bench_host.h"
#include "bench/devices/device_state.h"
#include "bench/devices/nmea.h"
#include "bench/devices/system_log.h"
#include "bench/devices/timing.h"
#include "platform/core/numtext.h"

namespace bench {

namespace {

constexpr int kEphPairs = 6;
// Consecutive SBAS sentences with signal that count as acquired.
constexpr int32_t kSbasAcquiredCount = 10;
// Metres per nautical mile as the bench has always shown knots.
constexpr double kMetresPerNauticalMile = 1853;

const std::string& F(int k) {
    static const std::string empty;
    return k >= 0 && k < kNmeaFieldSlots ? NmeaFields[k] : empty;
}

void SetCaption(ControlView* cell, const std::string& text) {
    if (cell) cell->SetText(text);
}

// Speed in m/s and course on labels 6 and 7. A receiver without a fix sends
// empty speed fields: the labels then stay as they are, without a log line.
void ShowSpeed(DeviceState& dev, const std::string& speed_field, double metres_per_second_per_unit,
               const std::string& course_field) {
    if (platform::Trim(speed_field).empty()) return;
    const double speed = platform::ReadStrict(speed_field) * metres_per_second_per_unit;
    SetCaption(dev.PositionData[6], platform::NumberToText(platform::RoundDecimals(speed, 1)) + " m/s");
    SetCaption(dev.PositionData[7], course_field + " deg");
}

}  // namespace

void NMEA_VTG_Processing(DeviceState& dev) {
    Trapped("NMEA_VTG_Processing", [&] { ShowSpeed(dev, F(8), 1 / 3.6, F(2)); });
}

void NMEA_RMC_Processing(DeviceState& dev) {
    Trapped("NMEA_RMC_Processing", [&] { ShowSpeed(dev, F(8), kMetresPerNauticalMile / 3600, F(9)); });
}

void NMEA_POSHOLD_Processing(DeviceState& dev, std::string_view /*line*/) {
    Trapped("NMEA_POSHOLD_Processing", [&] {
        const double hold = platform::ReadLenient(F(2));
        if (hold == 0)
            SetCaption(dev.HoldPositionData[0], "OFF");
        else if (hold == 1)
            SetCaption(dev.HoldPositionData[0], "ON");
        SetCaption(dev.HoldPositionData[1], MakeLatitudeString(F(3)));
        SetCaption(dev.HoldPositionData[2], F(4));
        SetCaption(dev.HoldPositionData[3], MakeLongitudeString(F(5)));
        SetCaption(dev.HoldPositionData[4], F(6));
        SetCaption(dev.HoldPositionData[5], platform::NumberToText(platform::ReadLenient(F(7))) + " m");
    });
}

void NMEA_TG_Processing(DeviceState& dev) {
    Trapped("NMEA_TG_Processing", [&] { SetCaption(dev.PositionData[13], F(4)); });
}

void NMEA_EPH_Processing(DeviceState& dev, platform::Stamp arrived) {
    Trapped("NMEA_EPH_Processing", [&] {
        bool reported = false;
        for (int j = 0; j < kEphPairs; ++j) {
            const int16_t id = platform::RoundToInt16(platform::ReadLenient(F(2 * j + 5)));
            const std::string& status = F(2 * j + 6);
            for (int r = 0; r < static_cast<int>(dev.TsRowId.size()) && dev.TsRowId[r] > 0; ++r) {
                if (dev.TsRowId[r] != id) continue;
                ControlView* cell = dev.EPH[r];
                const bool just_available = status != "N/A" && cell && cell->Text() == "N/A";
                if (just_available && id > 255) {
                    // A row of a satellite outside the database: its status is
                    // shown; the other pairs still count.
                    if (!reported) SystemLogWrite("Subscript out of range (NMEA_EPH_Processing)");
                    reported = true;
                } else if (just_available) {
                    SatDBEntry& e = dev.Sats[id];
                    e.EphTime = dev.Times.DateTime(arrived);
                    if (e.EphArmed) {
                        e.T2E = MakeTimeDifference(e.EphTime, e.AcquiredTime);
                        e.EphValid = true;
                    }
                }
                SetCaption(cell, status);
                break;
            }
        }
    });
}

void NMEA_SBAS_Processing(DeviceState& dev, platform::Stamp arrived) {
    Trapped("NMEA_SBAS_Processing", [&] {
        dev.SBASSatellite = platform::RoundToInt16(platform::ReadLenient(F(3)));
        if (platform::ReadLenient(F(7)) > 0) {
            ++dev.SBASCount;
            // Timed on the differential clock, which every restart and every
            // differential reset starts again with the count.
            if (dev.SBASCount == 1) dev.SBASFirstSeconds = ElapsedSecondsBetween(dev.DiffClock, dev.Times.UtcStamp(arrived));
            if (dev.SBASCount == kSbasAcquiredCount) dev.SBASTime = dev.SBASFirstSeconds + dev.StartupDelay;
        } else {
            dev.SBASCount = 0;
        }
    });
}

void NMEA_VER_Processing(DeviceState& dev, const std::string& version) {
    Trapped("NMEA_VER_Processing", [&] {
        if (dev.Host) dev.Host->DeviceSetVersionString(dev.DeviceID, version);
    });
}

}  // namespace bench
