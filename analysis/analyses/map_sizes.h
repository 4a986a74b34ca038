#pragma once
// Component sizes of two linker maps compared: the objects, then the
// libraries, whose Code, RO, RW or ZI changed, printed and appended to CSV
// files beside the first map.
#include <cstdint>
#include <string>
#include <vector>

#include "analysis/core/byte_stream.h"
#include "analysis/core/options.h"

namespace navsift {

struct MapSizeEntry {
    std::string name;
    int32_t code = 0, ro = 0, rw = 0, zi = 0, debug = 0;
};

// The entries of the "Image component sizes" listing whose line holds
// `pattern`; lines that do not give all six values are left out.
std::vector<MapSizeEntry> map_read_sizes(ByteStream& map, const std::string& pattern);

// The three CSV files of one comparison.
struct MapCsvNames {
    std::string first, second, versus;
};
// "<stem>.csv" beside each map, and "<first stem>_vs_<second stem>.csv"
// beside the first.
MapCsvNames map_csv_names(const std::string& first_map, const std::string& second_map);

// Prints one comparison and appends it to the three files; false when a
// file cannot be written (message printed).
bool map_compare_tables(const std::vector<MapSizeEntry>& first, const std::vector<MapSizeEntry>& second,
                        const MapCsvNames& files);

// "-size -b1 MAP -b2 MAP".
int map_size_compare(const OptionRecord& options);

}  // namespace navsift
