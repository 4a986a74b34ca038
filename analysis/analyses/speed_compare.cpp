#include "analysis/analyses/speed_compare.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "analysis/analyses/vel_kml.h"
#include "analysis/core/folders.h"
#include "analysis/core/gps_time.h"
#include "analysis/core/nmea_epoch.h"
#include "analysis/core/out_file.h"
#include "analysis/core/run_outcome.h"
#include "analysis/core/text_util.h"
#include "analysis/core/vel_file.h"
#include "analysis/writers/kml_writer.h"
#include "analysis/writers/matlab_standin.h"

namespace navsift {

namespace {

// Files compared at once, the reference included.
constexpr std::size_t kMaxCompared = 16;

const char* const kClassNames[kDrivingClasses] = {"straight", "turning", "accelerating", "stop"};

struct Compared {
    std::string name;        // as listed; "Reference" for the reference
    std::string short_name;  // less its last 4 characters
    VelFile vel;
    std::array<OutFile, kDrivingClasses> dat;
};

// The seconds of each class in this run, the same for every file.
using ClassSeconds = std::array<std::vector<uint32_t>, kDrivingClasses>;

// The folder's vel files in listing order, at most `limit`. A file that is
// not a vel file is reported and left out; 1 then.
int LoadFolder(const std::string& folder, std::size_t limit, std::vector<Compared>& out)
{
    std::vector<std::string> names = list_files(folder, "*.vel");
    if (names.size() > limit) {
        std::fprintf(stderr, "only the first %zu .vel files are compared\n", limit);
        names.resize(limit);
    }
    int status = 0;
    for (const std::string& name : names) {
        std::optional<VelFile> vel = VelFile::Load(folder + name);
        if (!vel) {
            std::fprintf(stderr, "not a vel file: %s\n", (folder + name).c_str());
            status = 1;
            continue;
        }
        if (vel->partial_tail) {
            std::fprintf(stderr, "%s ends in a partial record, which is ignored\n", (folder + name).c_str());
        }
        Compared c;
        c.name = name;
        c.short_name = VelShortName(name);
        c.vel = std::move(*vel);
        out.push_back(std::move(c));
    }
    return status;
}

struct Range {
    uint32_t start = 0, end = 0;
    std::string start_stamp, end_stamp;
};

Range CommonRange(const std::vector<Compared>& files)
{
    Range r;
    for (std::size_t i = 0; i < files.size(); ++i) {
        r.start = i == 0 ? files[i].vel.first : std::max(r.start, files[i].vel.first);
        r.end = i == 0 ? files[i].vel.last : std::min(r.end, files[i].vel.last);
    }
    gps_time_stamp(static_cast<int32_t>(r.start), r.start_stamp);
    gps_time_stamp(static_cast<int32_t>(r.end), r.end_stamp);
    return r;
}

// Every file's record of second t, or nothing (reported) when one lacks it.
bool LookupAll(const std::vector<Compared>& files, uint32_t t, std::vector<VelRecord>& records)
{
    records.clear();
    for (const Compared& f : files) {
        const std::optional<VelRecord> r = f.vel.Lookup(t);
        if (!r) {
            std::printf("timestamp %d not found in %s\r\n", static_cast<int32_t>(t), f.name.c_str());
            return false;
        }
        records.push_back(*r);
    }
    return true;
}

// A damaged record's position (a latitude of 1e300 or 95.5, a longitude of
// 400, a height of inf, a NaN) is no place to compare.
bool OnTheEarth(const VelRecord& r) { return VelOnTheEarth(r); }

// A position to write: on the earth, and one the log gave.
bool Comparable(const VelRecord& r) { return OnTheEarth(r) && VelHasPosition(r); }

// The records of a second whose position is off the earth.
int OffTheEarth(const std::vector<VelRecord>& records)
{
    return static_cast<int>(std::count_if(records.begin(), records.end(), [](const VelRecord& r) {
        return !OnTheEarth(r);
    }));
}

// Positions are written to the millionth of a degree (about 0.1 m), as the
// other outputs write them.
constexpr int kPositionDecimals = 6;

// The speeds of all files, then their headings, latitudes, longitudes and
// heights, each as "," + the value: speeds and headings with `precision`
// decimals, positions with six. A position off the earth, or the zeros of a
// log without one, leaves its three cells empty, and so does a speed or
// heading the log did not tell (NaN).
void AppendValues(std::string& row, const std::vector<VelRecord>& records, int precision)
{
    for (double VelRecord::*field :
         {&VelRecord::speed, &VelRecord::heading, &VelRecord::latitude, &VelRecord::longitude, &VelRecord::height}) {
        const bool position = field != &VelRecord::speed && field != &VelRecord::heading;
        for (const VelRecord& r : records) {
            row += ',';
            if (position ? Comparable(r) : !std::isnan(r.*field)) {
                row += Fixed(r.*field, position ? kPositionDecimals : precision).c_str();
            }
        }
    }
}

void ReportOffTheEarth(int count, const OutFile& csv)
{
    if (count > 0) {
        std::printf("%d positions off the earth left out of %s\n", count, csv.Path().c_str());
    }
}

void AppendColumns(std::string& header, const std::vector<Compared>& files, bool short_names,
                   const std::array<const char*, 5>& suffixes)
{
    for (const char* suffix : suffixes) {
        for (const Compared& f : files) {
            header += Format(suffix, short_names ? f.short_name.c_str() : f.name.c_str());
        }
    }
}

bool CloseReporting(OutFile& file)
{
    if (file.Close()) {
        return true;
    }
    std::fprintf(stderr, "cannot write %s: %s\n", file.Path().c_str(), file.Error().c_str());
    return false;
}

int compare_speed_heading(const std::string& folder)
{
    std::vector<Compared> files;
    int status = LoadFolder(folder, kMaxCompared, files);
    if (files.empty()) {
        std::fprintf(stderr, "no vel files in %s\n", folder.empty() ? "." : folder.c_str());
        return 1;
    }
    const Range range = CommonRange(files);
    if (!(range.start < range.end)) {
        std::printf("Compare range not found %s to %s\r\n", range.start_stamp.c_str(), range.end_stamp.c_str());
        return 1;
    }
    std::printf("Compare range from %s to %s\r\n", range.start_stamp.c_str(), range.end_stamp.c_str());
    OutFile csv;
    if (!csv.Create(folder + "compare.csv")) {
        std::fprintf(stderr, "cannot create %s: %s\n", csv.Path().c_str(), csv.Error().c_str());
        return 1;
    }
    std::string text = "gps timestamp";
    AppendColumns(text, files, false, {",%s speed", ",%s heading", ",%s Lat", ",%s Lon", ",%s Height"});
    text += "\r\n";
    std::vector<VelRecord> records;
    int off_the_earth = 0;
    for (uint64_t t = range.start; t <= range.end; ++t) {
        if (!LookupAll(files, static_cast<uint32_t>(t), records)) {
            continue;
        }
        off_the_earth += OffTheEarth(records);
        run_produced();
        AppendFormat(text, "%d", static_cast<int32_t>(t));
        AppendValues(text, records, 1);
        text += "\r\n";
        if (text.size() >= (1u << 20)) {
            csv.Write(text);
            text.clear();
        }
    }
    csv.Write(text);
    ReportOffTheEarth(off_the_earth, csv);
    if (!CloseReporting(csv)) {
        status = 1;
    }
    std::fflush(stdout);
    return status;
}

// The classified positions: per file a folder with one folder per class.
bool WriteClassKml(const std::string& out_folder, const std::vector<Compared>& files, const ClassSeconds& seconds,
                   const OptionRecord& o)
{
    KmlWriter kml;
    if (!kml.kml_open(out_folder, "compare_positions")) {
        std::fprintf(stderr, "cannot create %s\n", kml.Path().c_str());
        return false;
    }
    const std::vector<uint32_t>* splits = o.split != 0 ? &o.split_times : nullptr;
    std::vector<VelRecord> records;
    for (std::size_t i = 0; i < files.size(); ++i) {
        const int set = static_cast<int>(i % 100);
        kml.kml_styles(set, kColourRotation[i % kRotationColours].colour);
        kml.BeginFolder(files[i].short_name);
        for (int c = 0; c < kDrivingClasses; ++c) {
            records.clear();
            for (const uint32_t t : seconds[c]) {
                // Every file held every classified second.
                records.push_back(*files[i].vel.Lookup(t));
            }
            kml.BeginFolder(kClassNames[c]);
            kml_from_vel(kml, records, set, splits);
            kml.EndFolder();
        }
        kml.EndFolder();
    }
    if (!kml.Close()) {
        std::fprintf(stderr, "cannot write %s\n", kml.Path().c_str());
        return false;
    }
    return true;
}

int compare_classify(const std::string& folder, const std::string& reference, const OptionRecord& o)
{
    std::vector<Compared> files;
    int status = LoadFolder(folder, kMaxCompared - 1, files);
    {
        std::optional<VelFile> vel = VelFile::Load(reference);
        if (!vel) {
            std::fprintf(stderr, "cannot read the reference %s as a vel file\n", reference.c_str());
            return 1;
        }
        if (vel->partial_tail) {
            std::fprintf(stderr, "%s ends in a partial record, which is ignored\n", reference.c_str());
        }
        Compared c;
        c.name = "Reference";
        c.short_name = VelShortName(c.name);
        c.vel = std::move(*vel);
        files.push_back(std::move(c));
    }
    // Without a common second nothing is written: an earlier run's files in
    // the output folder stay whole, as that run left them.
    const Range range = CommonRange(files);
    if (!(range.start < range.end)) {
        std::printf("Compare range not found %s to %s\r\n", range.start_stamp.c_str(), range.end_stamp.c_str());
        return 1;
    }
    const std::string out_folder = folder + Format("compare_%d_%d_%d", o.hth, o.turntime, o.vth) + "/";
    std::error_code ec;
    if (!make_output_folder(out_folder, ec)) {
        std::fprintf(stderr, "cannot create %s: %s\n", out_folder.c_str(), ec.message().c_str());
        return 1;
    }
    OutFile matlab;
    if (!matlab.Create(out_folder + "compare.m")) {
        std::fprintf(stderr, "cannot create %s: %s\n", matlab.Path().c_str(), matlab.Error().c_str());
        return 1;
    }
    std::printf("Compare range from %s to %s\r\n", range.start_stamp.c_str(), range.end_stamp.c_str());

    // compare.csv, then one table per class in the class order.
    std::array<OutFile, kDrivingClasses + 1> csv;
    const char* const kCsvNames[kDrivingClasses + 1] = {"compare.csv", "compare_straight.csv", "compare_turning.csv",
                                                         "compare_accelerating.csv", "compare_stop.csv"};
    for (std::size_t i = 0; i < csv.size(); ++i) {
        if (!csv[i].Create(out_folder + kCsvNames[i])) {
            std::fprintf(stderr, "cannot create %s: %s\n", csv[i].Path().c_str(), csv[i].Error().c_str());
            return 1;
        }
    }
    matlab.Printf("speed_analysis_compare('%s','%s'", MatlabText(out_folder).c_str(),
                  MatlabText(out_folder + "compare_straight.csv").c_str());
    for (Compared& f : files) {
        matlab.Printf(",'%s'", MatlabText(f.short_name).c_str());
        for (int c = 0; c < kDrivingClasses; ++c) {
            OutFile& dat = f.dat[c];
            if (!dat.Create(out_folder + f.short_name + "_" + kClassNames[c] + ".dat")) {
                std::fprintf(stderr, "cannot create %s: %s\n", dat.Path().c_str(), dat.Error().c_str());
                status = 1;
            }
        }
    }
    matlab.Write(");\r\n");

    std::string header = "utc_timestamp,utc_hour,utc_minute,utc_second";
    AppendColumns(header, files, true, {",%s_speed", ",%s_heading", ",%s_Lat", ",%s_Lon", ",%s_Height"});
    header += "\r\n";
    std::array<std::string, kDrivingClasses + 1> text;
    for (std::string& t : text) {
        t = header;
    }
    auto flush = [&](std::size_t i) {
        csv[i].Write(text[i]);
        text[i].clear();
    };

    DrivingClassifier classifier(o.hth, o.turntime, o.vth);
    ClassSeconds class_seconds;
    std::vector<VelRecord> records;
    std::string bytes;
    int off_the_earth = 0;
    for (uint64_t t = range.start; t <= range.end; ++t) {
        if (!LookupAll(files, static_cast<uint32_t>(t), records)) {
            continue;
        }
        off_the_earth += OffTheEarth(records);
        std::printf("Comparing Timestamp: %d\r", static_cast<int32_t>(t));
        CalendarTime when;
        gps_to_calendar(static_cast<int32_t>(t), when);
        std::string row = Format("%d,%d,%d,%d", static_cast<int32_t>(t), when.hour, when.minute, when.second);
        const std::size_t lead = row.size();
        AppendValues(row, records, 6);
        text[0] += row;
        text[0] += "\r\n";
        run_produced();
        const VelRecord& ref = records.back();
        const DrivingClass cls = classifier.Classify(ref.speed, ref.heading);
        if (cls != DrivingClass::None) {
            const int c = static_cast<int>(cls);
            std::string& out = text[c + 1];
            if (cls == DrivingClass::Stop) {
                out.append(row, 0, lead);
                AppendValues(out, records, 1);
            } else {
                out += row;
            }
            out += "\r\n";
            for (std::size_t i = 0; i < files.size(); ++i) {
                bytes.clear();
                AppendVelRecord(bytes, records[i]);
                files[i].dat[c].Write(bytes);
            }
            class_seconds[c].push_back(static_cast<uint32_t>(t));
        }
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (text[i].size() >= (1u << 20)) {
                flush(i);
            }
        }
    }
    ReportOffTheEarth(off_the_earth, csv[0]);
    for (std::size_t i = 0; i < text.size(); ++i) {
        flush(i);
        if (!CloseReporting(csv[i])) {
            status = 1;
        }
    }
    for (Compared& f : files) {
        for (OutFile& dat : f.dat) {
            if (dat.IsOpen() && !CloseReporting(dat)) {
                status = 1;
            }
        }
    }
    if (!WriteClassKml(out_folder, files, class_seconds, o)) {
        status = 1;
    }
    if (!CloseReporting(matlab)) {
        status = 1;
    }
    std::fflush(stdout);
    return status;
}

std::string Stamp(uint32_t second)
{
    std::string s;
    gps_time_stamp(static_cast<int32_t>(second), s);
    return s;
}

}  // namespace

const char* DrivingClassName(DrivingClass c)
{
    return c == DrivingClass::None ? "none" : kClassNames[static_cast<int>(c)];
}

double HeadingChange(double from, double to)
{
    double d = std::fmod(std::fabs(to - from), 360.0);
    return d > 180 ? 360 - d : d;
}

DrivingClass DrivingClassifier::Classify(double speed, double heading)
{
    if (std::isnan(speed)) {
        return DrivingClass::None;
    }
    if (speed <= vth_) {
        return DrivingClass::Stop;
    }
    if (std::isnan(heading)) {
        return DrivingClass::None;
    }
    if (first_moving_) {
        first_moving_ = false;
        previous_heading_ = heading;
        return DrivingClass::None;
    }
    const double change = HeadingChange(previous_heading_, heading);
    previous_heading_ = heading;
    if (!turning_) {
        if (change > hth_) {
            turning_ = true;
            return DrivingClass::Turning;
        }
        return DrivingClass::Straight;
    }
    if (change > hth_) {
        quiet_ = 0;
    } else if (++quiet_ > turntime_) {
        turning_ = false;
        quiet_ = 0;
    }
    return DrivingClass::Turning;
}

int compare_dispatch(const OptionRecord& o)
{
    const std::optional<std::string> arg = o.Arg(o.compare);
    if (!arg || arg->empty() || (*arg)[0] == '-') {
        std::fprintf(stderr, "-compare needs the folder of the vel files\n");
        return 2;
    }
    const std::string folder = read_run_folder(FolderArgument(*arg), "*.vel", {}, "vel files").folder;
    if (o.ref == 0) {
        return compare_speed_heading(folder);
    }
    const std::optional<std::string> reference = o.Arg(o.ref);
    if (!reference || reference->empty() || (*reference)[0] == '-') {
        std::fprintf(stderr, "-ref needs the reference vel file\n");
        return 2;
    }
    return compare_classify(folder, *reference, o);
}

int vel_merge(const OptionRecord& o)
{
    const std::optional<std::string> heading_path = o.Arg(o.heading);
    const std::optional<std::string> speed_path = o.Arg(o.speed);
    const std::optional<std::string> prefix = o.Arg(o.out);
    if (!heading_path || !speed_path || !prefix) {
        std::fprintf(stderr, "-merge needs -heading FILE -speed FILE -out PREFIX\n");
        return 2;
    }
    const std::optional<VelFile> heading = VelFile::Load(*heading_path);
    const std::optional<VelFile> speed = VelFile::Load(*speed_path);
    for (const auto& [file, path] : {std::pair{&heading, *heading_path}, std::pair{&speed, *speed_path}}) {
        if (!*file) {
            std::fprintf(stderr, "cannot read %s as a vel file\n", path.c_str());
            return 1;
        }
        if ((*file)->partial_tail) {
            std::fprintf(stderr, "%s ends in a partial record, which is ignored\n", path.c_str());
        }
    }
    const uint32_t start = std::max(heading->first, speed->first);
    const uint32_t end = std::min(heading->last, speed->last);
    if (start > end) {
        std::printf("Input files are not compatible. Merging fail\r\n");
        return 1;
    }
    const std::string merged_path = *prefix + "out.vel";
    const std::string final_path = SplitPath(merged_path).folder + "Out_T_" + Stamp(start) + "_" + Stamp(end) + ".vel";
    for (const std::string& output : {merged_path, final_path}) {
        for (const std::string& input : {*heading_path, *speed_path}) {
            if (SameFile(output, input)) {
                std::fprintf(stderr, "the output %s would replace the input %s; nothing merged\n", output.c_str(),
                             input.c_str());
                return 1;
            }
        }
    }
    std::string bytes;
    AppendVelHeader(bytes, start, end);
    std::size_t merged = 0;
    for (uint64_t t = start; t <= end; ++t) {
        const std::optional<VelRecord> h = heading->Lookup(static_cast<uint32_t>(t));
        if (!h) {
            std::printf("timestamp %d not found in %s\r\n", static_cast<int32_t>(t), "heading file");
            continue;
        }
        const std::optional<VelRecord> s = speed->Lookup(static_cast<uint32_t>(t));
        if (!s) {
            std::printf("timestamp %d not found in %s\r\n", static_cast<int32_t>(t), "speed file");
            continue;
        }
        // The position of the heading's file: zeros for reference types
        // that have none, and a track for a receiver's headings.
        AppendVelRecord(bytes, {static_cast<uint32_t>(t), s->speed, h->heading, h->latitude, h->longitude, h->height});
        ++merged;
    }
    run_produced(merged);
    if (merged == 0) {
        run_input_lacks(*heading_path, "no second that " + *speed_path + " holds too; nothing merged");
        return 0;
    }
    OutFile out;
    if (!out.Create(merged_path)) {
        std::fprintf(stderr, "cannot create %s: %s\n", merged_path.c_str(), out.Error().c_str());
        return 1;
    }
    out.Write(bytes);
    if (!CloseReporting(out)) {
        return 1;
    }
    std::fflush(stdout);
    std::string error;
    if (!RenameNoReplace(merged_path, final_path, error)) {
        std::fprintf(stderr, "cannot rename %s to %s: %s\n", merged_path.c_str(), final_path.c_str(), error.c_str());
        return 1;
    }
    return 0;
}

}  // namespace navsift
