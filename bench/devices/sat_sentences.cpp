#include "bench/devices/sat_sentences.h"

#include "bench/devices/device_state.h"
#include "bench/devices/nmea.h"
#include "bench/devices/sat_db.h"
#include "bench/devices/statistics.h"
#include "bench/devices/system_log.h"
#include "bench/devices/test_machine.h"
#include "bench/devices/timing.h"
#include "platform/core/numtext.h"

#include <algorithm>
#include <string>
#include <vector>

namespace bench {

namespace {

constexpr int kRows = 32;
// Gap in twips between a bar's top and the C/N0 number above it.
constexpr int kCn0Gap = 50;
// The row counter stops here: past the table it only marks the epoch as
// overfull (already reported).
constexpr int16_t kRowCounterCap = 1000;

constexpr uint32_t kBlue = RGBColor(0, 0, 255);

const std::string& F(int k) {
    static const std::string empty;
    return k >= 0 && k < kNmeaFieldSlots ? NmeaFields[k] : empty;
}

// The field's leading number rounded to 16 bits; an overflow is an error of
// the calling processor.
int16_t IntegerOf(int k) { return platform::RoundToInt16(platform::ReadLenient(F(k))); }
double NumberOf(int k) { return platform::ReadLenient(F(k)); }

bool InRange(int id) { return id >= 1 && id <= 255; }

void SetCaption(ControlView* cell, const std::string& text) {
    if (cell) cell->SetText(text);
}

uint32_t GsvColor(int id) {
    if (id >= 65 && id <= 95) return RGBColor(0, 192, 0);
    if (id >= 193 && id <= 202) return RGBColor(255, 128, 0);
    return kBlue;
}

// The colour of a satellite used in a fix of the given type; other ids keep
// their colour.
void SetGsaColor(SatDBEntry& e, int id, bool two_d) {
    if (id >= 1 && id <= 32)
        e.FillColor = two_d ? RGBColor(0, 255, 255) : kBlue;
    else if (id >= 65 && id <= 95)
        e.FillColor = two_d ? RGBColor(128, 255, 128) : RGBColor(0, 192, 0);
    else if (id >= 193 && id <= 202)
        e.FillColor = two_d ? RGBColor(255, 192, 128) : RGBColor(255, 128, 0);
}

void SetTsColor(SatDBEntry& e, double f21, double f22) {
    if (f21 == 0)
        e.FillColor = kBlue;
    else if (f22 <= 24)
        e.FillColor = RGBColor(255, 0, 0);
    else if (f22 <= 48)
        e.FillColor = RGBColor(255, 128, 0);
    else if (f22 <= 72)
        e.FillColor = RGBColor(0, 255, 0);
    else if (f22 <= 96)
        e.FillColor = RGBColor(102, 0, 0);
    else if (f22 <= 120)
        e.FillColor = RGBColor(255, 0, 255);
    else if (f22 <= 144)
        e.FillColor = RGBColor(0, 51, 0);
    else if (f22 <= 168)
        e.FillColor = RGBColor(0, 0, 51);
}

// The C/N0 number sits just above its bar.
void PlaceCn0(DeviceState& dev, int r) {
    ControlView* number = dev.Cn0[r];
    ControlView* bar = dev.SatBar[r];
    if (number && bar) number->SetTop(bar->Top() - number->Height() - kCn0Gap);
}

void DrawRow(DeviceState& dev, int r, int id) {
    const SatDBEntry& e = dev.Sats[id];
    ControlView* bar = dev.SatBar[r];
    SetBarFillColor(bar, e.FillColor);
    SetBarBorderColor(bar, e.BorderColor);
    SetBarLevel(bar, e.CN0);
    if (e.UsedThisEpoch) {
        SetBarSolid(bar);
        SetCaption(dev.T2U[r], std::to_string(e.T2U));
    } else {
        SetBarHollow(bar);
        SetCaption(dev.T2U[r], {});
    }
    SetCaption(dev.Cn0[r], std::to_string(e.CN0));
    PlaceCn0(dev, r);
    SetCaption(dev.SatId[r], std::to_string(id));
    SetCaption(dev.CN0Ave[r], platform::NumberToText(platform::RoundDecimals(e.MeanCN0, 1)));
    SetCaption(dev.CN0Max[r], std::to_string(e.MaxCN0));
    SetCaption(dev.CN0Min[r], std::to_string(e.MinCN0));
    SetCaption(dev.AZ[r], std::to_string(e.Azimuth));
    SetCaption(dev.EL[r], std::to_string(e.Elevation));
    SetCaption(dev.TrackTimer[r], std::to_string(e.TrackTime));
    SetCaption(dev.Tim[r], e.T2AValid ? std::to_string(e.T2A) : std::string());
}

// A row without a satellite keeps its T2A and T2U texts.
void BlankRow(DeviceState& dev, int r) {
    ControlView* bar = dev.SatBar[r];
    SetBarFillColor(bar, kBlue);
    SetBarBorderColor(bar, kBlue);
    SetBarLevel(bar, 0);
    SetCaption(dev.Cn0[r], {});
    PlaceCn0(dev, r);
    for (CellRow* column : {&dev.SatId, &dev.CN0Max, &dev.CN0Min, &dev.CN0Ave, &dev.AZ, &dev.EL, &dev.TrackTimer})
        SetCaption((*column)[r], {});
}

// The satellites of the table in id order: every one seen when they fit,
// else the first 32 by tracked first, then id.
std::vector<int> RowsInIdOrder(const DeviceState& dev) {
    std::vector<int> seen;
    for (int id = 1; id <= 255; ++id)
        if (dev.Sats[id].SeenThisEpoch) seen.push_back(id);
    if (seen.size() > kRows) {
        std::stable_partition(seen.begin(), seen.end(), [&](int id) { return dev.Sats[id].CN0 >= 1; });
        seen.resize(kRows);
        std::sort(seen.begin(), seen.end());
    }
    return seen;
}

// Ends the epoch: rows[r] is the satellite of table row r (0: an empty row).
void CloseEpoch(DeviceState& dev, const std::vector<int>& rows, platform::Stamp arrived) {
    int shown = std::min<int>(static_cast<int>(rows.size()), kRows);
    for (int r = 0; r < shown; ++r) {
        if (InRange(rows[r]) && dev.Sats[rows[r]].SeenThisEpoch)
            DrawRow(dev, r, rows[r]);
        else
            BlankRow(dev, r);
    }
    for (int r = shown; r < kRows; ++r) BlankRow(dev, r);

    int visible = 0;
    int tracked = 0;
    for (int id = 1; id <= 255; ++id) {
        SatDBEntry& e = dev.Sats[id];
        if (e.SeenThisEpoch) {
            ++visible;
            // Counted as the time-to-track goal counts, so that a goal taken
            // from it can be reached.
            if (e.CN0 >= 1 && id <= 32) ++tracked;
        } else {
            // Not seen is not tracked: the next sighting is a new acquisition.
            e.CN0 = 0;
            e.T2AValid = false;
            e.AcquiredEpochs = 0;
        }
        e.SeenThisEpoch = false;
        e.UsedThisEpoch = false;
    }
    SetCaption(dev.PositionData[15], std::to_string(visible));
    dev.TrackedNow = static_cast<int16_t>(tracked);

    if (dev.TestMode != 0 && dev.TestState == Running && TTTRKSatellitesReached(dev))
        DeviceTestMachine(dev, EvTrackingReached, arrived);
}

}  // namespace

void NMEA_GSV_Processing(DeviceState& dev, platform::Stamp arrived) {
    Trapped("NMEA_GSV_Processing", [&] {
        // Satellites in this and the later messages of the group.
        const int16_t remaining =
            platform::RoundToInt16(IntegerOf(4) - (NumberOf(3) - 1) * 4);
        const int n = std::min<int>(remaining, 4);
        for (int i = 0; i < n; ++i) {
            const int16_t id = IntegerOf(4 * i + 5);
            const int16_t cn0 = IntegerOf(4 * i + 8);
            SatDB_Update(dev, id, cn0, arrived);  // reports an id out of range itself
            if (!InRange(id)) continue;
            SatDBEntry& e = dev.Sats[id];
            e.FillColor = GsvColor(id);
            e.BorderColor = e.FillColor;
            e.Azimuth = IntegerOf(4 * i + 7);
            e.Elevation = IntegerOf(4 * i + 6);
        }
    });
}

void NMEA_GSA_Processing(DeviceState& dev, std::string_view /*line*/, platform::Stamp arrived) {
    Trapped("NMEA_GSA_Processing", [&] {
        const int last = IntegerOf(0);
        const double fix_type = NumberOf(3);
        for (int i = 4; i <= last - 3; ++i) {
            // Empty slots and values that are no satellite number are passed over.
            const double id_value = platform::RoundHalfEven(NumberOf(i));
            if (id_value < 1 || id_value > 255) continue;
            const int id = static_cast<int>(id_value);
            SatDBEntry& e = dev.Sats[id];
            e.UsedThisEpoch = true;
            SetGsaColor(e, id, fix_type == 2);
            ++e.UsedEpochs;
            if (e.UsedEpochs == 1) {
                e.UsedTime = dev.Times.DateTime(arrived);
                // Used in the epoch of its acquisition (the GSA comes before
                // the GSV that records it): no time passed; the acquisition
                // time on record would be an older one.
                e.T2U = e.AcquiredEpochs == 0 ? 0 : MakeTimeDifference(e.UsedTime, e.AcquiredTime);
                e.T2UValid = true;
            }
            if (e.UsedEpochs == kStableEpochs && e.T2UArmed) {
                e.T2U = MakeTimeDifference(e.UsedTime, e.AcquiredTime);
                e.T2UStatsDone = true;
                ++e.T2USamples;
                e.T2UMean = RunningMean(e.T2UMean, e.T2U, e.T2USamples);
                e.T2UMax = MaxLong(e.T2UMax, e.T2U);
                e.T2UMin = MinLong(e.T2UMin, e.T2U);
            }
        }

        // Dilutions of precision: the last three fields (labels 8 to 10 in the
        // standard sentence). A sentence too short or too long for the labels
        // loses only them.
        if (last - 10 >= 0 && last - 8 < static_cast<int>(dev.PositionData.size())) {
            for (int j = last - 10; j <= last - 8; ++j) SetCaption(dev.PositionData[j], F(j + 8));
        } else {
            ReportOncePerWindow(dev, "Subscript out of range (NMEA_GSA_Processing)");
        }

        int counter = 0;
        const char* text = nullptr;
        if (fix_type == 1) {
            counter = 3;
            text = "NO FIX";
        } else if (fix_type == 2) {
            counter = 2;
            text = "2D FIX";
        } else if (fix_type == 3) {
            counter = 1;
            text = "3D FIX";
        }
        if (text) {
            SetCaption(dev.PositionData[11], text);
            ++dev.GSAStatistics[counter];
            SetCaption(dev.DataStatistics[counter], std::to_string(dev.GSAStatistics[counter]));
        }

        // Only a position the last GGA reported with a fix: a sentence
        // without one leaves its fields empty, which would read as 0 N 0 E.
        const bool fix_position = dev.Quality != 0 && !dev.LatHemisphere.empty() && !dev.LonHemisphere.empty();
        if (dev.PosChartShown && dev.PosChartWindow && fix_position) {
            dev.PosChartWindow->PosAddToChart(dev.Latitude, dev.LatHemisphere, dev.Longitude, dev.LonHemisphere, 0);
            dev.PosChartWindow->PosUpdatePlot();
        }
    });
}

void NMEA_TS_Processing(DeviceState& dev, platform::Stamp arrived) {
    Trapped("NMEA_TS_Processing", [&] {
        const int16_t k = dev.TsRowCounter;
        if (dev.TsRowCounter < kRowCounterCap) ++dev.TsRowCounter;
        const int16_t id = IntegerOf(3);
        const int16_t cn0 = IntegerOf(7);
        if (k >= kRows) {
            // More rows than the table has: the satellite still counts in the
            // epoch; the overflow is reported once per epoch.
            if (k == kRows) SystemLogWrite("Subscript out of range (NMEA_TS_Processing)");
        } else {
            dev.TsRowCn0[k] = cn0;
            dev.TsRowId[k] = id;
        }
        SatDB_Update(dev, id, cn0, arrived);
        if (!InRange(id)) return;
        SatDBEntry& e = dev.Sats[id];
        SetTsColor(e, NumberOf(21), NumberOf(22));
        // The bar is drawn in its fill colour, border included, until the
        // epoch's table is built.
        e.BorderColor = e.FillColor;
        if (k < kRows) {
            SetBarBorderColor(dev.SatBar[k], e.FillColor);
            SetBarSolid(dev.SatBar[k]);
            SetBarFillColor(dev.SatBar[k], e.FillColor);
        }
    });
}

void SatTableUpdate(DeviceState& dev, platform::Stamp arrived) { CloseEpoch(dev, RowsInIdOrder(dev), arrived); }

void TSEpochEnd(DeviceState& dev, platform::Stamp arrived) {
    const int rows = std::min<int>(dev.TsRowCounter, kRows);
    const bool had_rows = dev.TsRowCounter > 0;
    dev.TsRowCounter = 0;
    if (!had_rows) return;
    // Rows follow the order of the epoch's "$PQNVTS" lines, so the ephemeris
    // status of row r belongs to the satellite shown there.
    std::vector<int> layout(dev.TsRowId.begin(), dev.TsRowId.begin() + rows);
    for (int r = rows; r < kRows; ++r) {
        dev.TsRowId[r] = 0;
        dev.TsRowCn0[r] = 0;
    }
    CloseEpoch(dev, layout, arrived);
}

}  // namespace bench
