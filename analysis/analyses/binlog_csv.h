#pragma once
// The receiver's binary debug log to a CSV table on standard output: one row
// per sensor sample, timed by the navigation solution of the block before.
#include <cstdint>
#include <cstdio>
#include <string>

#include "analysis/core/options.h"

namespace navsift {

constexpr int kBinlogPayload = 2924;
constexpr int kBinlogBlock = kBinlogPayload + 4;
constexpr int kBinlogMaxSamples = 22;

// Finds the first good block at or after the file's position: a header whose
// check byte is right and whose size is the payload's, followed by another
// such header a block later. 0 with the file positioned there; 1 at the end.
int binlog_resync(std::FILE* file, int64_t& position);

// Converts `input` and writes the table to `out`. Returns 0, or 1 when the
// file cannot be read, holds no block, or stops on a damaged or truncated
// block (the rows before stand; the message names the byte offset).
int binlog_convert(const std::string& input, std::FILE* out, std::FILE* messages);

// "-binary FILE".
int binlog_to_csv(const OptionRecord& options);

}  // namespace navsift
