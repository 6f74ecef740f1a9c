#include "fuzz/fuzz_input.h"

#include <cstring>

double FuzzInput::f64(double fallback)
{
    if (remaining() < 8) {
        pos_ = size_;
        return fallback;
    }
    double value;
    std::memcpy(&value, data_ + pos_, sizeof value);
    pos_ += sizeof value;
    return value;
}

std::size_t FuzzInput::take(std::uint8_t *out, std::size_t count)
{
    std::size_t n = count < remaining() ? count : remaining();
    if (n > 0)
        std::memcpy(out, data_ + pos_, n);
    pos_ += n;
    return n;
}
