// Values carried in 16-bit registers, as the block commands read and write them: the value types,
// how many registers each takes, and the four byte orders of a multi-register value. Kept apart
// so that the library's own value layouts can replace it in one place.
//
// Byte order: a value's bytes from the most significant on are A, B, C, D (and so on for a
// double). ABCD puts them into the registers as they come (the Modbus order: high word first,
// high byte first in each register); CDAB swaps the words (low word first, the library's default
// for 32-bit values); BADC swaps the bytes in each register; DCBA does both.
#ifndef ZORVANE_REGISTER_VALUES_H
#define ZORVANE_REGISTER_VALUES_H

#include <cstdint>

enum class ValueType { Int16, UInt16, Int32, UInt32, Float, Double, Mod10000, Count };
enum class ByteOrder { ABCD, CDAB, BADC, DCBA, Count };

// Registers one value takes: 1, 2 or 4.
int registersPerValue(ValueType type);
// The number type (NT_...) of a wave that holds values of this type exactly.
int waveTypeOf(ValueType type);

// The value in registers[0 .. registersPerValue - 1].
double decodeValue(ValueType type, ByteOrder order, const uint16_t *registers);
// Fills registers[0 .. registersPerValue - 1] with the value, truncated toward zero for an
// integer type; false, and nothing written, when the value is NaN or lies outside the type's
// range (a float takes infinities and any finite value within its range; mod-10000 takes
// 0 .. 99999999).
bool encodeValue(ValueType type, ByteOrder order, double value, uint16_t *registers);

#endif
