#include "xophost/value_format.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

std::string formatValue(double value)
{
    if (std::isnan(value))
        return "NaN";
    if (std::isinf(value))
        return value < 0 ? "-Inf" : "Inf";
    char text[400];
    if (value == std::trunc(value)) {
        // -0 is integral and reads as 0.
        std::snprintf(text, sizeof text, "%.0f", value == 0.0 ? 0.0 : value);
        return text;
    }
    for (int precision = 1; precision <= 17; ++precision) {
        std::snprintf(text, sizeof text, "%.*g", precision, value);
        if (std::strtod(text, nullptr) == value)
            break;
    }
    return text;
}
