// The value layouts of the block commands: known register images per type and byte order,
// round trips, and the values a write refuses.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "extension/register_values.h"

namespace {

using Words = std::vector<uint16_t>;

Words encode(ValueType type, ByteOrder order, double value)
{
    Words words(static_cast<size_t>(registersPerValue(type)), 0xAAAA);
    EXPECT_TRUE(encodeValue(type, order, value, words.data())) << value;
    return words;
}

TEST(RegisterValuesTest, EachOrderPlacesTheBytesAsNamed)
{
    // 3.25f is 0x40500000: A=40 B=50 C=00 D=00.
    EXPECT_EQ(encode(ValueType::Float, ByteOrder::ABCD, 3.25), (Words{0x4050, 0x0000}));
    EXPECT_EQ(encode(ValueType::Float, ByteOrder::CDAB, 3.25), (Words{0x0000, 0x4050}));
    EXPECT_EQ(encode(ValueType::Float, ByteOrder::BADC, 3.25), (Words{0x5040, 0x0000}));
    EXPECT_EQ(encode(ValueType::Float, ByteOrder::DCBA, 3.25), (Words{0x0000, 0x5040}));
    // 0x01020304 and 1.0 (0x3FF0000000000000) over two and four registers.
    EXPECT_EQ(encode(ValueType::Int32, ByteOrder::DCBA, 0x01020304), (Words{0x0403, 0x0201}));
    EXPECT_EQ(encode(ValueType::Double, ByteOrder::ABCD, 1.0), (Words{0x3FF0, 0, 0, 0}));
    EXPECT_EQ(encode(ValueType::Double, ByteOrder::DCBA, 1.0), (Words{0, 0, 0, 0xF03F}));
    EXPECT_EQ(encode(ValueType::Double, ByteOrder::CDAB, 1.0), (Words{0, 0, 0, 0x3FF0}));
    // One register: only the byte swap matters.
    EXPECT_EQ(encode(ValueType::Int16, ByteOrder::CDAB, -2), (Words{0xFFFE}));
    EXPECT_EQ(encode(ValueType::UInt16, ByteOrder::BADC, 0x1234), (Words{0x3412}));
    // Mod-10000: the high word counts ten thousands.
    EXPECT_EQ(encode(ValueType::Mod10000, ByteOrder::ABCD, 12345678), (Words{1234, 5678}));
    EXPECT_EQ(encode(ValueType::Mod10000, ByteOrder::CDAB, 12345678), (Words{5678, 1234}));
    const uint16_t raw[] = {0xFFFF, 0xFFFF};
    EXPECT_EQ(decodeValue(ValueType::UInt32, ByteOrder::ABCD, raw), 4294967295.0);
    EXPECT_EQ(decodeValue(ValueType::Int32, ByteOrder::ABCD, raw), -1.0);
    EXPECT_EQ(decodeValue(ValueType::UInt16, ByteOrder::ABCD, raw), 65535.0);
}

TEST(RegisterValuesTest, EveryTypeAndOrderRoundTrips)
{
    const double values[] = {0, 1, -1, 32767, -32768, 65535, 123456789, -2147483648.0, 4294967295.0,
                             0.1, -3.5e300, std::numeric_limits<double>::infinity()};
    for (int t = 0; t < static_cast<int>(ValueType::Count); ++t) {
        for (int o = 0; o < static_cast<int>(ByteOrder::Count); ++o) {
            const auto type = static_cast<ValueType>(t);
            const auto order = static_cast<ByteOrder>(o);
            for (double value : values) {
                uint16_t words[4] = {};
                if (!encodeValue(type, order, value, words))
                    continue;
                const double back = decodeValue(type, order, words);
                const double expected = type == ValueType::Float ? static_cast<double>(static_cast<float>(value))
                                        : type == ValueType::Double ? value
                                                                    : std::trunc(value);
                EXPECT_EQ(back, expected) << "type " << t << " order " << o << " value " << value;
            }
        }
    }
}

TEST(RegisterValuesTest, WritesRefuseWhatTheTypeCannotHold)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const struct {
        ValueType type;
        double value;
    } refused[] = {{ValueType::Int16, 32768},     {ValueType::Int16, nan},       {ValueType::UInt16, -1},
                   {ValueType::Int32, 2147483648.0}, {ValueType::UInt32, -1},    {ValueType::Float, 1e39},
                   {ValueType::Float, nan},        {ValueType::Double, nan},      {ValueType::Mod10000, -1},
                   {ValueType::Mod10000, 1e8}};
    for (const auto &r : refused) {
        uint16_t words[4] = {7, 7, 7, 7};
        EXPECT_FALSE(encodeValue(r.type, ByteOrder::ABCD, r.value, words)) << r.value;
        EXPECT_EQ(words[0], 7) << "nothing is written for a refused value";
    }
    // Integers are truncated toward zero, as every host number is.
    EXPECT_EQ(encode(ValueType::Int16, ByteOrder::ABCD, -2.9), (Words{0xFFFE}));
}

} // namespace
