// Unit identifiers, broadcasts, the diagnostic function codes and sustained traffic against the
// peer devices, each as the peer really behaves (see the PeerProfile table in peers.cpp).
#include "tests/interop/interop_fixture.h"

#include <chrono>
#include <string>
#include <thread>

namespace {

using device::kOtherUnit;
using device::kUnit;

int ref(int wireAddr) { return wireAddr + 1; }

// The serial-line standard suggests 100 to 200 ms after a broadcast.
constexpr std::chrono::milliseconds kTurnaround{200};

} // namespace

TEST_P(Interop, UnitIdentifiers)
{
    short reg = 0;
    switch (profile().unknownUnit) {
    case UnknownUnit::Answered:
        // A Modbus/TCP device is addressed by its IP address; the unit identifier is echoed.
        for (int unit : {kOtherUnit, 0, 255}) {
            reg = 0;
            EXPECT_EQ(MBUS_SUCCESS, mbusReadInputRegisters(master, unit, ref(2), &reg, 1)) << unit;
            EXPECT_EQ(static_cast<short>(device::inputRegister(2)), reg) << unit;
        }
        break;
    case UnknownUnit::GatewayException:
        EXPECT_EQ(MBUS_GATEWAY_TARGET_FAILED_RESPONSE, mbusReadInputRegisters(master, kOtherUnit, ref(2), &reg, 1));
        EXPECT_EQ(MBUS_GATEWAY_TARGET_FAILED_RESPONSE, mbusReadInputRegisters(master, 0, ref(2), &reg, 1));
        // 255, the identifier the host commands use, reaches the device.
        EXPECT_EQ(MBUS_SUCCESS, mbusReadInputRegisters(master, 255, ref(2), &reg, 1));
        EXPECT_EQ(static_cast<short>(device::inputRegister(2)), reg);
        break;
    case UnknownUnit::Ignored:
        // No reply; the master gives up after its time-out and the next request goes through
        // (the TCP-framed masters reconnect first).
        ASSERT_NO_FATAL_FAILURE(open(kSilenceTimeoutMs));
        EXPECT_EQ(MBUS_REPLY_TIMEOUT, mbusReadInputRegisters(master, kOtherUnit, ref(2), &reg, 1));
        EXPECT_EQ(MBUS_SUCCESS, mbusReadInputRegisters(master, kUnit, ref(2), &reg, 1));
        EXPECT_EQ(static_cast<short>(device::inputRegister(2)), reg);
        break;
    case UnknownUnit::IgnoredWithItsReply:
        ASSERT_NO_FATAL_FAILURE(open(kSilenceTimeoutMs));
        EXPECT_EQ(MBUS_REPLY_TIMEOUT, mbusReadInputRegisters(master, kOtherUnit, ref(2), &reg, 1));
        // A write-single-register request has the size of its reply: dropped whole, not carried out.
        EXPECT_EQ(MBUS_REPLY_TIMEOUT, mbusWriteSingleRegister(master, kUnit, ref(85), 0x5555));
        EXPECT_EQ(MBUS_SUCCESS, mbusReadMultipleRegisters(master, kUnit, ref(85), &reg, 1));
        EXPECT_EQ(0, reg);
        break;
    }
}

TEST_P(Interop, BroadcastWriteOnTheSerialLineOrUnitZeroElsewhere)
{
    short reg = 0;
    if (isSerialLine()) {
        // Sent without waiting for a reply; the device carries it out and keeps silent. Before
        // the next request the master waits a turnaround delay, as a serial-line master must after
        // a broadcast: on a pseudo-terminal the purge that starts the next transaction would
        // otherwise discard a request the device has not read yet.
        EXPECT_EQ(MBUS_SUCCESS, mbusWriteSingleRegister(master, 0, ref(80), 0x0B0B));
        std::this_thread::sleep_for(kTurnaround);
        const short pair[] = {0x0C0C, 0x0D0D};
        EXPECT_EQ(MBUS_SUCCESS, mbusWriteMultipleRegisters(master, 0, ref(81), pair, 2));
        std::this_thread::sleep_for(kTurnaround);
        short regs[3] = {};
        ASSERT_EQ(MBUS_SUCCESS, mbusReadMultipleRegisters(master, kUnit, ref(80), regs, 3));
        EXPECT_EQ(0x0B0B, regs[0]);
        EXPECT_EQ(0x0C0C, regs[1]);
        EXPECT_EQ(0x0D0D, regs[2]);
    } else if (profile().unknownUnit == UnknownUnit::Ignored) {
        // The IP masters wait for a reply even for unit 0, which a line framing never sends.
        ASSERT_NO_FATAL_FAILURE(open(kSilenceTimeoutMs));
        EXPECT_EQ(MBUS_REPLY_TIMEOUT, mbusWriteSingleRegister(master, 0, ref(80), 0x0B0B));
        EXPECT_EQ(MBUS_SUCCESS, mbusReadMultipleRegisters(master, kUnit, ref(80), &reg, 1));
    } else {
        // Behind an MBAP header unit 0 is an ordinary identifier: answered or refused.
        const int rc = mbusWriteSingleRegister(master, 0, ref(80), 0x0B0B);
        if (profile().unknownUnit == UnknownUnit::Answered) {
            EXPECT_EQ(MBUS_SUCCESS, rc);
            ASSERT_EQ(MBUS_SUCCESS, mbusReadMultipleRegisters(master, kUnit, ref(80), &reg, 1));
            EXPECT_EQ(0x0B0B, reg);
        } else {
            EXPECT_EQ(MBUS_GATEWAY_TARGET_FAILED_RESPONSE, rc);
        }
    }
}

TEST_P(Interop, ExceptionStatusAndDiagnostics)
{
    unsigned char status = 0xAA;
    const unsigned char query[] = {0x12, 0x34};
    unsigned char echo[2] = {};
    if (profile().diagnostics) {
        ASSERT_EQ(MBUS_SUCCESS, mbusReadExceptionStatus(master, kUnit, &status));
        EXPECT_EQ(0, status); // no event counted by the device
        ASSERT_EQ(MBUS_SUCCESS, mbusReturnQueryData(master, kUnit, query, echo, 2));
        EXPECT_EQ(0x12, echo[0]);
        EXPECT_EQ(0x34, echo[1]);
        EXPECT_EQ(MBUS_SUCCESS, mbusRestartCommunicationsOption(master, kUnit, 0));
        EXPECT_EQ(MBUS_SUCCESS, mbusRestartCommunicationsOption(master, kUnit, 1));
    } else {
        // libmodbus answers neither function code 7 nor 8 normally. Code 7 it leaves without
        // any reply; the master times out, keeps the status byte and goes on.
        ASSERT_NO_FATAL_FAILURE(open(kSilenceTimeoutMs));
        EXPECT_EQ(MBUS_REPLY_TIMEOUT, mbusReadExceptionStatus(master, kUnit, &status));
        EXPECT_EQ(0xAA, status);
        // Its exception replies come only after its own response time-out.
        ASSERT_NO_FATAL_FAILURE(open());
        if (isMbapFramed()) {
            // Code 8 it refuses properly (its RTU framing cannot find the end of the request).
            EXPECT_EQ(MBUS_ILLEGAL_FUNCTION_RESPONSE, mbusReturnQueryData(master, kUnit, query, echo, 2));
            EXPECT_EQ(MBUS_ILLEGAL_FUNCTION_RESPONSE, mbusRestartCommunicationsOption(master, kUnit, 0));
        }
    }
    short reg = 0;
    EXPECT_EQ(MBUS_SUCCESS, mbusReadInputRegisters(master, kUnit, ref(3), &reg, 1));
    EXPECT_EQ(static_cast<short>(device::inputRegister(3)), reg);

    if (isMbapFramed()) {
        // Report slave ID (17) through the pass-through: a reply of a length only the device
        // knows, which the MBAP length field announces.
        unsigned char reply[252] = {};
        int replyLen = 252;
        ASSERT_EQ(MBUS_SUCCESS, mbusCustomFunction(master, kUnit, 17, nullptr, 0, reply, &replyLen));
        ASSERT_GE(replyLen, 3);
        EXPECT_EQ(replyLen - 1, reply[0]); // byte count
        const std::string text(reinterpret_cast<const char *>(reply) + 1, static_cast<std::size_t>(replyLen - 1));
        EXPECT_NE(std::string::npos, text.find(profile().peer == Peer::Libmodbus ? "LMB" : "Pymodbus")) << text;
    }
}

TEST_P(Interop, SustainedTraffic)
{
    // Behind MBAP headers 300 transactions take the transaction identifier across byte borders.
    const int count = isMbapFramed() ? 300 : 60;
    mbusResetTotalCounter(master);
    mbusResetSuccessCounter(master);
    for (int i = 0; i < count; ++i) {
        const short value = static_cast<short>(i * 257);
        ASSERT_EQ(MBUS_SUCCESS, mbusWriteSingleRegister(master, kUnit, ref(900 + i % 50), value)) << i;
        short back = -1;
        ASSERT_EQ(MBUS_SUCCESS, mbusReadMultipleRegisters(master, kUnit, ref(900 + i % 50), &back, 1)) << i;
        ASSERT_EQ(value, back) << i;
    }
    EXPECT_EQ(2 * count, mbusGetTotalCounter(master));
    EXPECT_EQ(2 * count, mbusGetSuccessCounter(master));
}
