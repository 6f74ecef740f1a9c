// A long run of transactions with device faults mixed in: every result is the one the fault
// calls for, the data are right, the test thread allocates nothing inside any transaction, and
// the process's heap does not grow. MBUS_SOAK_TRANSACTIONS sets the total (default 100000), for
// example lower under a slow sanitizer build.
#include <gtest/gtest.h>

#include <malloc.h>

#include <cstdlib>
#include <new>
#include <string>
#include <vector>

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

#if defined(__SANITIZE_ADDRESS__)
#define MBUS_SOAK_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define MBUS_SOAK_UNDER_ASAN 1
#endif
#endif

namespace {

constexpr int kTimeoutMs = 20;

long soakTotal()
{
    const char *text = std::getenv("MBUS_SOAK_TRANSACTIONS");
    long total = text ? std::strtol(text, nullptr, 10) : 100000;
    return total > 0 ? total : 100000;
}

// One planned fault and the result it must give; None gives success.
struct Plan {
    sim::Fault fault;
    int result;
    bool reopen; // the device closed the connection: the caller reopens
};

// Roughly one transaction in 40 meets a fault, one in 1000 a time-out (they cost time).
const Plan *planFor(long i, const std::vector<Plan> &faults, const std::vector<Plan> &timeouts)
{
    if (i % 1000 == 999)
        return &timeouts[static_cast<std::size_t>(i / 1000) % timeouts.size()];
    if (i % 40 == 39)
        return &faults[static_cast<std::size_t>(i / 40) % faults.size()];
    return nullptr;
}

template <class Master, class Device>
void soak(long transactions, const std::vector<Plan> &faults, const std::vector<Plan> &timeouts, long *failures)
{
    Device device;
    int port = device.start();
    ASSERT_GT(port, 0);
    for (int r = 0; r < 16; ++r)
        device.setHoldingRegister(static_cast<std::uint16_t>(r), static_cast<std::uint16_t>(0x4000 + r));
    Master master;
    ASSERT_EQ(MBUS_SUCCESS, master.setPort(static_cast<std::uint16_t>(port)));
    ASSERT_EQ(MBUS_SUCCESS, master.setTimeout(kTimeoutMs));
    ASSERT_EQ(MBUS_SUCCESS, master.openConnection("127.0.0.1"));
    short regs[16];
    for (long i = 0; i < transactions; ++i) {
        const Plan *plan = planFor(i, faults, timeouts);
        if (plan)
            device.pushFault(plan->fault); // outside the counted part: the device's queue allocates
        int result;
        {
            allocation_counter::Scope scope;
            if (i % 2 == 0) {
                result = master.readMultipleRegisters(1, 1, regs, 16);
            } else {
                // The value register 1 holds already, so that the reads stay predictable.
                result = master.writeSingleRegister(1, 1, 0x4000);
            }
            if (plan && plan->reopen) {
                master.closeConnection();
                result = result * 1000 + master.openConnection("127.0.0.1");
            }
        }
        const int expected = plan ? (plan->reopen ? plan->result * 1000 : plan->result) : MBUS_SUCCESS;
        if (result != expected) {
            ++*failures;
            ADD_FAILURE() << "transaction " << i << ": " << result << " instead of " << expected;
            if (*failures > 10)
                return;
        }
        if (!plan && i % 2 == 0) {
            for (int r = 0; r < 16; ++r) {
                if (static_cast<std::uint16_t>(regs[r]) != 0x4000 + r) {
                    ++*failures;
                    ADD_FAILURE() << "transaction " << i << ": register " << r << " is " << regs[r];
                    return;
                }
            }
        }
    }
}

// Bytes in use on the heap (the test thread and the devices' threads alike).
std::size_t heapInUse()
{
    return mallinfo2().uordblks;
}

TEST(Soak, TransactionsWithFaultsKeepMemoryFlat)
{
    const long total = soakTotal();
    const std::vector<Plan> tcpFaults = {
        {{sim::FaultKind::Exception, 2}, MBUS_ILLEGAL_ADDRESS_RESPONSE, false},
        {{sim::FaultKind::WrongFunctionCode, 0}, MBUS_INVALID_FRAME_ERROR, false},
        {{sim::FaultKind::WrongUnitId, 0}, MBUS_INVALID_FRAME_ERROR, false},
        {{sim::FaultKind::UnitIdZero, 0}, MBUS_SUCCESS, false},
        {{sim::FaultKind::WrongTransactionId, 0}, MBUS_INVALID_MBAP_ID, false},
        {{sim::FaultKind::LateReply, 0}, MBUS_INVALID_MBAP_ID, false},
        {{sim::FaultKind::ExtraBytes, 7}, MBUS_SUCCESS, false},
        {{sim::FaultKind::Trickle, 0}, MBUS_SUCCESS, false},
        {{sim::FaultKind::Close, 0}, MBUS_CONNECTION_CLOSED, true},
        {{sim::FaultKind::Reset, 0}, MBUS_CONNECTION_CLOSED, true},
    };
    const std::vector<Plan> framedFaults = {
        {{sim::FaultKind::Exception, 4}, MBUS_SLAVE_FAILURE_RESPONSE, false},
        {{sim::FaultKind::BadChecksum, 0}, MBUS_CHECKSUM_ERROR, false},
        {{sim::FaultKind::WrongUnitId, 0}, MBUS_INVALID_FRAME_ERROR, false},
        {{sim::FaultKind::WrongFunctionCode, 0}, MBUS_INVALID_FRAME_ERROR, false},
        {{sim::FaultKind::ExtraBytes, 3}, MBUS_SUCCESS, false},
        {{sim::FaultKind::SplitReply, 1}, MBUS_SUCCESS, false},
        {{sim::FaultKind::Close, 0}, MBUS_CONNECTION_CLOSED, true},
    };
    const std::vector<Plan> udpFaults = {
        {{sim::FaultKind::Exception, 1}, MBUS_ILLEGAL_FUNCTION_RESPONSE, false},
        {{sim::FaultKind::WrongFunctionCode, 0}, MBUS_INVALID_FRAME_ERROR, false},
        {{sim::FaultKind::ShortDatagram, 8}, MBUS_INVALID_REPLY_ERROR, false},
        {{sim::FaultKind::WrongProtocolId, 0}, MBUS_INVALID_MBAP_ID, false},
    };
    const std::vector<Plan> timeouts = {
        {{sim::FaultKind::Drop, 0}, MBUS_REPLY_TIMEOUT, false},
        {{sim::FaultKind::CutHalf, 0}, MBUS_REPLY_TIMEOUT, false},
    };
    // Half a datagram is a datagram: a lost one is the only time-out.
    const std::vector<Plan> udpTimeouts = {{{sim::FaultKind::Drop, 0}, MBUS_REPLY_TIMEOUT, false}};

    long failures = 0;
    // Warm-up: the devices' first buffers, the first connections.
    soak<MbusTcpMasterProtocol, sim::TcpDevice>(2000, tcpFaults, timeouts, &failures);
    const std::size_t heapBefore = heapInUse();
    allocation_counter::reset();
    (void)heapBefore; // not compared under AddressSanitizer, whose allocator keeps freed blocks

    soak<MbusTcpMasterProtocol, sim::TcpDevice>(total * 4 / 10, tcpFaults, timeouts, &failures);
    soak<MbusRtuOverTcpMasterProtocol, sim::RtuOverTcpDevice>(total * 2 / 10, framedFaults, timeouts, &failures);
    soak<MbusAsciiOverTcpMasterProtocol, sim::AsciiOverTcpDevice>(total * 2 / 10, framedFaults, timeouts, &failures);
    soak<MbusUdpMasterProtocol, sim::UdpDevice>(total * 2 / 10, udpFaults, udpTimeouts, &failures);

    EXPECT_EQ(0, failures);
    EXPECT_EQ(0, allocation_counter::count()) << "allocations on the test thread inside transactions";
#ifndef MBUS_SOAK_UNDER_ASAN
    // Everything of the runs above is gone again; what is left is the allocator's own slack.
    const std::size_t heapAfter = heapInUse();
    EXPECT_LT(heapAfter, heapBefore + 64 * 1024) << heapBefore << " bytes in use before, " << heapAfter << " after";
#endif
}

TEST(Soak, TheCounterSeesAllocations)
{
    allocation_counter::reset();
    {
        allocation_counter::Scope scope;
        std::string probe(100, 'x');
        EXPECT_EQ(100u, probe.size());
    }
    EXPECT_EQ(1, allocation_counter::count());
}

} // namespace
