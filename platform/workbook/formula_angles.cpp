#include "platform/workbook/formula_angles.h"

#include <cmath>
#include <numbers>

namespace workbook {

bool IsAngleFunction(const std::string& name) {
    return name == "RADIANS" || name == "DEGREES" || name == "ATAN2";
}

std::optional<Value> AngleFunction(const std::string& name, const std::vector<double>& args) {
    if (!IsAngleFunction(name)) return std::nullopt;
    const size_t want = name == "ATAN2" ? 2 : 1;
    if (args.size() != want) return Value::Error(CellError::Value);
    if (name == "RADIANS") return Value(args[0] * (std::numbers::pi / 180.0));
    if (name == "DEGREES") return Value(args[0] * (180.0 / std::numbers::pi));
    // The origin has no angle.
    if (args[0] == 0 && args[1] == 0) return Value::Error(CellError::Div0);
    return Value(std::atan2(args[1], args[0]));
}

}  // namespace workbook
