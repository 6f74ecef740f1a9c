// The ASCII master end to end over a pseudo terminal against a scripted device.
#include <gtest/gtest.h>

#include "pty_fixture.h"
#include "serial/ascii_master_protocol.h"

using namespace mbus;

namespace {

using AsciiOverPty = MasterOnPty<MbusAsciiMasterProtocol>;
using std::chrono::milliseconds;

const Bytes kReadOneRequest = textBytes(":010300000001FB\r\n");
const Bytes kReadOneReply = asciiFrame({0x01, 0x03, 0x02, 0x12, 0x34});

} // namespace

TEST_F(AsciiOverPty, ReadsAndWritesWithSevenDataBits)
{
    open(9600, 1000, 0, 0, 7, MBUS_PARITY_EVEN);
    peer.expect(kReadOneRequest).send(kReadOneReply);
    peer.expect(asciiFrame({0x11, 0x10, 0x00, 0x09, 0x00, 0x02, 0x04, 0xAB, 0xCD, 0x00, 0x01}))
        .send(asciiFrame({0x11, 0x10, 0x00, 0x09, 0x00, 0x02}));
    peer.start();
    short reg = 0;
    EXPECT_EQ(master.readMultipleRegisters(1, 1, &reg, 1), MBUS_SUCCESS);
    EXPECT_EQ(reg, 0x1234);
    const short regs[] = {static_cast<short>(0xABCD), 1};
    EXPECT_EQ(master.writeMultipleRegisters(0x11, 10, regs, 2), MBUS_SUCCESS);
    expectScriptDone();
}

TEST_F(AsciiOverPty, FrameFaults)
{
    open(9600, 1000);
    // Lower-case hex digits are not accepted.
    peer.expect(kReadOneRequest).send(asciiFrame({0x01, 0x03, 0x02, 0xAB, 0xCD}, true));
    // The closing pair is read but not checked.
    Bytes noCrLf = kReadOneReply;
    noCrLf[noCrLf.size() - 2] = 'x';
    noCrLf[noCrLf.size() - 1] = 'y';
    peer.expect(kReadOneRequest).send(noCrLf);
    // A bad LRC, a missing colon, another slave.
    Bytes badLrc = kReadOneReply;
    badLrc[11] = badLrc[11] == '0' ? '1' : '0';
    peer.expect(kReadOneRequest).send(badLrc);
    Bytes noColon = kReadOneReply;
    noColon[0] = '#';
    peer.expect(kReadOneRequest).send(noColon);
    peer.expect(kReadOneRequest).send(asciiFrame({0x02, 0x03, 0x02, 0x12, 0x34}));
    peer.start();
    short reg = 0;
    EXPECT_EQ(master.readMultipleRegisters(1, 1, &reg, 1), MBUS_INVALID_FRAME_ERROR);
    EXPECT_EQ(master.readMultipleRegisters(1, 1, &reg, 1), MBUS_SUCCESS);
    EXPECT_EQ(reg, 0x1234);
    EXPECT_EQ(master.readMultipleRegisters(1, 1, &reg, 1), MBUS_CHECKSUM_ERROR);
    EXPECT_EQ(master.readMultipleRegisters(1, 1, &reg, 1), MBUS_INVALID_FRAME_ERROR);
    EXPECT_EQ(master.readMultipleRegisters(1, 1, &reg, 1), MBUS_INVALID_FRAME_ERROR);
    expectScriptDone();
}

TEST_F(AsciiOverPty, ExceptionFrameIsElevenCharacters)
{
    open(9600, 5000, 2);
    // A read of 100 registers expects 209 characters; the exception frame ends it at 11.
    peer.expect(textBytes(":010300000064")).expect(textBytes("98\r\n")).send(asciiFrame({0x01, 0x83, 0x02}));
    peer.expectSilence(100);
    peer.start();
    short regs[100];
    auto start = Clock::now();
    EXPECT_EQ(master.readMultipleRegisters(1, 1, regs, 100), MBUS_ILLEGAL_ADDRESS_RESPONSE);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(4)); // not a time-out
    EXPECT_EQ(master.getTotalCounter(), 1);
    expectScriptDone();
}

TEST_F(AsciiOverPty, RetriesChecksumErrorsAndTimeOuts)
{
    open(9600, 50, 2);
    Bytes badLrc = kReadOneReply;
    badLrc[12] = badLrc[12] == '0' ? '1' : '0';
    peer.expect(kReadOneRequest).send(badLrc);
    peer.expect(kReadOneRequest); // silence
    peer.expect(kReadOneRequest).send(kReadOneReply);
    peer.start();
    short reg = 0;
    EXPECT_EQ(master.readMultipleRegisters(1, 1, &reg, 1), MBUS_SUCCESS);
    EXPECT_EQ(reg, 0x1234);
    EXPECT_EQ(master.getTotalCounter(), 3);
    EXPECT_EQ(master.getSuccessCounter(), 1);
    expectScriptDone();
}

TEST_F(AsciiOverPty, ShortReplyTimesOutAndBroadcastDoesNotWait)
{
    open(9600, 50);
    peer.expect(kReadOneRequest).send(Bytes(kReadOneReply.begin(), kReadOneReply.end() - 3));
    peer.expect(asciiFrame({0x00, 0x05, 0x00, 0x00, 0xFF, 0x00}));
    peer.start();
    short reg = 0;
    auto start = Clock::now();
    EXPECT_EQ(master.readMultipleRegisters(1, 1, &reg, 1), MBUS_REPLY_TIMEOUT);
    EXPECT_GE(Clock::now() - start, milliseconds(50));
    EXPECT_EQ(master.writeCoil(0, 1, 1), MBUS_SUCCESS);
    expectScriptDone();
}
