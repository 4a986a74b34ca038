#pragma once
// KML 2.2 documents of tracks: styles, folders, one placemark per epoch with
// a small table of what the receiver reported, and the path of each track.
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/core/gps_time.h"
#include "analysis/core/nmea_epoch.h"
#include "analysis/core/options.h"

namespace navsift {

enum class PlacemarkMode { Start = 0, Point = 1, End = 2 };

// The -multicolor rotation: KML colours (aabbggrr) and the names shown in
// folder names.
struct RotationColour {
    uint32_t colour;
    const char* name;
};
constexpr int kRotationColours = 15;
extern const RotationColour kColourRotation[kRotationColours];
constexpr uint32_t kDefaultTrackColour = 0xff0000ff;  // red

// The style of each folder of tracks in turn: the -color colour, else the
// -multicolor rotation, else red. Style sets wrap at 100.
class TrackStyles {
public:
    // Says on stderr when -color names no colour it knows.
    explicit TrackStyles(const OptionRecord& o);
    struct Style {
        int set;
        uint32_t colour;
        std::string label;  // the colour's name, for folder names
    };
    Style Next();

private:
    const OptionRecord& o_;
    std::optional<std::string> colour_word_;
    int set_ = 0;
    int colour_index_ = 0;
};

// "TRK_dd/mm/yyyy_hh:mm:ss" from the RMC date and time, else from the
// "$PQNVTG" time (GPS), else from what the sentences tell (WhenOf), with
// "no date" or "no time" for what they do not.
std::string TrackFolderName(const NmeaEpoch& r);

// The UTC date and time an epoch tells: from its RMC, else from its
// "$PQNVTG", else what its sentences hold of them (an RMC date, an RMC or
// GGA time of day). What none tells is shown as kNoDate or kNoTime, never as
// zeros that read as a moment.
struct EpochWhen {
    bool has_date = false, has_time = false;
    CalendarTime t;
};
EpochWhen WhenOf(const NmeaEpoch& r);
inline constexpr const char* kNoDate = "no date";
inline constexpr const char* kNoTime = "no time";
// The elevation of a point that gave no height.
inline constexpr const char* kNoHeight = "no height";

class KmlWriter {
public:
    KmlWriter() = default;
    KmlWriter(const KmlWriter&) = delete;
    KmlWriter& operator=(const KmlWriter&) = delete;
    ~KmlWriter();

    // Creates folder + name + ".kml" and writes the document head; false when
    // the file cannot be created.
    bool kml_open(const std::string& folder, const std::string& name);
    // Writes the document end and closes; false when anything failed to be
    // written.
    bool Close();
    const std::string& Path() const { return path_; }

    // The style maps, icon styles and line style of one style set.
    void kml_styles(int set, uint32_t colour);
    // Folder names are plain text; they are escaped here.
    void BeginFolder(std::string_view name);
    void EndFolder();
    // A folder named after the epoch's date and time (TrackFolderName).
    void kml_track_folder(const NmeaEpoch& r) { BeginFolder(TrackFolderName(r)); }
    // One placemark of the current track with the styles of `set`. Start
    // begins a new track; End also writes the track's path. `add_to_path`
    // false draws the marker without adding its position again (a track of
    // one epoch).
    void kml_placemark(const NmeaEpoch& r, PlacemarkMode mode, int set, bool add_to_path = true);

private:
    void Write(std::string_view text)
    {
        buffer_.append(text);
        if (buffer_.size() >= (1u << 20)) {
            Flush();
        }
    }
    void Flush();
    // The path of the current track, kept as text until its end marker: in
    // an anonymous temporary file once it outgrows a buffer, so that a track
    // of weeks does not sit in memory.
    void AddToPath(const NmeaEpoch& r);
    void WritePath();
    void ClearPath();

    std::FILE* file_ = nullptr;
    std::string path_;
    std::string buffer_;
    bool failed_ = false;
    int placemark_counter_ = 0;
    std::string path_text_;
    std::FILE* path_spool_ = nullptr;  // null until the path outgrows path_text_
    bool path_spooled_ = false;        // part of the path is in path_spool_
};

// Turns the epochs of one track into placemarks. An epoch is drawn when the
// next one arrives, so that the last one becomes the end marker and every
// epoch is placed once. With split times, the first epoch at or after a split
// time ends the track (and its folder) and starts the next one, so the parts
// join without a gap; each epoch uses at most one split time. Split times
// before the track's first epoch cut nothing.
class KmlTrack {
public:
    // `next_split` indexes `splits` and is shared by the tracks that take
    // the split times in turn; `splits` null means no splitting.
    KmlTrack(KmlWriter& kml, int set, const std::vector<uint32_t>* splits, std::size_t& next_split)
        : kml_(kml), set_(set), splits_(splits), next_split_(next_split)
    {
    }
    // `second`: the epoch's UTC time in GPS seconds, which the split times
    // and the split folders' names use.
    void Add(const NmeaEpoch& e, int64_t second);
    // Ends the track; nothing when no epoch was added.
    void Finish();

private:
    bool Reached(int64_t second) const;
    void DrawPending();

    KmlWriter& kml_;
    int set_;
    const std::vector<uint32_t>* splits_;
    std::size_t& next_split_;
    bool started_ = false;
    int drawn_ = 0;
    NmeaEpoch pending_;
};

}  // namespace navsift
