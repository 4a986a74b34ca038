#pragma once
// The parsed form of a formula, shared by the parser and the evaluator.
#include "platform/workbook/formula.h"

#include <memory>
#include <string>
#include <vector>

namespace workbook {

struct Formula::Node {
    enum class Kind { Number, String, Bool, Error, Ref, Name, Unary, Percent, Binary, Func } kind;
    double number = 0;
    std::string text;  // operator, function name, string
    CellError error = CellError::Value;
    SheetArea ref;
    std::vector<std::unique_ptr<Node>> kids;
};

}  // namespace workbook
