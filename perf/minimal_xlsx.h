#pragma once
// What a minimal writer needs beside libxlsxwriter to write a chart over
// more than 65,535 cells correctly: the library counts a chart cache's
// points in 16 bits, so such a cache is left out of what it writes and put
// into the saved file afterwards, with its true count. And what the
// benchmarks read back of any saved workbook: its chart parts.
#include <xlsxwriter.h>
#include <zlib.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace perf {

namespace zip {

inline uint32_t Get32(const std::string& s, size_t at)
{
    return uint32_t(uint8_t(s[at])) | uint32_t(uint8_t(s[at + 1])) << 8 | uint32_t(uint8_t(s[at + 2])) << 16 |
           uint32_t(uint8_t(s[at + 3])) << 24;
}
inline uint16_t Get16(const std::string& s, size_t at) { return uint16_t(uint8_t(s[at]) | uint8_t(s[at + 1]) << 8); }
inline void Put32(std::string& s, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i) {
        s[at + size_t(i)] = char((v >> (8 * i)) & 0xFF);
    }
}

struct Entry {
    std::string name;
    size_t central = 0;  // its record in the central directory
    size_t local = 0;    // its local header
    uint16_t method = 0;
    uint32_t packed = 0, plain = 0;
};

// The entries of a whole zip file held in memory; empty when it is none.
inline std::vector<Entry> Entries(const std::string& file, size_t* directory = nullptr)
{
    std::vector<Entry> list;
    if (file.size() < 22) {
        return list;
    }
    size_t end = file.size() - 22;
    while (end > 0 && Get32(file, end) != 0x06054b50) {
        --end;
    }
    if (Get32(file, end) != 0x06054b50) {
        return list;
    }
    const size_t count = Get16(file, end + 10);
    size_t at = Get32(file, end + 16);
    if (directory != nullptr) {
        *directory = at;
    }
    for (size_t k = 0; k < count && at + 46 <= file.size() && Get32(file, at) == 0x02014b50; ++k) {
        Entry e;
        e.central = at;
        e.method = Get16(file, at + 10);
        e.packed = Get32(file, at + 20);
        e.plain = Get32(file, at + 24);
        e.local = Get32(file, at + 42);
        e.name = file.substr(at + 46, Get16(file, at + 28));
        at += 46 + size_t(Get16(file, at + 28)) + Get16(file, at + 30) + Get16(file, at + 32);
        list.push_back(std::move(e));
    }
    return list;
}

inline size_t DataAt(const std::string& file, const Entry& e)
{
    return e.local + 30 + size_t(Get16(file, e.local + 26)) + Get16(file, e.local + 28);
}

// An entry's bytes as stored before it was packed; empty when it cannot be had.
inline std::string Inflate(const std::string& file, const Entry& e)
{
    const size_t at = DataAt(file, e);
    if (at + e.packed > file.size()) {
        return {};
    }
    if (e.method == 0) {
        return file.substr(at, e.packed);
    }
    std::string out(e.plain, '\0');
    z_stream z{};
    if (inflateInit2(&z, -MAX_WBITS) != Z_OK) {
        return {};
    }
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(file.data() + at));
    z.avail_in = e.packed;
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = e.plain;
    const int rc = inflate(&z, Z_FINISH);
    inflateEnd(&z);
    return rc == Z_STREAM_END ? out : std::string();
}

inline std::string Deflate(const std::string& plain)
{
    std::string out(compressBound(static_cast<uLong>(plain.size())) + 64, '\0');
    z_stream z{};
    // Written once and large: speed over the last bytes.
    if (deflateInit2(&z, Z_BEST_SPEED, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
        return {};
    }
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(plain.data()));
    z.avail_in = static_cast<uInt>(plain.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    const int rc = deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return rc == Z_STREAM_END ? out : std::string();
}

inline bool ReadWhole(const std::string& path, std::string& out)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

}  // namespace zip

// The chart parts of a saved workbook, by name.
inline std::map<std::string, std::string> ChartParts(const std::string& path)
{
    std::map<std::string, std::string> parts;
    std::string file;
    if (!zip::ReadWhole(path, file)) {
        return parts;
    }
    for (const zip::Entry& e : zip::Entries(file)) {
        if (e.name.rfind("xl/charts/chart", 0) == 0) {
            parts[e.name] = zip::Inflate(file, e);
        }
    }
    return parts;
}

// Every point count the chart caches of a saved workbook declare, in order.
inline std::vector<uint64_t> DeclaredCounts(const std::string& path)
{
    std::vector<uint64_t> counts;
    for (const auto& [name, xml] : ChartParts(path)) {
        static const char kTag[] = "<c:ptCount val=\"";
        for (size_t at = xml.find(kTag); at != std::string::npos; at = xml.find(kTag, at + 1)) {
            counts.push_back(std::strtoull(xml.c_str() + at + sizeof kTag - 1, nullptr, 10));
        }
    }
    std::sort(counts.begin(), counts.end());
    return counts;
}

// The caches of more points than the file writer counts, by the reference
// text the chart part holds for them (NaN: a gap, no point).
using LongCaches = std::map<std::string, std::vector<double>>;

// One point of a chart's cache: a number, a text, or a gap (an empty cell,
// a formula's error or empty text), as a viewer that draws from the file
// alone shows the cell.
struct CachePoint {
    enum Kind : uint8_t { Gap, Number, Text } kind = Gap;
    double number = 0;
    std::string text;
};

// Gives a chart reference the cache of its n points (point(k) for the
// k-th, in order) as a correct writer does; a cache of more points than the
// library counts is left to `long_caches` under the reference's text, for
// AddLongCaches once the file is saved (its texts as gaps).
template <class PointAt>
inline void FillCache(lxw_series_range* range, size_t n, const PointAt& point, LongCaches& long_caches)
{
    if (range == nullptr || n == 0) {
        return;
    }
    range->ignore_cache = LXW_TRUE;
    if (n > 0xFFFF) {
        std::string formula;
        if (range->formula != nullptr) {
            formula = range->formula;
        } else {
            char text[LXW_MAX_FORMULA_RANGE_LENGTH];
            lxw_rowcol_to_formula_abs(text, range->sheetname, range->first_row, range->first_col, range->last_row,
                                      range->last_col);
            formula = text;
        }
        std::vector<double>& numbers = long_caches[formula];
        numbers.clear();
        for (size_t k = 0; k < n; ++k) {
            const CachePoint& p = point(k);
            numbers.push_back(p.kind == CachePoint::Number ? p.number : std::nan(""));
        }
        return;
    }
    for (size_t k = 0; k < n; ++k) {
        const CachePoint& p = point(k);
        auto* dp = static_cast<lxw_series_data_point*>(std::calloc(1, sizeof(lxw_series_data_point)));
        if (p.kind == CachePoint::Gap) {
            dp->no_data = LXW_TRUE;
        } else if (p.kind == CachePoint::Text) {
            dp->string = strdup(p.text.c_str());
            dp->is_string = LXW_TRUE;
            range->has_string_cache = LXW_TRUE;
        } else {
            dp->number = p.number;
        }
        STAILQ_INSERT_TAIL(range->data_cache, dp, list_pointers);
    }
    range->num_data_points = static_cast<uint16_t>(n);
}

// Puts every cache of `caches` into the chart parts of the workbook at
// `path`, after its reference; false when the file cannot be read or
// written back.
inline bool AddLongCaches(const std::string& path, const LongCaches& caches)
{
    if (caches.empty()) {
        return true;
    }
    std::string file;
    size_t directory = 0;
    if (!zip::ReadWhole(path, file)) {
        return false;
    }
    const std::vector<zip::Entry> entries = zip::Entries(file, &directory);
    if (entries.empty()) {
        return false;
    }
    std::vector<size_t> starts;
    for (const zip::Entry& e : entries) {
        starts.push_back(e.local);
    }
    starts.push_back(directory);
    std::sort(starts.begin(), starts.end());
    std::string out, central;
    for (const zip::Entry& e : entries) {
        const size_t end = *std::upper_bound(starts.begin(), starts.end(), e.local);
        std::string record = file.substr(e.central, 46 + size_t(zip::Get16(file, e.central + 28)) +
                                                        zip::Get16(file, e.central + 30) +
                                                        zip::Get16(file, e.central + 32));
        zip::Put32(record, 42, static_cast<uint32_t>(out.size()));
        std::string xml;
        bool changed = false;
        if (e.name.rfind("xl/charts/chart", 0) == 0) {
            const std::string plain = zip::Inflate(file, e);
            static const char kRef[] = "<c:f>", kEnd[] = "</c:numRef>";
            size_t from = 0;
            for (size_t at = plain.find(kRef); at != std::string::npos; at = plain.find(kRef, at + 1)) {
                const size_t b = at + sizeof kRef - 1, f_end = plain.find('<', b);
                const auto cache = caches.find(plain.substr(b, f_end - b));
                // Only a reference left without a cache of its own.
                if (cache == caches.end() || plain.compare(f_end, 6, "</c:f>") != 0 ||
                    plain.compare(f_end + 6, sizeof kEnd - 1, kEnd) != 0) {
                    continue;
                }
                const size_t insert = f_end + 6;
                xml.append(plain, from, insert - from);
                from = insert;
                xml += "<c:numCache><c:formatCode>General</c:formatCode><c:ptCount val=\"" +
                       std::to_string(cache->second.size()) + "\"/>";
                char digits[32];
                for (size_t k = 0; k < cache->second.size(); ++k) {
                    if (std::isnan(cache->second[k])) {
                        continue;  // a gap: no point, as for an empty cell
                    }
                    xml += "<c:pt idx=\"";
                    xml += std::to_string(k);
                    xml += "\"><c:v>";
                    const auto [p, ec] = std::to_chars(digits, digits + sizeof digits, cache->second[k]);
                    xml.append(digits, ec == std::errc() ? static_cast<size_t>(p - digits) : 0);
                    xml += "</c:v></c:pt>";
                }
                xml += "</c:numCache>";
                changed = true;
            }
            xml.append(plain, from, std::string::npos);
        }
        if (!changed) {
            out.append(file, e.local, end - e.local);
        } else {
            const std::string packed = zip::Deflate(xml);
            const uint32_t crc = static_cast<uint32_t>(
                crc32(crc32(0, nullptr, 0), reinterpret_cast<const Bytef*>(xml.data()), static_cast<uInt>(xml.size())));
            std::string head = file.substr(e.local, 30 + size_t(zip::Get16(file, e.local + 26)) +
                                                        zip::Get16(file, e.local + 28));
            head[6] = static_cast<char>(head[6] & ~0x08);  // sizes in the header, no descriptor after
            head[8] = 8;
            head[9] = 0;
            zip::Put32(head, 14, crc);
            zip::Put32(head, 18, static_cast<uint32_t>(packed.size()));
            zip::Put32(head, 22, static_cast<uint32_t>(xml.size()));
            record[8] = static_cast<char>(record[8] & ~0x08);
            record[10] = 8;
            record[11] = 0;
            zip::Put32(record, 16, crc);
            zip::Put32(record, 20, static_cast<uint32_t>(packed.size()));
            zip::Put32(record, 24, static_cast<uint32_t>(xml.size()));
            out += head;
            out += packed;
        }
        central += record;
    }
    std::string tail = file.substr(file.size() - 22);
    size_t eocd = file.size() - 22;
    while (eocd > 0 && zip::Get32(file, eocd) != 0x06054b50) {
        --eocd;
    }
    tail = file.substr(eocd, 22);
    zip::Put32(tail, 12, static_cast<uint32_t>(central.size()));
    zip::Put32(tail, 16, static_cast<uint32_t>(out.size()));
    out += central;
    out += tail;
    std::ofstream back(path, std::ios::binary | std::ios::trunc);
    back.write(out.data(), static_cast<std::streamsize>(out.size()));
    return static_cast<bool>(back);
}

}  // namespace perf
