#include "platform/workbook/chart_counts.h"

#include "platform/workbook/value.h"

#include <zlib.h>

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <string_view>
#include <vector>

namespace workbook {

namespace {

ExcelError Failed(const std::string& path, const std::string& why) {
    return ExcelError("Save", "cannot complete the chart caches of \"" + path + "\": " + why);
}

// The text of a reference as the chart part holds it, XML escapes undone.
std::string Unescaped(std::string_view s) {
    static constexpr std::pair<std::string_view, char> kEntities[] = {
        {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}};
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size();) {
        bool replaced = false;
        if (s[i] == '&') {
            for (const auto& [name, c] : kEntities) {
                if (s.compare(i, name.size(), name) == 0) {
                    out += c;
                    i += name.size();
                    replaced = true;
                    break;
                }
            }
        }
        if (!replaced) out += s[i++];
    }
    return out;
}

void AppendNumber(std::string& out, double x) {
    char digits[32];
    const auto [end, ec] = std::to_chars(digits, digits + sizeof digits, x);
    out.append(digits, ec == std::errc() ? static_cast<size_t>(end - digits) : 0);
}

void AppendEscaped(std::string& out, const std::string& text) {
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        default: out += c;
        }
    }
}

// Puts the long caches into one chart part read a piece at a time: after
// each reference of `caches` that closes without a cache of its own. What
// it makes goes to `sink` a piece at a time too, however long a cache.
class CacheInserter {
public:
    using Sink = std::function<void(const std::string&)>;
    // Without a sink it only learns whether the part holds such a reference.
    CacheInserter(const LongChartCaches& caches, Sink sink) : caches_(caches), sink_(std::move(sink)) {}

    void Feed(const char* piece, size_t n) {
        pending_.append(piece, n);
        // Every tag and reference looked for starts at a '<' and ends before
        // the next one, so all but the text from the last '<' can be done.
        const size_t last = pending_.rfind('<');
        const size_t cut = last == std::string::npos ? pending_.size() : last;
        Scan(cut);
        pending_.erase(0, cut);
        Flush(0);
    }

    void Finish() {
        Scan(pending_.size());
        pending_.clear();
        Flush(0);
    }

    bool Changes() const { return changes_; }

private:
    static constexpr size_t kPiece = 256 << 10;

    static bool At(const std::string& s, size_t at, const char* what, size_t len) {
        return s.size() - at >= len && std::memcmp(s.data() + at, what, len) == 0;
    }

    void Flush(size_t above) {
        if (sink_ && out_.size() > above) {
            sink_(out_);
            out_.clear();
        }
    }

    const LongChartCache* Lookup(const std::string& reference) const {
        if (reference.empty()) return nullptr;
        try {
            const std::vector<SheetArea> refs = ParseReferenceList(Unescaped(reference));
            if (refs.size() != 1) return nullptr;
            const auto it = caches_.find(ChartCacheKey(refs[0].sheet, refs[0].area));
            return it == caches_.end() ? nullptr : &it->second;
        } catch (const ExcelError&) {
            return nullptr;  // no reference of ours
        }
    }

    // The cache element of `cache` as the file writer writes its own short ones.
    void WriteCache(const LongChartCache& cache, bool numeric) {
        out_ += numeric ? "<c:numCache><c:formatCode>General</c:formatCode>" : "<c:strCache>";
        out_ += "<c:ptCount val=\"" + std::to_string(cache.count) + "\"/>";
        size_t k = 0;
        for (const auto& [first, length] : cache.runs) {
            for (uint64_t i = first; i < first + length; ++i, ++k) {
                out_ += "<c:pt idx=\"";
                out_ += std::to_string(i);
                out_ += "\"><c:v>";
                if (!numeric && k < cache.texts.size()) AppendEscaped(out_, cache.texts[k]);
                else AppendNumber(out_, cache.numbers[k]);
                out_ += "</c:v></c:pt>";
                Flush(kPiece);
            }
        }
        out_ += numeric ? "</c:numCache>" : "</c:strCache>";
    }

    void Scan(size_t end) {
        static constexpr char kRef[] = "<c:f>", kNum[] = "<c:numCache>", kStr[] = "<c:strCache>",
                              kNumEnd[] = "</c:numRef>", kStrEnd[] = "</c:strRef>";
        size_t from = 0;  // text not yet passed on
        for (size_t p = pending_.find('<'); p < end; p = pending_.find('<', p + 1)) {
            if (At(pending_, p, kRef, sizeof kRef - 1)) {
                const size_t b = p + sizeof kRef - 1;
                const size_t e = std::min(pending_.find('<', b), end);
                cache_ = Lookup(pending_.substr(b, e - b));
                changes_ = changes_ || cache_ != nullptr;
            } else if (At(pending_, p, kNum, sizeof kNum - 1) || At(pending_, p, kStr, sizeof kStr - 1)) {
                cache_ = nullptr;  // the reference has its own
            } else if (cache_ && (At(pending_, p, kNumEnd, sizeof kNumEnd - 1) ||
                                  At(pending_, p, kStrEnd, sizeof kStrEnd - 1))) {
                if (sink_) {
                    Emit(from, p);
                    from = p;
                    WriteCache(*cache_, pending_[p + 4] == 'n');  // "</c:numRef>"
                }
                cache_ = nullptr;
            }
        }
        if (sink_) Emit(from, end);
    }

    void Emit(size_t from, size_t to) {
        if (to > from) out_.append(pending_, from, to - from);
    }

    const LongChartCaches& caches_;
    const Sink sink_;
    std::string pending_, out_;
    bool changes_ = false;
    const LongChartCache* cache_ = nullptr;  // of the reference at hand
};
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

// One chart part, inflated a piece at a time from the file and handed on.
template <typename Sink>
void ReadPart(std::ifstream& in, uint64_t at, uint32_t csize, uint32_t usize, uint16_t method,
              const std::string& path, Sink&& sink) {
    constexpr size_t kPiece = 256 << 10;
    std::vector<char> packed(kPiece), plain(kPiece);
    in.clear();
    in.seekg(static_cast<std::streamoff>(at));
    uint64_t left = csize, made = 0;
    if (method == 0) {
        while (left > 0) {
            const size_t k = static_cast<size_t>(std::min<uint64_t>(left, kPiece));
            if (!in.read(packed.data(), static_cast<std::streamsize>(k))) throw Failed(path, "it cannot be read");
            sink(packed.data(), k);
            left -= k;
            made += k;
        }
        if (made != usize) throw Failed(path, "a chart part of the wrong size");
        return;
    }
    z_stream z{};
    if (inflateInit2(&z, -MAX_WBITS) != Z_OK) throw Failed(path, "no inflater");
    int rc = Z_OK;
    try {
        while (rc != Z_STREAM_END) {
            // Output may still be pending when the input is all taken, so
            // inflate runs on until it ends or can make no progress.
            if (z.avail_in == 0 && left > 0) {
                const size_t k = static_cast<size_t>(std::min<uint64_t>(left, kPiece));
                if (!in.read(packed.data(), static_cast<std::streamsize>(k))) throw Failed(path, "it cannot be read");
                left -= k;
                z.next_in = reinterpret_cast<Bytef*>(packed.data());
                z.avail_in = static_cast<uInt>(k);
            }
            z.next_out = reinterpret_cast<Bytef*>(plain.data());
            z.avail_out = static_cast<uInt>(kPiece);
            rc = inflate(&z, Z_NO_FLUSH);
            if (rc != Z_OK && rc != Z_STREAM_END) break;  // damaged, or cut short
            const size_t k = kPiece - z.avail_out;
            made += k;
            if (made > usize) break;
            sink(plain.data(), k);
        }
    } catch (...) {
        inflateEnd(&z);
        throw;
    }
    inflateEnd(&z);
    if (rc != Z_STREAM_END || made != usize) throw Failed(path, "a chart part does not inflate");
}

// Compresses what it is given straight into the file, counting as it goes.
class PartWriter {
public:
    PartWriter(std::ofstream& out, const std::string& path) : out_(out), path_(path), buf_(256 << 10) {
        // The parts are large and written once: speed over the last bytes.
        if (deflateInit2(&z_, Z_BEST_SPEED, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
            throw Failed(path, "no deflater");
    }
    ~PartWriter() { deflateEnd(&z_); }
    PartWriter(const PartWriter&) = delete;
    PartWriter& operator=(const PartWriter&) = delete;

    void Add(const std::string& text) {
        crc_ = crc32(crc_, reinterpret_cast<const Bytef*>(text.data()), static_cast<uInt>(text.size()));
        plain_ += text.size();
        Run(text.data(), text.size(), Z_NO_FLUSH);
    }
    void Finish() { Run(nullptr, 0, Z_FINISH); }

    uint32_t Crc() const { return static_cast<uint32_t>(crc_); }
    uint64_t Plain() const { return plain_; }
    uint64_t Packed() const { return packed_; }

private:
    void Run(const char* data, size_t n, int flush) {
        z_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data));
        z_.avail_in = static_cast<uInt>(n);
        int rc = Z_OK;
        do {
            z_.next_out = reinterpret_cast<Bytef*>(buf_.data());
            z_.avail_out = static_cast<uInt>(buf_.size());
            rc = deflate(&z_, flush);
            if (rc == Z_STREAM_ERROR) throw Failed(path_, "a chart part does not deflate");
            const size_t k = buf_.size() - z_.avail_out;
            out_.write(buf_.data(), static_cast<std::streamsize>(k));
            packed_ += k;
        } while (flush == Z_FINISH ? rc != Z_STREAM_END : z_.avail_out == 0);
        if (!out_) throw Failed(path_, "the mended copy cannot be written");
    }

    std::ofstream& out_;
    const std::string& path_;
    std::vector<char> buf_;
    z_stream z_{};
    uLong crc_ = crc32(0, nullptr, 0);
    uint64_t plain_ = 0, packed_ = 0;
};
bool IsChartPart(const std::string& name) {
    return name.rfind("xl/charts/chart", 0) == 0 && name.size() > 19 && name.compare(name.size() - 4, 4, ".xml") == 0;
}

}  // namespace

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

std::string ChartCacheKey(const std::string& sheet, const Area& area) {
    return sheet + "!" + AreaToA1(area);
}

void LongChartCache::Place(uint64_t index) {
    if (!runs.empty() && runs.back().first + runs.back().second == index) ++runs.back().second;
    else runs.emplace_back(index, 1);
}

void LongChartCache::Add(uint64_t index, double number) {
    Place(index);
    numbers.push_back(number);
    if (!texts.empty()) {
        texts.emplace_back();
        AppendNumber(texts.back(), number);
    }
}

void LongChartCache::Add(uint64_t index, const std::string& text) {
    // The first text turns the points before it into texts too.
    if (texts.empty()) {
        for (double x : numbers) {
            texts.emplace_back();
            AppendNumber(texts.back(), x);
        }
    }
    Place(index);
    numbers.push_back(0);
    texts.push_back(text);
}

void AddLongChartCaches(const std::string& path, const LongChartCaches& caches) {
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
            // The first reading finds whether the part holds a reference of
            // a long cache; only such a part is read again and written anew.
            CacheInserter learn(caches, {});
            bool rewrite = false;
            if (IsChartPart(e.name) && (method == 8 || method == 0) && dataAt + csize <= end) {
                ReadPart(in, dataAt, csize, usize, method, path, [&](const char* d, size_t n) { learn.Feed(d, n); });
                learn.Finish();
                rewrite = learn.Changes();
            }
            if (written > 0xFFFFFFF0u) throw Failed(path, "too large for a plain zip");
            Put32(e.central, 42, static_cast<uint32_t>(written));
            if (!rewrite) {
                CopyAt(in, e.local, end - e.local, out, path);
                written += end - e.local;
                continue;
            }
            changed = true;
            const uint16_t flags = Get16(head, 6) & ~uint16_t(8);  // sizes in the header, no trailer
            Put16(head, 6, flags);
            Put16(head, 8, 8);
            Put16(head, 26, static_cast<uint16_t>(e.name.size()));
            Put16(head, 28, 0);
            const std::streamoff headAt = out.tellp();
            out << head << e.name;  // its sizes and check are known only at the end
            PartWriter part(out, path);
            CacheInserter insert(caches, [&part](const std::string& text) { part.Add(text); });
            ReadPart(in, dataAt, csize, usize, method, path, [&](const char* d, size_t n) { insert.Feed(d, n); });
            insert.Finish();
            part.Finish();
            if (part.Plain() > 0xFFFFFFF0u || part.Packed() > 0xFFFFFFF0u)
                throw Failed(path, "too large for a plain zip");
            const uint32_t crc = part.Crc(), plain = static_cast<uint32_t>(part.Plain()),
                           packedSize = static_cast<uint32_t>(part.Packed());
            Put32(head, 14, crc);
            Put32(head, 18, packedSize);
            Put32(head, 22, plain);
            out.seekp(headAt);
            out << head;
            out.seekp(0, std::ios::end);
            if (!out) throw Failed(path, "the mended copy cannot be written");
            written += head.size() + e.name.size() + packedSize;
            Put16(e.central, 8, flags);
            Put16(e.central, 10, 8);
            Put32(e.central, 16, crc);
            Put32(e.central, 20, packedSize);
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
