// CRC-16 of the Modbus serial line (polynomial 0xA001 reflected, start 0xFFFF, no final XOR).
// Pure computation; shared by every RTU framing, on a serial line or over TCP.
#ifndef MBUS_CODEC_CRC16_H
#define MBUS_CODEC_CRC16_H

#include <cstddef>
#include <cstdint>

namespace mbus {

// CRC of length bytes. initial is the start value of both CRC bytes (0xFF for Modbus).
// The low-order byte of the result goes on the wire first.
std::uint16_t calcCrc16(const unsigned char data[], std::size_t length, unsigned char initial = 0xFF);

} // namespace mbus

#endif
