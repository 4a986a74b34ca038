#pragma once
// The parsed form of a formula, shared by the parser and the evaluator.
#include "platform/workbook/formula.h"

#include <memory>
#include <string>
#include <vector>

namespace workbook {

struct Formula::Node {
    enum class Kind { Number, String, Bool, Error, Ref, Name, Unary, Percent, Binary, Func } kind;
    CellError error = CellError::Value;
    double number = 0;
    // Operator, function name, string, or the sheet of a reference: a sheet
    // holds many formulas, so nodes stay small.
    std::string text;
    Area area;  // of a reference
    // The references a reference joins, with the corners that follow the
    // host cell when a formula of the same shape is used elsewhere.
    struct Part {
        Area area;
        uint8_t moves = 0;  // bits: row1, col1, row2, col2
    };
    std::vector<Part> parts;
    std::vector<std::unique_ptr<Node>> kids;

    // The reference for a host `dRow` rows and `dCol` columns from where the
    // formula was read.
    SheetArea RefAt(int dRow, int dCol) const;
};

}  // namespace workbook
