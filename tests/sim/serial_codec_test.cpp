// Check values and serial frames against the worked examples of the serial-line standard.
#include "sim/checksums.h"
#include "sim/serial_codec.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using sim::Fault;
using sim::FaultKind;
using sim::SerialCodec;
using sim::SerialFraming;
using sim::SerialRequest;
using Bytes = std::vector<std::uint8_t>;

Bytes text(const std::string& s) { return Bytes(s.begin(), s.end()); }

TEST(Checksums, Crc16CheckValues)
{
    const Bytes digits = text("123456789");
    EXPECT_EQ(sim::crc16(digits.data(), digits.size()), 0x4B37);
    const Bytes read1{0x01, 0x03, 0x00, 0x00, 0x00, 0x01};
    EXPECT_EQ(sim::crc16(read1.data(), read1.size()), 0x0A84);  // sent as 84 0A
    const Bytes read3{0x11, 0x03, 0x00, 0x6B, 0x00, 0x03};
    EXPECT_EQ(sim::crc16(read3.data(), read3.size()), 0x8776);  // sent as 76 87
}

TEST(Checksums, LrcExamples)
{
    const Bytes a{0x01, 0x03, 0x00, 0x00, 0x00, 0x01};
    EXPECT_EQ(sim::lrc(a.data(), a.size()), 0xFB);
    const Bytes b{0x01, 0x03, 0x00, 0x00, 0x00, 0x0A};
    EXPECT_EQ(sim::lrc(b.data(), b.size()), 0xF2);
    const Bytes zero{0x00};
    EXPECT_EQ(sim::lrc(zero.data(), zero.size()), 0x00);
}

class RtuScan : public ::testing::Test {
protected:
    SerialCodec::Scan scan(const Bytes& b, SerialFraming f = SerialFraming::Rtu)
    {
        return SerialCodec::scan(f, b.data(), b.size(), used, request);
    }
    std::size_t used = 0;
    SerialRequest request;
};

TEST_F(RtuScan, FixedLengthRequest)
{
    Bytes frame{0x01, 0x03, 0x00, 0x00, 0x00, 0x01, 0x84, 0x0A};
    for (std::size_t n = 1; n < frame.size(); ++n) {
        const Bytes part(frame.begin(), frame.begin() + long(n));
        EXPECT_EQ(scan(part), SerialCodec::Scan::NeedMore) << n;
    }
    Bytes withNext = frame;
    withNext.push_back(0x01);  // the start of another frame stays for later
    ASSERT_EQ(scan(withNext), SerialCodec::Scan::Frame);
    EXPECT_EQ(used, 8u);
    EXPECT_EQ(request.address, 1);
    EXPECT_FALSE(request.extended);
    EXPECT_EQ(request.pdu, (Bytes{0x03, 0x00, 0x00, 0x00, 0x01}));
}

TEST_F(RtuScan, BadCrcIsGarbage)
{
    const Bytes frame{0x01, 0x03, 0x00, 0x00, 0x00, 0x01, 0x84, 0x0B, 0x11};
    EXPECT_EQ(scan(frame), SerialCodec::Scan::Garbage);
    EXPECT_EQ(used, frame.size());
}

TEST_F(RtuScan, LengthFromByteCount)
{
    // Write registers 1 and 2 on slave 0x11: the byte count says 4 more data bytes.
    Bytes body{0x11, 0x10, 0x00, 0x01, 0x00, 0x02, 0x04, 0x00, 0x0A, 0x01, 0x02};
    const std::uint16_t crc = sim::crc16(body.data(), body.size());
    body.push_back(std::uint8_t(crc));
    body.push_back(std::uint8_t(crc >> 8));
    EXPECT_EQ(scan(Bytes(body.begin(), body.begin() + 6)), SerialCodec::Scan::NeedMore);
    EXPECT_EQ(scan(Bytes(body.begin(), body.end() - 1)), SerialCodec::Scan::NeedMore);
    ASSERT_EQ(scan(body), SerialCodec::Scan::Frame);
    EXPECT_EQ(used, body.size());
    EXPECT_EQ(request.address, 0x11);
    EXPECT_EQ(request.pdu.size(), 10u);
}

TEST_F(RtuScan, DiagnosticsEndsWhereTheCrcFits)
{
    Bytes body{0x01, 0x08, 0x00, 0x00, 0xA5, 0x37};
    const std::uint16_t crc = sim::crc16(body.data(), body.size());
    body.push_back(std::uint8_t(crc));
    EXPECT_EQ(scan(body), SerialCodec::Scan::NeedMore);
    body.push_back(std::uint8_t(crc >> 8));
    ASSERT_EQ(scan(body), SerialCodec::Scan::Frame);
    EXPECT_EQ(request.pdu, (Bytes{0x08, 0x00, 0x00, 0xA5, 0x37}));
    // A run of junk longer than any frame is given up.
    EXPECT_EQ(scan(Bytes(300, 0x08)), SerialCodec::Scan::Garbage);
    EXPECT_EQ(used, 300u);
}

TEST_F(RtuScan, ExtendedAddresses)
{
    const struct { std::uint8_t hi, lo; int address; } cases[] = {
        {0xF8, 0x00, 248}, {0xFA, 0xF0, 1000}, {0xF9, 0x2C, 548}, {0xFF, 0xFF, 2295}};
    for (const auto& c : cases) {
        Bytes body{c.hi, c.lo, 0x03, 0x00, 0x00, 0x09, 0xC4};
        const std::uint16_t crc = sim::crc16(body.data(), body.size());
        body.push_back(std::uint8_t(crc));
        body.push_back(std::uint8_t(crc >> 8));
        ASSERT_EQ(scan(body, SerialFraming::ExtendedRtu), SerialCodec::Scan::Frame);
        EXPECT_EQ(request.address, c.address);
        EXPECT_TRUE(request.extended);
        EXPECT_EQ(request.pdu, (Bytes{0x03, 0x00, 0x00, 0x09, 0xC4}));
        // Plain RTU reads the same bytes as a one-byte address and function code `lo`.
        ASSERT_EQ(scan(body, SerialFraming::Rtu), SerialCodec::Scan::Frame);
        EXPECT_EQ(request.address, c.hi);
        EXPECT_FALSE(request.extended);
        EXPECT_EQ(request.pdu[0], c.lo);
    }
    // Slave 247 keeps its one-byte address in the extended framing.
    const Bytes std247{0xF7, 0x07, 0x00, 0x00};
    Bytes f = std247;
    const std::uint16_t crc = sim::crc16(f.data(), 2);
    f[2] = std::uint8_t(crc);
    f[3] = std::uint8_t(crc >> 8);
    ASSERT_EQ(scan(f, SerialFraming::ExtendedRtu), SerialCodec::Scan::Frame);
    EXPECT_EQ(request.address, 247);
    EXPECT_FALSE(request.extended);
}

TEST_F(RtuScan, AsciiFrames)
{
    ASSERT_EQ(scan(text(":010300000001FB\r\n"), SerialFraming::Ascii), SerialCodec::Scan::Frame);
    EXPECT_EQ(used, 17u);
    EXPECT_EQ(request.address, 1);
    EXPECT_EQ(request.pdu, (Bytes{0x03, 0x00, 0x00, 0x00, 0x01}));
    ASSERT_EQ(scan(text(":01030000000AF2\r\n"), SerialFraming::Ascii), SerialCodec::Scan::Frame);
    EXPECT_EQ(request.pdu, (Bytes{0x03, 0x00, 0x00, 0x00, 0x0A}));

    EXPECT_EQ(scan(text(":010300000001F"), SerialFraming::Ascii), SerialCodec::Scan::NeedMore);
    EXPECT_EQ(scan(text("xy:0103"), SerialFraming::Ascii), SerialCodec::Scan::Garbage);
    EXPECT_EQ(used, 2u);  // the junk in front only
    EXPECT_EQ(scan(text(":0103:010300000001FB\r\n"), SerialFraming::Ascii), SerialCodec::Scan::Garbage);
    EXPECT_EQ(used, 5u);  // a new colon starts over
    EXPECT_EQ(scan(text(":010300000001fb\r\n"), SerialFraming::Ascii), SerialCodec::Scan::Garbage);
    EXPECT_EQ(scan(text(":010300000001FC\r\n"), SerialFraming::Ascii), SerialCodec::Scan::Garbage);
    EXPECT_EQ(scan(text(":010300000001FB\n"), SerialFraming::Ascii), SerialCodec::Scan::Garbage);
    EXPECT_EQ(scan(text(":0103000000001FB\r\n"), SerialFraming::Ascii), SerialCodec::Scan::Garbage);
    EXPECT_EQ(used, 18u);
}

TEST(SerialReply, RtuExamples)
{
    SerialRequest req;
    req.address = 1;
    EXPECT_EQ(SerialCodec::encodeReply(SerialFraming::Rtu, req, {0x03, 0x02, 0x00, 0x01}, Fault{}),
              (Bytes{0x01, 0x03, 0x02, 0x00, 0x01, 0x79, 0x84}));
    EXPECT_EQ(SerialCodec::encodeReply(SerialFraming::Rtu, req, {0x83, 0x02}, Fault{}),
              (Bytes{0x01, 0x83, 0x02, 0xC0, 0xF1}));
    Bytes bad = SerialCodec::encodeReply(SerialFraming::Rtu, req, {0x83, 0x02}, Fault{FaultKind::BadChecksum, 0});
    ASSERT_EQ(bad.size(), 5u);
    EXPECT_EQ(Bytes(bad.begin(), bad.begin() + 3), (Bytes{0x01, 0x83, 0x02}));
    EXPECT_NE(Bytes(bad.begin() + 3, bad.end()), (Bytes{0xC0, 0xF1}));
}

TEST(SerialReply, AddressFaults)
{
    SerialRequest req;
    req.address = 5;
    Bytes r = SerialCodec::encodeReply(SerialFraming::Rtu, req, {0x07, 0x6D}, Fault{FaultKind::WrongUnitId, 0});
    EXPECT_NE(r[0], 5);
    EXPECT_NE(r[0], 0);
    EXPECT_EQ(sim::crc16(r.data(), r.size() - 2), r[3] | (r[4] << 8));  // a valid frame, wrong sender
    r = SerialCodec::encodeReply(SerialFraming::Rtu, req, {0x07, 0x6D}, Fault{FaultKind::WrongUnitId, 9});
    EXPECT_EQ(r[0], 9);
    r = SerialCodec::encodeReply(SerialFraming::Rtu, req, {0x07, 0x6D}, Fault{FaultKind::UnitIdZero, 0});
    EXPECT_EQ(r[0], 0);
    req.address = 247;
    r = SerialCodec::encodeReply(SerialFraming::Rtu, req, {0x07, 0x6D}, Fault{FaultKind::WrongUnitId, 0});
    EXPECT_NE(r[0], 247);
    EXPECT_NE(r[0], 0);
}

TEST(SerialReply, ExtendedAddressReplies)
{
    SerialRequest req;
    req.address = 548;
    req.extended = true;
    EXPECT_EQ(SerialCodec::encodeReply(SerialFraming::ExtendedRtu, req, {0x83, 0x02}, Fault{}),
              (Bytes{0xF9, 0x2C, 0x83, 0x02, 0x11, 0x80}));
    const Bytes other = SerialCodec::encodeReply(SerialFraming::ExtendedRtu, req, {0x83, 0x02},
                                                 Fault{FaultKind::WrongUnitId, 0});
    EXPECT_EQ(other[0], 0xF9);
    EXPECT_EQ(other[1], 0x2D);  // slave 549
    req.address = 2295;
    const Bytes last = SerialCodec::encodeReply(SerialFraming::ExtendedRtu, req, {0x83, 0x02},
                                                Fault{FaultKind::WrongUnitId, 0});
    EXPECT_EQ((Bytes{last[0], last[1]}), (Bytes{0xF8, 0x00}));  // wraps to slave 248
}

TEST(SerialReply, AsciiExamplesAndFaults)
{
    SerialRequest req;
    req.address = 1;
    EXPECT_EQ(SerialCodec::encodeReply(SerialFraming::Ascii, req, {0x83, 0x02}, Fault{}),
              text(":0183027A\r\n"));
    EXPECT_EQ(SerialCodec::encodeReply(SerialFraming::Ascii, req, {0x03, 0x02, 0x00, 0xAB}, Fault{}),
              text(":01030200AB4F\r\n"));
    EXPECT_EQ(SerialCodec::encodeReply(SerialFraming::Ascii, req, {0x03, 0x02, 0x00, 0xAB},
                                       Fault{FaultKind::LowerCaseHex, 0}),
              text(":01030200ab4f\r\n"));
    EXPECT_EQ(SerialCodec::encodeReply(SerialFraming::Ascii, req, {0x03, 0x02, 0x00, 0xAB},
                                       Fault{FaultKind::BadChecksum, 0}),
              text(":01030200AB50\r\n"));
    EXPECT_EQ(SerialCodec::encodeReply(SerialFraming::Ascii, req, {0x03, 0x02, 0x00, 0xAB},
                                       Fault{FaultKind::UnitIdZero, 0}),
              text(":00030200AB50\r\n"));
}

} // namespace
