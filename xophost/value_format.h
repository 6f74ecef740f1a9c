// How `print` shows a variable: integral values as integers, others in the shortest decimal form
// that reads back to the same double; NaN, Inf and -Inf by name.
#ifndef XOPHOST_VALUE_FORMAT_H
#define XOPHOST_VALUE_FORMAT_H

#include <string>

std::string formatValue(double value);

#endif
