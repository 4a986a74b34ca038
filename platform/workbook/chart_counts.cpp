#include "platform/workbook/chart_counts.h"

#include "platform/workbook/value.h"

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
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

// Renumbers the caches of one chart part read a piece at a time, so that a
// part of hundreds of megabytes never has to be held whole. Each cache
// follows the reference it was made from; a cache over a reference of the
// layouts gets that layout's count, and its k-th point the index of the
// k-th cell that holds one.
class CacheRenumberer {
public:
    // Without `write` it only learns whether the part holds such a cache.
    CacheRenumberer(const ChartCacheLayouts& layouts, bool write) : layouts_(layouts), write_(write) {}

    // Appends to `out` (when writing) the text of `piece` renumbered.
    void Feed(const char* piece, size_t n, std::string& out) {
        pending_.append(piece, n);
        // Every name, reference and number looked for starts at a '<' and
        // ends before the next one, so all but the text from the last '<'
        // can be done.
        const size_t last = pending_.rfind('<');
        const size_t cut = last == std::string::npos ? pending_.size() : last;
        Scan(cut, out);
        pending_.erase(0, cut);
    }

    void Finish(std::string& out) {
        Scan(pending_.size(), out);
        pending_.clear();
    }

    // Whether any cache of the part is to be renumbered.
    bool Changes() const { return changes_; }

private:
    static bool At(const std::string& s, size_t at, const char* what, size_t len) {
        return s.size() - at >= len && std::memcmp(s.data() + at, what, len) == 0;
    }

    // The digits at `at`; moves `at` past them.
    bool Digits(size_t& at, size_t end) const {
        const size_t b = at;
        while (at < end && pending_[at] >= '0' && pending_[at] <= '9') ++at;
        return at > b;
    }

    const ChartCacheLayout* Lookup(const std::string& reference) const {
        if (reference.empty() || layouts_.empty()) return nullptr;
        try {
            const std::vector<SheetArea> refs = ParseReferenceList(Unescaped(reference));
            if (refs.size() != 1) return nullptr;
            const auto it = layouts_.find(ChartCacheKey(refs[0].sheet, refs[0].area));
            return it == layouts_.end() ? nullptr : &it->second;
        } catch (const ExcelError&) {
            return nullptr;  // no reference of ours
        }
    }

    // The index of the next point of the cache at hand.
    uint64_t NextIndex() {
        const auto& runs = layout_->runs;
        if (run_ >= runs.size()) return layout_->count;  // more points than cells held: past the end
        const uint64_t idx = runs[run_].first + inRun_;
        if (++inRun_ >= runs[run_].second) {
            ++run_;
            inRun_ = 0;
        }
        return idx;
    }

    void Scan(size_t end, std::string& out) {
        static constexpr char kRef[] = "<c:f>", kNum[] = "<c:numCache>", kStr[] = "<c:strCache>",
                              kNumEnd[] = "</c:numCache>", kStrEnd[] = "</c:strCache>",
                              kCount[] = "<c:ptCount val=\"", kPoint[] = "<c:pt idx=\"";
        size_t from = 0;  // text not yet passed on
        for (size_t p = pending_.find('<'); p < end; p = pending_.find('<', p + 1)) {
            if (!inCache_) {
                if (At(pending_, p, kRef, sizeof kRef - 1)) {
                    const size_t b = p + sizeof kRef - 1;
                    const size_t e = std::min(pending_.find('<', b), end);
                    reference_.assign(pending_, b, e - b);
                    continue;
                }
                const bool num = At(pending_, p, kNum, sizeof kNum - 1);
                if (num || At(pending_, p, kStr, sizeof kStr - 1)) {
                    inCache_ = true;
                    numeric_ = num;
                    seenCount_ = false;
                    layout_ = Lookup(reference_);
                    reference_.clear();
                    run_ = 0;
                    inRun_ = 0;
                    changes_ = changes_ || layout_ != nullptr;
                }
                continue;
            }
            if (At(pending_, p, numeric_ ? kNumEnd : kStrEnd, sizeof kNumEnd - 1)) {
                inCache_ = false;
                layout_ = nullptr;
                continue;
            }
            if (!layout_ || !write_) continue;
            if (!seenCount_ && At(pending_, p, kCount, sizeof kCount - 1)) {
                seenCount_ = true;  // only the cache's first count is its own
                size_t q = p + sizeof kCount - 1;
                const size_t digits = q;
                if (Digits(q, end)) {
                    Emit(out, from, digits);
                    out += std::to_string(layout_->count);
                    from = q;
                }
                continue;
            }
            if (At(pending_, p, kPoint, sizeof kPoint - 1)) {
                size_t q = p + sizeof kPoint - 1;
                const size_t digits = q;
                if (!Digits(q, end)) continue;
                Emit(out, from, digits);
                out += std::to_string(NextIndex());
                from = q;
            }
        }
        if (write_) Emit(out, from, end);
    }

    void Emit(std::string& out, size_t from, size_t to) const {
        if (to > from) out.append(pending_, from, to - from);
    }

    const ChartCacheLayouts& layouts_;
    const bool write_;
    std::string pending_, reference_;
    bool changes_ = false, inCache_ = false, numeric_ = false, seenCount_ = false;
    const ChartCacheLayout* layout_ = nullptr;
    size_t run_ = 0;
    uint64_t inRun_ = 0;
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

void WidenChartCacheCounts(const std::string& path, const ChartCacheLayouts& layouts) {
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
            // The first reading finds whether the part holds a long cache;
            // only such a part is read again and written anew.
            CacheRenumberer learn(layouts, false);
            bool rewrite = false;
            if (IsChartPart(e.name) && (method == 8 || method == 0) && dataAt + csize <= end) {
                std::string none;
                ReadPart(in, dataAt, csize, usize, method, path,
                         [&](const char* d, size_t n) { learn.Feed(d, n, none); });
                learn.Finish(none);
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
            CacheRenumberer renumber(layouts, true);
            std::string text;
            ReadPart(in, dataAt, csize, usize, method, path, [&](const char* d, size_t n) {
                text.clear();
                renumber.Feed(d, n, text);
                part.Add(text);
            });
            text.clear();
            renumber.Finish(text);
            part.Add(text);
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
