// RTU and ASCII frames over TCP, driven with raw sockets.
#include "sim/ascii_over_tcp_device.h"
#include "sim/checksums.h"
#include "sim/rtu_over_tcp_device.h"
#include "raw_client.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using simtest::Bytes;
using simtest::RawClient;
using sim::Fault;
using sim::FaultKind;

Bytes text(const std::string& s) { return Bytes(s.begin(), s.end()); }

Bytes withCrc(Bytes body)
{
    const std::uint16_t crc = sim::crc16(body.data(), body.size());
    body.push_back(std::uint8_t(crc & 0xFF));
    body.push_back(std::uint8_t(crc >> 8));
    return body;
}

class RtuOverTcpTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        port = dev.start();
        ASSERT_GT(port, 0);
        dev.setHoldingRegister(0, 1);
    }
    const Bytes readRequest{0x01, 0x03, 0x00, 0x00, 0x00, 0x01, 0x84, 0x0A};
    const Bytes readReply{0x01, 0x03, 0x02, 0x00, 0x01, 0x79, 0x84};
    sim::RtuOverTcpDevice dev;
    int port = -1;
};

TEST_F(RtuOverTcpTest, ReadRegisterRoundTrip)
{
    RawClient c(port);
    ASSERT_TRUE(c.send(readRequest));
    EXPECT_EQ(c.receive(7), readReply);
    ASSERT_EQ(dev.requests().size(), 1u);
    EXPECT_EQ(dev.requests()[0], readRequest);
    // Read exception status: five bytes in all.
    dev.setExceptionStatus(0x6D);
    ASSERT_TRUE(c.send(withCrc({0x01, 0x07})));
    EXPECT_EQ(c.receive(5), withCrc({0x01, 0x07, 0x6D}));
    // An exception reply: read beyond the table.
    ASSERT_TRUE(c.send(withCrc({0x01, 0x03, 0xFF, 0xFF, 0x00, 0x02})));
    EXPECT_EQ(c.receive(5), (Bytes{0x01, 0x83, 0x02, 0xC0, 0xF1}));
}

TEST_F(RtuOverTcpTest, FrameFaults)
{
    RawClient c(port);
    dev.pushFault(Fault{FaultKind::BadChecksum, 0});
    dev.pushFault(Fault{FaultKind::WrongUnitId, 7});
    dev.pushFault(Fault{FaultKind::UnitIdZero, 0});
    dev.pushFault(Fault{FaultKind::Drop, 0});

    ASSERT_TRUE(c.send(readRequest));
    Bytes got = c.receive(7);
    ASSERT_EQ(got.size(), 7u);
    EXPECT_EQ(Bytes(got.begin(), got.begin() + 5), Bytes(readReply.begin(), readReply.begin() + 5));
    EXPECT_NE(Bytes(got.begin() + 5, got.end()), Bytes(readReply.begin() + 5, readReply.end()));

    ASSERT_TRUE(c.send(readRequest));
    EXPECT_EQ(c.receive(7), withCrc({0x07, 0x03, 0x02, 0x00, 0x01}));

    ASSERT_TRUE(c.send(readRequest));
    EXPECT_EQ(c.receive(7), withCrc({0x00, 0x03, 0x02, 0x00, 0x01}));

    ASSERT_TRUE(c.send(readRequest));
    EXPECT_TRUE(c.receive(1, 100).empty());

    ASSERT_TRUE(c.send(readRequest));
    EXPECT_EQ(c.receive(7), readReply);
}

TEST_F(RtuOverTcpTest, SlaveFilterAndBroadcast)
{
    RawClient c(port);
    dev.setSlaveAddress(2);
    ASSERT_TRUE(c.send(readRequest));  // for slave 1: not answered
    EXPECT_TRUE(c.receive(1, 100).empty());
    ASSERT_TRUE(c.send(withCrc({0x02, 0x03, 0x00, 0x00, 0x00, 0x01})));
    EXPECT_EQ(c.receive(7), withCrc({0x02, 0x03, 0x02, 0x00, 0x01}));
    // A broadcast write is carried out and not answered...
    ASSERT_TRUE(c.send(withCrc({0x00, 0x06, 0x00, 0x04, 0x12, 0x34})));
    EXPECT_TRUE(c.receive(1, 100).empty());
    EXPECT_EQ(dev.holdingRegister(4), 0x1234);
    // ...unless the device is told to answer it.
    dev.setAnswerBroadcast(true);
    ASSERT_TRUE(c.send(withCrc({0x00, 0x06, 0x00, 0x04, 0x43, 0x21})));
    EXPECT_EQ(c.receive(8), withCrc({0x00, 0x06, 0x00, 0x04, 0x43, 0x21}));
}

TEST_F(RtuOverTcpTest, CorruptRequestIsIgnoredAndAPausedFragmentDropped)
{
    RawClient c(port);
    Bytes bad = readRequest;
    bad[7] ^= 0xFF;
    ASSERT_TRUE(c.send(bad));
    EXPECT_TRUE(c.receive(1, 100).empty());
    // Half a frame, a pause longer than the frame gap, then a whole frame.
    ASSERT_TRUE(c.send(Bytes(readRequest.begin(), readRequest.begin() + 3)));
    EXPECT_TRUE(c.receive(1, sim::FramedStreamDevice::kRtuGapMs + 40).empty());
    ASSERT_TRUE(c.send(readRequest));
    EXPECT_EQ(c.receive(7), readReply);
}

TEST(RtuOverTcpExtended, LongReadFromAnExtendedSlave)
{
    sim::RtuOverTcpDevice dev(true);
    const int port = dev.start();
    ASSERT_GT(port, 0);
    dev.setHoldingRegister(2499, 0xBEEF);
    RawClient c(port);
    // Slave 300 (x = 52): F8 34; 2500 registers from address 0.
    ASSERT_TRUE(c.send(withCrc({0xF8, 0x34, 0x03, 0x00, 0x00, 0x09, 0xC4})));
    const Bytes got = c.receive(5007);
    ASSERT_EQ(got.size(), 5007u);
    EXPECT_EQ((Bytes{got[0], got[1], got[2], got[3], got[4]}), (Bytes{0xF8, 0x34, 0x03, 0x13, 0x88}));
    EXPECT_EQ(got[5003], 0xBE);
    EXPECT_EQ(got[5004], 0xEF);
    EXPECT_EQ(sim::crc16(got.data(), 5005), got[5005] | (got[5006] << 8));
    // A standard slave keeps the 125-register limit.
    ASSERT_TRUE(c.send(withCrc({0x0A, 0x03, 0x00, 0x00, 0x00, 0x7E})));
    EXPECT_EQ(c.receive(5), withCrc({0x0A, 0x83, 0x03}));
}

class AsciiOverTcpTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        port = dev.start();
        ASSERT_GT(port, 0);
        dev.setHoldingRegister(0, 0x00AB);
    }
    sim::AsciiOverTcpDevice dev;
    int port = -1;
};

TEST_F(AsciiOverTcpTest, RoundTripAndFaults)
{
    RawClient c(port);
    const Bytes request = text(":010300000001FB\r\n");
    ASSERT_TRUE(c.send(request));
    EXPECT_EQ(c.receive(15), text(":01030200AB4F\r\n"));
    EXPECT_EQ(dev.requests().back(), request);

    dev.pushFault(Fault{FaultKind::LowerCaseHex, 0});
    ASSERT_TRUE(c.send(request));
    EXPECT_EQ(c.receive(15), text(":01030200ab4f\r\n"));

    dev.pushFault(Fault{FaultKind::BadChecksum, 0});
    ASSERT_TRUE(c.send(request));
    EXPECT_EQ(c.receive(15), text(":01030200AB50\r\n"));

    dev.pushFault(Fault{FaultKind::Exception, 2});
    ASSERT_TRUE(c.send(request));
    EXPECT_EQ(c.receive(11), text(":0183027A\r\n"));

    dev.pushFault(Fault{FaultKind::WrongUnitId, 0x11});
    ASSERT_TRUE(c.send(request));
    EXPECT_EQ(c.receive(15), text(":11030200AB3F\r\n"));
}

TEST_F(AsciiOverTcpTest, RequestInPiecesAndJunkBetweenFrames)
{
    RawClient c(port);
    ASSERT_TRUE(c.send(text("junk:0103")));
    EXPECT_TRUE(c.receive(1, 50).empty());
    ASSERT_TRUE(c.send(text("00000001FB\r\n")));
    EXPECT_EQ(c.receive(15), text(":01030200AB4F\r\n"));
    // Lower-case digits in a request are not Modbus ASCII: no answer.
    ASSERT_TRUE(c.send(text(":010300000001fb\r\n")));
    EXPECT_TRUE(c.receive(1, 100).empty());
}

} // namespace
