#include "bench/instruments/script_file.h"

#include <cstdint>
#include <cmath>
#include <limits>

#include "platform/core/numtext.h"

namespace bench::instruments {

std::string FormatScriptFile(const std::vector<std::string>& lines) {
    std::string out = std::to_string(lines.size()) + "\r\n";
    for (const std::string& line : lines) out += "\"" + line + "\"\r\n";
    return out;
}

namespace {

// Records end at CR LF, a lone LF or a lone CR.
std::vector<std::string_view> Records(std::string_view bytes) {
    std::vector<std::string_view> out;
    size_t start = 0;
    while (start < bytes.size()) {
        size_t end = bytes.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            out.push_back(bytes.substr(start));
            break;
        }
        out.push_back(bytes.substr(start, end - start));
        start = end + 1;
        if (bytes[end] == '\r' && start < bytes.size() && bytes[start] == '\n') ++start;
    }
    return out;
}

std::string RecordName(size_t index) { return "record " + std::to_string(index + 1); }

}  // namespace

ScriptFileContent ParseScriptFile(std::string_view bytes) {
    ScriptFileContent c;
    const std::vector<std::string_view> records = Records(bytes);
    size_t r = 0;    // record being read
    size_t col = 0;  // position inside it
    // One item: false (and c.problem) when the file cannot give it.
    auto item = [&](std::string& out) -> bool {
        while (r < records.size() && col > records[r].size()) {
            ++r;
            col = 0;
        }
        if (r >= records.size()) {
            c.problem = "the file ends";
            return false;
        }
        const std::string_view rec = records[r];
        if (col == 0 && rec.size() >= 2 && rec.front() == '"' && rec.back() == '"') {
            out.assign(rec.substr(1, rec.size() - 2));
            ++r;
            return true;
        }
        if (col < rec.size() && rec[col] == '"') {
            const size_t close = rec.find('"', col + 1);
            if (close == std::string_view::npos) {
                c.problem = RecordName(r) + " has no closing quote";
                return false;
            }
            out.assign(rec.substr(col + 1, close - col - 1));
            const size_t comma = rec.find(',', close + 1);
            if (comma == std::string_view::npos) {
                ++r;
                col = 0;
            } else {
                col = comma + 1;
            }
            return true;
        }
        const size_t comma = rec.find(',', col);
        if (comma == std::string_view::npos) {
            out.assign(rec.substr(col));
            ++r;
            col = 0;
        } else {
            out.assign(rec.substr(col, comma - col));
            col = comma + 1;
        }
        return true;
    };

    std::string count_text;
    if (!item(count_text)) {
        c.problem = "the file is empty";
        return c;
    }
    double count = 0;
    // The range first: a count too large for an integer cannot be tested
    // for a fraction by converting it.
    if (!platform::TryReadStrict(count_text, count) || !(count >= 0 && count <= std::numeric_limits<int16_t>::max()) ||
        count != std::floor(count)) {
        c.problem = "record 1 is not a line count: \"" + count_text + "\"";
        return c;
    }
    const auto n = static_cast<int>(count);
    for (int i = 0; i < n; ++i) {
        std::string line;
        if (!item(line)) {
            c.problem = "stopped after " + std::to_string(i) + " of " + std::to_string(n) + " lines: " + c.problem;
            return c;
        }
        if (line.size() > kMaxScriptLine) {
            c.problem = "stopped after " + std::to_string(i) + " of " + std::to_string(n) + " lines: line " +
                        std::to_string(i + 1) + " is " + std::to_string(line.size()) +
                        " characters long, more than a command can be (" + std::to_string(kMaxScriptLine) + ")";
            return c;
        }
        c.lines.push_back(std::move(line));
    }
    c.complete = true;
    return c;
}

}  // namespace bench::instruments
