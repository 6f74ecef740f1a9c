// Check values of the serial frame formats, computed bit by bit (deliberately not table-driven,
// so a wrong table elsewhere cannot hide behind the same wrong table here).
#pragma once

#include <cstddef>
#include <cstdint>

namespace sim {

// CRC-16 of Modbus RTU: reflected polynomial 0xA001, start 0xFFFF, no final XOR.
// The low-order byte goes on the wire first.
inline std::uint16_t crc16(const std::uint8_t* data, std::size_t len)
{
    std::uint16_t crc = 0xFFFF;
    for (std::size_t i = 0; i < len; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? std::uint16_t((crc >> 1) ^ 0xA001) : std::uint16_t(crc >> 1);
    }
    return crc;
}

// LRC of Modbus ASCII: two's complement of the 8-bit sum of the bytes.
inline std::uint8_t lrc(const std::uint8_t* data, std::size_t len)
{
    unsigned sum = 0;
    for (std::size_t i = 0; i < len; ++i) sum += data[i];
    return std::uint8_t(-sum);
}

} // namespace sim
