// No memory is allocated during a transaction of a serial master: frames live in the master.
// Counts operator new on the test's own thread while a transaction runs over a pseudo terminal.
#include <gtest/gtest.h>

#include "allocation_counter.h"
#include "mbus.h"
#include "pty_fixture.h"
#include "serial/ascii_master_protocol.h"
#include "serial/elam_master_protocol.h"
#include "serial/rtu_master_protocol.h"

using namespace mbus;


namespace {

// Runs the call with counting on; returns the number of allocations it made.
template <class Call>
int allocationsDuring(Call call)
{
    allocation_counter::reset();
    {
        allocation_counter::Scope counting;
        call();
    }
    return static_cast<int>(allocation_counter::count());
}

using RtuAllocations = MasterOnPty<MbusRtuMasterProtocol>;
using AsciiAllocations = MasterOnPty<MbusAsciiMasterProtocol>;
using ElamAllocations = MasterOnPty<MbusElamMasterProtocol>;

} // namespace

TEST(AllocationCounter, CountsOnThisThread)
{
    // A direct call of the allocation function: a new-expression may be optimised away.
    EXPECT_EQ(allocationsDuring([] { ::operator delete(::operator new(sizeof(int))); }), 1);
}

TEST_F(RtuAllocations, NoneInATransaction)
{
    open(9600, 30, 1, 5);
    peer.expect(withCrc({0x01, 0x03, 0x00, 0x00, 0x00, 0x02})).send(withCrc({0x01, 0x03, 0x04, 0, 1, 0, 2}));
    peer.expect(withCrc({0x01, 0x03, 0x00, 0x00, 0x00, 0x02})).expect(withCrc({0x01, 0x03, 0x00, 0x00, 0x00, 0x02}));
    peer.expect(withCrc({0x01, 0x03, 0x00, 0x00, 0x00, 0x02})).send(withCrc({0x01, 0x83, 0x02}));
    peer.start();
    short regs[2];
    int result = 0;
    MbusHandle handle = reinterpret_cast<MbusHandle>(static_cast<MbusMasterFunctions *>(&master));
    EXPECT_EQ(allocationsDuring([&] { result = mbusReadMultipleRegisters(handle, 1, 1, regs, 2); }), 0);
    EXPECT_EQ(result, MBUS_SUCCESS);
    EXPECT_EQ(allocationsDuring([&] { result = master.readMultipleRegisters(1, 1, regs, 2); }), 0);
    EXPECT_EQ(result, MBUS_REPLY_TIMEOUT); // two attempts
    EXPECT_EQ(allocationsDuring([&] { result = master.readMultipleRegisters(1, 1, regs, 2); }), 0);
    EXPECT_EQ(result, MBUS_ILLEGAL_ADDRESS_RESPONSE);
    expectScriptDone();
}

TEST_F(AsciiAllocations, NoneInATransaction)
{
    open();
    peer.expect(textBytes(":010300000001FB\r\n")).send(asciiFrame({0x01, 0x03, 0x02, 0x12, 0x34}));
    peer.start();
    short reg = 0;
    int result = 0;
    EXPECT_EQ(allocationsDuring([&] { result = master.readMultipleRegisters(1, 1, &reg, 1); }), 0);
    EXPECT_EQ(result, MBUS_SUCCESS);
    expectScriptDone();
}

TEST_F(ElamAllocations, NoneInAnExtendedRead)
{
    open(115200);
    Bytes reply = {0xF8, 0x34, 0x03, 0x03, 0xE8};
    reply.insert(reply.end(), 1000, 0x11);
    peer.expect(withCrc({0xF8, 0x34, 0x03, 0x00, 0x00, 0x01, 0xF4})).send(withCrc(reply));
    peer.start();
    std::vector<short> regs(500);
    int result = 0;
    EXPECT_EQ(allocationsDuring([&] { result = master.readMultipleRegisters(300, 1, regs.data(), 500); }), 0);
    EXPECT_EQ(result, MBUS_SUCCESS);
    EXPECT_EQ(regs[499], 0x1111);
    expectScriptDone();
}
