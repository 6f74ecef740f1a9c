// Big-endian field access on Modbus PDU bytes.
#ifndef MBUS_CODEC_WIRE_FORMAT_H
#define MBUS_CODEC_WIRE_FORMAT_H

namespace mbus {

inline void putU16(unsigned char *bytes, unsigned value)
{
    bytes[0] = static_cast<unsigned char>((value >> 8) & 0xFF);
    bytes[1] = static_cast<unsigned char>(value & 0xFF);
}

inline unsigned getU16(const unsigned char *bytes)
{
    return (static_cast<unsigned>(bytes[0]) << 8) | bytes[1];
}

} // namespace mbus

#endif
