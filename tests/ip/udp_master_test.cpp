// The Modbus/UDP master against the simulated datagram device.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "ip/udp_master_protocol.h"
#include "sim/udp_device.h"

using namespace mbus;

using sim::Fault;
using sim::FaultKind;

namespace {
class InspectableUdpMaster : public MbusUdpMasterProtocol {
public:
    void setTransactionId(std::uint16_t id) { mbap.setTransactionId(id); }
};

unsigned transactionIdOf(const std::vector<std::uint8_t> &frame)
{
    return (frame[0] << 8) | frame[1];
}
} // namespace

class UdpMaster : public ::testing::Test {
protected:
    void SetUp() override
    {
        port = device.start();
        ASSERT_GT(port, 0);
        ASSERT_EQ(MBUS_SUCCESS, master.setPort(static_cast<std::uint16_t>(port)));
        ASSERT_EQ(MBUS_SUCCESS, master.setTimeout(100));
    }
    void open() { ASSERT_EQ(MBUS_SUCCESS, master.openConnection("127.0.0.1")); }

    sim::UdpDevice device;
    InspectableUdpMaster master;
    int port = 0;
};

TEST_F(UdpMaster, ReadsAndWritesRoundTrip)
{
    open();
    const short values[3] = {1, -2, 300};
    short back[3];
    ASSERT_EQ(MBUS_SUCCESS, master.writeMultipleRegisters(1, 11, values, 3));
    ASSERT_EQ(MBUS_SUCCESS, master.readMultipleRegisters(1, 11, back, 3));
    EXPECT_EQ(-2, back[1]);
    EXPECT_EQ(300, device.holdingRegister(12));
    const float number[1] = {2.5f};
    float numberBack[1];
    ASSERT_EQ(MBUS_SUCCESS, master.writeMultipleFloats(7, 101, number, 1));
    ASSERT_EQ(MBUS_SUCCESS, master.readMultipleFloats(7, 101, numberBack, 1));
    EXPECT_EQ(2.5f, numberBack[0]);
    ASSERT_EQ(MBUS_SUCCESS, master.writeCoil(1, 5, 1));
    int coil[1];
    ASSERT_EQ(MBUS_SUCCESS, master.readCoils(1, 5, coil, 1));
    EXPECT_EQ(1, coil[0]);
    EXPECT_EQ(6, master.getSuccessCounter());
}

TEST_F(UdpMaster, OpensWithoutADeviceAndTimesOut)
{
    device.stop(); // nothing listens on the port any more
    open();
    EXPECT_TRUE(master.isOpen());
    short value[1];
    int result = master.readMultipleRegisters(1, 1, value, 1);
    // Linux does not report a refused datagram on an unconnected socket: the reply times out.
    EXPECT_TRUE(result == MBUS_REPLY_TIMEOUT || result == MBUS_TCP_CONNECTION_ERROR) << result;
    EXPECT_TRUE(master.isOpen());
}

TEST_F(UdpMaster, RetriesOnlyTimeoutsEachWithANewIdentifier)
{
    ASSERT_EQ(MBUS_SUCCESS, master.setRetryCnt(2));
    open();
    device.setPersistentFault(Fault{FaultKind::Drop, 0});
    short value[1];
    EXPECT_EQ(MBUS_REPLY_TIMEOUT, master.readMultipleRegisters(1, 1, value, 1));
    auto requests = device.requests();
    ASSERT_EQ(3u, requests.size());
    EXPECT_EQ(1u, transactionIdOf(requests[0]));
    EXPECT_EQ(2u, transactionIdOf(requests[1]));
    EXPECT_EQ(3u, transactionIdOf(requests[2]));
    EXPECT_EQ(3, master.getTotalCounter());

    device.clearFaults();
    device.clearRequests();
    device.pushFault(Fault{FaultKind::WrongFunctionCode, 0});
    EXPECT_EQ(MBUS_INVALID_FRAME_ERROR, master.readMultipleRegisters(1, 1, value, 1));
    EXPECT_EQ(1u, device.requests().size()); // not retried
}

TEST_F(UdpMaster, DatagramChecks)
{
    open();
    short value[1];
    device.pushFault(Fault{FaultKind::ShortDatagram, 8});
    EXPECT_EQ(MBUS_INVALID_REPLY_ERROR, master.readMultipleRegisters(1, 1, value, 1));
    device.pushFault(Fault{FaultKind::Exception, 4}); // a 9-byte exception reply
    EXPECT_EQ(MBUS_SLAVE_FAILURE_RESPONSE, master.readMultipleRegisters(1, 1, value, 1));
    device.pushFault(Fault{FaultKind::WrongProtocolId, 0});
    EXPECT_EQ(MBUS_INVALID_MBAP_ID, master.readMultipleRegisters(1, 1, value, 1));
    device.pushFault(Fault{FaultKind::UnitIdZero, 0});
    EXPECT_EQ(MBUS_SUCCESS, master.readMultipleRegisters(9, 1, value, 1));
    device.pushFault(Fault{FaultKind::WrongUnitId, 0});
    EXPECT_EQ(MBUS_INVALID_FRAME_ERROR, master.readMultipleRegisters(9, 1, value, 1));
    // An 11-byte reply whose length field reads 0x0103 (both bytes non-zero, not 5).
    device.pushFault(Fault{FaultKind::LyingLength, 0xFE});
    EXPECT_EQ(MBUS_INVALID_REPLY_ERROR, master.readMultipleRegisters(1, 1, value, 1));
    // A datagram longer than a frame is refused as a whole, never cut to fit.
    device.pushFault(Fault{FaultKind::LongDatagram, 300});
    EXPECT_EQ(MBUS_IO_ERROR, master.readMultipleRegisters(1, 1, value, 1));
    EXPECT_EQ(MBUS_SUCCESS, master.readMultipleRegisters(1, 1, value, 1));
}

TEST_F(UdpMaster, TransactionIdentifierRule)
{
    open();
    short value[1];
    master.setTransactionId(0x0100);
    ASSERT_EQ(MBUS_SUCCESS, master.readMultipleRegisters(1, 1, value, 1)); // 0x0101
    device.pushFault(Fault{FaultKind::LateReply, 0});
    EXPECT_EQ(MBUS_INVALID_MBAP_ID, master.readMultipleRegisters(1, 1, value, 1)); // expects 0x0102, gets 0x0101

    master.closeConnection();
    master.setTransactionId(0x0003);
    open();
    ASSERT_EQ(MBUS_SUCCESS, master.readMultipleRegisters(1, 1, value, 1)); // 0x0004
    device.pushFault(Fault{FaultKind::LateReply, 0});
    // Expects 0x0005, gets 0x0004: an identifier with a zero byte is not compared.
    EXPECT_EQ(MBUS_SUCCESS, master.readMultipleRegisters(1, 1, value, 1));
}

TEST_F(UdpMaster, LateDatagramIsDrainedBeforeTheNextRequest)
{
    open();
    device.setHoldingRegister(0, 77);
    short value[1];
    device.pushFault(Fault{FaultKind::Delay, 200});
    EXPECT_EQ(MBUS_REPLY_TIMEOUT, master.readMultipleRegisters(1, 1, value, 1));
    std::this_thread::sleep_for(std::chrono::milliseconds(250)); // the late reply arrives meanwhile
    device.setHoldingRegister(0, 78);
    ASSERT_EQ(MBUS_SUCCESS, master.readMultipleRegisters(1, 1, value, 1));
    EXPECT_EQ(78, value[0]);
}

TEST_F(UdpMaster, ClosedMasterRefusesTransactions)
{
    short value[1];
    EXPECT_EQ(MBUS_ILLEGAL_STATE, master.readMultipleRegisters(1, 1, value, 1));
    EXPECT_EQ(0, master.getTotalCounter());
    MbusHandle handle = mbusNewUdpMaster();
    ASSERT_NE(nullptr, handle);
    EXPECT_EQ(502, mbusGetPort(handle));
    char text[256];
    EXPECT_EQ(MBUS_ILLEGAL_ARGUMENT, mbusSendAsciiCommand(handle, "X", text)); // a Modbus/TCP operation only
    mbusDestroy(handle);
}
