// Registers to values and back, in every byte order, against layouts worked out by hand.
#include "cli/value_codec.h"

#include <gtest/gtest.h>

namespace {

struct Layout {
    ValueType type;
    ByteOrder order;
    std::vector<std::uint16_t> registers;
    const char *text;
};

// 0x12345678, pi as float 0x40490FDB, 0x0102030405060708 and 1.0 as double 0x3FF0000000000000.
const Layout kLayouts[] = {
    {ValueType::Int32, ByteOrder::Abcd, {0x1234, 0x5678}, "305419896"},
    {ValueType::Int32, ByteOrder::Cdab, {0x5678, 0x1234}, "305419896"},
    {ValueType::Int32, ByteOrder::Badc, {0x3412, 0x7856}, "305419896"},
    {ValueType::Int32, ByteOrder::Dcba, {0x7856, 0x3412}, "305419896"},
    {ValueType::Float, ByteOrder::Abcd, {0x4049, 0x0FDB}, "3.1415927"},
    {ValueType::Float, ByteOrder::Cdab, {0x0FDB, 0x4049}, "3.1415927"},
    {ValueType::Float, ByteOrder::Dcba, {0xDB0F, 0x4940}, "3.1415927"},
    {ValueType::Uint64, ByteOrder::Abcd, {0x0102, 0x0304, 0x0506, 0x0708}, "72623859790382856"},
    {ValueType::Uint64, ByteOrder::Cdab, {0x0708, 0x0506, 0x0304, 0x0102}, "72623859790382856"},
    {ValueType::Uint64, ByteOrder::Badc, {0x0201, 0x0403, 0x0605, 0x0807}, "72623859790382856"},
    {ValueType::Double, ByteOrder::Dcba, {0x0000, 0x0000, 0x0000, 0xF03F}, "1"},
    {ValueType::Int16, ByteOrder::Abcd, {0xFFFE}, "-2"},
    {ValueType::Int16, ByteOrder::Badc, {0x80FF}, "-128"},
    {ValueType::Uint16, ByteOrder::Cdab, {0xFFFF}, "65535"},
    {ValueType::Int32, ByteOrder::Abcd, {0x8000, 0x0000}, "-2147483648"},
    {ValueType::Uint32, ByteOrder::Cdab, {0x0000, 0x8000}, "2147483648"},
    {ValueType::Int64, ByteOrder::Abcd, {0x8000, 0, 0, 0}, "-9223372036854775808"},
    {ValueType::Int64, ByteOrder::Cdab, {0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF}, "-1"},
    // Modulo 10000: the first register holds the high part, both signed (the library's layout).
    {ValueType::Mod10000, ByteOrder::Cdab, {0x3039, 0x1A85}, "123456789"},
    {ValueType::Mod10000, ByteOrder::Cdab, {0xFFFF, 0xF6D7}, "-12345"},
    {ValueType::Text, ByteOrder::Abcd, {0x4869, 0x2100}, "Hi!"},
    {ValueType::Text, ByteOrder::Badc, {0x6948, 0x0021}, "Hi!"},
};

TEST(ValueCodec, DecodesAndEncodesEveryLayout)
{
    for (const Layout &layout : kLayouts) {
        const ValueCodec codec(layout.type, layout.order);
        SCOPED_TRACE(layout.text);
        EXPECT_EQ(codec.decode(layout.registers.data(), int(layout.registers.size())).text, layout.text);
        std::vector<std::uint16_t> encoded;
        std::string error;
        ASSERT_TRUE(codec.encode(layout.text, encoded, error)) << error;
        EXPECT_EQ(encoded, layout.registers);
    }
}

TEST(ValueCodec, DeviceTextsAndNonNumbersAreMadeSafe)
{
    const ValueCodec text(ValueType::Text, ByteOrder::Cdab);
    const std::uint16_t escaped[] = {0x411B, 0x5C0A, 0x0042};
    const DecodedValue value = text.decode(escaped, 3);
    EXPECT_EQ(value.text, "A\\x1B\\\\\\x0A"); // ends at the first NUL
    EXPECT_EQ(value.kind, DecodedValue::Kind::Text);

    const ValueCodec real(ValueType::Float, ByteOrder::Abcd);
    const std::uint16_t nan[] = {0x7FC0, 0x0000}, negativeInfinity[] = {0xFF80, 0x0000};
    EXPECT_EQ(real.decode(nan, 2).kind, DecodedValue::Kind::NotANumber);
    EXPECT_EQ(real.decode(negativeInfinity, 2).text, "-inf");
}

TEST(ValueCodec, RefusesValuesOutsideTheirType)
{
    const std::pair<ValueType, const char *> refused[] = {
        {ValueType::Int16, "32768"},     {ValueType::Int16, "-32769"},      {ValueType::Uint16, "-1"},
        {ValueType::Uint16, "65536"},    {ValueType::Int32, "2147483648"},  {ValueType::Uint32, "4294967296"},
        {ValueType::Uint64, "-1"},       {ValueType::Int64, "9223372036854775808"},
        {ValueType::Float, "1e39"},      {ValueType::Float, "1.5x"},        {ValueType::Int32, ""},
        {ValueType::Mod10000, "327680000"}, {ValueType::Text, ""}};
    for (const auto &[type, text] : refused) {
        std::vector<std::uint16_t> registers;
        std::string error;
        EXPECT_FALSE(ValueCodec(type, ByteOrder::Abcd).encode(text, registers, error)) << text;
        EXPECT_FALSE(error.empty());
        EXPECT_TRUE(registers.empty()) << text;
    }
    std::vector<std::uint16_t> registers;
    std::string error;
    EXPECT_TRUE(ValueCodec(ValueType::Uint16, ByteOrder::Abcd).encode("0xBEEF", registers, error));
    EXPECT_EQ(registers, std::vector<std::uint16_t>{0xBEEF});
}

} // namespace
