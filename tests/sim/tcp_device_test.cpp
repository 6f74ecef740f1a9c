// The Modbus/TCP device on loopback, driven with raw sockets and hand-written MBAP frames.
#include "sim/tcp_device.h"
#include "raw_client.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace {

using simtest::Bytes;
using simtest::RawClient;
using sim::Fault;
using sim::FaultKind;

// Read one holding register at wire address 0, transaction id `tid`, unit 1.
Bytes readOne(std::uint16_t tid)
{
    return {std::uint8_t(tid >> 8), std::uint8_t(tid), 0x00, 0x00, 0x00, 0x06, 0x01, 0x03, 0x00, 0x00, 0x00, 0x01};
}

class TcpDeviceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        port = dev.start();
        ASSERT_GT(port, 0);
        dev.setHoldingRegister(0, 0x1234);
    }

    // The untouched reply to readOne(tid).
    static Bytes goodReply(std::uint16_t tid)
    {
        return {std::uint8_t(tid >> 8), std::uint8_t(tid), 0x00, 0x00, 0x00, 0x05, 0x01, 0x03, 0x02, 0x12, 0x34};
    }

    sim::TcpDevice dev;
    int port = -1;
};

TEST_F(TcpDeviceTest, ReadHoldingRegistersRoundTrip)
{
    dev.setHoldingRegister(107, 555);
    dev.setHoldingRegister(109, 100);
    RawClient c(port);
    ASSERT_TRUE(c.ok());
    const Bytes request{0x00, 0x01, 0x00, 0x00, 0x00, 0x06, 0x11, 0x03, 0x00, 0x6B, 0x00, 0x03};
    ASSERT_TRUE(c.send(request));
    EXPECT_EQ(c.receive(15), (Bytes{0x00, 0x01, 0x00, 0x00, 0x00, 0x09, 0x11, 0x03, 0x06, 0x02,
                                    0x2B, 0x00, 0x00, 0x00, 0x64}));
    ASSERT_EQ(dev.requests().size(), 1u);
    EXPECT_EQ(dev.requests()[0], request);
    EXPECT_EQ(dev.connectionCount(), 1);
}

TEST_F(TcpDeviceTest, WritesReachTheTablesAndExceptionsComeBack)
{
    RawClient c(port);
    // Write registers 1 and 2, unit 0xFF, transaction 0xBEEF.
    ASSERT_TRUE(c.send({0xBE, 0xEF, 0x00, 0x00, 0x00, 0x0B, 0xFF, 0x10, 0x00, 0x01, 0x00, 0x02,
                        0x04, 0x00, 0x0A, 0x01, 0x02}));
    EXPECT_EQ(c.receive(12), (Bytes{0xBE, 0xEF, 0x00, 0x00, 0x00, 0x06, 0xFF, 0x10, 0x00, 0x01, 0x00, 0x02}));
    EXPECT_EQ(dev.holdingRegister(1), 0x000A);
    EXPECT_EQ(dev.holdingRegister(2), 0x0102);
    // Write coil 5 with an illegal value: exception 3, nine bytes.
    ASSERT_TRUE(c.send({0x00, 0x02, 0x00, 0x00, 0x00, 0x06, 0x01, 0x05, 0x00, 0x05, 0x12, 0x34}));
    EXPECT_EQ(c.receive(9), (Bytes{0x00, 0x02, 0x00, 0x00, 0x00, 0x03, 0x01, 0x85, 0x03}));
    EXPECT_FALSE(dev.coil(5));
    // Read exception status.
    dev.setExceptionStatus(0x6D);
    ASSERT_TRUE(c.send({0x00, 0x03, 0x00, 0x00, 0x00, 0x02, 0x01, 0x07}));
    EXPECT_EQ(c.receive(9), (Bytes{0x00, 0x03, 0x00, 0x00, 0x00, 0x03, 0x01, 0x07, 0x6D}));
}

TEST_F(TcpDeviceTest, SplitAndPipelinedFramesAreAnsweredInOrder)
{
    RawClient c(port);
    const Bytes first = readOne(1);
    ASSERT_TRUE(c.send(Bytes(first.begin(), first.begin() + 5)));
    EXPECT_TRUE(c.receive(1, 50).empty());  // incomplete: no answer yet
    ASSERT_TRUE(c.send(Bytes(first.begin() + 5, first.end())));
    EXPECT_EQ(c.receive(11), goodReply(1));

    Bytes two = readOne(2);
    const Bytes third = readOne(3);
    two.insert(two.end(), third.begin(), third.end());
    ASSERT_TRUE(c.send(two));
    Bytes expected = goodReply(2);
    const Bytes reply3 = goodReply(3);
    expected.insert(expected.end(), reply3.begin(), reply3.end());
    EXPECT_EQ(c.receive(22), expected);
}

TEST_F(TcpDeviceTest, TextChannelAnswerArrivesWithTheReply)
{
    RawClient c(port);
    // "STATUS\r" padded with a 0 byte: 4 registers at 0x270F.
    ASSERT_TRUE(c.send({0x00, 0x01, 0x00, 0x00, 0x00, 0x0F, 0x01, 0x10, 0x27, 0x0F, 0x00, 0x04,
                        0x08, 'S', 'T', 'A', 'T', 'U', 'S', '\r', 0x00}));
    EXPECT_EQ(c.receive(12), (Bytes{0x00, 0x01, 0x00, 0x00, 0x00, 0x06, 0x01, 0x10, 0x27, 0x0F, 0x00, 0x04}));
    EXPECT_EQ(dev.lastTextCommand(), "STATUS");
    ASSERT_TRUE(c.send({0x00, 0x02, 0x00, 0x00, 0x00, 0x06, 0x01, 0x03, 0x27, 0x0F, 0x00, 0x28}));
    // One read finds the 89-byte reply and the text behind it: they left in one write.
    Bytes got = c.receiveOnce();
    const std::string answer = "OK STATUS\r";
    ASSERT_EQ(got.size(), 89u + answer.size());
    EXPECT_EQ(got[5], 83);  // length field: unit, function code, byte count, 80 data bytes
    EXPECT_EQ(got[8], 80);
    EXPECT_EQ(std::string(got.begin() + 89, got.end()), answer);
}

TEST_F(TcpDeviceTest, DataFaultsOfTheDeviceReachTheReply)
{
    // The device's setters fill what the processor serves; a queued data fault changes one
    // reply, then the device answers normally again.
    dev.setDeviceObject(0x80, "ext");
    dev.setFileRecord(2, 9999, 0x4242);
    EXPECT_EQ(dev.fileRecord(2, 9999), 0x4242);
    RawClient c(port);
    dev.pushFault(Fault{FaultKind::EndlessIdChain, 0});
    const Bytes extended{0x00, 0x01, 0x00, 0x00, 0x00, 0x05, 0x01, 0x2B, 0x0E, 0x03, 0x80};
    ASSERT_TRUE(c.send(extended));
    EXPECT_EQ(c.receive(19), (Bytes{0x00, 0x01, 0x00, 0x00, 0x00, 0x0D, 0x01, 0x2B, 0x0E, 0x03, 0x83, 0xFF, 0x80,
                                    0x01, 0x80, 0x03, 'e', 'x', 't'}));
    ASSERT_TRUE(c.send(extended));
    EXPECT_EQ(c.receive(19).at(11), 0x00);
}

TEST_F(TcpDeviceTest, IdentifierFaults)
{
    RawClient c(port);
    dev.pushFault(Fault{FaultKind::WrongTransactionId, 0});
    dev.pushFault(Fault{FaultKind::WrongProtocolId, 0});
    dev.pushFault(Fault{FaultKind::WrongUnitId, 0});
    dev.pushFault(Fault{FaultKind::UnitIdZero, 0});
    dev.pushFault(Fault{FaultKind::WrongFunctionCode, 0});
    dev.pushFault(Fault{FaultKind::LateReply, 0});

    Bytes expected = goodReply(0x0100);
    expected[1] = 0x01;
    ASSERT_TRUE(c.send(readOne(0x0100)));
    EXPECT_EQ(c.receive(11), expected);

    ASSERT_TRUE(c.send(readOne(2)));
    expected = goodReply(2);
    expected[3] = 0x01;
    EXPECT_EQ(c.receive(11), expected);

    ASSERT_TRUE(c.send(readOne(3)));
    expected = goodReply(3);
    expected[6] = 0x02;
    EXPECT_EQ(c.receive(11), expected);

    ASSERT_TRUE(c.send(readOne(4)));
    expected = goodReply(4);
    expected[6] = 0x00;
    EXPECT_EQ(c.receive(11), expected);

    ASSERT_TRUE(c.send(readOne(5)));
    expected = goodReply(5);
    expected[7] = 0x04;
    EXPECT_EQ(c.receive(11), expected);

    // The late reply carries the previous request's id (5), not this one's (6).
    ASSERT_TRUE(c.send(readOne(6)));
    EXPECT_EQ(c.receive(11), goodReply(5));

    // The queue is used up: the next request is answered properly.
    ASSERT_TRUE(c.send(readOne(7)));
    EXPECT_EQ(c.receive(11), goodReply(7));
}

TEST_F(TcpDeviceTest, WrongUnitIdNeverAnswersWithUnitZero)
{
    RawClient c(port);
    dev.pushFault(Fault{FaultKind::WrongUnitId, 0});
    Bytes request = readOne(1);
    request[6] = 0xFF;
    ASSERT_TRUE(c.send(request));
    const Bytes got = c.receive(11);
    ASSERT_EQ(got.size(), 11u);
    EXPECT_NE(got[6], 0xFF);
    EXPECT_NE(got[6], 0x00);
}

TEST_F(TcpDeviceTest, ExceptionFaultDoesNotCarryOutTheRequest)
{
    RawClient c(port);
    dev.pushFault(Fault{FaultKind::Exception, 4});
    ASSERT_TRUE(c.send({0x00, 0x09, 0x00, 0x00, 0x00, 0x06, 0x01, 0x06, 0x00, 0x00, 0x55, 0x55}));
    EXPECT_EQ(c.receive(9), (Bytes{0x00, 0x09, 0x00, 0x00, 0x00, 0x03, 0x01, 0x86, 0x04}));
    EXPECT_EQ(dev.holdingRegister(0), 0x1234);
}

TEST_F(TcpDeviceTest, LengthAndSizeFaults)
{
    RawClient c(port);
    dev.pushFault(Fault{FaultKind::LyingLength, 1000});
    ASSERT_TRUE(c.send(readOne(1)));
    Bytes expected = goodReply(1);
    expected[4] = 0x03;  // 5 + 1000 = 0x03ED
    expected[5] = 0xED;
    EXPECT_EQ(c.receiveUntilQuiet(100), expected);

    dev.pushFault(Fault{FaultKind::ExtraBytes, 3});
    ASSERT_TRUE(c.send(readOne(2)));
    Bytes got = c.receiveUntilQuiet(100);
    ASSERT_EQ(got.size(), 14u);
    EXPECT_EQ(Bytes(got.begin(), got.begin() + 11), goodReply(2));

    dev.pushFault(Fault{FaultKind::CutHalf, 0});
    ASSERT_TRUE(c.send(readOne(3)));
    const Bytes whole = goodReply(3);
    EXPECT_EQ(c.receiveUntilQuiet(150), Bytes(whole.begin(), whole.begin() + 5));
    EXPECT_EQ(c.end(), RawClient::End::Open);  // silence, not a close
}

TEST_F(TcpDeviceTest, TimingFaults)
{
    RawClient c(port);
    dev.pushFault(Fault{FaultKind::Delay, 120});
    auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(c.send(readOne(1)));
    EXPECT_EQ(c.receive(11, 3000), goodReply(1));
    EXPECT_GE(simtest::elapsedMs(start), 115);

    // Trickle: every byte alone, 20 ms apart; the whole reply still arrives intact.
    dev.pushFault(Fault{FaultKind::Trickle, 20});
    start = std::chrono::steady_clock::now();
    ASSERT_TRUE(c.send(readOne(2)));
    Bytes got;
    int reads = 0;
    for (int i = 0; i < 50 && got.size() < 11; ++i, ++reads) {
        const Bytes part = c.receiveOnce(1000);
        if (part.empty()) break;
        got.insert(got.end(), part.begin(), part.end());
    }
    EXPECT_EQ(got, goodReply(2));
    EXPECT_GE(reads, 5);  // many separate arrivals, not one block
    EXPECT_GE(simtest::elapsedMs(start), 10 * 20 - 10);

    // Drop: no answer at all, but the write was carried out.
    dev.pushFault(Fault{FaultKind::Drop, 0});
    ASSERT_TRUE(c.send({0x00, 0x03, 0x00, 0x00, 0x00, 0x06, 0x01, 0x06, 0x00, 0x07, 0x00, 0x07}));
    EXPECT_TRUE(c.receive(1, 150).empty());
    EXPECT_EQ(dev.holdingRegister(7), 7);
    ASSERT_TRUE(c.send(readOne(4)));
    EXPECT_EQ(c.receive(11), goodReply(4));
}

TEST_F(TcpDeviceTest, DelayedReplyHoldsBackTheNextOne)
{
    RawClient c(port);
    dev.pushFault(Fault{FaultKind::Delay, 100});
    Bytes both = readOne(1);
    const Bytes second = readOne(2);
    both.insert(both.end(), second.begin(), second.end());
    ASSERT_TRUE(c.send(both));
    Bytes expected = goodReply(1);
    const Bytes reply2 = goodReply(2);
    expected.insert(expected.end(), reply2.begin(), reply2.end());
    EXPECT_EQ(c.receive(22, 3000), expected);
}

TEST_F(TcpDeviceTest, CloseAndReset)
{
    {
        RawClient c(port);
        dev.pushFault(Fault{FaultKind::Close, 0});
        dev.setHoldingRegister(3, 0);
        ASSERT_TRUE(c.send({0x00, 0x01, 0x00, 0x00, 0x00, 0x06, 0x01, 0x06, 0x00, 0x03, 0x00, 0x09}));
        EXPECT_TRUE(c.receive(9).empty());
        EXPECT_EQ(c.end(), RawClient::End::Closed);
        EXPECT_EQ(dev.holdingRegister(3), 0);  // not carried out
    }
    {
        RawClient c(port);
        dev.pushFault(Fault{FaultKind::Reset, 0});
        ASSERT_TRUE(c.send(readOne(1)));
        EXPECT_TRUE(c.receive(11).empty());
        EXPECT_EQ(c.end(), RawClient::End::Reset);
    }
    // The device goes on serving new connections.
    RawClient c(port);
    ASSERT_TRUE(c.send(readOne(9)));
    EXPECT_EQ(c.receive(11), goodReply(9));
    EXPECT_EQ(dev.connectionCount(), 3);
}

TEST_F(TcpDeviceTest, PersistentFaultUntilCleared)
{
    RawClient c(port);
    dev.setPersistentFault(Fault{FaultKind::Exception, 2});
    dev.pushFault(Fault{FaultKind::UnitIdZero, 0});  // the queue comes first
    ASSERT_TRUE(c.send(readOne(1)));
    Bytes expected = goodReply(1);
    expected[6] = 0;
    EXPECT_EQ(c.receive(11), expected);
    for (std::uint16_t tid = 2; tid < 5; ++tid) {
        ASSERT_TRUE(c.send(readOne(tid)));
        EXPECT_EQ(c.receive(9), (Bytes{0x00, std::uint8_t(tid), 0x00, 0x00, 0x00, 0x03, 0x01, 0x83, 0x02}));
    }
    dev.clearFaults();
    ASSERT_TRUE(c.send(readOne(5)));
    EXPECT_EQ(c.receive(11), goodReply(5));
}

TEST_F(TcpDeviceTest, ServesSeveralConnectionsAtOnce)
{
    RawClient a(port), b(port), d(port);
    ASSERT_TRUE(a.ok() && b.ok() && d.ok());
    dev.pushFault(Fault{FaultKind::Delay, 150});  // a's reply is late; b and d do not wait for it
    ASSERT_TRUE(a.send(readOne(1)));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_TRUE(b.send(readOne(2)));
    ASSERT_TRUE(d.send(readOne(3)));
    EXPECT_EQ(b.receive(11, 100), goodReply(2));
    EXPECT_EQ(d.receive(11, 100), goodReply(3));
    EXPECT_EQ(a.receive(11, 3000), goodReply(1));
    EXPECT_EQ(dev.connectionCount(), 3);
}

TEST_F(TcpDeviceTest, GarbageLengthFieldEndsTheConnection)
{
    RawClient c(port);
    ASSERT_TRUE(c.send({0x00, 0x01, 0x00, 0x00, 0x01, 0x00, 0x01, 0x03}));  // length 256
    EXPECT_TRUE(c.receive(1).empty());
    EXPECT_EQ(c.end(), RawClient::End::Closed);
}

TEST_F(TcpDeviceTest, NonZeroProtocolIdIsIgnored)
{
    RawClient c(port);
    Bytes request = readOne(1);
    request[3] = 0x01;
    dev.pushFault(Fault{FaultKind::UnitIdZero, 0});
    ASSERT_TRUE(c.send(request));
    EXPECT_TRUE(c.receive(1, 100).empty());
    // The ignored frame is logged but leaves the fault for the next real request.
    ASSERT_TRUE(c.send(readOne(2)));
    Bytes expected = goodReply(2);
    expected[6] = 0;
    EXPECT_EQ(c.receive(11), expected);
    EXPECT_EQ(dev.requests().size(), 2u);
}

TEST_F(TcpDeviceTest, RequestLogIsBoundedAndClearable)
{
    RawClient c(port);
    // Many small requests in large writes; only the newest kRequestLogLimit are kept.
    const std::size_t total = sim::DeviceBase::kRequestLogLimit + 5;
    std::size_t sent = 0;
    while (sent < total) {
        Bytes batch;
        std::size_t inBatch = 0;
        for (; inBatch < 500 && sent < total; ++inBatch, ++sent) {
            const Bytes r = readOne(std::uint16_t(sent));
            batch.insert(batch.end(), r.begin(), r.end());
        }
        ASSERT_TRUE(c.send(batch));
        ASSERT_EQ(c.receive(11 * inBatch, 3000).size(), 11 * inBatch);
    }
    auto log = dev.requests();
    ASSERT_EQ(log.size(), sim::DeviceBase::kRequestLogLimit);
    EXPECT_EQ(log.front(), readOne(5));
    EXPECT_EQ(log.back(), readOne(std::uint16_t(total - 1)));
    dev.clearRequests();
    EXPECT_TRUE(dev.requests().empty());
}

TEST(TcpDeviceLifecycle, StartStopAndRestartOnTheSamePort)
{
    sim::TcpDevice dev;
    const int port = dev.start();
    ASSERT_GT(port, 0);
    EXPECT_EQ(dev.start(), -1);  // already running
    dev.stop();
    dev.stop();  // harmless twice
    EXPECT_EQ(dev.start(port), port);
    RawClient c(port);
    ASSERT_TRUE(c.send(readOne(1)));
    EXPECT_EQ(c.receive(11).size(), 11u);
    dev.stop();
    EXPECT_EQ(dev.start(0, "not-an-address"), -1);
    EXPECT_EQ(dev.start(-1), -1);
}

TEST(TcpDeviceLifecycle, StopsByItselfAfterItsLifetime)
{
    sim::TcpDevice dev;
    dev.setLifetimeSeconds(0);
    const int port = dev.start();
    ASSERT_GT(port, 0);
    for (int i = 0; i < 200 && dev.running(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_FALSE(dev.running());
}

} // namespace
