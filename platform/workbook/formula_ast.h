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
    std::vector<std::unique_ptr<Node>> kids;

    SheetArea Ref() const { return {text, area}; }
};

}  // namespace workbook
