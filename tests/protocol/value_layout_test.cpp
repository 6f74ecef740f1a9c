// The four register layouts of 16-, 32- and 64-bit values and text, against hand-written registers.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "mbus.h"
#include "protocol/value_layout.h"

using mbus::ValueLayout;
using Regs = std::vector<std::uint16_t>;

namespace {

template <class T>
Regs encoded(T value, ValueLayout layout)
{
    Regs regs(sizeof(T) / 2);
    mbus::encodeValue(value, layout, regs.data());
    EXPECT_EQ(mbus::decodeValue<T>(regs.data(), layout), value) << "round trip";
    return regs;
}

TEST(ValueLayoutTest, ThirtyTwoBitValuesInAllFourOrders)
{
    EXPECT_EQ(encoded<std::uint32_t>(0x12345678u, ValueLayout::abcd()), (Regs{0x1234, 0x5678}));
    EXPECT_EQ(encoded<std::uint32_t>(0x12345678u, ValueLayout::cdab()), (Regs{0x5678, 0x1234}));
    EXPECT_EQ(encoded<std::uint32_t>(0x12345678u, ValueLayout::badc()), (Regs{0x3412, 0x7856}));
    EXPECT_EQ(encoded<std::uint32_t>(0x12345678u, ValueLayout::dcba()), (Regs{0x7856, 0x3412}));
    // The library's default word order (low word first) is CDAB: 1.0 goes out as 0x0000, 0x3F80.
    EXPECT_EQ(encoded(1.0f, ValueLayout::cdab()), (Regs{0x0000, 0x3F80}));
    EXPECT_EQ(encoded(-1.5f, ValueLayout::badc()), (Regs{0xC0BF, 0x0000}));
    EXPECT_EQ(encoded<std::int32_t>(-2, ValueLayout::abcd()), (Regs{0xFFFF, 0xFFFE}));
    EXPECT_EQ(encoded<std::int32_t>(-2, ValueLayout::dcba()), (Regs{0xFEFF, 0xFFFF}));
}

TEST(ValueLayoutTest, SixtyFourBitValuesInAllFourOrders)
{
    const std::uint64_t v = 0x0102030405060708u;
    EXPECT_EQ(encoded(v, ValueLayout::abcd()), (Regs{0x0102, 0x0304, 0x0506, 0x0708}));
    EXPECT_EQ(encoded(v, ValueLayout::cdab()), (Regs{0x0708, 0x0506, 0x0304, 0x0102}));
    EXPECT_EQ(encoded(v, ValueLayout::badc()), (Regs{0x0201, 0x0403, 0x0605, 0x0807}));
    EXPECT_EQ(encoded(v, ValueLayout::dcba()), (Regs{0x0807, 0x0605, 0x0403, 0x0201}));
    EXPECT_EQ(encoded<std::int64_t>(-2, ValueLayout::abcd()), (Regs{0xFFFF, 0xFFFF, 0xFFFF, 0xFFFE}));
    EXPECT_EQ(encoded(1.0, ValueLayout::abcd()), (Regs{0x3FF0, 0x0000, 0x0000, 0x0000}));
    EXPECT_EQ(encoded(-2.5, ValueLayout::cdab()), (Regs{0x0000, 0x0000, 0x0000, 0xC004}));
}

TEST(ValueLayoutTest, SixteenBitValuesHonourOnlyTheByteOrder)
{
    EXPECT_EQ(encoded<std::uint16_t>(0xABCD, ValueLayout::abcd()), (Regs{0xABCD}));
    EXPECT_EQ(encoded<std::uint16_t>(0xABCD, ValueLayout::cdab()), (Regs{0xABCD}));
    EXPECT_EQ(encoded<std::uint16_t>(0xABCD, ValueLayout::badc()), (Regs{0xCDAB}));
    EXPECT_EQ(encoded<std::int16_t>(-2, ValueLayout::dcba()), (Regs{0xFEFF}));
}

TEST(ValueLayoutTest, TextTwoCharactersPerRegisterNulPadded)
{
    Regs regs(3, 0xEEEE);
    ASSERT_EQ(mbus::encodeText("ABC", 3, ValueLayout::abcd(), regs.data(), 3), MBUS_SUCCESS);
    EXPECT_EQ(regs, (Regs{0x4142, 0x4300, 0x0000}));
    ASSERT_EQ(mbus::encodeText("ABC", 3, ValueLayout::badc(), regs.data(), 3), MBUS_SUCCESS);
    EXPECT_EQ(regs, (Regs{0x4241, 0x0043, 0x0000}));
    char text[9] = "zzzzzzzz";
    EXPECT_EQ(mbus::decodeText(regs.data(), 3, ValueLayout::abcd(), text, 6), MBUS_ILLEGAL_ARGUMENT);
    EXPECT_EQ(text[0], 'z'); // a refused call writes nothing
    ASSERT_EQ(mbus::decodeText(regs.data(), 3, ValueLayout::badc(), text, 7), MBUS_SUCCESS);
    EXPECT_EQ(std::string(text, 8), std::string("ABC\0\0\0\0z", 8));
    // Six characters fill three registers exactly; a seventh does not fit.
    EXPECT_EQ(mbus::encodeText("ABCDEFG", 7, ValueLayout::abcd(), regs.data(), 3), MBUS_ILLEGAL_ARGUMENT);
    EXPECT_EQ(regs, (Regs{0x4241, 0x0043, 0x0000}));
    ASSERT_EQ(mbus::encodeText("ABCDEF", 6, ValueLayout::abcd(), regs.data(), 3), MBUS_SUCCESS);
    EXPECT_EQ(regs, (Regs{0x4142, 0x4344, 0x4546}));
}

} // namespace
