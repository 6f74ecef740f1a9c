// The flat interface: null handles, family checks and forwarding.
#include <gtest/gtest.h>

#include "mbus.h"

TEST(FlatApi, NullHandleNeverTouchesMemory)
{
    MbusHandle none = nullptr;
    int bits[2];
    short regs[2];
    int ints[2];
    float floats[2];
    unsigned char bytes[4];
    char text[256];
    int length = 4;

    // Operations that return a result code.
    const int results[] = {
        mbusReadCoils(none, 1, 1, bits, 2),
        mbusReadInputDiscretes(none, 1, 1, bits, 2),
        mbusWriteCoil(none, 1, 1, 1),
        mbusForceMultipleCoils(none, 1, 1, bits, 2),
        mbusReadMultipleRegisters(none, 1, 1, regs, 2),
        mbusReadInputRegisters(none, 1, 1, regs, 2),
        mbusWriteSingleRegister(none, 1, 1, 1),
        mbusWriteMultipleRegisters(none, 1, 1, regs, 2),
        mbusMaskWriteRegister(none, 1, 1, 1, 1),
        mbusReadWriteRegisters(none, 1, 1, regs, 1, 1, regs, 1),
        mbusReadMultipleLongInts(none, 1, 1, ints, 1),
        mbusReadInputLongInts(none, 1, 1, ints, 1),
        mbusReadMultipleFloats(none, 1, 1, floats, 1),
        mbusReadInputFloats(none, 1, 1, floats, 1),
        mbusReadMultipleMod10000(none, 1, 1, ints, 1),
        mbusReadInputMod10000(none, 1, 1, ints, 1),
        mbusWriteMultipleLongInts(none, 1, 1, ints, 1),
        mbusWriteMultipleFloats(none, 1, 1, floats, 1),
        mbusWriteMultipleMod10000(none, 1, 1, ints, 1),
        mbusReadExceptionStatus(none, 1, bytes),
        mbusReturnQueryData(none, 1, bytes, bytes, 2),
        mbusRestartCommunicationsOption(none, 1, 0),
        mbusCustomFunction(none, 1, 65, bytes, 1, bytes, &length),
        mbusSetTimeout(none, 100),
        mbusSetPollDelay(none, 10),
        mbusSetRetryCnt(none, 1),
        mbusConfigureOneBasedAddressingForSlave(none, 1),
        mbusConfigureZeroBasedAddressingForSlave(none, 1),
        mbusConfigureLittleEndianIntsForSlave(none, 1),
        mbusConfigureBigEndianIntsForSlave(none, 1),
        mbusConfigureLittleEndianFloatsForSlave(none, 1),
        mbusConfigureBigEndianFloatsForSlave(none, 1),
        mbusConfigure32BitRegisterModeForSlave(none, 1),
        mbusConfigureStandardRegisterModeForSlave(none, 1),
        mbusOpenConnection(none, "127.0.0.1"),
        mbusSetPort(none, 502),
        mbusSendAsciiCommand(none, "X", text),
    };
    for (int result : results)
        EXPECT_EQ(MBUS_ILLEGAL_STATE, result);

    EXPECT_EQ(0, mbusGetTimeout(none));
    EXPECT_EQ(0, mbusGetPollDelay(none));
    EXPECT_EQ(0, mbusGetRetryCnt(none));
    EXPECT_EQ(0, mbusGetTotalCounter(none));
    EXPECT_EQ(0, mbusGetSuccessCounter(none));
    EXPECT_EQ(0, mbusGetPort(none));
    EXPECT_EQ(0, mbusIsOpen(none));

    mbusConfigureOneBasedAddressing(none);
    mbusConfigureZeroBasedAddressing(none);
    mbusConfigureLittleEndianInts(none);
    mbusConfigureBigEndianInts(none);
    mbusConfigureLittleEndianFloats(none);
    mbusConfigureBigEndianFloats(none);
    mbusConfigure32BitRegisterMode(none);
    mbusConfigureStandardRegisterMode(none);
    mbusResetTotalCounter(none);
    mbusResetSuccessCounter(none);
    mbusCloseConnection(none);
    mbusDestroy(none);
    EXPECT_EQ(4, length);
}

TEST(FlatApi, TcpMasterSettingsThroughTheHandle)
{
    MbusHandle master = mbusNewTcpMaster();
    ASSERT_NE(nullptr, master);
    EXPECT_EQ(0, mbusIsOpen(master));
    EXPECT_EQ(502, mbusGetPort(master));
    EXPECT_EQ(MBUS_SUCCESS, mbusSetPort(master, 1502));
    EXPECT_EQ(1502, mbusGetPort(master));
    EXPECT_EQ(MBUS_SUCCESS, mbusSetTimeout(master, 250));
    EXPECT_EQ(250, mbusGetTimeout(master));
    EXPECT_EQ(MBUS_SUCCESS, mbusSetRetryCnt(master, 3));
    EXPECT_EQ(3, mbusGetRetryCnt(master));
    EXPECT_EQ(MBUS_ILLEGAL_ARGUMENT, mbusConfigureBigEndianIntsForSlave(master, 256));
    EXPECT_EQ(MBUS_SUCCESS, mbusConfigureBigEndianIntsForSlave(master, 255));
    int length = -1;
    unsigned char bytes[4] = {};
    EXPECT_EQ(MBUS_ILLEGAL_ARGUMENT, mbusCustomFunction(master, 1, 65, bytes, 1, bytes, &length));
    EXPECT_EQ(MBUS_ILLEGAL_ARGUMENT, mbusCustomFunction(master, 1, 65, bytes, -1, bytes, &length));
    EXPECT_EQ(MBUS_ILLEGAL_ARGUMENT, mbusCustomFunction(master, 1, 65, bytes, 1, bytes, nullptr));
    short regs[1] = {9};
    EXPECT_EQ(MBUS_ILLEGAL_STATE, mbusReadMultipleRegisters(master, 1, 1, regs, 1)); // closed
    EXPECT_EQ(0, regs[0]);
    EXPECT_EQ(0, mbusGetTotalCounter(master)); // no attempt on a closed master
    mbusDestroy(master);
}
