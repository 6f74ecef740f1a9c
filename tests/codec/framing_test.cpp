// Golden vectors of the serial framings, straight from the worked examples.
#include <gtest/gtest.h>

#include <cstring>

#include "codec/ascii_codec.h"
#include "codec/ascii_framing.h"
#include "codec/crc16.h"
#include "codec/elam_framing.h"
#include "codec/hex_digits.h"
#include "codec/rtu_codec.h"
#include "codec/rtu_framing.h"
#include "mbus.h"
#include "tests/support/test_frames.h"

using namespace mbus;

namespace {

Bytes rtuFrameOf(int slave, int function, const Bytes &data)
{
    unsigned char frame[kRtuMaxFrame] = {};
    int len = buildRtuFrame(frame, slave, function, data.data(), static_cast<int>(data.size()));
    return Bytes(frame, frame + len);
}

Bytes elamFrameOf(int slave, int function, const Bytes &data)
{
    unsigned char frame[kElamMaxFrame] = {};
    int len = buildElamFrame(frame, slave, function, data.data(), static_cast<int>(data.size()));
    return Bytes(frame, frame + len);
}

std::string asciiFrameOf(int slave, int function, const Bytes &data)
{
    unsigned char frame[kAsciiMaxFrame] = {};
    int len = buildAsciiFrame(frame, slave, function, data.data(), static_cast<int>(data.size()));
    return std::string(frame, frame + len);
}

// Decodes a reply given as text; returns the result and the data bytes delivered.
int decodeAscii(const std::string &text, int slave, int function, Bytes *data = nullptr)
{
    unsigned char frame[kAsciiMaxFrame] = {};
    std::memcpy(frame, text.data(), text.size());
    int dataLen = -1;
    int result = decodeAsciiReply(frame, static_cast<int>(text.size()), slave, function, &dataLen);
    if (data != nullptr && result == 0)
        *data = Bytes(frame + 2, frame + 2 + dataLen);
    return result;
}

} // namespace

TEST(Crc16, CheckValues)
{
    const char *digits = "123456789";
    EXPECT_EQ(calcCrc16(reinterpret_cast<const unsigned char *>(digits), 9), 0x4B37);
    EXPECT_EQ(rtuFrameOf(0x01, 0x03, {0x00, 0x00, 0x00, 0x01}),
              (Bytes{0x01, 0x03, 0x00, 0x00, 0x00, 0x01, 0x84, 0x0A}));
    EXPECT_EQ(rtuFrameOf(0x11, 0x03, {0x00, 0x6B, 0x00, 0x03}),
              (Bytes{0x11, 0x03, 0x00, 0x6B, 0x00, 0x03, 0x76, 0x87}));
    // No bytes: the start value itself.
    EXPECT_EQ(calcCrc16(nullptr, 0), 0xFFFF);
}

TEST(Crc16, TablesAgreeWithTheBitwiseAlgorithm)
{
    // Every single byte exercises every table entry; a longer message checks the chaining.
    for (int b = 0; b < 256; ++b) {
        unsigned char one = static_cast<unsigned char>(b);
        ASSERT_EQ(calcCrc16(&one, 1), bitwiseCrc16(Bytes{one})) << "byte " << b;
    }
    Bytes message;
    for (int i = 0; i < 300; ++i)
        message.push_back(static_cast<std::uint8_t>(i * 37 + 11));
    EXPECT_EQ(calcCrc16(message.data(), message.size()), bitwiseCrc16(message));
}

TEST(AsciiCodec, LrcAndHexDigits)
{
    const unsigned char request[] = {0x01, 0x03, 0x00, 0x00, 0x00, 0x01};
    EXPECT_EQ(calcLrc(request, sizeof request), 0xFB);
    const unsigned char wraps[] = {0xFF, 0x01};
    EXPECT_EQ(calcLrc(wraps, sizeof wraps), 0x00);
    EXPECT_EQ(hexDigitHigh(0xA5), 'A');
    EXPECT_EQ(hexDigitLow(0xA5), '5');
    EXPECT_EQ(hexDigitHigh(0x0F), '0');
    EXPECT_EQ(hexDigitLow(0x0F), 'F');
}

TEST(AsciiCodec, HexPairToByte)
{
    EXPECT_EQ(hexPairToByte('0', '0'), 0x00);
    EXPECT_EQ(hexPairToByte('F', 'B'), 0xFB);
    EXPECT_EQ(hexPairToByte('9', 'A'), 0x9A);
    EXPECT_EQ(hexPairToByte('f', 'b'), -1); // lower case is refused
    EXPECT_EQ(hexPairToByte('G', '0'), -1);
    EXPECT_EQ(hexPairToByte('0', ':'), -1);
    EXPECT_EQ(hexPairToByte('@', '0'), -1); // the characters around the digit ranges
    EXPECT_EQ(hexPairToByte('/', '0'), -1);
    for (int b = 0; b < 256; ++b) {
        unsigned char v = static_cast<unsigned char>(b);
        ASSERT_EQ(hexPairToByte(hexDigitHigh(v), hexDigitLow(v)), b);
    }
}

TEST(RtuFraming, ChecksInOrder)
{
    Bytes good = withCrc({0x01, 0x03, 0x02, 0x12, 0x34});
    EXPECT_EQ(checkRtuReply(good.data(), 7, 1, 3), 0);

    Bytes badCrc = good;
    badCrc[6] ^= 0x01;
    EXPECT_EQ(checkRtuReply(badCrc.data(), 7, 1, 3), MBUS_CHECKSUM_ERROR);

    Bytes otherSlave = withCrc({0x02, 0x03, 0x02, 0x12, 0x34});
    EXPECT_EQ(checkRtuReply(otherSlave.data(), 7, 1, 3), MBUS_INVALID_FRAME_ERROR);
    Bytes otherFunction = withCrc({0x01, 0x04, 0x02, 0x12, 0x34});
    EXPECT_EQ(checkRtuReply(otherFunction.data(), 7, 1, 3), MBUS_INVALID_FRAME_ERROR);

    Bytes exception = {0x01, 0x83, 0x02, 0xC0, 0xF1};
    EXPECT_EQ(checkRtuReply(exception.data(), 5, 1, 3), MBUS_ILLEGAL_ADDRESS_RESPONSE);
    // A corrupted exception frame is a checksum error first.
    exception[2] = 0x03;
    EXPECT_EQ(checkRtuReply(exception.data(), 5, 1, 3), MBUS_CHECKSUM_ERROR);
    // Exception codes beyond 0x7F keep their own number instead of posing as other results.
    Bytes highCode = withCrc({0x01, 0x83, 0xE1});
    EXPECT_EQ(checkRtuReply(highCode.data(), 5, 1, 3), 160 + 0xE1);
}

TEST(RtuFraming, ReplyFrameLength)
{
    EXPECT_EQ(rtuReplyFrameLength(0x03, 3), 7);
    EXPECT_EQ(rtuReplyFrameLength(0x83, 251), 5);
    EXPECT_EQ(rtuReplyFrameLength(0x07, 1), 5);
    EXPECT_EQ(rtuReplyFrameLength(0x03, 252), kRtuMaxFrame);
}

TEST(RtuFraming, SilenceIntervalFromBaudRate)
{
    const int table[][2] = {{1200, 37},
                            {2400, 18},
                            {4800, 9},
                            {9600, 5},
                            {19200, 2},
                            {38400, 1},
                            {115200, 1},
                            {300, 147},
                            {1, 44000},
                            {88000, 1},
                            {29333, 2},
                            // Exactly half a millisecond over: rounded up.
                            {17600, 3},
                            {3520, 13}};
    for (const auto &row : table)
        EXPECT_EQ(rtuSilenceIntervalMs(row[0]), row[1]) << row[0] << " baud";
    // No division by zero, no negative time.
    EXPECT_EQ(rtuSilenceIntervalMs(0), -1);
    EXPECT_EQ(rtuSilenceIntervalMs(-9600), -1);
}

TEST(AsciiFraming, RequestExample)
{
    EXPECT_EQ(asciiFrameOf(1, 3, {0x00, 0x00, 0x00, 0x01}), ":010300000001FB\r\n");
    EXPECT_EQ(asciiFrameOf(0xF7, 0x10, {}).size(), 9u);
    std::string longest = asciiFrameOf(1, 16, Bytes(kAsciiMaxData, 0xAB));
    EXPECT_EQ(longest.size(), 513u);
    EXPECT_EQ(longest.substr(longest.size() - 2), "\r\n");
}

TEST(AsciiFraming, DecodeReplies)
{
    Bytes data;
    std::string good(reinterpret_cast<const char *>(asciiFrame({0x01, 0x03, 0x02, 0x12, 0x34}).data()), 15);
    EXPECT_EQ(decodeAscii(good, 1, 3, &data), 0);
    EXPECT_EQ(data, (Bytes{0x02, 0x12, 0x34}));

    // The closing pair is never looked at.
    std::string noCrLf = good.substr(0, 13) + "xy";
    EXPECT_EQ(decodeAscii(noCrLf, 1, 3), 0);

    EXPECT_EQ(decodeAscii(";" + good.substr(1), 1, 3), MBUS_INVALID_FRAME_ERROR);
    Bytes lower = asciiFrame({0x01, 0x03, 0x02, 0xAB, 0xCD}, true);
    EXPECT_EQ(decodeAscii(std::string(lower.begin(), lower.end()), 1, 3), MBUS_INVALID_FRAME_ERROR);

    std::string badLrc = good;
    badLrc[11] = badLrc[11] == '0' ? '1' : '0';
    EXPECT_EQ(decodeAscii(badLrc, 1, 3), MBUS_CHECKSUM_ERROR);

    Bytes other = asciiFrame({0x02, 0x03, 0x02, 0x12, 0x34});
    EXPECT_EQ(decodeAscii(std::string(other.begin(), other.end()), 1, 3), MBUS_INVALID_FRAME_ERROR);

    Bytes exception = asciiFrame({0x01, 0x83, 0x02});
    ASSERT_EQ(exception.size(), 11u);
    EXPECT_EQ(decodeAscii(std::string(exception.begin(), exception.end()), 1, 3), MBUS_ILLEGAL_ADDRESS_RESPONSE);
    EXPECT_EQ(asciiReplyCharCount('8', 100), 11);
    EXPECT_EQ(asciiReplyCharCount('0', 1), 11);
    EXPECT_EQ(asciiReplyCharCount('0', 3), 15);
    EXPECT_EQ(asciiReplyCharCount('0', 252), 513);
}

TEST(ElamFraming, AddressLayout)
{
    // x = slave - 248: high byte 0xF8 + x / 256, low byte x % 256.
    Bytes frame248 = elamFrameOf(248, 3, {0x00, 0x00, 0x00, 0x01});
    EXPECT_EQ(Bytes(frame248.begin(), frame248.begin() + 3), (Bytes{0xF8, 0x00, 0x03}));
    EXPECT_EQ(frame248, withCrc({0xF8, 0x00, 0x03, 0x00, 0x00, 0x00, 0x01}));
    EXPECT_EQ(frame248.size(), 9u);
    Bytes frame2295 = elamFrameOf(2295, 3, {});
    EXPECT_EQ(Bytes(frame2295.begin(), frame2295.begin() + 2), (Bytes{0xFF, 0xFF}));
    Bytes frame1000 = elamFrameOf(1000, 4, {});
    EXPECT_EQ(Bytes(frame1000.begin(), frame1000.begin() + 2), (Bytes{0xFA, 0xF0}));
    Bytes frame548 = elamFrameOf(548, 3, {});
    EXPECT_EQ(Bytes(frame548.begin(), frame548.begin() + 2), (Bytes{0xF9, 0x2C}));
    EXPECT_FALSE(isExtendedSlave(247));
    EXPECT_TRUE(isExtendedSlave(248));
    EXPECT_TRUE(isExtendedSlave(2295));
    EXPECT_FALSE(isExtendedSlave(2296));
}

TEST(ElamFraming, ReplyChecks)
{
    Bytes exception = withCrc({0xF9, 0x2C, 0x83, 0x02});
    EXPECT_EQ(checkElamReply(exception.data(), 6, 548, 3), MBUS_ILLEGAL_ADDRESS_RESPONSE);
    Bytes from249 = withCrc({0xF8, 0x01, 0x03, 0x00, 0x02, 0x12, 0x34});
    EXPECT_EQ(checkElamReply(from249.data(), 9, 249, 3), 0);
    EXPECT_EQ(checkElamReply(from249.data(), 9, 248, 3), MBUS_INVALID_FRAME_ERROR);
    // Same low byte, other high byte: 248 + 256 = 504 is F9 00, not F8 00.
    Bytes from504 = withCrc({0xF9, 0x00, 0x03, 0x00, 0x02, 0x12, 0x34});
    EXPECT_EQ(checkElamReply(from504.data(), 9, 248, 3), MBUS_INVALID_FRAME_ERROR);
    from249[4] ^= 0x40;
    EXPECT_EQ(checkElamReply(from249.data(), 9, 249, 3), MBUS_CHECKSUM_ERROR);
    EXPECT_EQ(elamReplyFrameLength(0x83, 5002), 6);
    EXPECT_EQ(elamReplyFrameLength(0x03, 5002), kElamMaxFrame);
}

// A reply that announces its length is read by that length, step by step, whatever length the
// caller expects; one that announces more than a frame holds ends the read.
TEST(RtuCodec, AnnouncedReplyLengths)
{
    // Device identification: header, then object 0 of three bytes; read 5, 8, 11, then done.
    const Bytes reply = rtuFrameOf(1, 43, {0x0E, 0x01, 0x01, 0x00, 0x00, 0x01, 0x00, 0x03, 'a', 'b', 'c'});
    RtuCodec codec;
    codec.buildRequest(1, 43, Bytes{0x0E, 0x01, 0x00}.data(), 3);
    int arrived = 0;
    int wanted = codec.firstReadSize();
    std::vector<int> reads;
    while (wanted > 0) {
        reads.push_back(wanted);
        std::memcpy(codec.frame() + arrived, reply.data() + arrived, static_cast<std::size_t>(wanted));
        arrived += wanted;
        ASSERT_EQ(MBUS_SUCCESS, codec.moreToRead(arrived, 252, &wanted));
    }
    EXPECT_EQ((std::vector<int>{5, 3, 2, 5}), reads);
    const unsigned char *data = nullptr;
    int dataLen = 0;
    ASSERT_EQ(MBUS_SUCCESS, codec.checkReply(arrived, 1, 43, &data, &dataLen));
    EXPECT_EQ(11, dataLen);

    // Report server id announcing 255 bytes; a request of another code keeps its expected length.
    codec.buildRequest(1, 17, nullptr, 0);
    std::memcpy(codec.frame(), Bytes{0x01, 0x11, 0xFF, 0x00, 0x00}.data(), 5);
    EXPECT_EQ(MBUS_INVALID_FRAME_ERROR, codec.moreToRead(5, 252, &wanted));
    codec.buildRequest(1, 3, Bytes{0, 0, 0, 1}.data(), 4);
    std::memcpy(codec.frame(), Bytes{0x01, 0x03, 0x02, 0x00, 0x00}.data(), 5);
    ASSERT_EQ(MBUS_SUCCESS, codec.moreToRead(5, 3, &wanted));
    EXPECT_EQ(2, wanted);
}

TEST(AsciiCodec, AnnouncedReplyLength)
{
    // FIFO queue of one value: byte count 4, count 1, value 0x1234.
    AsciiCodec codec;
    codec.buildRequest(1, 24, Bytes{0x00, 0x10}.data(), 2);
    const char reply[] = ":01180004000112349C\r\n";
    std::memcpy(codec.frame(), reply, 11);
    int wanted = 0;
    ASSERT_EQ(MBUS_SUCCESS, codec.moreToRead(11, 252, &wanted));
    EXPECT_EQ(static_cast<int>(sizeof reply) - 1 - 11, wanted);
}
