// No heap allocation inside a transaction: what the test thread allocates while it runs
// transactions is counted.
#include <gtest/gtest.h>

#include "allocation_counter.h"
#include "ip/ascii_over_tcp_master_protocol.h"
#include "ip/rtu_over_tcp_master_protocol.h"
#include "ip/tcp_master_protocol.h"
#include "ip/udp_master_protocol.h"
#include "sim/ascii_over_tcp_device.h"
#include "sim/rtu_over_tcp_device.h"
#include "sim/tcp_device.h"
#include "sim/udp_device.h"

using namespace mbus;


namespace {
// Counts from 0 while alive.
class CountedScope {
public:
    CountedScope() { allocation_counter::reset(); }

private:
    allocation_counter::Scope scope;
};


// Runs 1000 transactions of every kind and returns how many failed.
long runEveryKind(MbusMasterFunctions &master)
{
    static short regs[125];
    static int bits[2000];
    static int ints[62];
    static float floats[62];
    static unsigned char query[250];
    static unsigned char echo[250];
    static unsigned char reply[252];
    unsigned char status = 0;
    const unsigned char request[] = {0x00, 0x00, 0x00, 0x01};
    long failures = 0;
    for (int i = 0; i < 1000; ++i) {
        std::size_t length = 3;
        failures += master.readMultipleRegisters(1, 1, regs, 125) != MBUS_SUCCESS;
        failures += master.readInputRegisters(1, 1, regs, 1) != MBUS_SUCCESS;
        failures += master.writeMultipleRegisters(1, 1, regs, 123) != MBUS_SUCCESS;
        failures += master.writeSingleRegister(1, 1, 5) != MBUS_SUCCESS;
        failures += master.maskWriteRegister(1, 1, 1, 2) != MBUS_SUCCESS;
        failures += master.readWriteRegisters(1, 1, regs, 10, 1, regs, 10) != MBUS_SUCCESS;
        failures += master.readCoils(1, 1, bits, 2000) != MBUS_SUCCESS;
        failures += master.readInputDiscretes(1, 1, bits, 16) != MBUS_SUCCESS;
        failures += master.writeCoil(1, 1, 1) != MBUS_SUCCESS;
        failures += master.forceMultipleCoils(1, 1, bits, 1968) != MBUS_SUCCESS;
        failures += master.readMultipleLongInts(1, 1, ints, 62) != MBUS_SUCCESS;
        failures += master.readInputFloats(1, 1, floats, 62) != MBUS_SUCCESS;
        failures += master.writeMultipleFloats(1, 1, floats, 61) != MBUS_SUCCESS;
        failures += master.writeMultipleMod10000(1, 1, ints, 61) != MBUS_SUCCESS;
        failures += master.readExceptionStatus(1, &status) != MBUS_SUCCESS;
        failures += master.returnQueryData(1, query, echo, 250) != MBUS_SUCCESS;
        failures += master.restartCommunicationsOption(1, 0) != MBUS_SUCCESS;
        failures += master.customFunction(1, 3, request, sizeof request, reply, &length) != MBUS_SUCCESS;
    }
    return failures;
}

template <class Master, class Device>
void expectNoAllocation()
{
    Device device;
    int port = device.start();
    ASSERT_GT(port, 0);
    Master master;
    ASSERT_EQ(MBUS_SUCCESS, master.setPort(static_cast<std::uint16_t>(port)));
    ASSERT_EQ(MBUS_SUCCESS, master.openConnection("127.0.0.1"));
    long failures = 0;
    {
        CountedScope scope;
        failures = runEveryKind(master);
    }
    EXPECT_EQ(0, failures);
    EXPECT_EQ(0, allocation_counter::count());
}
} // namespace

TEST(Allocation, TcpTransactionsAllocateNothing)
{
    expectNoAllocation<MbusTcpMasterProtocol, sim::TcpDevice>();
}

TEST(Allocation, UdpTransactionsAllocateNothing)
{
    expectNoAllocation<MbusUdpMasterProtocol, sim::UdpDevice>();
}

TEST(Allocation, RtuOverTcpTransactionsAllocateNothing)
{
    expectNoAllocation<MbusRtuOverTcpMasterProtocol, sim::RtuOverTcpDevice>();
}

TEST(Allocation, AsciiOverTcpTransactionsAllocateNothing)
{
    expectNoAllocation<MbusAsciiOverTcpMasterProtocol, sim::AsciiOverTcpDevice>();
}

TEST(Allocation, TextCommandsAllocateNothing)
{
    sim::TcpDevice device;
    int port = device.start();
    ASSERT_GT(port, 0);
    MbusTcpMasterProtocol master;
    ASSERT_EQ(MBUS_SUCCESS, master.setPort(static_cast<std::uint16_t>(port)));
    ASSERT_EQ(MBUS_SUCCESS, master.openConnection("127.0.0.1"));
    char response[MbusTcpMasterProtocol::kAsciiResponseSize];
    long failures = 0;
    {
        CountedScope scope;
        for (int i = 0; i < 1000; ++i)
            failures += master.sendAsciiCommand("STATUS", response) != MBUS_SUCCESS;
    }
    EXPECT_EQ(0, failures);
    EXPECT_EQ(0, allocation_counter::count());
}

TEST(Allocation, TheCounterSeesAllocations)
{
    CountedScope scope;
    // A direct call of the allocation function: a new-expression may be optimised away.
    ::operator delete(::operator new(sizeof(int)));
    EXPECT_EQ(1, allocation_counter::count());
}
