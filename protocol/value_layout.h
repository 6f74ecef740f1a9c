// How a device lays a value of 16, 32 or 64 bits out over consecutive 16-bit registers, and text
// over registers, two characters each. Pure conversions: no I/O, no allocation.
//
// A value's bytes, most significant first, are A B C D (E F G H for 64 bits). Two independent
// choices give the four layouts: which register holds the most significant word, and which half
// of each register holds the first byte of the pair. The library's default for 32-bit values
// (the slave's word-order flag clear) is CDAB; the flag set is ABCD. Swapping the bytes inside
// the registers turns these into DCBA and BADC.
#ifndef MBUS_PROTOCOL_VALUE_LAYOUT_H
#define MBUS_PROTOCOL_VALUE_LAYOUT_H

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace mbus {

struct ValueLayout {
    bool highWordFirst; // the register with the lowest address holds the most significant word
    bool swappedBytes;  // the first byte of each pair sits in the register's low half

    static constexpr ValueLayout abcd() { return {true, false}; }
    static constexpr ValueLayout cdab() { return {false, false}; }
    static constexpr ValueLayout badc() { return {true, true}; }
    static constexpr ValueLayout dcba() { return {false, true}; }
};

// The raw bits of a value over regCnt (1, 2 or 4) registers; regs[0] has the lowest address.
std::uint64_t joinRegisters(const std::uint16_t regs[], int regCnt, ValueLayout layout);
void splitRegisters(std::uint64_t bits, int regCnt, ValueLayout layout, std::uint16_t regs[]);

// The unsigned integer of a value's size, for bit-exact reinterpretation.
template <std::size_t Size>
struct RawBits;
template <>
struct RawBits<2> {
    using type = std::uint16_t;
};
template <>
struct RawBits<4> {
    using type = std::uint32_t;
};
template <>
struct RawBits<8> {
    using type = std::uint64_t;
};

// Typed values: T is one of std::uint16_t, std::int16_t, std::uint32_t, std::int32_t, float,
// std::uint64_t, std::int64_t, double; each takes sizeof(T) / 2 registers.
template <class T>
T decodeValue(const std::uint16_t regs[], ValueLayout layout)
{
    using Raw = typename RawBits<sizeof(T)>::type;
    const auto raw = static_cast<Raw>(joinRegisters(regs, int(sizeof(T) / 2), layout));
    T value;
    std::memcpy(&value, &raw, sizeof value);
    return value;
}

template <class T>
void encodeValue(T value, ValueLayout layout, std::uint16_t regs[])
{
    typename RawBits<sizeof(T)>::type raw;
    std::memcpy(&raw, &value, sizeof raw);
    splitRegisters(raw, int(sizeof(T) / 2), layout, regs);
}

// Text over regCnt registers: two characters per register, NUL-padded. Returns MBUS_SUCCESS, or
// MBUS_ILLEGAL_ARGUMENT (nothing written) when text is null or longer than 2 * regCnt, or
// regCnt is not positive.
int encodeText(const char *text, std::size_t textLen, ValueLayout layout, std::uint16_t regs[], int regCnt);
// The 2 * regCnt characters of regCnt registers and a closing NUL into text. Returns
// MBUS_SUCCESS, or MBUS_ILLEGAL_ARGUMENT (nothing written) when textSize < 2 * regCnt + 1.
int decodeText(const std::uint16_t regs[], int regCnt, ValueLayout layout, char text[], std::size_t textSize);

} // namespace mbus

#endif
