// Opening and closing masters, and the reconnects that faults cause inside transactions, give
// back every descriptor they take: after thousands of cycles the process holds exactly as many
// descriptors as before.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "ip/rtu_over_tcp_master_protocol.h"
#include "ip/tcp_master_protocol.h"
#include "ip/udp_master_protocol.h"
#include "mbus.h"
#include "serial/ascii_master_protocol.h"
#include "sim/rtu_over_tcp_device.h"
#include "sim/serial_device.h"
#include "sim/tcp_device.h"
#include "sim/udp_device.h"
#include "tests/support/descriptor_count.h"

using namespace mbus;

namespace {

constexpr int kCycles = 10000;

class DescriptorCycles : public ::testing::Test {
protected:
    void SetUp() override
    {
        before = openDescriptorCount();
        ASSERT_GT(before, 0) << "no /proc/self/fd";
    }
    // Every device of a test is stopped (its thread joined, its sockets closed) before this.
    void expectAllReturned() { EXPECT_EQ(before, openDescriptorCount()); }

    int before = 0;
};

TEST_F(DescriptorCycles, TcpOpenCloseAndTransactions)
{
    {
        sim::TcpDevice device;
        int port = device.start();
        ASSERT_GT(port, 0);
        MbusTcpMasterProtocol master;
        ASSERT_EQ(MBUS_SUCCESS, master.setPort(static_cast<std::uint16_t>(port)));
        for (int i = 0; i < kCycles; ++i) {
            ASSERT_EQ(MBUS_SUCCESS, master.openConnection("127.0.0.1")) << "cycle " << i;
            if (i % 10 == 0) {
                short reg = 0;
                ASSERT_EQ(MBUS_SUCCESS, master.readMultipleRegisters(1, 1, &reg, 1)) << "cycle " << i;
            }
            master.closeConnection();
        }
        // Refused connects and connects to nowhere leave nothing behind either.
        device.stop();
        for (int i = 0; i < 100; ++i)
            EXPECT_EQ(MBUS_TCP_CONNECTION_ERROR, master.openConnection("127.0.0.1"));
    }
    expectAllReturned();
}

TEST_F(DescriptorCycles, ReconnectsInsideTransactions)
{
    {
        sim::TcpDevice device;
        int port = device.start();
        ASSERT_GT(port, 0);
        MbusTcpMasterProtocol master;
        ASSERT_EQ(MBUS_SUCCESS, master.setPort(static_cast<std::uint16_t>(port)));
        ASSERT_EQ(MBUS_SUCCESS, master.setRetryCnt(2));
        ASSERT_EQ(MBUS_SUCCESS, master.setTimeout(20));
        ASSERT_EQ(MBUS_SUCCESS, master.openConnection("127.0.0.1"));
        // Two wrong replies, then a good one: two reconnects in every transaction.
        short reg = 0;
        for (int i = 0; i < 2000; ++i) {
            device.pushFault({sim::FaultKind::WrongFunctionCode, 0});
            device.pushFault({sim::FaultKind::WrongUnitId, 0});
            ASSERT_EQ(MBUS_SUCCESS, master.readMultipleRegisters(1, 1, &reg, 1)) << "transaction " << i;
        }
        // Time-outs: the last one leaves a reconnect pending for the next transaction.
        for (int i = 0; i < 20; ++i) {
            for (int k = 0; k < 3; ++k)
                device.pushFault({sim::FaultKind::Drop, 0});
            EXPECT_EQ(MBUS_REPLY_TIMEOUT, master.readMultipleRegisters(1, 1, &reg, 1));
            EXPECT_EQ(MBUS_SUCCESS, master.readMultipleRegisters(1, 1, &reg, 1));
        }
        // Connections the device closes: the master reports them until it is reopened.
        for (int i = 0; i < 200; ++i) {
            device.pushFault({i % 2 ? sim::FaultKind::Close : sim::FaultKind::Reset, 0});
            EXPECT_EQ(MBUS_CONNECTION_CLOSED, master.readMultipleRegisters(1, 1, &reg, 1));
            master.closeConnection();
            ASSERT_EQ(MBUS_SUCCESS, master.openConnection("127.0.0.1"));
        }
        EXPECT_GE(device.connectionCount(), 2 * 2000 + 200);
    }
    expectAllReturned();
}

TEST_F(DescriptorCycles, FramedTcpAndUdpOpenClose)
{
    {
        sim::RtuOverTcpDevice rtuDevice;
        sim::UdpDevice udpDevice;
        int rtuPort = rtuDevice.start();
        int udpPort = udpDevice.start();
        ASSERT_GT(rtuPort, 0);
        ASSERT_GT(udpPort, 0);
        MbusRtuOverTcpMasterProtocol rtu;
        MbusUdpMasterProtocol udp;
        ASSERT_EQ(MBUS_SUCCESS, rtu.setPort(static_cast<std::uint16_t>(rtuPort)));
        ASSERT_EQ(MBUS_SUCCESS, udp.setPort(static_cast<std::uint16_t>(udpPort)));
        short reg = 0;
        for (int i = 0; i < kCycles; ++i) {
            ASSERT_EQ(MBUS_SUCCESS, udp.openConnection("127.0.0.1")) << "cycle " << i;
            if (i % 10 == 0) {
                ASSERT_EQ(MBUS_SUCCESS, udp.readMultipleRegisters(1, 1, &reg, 1)) << "cycle " << i;
            }
            udp.closeConnection();
        }
        for (int i = 0; i < kCycles / 5; ++i) {
            ASSERT_EQ(MBUS_SUCCESS, rtu.openConnection("127.0.0.1")) << "cycle " << i;
            ASSERT_EQ(MBUS_SUCCESS, rtu.readMultipleRegisters(1, 1, &reg, 1)) << "cycle " << i;
            rtu.closeConnection();
        }
    }
    expectAllReturned();
}

TEST_F(DescriptorCycles, SerialPortOpenClose)
{
    {
        sim::SerialDevice device;
        std::string path = device.start(sim::SerialFraming::Ascii);
        ASSERT_FALSE(path.empty());
        MbusAsciiMasterProtocol master;
        short reg = 0;
        for (int i = 0; i < 2000; ++i) {
            ASSERT_EQ(MBUS_SUCCESS, master.openSerialPort(path.c_str(), 115200, 7, 1, MBUS_PARITY_EVEN))
                << "cycle " << i;
            if (i % 20 == 0) {
                ASSERT_EQ(MBUS_SUCCESS, master.readMultipleRegisters(1, 1, &reg, 1)) << "cycle " << i;
            }
            master.closeConnection();
        }
        // A port that does not exist and a refused setting leave nothing open.
        for (int i = 0; i < 100; ++i) {
            EXPECT_NE(MBUS_SUCCESS, master.openSerialPort("/dev/no-such-port", 9600, 8, 1, MBUS_PARITY_NONE));
            EXPECT_EQ(MBUS_ILLEGAL_ARGUMENT, master.openSerialPort(path.c_str(), 9600, 8, 3, MBUS_PARITY_NONE));
            master.closeConnection();
        }
    }
    expectAllReturned();
}

TEST_F(DescriptorCycles, FlatInterfaceCreateOpenDestroy)
{
    {
        sim::TcpDevice tcp;
        sim::UdpDevice udp;
        const int tcpPort = tcp.start();
        const int udpPort = udp.start();
        ASSERT_GT(tcpPort, 0);
        ASSERT_GT(udpPort, 0);
        for (int i = 0; i < kCycles; ++i) {
            // Destroying an open master closes its socket.
            MbusHandle handle = (i % 2) ? mbusNewTcpMaster() : mbusNewUdpMaster();
            ASSERT_NE(nullptr, handle);
            const int port = (i % 2) ? tcpPort : udpPort;
            ASSERT_EQ(MBUS_SUCCESS, mbusSetPort(handle, static_cast<unsigned short>(port)));
            ASSERT_EQ(MBUS_SUCCESS, mbusOpenConnection(handle, "127.0.0.1")) << "cycle " << i;
            // One transaction each, which also lets the device keep up with its accept queue.
            short reg = 0;
            ASSERT_EQ(MBUS_SUCCESS, mbusReadMultipleRegisters(handle, 1, 1, &reg, 1)) << "cycle " << i;
            mbusDestroy(handle);
        }
        MbusHandle serial = mbusNewRtuMaster();
        ASSERT_NE(nullptr, serial);
        mbusDestroy(serial);
    }
    expectAllReturned();
}

} // namespace
