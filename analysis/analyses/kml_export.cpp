#include "analysis/analyses/kml_export.h"

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "analysis/core/byte_stream.h"
#include "analysis/core/folders.h"
#include "analysis/core/gps_time.h"
#include "analysis/core/run_outcome.h"
#include "analysis/writers/kml_writer.h"
#include "analysis/core/nmea_epoch.h"
#include "analysis/core/nmea_reader.h"
#include "analysis/core/text_util.h"

namespace navsift {

namespace {

bool HasFix(const NmeaEpoch& e)
{
    return e.Has(kHasGGA) && e.fix_quality != 0;
}

// Draws one log; the file name names its folder with -usefname. False when
// it gave no track.
bool DrawLog(ByteStream& in, const std::string& path, const std::string& file_name, const OptionRecord& o,
             KmlWriter& kml, int set, std::size_t& next_split)
{
    if (is_nmea_log(in) != 0) {
        std::printf("Nmea File NOT Recognized\n");
        run_log_lacks(in, path,
                      Format("not an NMEA log: %d $GPGGA or $GPRMC sentences, 6 are needed", position_talkers(in).gp));
        return false;
    }
    std::printf("Nmea File Recognized \n");
    NmeaEpoch e;
    int more;
    int refused = 0;
    // The log is read once, forward: what is behind is given back.
    do {
        more = nmea_read_epoch(in, e);
        refused += e.gga_position_refused ? 1 : 0;
        in.Forget();
    } while (!HasFix(e) && more == 0);
    if (!HasFix(e)) {
        std::printf("No fix found\n");
        if (refused > 0) {
            std::printf("%d positions off the earth dropped\n", refused);
        }
        run_log_lacks(in, path, "no $GPGGA with a fix");
        return false;
    }
    if (o.usefname != 0) {
        kml.BeginFolder(file_name);
    } else {
        kml.kml_track_folder(e);
    }
    KmlTrack track(kml, set, o.split != 0 ? &o.split_times : nullptr, next_split);
    track.Add(e, e.gps_time);
    while (more == 0) {
        more = nmea_read_epoch(in, e);
        refused += e.gga_position_refused ? 1 : 0;
        in.Forget();
        if (HasFix(e)) {
            track.Add(e, e.gps_time);
        }
    }
    track.Finish();
    kml.EndFolder();
    if (refused > 0) {
        std::printf("%d positions off the earth dropped\n", refused);
    }
    return true;
}

using WorkEntry = FolderFiles;

}  // namespace

int kml_from_nmea(const OptionRecord& o)
{
    const std::optional<std::string> input = o.Arg(o.nmea);
    if (!input) {
        std::fprintf(stderr, "the KML export needs -nmea with a log or a folder\n");
        return 1;
    }
    if (o.name_text.empty()) {
        std::fprintf(stderr, "the KML export needs -name with the document's name\n");
        return 1;
    }
    // The document goes beside the log: a name that leads elsewhere is no
    // document name.
    if (!IsPlainOutputName(o.name_text)) {
        return 1;
    }
    const PathParts parts = SplitPath(*input);
    const std::string& base = parts.folder;

    // The log is opened before the document is made, so that a wrong path
    // leaves nothing behind.
    std::vector<WorkEntry> work;
    ByteStream single;
    bool single_loaded = false;
    std::error_code ec;
    const std::filesystem::file_status status = std::filesystem::status(*input, ec);
    if (std::filesystem::is_regular_file(status)) {
        if (!single.Open(*input)) {
            std::fprintf(stderr, "cannot open %s\n", input->c_str());
            return 1;
        }
        single_loaded = true;
        work.push_back({std::string(), {parts.name}});
    } else if (!parts.name.empty() && !std::filesystem::is_directory(status)) {
        // Only a folder path is listed: a log that is not there must not
        // turn into a drawing of its neighbours.
        std::fprintf(stderr, "cannot open %s: %s\n", input->c_str(),
                     ec ? ec.message().c_str() : "not a regular file");
        return 1;
    } else {
        const RunFolder run = read_run_folder(*input, "*.txt", "*.txt");
        if (run.Files() == 0) {
            return 0;  // nothing to draw, as its reading says
        }
        work = run.entries;
    }

    KmlWriter kml;
    if (!kml.kml_open(base, o.name_text)) {
        std::fprintf(stderr, "cannot create %s\n", kml.Path().c_str());
        return 1;
    }

    TrackStyles styles(o);
    std::size_t next_split = 0;
    for (const WorkEntry& entry : work) {
        const TrackStyles::Style style = styles.Next();
        const int set = style.set;
        kml.kml_styles(set, style.colour);
        if (!entry.sub_folder.empty()) {
            kml.BeginFolder(entry.sub_folder + " (" + style.label + ")");
        }
        const std::string folder = entry.sub_folder.empty() ? base : base + entry.sub_folder + "/";
        for (const std::string& file : entry.files) {
            ProcessingLine(entry.sub_folder, file);
            ByteStream in;
            ByteStream* log = &single;
            if (!single_loaded) {
                if (!in.Open(folder + file)) {
                    std::printf("cannot open\n");
                    continue;
                }
                log = &in;
            }
            DrawLog(*log, folder + file, file, o, kml, set, next_split);
        }
        if (!entry.sub_folder.empty()) {
            kml.EndFolder();
        }
    }
    if (!kml.Close()) {
        std::fprintf(stderr, "cannot write %s\n", kml.Path().c_str());
        return 1;
    }
    return 0;
}

}  // namespace navsift
