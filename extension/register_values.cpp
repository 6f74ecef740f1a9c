#include "extension/register_values.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "host/igor_xop.h"

namespace {

constexpr int kMaxRegisters = 4;
constexpr double kMod10000Limit = 99999999.0;

bool swapsWords(ByteOrder order)
{
    return order == ByteOrder::CDAB || order == ByteOrder::DCBA;
}

bool swapsBytes(ByteOrder order)
{
    return order == ByteOrder::BADC || order == ByteOrder::DCBA;
}

// Registers -> the value's bytes, most significant first. The mapping is its own inverse.
void toBytes(ByteOrder order, const uint16_t *registers, int count, uint8_t *bytes)
{
    for (int i = 0; i < count; ++i) {
        const uint16_t word = registers[swapsWords(order) ? count - 1 - i : i];
        const uint8_t high = static_cast<uint8_t>(word >> 8);
        const uint8_t low = static_cast<uint8_t>(word & 0xFF);
        bytes[2 * i] = swapsBytes(order) ? low : high;
        bytes[2 * i + 1] = swapsBytes(order) ? high : low;
    }
}

void fromBytes(ByteOrder order, const uint8_t *bytes, int count, uint16_t *registers)
{
    for (int i = 0; i < count; ++i) {
        const uint8_t high = swapsBytes(order) ? bytes[2 * i + 1] : bytes[2 * i];
        const uint8_t low = swapsBytes(order) ? bytes[2 * i] : bytes[2 * i + 1];
        registers[swapsWords(order) ? count - 1 - i : i] = static_cast<uint16_t>(high << 8 | low);
    }
}

uint64_t bigEndian(const uint8_t *bytes, int count)
{
    uint64_t value = 0;
    for (int i = 0; i < count; ++i)
        value = value << 8 | bytes[i];
    return value;
}

void putBigEndian(uint64_t value, uint8_t *bytes, int count)
{
    for (int i = count - 1; i >= 0; --i) {
        bytes[i] = static_cast<uint8_t>(value & 0xFF);
        value >>= 8;
    }
}

// The value truncated toward zero when it lies in [low, high] after truncation.
bool truncateInto(double value, double low, double high, int64_t &out)
{
    if (std::isnan(value))
        return false;
    const double truncated = std::trunc(value);
    if (!(truncated >= low && truncated <= high))
        return false;
    out = static_cast<int64_t>(truncated);
    return true;
}

} // namespace

int registersPerValue(ValueType type)
{
    switch (type) {
    case ValueType::Int16:
    case ValueType::UInt16:
        return 1;
    case ValueType::Double:
        return 4;
    default:
        return 2;
    }
}

int waveTypeOf(ValueType type)
{
    switch (type) {
    case ValueType::Int16:
        return NT_I16;
    case ValueType::UInt16:
        return NT_I16 | NT_UNSIGNED;
    case ValueType::Int32:
    case ValueType::Mod10000:
        return NT_I32;
    case ValueType::UInt32:
        return NT_I32 | NT_UNSIGNED;
    case ValueType::Float:
        return NT_FP32;
    default:
        return NT_FP64;
    }
}

double decodeValue(ValueType type, ByteOrder order, const uint16_t *registers)
{
    const int count = registersPerValue(type);
    uint8_t bytes[2 * kMaxRegisters];
    toBytes(order, registers, count, bytes);
    const uint64_t raw = bigEndian(bytes, 2 * count);
    switch (type) {
    case ValueType::Int16:
        return static_cast<int16_t>(static_cast<uint16_t>(raw));
    case ValueType::UInt16:
        return static_cast<double>(raw);
    case ValueType::Int32:
        return static_cast<int32_t>(static_cast<uint32_t>(raw));
    case ValueType::UInt32:
        return static_cast<double>(raw);
    case ValueType::Float: {
        const uint32_t bits = static_cast<uint32_t>(raw);
        float value;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }
    case ValueType::Double: {
        double value;
        std::memcpy(&value, &raw, sizeof value);
        return value;
    }
    default:
        // The high word counts ten thousands.
        return static_cast<double>(raw >> 16) * 10000.0 + static_cast<double>(raw & 0xFFFF);
    }
}

bool encodeValue(ValueType type, ByteOrder order, double value, uint16_t *registers)
{
    const int count = registersPerValue(type);
    uint64_t raw = 0;
    int64_t integer = 0;
    switch (type) {
    case ValueType::Int16:
        if (!truncateInto(value, -32768.0, 32767.0, integer))
            return false;
        raw = static_cast<uint16_t>(integer);
        break;
    case ValueType::UInt16:
        if (!truncateInto(value, 0.0, 65535.0, integer))
            return false;
        raw = static_cast<uint64_t>(integer);
        break;
    case ValueType::Int32:
        if (!truncateInto(value, -2147483648.0, 2147483647.0, integer))
            return false;
        raw = static_cast<uint32_t>(integer);
        break;
    case ValueType::UInt32:
        if (!truncateInto(value, 0.0, 4294967295.0, integer))
            return false;
        raw = static_cast<uint64_t>(integer);
        break;
    case ValueType::Float: {
        const double limit = static_cast<double>(std::numeric_limits<float>::max());
        if (std::isnan(value) || (std::isfinite(value) && std::fabs(value) > limit))
            return false;
        const float narrow = static_cast<float>(value);
        uint32_t bits;
        std::memcpy(&bits, &narrow, sizeof bits);
        raw = bits;
        break;
    }
    case ValueType::Double:
        if (std::isnan(value))
            return false;
        std::memcpy(&raw, &value, sizeof raw);
        break;
    default:
        if (!truncateInto(value, 0.0, kMod10000Limit, integer))
            return false;
        raw = static_cast<uint64_t>(integer / 10000) << 16 | static_cast<uint64_t>(integer % 10000);
        break;
    }
    uint8_t bytes[2 * kMaxRegisters];
    putBigEndian(raw, bytes, 2 * count);
    fromBytes(order, bytes, count, registers);
    return true;
}
