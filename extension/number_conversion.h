// Host numbers arrive as doubles and are truncated toward zero. Converting a NaN, an infinity or
// a value beyond the target range would be undefined behaviour in C++, so those are refused here
// and the commands turn the refusal into an invalid parameter.
#ifndef ZORVANE_NUMBER_CONVERSION_H
#define ZORVANE_NUMBER_CONVERSION_H

#include <cstdint>

// true and the truncated value when it fits a signed 32-bit integer; false otherwise.
bool truncateToInt32(double value, int32_t &out);

// true and the truncated value when it fits a signed 64-bit integer; false otherwise.
bool truncateToInt64(double value, int64_t &out);

#endif
