#include "platform/workbook/chart_counts.h"

#include "platform/workbook/value.h"

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

namespace workbook {

namespace {

constexpr uint64_t kWrap = 65536;  // the writer's 16-bit count

ExcelError Failed(const std::string& path, const std::string& why) {
    return ExcelError("Save", "cannot complete the chart caches of \"" + path + "\": " + why);
}

// Reads the decimal number at `at` (which must start one); moves `at` past it.
bool ReadNumber(const std::string& s, size_t& at, uint64_t& out) {
    size_t b = at;
    out = 0;
    while (at < s.size() && s[at] >= '0' && s[at] <= '9' && at - b < 18) out = out * 10 + uint64_t(s[at++] - '0');
    return at > b;
}

// The smallest number at least `floor` whose low 16 bits are those written.
uint64_t Unwrap(uint64_t written, uint64_t floor) {
    uint64_t v = (floor & ~(kWrap - 1)) | (written & (kWrap - 1));
    return v < floor ? v + kWrap : v;
}

// One cache ("<c:numCache>...</c:numCache>") from `b` to `e`, renumbered.
std::string WidenOneCache(const std::string& xml, size_t b, size_t e) {
    static const std::string kCount = "<c:ptCount val=\"", kPoint = "<c:pt idx=\"";
    std::string out;
    out.reserve(e - b + 64);
    size_t at = b, countValue = std::string::npos, countEnd = 0;
    uint64_t written = 0, next = 0;
    size_t c = xml.find(kCount, b);
    if (c != std::string::npos && c < e) {
        countValue = c + kCount.size();
        countEnd = countValue;
        if (!ReadNumber(xml, countEnd, written)) countValue = std::string::npos;
    }
    // The points: each number is the first above the previous one with the
    // low bits written.
    std::string points;
    size_t from = countValue == std::string::npos ? b : countEnd;
    for (size_t p = xml.find(kPoint, from); p != std::string::npos && p < e; p = xml.find(kPoint, p)) {
        points.append(xml, from, p + kPoint.size() - from);
        size_t q = p + kPoint.size();
        uint64_t idx = 0;
        if (!ReadNumber(xml, q, idx)) {
            from = p + kPoint.size();
            p = from;
            continue;
        }
        const uint64_t real = Unwrap(idx, next);
        points += std::to_string(real);
        next = real + 1;
        from = q;
        p = q;
    }
    points.append(xml, from, e - from);
    if (countValue == std::string::npos) {
        out.append(xml, b, e - b);
        return out;
    }
    out.append(xml, at, countValue - at);
    out += std::to_string(Unwrap(written, next));
    out += points;
    return out;
}

uint32_t Get32(const std::string& s, size_t at) {
    return uint32_t(uint8_t(s[at])) | uint32_t(uint8_t(s[at + 1])) << 8 | uint32_t(uint8_t(s[at + 2])) << 16 |
           uint32_t(uint8_t(s[at + 3])) << 24;
}
uint16_t Get16(const std::string& s, size_t at) { return uint16_t(uint8_t(s[at]) | uint8_t(s[at + 1]) << 8); }
void Put32(std::string& s, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) s[at + size_t(i)] = char((v >> (8 * i)) & 0xFF);
}
void Put16(std::string& s, size_t at, uint16_t v) {
    s[at] = char(v & 0xFF);
    s[at + 1] = char(v >> 8);
}

std::string Inflate(const std::string& data, size_t expected, const std::string& path) {
    std::string out(expected, '\0');
    z_stream z{};
    if (inflateInit2(&z, -MAX_WBITS) != Z_OK) throw Failed(path, "no inflater");
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    const int rc = inflate(&z, Z_FINISH);
    const size_t made = z.total_out;
    inflateEnd(&z);
    if (rc != Z_STREAM_END || made != expected) throw Failed(path, "a chart part does not inflate");
    return out;
}

std::string Deflate(const std::string& data, const std::string& path) {
    z_stream z{};
    // The parts are large and written once: speed over the last bytes.
    if (deflateInit2(&z, Z_BEST_SPEED, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        throw Failed(path, "no deflater");
    std::string out(deflateBound(&z, static_cast<uLong>(data.size())), '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    const int rc = deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    if (rc != Z_STREAM_END) throw Failed(path, "a chart part does not deflate");
    return out;
}

bool IsChartPart(const std::string& name) {
    return name.rfind("xl/charts/chart", 0) == 0 && name.size() > 19 && name.compare(name.size() - 4, 4, ".xml") == 0;
}

}  // namespace

bool WidenChartCacheCountsInXml(std::string& xml) {
    std::string out;
    size_t at = 0;
    bool any = false;
    for (;;) {
        size_t num = xml.find("<c:numCache>", at), str = xml.find("<c:strCache>", at);
        size_t b = std::min(num, str);
        if (b == std::string::npos) break;
        const char* close = b == num ? "</c:numCache>" : "</c:strCache>";
        size_t e = xml.find(close, b);
        if (e == std::string::npos) break;
        if (!any) out.reserve(xml.size() + 1024);
        any = true;
        out.append(xml, at, b - at);
        out += WidenOneCache(xml, b, e);
        at = e;
    }
    if (!any) return false;
    out.append(xml, at, std::string::npos);
    const bool changed = out != xml;
    if (changed) xml.swap(out);
    return changed;
}

namespace {

// Bytes of the file at `at`, `n` of them.
std::string ReadAt(std::ifstream& in, uint64_t at, size_t n, const std::string& path) {
    std::string s(n, '\0');
    in.seekg(static_cast<std::streamoff>(at));
    if (!in.read(s.data(), static_cast<std::streamsize>(n))) throw Failed(path, "it cannot be read");
    return s;
}

// Copies `n` bytes from `at` a piece at a time: the sheets' parts are large.
void CopyAt(std::ifstream& in, uint64_t at, uint64_t n, std::ofstream& out, const std::string& path) {
    std::vector<char> buf(1 << 20);
    in.seekg(static_cast<std::streamoff>(at));
    while (n > 0) {
        const size_t k = static_cast<size_t>(std::min<uint64_t>(n, buf.size()));
        if (!in.read(buf.data(), static_cast<std::streamsize>(k))) throw Failed(path, "it cannot be read");
        out.write(buf.data(), static_cast<std::streamsize>(k));
        n -= k;
    }
}

}  // namespace

void WidenChartCacheCounts(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw Failed(path, "it cannot be read");
    in.seekg(0, std::ios::end);
    const uint64_t size = static_cast<uint64_t>(in.tellg());
    // The end record, then the central directory it points at.
    if (size < 22) throw Failed(path, "not a zip file");
    const uint64_t tailAt = size > 22 + 65535 ? size - 22 - 65535 : 0;
    const std::string tailBytes = ReadAt(in, tailAt, static_cast<size_t>(size - tailAt), path);
    size_t eocdInTail = std::string::npos;
    for (size_t i = tailBytes.size() - 22 + 1; i-- > 0;) {
        if (Get32(tailBytes, i) == 0x06054b50) {
            eocdInTail = i;
            break;
        }
    }
    if (eocdInTail == std::string::npos) throw Failed(path, "no end of its zip directory");
    const uint64_t eocd = tailAt + eocdInTail;
    const std::string tail = tailBytes.substr(eocdInTail);
    const uint16_t entries = Get16(tail, 10);
    const uint32_t cdSize = Get32(tail, 12), cdOffset = Get32(tail, 16);
    if (cdOffset == 0xFFFFFFFF || uint64_t(cdOffset) + cdSize > eocd) throw Failed(path, "a zip directory out of place");
    const std::string cd = ReadAt(in, cdOffset, cdSize, path);
    struct Entry {
        std::string central;  // its directory record
        std::string name;
        uint32_t local;
    };
    std::vector<Entry> list;
    size_t p = 0;
    for (uint16_t k = 0; k < entries; ++k) {
        if (p + 46 > cd.size() || Get32(cd, p) != 0x02014b50) throw Failed(path, "a damaged zip directory");
        const size_t len = 46 + size_t(Get16(cd, p + 28)) + Get16(cd, p + 30) + Get16(cd, p + 32);
        if (p + len > cd.size()) throw Failed(path, "a damaged zip directory");
        Entry e{cd.substr(p, len), cd.substr(p + 46, Get16(cd, p + 28)), Get32(cd, p + 42)};
        if (e.local >= cdOffset || Get32(e.central, 20) == 0xFFFFFFFF) throw Failed(path, "a zip entry out of place");
        list.push_back(std::move(e));
        p += len;
    }
    std::vector<uint32_t> starts;
    for (const Entry& e : list) starts.push_back(e.local);
    std::sort(starts.begin(), starts.end());
    auto spanEnd = [&](uint32_t local) {
        auto it = std::upper_bound(starts.begin(), starts.end(), local);
        return it == starts.end() ? cdOffset : *it;
    };
    std::vector<size_t> order(list.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::sort(order.begin(), order.end(), [&](size_t a, size_t b) { return list[a].local < list[b].local; });

    const std::string mended = path + ".charts";
    std::ofstream out(mended, std::ios::binary | std::ios::trunc);
    if (!out) throw Failed(path, "no room for the mended copy");
    uint64_t written = 0;
    bool changed = false;
    try {
        for (size_t i : order) {
            Entry& e = list[i];
            const uint32_t end = spanEnd(e.local);
            if (e.local + 30 > end) throw Failed(path, "a damaged zip entry");
            std::string head = ReadAt(in, e.local, 30, path);
            if (Get32(head, 0) != 0x04034b50) throw Failed(path, "a damaged zip entry");
            const uint16_t method = Get16(e.central, 10);
            const uint32_t csize = Get32(e.central, 20), usize = Get32(e.central, 24);
            const uint64_t dataAt = e.local + 30 + uint64_t(Get16(head, 26)) + Get16(head, 28);
            std::string xml;
            bool rewrite = false;
            if (IsChartPart(e.name) && (method == 8 || method == 0) && dataAt + csize <= end) {
                xml = ReadAt(in, dataAt, csize, path);
                if (method == 8) xml = Inflate(xml, usize, path);
                rewrite = WidenChartCacheCountsInXml(xml);
            }
            if (written > 0xFFFFFFF0u) throw Failed(path, "too large for a plain zip");
            Put32(e.central, 42, static_cast<uint32_t>(written));
            if (!rewrite) {
                CopyAt(in, e.local, end - e.local, out, path);
                written += end - e.local;
                continue;
            }
            changed = true;
            const uint32_t crc = static_cast<uint32_t>(
                crc32(0, reinterpret_cast<const Bytef*>(xml.data()), static_cast<uInt>(xml.size())));
            const uint32_t plain = static_cast<uint32_t>(xml.size());
            const std::string packed = Deflate(xml, path);
            std::string().swap(xml);
            const uint16_t flags = Get16(head, 6) & ~uint16_t(8);  // sizes in the header, no trailer
            Put16(head, 6, flags);
            Put16(head, 8, 8);
            Put32(head, 14, crc);
            Put32(head, 18, static_cast<uint32_t>(packed.size()));
            Put32(head, 22, plain);
            Put16(head, 26, static_cast<uint16_t>(e.name.size()));
            Put16(head, 28, 0);
            out << head << e.name << packed;
            written += head.size() + e.name.size() + packed.size();
            Put16(e.central, 8, flags);
            Put16(e.central, 10, 8);
            Put32(e.central, 16, crc);
            Put32(e.central, 20, static_cast<uint32_t>(packed.size()));
            Put32(e.central, 24, plain);
        }
        if (written > 0xFFFFFFF0u) throw Failed(path, "too large for a plain zip");
        const uint32_t newCd = static_cast<uint32_t>(written);
        std::string end = tail;
        uint64_t cdBytes = 0;
        for (const Entry& e : list) {
            out << e.central;
            cdBytes += e.central.size();
        }
        Put32(end, 12, static_cast<uint32_t>(cdBytes));
        Put32(end, 16, newCd);
        out << end;
        out.close();
        if (!out) throw Failed(path, "the mended copy cannot be written");
    } catch (...) {
        out.close();
        std::remove(mended.c_str());
        throw;
    }
    in.close();
    if (!changed) {
        std::remove(mended.c_str());
        return;
    }
    if (std::rename(mended.c_str(), path.c_str()) != 0) {
        std::remove(mended.c_str());
        throw Failed(path, "the mended copy cannot replace it");
    }
}

}  // namespace workbook
