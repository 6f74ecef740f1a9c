// Frame builders for the test peers, written independently of the library (bitwise CRC, plain
// sums), so that a framing bug cannot hide behind itself.
#ifndef MBUS_TESTS_SUPPORT_TEST_FRAMES_H
#define MBUS_TESTS_SUPPORT_TEST_FRAMES_H

#include <cstdint>
#include <string>
#include <vector>

using Bytes = std::vector<std::uint8_t>;

inline std::uint16_t bitwiseCrc16(const Bytes &bytes)
{
    std::uint16_t crc = 0xFFFF;
    for (std::uint8_t b : bytes) {
        crc ^= b;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? static_cast<std::uint16_t>((crc >> 1) ^ 0xA001) : static_cast<std::uint16_t>(crc >> 1);
    }
    return crc;
}

// The bytes with their CRC appended, low byte first.
inline Bytes withCrc(Bytes bytes)
{
    std::uint16_t crc = bitwiseCrc16(bytes);
    bytes.push_back(static_cast<std::uint8_t>(crc & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>(crc >> 8));
    return bytes;
}

// The bytes as an ASCII frame: ':' hex pairs, LRC, CR LF.
inline Bytes asciiFrame(const Bytes &bytes, bool lowerCase = false)
{
    const char *digits = lowerCase ? "0123456789abcdef" : "0123456789ABCDEF";
    unsigned sum = 0;
    std::string text = ":";
    auto put = [&](std::uint8_t b) {
        text += digits[b >> 4];
        text += digits[b & 0x0F];
    };
    for (std::uint8_t b : bytes) {
        sum += b;
        put(b);
    }
    put(static_cast<std::uint8_t>(-static_cast<int>(sum & 0xFF)));
    text += "\r\n";
    return Bytes(text.begin(), text.end());
}

inline Bytes textBytes(const std::string &text)
{
    return Bytes(text.begin(), text.end());
}

inline Bytes concat(Bytes a, const Bytes &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

#endif
