// The serial device on a pseudo-terminal, with the tty opened the way a master opens it.
#include "sim/checksums.h"
#include "sim/serial_device.h"
#include "raw_client.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

namespace {

using simtest::Bytes;
using sim::Fault;
using sim::FaultKind;
using sim::SerialFraming;

Bytes text(const std::string& s) { return Bytes(s.begin(), s.end()); }

Bytes withCrc(Bytes body)
{
    const std::uint16_t crc = sim::crc16(body.data(), body.size());
    body.push_back(std::uint8_t(crc & 0xFF));
    body.push_back(std::uint8_t(crc >> 8));
    return body;
}

// The master's end of the line.
class Line {
public:
    explicit Line(const std::string& path)
    {
        fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (fd_ < 0) return;
        termios t{};
        ::tcgetattr(fd_, &t);
        cfmakeraw(&t);
        ::tcsetattr(fd_, TCSANOW, &t);
    }
    ~Line()
    {
        if (fd_ >= 0) ::close(fd_);
    }
    bool ok() const { return fd_ >= 0; }
    bool write(const Bytes& b) { return ::write(fd_, b.data(), b.size()) == ssize_t(b.size()); }
    void purge() { ::tcflush(fd_, TCIOFLUSH); }

    // Up to `count` bytes; fewer when `timeoutMs` pass without one.
    Bytes read(std::size_t count, int timeoutMs = 2000)
    {
        Bytes out;
        for (int i = 0; i < 10000 && out.size() < count; ++i) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, timeoutMs) <= 0) break;
            std::uint8_t buf[512];
            const ssize_t n = ::read(fd_, buf, std::min(sizeof buf, count - out.size()));
            if (n <= 0) break;
            out.insert(out.end(), buf, buf + n);
        }
        return out;
    }

private:
    int fd_ = -1;
};

class SerialDeviceTest : public ::testing::Test {
protected:
    void open(SerialFraming framing)
    {
        path = dev.start(framing);
        ASSERT_FALSE(path.empty());
        line = std::make_unique<Line>(path);
        ASSERT_TRUE(line->ok());
        dev.setHoldingRegister(0, 1);
    }
    const Bytes readRequest{0x01, 0x03, 0x00, 0x00, 0x00, 0x01, 0x84, 0x0A};
    const Bytes readReply{0x01, 0x03, 0x02, 0x00, 0x01, 0x79, 0x84};
    sim::SerialDevice dev;
    std::string path;
    std::unique_ptr<Line> line;
};

TEST_F(SerialDeviceTest, RtuRoundTripAndBroadcast)
{
    open(SerialFraming::Rtu);
    ASSERT_TRUE(line->write(readRequest));
    EXPECT_EQ(line->read(7), readReply);
    ASSERT_TRUE(line->write(withCrc({0x00, 0x06, 0x00, 0x02, 0x00, 0x07})));
    EXPECT_TRUE(line->read(1, 100).empty());
    EXPECT_EQ(dev.holdingRegister(2), 7);
    EXPECT_EQ(dev.requests().size(), 2u);
}

TEST_F(SerialDeviceTest, LineFaults)
{
    open(SerialFraming::Rtu);
    dev.pushFault(Fault{FaultKind::EchoRequest, 0});
    ASSERT_TRUE(line->write(readRequest));
    Bytes expected = readRequest;
    expected.insert(expected.end(), readReply.begin(), readReply.end());
    EXPECT_EQ(line->read(15), expected);

    dev.pushFault(Fault{FaultKind::StrayByte, 0x42});
    ASSERT_TRUE(line->write(readRequest));
    expected = Bytes{0x42};
    expected.insert(expected.end(), readReply.begin(), readReply.end());
    EXPECT_EQ(line->read(8), expected);

    dev.pushFault(Fault{FaultKind::ShortReply, 0});
    ASSERT_TRUE(line->write(readRequest));
    EXPECT_EQ(line->read(7, 150), Bytes(readReply.begin(), readReply.end() - 1));

    dev.pushFault(Fault{FaultKind::Drop, 0});
    ASSERT_TRUE(line->write(readRequest));
    EXPECT_TRUE(line->read(1, 150).empty());

    dev.pushFault(Fault{FaultKind::WrongUnitId, 3});
    ASSERT_TRUE(line->write(readRequest));
    EXPECT_EQ(line->read(7), withCrc({0x03, 0x03, 0x02, 0x00, 0x01}));

    dev.pushFault(Fault{FaultKind::BadChecksum, 0});
    ASSERT_TRUE(line->write(readRequest));
    const Bytes bad = line->read(7);
    ASSERT_EQ(bad.size(), 7u);
    EXPECT_NE(sim::crc16(bad.data(), 5), bad[5] | (bad[6] << 8));

    // Faults that end a TCP connection are silence on a line; the line stays usable.
    dev.pushFault(Fault{FaultKind::Close, 0});
    ASSERT_TRUE(line->write(readRequest));
    EXPECT_TRUE(line->read(1, 100).empty());
    ASSERT_TRUE(line->write(readRequest));
    EXPECT_EQ(line->read(7), readReply);
}

TEST_F(SerialDeviceTest, SplitReplyComesWithPauses)
{
    open(SerialFraming::Rtu);
    dev.pushFault(Fault{FaultKind::SplitReply, 60});
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(line->write(readRequest));
    const Bytes first = line->read(7, 30);  // only the first piece arrives before the pause
    EXPECT_FALSE(first.empty());
    EXPECT_LT(first.size(), 7u);
    Bytes all = first;
    const Bytes rest = line->read(7 - first.size());
    all.insert(all.end(), rest.begin(), rest.end());
    EXPECT_EQ(all, readReply);
    EXPECT_GE(simtest::elapsedMs(start), 2 * 60 - 5);
}

TEST_F(SerialDeviceTest, ChatterFillsTheLineUntilCleared)
{
    open(SerialFraming::Rtu);
    dev.setPersistentFault(Fault{FaultKind::Chatter, 2});
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    line->purge();
    // Bytes keep coming without any request.
    EXPECT_GE(line->read(5, 200).size(), 5u);
    dev.clearFaults();
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    line->purge();
    EXPECT_TRUE(line->read(1, 50).empty());
    ASSERT_TRUE(line->write(readRequest));
    EXPECT_EQ(line->read(7), readReply);
}

TEST_F(SerialDeviceTest, NoiseAnswersTheMastersPurges)
{
    open(SerialFraming::Rtu);
    dev.pushFault(Fault{FaultKind::NoiseOnPurge, 2});
    for (int i = 0; i < 2; ++i) {
        line->purge();
        EXPECT_EQ(line->read(1, 1000), Bytes{0x55}) << i;
    }
    line->purge();
    EXPECT_TRUE(line->read(1, 100).empty());
    // The purges used the fault up; the request is served normally.
    ASSERT_TRUE(line->write(readRequest));
    EXPECT_EQ(line->read(7), readReply);

    // Chatter answers every purge too, as long as it is set.
    dev.setPersistentFault(Fault{FaultKind::Chatter, 1000});
    for (int i = 0; i < 5; ++i) {
        line->purge();
        EXPECT_EQ(line->read(1, 1000).size(), 1u) << i;
    }
}

TEST_F(SerialDeviceTest, AsciiOnTheLine)
{
    open(SerialFraming::Ascii);
    dev.setHoldingRegister(0, 0x00AB);
    ASSERT_TRUE(line->write(text(":010300000001FB\r\n")));
    EXPECT_EQ(line->read(15), text(":01030200AB4F\r\n"));
    dev.pushFault(Fault{FaultKind::LowerCaseHex, 0});
    ASSERT_TRUE(line->write(text(":010300000001FB\r\n")));
    EXPECT_EQ(line->read(15), text(":01030200ab4f\r\n"));
}

TEST_F(SerialDeviceTest, ExtendedAddressesOnTheLine)
{
    open(SerialFraming::ExtendedRtu);
    dev.pushFault(Fault{FaultKind::Exception, 2});
    // Slave 548: F9 2C.
    ASSERT_TRUE(line->write(withCrc({0xF9, 0x2C, 0x03, 0x00, 0x00, 0x00, 0x01})));
    EXPECT_EQ(line->read(6), withCrc({0xF9, 0x2C, 0x83, 0x02}));
    ASSERT_TRUE(line->write(withCrc({0xF8, 0x00, 0x03, 0x00, 0x00, 0x00, 0x01})));
    // Two-byte byte count in the reply of an extended slave.
    EXPECT_EQ(line->read(9), withCrc({0xF8, 0x00, 0x03, 0x00, 0x02, 0x00, 0x01}));
    // Standard slaves still use one address byte.
    ASSERT_TRUE(line->write(readRequest));
    EXPECT_EQ(line->read(7), readReply);
}

TEST(SerialDeviceLifecycle, RestartGivesANewLine)
{
    sim::SerialDevice dev;
    const std::string first = dev.start(SerialFraming::Rtu);
    ASSERT_FALSE(first.empty());
    EXPECT_EQ(dev.start(SerialFraming::Rtu), "");  // already running
    dev.stop();
    const std::string second = dev.start(SerialFraming::Ascii);
    ASSERT_FALSE(second.empty());
    EXPECT_EQ(dev.path(), second);
}

} // namespace
