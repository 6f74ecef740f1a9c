// The serial masters against a scripted port: order of the steps of an attempt, RS-485
// transmitter control, the retry loop, the mapping of port failures, argument checks, flat API.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

#include "fake_serial_port.h"
#include "mbus.h"
#include "capi/flat_handle.h"
#include "serial/ascii_master_protocol.h"
#include "serial/elam_master_protocol.h"
#include "serial/rtu_master_protocol.h"

using namespace mbus;

namespace {

const Bytes kReadOneRequest = {0x01, 0x03, 0x00, 0x00, 0x00, 0x01, 0x84, 0x0A};

class FakeRtu : public ::testing::Test {
protected:
    FakePortState port;
    MbusRtuMasterProtocol master{new FakeSerialPort(port)};

    void open() { ASSERT_EQ(master.openSerialPort("fake", 9600, 8, 1, 0), MBUS_SUCCESS); }
    std::size_t count(const std::string &entry) const { return std::count(port.log.begin(), port.log.end(), entry); }
    // The log from the first entry equal to from, for the steps of one attempt.
    std::vector<std::string> logFrom(const std::string &from) const
    {
        auto it = std::find(port.log.begin(), port.log.end(), from);
        return std::vector<std::string>(it, port.log.end());
    }
};

} // namespace

TEST_F(FakeRtu, AttemptStepsInOrder)
{
    open();
    EXPECT_EQ(port.log, (std::vector<std::string>{"open:fake", "configure:9600,8,1,0,0", "setRts"}));
    port.log.clear();
    port.replies.push_back(withCrc({0x01, 0x03, 0x02, 0x12, 0x34}));
    short reg = 0;
    ASSERT_EQ(master.readMultipleRegisters(1, 1, &reg, 1), MBUS_SUCCESS);
    EXPECT_EQ(reg, 0x1234);
    // Purge, line-silence read (5 ms at 9600 baud), write, drain, then the reply by its length.
    EXPECT_EQ(port.log, (std::vector<std::string>{"purge", "read:1/5", "write", "drain", "read:5/1000", "read:2/1000"}));
    ASSERT_EQ(port.written.size(), 1u);
    EXPECT_EQ(port.written[0], kReadOneRequest);
}

TEST_F(FakeRtu, Rs485RaisesRtsAroundTheFrameAndHoldsItForTheDelay)
{
    ASSERT_EQ(master.enableRs485Mode(30), MBUS_SUCCESS);
    open();
    EXPECT_EQ(port.log.back(), "clearRts"); // transmitter off while listening
    port.log.clear();
    port.replies.push_back(withCrc({0x01, 0x06, 0x00, 0x00, 0x00, 0x07}));
    auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(master.writeSingleRegister(1, 1, 7), MBUS_SUCCESS);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(30));
    EXPECT_EQ(port.log, (std::vector<std::string>{"purge", "read:1/5", "setRts", "write", "drain", "clearRts",
                                                  "read:5/1000", "read:3/1000"}));
}

TEST_F(FakeRtu, Rs485ReleasesRtsBeforeReportingAFailedWrite)
{
    ASSERT_EQ(master.enableRs485Mode(1), MBUS_SUCCESS);
    open();
    port.writeStatus = SERIAL_TIMEOUT;
    EXPECT_EQ(master.writeSingleRegister(1, 1, 7), MBUS_SEND_TIMEOUT);
    EXPECT_EQ(logFrom("setRts"), (std::vector<std::string>{"setRts", "write", "drain", "clearRts"}));
    port.writeStatus = SERIAL_IO_ERROR;
    EXPECT_EQ(master.writeSingleRegister(1, 1, 7), MBUS_IO_ERROR);
}

TEST_F(FakeRtu, Rs485ModeSettings)
{
    EXPECT_EQ(master.enableRs485Mode(100000), MBUS_SUCCESS);
    EXPECT_EQ(master.enableRs485Mode(100001), MBUS_ILLEGAL_ARGUMENT);
    EXPECT_EQ(master.enableRs485Mode(-1), MBUS_ILLEGAL_ARGUMENT);
    EXPECT_EQ(master.enableRs485Mode(0), MBUS_SUCCESS); // off again
    open();
    EXPECT_EQ(port.log.back(), "setRts");
    EXPECT_EQ(master.enableRs485Mode(10), MBUS_ILLEGAL_STATE);
    EXPECT_EQ(master.enableRs485Mode(100001), MBUS_ILLEGAL_ARGUMENT); // range before state
    port.log.clear();
    port.replies.push_back(withCrc({0x01, 0x06, 0x00, 0x00, 0x00, 0x07}));
    ASSERT_EQ(master.writeSingleRegister(1, 1, 7), MBUS_SUCCESS);
    EXPECT_EQ(count("setRts") + count("clearRts"), 0u); // the refused change did not take effect
}

TEST_F(FakeRtu, OpenFailuresAreMapped)
{
    const int mapping[][2] = {{SERIAL_NO_PERMISSION, MBUS_PORT_NO_ACCESS},
                              {SERIAL_PORT_BUSY, MBUS_PORT_ALREADY_OPEN},
                              {SERIAL_NO_SUCH_PORT, MBUS_OPEN_ERROR},
                              {SERIAL_IO_ERROR, MBUS_OPEN_ERROR}};
    for (const auto &row : mapping) {
        port.openStatus = row[0];
        EXPECT_EQ(master.openSerialPort("fake", 9600, 8, 1, 0), row[1]);
        EXPECT_FALSE(master.isOpen());
    }
    // A refused line setting leaves the port open for the caller to close.
    port.openStatus = 0;
    port.configureStatus = SERIAL_CONFIG_ERROR;
    EXPECT_EQ(master.openSerialPort("fake", 9600, 8, 3, 0), MBUS_ILLEGAL_ARGUMENT);
    EXPECT_TRUE(master.isOpen());
    EXPECT_EQ(master.openSerialPort("other", 9600, 8, 1, 0), MBUS_ILLEGAL_STATE);
    master.closeConnection();
    EXPECT_FALSE(master.isOpen());
}

TEST_F(FakeRtu, ArgumentChecksComeBeforeThePort)
{
    EXPECT_EQ(master.openSerialPort("fake", 9600, 7, 1, 0), MBUS_ILLEGAL_ARGUMENT); // RTU needs 8
    EXPECT_EQ(master.openSerialPort("fake", 9600, 9, 1, 0), MBUS_ILLEGAL_ARGUMENT);
    // A baud rate of 0 or less is refused: there is no line-silence time to derive from it.
    EXPECT_EQ(master.openSerialPort("fake", 0, 8, 1, 0), MBUS_ILLEGAL_ARGUMENT);
    EXPECT_EQ(master.openSerialPort("fake", -9600, 8, 1, 0), MBUS_ILLEGAL_ARGUMENT);
    EXPECT_TRUE(port.log.empty());
    EXPECT_EQ(master.getSilenceInterval(), MbusRtuMasterProtocol::kDefaultSilenceIntervalMs);

    // The silence time is kept even when the open fails.
    port.openStatus = SERIAL_NO_SUCH_PORT;
    EXPECT_EQ(master.openSerialPort("fake", 1200, 8, 1, 0), MBUS_OPEN_ERROR);
    EXPECT_EQ(master.getSilenceInterval(), 37);
    port.openStatus = 0;
    open();
    EXPECT_EQ(master.getSilenceInterval(), 5);
    // The data-bit test of RTU comes before the open-state test.
    EXPECT_EQ(master.openSerialPort("fake", 9600, 7, 1, 0), MBUS_ILLEGAL_ARGUMENT);
    EXPECT_EQ(master.openSerialPort("fake", 115200, 8, 1, 0), MBUS_ILLEGAL_STATE);
    EXPECT_EQ(master.getSilenceInterval(), 1);
}

TEST_F(FakeRtu, WideNameIsConverted)
{
    EXPECT_EQ(master.openSerialPort(L"/dev/fake0", 19200, 8, 2, 2), MBUS_SUCCESS);
    EXPECT_EQ(port.log[0], "open:/dev/fake0");
    EXPECT_EQ(port.log[1], "configure:19200,8,2,2,0");
}

TEST_F(FakeRtu, RetryLoop)
{
    open();
    master.setRetryCnt(2); // refused while open
    EXPECT_EQ(master.getRetryCnt(), 0);
    master.closeConnection();
    ASSERT_EQ(master.setRetryCnt(2), MBUS_SUCCESS);
    open();
    short reg = 0;

    // Silence: three sends, a time-out, no success.
    EXPECT_EQ(master.readMultipleRegisters(1, 1, &reg, 1), MBUS_REPLY_TIMEOUT);
    EXPECT_EQ(port.written.size(), 3u);
    EXPECT_EQ(master.getTotalCounter(), 3);
    EXPECT_EQ(master.getSuccessCounter(), 0);

    // A bad CRC, then a good reply.
    port.written.clear();
    Bytes bad = withCrc({0x01, 0x03, 0x02, 0x12, 0x34});
    bad[5] ^= 0xFF;
    port.replies = {bad, withCrc({0x01, 0x03, 0x02, 0x12, 0x34})};
    EXPECT_EQ(master.readMultipleRegisters(1, 1, &reg, 1), MBUS_SUCCESS);
    EXPECT_EQ(port.written.size(), 2u);
    EXPECT_EQ(master.getTotalCounter(), 5);
    EXPECT_EQ(master.getSuccessCounter(), 1);

    // Another slave answers twice, then the right one: frame errors are retried.
    port.written.clear();
    port.replies = {withCrc({0x02, 0x03, 0x02, 0, 1}), withCrc({0x02, 0x03, 0x02, 0, 1}),
                    withCrc({0x01, 0x03, 0x02, 0, 9})};
    EXPECT_EQ(master.readMultipleRegisters(1, 1, &reg, 1), MBUS_SUCCESS);
    EXPECT_EQ(reg, 9);
    EXPECT_EQ(port.written.size(), 3u);

    // Exception responses and reply-content errors are final.
    port.written.clear();
    port.replies = {{0x01, 0x83, 0x02, 0xC0, 0xF1}};
    EXPECT_EQ(master.readMultipleRegisters(1, 1, &reg, 1), MBUS_ILLEGAL_ADDRESS_RESPONSE);
    EXPECT_EQ(port.written.size(), 1u);
    port.written.clear();
    port.replies = {withCrc({0x01, 0x03, 0x04, 0, 1})}; // byte count 4 for one register
    EXPECT_EQ(master.readMultipleRegisters(1, 1, &reg, 1), MBUS_INVALID_REPLY_ERROR);
    EXPECT_EQ(reg, 0);
    EXPECT_EQ(port.written.size(), 1u);

    // Port failures while reading are I/O errors, not retried.
    port.written.clear();
    port.readStatus = SERIAL_IO_ERROR;
    EXPECT_EQ(master.readMultipleRegisters(1, 1, &reg, 1), MBUS_IO_ERROR);
    EXPECT_EQ(port.written.size(), 1u);
}

TEST_F(FakeRtu, FirstRequestNeverWaitsForThePollDelay)
{
    // The interval starts with a request; a fresh master has none behind it.
    ASSERT_EQ(master.setPollDelay(5000), MBUS_SUCCESS);
    open();
    port.replies.push_back(withCrc({0x01, 0x06, 0x00, 0x00, 0x00, 0x07}));
    auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(master.writeSingleRegister(1, 1, 7), MBUS_SUCCESS);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2500));
}

TEST_F(FakeRtu, ClosedMasterSendsNothing)
{
    short reg = 0;
    EXPECT_EQ(master.readMultipleRegisters(1, 1, &reg, 1), MBUS_ILLEGAL_STATE);
    unsigned char data[4] = {};
    EXPECT_EQ(master.transactOnce(1, 3, data, 4, data, 3, nullptr), MBUS_ILLEGAL_STATE);
    EXPECT_EQ(master.getTotalCounter(), 0);
    EXPECT_TRUE(port.written.empty());
}

TEST_F(FakeRtu, BusyLineGivesUpAfterOneHundredPurges)
{
    open();
    port.log.clear();
    port.chatterReads = 100; // the 101st read finds silence
    port.replies.push_back(withCrc({0x01, 0x06, 0x00, 0x00, 0x00, 0x07}));
    EXPECT_EQ(master.writeSingleRegister(1, 1, 7), MBUS_SUCCESS);
    EXPECT_EQ(count("purge"), 101u);

    port.log.clear();
    port.written.clear();
    port.chatterReads = 1000;
    master.resetTotalCounter();
    EXPECT_EQ(master.writeSingleRegister(1, 1, 7), MBUS_LINE_BUSY);
    EXPECT_EQ(count("read:1/5"), 101u);
    EXPECT_TRUE(port.written.empty());
    EXPECT_EQ(master.getTotalCounter(), 1);
}

TEST_F(FakeRtu, BroadcastReadsNothing)
{
    open();
    port.log.clear();
    int before = master.getSuccessCounter();
    EXPECT_EQ(master.writeSingleRegister(0, 1, 7), MBUS_SUCCESS);
    EXPECT_EQ(master.getSuccessCounter(), before + 1);
    EXPECT_EQ(port.log, (std::vector<std::string>{"purge", "read:1/5", "write", "drain"}));
    EXPECT_EQ(port.written.back(), withCrc({0x00, 0x06, 0x00, 0x00, 0x00, 0x07}));
}

TEST_F(FakeRtu, LengthsBeyondTheFrameBufferAreRefused)
{
    open();
    unsigned char big[300] = {};
    int received = 7;
    EXPECT_EQ(master.transact(1, 16, big, 253, big, 4, &received), MBUS_ILLEGAL_ARGUMENT);
    EXPECT_EQ(received, 0);
    EXPECT_EQ(master.transact(1, 3, big, 4, big, 253, nullptr), MBUS_ILLEGAL_ARGUMENT);
    EXPECT_EQ(master.transact(1, 3, big, -1, big, 3, nullptr), MBUS_ILLEGAL_ARGUMENT);
    EXPECT_TRUE(port.written.empty());
    // The largest lengths fit exactly.
    Bytes reply = {0x01, 0x17};
    reply.insert(reply.end(), 252, 0xEE);
    port.replies.push_back(withCrc(reply));
    EXPECT_EQ(master.transact(1, 0x17, big, 252, big, 252, &received), MBUS_SUCCESS);
    EXPECT_EQ(received, 252);
    EXPECT_EQ(port.written.back().size(), 256u);
    EXPECT_EQ(big[251], 0xEE);
}

TEST_F(FakeRtu, OneByteReplyIsOneFiveByteFrame)
{
    open();
    port.log.clear();
    port.replies.push_back(withCrc({0x01, 0x07, 0x6D}));
    unsigned char status = 0;
    EXPECT_EQ(master.readExceptionStatus(1, &status), MBUS_SUCCESS);
    EXPECT_EQ(status, 0x6D);
    EXPECT_EQ(count("read:5/1000"), 1u);
    EXPECT_EQ(port.log.back(), "read:5/1000");
}

TEST_F(FakeRtu, AttachHandle)
{
    port.attachStatus = SERIAL_IO_ERROR;
    EXPECT_EQ(master.attachSerialHandle(42), MBUS_OPEN_ERROR);
    EXPECT_FALSE(master.isOpen());
    port.attachStatus = 0;
    EXPECT_EQ(master.attachSerialHandle(42), MBUS_SUCCESS);
    EXPECT_TRUE(master.isOpen());
    // No line settings, no RTS.
    EXPECT_EQ(port.log, (std::vector<std::string>{"attach:42", "attach:42"}));
    EXPECT_EQ(master.attachSerialHandle(43), MBUS_ILLEGAL_STATE);
}

TEST(FakeAscii, OpensWithSevenDataBitsAndSkipsTheSilenceTest)
{
    FakePortState port;
    MbusAsciiMasterProtocol master(new FakeSerialPort(port));
    EXPECT_EQ(master.openSerialPort("fake", 9600, 6, 1, 0), MBUS_ILLEGAL_ARGUMENT);
    EXPECT_EQ(master.openSerialPort("fake", 0, 7, 1, 0), MBUS_ILLEGAL_ARGUMENT);
    EXPECT_TRUE(port.log.empty());
    ASSERT_EQ(master.openSerialPort("fake", 9600, 7, 1, 2), MBUS_SUCCESS);
    EXPECT_EQ(port.lastDataBits, 7);
    port.log.clear();
    port.replies.push_back(asciiFrame({0x01, 0x03, 0x02, 0x12, 0x34}));
    short reg = 0;
    ASSERT_EQ(master.readMultipleRegisters(1, 1, &reg, 1), MBUS_SUCCESS);
    EXPECT_EQ(reg, 0x1234);
    EXPECT_EQ(port.written.back(), textBytes(":010300000001FB\r\n"));
    EXPECT_EQ(port.log, (std::vector<std::string>{"purge", "write", "drain", "read:11/1000", "read:4/1000"}));
}

TEST(FakeAscii, LongestFramesFitAndLongerAreRefused)
{
    FakePortState port;
    MbusAsciiMasterProtocol master(new FakeSerialPort(port));
    ASSERT_EQ(master.openSerialPort("fake", 9600, 8, 1, 0), MBUS_SUCCESS);
    unsigned char big[300] = {};
    EXPECT_EQ(master.transact(1, 16, big, 253, big, 4, nullptr), MBUS_ILLEGAL_ARGUMENT);
    EXPECT_EQ(master.transact(1, 3, big, 4, big, 253, nullptr), MBUS_ILLEGAL_ARGUMENT);
    Bytes reply = {0x01, 0x17};
    reply.insert(reply.end(), 252, 0x3C);
    port.replies.push_back(asciiFrame(reply));
    int received = 0;
    EXPECT_EQ(master.transact(1, 0x17, big, 252, big, 252, &received), MBUS_SUCCESS);
    EXPECT_EQ(received, 252);
    EXPECT_EQ(port.written.back().size(), 513u);
    EXPECT_EQ(big[0], 0x3C);
    EXPECT_EQ(big[251], 0x3C);
}

namespace {

class FakeElam : public ::testing::Test {
protected:
    FakePortState port;
    MbusElamMasterProtocol master{new FakeSerialPort(port)};

    void SetUp() override { ASSERT_EQ(master.openSerialPort("fake", 19200, 8, 1, 0), MBUS_SUCCESS); }
};

Bytes extendedReadReply(int slaveHigh, int slaveLow, int registers, int byteCountField, std::uint8_t function = 3)
{
    Bytes reply = {static_cast<std::uint8_t>(slaveHigh), static_cast<std::uint8_t>(slaveLow), function,
                   static_cast<std::uint8_t>(byteCountField >> 8), static_cast<std::uint8_t>(byteCountField & 0xFF)};
    for (int i = 0; i < registers; ++i) {
        reply.push_back(static_cast<std::uint8_t>(i >> 8));
        reply.push_back(static_cast<std::uint8_t>(i & 0xFF));
    }
    return withCrc(reply);
}

} // namespace

TEST_F(FakeElam, ReadOf2500RegistersFromSlave300)
{
    // x = 52: F8 34.
    port.replies.push_back(extendedReadReply(0xF8, 0x34, 2500, 5000));
    std::vector<short> regs(2500, -1);
    ASSERT_EQ(master.readMultipleRegisters(300, 1, regs.data(), 2500), MBUS_SUCCESS);
    EXPECT_EQ(port.written.back(), withCrc({0xF8, 0x34, 0x03, 0x00, 0x00, 0x09, 0xC4}));
    EXPECT_EQ(regs[0], 0);
    EXPECT_EQ(regs[2499], 2499);
    EXPECT_EQ(port.log.back(), "read:5001/1000"); // 6 bytes first, then the rest of 5007

    port.replies.push_back(extendedReadReply(0xF8, 0x34, 2500, 4998));
    EXPECT_EQ(master.readMultipleRegisters(300, 1, regs.data(), 2500), MBUS_INVALID_REPLY_ERROR);
    EXPECT_TRUE(std::all_of(regs.begin(), regs.end(), [](short r) { return r == 0; }));
}

TEST_F(FakeElam, RangesOfExtendedAndStandardSlaves)
{
    std::vector<short> regs(2501, -1);
    EXPECT_EQ(master.readMultipleRegisters(300, 1, regs.data(), 2501), MBUS_ILLEGAL_ARGUMENT);
    EXPECT_TRUE(std::all_of(regs.begin(), regs.end(), [](short r) { return r == 0; }));
    EXPECT_EQ(master.readMultipleRegisters(10, 1, regs.data(), 126), MBUS_ILLEGAL_ARGUMENT);
    EXPECT_EQ(master.readMultipleRegisters(2296, 1, regs.data(), 1), MBUS_ILLEGAL_ARGUMENT);
    EXPECT_EQ(master.readInputRegisters(300, 0, regs.data(), 1), MBUS_ILLEGAL_ARGUMENT); // one-based
    EXPECT_EQ(master.writeSingleRegister(2296, 1, 1), MBUS_ILLEGAL_ARGUMENT);
    int bits[1];
    EXPECT_EQ(master.readCoils(2296, 1, bits, 1), MBUS_ILLEGAL_ARGUMENT);
    EXPECT_TRUE(port.written.empty());
    // The per-slave options reach the extended slaves one by one.
    EXPECT_EQ(master.configureZeroBasedAddressing(2295), MBUS_SUCCESS);
    EXPECT_EQ(master.configureZeroBasedAddressing(2296), MBUS_ILLEGAL_ARGUMENT);
    port.replies.push_back(extendedReadReply(0xFF, 0xFF, 1, 2, 4));
    EXPECT_EQ(master.readInputRegisters(2295, 0, regs.data(), 1), MBUS_SUCCESS);
    EXPECT_EQ(port.written.back(), withCrc({0xFF, 0xFF, 0x04, 0x00, 0x00, 0x00, 0x01}));
}

TEST_F(FakeElam, StandardSlavesUseOneAddressByte)
{
    port.replies.push_back(withCrc({0xF7, 0x03, 0x02, 0x00, 0x05}));
    short reg = 0;
    EXPECT_EQ(master.readMultipleRegisters(247, 1, &reg, 1), MBUS_SUCCESS);
    EXPECT_EQ(port.written.back(), withCrc({0xF7, 0x03, 0x00, 0x00, 0x00, 0x01}));
    // Other functions to extended slaves: two address bytes, same PDU.
    port.replies.push_back(withCrc({0xF8, 0x00, 0x06, 0x00, 0x09, 0x00, 0x2A}));
    EXPECT_EQ(master.writeSingleRegister(248, 10, 42), MBUS_SUCCESS);
    EXPECT_EQ(port.written.back(), withCrc({0xF8, 0x00, 0x06, 0x00, 0x09, 0x00, 0x2A}));
    // Data longer than the extended frame buffer is refused.
    std::vector<unsigned char> big(6000);
    EXPECT_EQ(master.transact(300, 3, big.data(), 4, big.data(), kElamMaxData + 1, nullptr), MBUS_ILLEGAL_ARGUMENT);
    EXPECT_EQ(master.transact(300, 16, big.data(), kElamMaxData + 1, big.data(), 4, nullptr), MBUS_ILLEGAL_ARGUMENT);
}

TEST_F(FakeElam, RefusesSevenDataBits)
{
    master.closeConnection();
    EXPECT_EQ(master.openSerialPort("fake", 9600, 7, 1, 0), MBUS_ILLEGAL_ARGUMENT);
    EXPECT_EQ(master.getMaxSlaveAddress(), 2295);
}

namespace {

// A master of another family, for the family checks of the flat interface.
class OtherMaster : public MbusMasterFunctions {
public:
    int isOpen() override { return 0; }
    void closeConnection() override {}
    int transact(int, int, const unsigned char *, int, unsigned char *, int, int *) override { return 0; }
};

} // namespace

TEST(SerialFlatApi, HandlesAndFamilies)
{
    EXPECT_EQ(mbusOpenSerialPort(nullptr, "/dev/null", 9600, 8, 1, 0), MBUS_ILLEGAL_STATE);
    EXPECT_EQ(mbusAttachSerialHandle(nullptr, 0), MBUS_ILLEGAL_STATE);
    EXPECT_EQ(mbusEnableRs485Mode(nullptr, 5), MBUS_ILLEGAL_STATE);

    OtherMaster other;
    MbusHandle otherHandle = toHandle(&other);
    EXPECT_EQ(mbusOpenSerialPort(otherHandle, "/dev/null", 9600, 8, 1, 0), MBUS_ILLEGAL_ARGUMENT);
    EXPECT_EQ(mbusAttachSerialHandle(otherHandle, 0), MBUS_ILLEGAL_ARGUMENT);
    EXPECT_EQ(mbusEnableRs485Mode(otherHandle, 5), MBUS_ILLEGAL_ARGUMENT);

    MbusHandle handles[] = {mbusNewRtuMaster(), mbusNewAsciiMaster(), mbusNewElamMaster()};
    for (MbusHandle handle : handles) {
        ASSERT_NE(handle, nullptr);
        EXPECT_EQ(mbusIsOpen(handle), 0);
        EXPECT_EQ(mbusEnableRs485Mode(handle, 100001), MBUS_ILLEGAL_ARGUMENT);
        EXPECT_EQ(mbusEnableRs485Mode(handle, 10), MBUS_SUCCESS);
        EXPECT_EQ(mbusOpenSerialPort(handle, "/nonexistent/tty", 9600, 8, 1, 0), MBUS_OPEN_ERROR);
        EXPECT_EQ(mbusAttachSerialHandle(handle, -1), MBUS_OPEN_ERROR);
        EXPECT_EQ(mbusIsOpen(handle), 0);
        EXPECT_EQ(mbusConfigureBigEndianIntsForSlave(handle, 248),
                  handle == handles[2] ? MBUS_SUCCESS : MBUS_ILLEGAL_ARGUMENT);
        mbusDestroy(handle);
    }
}
