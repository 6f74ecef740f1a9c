// Big-endian field access on Modbus PDU bytes.
#ifndef MBUS_PROTOCOL_WIRE_FORMAT_H
#define MBUS_PROTOCOL_WIRE_FORMAT_H

inline void putU16(unsigned char *bytes, unsigned value)
{
    bytes[0] = static_cast<unsigned char>((value >> 8) & 0xFF);
    bytes[1] = static_cast<unsigned char>(value & 0xFF);
}

inline unsigned getU16(const unsigned char *bytes)
{
    return (static_cast<unsigned>(bytes[0]) << 8) | bytes[1];
}

#endif
