#include "analysis/analyses/map_sizes.h"

#include <cstdio>

#include "analysis/core/folders.h"
#include "analysis/core/out_file.h"
#include "analysis/core/run_outcome.h"
#include "analysis/core/text_util.h"

namespace navsift {

namespace {

struct Totals {
    int64_t code = 0, ro = 0, rw = 0, zi = 0, debug = 0;
};

std::string Line(int64_t a, int64_t b, int64_t c, int64_t d, int64_t e, const std::string& name)
{
    return Format("%lld,%lld,%lld,%lld,%lld,%s\n", static_cast<long long>(a), static_cast<long long>(b),
                  static_cast<long long>(c), static_cast<long long>(d), static_cast<long long>(e), name.c_str());
}

std::string Row(const std::string& name, int64_t a, int64_t b, int64_t c, int64_t d, int64_t e)
{
    return Format("%40s %10lld %10lld %10lld %10lld %10lld\n", name.c_str(), static_cast<long long>(a),
                  static_cast<long long>(b), static_cast<long long>(c), static_cast<long long>(d),
                  static_cast<long long>(e));
}

// Appends to a file that may already hold earlier runs' blocks.
bool Append(const std::string& path, const std::string& text)
{
    std::FILE* f = open_output(path, "ab");
    if (f == nullptr) {
        std::fprintf(stderr, "cannot open %s\n", path.c_str());
        return false;
    }
    const bool written = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    if (std::fclose(f) != 0 || !written) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        return false;
    }
    return true;
}

// The map's name without its extension, in its own folder.
std::string Stem(const std::string& path)
{
    const PathParts parts = SplitPath(path);
    return parts.folder + StripExtension(parts.name);
}

// Why a map gave no size: the layout this comparison reads is a linker's
// "Image component sizes" listing, a line per object or library with its
// Code, RO, RW, ZI and DEBUG sizes and then its name.
std::string MapLacks(ByteStream& map)
{
    map.Seek(0);
    std::string line;
    bool listing = false;
    for (;;) {
        read_line(map, line);
        if (line.empty()) {
            break;
        }
        if (find_substring_index(line, "Image component sizes") >= 0) {
            listing = true;
            break;
        }
    }
    map.Seek(0);
    if (map.Size() == 0) {
        return "it is empty";
    }
    if (!listing) {
        return "no \"Image component sizes\" listing: -size reads a linker map whose listing gives each object "
               "(.o) and library (.lib) as Code, RO, RW, ZI and DEBUG sizes and its name";
    }
    return "its \"Image component sizes\" listing holds no line of Code, RO, RW, ZI and DEBUG sizes and a .o or "
           ".lib name";
}

std::size_t Matched(const std::vector<MapSizeEntry>& first, const std::vector<MapSizeEntry>& second)
{
    std::size_t n = 0;
    for (const MapSizeEntry& a : first) {
        for (const MapSizeEntry& b : second) {
            n += a.name == b.name ? 1 : 0;
        }
    }
    return n;
}

}  // namespace

std::vector<MapSizeEntry> map_read_sizes(ByteStream& map, const std::string& pattern)
{
    std::vector<MapSizeEntry> table;
    std::string line;
    bool in_listing = false;
    for (;;) {
        read_line(map, line);
        if (line.empty()) {
            break;
        }
        if (!in_listing) {
            in_listing = find_substring_index(line, "Image component sizes") >= 0;
            continue;
        }
        if (find_substring_index(line, pattern) < 0) {
            continue;
        }
        MapSizeEntry e;
        char name[2048];
        if (std::sscanf(line.c_str(), "%d %d %d %d %d %2047s", &e.code, &e.ro, &e.rw, &e.zi, &e.debug, name) == 6) {
            e.name = name;
            table.push_back(std::move(e));
        }
    }
    return table;
}

MapCsvNames map_csv_names(const std::string& first_map, const std::string& second_map)
{
    const std::string second_name = StripExtension(SplitPath(second_map).name);
    return {Stem(first_map) + ".csv", Stem(second_map) + ".csv", Stem(first_map) + "_vs_" + second_name + ".csv"};
}

bool map_compare_tables(const std::vector<MapSizeEntry>& first, const std::vector<MapSizeEntry>& second,
                        const MapCsvNames& files)
{
    std::string screen = Format("%40s %10s %10s %10s %10s %10s\n", "Object Name", "Code", "RO", "RW", "ZI", "DEBUG");
    const std::string dashes = std::string(95, '-') + "\n";
    screen += dashes;
    std::string versus, first_csv, second_csv;
    Totals t;
    for (const MapSizeEntry& a : first) {
        for (const MapSizeEntry& b : second) {
            if (a.name != b.name) {
                continue;
            }
            const int64_t dc = int64_t{a.code} - b.code, dro = int64_t{a.ro} - b.ro, drw = int64_t{a.rw} - b.rw,
                          dzi = int64_t{a.zi} - b.zi, ddb = int64_t{a.debug} - b.debug;
            t.code += dc;
            t.ro += dro;
            t.rw += drw;
            t.zi += dzi;
            t.debug += ddb;
            // A change of debug information alone is no change of the image.
            if (dc == 0 && dro == 0 && drw == 0 && dzi == 0) {
                continue;
            }
            screen += Row(a.name, dc, dro, drw, dzi, ddb);
            versus += Line(dc, dro, drw, dzi, ddb, a.name);
            first_csv += Line(a.code, a.ro, a.rw, a.zi, a.debug, a.name);
            second_csv += Line(b.code, b.ro, b.rw, b.zi, b.debug, b.name);
        }
    }
    screen += dashes;
    screen += Row("TOTAL", t.code, t.ro, t.rw, t.zi, t.debug);
    std::fwrite(screen.data(), 1, screen.size(), stdout);
    const std::string total = ",,,,,\n" + Line(t.code, t.ro, t.rw, t.zi, t.debug, "TOTAL");
    bool ok = Append(files.versus, versus + total);
    ok = Append(files.first, first_csv + total) && ok;
    ok = Append(files.second, second_csv + total) && ok;
    return ok;
}

int map_size_compare(const OptionRecord& options)
{
    const auto first_path = options.Arg(options.b1);
    const auto second_path = options.Arg(options.b2);
    if (!first_path || !second_path) {
        std::fprintf(stderr, "-size needs -b1 and -b2 with the two map files\n");
        return 2;
    }
    ByteStream first, second;
    for (auto [stream, path] : {std::pair{&first, *first_path}, std::pair{&second, *second_path}}) {
        if (!stream->Open(path)) {
            std::fprintf(stderr, "cannot open %s\n", path.c_str());
            return 1;
        }
    }
    const MapCsvNames files = map_csv_names(*first_path, *second_path);
    // A map must never be appended to as one of the tables.
    for (const std::string& out : {files.first, files.second, files.versus}) {
        if (SameFile(out, *first_path) || SameFile(out, *second_path)) {
            std::fprintf(stderr, "%s would overwrite a map; rename the map\n", out.c_str());
            return 1;
        }
    }
    const std::vector<MapSizeEntry> objects[2] = {map_read_sizes(first, ".o"), map_read_sizes(second, ".o")};
    first.Seek(0);
    second.Seek(0);
    const std::vector<MapSizeEntry> libraries[2] = {map_read_sizes(first, ".lib"), map_read_sizes(second, ".lib")};
    // Totals of nothing would read as two builds of the same size.
    bool readable = true;
    for (int k = 0; k < 2; ++k) {
        ByteStream& map = k == 0 ? first : second;
        const std::string& path = k == 0 ? *first_path : *second_path;
        if (objects[k].empty() && libraries[k].empty()) {
            run_input_lacks(path, MapLacks(map));
            readable = false;
        }
    }
    if (!readable) {
        return 0;
    }
    const std::size_t matched = Matched(objects[0], objects[1]) + Matched(libraries[0], libraries[1]);
    if (matched == 0) {
        run_input_lacks(*first_path, "no object or library of it is listed in " + *second_path + " too");
        return 0;
    }
    run_produced(matched);
    bool ok = true;
    std::printf("OBJECTS SIZE COMPARISON: \n\n");
    ok = map_compare_tables(objects[0], objects[1], files) && ok;
    std::printf("LIB SIZE COMPARISON: \n\n");
    ok = map_compare_tables(libraries[0], libraries[1], files) && ok;
    std::fflush(stdout);
    return ok ? 0 : 1;
}

}  // namespace navsift
