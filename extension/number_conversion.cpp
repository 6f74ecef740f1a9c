#include "extension/number_conversion.h"

#include <cmath>

bool truncateToInt32(double value, int32_t &out)
{
    // Open bounds: every double strictly between them truncates into range (NaN fails both).
    if (!(value > -2147483649.0 && value < 2147483648.0))
        return false;
    out = static_cast<int32_t>(value);
    return true;
}

bool truncateToInt64(double value, int64_t &out)
{
    // -2^63 itself is representable; 2^63 is not.
    if (!(value >= -9223372036854775808.0 && value < 9223372036854775808.0))
        return false;
    out = static_cast<int64_t>(value);
    return true;
}
