// RTU and ASCII frames over TCP against the simulated devices.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "ip/ascii_over_tcp_master_protocol.h"
#include "ip/rtu_over_tcp_master_protocol.h"
#include "ip/tcp_master_protocol.h"
#include "sim/ascii_over_tcp_device.h"
#include "sim/rtu_over_tcp_device.h"

using namespace mbus;

using sim::Fault;
using sim::FaultKind;
using Bytes = std::vector<std::uint8_t>;

TEST(FramedTcp, DefaultPorts)
{
    EXPECT_EQ(1100, MbusRtuOverTcpMasterProtocol().getPort());
    EXPECT_EQ(23, MbusAsciiOverTcpMasterProtocol().getPort());
    MbusHandle rtu = mbusNewRtuOverTcpMaster();
    MbusHandle ascii = mbusNewAsciiOverTcpMaster();
    EXPECT_EQ(1100, mbusGetPort(rtu));
    EXPECT_EQ(23, mbusGetPort(ascii));
    // The text command is a Modbus/TCP operation only.
    char response[MbusTcpMasterProtocol::kAsciiResponseSize];
    EXPECT_EQ(MBUS_ILLEGAL_ARGUMENT, mbusSendAsciiCommand(rtu, "ID", response));
    EXPECT_EQ(MBUS_ILLEGAL_ARGUMENT, mbusSendAsciiCommand(ascii, "ID", response));
    mbusDestroy(rtu);
    mbusDestroy(ascii);
}

// The same cases run over both framings.
class FramedTcp : public ::testing::TestWithParam<bool> {
protected:
    bool ascii() const { return GetParam(); }

    void SetUp() override
    {
        if (ascii()) {
            device = std::make_unique<sim::AsciiOverTcpDevice>();
            master = std::make_unique<MbusAsciiOverTcpMasterProtocol>();
        } else {
            device = std::make_unique<sim::RtuOverTcpDevice>();
            master = std::make_unique<MbusRtuOverTcpMasterProtocol>();
        }
        int port = device->start();
        ASSERT_GT(port, 0);
        ASSERT_EQ(MBUS_SUCCESS, master->setPort(static_cast<std::uint16_t>(port)));
        ASSERT_EQ(MBUS_SUCCESS, master->setTimeout(100));
    }
    void open() { ASSERT_EQ(MBUS_SUCCESS, master->openConnection("127.0.0.1")); }

    std::unique_ptr<sim::FramedStreamDevice> device;
    std::unique_ptr<MbusTcpClientBase> master;
};

TEST_P(FramedTcp, RequestFramesOnTheWire)
{
    open();
    short regs[10];
    ASSERT_EQ(MBUS_SUCCESS, master->readMultipleRegisters(1, 1, regs, ascii() ? 10 : 1));
    auto requests = device->requests();
    ASSERT_EQ(1u, requests.size());
    if (ascii()) {
        std::string frame(requests[0].begin(), requests[0].end());
        EXPECT_EQ(":01030000000AF2\r\n", frame);
    } else {
        EXPECT_EQ((Bytes{0x01, 0x03, 0x00, 0x00, 0x00, 0x01, 0x84, 0x0A}), requests[0]);
    }
}

TEST_P(FramedTcp, EveryKindOfAccessRoundTrips)
{
    open();
    int bits[20] = {1, 0, 1, 1};
    int bitsBack[20];
    ASSERT_EQ(MBUS_SUCCESS, master->forceMultipleCoils(3, 1, bits, 20));
    ASSERT_EQ(MBUS_SUCCESS, master->readCoils(3, 1, bitsBack, 20));
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(bits[i], bitsBack[i]) << i;
    ASSERT_EQ(MBUS_SUCCESS, master->writeCoil(3, 30, 1));
    EXPECT_TRUE(device->coil(29));
    device->setDiscreteInput(4, true);
    int input[1];
    ASSERT_EQ(MBUS_SUCCESS, master->readInputDiscretes(3, 5, input, 1));
    EXPECT_EQ(1, input[0]);

    short regs[125];
    for (int i = 0; i < 125; ++i)
        regs[i] = static_cast<short>(i * 3);
    short regsBack[125];
    ASSERT_EQ(MBUS_SUCCESS, master->writeMultipleRegisters(3, 1, regs, 123));
    ASSERT_EQ(MBUS_SUCCESS, master->readMultipleRegisters(3, 1, regsBack, 125));
    EXPECT_EQ(366, regsBack[122]);
    ASSERT_EQ(MBUS_SUCCESS, master->writeSingleRegister(3, 200, -5));
    device->setInputRegister(7, 0x4321);
    ASSERT_EQ(MBUS_SUCCESS, master->readInputRegisters(3, 8, regsBack, 1));
    EXPECT_EQ(0x4321, regsBack[0]);
    ASSERT_EQ(MBUS_SUCCESS, master->maskWriteRegister(3, 200, 0x00FF, 0x0100));
    ASSERT_EQ(MBUS_SUCCESS, master->readWriteRegisters(3, 200, regsBack, 1, 300, regs, 2));
    EXPECT_EQ(static_cast<short>((0xFFFB & 0x00FF) | (0x0100 & ~0x00FF)), regsBack[0]);

    const int ints[2] = {-100000, 7};
    int intsBack[2];
    ASSERT_EQ(MBUS_SUCCESS, master->writeMultipleLongInts(3, 400, ints, 2));
    ASSERT_EQ(MBUS_SUCCESS, master->readMultipleLongInts(3, 400, intsBack, 2));
    EXPECT_EQ(-100000, intsBack[0]);
    ASSERT_EQ(MBUS_SUCCESS, master->readMultipleMod10000(3, 400, intsBack, 1));

    device->setExceptionStatus(0x3C);
    unsigned char status = 0;
    ASSERT_EQ(MBUS_SUCCESS, master->readExceptionStatus(3, &status)); // a one-byte reply
    EXPECT_EQ(0x3C, status);
    unsigned char query[5] = {1, 2, 3, 4, 5};
    unsigned char echo[5];
    ASSERT_EQ(MBUS_SUCCESS, master->returnQueryData(3, query, echo, 5));
    EXPECT_EQ(5, echo[4]);
}

TEST_P(FramedTcp, ChecksumErrorsAreNotRetried)
{
    ASSERT_EQ(MBUS_SUCCESS, master->setRetryCnt(2));
    open();
    short value[1];
    device->pushFault(Fault{FaultKind::BadChecksum, 0});
    EXPECT_EQ(MBUS_CHECKSUM_ERROR, master->readMultipleRegisters(1, 1, value, 1));
    EXPECT_EQ(1u, device->requests().size());
    EXPECT_EQ(MBUS_SUCCESS, master->readMultipleRegisters(1, 1, value, 1));
}

TEST_P(FramedTcp, AddressesMustMatchExactly)
{
    open();
    short value[1];
    device->pushFault(Fault{FaultKind::UnitIdZero, 0});
    EXPECT_EQ(MBUS_INVALID_FRAME_ERROR, master->readMultipleRegisters(5, 1, value, 1));
    device->pushFault(Fault{FaultKind::WrongUnitId, 0});
    EXPECT_EQ(MBUS_INVALID_FRAME_ERROR, master->readMultipleRegisters(5, 1, value, 1));
    EXPECT_EQ(MBUS_SUCCESS, master->readMultipleRegisters(5, 1, value, 1));
}

TEST_P(FramedTcp, ExceptionRepliesAndTimeouts)
{
    open();
    short value[1];
    device->pushFault(Fault{FaultKind::Exception, 2});
    EXPECT_EQ(MBUS_ILLEGAL_ADDRESS_RESPONSE, master->readMultipleRegisters(1, 1, value, 1));
    device->pushFault(Fault{FaultKind::Drop, 0});
    EXPECT_EQ(MBUS_REPLY_TIMEOUT, master->readMultipleRegisters(1, 1, value, 1));
    // Broadcast is an ordinary address here: a reply is awaited and none comes.
    EXPECT_EQ(MBUS_REPLY_TIMEOUT, master->writeSingleRegister(0, 1, 1));
    device->setAnswerBroadcast(true);
    EXPECT_EQ(MBUS_SUCCESS, master->writeSingleRegister(0, 1, 1));
}

INSTANTIATE_TEST_SUITE_P(Framings, FramedTcp, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool> &framing) { return framing.param ? "Ascii" : "Rtu"; });

TEST(FramedTcpAscii, LowerCaseHexIsAnInvalidFrame)
{
    sim::AsciiOverTcpDevice device;
    MbusAsciiOverTcpMasterProtocol master;
    int port = device.start();
    ASSERT_GT(port, 0);
    ASSERT_EQ(MBUS_SUCCESS, master.setPort(static_cast<std::uint16_t>(port)));
    ASSERT_EQ(MBUS_SUCCESS, master.setTimeout(100));
    ASSERT_EQ(MBUS_SUCCESS, master.openConnection("127.0.0.1"));
    device.setHoldingRegister(0, 0xABCD); // so that the reply holds letters
    device.pushFault(Fault{FaultKind::LowerCaseHex, 0});
    short value[1];
    EXPECT_EQ(MBUS_INVALID_FRAME_ERROR, master.readMultipleRegisters(1, 1, value, 1));
    EXPECT_EQ(MBUS_SUCCESS, master.readMultipleRegisters(1, 1, value, 1));
    EXPECT_EQ(static_cast<short>(0xABCD), value[0]);
}
