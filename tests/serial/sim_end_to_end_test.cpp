// Every data-access function through each serial master against the device simulator on a
// pseudo terminal: the library and the simulator share no framing code.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "mbus.h"
#include "serial/ascii_master_protocol.h"
#include "serial/elam_master_protocol.h"
#include "serial/rtu_master_protocol.h"
#include "sim/serial_device.h"

using namespace mbus;

namespace {

template <class MasterType, sim::SerialFraming kFraming>
struct Family {
    using Master = MasterType;
    static constexpr sim::SerialFraming framing = kFraming;
};

using Families = ::testing::Types<Family<MbusRtuMasterProtocol, sim::SerialFraming::Rtu>,
                                  Family<MbusAsciiMasterProtocol, sim::SerialFraming::Ascii>,
                                  Family<MbusElamMasterProtocol, sim::SerialFraming::ExtendedRtu>>;

template <class F>
class SerialMasterWithSimulator : public ::testing::Test {
protected:
    sim::SerialDevice device;
    typename F::Master master;

    void SetUp() override
    {
        std::string path = device.start(F::framing);
        ASSERT_FALSE(path.empty());
        ASSERT_EQ(master.setTimeout(2000), MBUS_SUCCESS);
        ASSERT_EQ(master.openSerialPort(path.c_str(), 115200, 8, 1, MBUS_PARITY_NONE), MBUS_SUCCESS);
    }

    // Every data-access function once against one slave address.
    void exerciseEveryFunction(int slave)
    {
        SCOPED_TRACE("slave " + std::to_string(slave));
        for (int i = 0; i < 10; ++i) {
            device.setCoil(static_cast<std::uint16_t>(100 + i), i % 3 == 0);
            device.setDiscreteInput(static_cast<std::uint16_t>(200 + i), i % 2 == 0);
        }
        int bits[10] = {};
        ASSERT_EQ(master.readCoils(slave, 101, bits, 10), MBUS_SUCCESS);
        EXPECT_EQ(std::vector<int>(bits, bits + 10), (std::vector<int>{1, 0, 0, 1, 0, 0, 1, 0, 0, 1}));
        ASSERT_EQ(master.readInputDiscretes(slave, 201, bits, 10), MBUS_SUCCESS);
        EXPECT_EQ(std::vector<int>(bits, bits + 10), (std::vector<int>{1, 0, 1, 0, 1, 0, 1, 0, 1, 0}));

        device.setHoldingRegister(9, 0xBEEF);
        device.setInputRegister(19, 0x1234);
        short reg = 0;
        ASSERT_EQ(master.readMultipleRegisters(slave, 10, &reg, 1), MBUS_SUCCESS);
        EXPECT_EQ(static_cast<unsigned short>(reg), 0xBEEF);
        ASSERT_EQ(master.readInputRegisters(slave, 20, &reg, 1), MBUS_SUCCESS);
        EXPECT_EQ(reg, 0x1234);

        ASSERT_EQ(master.writeCoil(slave, 31, 1), MBUS_SUCCESS);
        EXPECT_TRUE(device.coil(30));
        ASSERT_EQ(master.writeSingleRegister(slave, 41, 0x4321), MBUS_SUCCESS);
        EXPECT_EQ(device.holdingRegister(40), 0x4321);

        device.setExceptionStatus(0x5A);
        unsigned char status = 0;
        ASSERT_EQ(master.readExceptionStatus(slave, &status), MBUS_SUCCESS);
        EXPECT_EQ(status, 0x5A);
        const unsigned char query[] = {1, 2, 3, 0xFE};
        unsigned char echo[4] = {};
        ASSERT_EQ(master.returnQueryData(slave, query, echo, 4), MBUS_SUCCESS);
        EXPECT_EQ(std::memcmp(query, echo, 4), 0);
        EXPECT_EQ(master.restartCommunicationsOption(slave, 1), MBUS_SUCCESS);

        const int coils[9] = {1, 1, 0, 1, 0, 0, 0, 0, 1};
        ASSERT_EQ(master.forceMultipleCoils(slave, 51, coils, 9), MBUS_SUCCESS);
        for (int i = 0; i < 9; ++i)
            EXPECT_EQ(device.coil(static_cast<std::uint16_t>(50 + i)), coils[i] != 0) << i;
        const short regs[3] = {1, -2, 0x7FFF};
        ASSERT_EQ(master.writeMultipleRegisters(slave, 61, regs, 3), MBUS_SUCCESS);
        EXPECT_EQ(device.holdingRegister(61), 0xFFFE);
        device.setHoldingRegister(70, 0x0F0F);
        ASSERT_EQ(master.maskWriteRegister(slave, 71, 0x00FF, 0x3000), MBUS_SUCCESS);
        EXPECT_EQ(device.holdingRegister(70), (0x0F0F & 0x00FF) | (0x3000 & ~0x00FF));
        short readBack[3] = {};
        const short written[2] = {11, 22};
        ASSERT_EQ(master.readWriteRegisters(slave, 61, readBack, 3, 81, written, 2), MBUS_SUCCESS);
        EXPECT_EQ(readBack[2], 0x7FFF);
        EXPECT_EQ(device.holdingRegister(81), 22);

        const unsigned char request[] = {0x00, 0x09, 0x00, 0x01};
        unsigned char reply[8] = {};
        // An extended slave answers register reads with a two-byte byte count.
        const std::size_t countBytes = slave >= 248 ? 2 : 1;
        std::size_t replyLen = countBytes + 2;
        ASSERT_EQ(master.customFunction(slave, 3, request, sizeof request, reply, &replyLen), MBUS_SUCCESS);
        EXPECT_EQ(replyLen, countBytes + 2);
        EXPECT_EQ(reply[countBytes - 1], 2);
        EXPECT_EQ(reply[countBytes], 0xBE);

        const int longs[2] = {0x12345678, -2};
        int longsBack[2] = {};
        ASSERT_EQ(master.writeMultipleLongInts(slave, 101, longs, 2), MBUS_SUCCESS);
        EXPECT_EQ(device.holdingRegister(100), 0x5678); // low-order word first
        ASSERT_EQ(master.readMultipleLongInts(slave, 101, longsBack, 2), MBUS_SUCCESS);
        EXPECT_EQ(longsBack[1], -2);
        device.setInputRegister(110, 0x0001);
        device.setInputRegister(111, 0x0002);
        ASSERT_EQ(master.readInputLongInts(slave, 111, longsBack, 1), MBUS_SUCCESS);
        EXPECT_EQ(longsBack[0], 0x00020001);

        const float floats[2] = {1.5f, -2.25f};
        float floatsBack[2] = {};
        ASSERT_EQ(master.writeMultipleFloats(slave, 121, floats, 2), MBUS_SUCCESS);
        ASSERT_EQ(master.readMultipleFloats(slave, 121, floatsBack, 2), MBUS_SUCCESS);
        EXPECT_EQ(floatsBack[1], -2.25f);
        device.setInputRegister(130, 0x0000);
        device.setInputRegister(131, 0x3FC0); // 1.5f, low-order word first
        ASSERT_EQ(master.readInputFloats(slave, 131, floatsBack, 1), MBUS_SUCCESS);
        EXPECT_EQ(floatsBack[0], 1.5f);

        const int mod[1] = {12345678};
        int modBack[1] = {};
        ASSERT_EQ(master.writeMultipleMod10000(slave, 141, mod, 1), MBUS_SUCCESS);
        EXPECT_EQ(device.holdingRegister(140), 1234); // value / 10000 first
        EXPECT_EQ(device.holdingRegister(141), 5678);
        ASSERT_EQ(master.readMultipleMod10000(slave, 141, modBack, 1), MBUS_SUCCESS);
        EXPECT_EQ(modBack[0], 12345678);
        device.setInputRegister(150, 9999);
        device.setInputRegister(151, 2);
        ASSERT_EQ(master.readInputMod10000(slave, 151, modBack, 1), MBUS_SUCCESS);
        EXPECT_EQ(modBack[0], 99990002);
    }
};

struct FamilyNames {
    template <class F>
    static std::string GetName(int index)
    {
        const char *names[] = {"Rtu", "Ascii", "Elam"};
        return names[index];
    }
};

TYPED_TEST_SUITE(SerialMasterWithSimulator, Families, FamilyNames);

} // namespace

TYPED_TEST(SerialMasterWithSimulator, EveryDataAccessFunction)
{
    this->exerciseEveryFunction(1);
    this->exerciseEveryFunction(247);
    EXPECT_EQ(this->master.getTotalCounter(), this->master.getSuccessCounter());
}

TYPED_TEST(SerialMasterWithSimulator, BroadcastIsCarriedOutUnanswered)
{
    EXPECT_EQ(this->master.writeSingleRegister(0, 5, 77), MBUS_SUCCESS);
    // Nothing comes back to wait for; the device gets it a moment later.
    for (int i = 0; i < 200 && this->device.holdingRegister(4) != 77; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(this->device.holdingRegister(4), 77);
}

TYPED_TEST(SerialMasterWithSimulator, FaultsOfTheLine)
{
    ASSERT_EQ(this->master.getRetryCnt(), 0);
    short reg = 0;
    this->device.pushFault({sim::FaultKind::BadChecksum, 0});
    EXPECT_EQ(this->master.readMultipleRegisters(1, 1, &reg, 1), MBUS_CHECKSUM_ERROR);
    this->device.pushFault({sim::FaultKind::WrongUnitId, 0});
    EXPECT_EQ(this->master.readMultipleRegisters(1, 1, &reg, 1), MBUS_INVALID_FRAME_ERROR);
    this->device.pushFault({sim::FaultKind::Exception, 2});
    EXPECT_EQ(this->master.readMultipleRegisters(1, 1, &reg, 1), MBUS_ILLEGAL_ADDRESS_RESPONSE);
    this->device.pushFault({sim::FaultKind::SplitReply, 20});
    this->device.setHoldingRegister(0, 321);
    EXPECT_EQ(this->master.readMultipleRegisters(1, 1, &reg, 1), MBUS_SUCCESS);
    EXPECT_EQ(reg, 321);
}

using ElamWithSimulator = SerialMasterWithSimulator<Family<MbusElamMasterProtocol, sim::SerialFraming::ExtendedRtu>>;

TEST_F(ElamWithSimulator, ExtendedSlaves)
{
    exerciseEveryFunction(248);
    exerciseEveryFunction(2295);
    std::vector<short> regs(2500);
    for (int i = 0; i < 2500; ++i)
        device.setHoldingRegister(static_cast<std::uint16_t>(1000 + i), static_cast<std::uint16_t>(i * 3));
    ASSERT_EQ(master.readMultipleRegisters(1000, 1001, regs.data(), 2500), MBUS_SUCCESS);
    EXPECT_EQ(regs[2499], static_cast<short>(2499 * 3));
    ASSERT_EQ(master.readInputRegisters(300, 1, regs.data(), 125), MBUS_SUCCESS);
}
