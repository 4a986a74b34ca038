#include "platform/workbook/formula_math.h"

#include <cmath>
#include <numbers>

namespace workbook {

bool IsMathFunction(const std::string& name) {
    return name == "RADIANS" || name == "DEGREES" || name == "ATAN2" || name == "ROUND";
}

std::optional<Value> MathFunction(const std::string& name, const std::vector<double>& args) {
    if (!IsMathFunction(name)) return std::nullopt;
    const size_t want = name == "ATAN2" || name == "ROUND" ? 2 : 1;
    if (args.size() != want) return Value::Error(CellError::Value);
    if (name == "RADIANS") return Value(args[0] * (std::numbers::pi / 180.0));
    if (name == "DEGREES") return Value(args[0] * (180.0 / std::numbers::pi));
    if (name == "ROUND") {
        const double digits = std::trunc(args[1]);
        if (std::fabs(digits) > 15) return Value(args[0]);
        const double scale = std::pow(10.0, digits);
        const double r = std::round(args[0] * scale) / scale;
        return std::isfinite(r) ? Value(r) : Value::Error(CellError::Num);
    }
    // The origin has no angle.
    if (args[0] == 0 && args[1] == 0) return Value::Error(CellError::Div0);
    return Value(std::atan2(args[1], args[0]));
}

}  // namespace workbook
