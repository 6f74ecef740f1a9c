#include "prototype_fault_check.h"

#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <thread>

#include "ip/tcp_master_protocol.h"
#include "mbus.h"
#include "sim/tcp_device.h"
#include "tcp_exchange_prototype.h"

using mbus::MbusTcpMasterProtocol;

namespace {
using Clock = std::chrono::steady_clock;
constexpr int kTimeOutMs = 100;

void ignoreSignal(int) {}

// Runs `transaction`, interrupted by a signal every 10 ms (for at most a second) when asked;
// its result and the milliseconds it took.
int timed(bool signalled, double *ms, const std::function<int()> &transaction)
{
    std::atomic<bool> done{false};
    std::thread interrupter;
    if (signalled) {
        struct sigaction action {};
        action.sa_handler = ignoreSignal; // no SA_RESTART: waits end with EINTR
        sigemptyset(&action.sa_mask);
        ::sigaction(SIGUSR1, &action, nullptr);
        pthread_t target = ::pthread_self();
        interrupter = std::thread([&done, target] {
            for (int i = 0; i < 100 && !done.load(); ++i) {
                ::pthread_kill(target, SIGUSR1);
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        });
    }
    auto start = Clock::now();
    int result = transaction();
    *ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    done = true;
    if (interrupter.joinable())
        interrupter.join();
    return result;
}

bool reconnects(int result)
{
    return result == MBUS_INVALID_FRAME_ERROR || result == MBUS_INVALID_REPLY_ERROR || result == MBUS_REPLY_TIMEOUT;
}
} // namespace

PrototypeFaultCheck::Outcome PrototypeFaultCheck::library(sim::TcpDevice &device, const Case &c)
{
    Outcome outcome;
    MbusTcpMasterProtocol master;
    short values[125];
    if (master.setPort(static_cast<std::uint16_t>(device.port())) != MBUS_SUCCESS ||
        master.setTimeout(kTimeOutMs) != MBUS_SUCCESS || master.setRetryCnt(0) != MBUS_SUCCESS ||
        master.openConnection("127.0.0.1") != MBUS_SUCCESS)
        return outcome;
    device.pushFault(c.fault);
    outcome.result = timed(c.signalled, &outcome.ms,
                           [&] { return master.readMultipleRegisters(1, 1, values, c.registers); });
    outcome.next = master.readMultipleRegisters(1, 1, values, c.registers);
    return outcome;
}

PrototypeFaultCheck::Outcome PrototypeFaultCheck::prototype(sim::TcpDevice &device, const Case &c)
{
    Outcome outcome;
    TcpExchangePrototype exchange;
    short values[125];
    if (exchange.open(device.port(), kTimeOutMs) != MBUS_SUCCESS)
        return outcome;
    device.pushFault(c.fault);
    outcome.result = timed(c.signalled, &outcome.ms,
                           [&] { return exchange.readHoldingRegisters(1, 0, values, c.registers); });
    // The library rebuilds the connection after these, before the next transaction.
    if (reconnects(outcome.result) && exchange.open(device.port(), kTimeOutMs) != MBUS_SUCCESS)
        return outcome;
    outcome.next = exchange.readHoldingRegisters(1, 0, values, c.registers);
    return outcome;
}

bool PrototypeFaultCheck::run()
{
    using sim::FaultKind;
    const Case cases[] = {
        {"plain reply", {FaultKind::None, 0}, 1, false},
        {"reply after 50 ms", {FaultKind::Delay, 50}, 1, false},
        {"reply after 150 ms (late)", {FaultKind::Delay, 150}, 1, false},
        {"no reply", {FaultKind::Drop, 0}, 1, false},
        {"byte by byte, 20 ms apart", {FaultKind::Trickle, 20}, 1, false},
        {"byte by byte, 150 ms apart", {FaultKind::Trickle, 150}, 1, false},
        {"read 125, byte by byte, 1 ms", {FaultKind::Trickle, 1}, 125, false},
        {"read 125 in 3 pieces, 30 ms", {FaultKind::SplitReply, 30}, 125, false},
        {"half a reply, then silence", {FaultKind::CutHalf, 0}, 125, false},
        {"length field 4 too long", {FaultKind::LyingLength, 4}, 1, false},
        {"length field beyond a frame", {FaultKind::LyingLength, 300}, 1, false},
        {"foreign transaction id", {FaultKind::WrongTransactionId, 0}, 1, false},
        {"previous request's reply", {FaultKind::LateReply, 0}, 1, false},
        {"protocol id 1", {FaultKind::WrongProtocolId, 0}, 1, false},
        {"other unit id", {FaultKind::WrongUnitId, 0}, 1, false},
        {"unit id 0", {FaultKind::UnitIdZero, 0}, 1, false},
        {"other function code", {FaultKind::WrongFunctionCode, 0}, 1, false},
        {"exception 2", {FaultKind::Exception, 2}, 1, false},
        {"7 junk bytes behind the reply", {FaultKind::ExtraBytes, 7}, 1, false},
        {"connection closed", {FaultKind::Close, 0}, 1, false},
        {"connection reset", {FaultKind::Reset, 0}, 1, false},
        {"reply after 50 ms, signals", {FaultKind::Delay, 50}, 1, true},
        {"no reply, signals every 10 ms", {FaultKind::Drop, 0}, 1, true},
    };
    sim::TcpDevice device;
    if (device.start() <= 0) {
        std::fprintf(stderr, "mbbench: cannot start the simulated device\n");
        return false;
    }
    std::printf("The prototype beside the library against the simulated device's faults (time-out %d ms, no "
                "retries; result codes, ms, result of the next transaction)\n\n",
                kTimeOutMs);
    std::printf("%-32s %8s %8s %6s   %9s %8s %6s   %s\n", "case", "library", "ms", "next", "prototype", "ms", "next",
                "codes");
    bool agree = true;
    for (const Case &c : cases) {
        Outcome a = library(device, c);
        Outcome b = prototype(device, c);
        bool same = a.result == b.result && a.next == b.next && a.result >= 0;
        agree = agree && same;
        std::printf("%-32s %8d %8.1f %6d   %9d %8.1f %6d   %s\n", c.name, a.result, a.ms, a.next, b.result, b.ms,
                    b.next, same ? "same" : "DIFFER");
    }

    // A text answer behind the reply to a read of register 9999 arrives in the same segment; the
    // prototype finds it among the bytes behind the reply, the library in its one receive.
    MbusTcpMasterProtocol master;
    TcpExchangePrototype exchange;
    char answer[256] = {};
    master.setPort(static_cast<std::uint16_t>(device.port()));
    int libraryText = master.openConnection("127.0.0.1");
    if (libraryText == MBUS_SUCCESS)
        libraryText = master.sendAsciiCommand("VER", answer);
    const unsigned char write[] = {0x27, 0x0F, 0x00, 0x02, 0x04, 'V', 'E', 'R', '\r'};
    const unsigned char read[] = {0x27, 0x0F, 0x00, 0x28};
    unsigned char scratch[4];
    int prototypeText = exchange.open(device.port(), kTimeOutMs);
    if (prototypeText == MBUS_SUCCESS)
        prototypeText = exchange.exchange(1, 16, write, sizeof write, scratch, 4, nullptr);
    if (prototypeText == MBUS_SUCCESS)
        prototypeText = exchange.exchange(1, 3, read, sizeof read, scratch, 1, nullptr);
    std::string behind(reinterpret_cast<const char *>(exchange.lastSurplus()),
                       static_cast<std::size_t>(prototypeText == MBUS_SUCCESS ? exchange.surplusSize() : 0));
    std::string libraryAnswer = answer;
    if (behind.find('\r') != std::string::npos)
        behind.resize(behind.find('\r'));
    bool sameText = libraryText == prototypeText && libraryAnswer == behind;
    std::printf("%-32s %8d %8s %6s   %9d %8s %6s   %s (\"%s\" / \"%s\")\n", "text behind a reply (9999)", libraryText,
                "", "", prototypeText, "", "", sameText ? "same" : "DIFFER", libraryAnswer.c_str(), behind.c_str());
    return agree && sameText;
}
