// Bits and 16-bit registers against the peer devices: what the master writes, the device keeps
// and gives back; what the device was set up with, the master reads at the right addresses.
#include "tests/interop/interop_fixture.h"

#include <vector>

namespace {

using device::kUnit;

// One-based reference of a wire address (the master's default addressing).
int ref(int wireAddr) { return wireAddr + 1; }

} // namespace

TEST_P(Interop, CoilsRoundTrip)
{
    ASSERT_EQ(MBUS_SUCCESS, mbusWriteCoil(master, kUnit, ref(10), 1));
    ASSERT_EQ(MBUS_SUCCESS, mbusWriteCoil(master, kUnit, ref(12), 7)); // any non-zero value is ON
    // 19 coils across three packed bytes, the last one partly used.
    std::vector<int> pattern(19);
    for (int i = 0; i < 19; ++i)
        pattern[i] = (i % 3 == 1 || i == 18) ? 1 : 0;
    ASSERT_EQ(MBUS_SUCCESS, mbusForceMultipleCoils(master, kUnit, ref(100), pattern.data(), 19));

    std::vector<int> bits(24, -1);
    ASSERT_EQ(MBUS_SUCCESS, mbusReadCoils(master, kUnit, ref(9), bits.data(), 5));
    EXPECT_EQ((std::vector<int>{0, 1, 0, 1, 0}), std::vector<int>(bits.begin(), bits.begin() + 5));
    ASSERT_EQ(MBUS_SUCCESS, mbusReadCoils(master, kUnit, ref(99), bits.data(), 21));
    EXPECT_EQ(0, bits[0]);
    for (int i = 0; i < 19; ++i)
        EXPECT_EQ(pattern[i], bits[i + 1]) << "coil " << 100 + i;
    EXPECT_EQ(0, bits[20]);

    ASSERT_EQ(MBUS_SUCCESS, mbusWriteCoil(master, kUnit, ref(10), 0));
    ASSERT_EQ(MBUS_SUCCESS, mbusReadCoils(master, kUnit, ref(10), bits.data(), 1));
    EXPECT_EQ(0, bits[0]);
}

TEST_P(Interop, LargestBitBlocks)
{
    // 1968 coils written in one request and 2000 read in one reply: the largest bit frames.
    std::vector<int> written(1968);
    for (int i = 0; i < 1968; ++i)
        written[i] = (i * 7) % 5 < 2 ? 1 : 0;
    ASSERT_EQ(MBUS_SUCCESS, mbusForceMultipleCoils(master, kUnit, ref(0), written.data(), 1968));
    std::vector<int> read(2000, -1);
    ASSERT_EQ(MBUS_SUCCESS, mbusReadCoils(master, kUnit, ref(0), read.data(), 2000));
    for (int i = 0; i < 2000; ++i)
        ASSERT_EQ(i < 1968 ? written[i] : 0, read[i]) << "coil " << i;

    ASSERT_EQ(MBUS_SUCCESS, mbusReadInputDiscretes(master, kUnit, ref(0), read.data(), 2000));
    for (int i = 0; i < 2000; ++i)
        ASSERT_EQ(device::discreteInput(i) ? 1 : 0, read[i]) << "discrete input " << i;
}

TEST_P(Interop, DiscreteInputsAtOddOffsets)
{
    // A block that starts and ends inside packed bytes.
    std::vector<int> bits(13, -1);
    ASSERT_EQ(MBUS_SUCCESS, mbusReadInputDiscretes(master, kUnit, ref(1001), bits.data(), 13));
    for (int i = 0; i < 13; ++i)
        EXPECT_EQ(device::discreteInput(1001 + i) ? 1 : 0, bits[i]) << "discrete input " << 1001 + i;
}

TEST_P(Interop, HoldingRegistersRoundTrip)
{
    ASSERT_EQ(MBUS_SUCCESS, mbusWriteSingleRegister(master, kUnit, ref(5), 0x1234));
    ASSERT_EQ(MBUS_SUCCESS, mbusWriteSingleRegister(master, kUnit, ref(6), static_cast<short>(-2)));
    const short block[] = {1, -1, 0x7FFF, static_cast<short>(0x8000), 0x0102};
    ASSERT_EQ(MBUS_SUCCESS, mbusWriteMultipleRegisters(master, kUnit, ref(20), block, 5));

    short regs[8] = {};
    ASSERT_EQ(MBUS_SUCCESS, mbusReadMultipleRegisters(master, kUnit, ref(4), regs, 4));
    EXPECT_EQ(0, regs[0]);
    EXPECT_EQ(0x1234, regs[1]);
    EXPECT_EQ(-2, regs[2]);
    EXPECT_EQ(0, regs[3]);
    ASSERT_EQ(MBUS_SUCCESS, mbusReadMultipleRegisters(master, kUnit, ref(20), regs, 5));
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(block[i], regs[i]) << "register " << 20 + i;
}

TEST_P(Interop, LargestRegisterBlocks)
{
    // 123 registers written and 125 read: the largest register frames of every framing
    // (an ASCII reply of 125 registers is 511 characters).
    std::vector<short> written(123);
    for (int i = 0; i < 123; ++i)
        written[i] = static_cast<short>(0x9E37 * (i + 1));
    ASSERT_EQ(MBUS_SUCCESS, mbusWriteMultipleRegisters(master, kUnit, ref(300), written.data(), 123));
    std::vector<short> read(125, -1);
    ASSERT_EQ(MBUS_SUCCESS, mbusReadMultipleRegisters(master, kUnit, ref(300), read.data(), 125));
    for (int i = 0; i < 125; ++i)
        ASSERT_EQ(i < 123 ? written[i] : 0, read[i]) << "register " << 300 + i;

    ASSERT_EQ(MBUS_SUCCESS, mbusReadInputRegisters(master, kUnit, ref(875), read.data(), 125));
    for (int i = 0; i < 125; ++i)
        ASSERT_EQ(static_cast<short>(device::inputRegister(875 + i)), read[i]) << "input register " << 875 + i;
}

TEST_P(Interop, MaskWriteIsComputedByTheDevice)
{
    // The device computes (current AND andMask) OR (orMask AND NOT andMask).
    ASSERT_EQ(MBUS_SUCCESS, mbusWriteSingleRegister(master, kUnit, ref(40), 0x0012));
    ASSERT_EQ(MBUS_SUCCESS, mbusMaskWriteRegister(master, kUnit, ref(40), 0x00F2, 0x0025));
    short reg = 0;
    ASSERT_EQ(MBUS_SUCCESS, mbusReadMultipleRegisters(master, kUnit, ref(40), &reg, 1));
    EXPECT_EQ(0x0017, reg);

    ASSERT_EQ(MBUS_SUCCESS, mbusWriteSingleRegister(master, kUnit, ref(41), static_cast<short>(0xFFFF)));
    ASSERT_EQ(MBUS_SUCCESS, mbusMaskWriteRegister(master, kUnit, ref(41), static_cast<short>(0xFF00), 0x0000));
    ASSERT_EQ(MBUS_SUCCESS, mbusReadMultipleRegisters(master, kUnit, ref(41), &reg, 1));
    EXPECT_EQ(static_cast<short>(0xFF00), reg);
}

TEST_P(Interop, ReadWriteRegistersWritesBeforeReading)
{
    const short preset[] = {11, 12, 13, 14};
    ASSERT_EQ(MBUS_SUCCESS, mbusWriteMultipleRegisters(master, kUnit, ref(60), preset, 4));
    // The read window overlaps the written one: the reply must already show the new values.
    const short written[] = {-21, 22};
    short read[4] = {};
    ASSERT_EQ(MBUS_SUCCESS, mbusReadWriteRegisters(master, kUnit, ref(60), read, 4, ref(61), written, 2));
    EXPECT_EQ(11, read[0]);
    EXPECT_EQ(-21, read[1]);
    EXPECT_EQ(22, read[2]);
    EXPECT_EQ(14, read[3]);

    // The largest combined request: 121 registers written, 125 read.
    std::vector<short> many(121);
    for (int i = 0; i < 121; ++i)
        many[i] = static_cast<short>(1000 + i);
    std::vector<short> back(125, -1);
    ASSERT_EQ(MBUS_SUCCESS, mbusReadWriteRegisters(master, kUnit, ref(500), back.data(), 125, ref(502), many.data(), 121));
    EXPECT_EQ(0, back[0]);
    EXPECT_EQ(0, back[1]);
    for (int i = 0; i < 121; ++i)
        ASSERT_EQ(many[i], back[i + 2]) << "register " << 502 + i;
    EXPECT_EQ(0, back[123]);
}

TEST_P(Interop, OneBasedAndZeroBasedReferences)
{
    short reg = 0;
    // Default: reference 1 is wire address 0.
    ASSERT_EQ(MBUS_SUCCESS, mbusReadInputRegisters(master, kUnit, 1, &reg, 1));
    EXPECT_EQ(static_cast<short>(device::inputRegister(0)), reg);
    ASSERT_EQ(MBUS_SUCCESS, mbusReadInputRegisters(master, kUnit, 1000, &reg, 1));
    EXPECT_EQ(static_cast<short>(device::inputRegister(999)), reg);
    ASSERT_EQ(MBUS_SUCCESS, mbusWriteSingleRegister(master, kUnit, 71, 0x0071)); // wire 70

    ASSERT_EQ(MBUS_SUCCESS, mbusConfigureZeroBasedAddressingForSlave(master, kUnit));
    ASSERT_EQ(MBUS_SUCCESS, mbusReadInputRegisters(master, kUnit, 0, &reg, 1));
    EXPECT_EQ(static_cast<short>(device::inputRegister(0)), reg);
    ASSERT_EQ(MBUS_SUCCESS, mbusReadInputRegisters(master, kUnit, 999, &reg, 1));
    EXPECT_EQ(static_cast<short>(device::inputRegister(999)), reg);
    ASSERT_EQ(MBUS_SUCCESS, mbusReadMultipleRegisters(master, kUnit, 70, &reg, 1));
    EXPECT_EQ(0x0071, reg);
    int bits[2] = {-1, -1};
    ASSERT_EQ(MBUS_SUCCESS, mbusWriteCoil(master, kUnit, 30, 1)); // wire 30
    ASSERT_EQ(MBUS_SUCCESS, mbusConfigureOneBasedAddressingForSlave(master, kUnit));
    ASSERT_EQ(MBUS_SUCCESS, mbusReadCoils(master, kUnit, 30, bits, 2)); // wire 29 and 30
    EXPECT_EQ(0, bits[0]);
    EXPECT_EQ(1, bits[1]);

    // The all-slaves form reaches the same option byte.
    mbusConfigureZeroBasedAddressing(master);
    ASSERT_EQ(MBUS_SUCCESS, mbusReadInputDiscretes(master, kUnit, 3, bits, 2)); // wire 3 and 4
    EXPECT_EQ(1, bits[0]);
    EXPECT_EQ(0, bits[1]);
}
