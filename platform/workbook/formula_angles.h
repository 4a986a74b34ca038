#pragma once
// Angle functions of worksheet formulas, kept apart from the evaluator: the
// position reports turn degrees into earth-centred coordinates and back.
#include <optional>
#include <string>
#include <vector>

#include "platform/workbook/value.h"

namespace workbook {

// RADIANS(x), DEGREES(x) and ATAN2(x, y) (the angle of the point (x, y),
// x first as spreadsheets take it) over their numeric arguments; nullopt
// when `name` is none of them.
std::optional<Value> AngleFunction(const std::string& name, const std::vector<double>& args);
bool IsAngleFunction(const std::string& name);

}  // namespace workbook
