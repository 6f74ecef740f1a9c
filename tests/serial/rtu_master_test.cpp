// The RTU master end to end over a pseudo terminal against a scripted device.
#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include <fcntl.h>

#include "pty_fixture.h"
#include "serial/rtu_master_protocol.h"

using namespace mbus;

namespace {

using RtuOverPty = MasterOnPty<MbusRtuMasterProtocol>;
using std::chrono::milliseconds;

const Bytes kReadOneRequest = {0x01, 0x03, 0x00, 0x00, 0x00, 0x01, 0x84, 0x0A};
const Bytes kReadOneReply = withCrc({0x01, 0x03, 0x02, 0x12, 0x34});
const Bytes kWriteRequest = withCrc({0x01, 0x06, 0x00, 0x00, 0x12, 0x34});

} // namespace

TEST_F(RtuOverPty, ReadsAndWrites)
{
    open();
    peer.expect(kReadOneRequest).send(kReadOneReply);
    // Ten coils from 0xCD 0x01.
    peer.expect(withCrc({0x01, 0x01, 0x00, 0x13, 0x00, 0x0A})).send(withCrc({0x01, 0x01, 0x02, 0xCD, 0x01}));
    peer.expect(kWriteRequest).send(kWriteRequest);
    peer.start();

    short reg = 0;
    EXPECT_EQ(master.readMultipleRegisters(1, 1, &reg, 1), MBUS_SUCCESS);
    EXPECT_EQ(reg, 0x1234);
    int bits[10] = {};
    EXPECT_EQ(master.readCoils(1, 20, bits, 10), MBUS_SUCCESS);
    EXPECT_EQ(std::vector<int>(bits, bits + 10), (std::vector<int>{1, 0, 1, 1, 0, 0, 1, 1, 1, 0}));
    EXPECT_EQ(master.writeSingleRegister(1, 1, 0x1234), MBUS_SUCCESS);
    EXPECT_EQ(master.getTotalCounter(), 3);
    EXPECT_EQ(master.getSuccessCounter(), 3);
    expectScriptDone();
}

TEST_F(RtuOverPty, ExceptionResponsesAreNotRetried)
{
    open(9600, 1000, 3);
    peer.expect(kReadOneRequest).send({0x01, 0x83, 0x02, 0xC0, 0xF1});
    peer.expect(kReadOneRequest).send(withCrc({0x01, 0x83, 0x06}));
    peer.expectSilence(100);
    peer.start();
    short reg = 5;
    EXPECT_EQ(master.readMultipleRegisters(1, 1, &reg, 1), MBUS_ILLEGAL_ADDRESS_RESPONSE);
    EXPECT_EQ(reg, 0);
    EXPECT_EQ(master.readMultipleRegisters(1, 1, &reg, 1), 166);
    EXPECT_EQ(master.getTotalCounter(), 2);
    EXPECT_EQ(master.getSuccessCounter(), 0);
    expectScriptDone();
}

TEST_F(RtuOverPty, ChecksumErrorThenGoodReply)
{
    open(9600, 1000, 1);
    Bytes corrupted = kReadOneReply;
    corrupted[3] ^= 0x10;
    peer.expect(kReadOneRequest).send(corrupted).expect(kReadOneRequest).send(kReadOneReply);
    peer.start();
    short reg = 0;
    EXPECT_EQ(master.readMultipleRegisters(1, 1, &reg, 1), MBUS_SUCCESS);
    EXPECT_EQ(reg, 0x1234);
    EXPECT_EQ(master.getTotalCounter(), 2);
    EXPECT_EQ(master.getSuccessCounter(), 1);
    expectScriptDone();
}

TEST_F(RtuOverPty, SilentSlaveWithRetriesAndPollDelay)
{
    open(9600, 20, 2, 120);
    peer.expect(kReadOneRequest).expect(kReadOneRequest).expect(kReadOneRequest).expectSilence(100);
    peer.start();
    short reg = 0;
    auto start = Clock::now();
    EXPECT_EQ(master.readMultipleRegisters(1, 1, &reg, 1), MBUS_REPLY_TIMEOUT);
    EXPECT_GE(Clock::now() - start, milliseconds(2 * 120 + 20));
    EXPECT_EQ(master.getTotalCounter(), 3);
    EXPECT_EQ(master.getSuccessCounter(), 0);
    expectScriptDone();
    // The sends are a poll delay apart. The peer stamps each frame when it gets to read it, which a
    // loaded machine can delay by tens of milliseconds; without the delay they would be 20 ms apart.
    auto times = peer.expectTimes();
    ASSERT_EQ(times.size(), 3u);
    EXPECT_GE(times[1] - times[0], milliseconds(80));
    EXPECT_GE(times[2] - times[1], milliseconds(80));
}

TEST_F(RtuOverPty, WrongAddressOrFunctionIsAnInvalidFrame)
{
    open();
    peer.expect(kReadOneRequest).send(withCrc({0x02, 0x03, 0x02, 0x12, 0x34}));
    peer.expect(kReadOneRequest).send(withCrc({0x01, 0x04, 0x02, 0x12, 0x34}));
    peer.start();
    short reg = 0;
    EXPECT_EQ(master.readMultipleRegisters(1, 1, &reg, 1), MBUS_INVALID_FRAME_ERROR);
    EXPECT_EQ(master.readMultipleRegisters(1, 1, &reg, 1), MBUS_INVALID_FRAME_ERROR);
    expectScriptDone();
}

TEST_F(RtuOverPty, EchoIsTakenAsTheReply)
{
    open();
    // A write-single-register echo equals its reply.
    peer.expect(kWriteRequest).send(kWriteRequest);
    // The echo of a read is not a valid reply.
    peer.expect(kReadOneRequest).send(concat(kReadOneRequest, kReadOneReply));
    peer.start();
    EXPECT_EQ(master.writeSingleRegister(1, 1, 0x1234), MBUS_SUCCESS);
    short reg = 0;
    EXPECT_EQ(master.readMultipleRegisters(1, 1, &reg, 1), MBUS_CHECKSUM_ERROR);
    expectScriptDone();
}

TEST_F(RtuOverPty, ContinuousTrafficMeansLineBusy)
{
    open(1200); // 37 ms of silence needed; a byte comes every 2 ms
    peer.chatter(2, 3000).expectSilence(50);
    peer.start();
    auto start = Clock::now();
    EXPECT_EQ(master.writeSingleRegister(1, 1, 0x1234), MBUS_LINE_BUSY);
    peer.stopChatter();
    EXPECT_GE(peer.chatterBytes(), 101);
    EXPECT_GE(Clock::now() - start, milliseconds(100));
    EXPECT_EQ(master.getSuccessCounter(), 0);
    expectScriptDone(); // the request never went out
}

TEST_F(RtuOverPty, StrayByteBeforeTheRequestIsDiscarded)
{
    // The poll delay holds the second request back until after the stray byte: the purge at
    // the start of the attempt has run, the line-silence test catches the byte.
    open(9600, 1000, 0, 150);
    peer.expect(kReadOneRequest).send(kReadOneReply).pause(60).send({0x55});
    peer.expect(kReadOneRequest).send(kReadOneReply);
    peer.start();
    short reg = 0;
    EXPECT_EQ(master.readMultipleRegisters(1, 1, &reg, 1), MBUS_SUCCESS);
    reg = 0;
    EXPECT_EQ(master.readMultipleRegisters(1, 1, &reg, 1), MBUS_SUCCESS);
    EXPECT_EQ(reg, 0x1234);
    expectScriptDone();
}

TEST_F(RtuOverPty, BroadcastIsSentWithoutWaiting)
{
    open(9600, 5000);
    peer.expect(withCrc({0x00, 0x06, 0x00, 0x00, 0x12, 0x34}));
    peer.start();
    auto start = Clock::now();
    EXPECT_EQ(master.writeSingleRegister(0, 1, 0x1234), MBUS_SUCCESS);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(4)); // no reply time-out
    EXPECT_EQ(master.getSuccessCounter(), 1);
    expectScriptDone();
}

TEST_F(RtuOverPty, SplitShortAndOverlongReplies)
{
    open(9600, 60);
    // In three pieces, each within the time-out.
    peer.expect(kReadOneRequest)
        .send(Bytes(kReadOneReply.begin(), kReadOneReply.begin() + 2))
        .pause(25)
        .send(Bytes(kReadOneReply.begin() + 2, kReadOneReply.begin() + 5))
        .pause(25)
        .send(Bytes(kReadOneReply.begin() + 5, kReadOneReply.end()));
    // One byte short.
    peer.expect(kReadOneRequest).send(Bytes(kReadOneReply.begin(), kReadOneReply.end() - 1));
    // Junk behind the reply stays until the next request's purge.
    peer.expect(kReadOneRequest).send(concat(kReadOneReply, {0xDE, 0xAD, 0xBE}));
    peer.pause(30).expect(kReadOneRequest).send(kReadOneReply);
    peer.start();

    short reg = 0;
    EXPECT_EQ(master.readMultipleRegisters(1, 1, &reg, 1), MBUS_SUCCESS);
    EXPECT_EQ(reg, 0x1234);
    auto start = Clock::now();
    EXPECT_EQ(master.readMultipleRegisters(1, 1, &reg, 1), MBUS_REPLY_TIMEOUT);
    EXPECT_GE(Clock::now() - start, milliseconds(60));
    EXPECT_EQ(master.readMultipleRegisters(1, 1, &reg, 1), MBUS_SUCCESS);
    std::this_thread::sleep_for(milliseconds(20)); // let the junk arrive
    reg = 0;
    EXPECT_EQ(master.readMultipleRegisters(1, 1, &reg, 1), MBUS_SUCCESS);
    EXPECT_EQ(reg, 0x1234);
    expectScriptDone();
}

TEST_F(RtuOverPty, Rs485ModeWithoutModemLines)
{
    // A pseudo terminal has no RTS line: switching it fails, which the master ignores.
    ASSERT_EQ(master.enableRs485Mode(25), MBUS_SUCCESS);
    open();
    peer.expect(kWriteRequest).send(kWriteRequest);
    peer.start();
    auto start = Clock::now();
    EXPECT_EQ(master.writeSingleRegister(1, 1, 0x1234), MBUS_SUCCESS);
    EXPECT_GE(Clock::now() - start, milliseconds(25));
    expectScriptDone();
}

TEST_F(RtuOverPty, PortStates)
{
    EXPECT_EQ(master.openSerialPort("/dev/no-such-serial-device", 9600, 8, 1, 0), MBUS_OPEN_ERROR);
    open();
    MbusRtuMasterProtocol second;
    EXPECT_EQ(second.openSerialPort(pty.devicePath().c_str(), 9600, 8, 1, 0), MBUS_PORT_ALREADY_OPEN);
    EXPECT_FALSE(second.isOpen());
    EXPECT_EQ(master.openSerialPort(pty.devicePath().c_str(), 9600, 8, 1, 0), MBUS_ILLEGAL_STATE);
    EXPECT_EQ(master.setTimeout(100), MBUS_ILLEGAL_STATE);
    master.closeConnection();
    EXPECT_EQ(second.openSerialPort(pty.devicePath().c_str(), 19200, 8, 2, MBUS_PARITY_EVEN), MBUS_SUCCESS);
    // A refused setting leaves the port open.
    second.closeConnection();
    EXPECT_EQ(second.openSerialPort(pty.devicePath().c_str(), 12345, 8, 1, 0), MBUS_ILLEGAL_ARGUMENT);
    EXPECT_TRUE(second.isOpen());
    second.closeConnection();
    EXPECT_EQ(second.openSerialPort(pty.devicePath().c_str(), 9600, 8, 1, 3), MBUS_ILLEGAL_ARGUMENT);
    EXPECT_TRUE(second.isOpen());
}

TEST_F(RtuOverPty, DeviceGoneIsAnIoError)
{
    open();
    pty.closeController();
    short reg = 0;
    EXPECT_EQ(master.readMultipleRegisters(1, 1, &reg, 1), MBUS_IO_ERROR);
    EXPECT_TRUE(master.isOpen()); // serial masters stay open after failures
}

TEST_F(RtuOverPty, AttachedDescriptor)
{
    int fd = ::open(pty.devicePath().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(master.attachSerialHandle(fd), MBUS_SUCCESS);
    EXPECT_TRUE(master.isOpen());
    EXPECT_EQ(master.attachSerialHandle(fd), MBUS_ILLEGAL_STATE);
    peer.expect(kReadOneRequest).send(kReadOneReply);
    peer.start();
    short reg = 0;
    EXPECT_EQ(master.readMultipleRegisters(1, 1, &reg, 1), MBUS_SUCCESS);
    EXPECT_EQ(reg, 0x1234);
    expectScriptDone();
    master.closeConnection();
    EXPECT_FALSE(master.isOpen());
    EXPECT_EQ(::fcntl(fd, F_GETFD), -1);
}
