// Many masters at once, one thread each, against shared simulated devices: every transaction of
// every thread is correct. Built with -fsanitize=thread by scripts/tsan, which also shows that
// masters share no state.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "ip/ascii_over_tcp_master_protocol.h"
#include "ip/rtu_over_tcp_master_protocol.h"
#include "ip/tcp_master_protocol.h"
#include "ip/udp_master_protocol.h"
#include "mbus.h"
#include "serial/ascii_master_protocol.h"
#include "serial/elam_master_protocol.h"
#include "serial/rtu_master_protocol.h"
#include "sim/ascii_over_tcp_device.h"
#include "sim/rtu_over_tcp_device.h"
#include "sim/serial_device.h"
#include "sim/tcp_device.h"
#include "sim/udp_device.h"

using namespace mbus;

namespace {

constexpr int kIpThreads = 32;
constexpr int kRounds = 150;
constexpr int kBlock = 10; // registers and coils per round

// What one thread saw; threads write only their own entry.
struct Outcome {
    int failures = 0;
    int transactions = 0;
    std::string firstFailure;
};

void fail(Outcome &outcome, const std::string &what)
{
    if (outcome.failures++ == 0)
        outcome.firstFailure = what;
}

// Each thread owns registers and coils [base, base + kRounds + kBlock) of its device: it writes,
// reads back and compares, and reads a block of input registers that no one writes.
void work(MbusMasterFunctions &master, int slave, int base, Outcome &outcome)
{
    for (int round = 0; round < kRounds && outcome.failures < 5; ++round) {
        const int ref = base + round + 1;
        short written[kBlock];
        int coils[kBlock];
        for (int i = 0; i < kBlock; ++i) {
            written[i] = static_cast<short>(base * 7 + round * 13 + i);
            coils[i] = (base + round + i) % 3 == 0;
        }
        short read[kBlock] = {};
        int coilsRead[kBlock] = {};
        int r = master.writeMultipleRegisters(slave, ref, written, kBlock);
        if (r == MBUS_SUCCESS)
            r = master.readMultipleRegisters(slave, ref, read, kBlock);
        if (r == MBUS_SUCCESS)
            r = master.forceMultipleCoils(slave, ref, coils, kBlock);
        if (r == MBUS_SUCCESS)
            r = master.readCoils(slave, ref, coilsRead, kBlock);
        outcome.transactions += 4;
        if (r != MBUS_SUCCESS) {
            fail(outcome, "round " + std::to_string(round) + ": result " + std::to_string(r));
            continue;
        }
        for (int i = 0; i < kBlock; ++i) {
            if (read[i] != written[i] || coilsRead[i] != coils[i])
                fail(outcome, "round " + std::to_string(round) + ": wrong data at " + std::to_string(i));
        }
    }
}

template <class Master>
std::unique_ptr<MbusMasterFunctions> openIp(int port, Outcome &outcome)
{
    auto master = std::make_unique<Master>();
    int r = master->setPort(static_cast<std::uint16_t>(port));
    if (r == MBUS_SUCCESS)
        r = master->setTimeout(5000);
    if (r == MBUS_SUCCESS)
        r = master->openConnection("127.0.0.1");
    if (r != MBUS_SUCCESS)
        fail(outcome, "open: " + std::to_string(r));
    return master;
}

TEST(ManyMasters, ThirtyTwoIpMastersOnThirtyTwoThreads)
{
    sim::TcpDevice tcp;
    sim::UdpDevice udp;
    sim::RtuOverTcpDevice rtu;
    sim::AsciiOverTcpDevice ascii;
    const int ports[] = {tcp.start(), udp.start(), rtu.start(), ascii.start()};
    for (int port : ports)
        ASSERT_GT(port, 0);

    std::vector<Outcome> outcomes(kIpThreads);
    std::vector<std::thread> threads;
    std::atomic<int> ready{0};
    for (int t = 0; t < kIpThreads; ++t) {
        threads.emplace_back([&, t] {
            Outcome &outcome = outcomes[static_cast<std::size_t>(t)];
            std::unique_ptr<MbusMasterFunctions> master;
            switch (t % 4) {
            case 0:
                master = openIp<MbusTcpMasterProtocol>(ports[0], outcome);
                break;
            case 1:
                master = openIp<MbusUdpMasterProtocol>(ports[1], outcome);
                break;
            case 2:
                master = openIp<MbusRtuOverTcpMasterProtocol>(ports[2], outcome);
                break;
            default:
                master = openIp<MbusAsciiOverTcpMasterProtocol>(ports[3], outcome);
                break;
            }
            // Start together, so that the transactions really overlap (bounded wait).
            ++ready;
            for (int spin = 0; spin < 5000 && ready < kIpThreads; ++spin)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            if (outcome.failures == 0)
                work(*master, 1 + t % 7, 1000 * t, outcome);
        });
    }
    for (std::thread &thread : threads)
        thread.join();

    int transactions = 0;
    for (int t = 0; t < kIpThreads; ++t) {
        const Outcome &outcome = outcomes[static_cast<std::size_t>(t)];
        EXPECT_EQ(0, outcome.failures) << "thread " << t << ": " << outcome.firstFailure;
        transactions += outcome.transactions;
    }
    EXPECT_EQ(kIpThreads * kRounds * 4, transactions);
    // What the threads wrote is in the devices, each in its own block.
    for (int t = 0; t < kIpThreads; ++t) {
        sim::DeviceBase &device = t % 4 == 0 ? static_cast<sim::DeviceBase &>(tcp)
                                  : t % 4 == 1 ? static_cast<sim::DeviceBase &>(udp)
                                  : t % 4 == 2 ? static_cast<sim::DeviceBase &>(rtu)
                                               : static_cast<sim::DeviceBase &>(ascii);
        const int last = kRounds - 1;
        EXPECT_EQ(static_cast<std::uint16_t>(1000 * t * 7 + last * 13),
                  device.holdingRegister(static_cast<std::uint16_t>(1000 * t + last)))
            << "thread " << t;
    }
}

TEST(ManyMasters, SerialMastersOnTheirOwnThreadsBesideIpMasters)
{
    // Serial lines are one master each: three pseudo-terminals, plus eight TCP masters on one device.
    sim::SerialDevice rtuLine, asciiLine, elamLine;
    const std::string paths[] = {rtuLine.start(sim::SerialFraming::Rtu), asciiLine.start(sim::SerialFraming::Ascii),
                                 elamLine.start(sim::SerialFraming::ExtendedRtu)};
    for (const std::string &path : paths)
        ASSERT_FALSE(path.empty());
    sim::TcpDevice tcp;
    const int port = tcp.start();
    ASSERT_GT(port, 0);

    constexpr int kThreads = 11;
    std::vector<Outcome> outcomes(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            Outcome &outcome = outcomes[static_cast<std::size_t>(t)];
            std::unique_ptr<MbusMasterFunctions> master;
            int slave = 1;
            if (t < 3) {
                std::unique_ptr<MbusSerialClientBase> serial;
                if (t == 0)
                    serial = std::make_unique<MbusRtuMasterProtocol>();
                else if (t == 1)
                    serial = std::make_unique<MbusAsciiMasterProtocol>();
                else
                    serial = std::make_unique<MbusElamMasterProtocol>();
                slave = t == 2 ? 1000 : 1; // an extended address on the ELAM line
                int r = serial->setTimeout(5000);
                if (r == MBUS_SUCCESS)
                    r = serial->openSerialPort(paths[t].c_str(), 115200, 8, 1, MBUS_PARITY_NONE);
                if (r != MBUS_SUCCESS)
                    fail(outcome, "open: " + std::to_string(r));
                master = std::move(serial);
            } else {
                master = openIp<MbusTcpMasterProtocol>(port, outcome);
            }
            if (outcome.failures == 0)
                work(*master, slave, 1000 * t, outcome);
        });
    }
    for (std::thread &thread : threads)
        thread.join();
    for (int t = 0; t < kThreads; ++t)
        EXPECT_EQ(0, outcomes[static_cast<std::size_t>(t)].failures)
            << "thread " << t << ": " << outcomes[static_cast<std::size_t>(t)].firstFailure;
}

} // namespace
