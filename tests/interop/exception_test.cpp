// Exception responses produced by the peer devices themselves, and the master's state after them.
#include "tests/interop/interop_fixture.h"

#include <vector>

namespace {

using device::kUnit;

int ref(int wireAddr) { return wireAddr + 1; }

} // namespace

TEST_P(Interop, IllegalDataAddressFromEveryFunction)
{
    // Tables end at wire address 1999 (bits) and 999 (registers); blocks that straddle the end
    // are refused as a whole.
    std::vector<int> bits(8, -1);
    EXPECT_EQ(MBUS_ILLEGAL_ADDRESS_RESPONSE, mbusReadCoils(master, kUnit, ref(1999), bits.data(), 2));
    EXPECT_EQ(0, bits[0]); // cleared, not left as it was
    EXPECT_EQ(0, bits[1]);
    EXPECT_EQ(MBUS_ILLEGAL_ADDRESS_RESPONSE, mbusReadInputDiscretes(master, kUnit, ref(2000), bits.data(), 1));
    EXPECT_EQ(MBUS_ILLEGAL_ADDRESS_RESPONSE, mbusWriteCoil(master, kUnit, ref(2000), 1));
    const std::vector<int> on(8, 1);
    EXPECT_EQ(MBUS_ILLEGAL_ADDRESS_RESPONSE, mbusForceMultipleCoils(master, kUnit, ref(1995), on.data(), 8));

    short regs[4] = {-1, -1, -1, -1};
    EXPECT_EQ(MBUS_ILLEGAL_ADDRESS_RESPONSE, mbusReadMultipleRegisters(master, kUnit, ref(999), regs, 2));
    EXPECT_EQ(0, regs[0]);
    EXPECT_EQ(0, regs[1]);
    EXPECT_EQ(MBUS_ILLEGAL_ADDRESS_RESPONSE, mbusReadInputRegisters(master, kUnit, ref(1000), regs, 1));
    EXPECT_EQ(MBUS_ILLEGAL_ADDRESS_RESPONSE, mbusWriteSingleRegister(master, kUnit, ref(1000), 1));
    const short three[] = {1, 2, 3};
    EXPECT_EQ(MBUS_ILLEGAL_ADDRESS_RESPONSE, mbusWriteMultipleRegisters(master, kUnit, ref(998), three, 3));
    EXPECT_EQ(MBUS_ILLEGAL_ADDRESS_RESPONSE, mbusMaskWriteRegister(master, kUnit, ref(1000), 0, 1));
    EXPECT_EQ(MBUS_ILLEGAL_ADDRESS_RESPONSE, mbusReadWriteRegisters(master, kUnit, ref(0), regs, 1, ref(999), three, 2));
    EXPECT_EQ(MBUS_ILLEGAL_ADDRESS_RESPONSE, mbusReadWriteRegisters(master, kUnit, ref(999), regs, 2, ref(0), three, 1));

    int ints[2] = {-1, -1};
    float floats[1] = {-1.0f};
    EXPECT_EQ(MBUS_ILLEGAL_ADDRESS_RESPONSE, mbusReadMultipleLongInts(master, kUnit, ref(997), ints, 2));
    EXPECT_EQ(0, ints[0]);
    EXPECT_EQ(0, ints[1]);
    EXPECT_EQ(MBUS_ILLEGAL_ADDRESS_RESPONSE, mbusReadInputFloats(master, kUnit, ref(999), floats, 1));
    EXPECT_EQ(0.0f, floats[0]);
    EXPECT_EQ(MBUS_ILLEGAL_ADDRESS_RESPONSE, mbusReadInputMod10000(master, kUnit, ref(999), ints, 1));
    EXPECT_EQ(MBUS_ILLEGAL_ADDRESS_RESPONSE, mbusWriteMultipleFloats(master, kUnit, ref(999), floats, 1));
    EXPECT_EQ(MBUS_ILLEGAL_ADDRESS_RESPONSE, mbusWriteMultipleMod10000(master, kUnit, ref(999), ints, 1));

    // Nothing of the refused writes reached the tables; the last addresses are in range.
    ASSERT_EQ(MBUS_SUCCESS, mbusReadMultipleRegisters(master, kUnit, ref(996), regs, 4));
    EXPECT_EQ((std::vector<short>{0, 0, 0, 0}), std::vector<short>(regs, regs + 4));
    ASSERT_EQ(MBUS_SUCCESS, mbusReadCoils(master, kUnit, ref(1992), bits.data(), 8));
    EXPECT_EQ(std::vector<int>(8, 0), bits);
}

TEST_P(Interop, ExceptionsAreAnswersNotRetried)
{
    // Retries are allowed, but an exception is an answer: one attempt each.
    ASSERT_NO_FATAL_FAILURE(open(kTimeoutMs, 3));
    short reg = 0;
    EXPECT_EQ(MBUS_ILLEGAL_ADDRESS_RESPONSE, mbusReadMultipleRegisters(master, kUnit, ref(1000), &reg, 1));
    EXPECT_EQ(MBUS_SUCCESS, mbusReadMultipleRegisters(master, kUnit, ref(0), &reg, 1));
    EXPECT_EQ(2, mbusGetTotalCounter(master));
    EXPECT_EQ(1, mbusGetSuccessCounter(master));
}

TEST_P(Interop, IllegalFunction)
{
    // 0x41 is a user-defined function code that neither device implements.
    const unsigned char data[] = {0x00};
    unsigned char reply[8] = {0xAA, 0xAA};
    int replyLen = 8;
    EXPECT_EQ(MBUS_ILLEGAL_FUNCTION_RESPONSE,
              mbusCustomFunction(master, kUnit, 0x41, data, profile().unknownFunctionDataLen, reply, &replyLen));
    EXPECT_EQ(0, replyLen);
    EXPECT_EQ(0, reply[0]);

    // The device still answers afterwards.
    short reg = 0;
    ASSERT_EQ(MBUS_SUCCESS, mbusReadInputRegisters(master, kUnit, ref(1), &reg, 1));
    EXPECT_EQ(static_cast<short>(device::inputRegister(1)), reg);
}

TEST_P(Interop, IllegalDataValue)
{
    // The master refuses 126 registers itself; the pass-through lets the device judge them.
    const unsigned char tooMany[] = {0x00, 0x00, 0x00, 126};
    const unsigned char none[] = {0x00, 0x00, 0x00, 0};
    unsigned char reply[252] = {};
    int replyLen = 252;
    EXPECT_EQ(MBUS_ILLEGAL_VALUE_RESPONSE, mbusCustomFunction(master, kUnit, 3, tooMany, 4, reply, &replyLen));
    EXPECT_EQ(0, replyLen);
    replyLen = 1;
    EXPECT_EQ(MBUS_ILLEGAL_VALUE_RESPONSE, mbusCustomFunction(master, kUnit, 4, none, 4, reply, &replyLen));
    EXPECT_EQ(0, replyLen);
}

TEST_P(Interop, PassThroughOfAStandardFunction)
{
    // Function code 4 through the pass-through: the reply data exactly as the device sent it.
    const unsigned char request[] = {0x00, 0x00, 0x00, 0x02};
    unsigned char reply[5] = {};
    int replyLen = 5;
    ASSERT_EQ(MBUS_SUCCESS, mbusCustomFunction(master, kUnit, 4, request, 4, reply, &replyLen));
    ASSERT_EQ(5, replyLen);
    const unsigned char expected[] = {4, 0x12, 0x34, 0x14, 0x37};
    EXPECT_EQ(std::vector<unsigned char>(expected, expected + 5), std::vector<unsigned char>(reply, reply + 5));
}
