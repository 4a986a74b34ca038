#pragma once
// The tables of the NMEA tracking analysis, row by row: per-satellite rows
// (from the GSV table or from the receiver's "$PQNVTS" channels), the
// global_info rows in their text and CSV forms, the raw epoch record, the
// running CN0 average, and the CN0 histogram written after the run.
#include <array>
#include <cstdint>
#include <string>

#include "analysis/analyses/visibility.h"
#include "analysis/core/nmea_epoch.h"
#include "analysis/core/out_file.h"

namespace navsift {

class ChartWorkbookQueue;

// One output file per PRN 1..32, index PRN - 1.
using SatelliteFiles = std::array<OutFile, kMaxPrn>;

// The satellite rows of the epoch into `files`. With `clear` the valid marks
// of the table written from are cleared afterwards, so that the next epoch
// writes only what it received itself.
void write_sat_rows_from_gsv(SatelliteFiles& files, const ElevationMarks& marks, bool clear, NmeaEpoch& e);
void write_sat_rows_from_ts(SatelliteFiles& files, const ElevationMarks& marks, bool clear, NmeaEpoch& e);

// The text of the satellite rows of the epoch, from the $PQNVTS channels when
// the epoch has them, else from the GSV table; the same text goes to the
// window's files and to the report's.
struct SatRows {
    std::array<std::string, kMaxPrn> row;  // empty when the PRN has none
};
void format_sat_rows(const NmeaEpoch& e, const ElevationMarks& marks, bool from_ts, SatRows& out);
void clear_sat_marks(NmeaEpoch& e, bool from_ts);

// The global_info row, written only when the epoch holds a GGA.
void write_global_info_txt(OutFile& out, bool clear, NmeaEpoch& e);
void write_global_info_csv(OutFile& out, NmeaEpoch& e);
std::string global_info_txt_row(const NmeaEpoch& e);
std::string global_info_csv_row(const NmeaEpoch& e);
constexpr const char* kGlobalInfoHeader =
    "gga msg counter,timestamp,tg time gap,lat,lon,height,gga fix status,fix status,pdop,hdop,vdop,nsat used,"
    "tracked sats,nsat visible,velocity,nco,cn0_ave,cn0_ave max,cn0_ave min\r\n";

// The mean CN0 of the satellites heard (CN0 above 0) into cn0_avg, and the
// window's maximum and minimum of that mean. An epoch that heard none has no
// mean (NaN, written "NaN") and leaves maximum, minimum and count alone, so
// they start at the first epoch that has a CN0.
void update_cn0_average(NmeaEpoch& e);

// The epoch as one 2312-byte little-endian record of "global_info.raw".
constexpr std::size_t kRawEpochSize = 2312;
void pack_epoch_record(const NmeaEpoch& e, unsigned char (&out)[kRawEpochSize]);

// "sat_cn0.csv" and "sat_cn0_matrix.csv" from the report's "satNN.csv" files
// in `report_folder`, and (with `charts`) the chart workbook of each
// satellite that has rows. 0, or 1 when a file could not be made (named on
// stderr).
int cn0_analysis(const std::string& report_folder, bool charts = true);
// The same with the satellites' chart workbooks given to `charts` (none when
// null); their failures are told by the queue's Finish.
int cn0_analysis(const std::string& report_folder, ChartWorkbookQueue* charts);

}  // namespace navsift
