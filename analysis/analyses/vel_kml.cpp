#include "analysis/analyses/vel_kml.h"

#include <cstdio>
#include <filesystem>

#include "analysis/core/folders.h"
#include "analysis/core/gps_time.h"

namespace navsift {

namespace {
// Record keys are UTC; the epoch carries them as a "$PQNVTG" (GPS) time, as
// the speed extraction fills it, so that placemarks show the record's own
// UTC time.
constexpr int32_t kUtcToGps = 15;
// The "$PQNVTG" flag and the bit that marks a vel file's epoch.
constexpr uint32_t kVelEpochFlags = kHasQnvTG | 0x1;
}  // namespace

void vel_record_to_epoch(const VelRecord& record, NmeaEpoch& e)
{
    e = NmeaEpoch{};
    e.tg_gps_time = static_cast<int32_t>(static_cast<int64_t>(record.key) + kUtcToGps);
    gps_to_calendar(e.tg_gps_time, e.tg_year, e.tg_month, e.tg_day, e.tg_hour, e.tg_minute, e.tg_second);
    e.latitude = record.latitude;
    e.longitude = record.longitude;
    e.height = record.height;
    e.gga_altitude = record.height;
    e.vtg_kmh = record.speed;
    e.vtg_course = record.heading;
    SetRawGgaPosition(e);
    e.flags = kVelEpochFlags;
}

void kml_from_vel(KmlWriter& kml, const std::vector<VelRecord>& records, int set,
                  const std::vector<uint32_t>* splits)
{
    std::size_t next_split = 0;
    KmlTrack track(kml, set, splits, next_split);
    NmeaEpoch e;
    int refused = 0, without = 0;
    for (const VelRecord& r : records) {
        if (!VelOnTheEarth(r)) {
            ++refused;  // a damaged record: no point in space, no unreadable document
            continue;
        }
        if (!VelHasPosition(r)) {
            ++without;  // a reference log's record: it has no place to draw
            continue;
        }
        vel_record_to_epoch(r, e);
        track.Add(e, r.key);
    }
    track.Finish();
    if (refused > 0) {
        std::printf("%d records with a position off the earth dropped\n", refused);
    }
    if (without > 0) {
        std::printf("%d records without a position left out\n", without);
    }
}

std::string FolderArgument(const std::string& argument)
{
    if (argument.empty() || argument.back() == '/' || argument.back() == '\\') {
        return argument;
    }
    std::error_code ec;
    return std::filesystem::is_directory(argument, ec) ? argument + "/" : argument;
}

std::string VelShortName(const std::string& name)
{
    return name.size() >= 4 ? name.substr(0, name.size() - 4) : std::string();
}

int positions_kml(const OptionRecord& o)
{
    const std::optional<std::string> arg = o.Arg(o.p);
    if (!arg || arg->empty() || (*arg)[0] == '-') {
        std::fprintf(stderr, "-p needs the folder of the vel files\n");
        return 2;
    }
    const std::string name = o.name_text.empty() ? std::string("positions") : o.name_text;
    if (!IsPlainOutputName(name)) {
        return 2;
    }
    const RunFolder run = read_run_folder(FolderArgument(*arg), "*.vel", {}, "vel files");
    const std::string& folder = run.folder;
    const std::vector<std::string>& files = run.entries.front().files;
    if (files.empty()) {
        return 0;  // nothing to draw, as its reading says
    }
    KmlWriter kml;
    if (!kml.kml_open(folder, name)) {
        std::fprintf(stderr, "cannot create %s\n", kml.Path().c_str());
        return 1;
    }
    const std::vector<uint32_t>* splits = o.split != 0 ? &o.split_times : nullptr;
    int status = 0;
    for (std::size_t i = 0; i < files.size(); ++i) {
        const int set = static_cast<int>(i % 100);
        const RotationColour& colour = kColourRotation[i % kRotationColours];
        kml.kml_styles(set, colour.colour);
        kml.BeginFolder(VelShortName(files[i]) + " (" + colour.name + ")");
        const std::optional<VelFile> vel = VelFile::Load(folder + files[i]);
        if (!vel) {
            std::fprintf(stderr, "not a vel file: %s\n", (folder + files[i]).c_str());
            status = 1;
        } else {
            if (vel->partial_tail) {
                std::fprintf(stderr, "%s ends in a partial record, which is ignored\n", (folder + files[i]).c_str());
            }
            kml_from_vel(kml, vel->records, set, splits);
        }
        kml.EndFolder();
    }
    if (!kml.Close()) {
        std::fprintf(stderr, "cannot write %s\n", kml.Path().c_str());
        return 1;
    }
    return status;
}

}  // namespace navsift
