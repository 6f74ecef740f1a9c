#include "codec/hex_digits.h"

namespace mbus {

namespace {

const char kHexDigits[] = "0123456789ABCDEF";

int digitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

char hexDigitHigh(unsigned char value)
{
    return kHexDigits[(value >> 4) & 0x0F];
}

char hexDigitLow(unsigned char value)
{
    return kHexDigits[value & 0x0F];
}

int hexPairToByte(char high, char low)
{
    int h = digitValue(high);
    int l = digitValue(low);
    if (h < 0 || l < 0)
        return -1;
    return h * 16 + l;
}

unsigned char calcLrc(const unsigned char data[], std::size_t length)
{
    unsigned sum = 0;
    for (std::size_t i = 0; i < length; ++i)
        sum += data[i];
    return static_cast<unsigned char>(0x100u - (sum & 0xFFu));
}

} // namespace mbus
