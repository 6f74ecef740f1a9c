#include "cli/value_codec.h"

#include <cerrno>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

struct Name {
    const char *text;
    int value;
};

constexpr Name kTypeNames[] = {
    {"int16", int(ValueType::Int16)},   {"uint16", int(ValueType::Uint16)}, {"int32", int(ValueType::Int32)},
    {"uint32", int(ValueType::Uint32)}, {"int64", int(ValueType::Int64)},   {"uint64", int(ValueType::Uint64)},
    {"float", int(ValueType::Float)},   {"double", int(ValueType::Double)}, {"mod10000", int(ValueType::Mod10000)},
    {"text", int(ValueType::Text)}};

constexpr Name kOrderNames[] = {{"abcd", int(ByteOrder::Abcd)},
                                {"cdab", int(ByteOrder::Cdab)},
                                {"badc", int(ByteOrder::Badc)},
                                {"dcba", int(ByteOrder::Dcba)}};

template <std::size_t N> bool lookUp(const Name (&names)[N], const std::string &text, int &value)
{
    for (const Name &name : names)
        if (text == name.text) {
            value = name.value;
            return true;
        }
    return false;
}

template <typename T> std::string shortest(T value)
{
    char buffer[64];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

DecodedValue floating(double value, const std::string &text)
{
    if (std::isfinite(value))
        return {text, DecodedValue::Kind::Number};
    return {std::isnan(value) ? "nan" : (value < 0 ? "-inf" : "inf"), DecodedValue::Kind::NotANumber};
}

std::int64_t signedFromBits(std::uint64_t bits, int width)
{
    if (width == 64) {
        std::int64_t value;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }
    const std::uint64_t sign = std::uint64_t(1) << (width - 1);
    return (bits & sign) != 0 ? std::int64_t(bits) - std::int64_t(sign << 1) : std::int64_t(bits);
}

} // namespace

std::string ValueCodec::printable(const std::string &raw)
{
    std::string text;
    for (unsigned char c : raw) {
        if (c == '\\') {
            text += "\\\\";
        } else if (c >= 0x20 && c < 0x7F) {
            text += char(c);
        } else {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02X", c);
            text += escape;
        }
    }
    return text;
}

namespace {

bool parseSigned(const std::string &text, long long low, long long high, long long &value)
{
    errno = 0;
    char *end = nullptr;
    value = std::strtoll(text.c_str(), &end, 0);
    return !text.empty() && *end == '\0' && errno == 0 && value >= low && value <= high;
}

bool parseUnsigned(const std::string &text, unsigned long long high, unsigned long long &value)
{
    errno = 0;
    char *end = nullptr;
    value = std::strtoull(text.c_str(), &end, 0);
    // strtoull takes "-1" as its largest value; a sign has no place in an unsigned value.
    return !text.empty() && text.find('-') == std::string::npos && *end == '\0' && errno == 0 && value <= high;
}

bool parseReal(const std::string &text, double &value)
{
    char *end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return !text.empty() && *end == '\0';
}

} // namespace

bool ValueCodec::typeFromName(const std::string &name, ValueType &type)
{
    int value = 0;
    if (!lookUp(kTypeNames, name, value))
        return false;
    type = ValueType(value);
    return true;
}

bool ValueCodec::orderFromName(const std::string &name, ByteOrder &order)
{
    int value = 0;
    if (!lookUp(kOrderNames, name, value))
        return false;
    order = ByteOrder(value);
    return true;
}

int ValueCodec::registersPerValue() const
{
    switch (type_) {
    case ValueType::Int16:
    case ValueType::Uint16:
    case ValueType::Text:
        return 1;
    case ValueType::Int64:
    case ValueType::Uint64:
    case ValueType::Double:
        return 4;
    default:
        return 2;
    }
}

std::uint64_t ValueCodec::gather(const std::uint16_t *registers, int count) const
{
    std::uint64_t bits = 0;
    for (int i = 0; i < count; ++i) {
        std::uint16_t word = registers[wordsSwapped() ? count - 1 - i : i];
        if (bytesSwapped())
            word = std::uint16_t((word >> 8) | (word << 8));
        bits = (bits << 16) | word;
    }
    return bits;
}

void ValueCodec::scatter(std::uint64_t bits, int count, std::vector<std::uint16_t> &registers) const
{
    const std::size_t first = registers.size();
    registers.resize(first + std::size_t(count));
    for (int i = count - 1; i >= 0; --i, bits >>= 16) {
        auto word = std::uint16_t(bits & 0xFFFF);
        if (bytesSwapped())
            word = std::uint16_t((word >> 8) | (word << 8));
        registers[first + std::size_t(wordsSwapped() ? count - 1 - i : i)] = word;
    }
}

DecodedValue ValueCodec::decode(const std::uint16_t *registers, int count) const
{
    switch (type_) {
    case ValueType::Int16:
        return {std::to_string(signedFromBits(gather(registers, 1), 16))};
    case ValueType::Uint16:
        return {std::to_string(gather(registers, 1))};
    case ValueType::Int32:
        return {std::to_string(signedFromBits(gather(registers, 2), 32))};
    case ValueType::Uint32:
        return {std::to_string(gather(registers, 2))};
    case ValueType::Int64:
        return {std::to_string(signedFromBits(gather(registers, 4), 64))};
    case ValueType::Uint64:
        return {std::to_string(gather(registers, 4))};
    case ValueType::Float: {
        const auto bits = std::uint32_t(gather(registers, 2));
        float value;
        std::memcpy(&value, &bits, sizeof value);
        return floating(value, shortest(value));
    }
    case ValueType::Double: {
        const std::uint64_t bits = gather(registers, 4);
        double value;
        std::memcpy(&value, &bits, sizeof value);
        return floating(value, shortest(value));
    }
    case ValueType::Mod10000: {
        // The first register holds the value divided by 10000, the second the remainder.
        const std::int64_t high = signedFromBits(registers[0], 16), low = signedFromBits(registers[1], 16);
        return {std::to_string(high * 10000 + low)};
    }
    case ValueType::Text: {
        std::string raw;
        for (int i = 0; i < count; ++i) {
            const std::uint16_t word = registers[i];
            const char first = char(bytesSwapped() ? word & 0xFF : word >> 8);
            const char second = char(bytesSwapped() ? word >> 8 : word & 0xFF);
            raw += first;
            raw += second;
        }
        // A device pads its texts with NUL bytes; the text ends at the first.
        raw.resize(std::strlen(raw.c_str()));
        return {printable(raw), DecodedValue::Kind::Text};
    }
    }
    return {};
}

bool ValueCodec::encode(const std::string &text, std::vector<std::uint16_t> &registers, std::string &error) const
{
    long long integer = 0;
    unsigned long long natural = 0;
    double real = 0;
    switch (type_) {
    case ValueType::Int16:
        if (!parseSigned(text, INT16_MIN, INT16_MAX, integer))
            break;
        scatter(std::uint64_t(integer) & 0xFFFF, 1, registers);
        return true;
    case ValueType::Uint16:
        if (!parseUnsigned(text, UINT16_MAX, natural))
            break;
        scatter(natural, 1, registers);
        return true;
    case ValueType::Int32:
        if (!parseSigned(text, INT32_MIN, INT32_MAX, integer))
            break;
        scatter(std::uint64_t(integer) & 0xFFFFFFFFu, 2, registers);
        return true;
    case ValueType::Uint32:
        if (!parseUnsigned(text, UINT32_MAX, natural))
            break;
        scatter(natural, 2, registers);
        return true;
    case ValueType::Int64:
        if (!parseSigned(text, INT64_MIN, INT64_MAX, integer))
            break;
        scatter(std::uint64_t(integer), 4, registers);
        return true;
    case ValueType::Uint64:
        if (!parseUnsigned(text, UINT64_MAX, natural))
            break;
        scatter(natural, 4, registers);
        return true;
    case ValueType::Float: {
        // Beyond the float range the conversion would be undefined; infinities and NaN are fine.
        if (!parseReal(text, real) || (std::isfinite(real) && std::fabs(real) > double(FLT_MAX)))
            break;
        const auto value = float(real);
        std::uint32_t bits;
        std::memcpy(&bits, &value, sizeof bits);
        scatter(bits, 2, registers);
        return true;
    }
    case ValueType::Double: {
        if (!parseReal(text, real))
            break;
        std::uint64_t bits;
        std::memcpy(&bits, &real, sizeof bits);
        scatter(bits, 4, registers);
        return true;
    }
    case ValueType::Mod10000: {
        // Both halves carry the sign of the value, and the first must fit a signed register.
        if (!parseSigned(text, -327689999LL, 327679999LL, integer))
            break;
        registers.push_back(std::uint16_t(std::uint64_t(integer / 10000) & 0xFFFF));
        registers.push_back(std::uint16_t(std::uint64_t(integer % 10000) & 0xFFFF));
        return true;
    }
    case ValueType::Text:
        for (std::size_t i = 0; i < text.size(); i += 2) {
            const auto first = static_cast<unsigned char>(text[i]);
            const auto second = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0u;
            registers.push_back(bytesSwapped() ? std::uint16_t(second << 8 | first) : std::uint16_t(first << 8 | second));
        }
        if (!text.empty())
            return true;
        error = "an empty text writes nothing";
        return false;
    }
    error = "\"" + text + "\" is not a value of this type, or out of its range";
    return false;
}
