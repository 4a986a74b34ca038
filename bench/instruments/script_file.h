#pragma once
// The script file: a record with the number of lines, then one record per
// line between double quotes, every record ending in CR LF, in the 8-bit
// code page the lines are typed in. Nothing inside a line is escaped: a
// record that begins and ends with a double quote is read as the line
// between the first and the last quote, so lines with quotes of their own
// read back unchanged. Records without that shape are read as items that
// end at a comma or at the end of the record, as hand-written files have it.
#include <string>
#include <string_view>
#include <vector>

namespace bench::instruments {

// The longest script line: a command word and its fields, among them two
// full file paths (INITLOG), with room to spare. A longer line is no command.
constexpr size_t kMaxScriptLine = 16384;

std::string FormatScriptFile(const std::vector<std::string>& lines);

struct ScriptFileContent {
    std::vector<std::string> lines;  // as far as the file is sound
    bool complete = false;
    std::string problem;             // where and why reading stopped
};

// A line longer than kMaxScriptLine stops the reading there, as a damaged
// record does.
ScriptFileContent ParseScriptFile(std::string_view bytes);

}  // namespace bench::instruments
