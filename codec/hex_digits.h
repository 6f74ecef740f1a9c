// Hexadecimal digits and the longitudinal redundancy check of Modbus ASCII frames.
// Pure computation; shared by the ASCII framing on a serial line and over TCP.
#ifndef MBUS_CODEC_HEX_DIGITS_H
#define MBUS_CODEC_HEX_DIGITS_H

#include <cstddef>

namespace mbus {

// Upper-case hex digit of the high and of the low nibble of a byte.
char hexDigitHigh(unsigned char value);
char hexDigitLow(unsigned char value);

// Byte value of two hex digits, high digit first, or -1 if either is not 0-9 or A-F.
// Lower-case digits are not accepted: the frames are sent in upper case.
int hexPairToByte(char high, char low);

// Two's complement of the 8-bit sum of the bytes (address, function code and data).
unsigned char calcLrc(const unsigned char data[], std::size_t length);

} // namespace mbus

#endif
