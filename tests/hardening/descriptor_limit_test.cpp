// A host process that already holds more than 1024 descriptors: the masters' sockets and ports
// get numbers above 1024, beyond what select() could watch, and must still work.
#include <gtest/gtest.h>

#include <string>

#include "ip/ascii_over_tcp_master_protocol.h"
#include "ip/rtu_over_tcp_master_protocol.h"
#include "ip/tcp_master_protocol.h"
#include "ip/udp_master_protocol.h"
#include "serial/rtu_master_protocol.h"
#include "sim/ascii_over_tcp_device.h"
#include "sim/rtu_over_tcp_device.h"
#include "sim/serial_device.h"
#include <type_traits>

#include "sim/tcp_device.h"
#include "sim/udp_device.h"
#include "tests/hardening/descriptor_flood.h"

using namespace mbus;

namespace {

constexpr int kAbove = 1100;
constexpr int kTransactions = 200;

template <class Master>
class WithSocket : public Master {
public:
    net::Socket socket() const
    {
        if constexpr (std::is_base_of_v<MbusTcpClientBase, Master>)
            return this->tcpLink.socket();
        else
            return this->udpLink.socket();
    }
};

// Writes and reads back a different block of registers each round.
void exercise(MbusMasterFunctions &master, sim::DeviceBase &device)
{
    for (int round = 0; round < kTransactions; ++round) {
        short written[8];
        for (int i = 0; i < 8; ++i)
            written[i] = static_cast<short>(round * 100 + i);
        ASSERT_EQ(MBUS_SUCCESS, master.writeMultipleRegisters(1, 1 + round, written, 8)) << "round " << round;
        short read[8] = {};
        ASSERT_EQ(MBUS_SUCCESS, master.readMultipleRegisters(1, 1 + round, read, 8)) << "round " << round;
        for (int i = 0; i < 8; ++i) {
            ASSERT_EQ(written[i], read[i]);
            ASSERT_EQ(static_cast<std::uint16_t>(written[i]), device.holdingRegister(static_cast<std::uint16_t>(round + i)));
        }
    }
}

class BeyondDescriptor1024 : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!flood.ready())
            GTEST_SKIP() << "the descriptor limit cannot be raised above " << kAbove;
        ASSERT_GT(DescriptorFlood::nextDescriptor(), 1024);
    }
    DescriptorFlood flood{kAbove};
};

template <class Master, class Device>
void runIpMaster()
{
    // Started after the flood: the device's own sockets lie above 1024 as well.
    Device device;
    int port = device.start();
    ASSERT_GT(port, 0);
    WithSocket<Master> master;
    ASSERT_EQ(MBUS_SUCCESS, master.setPort(static_cast<std::uint16_t>(port)));
    ASSERT_EQ(MBUS_SUCCESS, master.setTimeout(1000));
    ASSERT_EQ(MBUS_SUCCESS, master.openConnection("127.0.0.1"));
    EXPECT_GT(master.socket(), 1024);
    exercise(master, device);
    // A time-out and the reconnect it leads to happen above 1024 too.
    device.pushFault({sim::FaultKind::Drop, 0});
    short reg = 0;
    master.closeConnection();
    ASSERT_EQ(MBUS_SUCCESS, master.setTimeout(50));
    ASSERT_EQ(MBUS_SUCCESS, master.openConnection("127.0.0.1"));
    EXPECT_EQ(MBUS_REPLY_TIMEOUT, master.readMultipleRegisters(1, 1, &reg, 1));
    EXPECT_EQ(MBUS_SUCCESS, master.readMultipleRegisters(1, 1, &reg, 1));
    EXPECT_GT(master.socket(), 1024);
}

TEST_F(BeyondDescriptor1024, ModbusTcp)
{
    runIpMaster<MbusTcpMasterProtocol, sim::TcpDevice>();
}

TEST_F(BeyondDescriptor1024, ModbusUdp)
{
    runIpMaster<MbusUdpMasterProtocol, sim::UdpDevice>();
}

TEST_F(BeyondDescriptor1024, RtuOverTcp)
{
    runIpMaster<MbusRtuOverTcpMasterProtocol, sim::RtuOverTcpDevice>();
}

TEST_F(BeyondDescriptor1024, AsciiOverTcp)
{
    runIpMaster<MbusAsciiOverTcpMasterProtocol, sim::AsciiOverTcpDevice>();
}

TEST_F(BeyondDescriptor1024, RtuOnAPseudoTerminal)
{
    sim::SerialDevice device;
    std::string path = device.start(sim::SerialFraming::Rtu);
    ASSERT_FALSE(path.empty());
    MbusRtuMasterProtocol master;
    ASSERT_EQ(MBUS_SUCCESS, master.setTimeout(1000));
    ASSERT_EQ(MBUS_SUCCESS, master.openSerialPort(path.c_str(), 115200, 8, 1, MBUS_PARITY_NONE));
    // Every descriptor below kAbove is held, so the port's is above it.
    EXPECT_GT(DescriptorFlood::nextDescriptor(), 1024);
    exercise(master, device);
}

} // namespace
