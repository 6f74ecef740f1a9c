// Every data-access function against the simulated device: what the master writes arrives in
// the device's tables, and what the tables hold comes back.
#include "tcp_fixture.h"

#include <cstring>
#include <vector>

using TcpDataAccess = TcpMasterTest;

TEST_F(TcpDataAccess, CoilsAndDiscreteInputs)
{
    open();
    std::vector<int> pattern(2000);
    for (int i = 0; i < 2000; ++i)
        pattern[i] = (i % 3 == 0) ? 1 : 0;
    ASSERT_EQ(MBUS_SUCCESS, master.forceMultipleCoils(1, 101, pattern.data(), 1968));
    EXPECT_TRUE(device.coil(100));
    EXPECT_FALSE(device.coil(101));
    ASSERT_EQ(MBUS_SUCCESS, master.writeCoil(1, 102, 1));
    EXPECT_TRUE(device.coil(101));

    std::vector<int> back(2000, 9);
    ASSERT_EQ(MBUS_SUCCESS, master.readCoils(1, 101, back.data(), 2000));
    for (int i = 0; i < 2000; ++i) {
        int expected = i == 1 ? 1 : (i < 1968 ? pattern[i] : 0); // coil 102 was switched on alone
        ASSERT_EQ(expected, back[i]) << i;
    }

    for (int i = 0; i < 16; ++i)
        device.setDiscreteInput(static_cast<std::uint16_t>(200 + i), i % 2 == 1);
    int inputs[16];
    ASSERT_EQ(MBUS_SUCCESS, master.readInputDiscretes(1, 201, inputs, 16));
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(i % 2, inputs[i]) << i;
}

TEST_F(TcpDataAccess, SixteenBitRegisters)
{
    open();
    std::vector<short> regs(123);
    for (int i = 0; i < 123; ++i)
        regs[i] = static_cast<short>(i * 257 - 1000);
    ASSERT_EQ(MBUS_SUCCESS, master.writeMultipleRegisters(1, 1000, regs.data(), 123));
    EXPECT_EQ(static_cast<std::uint16_t>(-1000), device.holdingRegister(999));

    std::vector<short> back(125);
    ASSERT_EQ(MBUS_SUCCESS, master.readMultipleRegisters(1, 1000, back.data(), 125));
    for (int i = 0; i < 123; ++i)
        ASSERT_EQ(regs[i], back[i]) << i;

    ASSERT_EQ(MBUS_SUCCESS, master.writeSingleRegister(1, 7, -2));
    EXPECT_EQ(0xFFFE, device.holdingRegister(6));

    device.setHoldingRegister(4, 0x0012);
    ASSERT_EQ(MBUS_SUCCESS, master.maskWriteRegister(1, 5, 0x00F2, 0x0025));
    EXPECT_EQ(0x0017, device.holdingRegister(4)); // (0x12 AND 0xF2) OR (0x25 AND NOT 0xF2)

    device.setInputRegister(0, 0x8001);
    short input[1];
    ASSERT_EQ(MBUS_SUCCESS, master.readInputRegisters(1, 1, input, 1));
    EXPECT_EQ(static_cast<short>(0x8001), input[0]);

    const short write[2] = {11, 12};
    short read[3];
    device.setHoldingRegister(50, 1);
    ASSERT_EQ(MBUS_SUCCESS, master.readWriteRegisters(1, 50, read, 3, 51, write, 2));
    EXPECT_EQ(11, device.holdingRegister(50));
    EXPECT_EQ(12, device.holdingRegister(51));
    EXPECT_EQ(11, read[1]); // the write happens before the read
}

TEST_F(TcpDataAccess, RegisterPairsInBothWordOrders)
{
    open();
    const int ints[3] = {0x12345678, -2, 2147483647};
    const float floats[2] = {1.5f, -1e-3f};
    const int mods[2] = {123456789, -12345};
    for (bool bigEndian : {false, true}) {
        if (bigEndian) {
            master.configureBigEndianInts(1);
            master.configureBigEndianFloats(1);
        }
        int intsBack[3];
        float floatsBack[2];
        int modsBack[2];
        ASSERT_EQ(MBUS_SUCCESS, master.writeMultipleLongInts(1, 1, ints, 3));
        ASSERT_EQ(MBUS_SUCCESS, master.readMultipleLongInts(1, 1, intsBack, 3));
        ASSERT_EQ(MBUS_SUCCESS, master.writeMultipleFloats(1, 11, floats, 2));
        ASSERT_EQ(MBUS_SUCCESS, master.readMultipleFloats(1, 11, floatsBack, 2));
        ASSERT_EQ(MBUS_SUCCESS, master.writeMultipleMod10000(1, 21, mods, 2));
        ASSERT_EQ(MBUS_SUCCESS, master.readMultipleMod10000(1, 21, modsBack, 2));
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(ints[i], intsBack[i]);
        EXPECT_EQ(floats[0], floatsBack[0]);
        EXPECT_EQ(floats[1], floatsBack[1]);
        EXPECT_EQ(mods[0], modsBack[0]);
        EXPECT_EQ(mods[1], modsBack[1]);
        // The first register of a pair holds the low word unless the slave says otherwise.
        EXPECT_EQ(bigEndian ? 0x1234 : 0x5678, device.holdingRegister(0));
    }
}

TEST_F(TcpDataAccess, InputRegisterPairs)
{
    open();
    device.setInputRegister(0, 0x0000);
    device.setInputRegister(1, 0x3F80);
    device.setInputRegister(2, 0x0001);
    device.setInputRegister(3, 0x0002);
    float number[1];
    int value[1];
    ASSERT_EQ(MBUS_SUCCESS, master.readInputFloats(1, 1, number, 1));
    EXPECT_EQ(1.0f, number[0]);
    ASSERT_EQ(MBUS_SUCCESS, master.readInputLongInts(1, 3, value, 1));
    EXPECT_EQ(0x00020001, value[0]);
    ASSERT_EQ(MBUS_SUCCESS, master.readInputMod10000(1, 3, value, 1));
    EXPECT_EQ(10002, value[0]);
}

TEST_F(TcpDataAccess, DiagnosticsAndPassThrough)
{
    open();
    unsigned char query[250];
    unsigned char echo[250];
    for (int i = 0; i < 250; ++i)
        query[i] = static_cast<unsigned char>(255 - i);
    ASSERT_EQ(MBUS_SUCCESS, master.returnQueryData(1, query, echo, 250));
    EXPECT_EQ(0, std::memcmp(query, echo, 250));
    EXPECT_EQ(MBUS_SUCCESS, master.restartCommunicationsOption(1, 1));

    // Function 3 through the pass-through: two registers from wire address 0.
    device.setHoldingRegister(0, 0xBEEF);
    const unsigned char request[] = {0x00, 0x00, 0x00, 0x02};
    unsigned char reply[16];
    std::size_t length = sizeof reply;
    ASSERT_EQ(MBUS_SUCCESS, master.customFunction(1, 3, request, sizeof request, reply, &length));
    EXPECT_EQ(5u, length);
    EXPECT_EQ(4, reply[0]);
    EXPECT_EQ(0xBE, reply[1]);
    EXPECT_EQ(0xEF, reply[2]);

    length = sizeof reply;
    EXPECT_EQ(MBUS_ILLEGAL_FUNCTION_RESPONSE, master.customFunction(1, 65, request, 0, reply, &length));
    EXPECT_EQ(0u, length);
}

TEST_F(TcpDataAccess, DeviceExceptionsForBadAddresses)
{
    open();
    master.configureZeroBasedAddressing(1);
    short regs[2];
    // Two registers from 65535 run past the end of the table.
    EXPECT_EQ(MBUS_ILLEGAL_ADDRESS_RESPONSE, master.readMultipleRegisters(1, 65535, regs, 2));
    EXPECT_EQ(0, regs[0]);
}
