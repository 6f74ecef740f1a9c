// The Modbus/UDP device with a plain datagram socket.
#include "sim/udp_device.h"
#include "raw_client.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using simtest::Bytes;
using sim::Fault;
using sim::FaultKind;

class UdpDeviceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        port = dev.start();
        ASSERT_GT(port, 0);
        dev.setHoldingRegister(0, 0x1234);
        fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        ASSERT_GE(fd, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(std::uint16_t(port));
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    }
    void TearDown() override
    {
        if (fd >= 0) ::close(fd);
    }

    void send(const Bytes& b) { ASSERT_EQ(::send(fd, b.data(), b.size(), 0), ssize_t(b.size())); }

    // One datagram, or empty after timeoutMs.
    Bytes receive(int timeoutMs = 2000)
    {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) <= 0) return {};
        std::uint8_t buf[2048];
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        return n > 0 ? Bytes(buf, buf + n) : Bytes{};
    }

    static Bytes readOne(std::uint16_t tid)
    {
        return {std::uint8_t(tid >> 8), std::uint8_t(tid), 0x00, 0x00, 0x00, 0x06, 0x01, 0x03, 0x00, 0x00, 0x00, 0x01};
    }
    static Bytes goodReply(std::uint16_t tid)
    {
        return {std::uint8_t(tid >> 8), std::uint8_t(tid), 0x00, 0x00, 0x00, 0x05, 0x01, 0x03, 0x02, 0x12, 0x34};
    }

    sim::UdpDevice dev;
    int port = -1;
    int fd = -1;
};

TEST_F(UdpDeviceTest, RoundTrip)
{
    send(readOne(0x0102));
    EXPECT_EQ(receive(), goodReply(0x0102));
    send({0x00, 0x02, 0x00, 0x00, 0x00, 0x06, 0x09, 0x06, 0x00, 0x05, 0xAB, 0xCD});
    EXPECT_EQ(receive(), (Bytes{0x00, 0x02, 0x00, 0x00, 0x00, 0x06, 0x09, 0x06, 0x00, 0x05, 0xAB, 0xCD}));
    EXPECT_EQ(dev.holdingRegister(5), 0xABCD);
    EXPECT_EQ(dev.requests().size(), 2u);
}

TEST_F(UdpDeviceTest, MalformedDatagramsAreNotAnswered)
{
    send({0x00, 0x01, 0x00, 0x00, 0x00, 0x06, 0x01});  // 7 bytes
    Bytes lying = readOne(2);
    lying[5] = 0x07;  // announces one byte more than sent
    send(lying);
    EXPECT_TRUE(receive(100).empty());
    send(readOne(3));
    EXPECT_EQ(receive(), goodReply(3));
}

TEST_F(UdpDeviceTest, DatagramSizeFaults)
{
    dev.pushFault(Fault{FaultKind::ShortDatagram, 0});
    send(readOne(1));
    const Bytes whole = goodReply(1);
    EXPECT_EQ(receive(), Bytes(whole.begin(), whole.begin() + 8));

    dev.pushFault(Fault{FaultKind::LongDatagram, 0});
    send(readOne(2));
    Bytes got = receive();
    ASSERT_EQ(got.size(), 300u);
    EXPECT_EQ(Bytes(got.begin(), got.begin() + 11), goodReply(2));

    dev.pushFault(Fault{FaultKind::LyingLength, 0x0100 - 5});
    send(readOne(3));
    Bytes expected = goodReply(3);
    expected[4] = 0x01;
    expected[5] = 0x00;
    EXPECT_EQ(receive(), expected);
}

TEST_F(UdpDeviceTest, LateAndDelayedDatagrams)
{
    send(readOne(0x0101));
    EXPECT_EQ(receive(), goodReply(0x0101));
    dev.pushFault(Fault{FaultKind::LateReply, 0});
    send(readOne(0x0102));
    EXPECT_EQ(receive(), goodReply(0x0101));  // carries the earlier id

    // A reply delayed past the client's wait arrives while the next request is answered.
    dev.pushFault(Fault{FaultKind::Delay, 150});
    send(readOne(3));
    EXPECT_TRUE(receive(50).empty());
    send(readOne(4));
    EXPECT_EQ(receive(), goodReply(4));
    EXPECT_EQ(receive(), goodReply(3));

    dev.pushFault(Fault{FaultKind::Drop, 0});
    send(readOne(5));
    EXPECT_TRUE(receive(100).empty());
}

TEST_F(UdpDeviceTest, IdentifierFaults)
{
    dev.pushFault(Fault{FaultKind::WrongTransactionId, 0x0100});
    dev.pushFault(Fault{FaultKind::UnitIdZero, 0});
    dev.pushFault(Fault{FaultKind::Exception, 4});
    send(readOne(1));
    EXPECT_EQ(receive(), goodReply(0x0101));
    send(readOne(2));
    Bytes expected = goodReply(2);
    expected[6] = 0;
    EXPECT_EQ(receive(), expected);
    send(readOne(3));
    EXPECT_EQ(receive(), (Bytes{0x00, 0x03, 0x00, 0x00, 0x00, 0x03, 0x01, 0x83, 0x04}));
}

} // namespace
