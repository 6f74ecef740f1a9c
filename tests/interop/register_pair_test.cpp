// 32-bit integers, floats and modulo-10000 values in register pairs against the peer devices.
// Each round trip is also checked register by register, so that a word-order fault shared by
// the master's writing and reading cannot hide behind a matching read-back.
#include "tests/interop/interop_fixture.h"

#include <cstdint>
#include <cstring>
#include <limits>

namespace {

using device::kUnit;

int ref(int wireAddr) { return wireAddr + 1; }

std::uint32_t bitsOf(float f)
{
    std::uint32_t u;
    std::memcpy(&u, &f, sizeof u);
    return u;
}

float floatOf(std::uint32_t u)
{
    float f;
    std::memcpy(&f, &u, sizeof f);
    return f;
}

std::uint16_t lowWord(std::uint32_t v) { return static_cast<std::uint16_t>(v & 0xFFFF); }
std::uint16_t highWord(std::uint32_t v) { return static_cast<std::uint16_t>(v >> 16); }

// The value of the register pair (r0, r1) at a wire address of the device's input registers.
std::uint32_t inputPair(int wireAddr, bool highWordFirst)
{
    std::uint32_t r0 = device::inputRegister(wireAddr);
    std::uint32_t r1 = device::inputRegister(wireAddr + 1);
    return highWordFirst ? (r0 << 16 | r1) : (r1 << 16 | r0);
}

} // namespace

TEST_P(Interop, LongIntsRoundTripInBothWordOrders)
{
    const int values[] = {0x12345678, -1, std::numeric_limits<int>::min(), std::numeric_limits<int>::max(), 65536, -65536};
    constexpr int kCount = 6;
    for (bool highFirst : {false, true}) {
        SCOPED_TRACE(highFirst ? "high word first" : "low word first");
        ASSERT_EQ(MBUS_SUCCESS, highFirst ? mbusConfigureBigEndianIntsForSlave(master, kUnit)
                                          : mbusConfigureLittleEndianIntsForSlave(master, kUnit));
        const int start = highFirst ? 120 : 100;
        ASSERT_EQ(MBUS_SUCCESS, mbusWriteMultipleLongInts(master, kUnit, ref(start), values, kCount));

        short regs[2 * kCount] = {};
        ASSERT_EQ(MBUS_SUCCESS, mbusReadMultipleRegisters(master, kUnit, ref(start), regs, 2 * kCount));
        for (int i = 0; i < kCount; ++i) {
            const auto v = static_cast<std::uint32_t>(values[i]);
            EXPECT_EQ(highFirst ? highWord(v) : lowWord(v), static_cast<std::uint16_t>(regs[2 * i])) << i;
            EXPECT_EQ(highFirst ? lowWord(v) : highWord(v), static_cast<std::uint16_t>(regs[2 * i + 1])) << i;
        }
        int back[kCount] = {};
        ASSERT_EQ(MBUS_SUCCESS, mbusReadMultipleLongInts(master, kUnit, ref(start), back, kCount));
        for (int i = 0; i < kCount; ++i)
            EXPECT_EQ(values[i], back[i]) << i;
    }
    // Zero-based references: wire address 130 directly.
    ASSERT_EQ(MBUS_SUCCESS, mbusConfigureZeroBasedAddressingForSlave(master, kUnit));
    ASSERT_EQ(MBUS_SUCCESS, mbusWriteMultipleLongInts(master, kUnit, 130, values, 1));
    ASSERT_EQ(MBUS_SUCCESS, mbusConfigureOneBasedAddressingForSlave(master, kUnit));
    int viaOneBased = 0;
    ASSERT_EQ(MBUS_SUCCESS, mbusReadMultipleLongInts(master, kUnit, ref(130), &viaOneBased, 1));
    EXPECT_EQ(values[0], viaOneBased);

    // The integer flag leaves floats alone: the float order is still low word first.
    const float one = 1.0f;
    ASSERT_EQ(MBUS_SUCCESS, mbusWriteMultipleFloats(master, kUnit, ref(140), &one, 1));
    short regs[2] = {};
    ASSERT_EQ(MBUS_SUCCESS, mbusReadMultipleRegisters(master, kUnit, ref(140), regs, 2));
    EXPECT_EQ(0x0000, regs[0]);
    EXPECT_EQ(0x3F80, regs[1]);
}

TEST_P(Interop, FloatsRoundTripInBothWordOrders)
{
    const float values[] = {1.0f, -2.5f, 3.14159274f, std::numeric_limits<float>::max(),
                            std::numeric_limits<float>::denorm_min(), -0.0f, std::numeric_limits<float>::infinity(),
                            std::numeric_limits<float>::quiet_NaN()};
    constexpr int kCount = 8;
    for (bool highFirst : {false, true}) {
        SCOPED_TRACE(highFirst ? "high word first" : "low word first");
        ASSERT_EQ(MBUS_SUCCESS, highFirst ? mbusConfigureBigEndianFloatsForSlave(master, kUnit)
                                          : mbusConfigureLittleEndianFloatsForSlave(master, kUnit));
        const int start = highFirst ? 220 : 200;
        ASSERT_EQ(MBUS_SUCCESS, mbusWriteMultipleFloats(master, kUnit, ref(start), values, kCount));

        short regs[2 * kCount] = {};
        ASSERT_EQ(MBUS_SUCCESS, mbusReadMultipleRegisters(master, kUnit, ref(start), regs, 2 * kCount));
        for (int i = 0; i < kCount; ++i) {
            const std::uint32_t v = bitsOf(values[i]);
            EXPECT_EQ(highFirst ? highWord(v) : lowWord(v), static_cast<std::uint16_t>(regs[2 * i])) << i;
            EXPECT_EQ(highFirst ? lowWord(v) : highWord(v), static_cast<std::uint16_t>(regs[2 * i + 1])) << i;
        }
        // Compared bit for bit: NaN and the sign of zero must survive too.
        float back[kCount] = {};
        ASSERT_EQ(MBUS_SUCCESS, mbusReadMultipleFloats(master, kUnit, ref(start), back, kCount));
        for (int i = 0; i < kCount; ++i)
            EXPECT_EQ(bitsOf(values[i]), bitsOf(back[i])) << i;
    }
}

TEST_P(Interop, Mod10000RoundTrip)
{
    // Largest magnitude: 32767 * 10000 + 9999, with both registers as signed 16-bit numbers.
    const int values[] = {123456789, -12345, 0, 9999, 10000, -1, 327679999, -327679999};
    const short expectedRegs[] = {12345, 6789, -1, -2345, 0, 0, 0, 9999, 1, 0, 0, -1, 32767, 9999, -32767, -9999};
    constexpr int kCount = 8;
    // The word-order flags do not apply to this form.
    ASSERT_EQ(MBUS_SUCCESS, mbusConfigureBigEndianIntsForSlave(master, kUnit));
    ASSERT_EQ(MBUS_SUCCESS, mbusWriteMultipleMod10000(master, kUnit, ref(250), values, kCount));
    short regs[2 * kCount] = {};
    ASSERT_EQ(MBUS_SUCCESS, mbusReadMultipleRegisters(master, kUnit, ref(250), regs, 2 * kCount));
    for (int i = 0; i < 2 * kCount; ++i)
        EXPECT_EQ(expectedRegs[i], regs[i]) << "register " << 250 + i;
    int back[kCount] = {};
    ASSERT_EQ(MBUS_SUCCESS, mbusReadMultipleMod10000(master, kUnit, ref(250), back, kCount));
    for (int i = 0; i < kCount; ++i)
        EXPECT_EQ(values[i], back[i]) << i;
}

TEST_P(Interop, LargestPairBlocks)
{
    // 61 values written (122 registers) and 62 read (124 registers).
    int written[61];
    for (int i = 0; i < 61; ++i)
        written[i] = (i - 30) * 0x01020304;
    ASSERT_EQ(MBUS_SUCCESS, mbusWriteMultipleLongInts(master, kUnit, ref(600), written, 61));
    int back[62];
    ASSERT_EQ(MBUS_SUCCESS, mbusReadMultipleLongInts(master, kUnit, ref(600), back, 62));
    for (int i = 0; i < 61; ++i)
        EXPECT_EQ(written[i], back[i]) << i;
    EXPECT_EQ(0, back[61]);
}

TEST_P(Interop, InputRegisterPairsFromTheDeviceTable)
{
    // Wire addresses 54..57: registers on both sides of 0x8000, so that signed halves show.
    constexpr int kStart = 54;
    constexpr int kCount = 2;
    int ints[kCount] = {};
    float floats[kCount] = {};
    for (bool highFirst : {false, true}) {
        SCOPED_TRACE(highFirst ? "high word first" : "low word first");
        if (highFirst) {
            ASSERT_EQ(MBUS_SUCCESS, mbusConfigureBigEndianIntsForSlave(master, kUnit));
            ASSERT_EQ(MBUS_SUCCESS, mbusConfigureBigEndianFloatsForSlave(master, kUnit));
        }
        ASSERT_EQ(MBUS_SUCCESS, mbusReadInputLongInts(master, kUnit, ref(kStart), ints, kCount));
        ASSERT_EQ(MBUS_SUCCESS, mbusReadInputFloats(master, kUnit, ref(kStart), floats, kCount));
        for (int i = 0; i < kCount; ++i) {
            const std::uint32_t pair = inputPair(kStart + 2 * i, highFirst);
            EXPECT_EQ(static_cast<int>(pair), ints[i]) << i;
            EXPECT_EQ(pair, bitsOf(floats[i])) << i;
        }
    }
    int mod[kCount] = {};
    ASSERT_EQ(MBUS_SUCCESS, mbusReadInputMod10000(master, kUnit, ref(kStart), mod, kCount));
    for (int i = 0; i < kCount; ++i) {
        const int r0 = static_cast<std::int16_t>(device::inputRegister(kStart + 2 * i));
        const int r1 = static_cast<std::int16_t>(device::inputRegister(kStart + 2 * i + 1));
        EXPECT_EQ(10000 * r0 + r1, mod[i]) << i;
    }
    // The pair at 54 is 0x7ED6, 0x80D9: the second register is negative as a 16-bit number.
    EXPECT_EQ(10000 * 0x7ED6 + static_cast<std::int16_t>(0x80D9), mod[0]);
    EXPECT_EQ(floatOf(0x7ED680D9u), floats[0]);

    // Zero-based references name the same pairs by their wire addresses.
    ASSERT_EQ(MBUS_SUCCESS, mbusConfigureZeroBasedAddressingForSlave(master, kUnit));
    int again[kCount] = {};
    ASSERT_EQ(MBUS_SUCCESS, mbusReadInputLongInts(master, kUnit, kStart, again, kCount));
    EXPECT_EQ(ints[0], again[0]);
    EXPECT_EQ(ints[1], again[1]);
    ASSERT_EQ(MBUS_SUCCESS, mbusReadInputMod10000(master, kUnit, kStart, again, kCount));
    EXPECT_EQ(mod[0], again[0]);
    EXPECT_EQ(mod[1], again[1]);
}
