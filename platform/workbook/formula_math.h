#pragma once
// Numeric functions of worksheet formulas, kept apart from the evaluator:
// the reports turn degrees into earth-centred coordinates and back, and
// round shares for their labels.
#include <optional>
#include <string>
#include <vector>

#include "platform/workbook/value.h"

namespace workbook {

// RADIANS(x), DEGREES(x), ATAN2(x, y) (the angle of the point (x, y), x
// first as spreadsheets take it) and ROUND(x, digits) (halves away from
// zero) over their numeric arguments; nullopt when `name` is none of them.
std::optional<Value> MathFunction(const std::string& name, const std::vector<double>& args);
bool IsMathFunction(const std::string& name);

}  // namespace workbook
