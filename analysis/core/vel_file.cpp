#include "analysis/core/vel_file.h"

#include <bit>
#include <cmath>
#include <cstring>

#include "analysis/core/byte_stream.h"
#include "analysis/core/run_outcome.h"

namespace navsift {

namespace {

void PutU32(std::string& out, uint32_t v)
{
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
    }
}

void PutF64(std::string& out, double d)
{
    const uint64_t v = std::bit_cast<uint64_t>(d);
    for (int i = 0; i < 8; ++i) {
        out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
    }
}

uint32_t GetU32(const unsigned char* p)
{
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

double GetF64(const unsigned char* p)
{
    uint64_t v = 0;
    for (int i = 7; i >= 0; --i) {
        v = (v << 8) | p[i];
    }
    return std::bit_cast<double>(v);
}

}  // namespace

void AppendVelHeader(std::string& out, uint32_t first, uint32_t last)
{
    PutU32(out, first);
    PutU32(out, last);
}

void AppendVelRecord(std::string& out, const VelRecord& r)
{
    PutU32(out, r.key);
    PutU32(out, 0);  // padding
    PutF64(out, r.speed);
    PutF64(out, r.heading);
    PutF64(out, r.latitude);
    PutF64(out, r.longitude);
    PutF64(out, r.height);
}

VelRecord DecodeVelRecord(const unsigned char* p)
{
    VelRecord r;
    r.key = GetU32(p);
    r.speed = GetF64(p + 8);
    r.heading = GetF64(p + 16);
    r.latitude = GetF64(p + 24);
    r.longitude = GetF64(p + 32);
    r.height = GetF64(p + 40);
    return r;
}

VelWriter::~VelWriter()
{
    if (file_ != nullptr) {
        std::fclose(file_);
    }
}

bool VelWriter::Create(const std::string& path, uint32_t first)
{
    file_ = open_output(path, "wb");
    if (file_ == nullptr) {
        return false;
    }
    first_ = last_ = first;
    std::string header;
    AppendVelHeader(header, first, first);
    failed_ = std::fwrite(header.data(), 1, header.size(), file_) != header.size();
    return true;
}

void VelWriter::Append(const VelRecord& record)
{
    if (file_ == nullptr) {
        return;
    }
    std::string bytes;
    AppendVelRecord(bytes, record);
    if (std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size()) {
        failed_ = true;
    }
    last_ = record.key;
}

bool VelWriter::Finish()
{
    if (file_ == nullptr) {
        return false;
    }
    std::string header;
    AppendVelHeader(header, first_, last_);
    if (std::fseek(file_, 0, SEEK_SET) != 0 || std::fwrite(header.data(), 1, header.size(), file_) != header.size()) {
        failed_ = true;
    }
    if (std::fclose(file_) != 0) {
        failed_ = true;
    }
    file_ = nullptr;
    return !failed_;
}

bool VelOnTheEarth(const VelRecord& r)
{
    constexpr double kMaxHeight = 100000;
    return std::fabs(r.latitude) <= 90 && std::fabs(r.longitude) <= 180 && std::fabs(r.height) <= kMaxHeight;
}

std::optional<VelFile> VelFile::Load(const std::string& path)
{
    ByteStream in;
    if (!in.Open(path) || in.Size() < kVelHeaderSize) {
        return std::nullopt;
    }
    const auto* p = reinterpret_cast<const unsigned char*>(in.Data());
    VelFile file;
    file.first = GetU32(p);
    file.last = GetU32(p + 4);
    const std::size_t body = in.Size() - kVelHeaderSize;
    file.partial_tail = body % kVelRecordSize != 0;
    file.records.resize(body / kVelRecordSize);
    for (std::size_t i = 0; i < file.records.size(); ++i) {
        file.records[i] = DecodeVelRecord(p + kVelHeaderSize + i * kVelRecordSize);
    }
    return file;
}

std::optional<VelRecord> VelFile::Lookup(uint32_t second) const
{
    if (second < first || second > last || records.empty()) {
        return std::nullopt;
    }
    std::size_t i = std::min<std::size_t>(second - first, records.size() - 1);
    if (records[i].key > second) {
        while (true) {
            if (records[i].key == second) {
                return records[i];
            }
            if (i == 0 || records[i].key < second) {
                return std::nullopt;
            }
            --i;
        }
    }
    while (i < records.size()) {
        if (records[i].key == second) {
            return records[i];
        }
        if (records[i].key > second) {
            return std::nullopt;
        }
        ++i;
    }
    return std::nullopt;
}

}  // namespace navsift
