// Requests and reply checks of device identification, report server id, file records and FIFO
// queues, against the worked examples of the Modbus application protocol and broken replies.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "mbus.h"
#include "protocol/device_identification.h"
#include "protocol/fifo_queue.h"
#include "protocol/file_record.h"
#include "codec/reply_length.h"
#include "protocol/server_id.h"

using Bytes = std::vector<unsigned char>;
using Regs = std::vector<std::uint16_t>;

namespace {

Bytes operator+(Bytes a, const std::string &text)
{
    a.insert(a.end(), text.begin(), text.end());
    return a;
}

Bytes operator+(Bytes a, const Bytes &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

class DeviceIdentificationTest : public ::testing::Test {
protected:
    int begin(int code, int objectId, int objectCap = 8, int dataCap = 64)
    {
        objects.assign(9, mbus::DeviceIdObject{-7, -7, -7});
        data.assign(65, 0xEE);
        return reader.begin(code, objectId, objects.data(), objectCap, data.data(), dataCap);
    }
    Bytes request() const
    {
        Bytes out(mbus::DeviceIdentification::kRequestLength);
        reader.request(out.data());
        return out;
    }
    int take(const Bytes &reply) { return reader.takeReply(reply.data(), int(reply.size())); }
    std::string text(const mbus::DeviceIdObject &o) const
    {
        return std::string(data.begin() + o.offset, data.begin() + o.offset + o.length);
    }

    mbus::DeviceIdentification reader;
    std::vector<mbus::DeviceIdObject> objects;
    Bytes data;
};

TEST_F(DeviceIdentificationTest, BasicStreamExample)
{
    ASSERT_EQ(begin(1, 0), MBUS_SUCCESS);
    EXPECT_EQ(request(), (Bytes{0x0E, 0x01, 0x00}));
    const Bytes reply = Bytes{0x0E, 0x01, 0x01, 0x00, 0x00, 0x03, 0x00, 0x16} + "Company identification" +
                        Bytes{0x01, 0x0F} + "Product code XX" + Bytes{0x02, 0x05} + "V2.11";
    ASSERT_EQ(take(reply), MBUS_SUCCESS);
    EXPECT_TRUE(reader.finished());
    ASSERT_EQ(reader.objectCount(), 3);
    EXPECT_EQ(reader.conformityLevel(), 0x01);
    EXPECT_EQ(objects[1].id, 1);
    EXPECT_EQ(text(objects[1]), "Product code XX");
    EXPECT_EQ(text(objects[2]), "V2.11");
    EXPECT_EQ(objects[3].id, 0); // cleared by begin
}

TEST_F(DeviceIdentificationTest, ChainFollowsMoreFollowsToTheEnd)
{
    ASSERT_EQ(begin(3, 0), MBUS_SUCCESS);
    ASSERT_EQ(take({0x0E, 0x03, 0x83, 0xFF, 0x81, 0x02, 0x00, 0x01, 'V', 0x80, 0x02, 'x', 'x'}), MBUS_SUCCESS);
    EXPECT_FALSE(reader.finished());
    EXPECT_EQ(request(), (Bytes{0x0E, 0x03, 0x81}));
    ASSERT_EQ(take({0x0E, 0x03, 0x83, 0x00, 0x00, 0x01, 0x81, 0x01, 'y'}), MBUS_SUCCESS);
    EXPECT_TRUE(reader.finished());
    EXPECT_EQ(objects[2].id, 0x81);
    EXPECT_EQ(text(objects[2]), "y");
    EXPECT_EQ(std::string(data.begin(), data.begin() + 4), "Vxxy");
    EXPECT_EQ(take({0x0E, 0x03, 0x83, 0x00, 0x00, 0x00}), MBUS_INVALID_REPLY_ERROR); // nothing more asked
}

TEST_F(DeviceIdentificationTest, MalformedRepliesStoreNothing)
{
    const std::vector<Bytes> broken = {
        {},
        {0x0E, 0x03, 0x83, 0x00, 0x00},                           // header cut short
        {0x0D, 0x03, 0x83, 0x00, 0x00, 0x00},                     // another interface
        {0x0E, 0x01, 0x83, 0x00, 0x00, 0x00},                     // another access code
        {0x0E, 0x03, 0x83, 0x01, 0x00, 0x00},                     // more follows neither 00 nor FF
        {0x0E, 0x03, 0x83, 0x00, 0x00, 0x01, 0x00, 0x05, 'a'},    // object longer than the frame
        {0x0E, 0x03, 0x83, 0x00, 0x00, 0x02, 0x00, 0x01, 'a'},    // fewer objects than counted
        {0x0E, 0x03, 0x83, 0x00, 0x00, 0x01, 0x00, 0x01, 'a', 0}, // bytes left over
        {0x0E, 0x03, 0x83, 0x00, 0x00, 0x02, 0x01, 0x00, 0x00, 0x00},  // ids not rising
        {0x0E, 0x03, 0x83, 0xFF, 0x00, 0x01, 0x00, 0x01, 'a'},    // next object not beyond the last
        {0x0E, 0x03, 0x83, 0xFF, 0x05, 0x00},                     // more follows, no object
    };
    for (const Bytes &reply : broken) {
        ASSERT_EQ(begin(3, 0), MBUS_SUCCESS);
        EXPECT_EQ(take(reply), MBUS_INVALID_REPLY_ERROR) << reply.size() << " bytes";
        EXPECT_EQ(reader.objectCount(), 0);
        EXPECT_EQ(data[0], 0);
    }
    // A chain that names the same objects again never ends: refused at its second reply.
    ASSERT_EQ(begin(3, 0), MBUS_SUCCESS);
    const Bytes again{0x0E, 0x03, 0x83, 0xFF, 0x80, 0x01, 0x05, 0x01, 'a'};
    ASSERT_EQ(take(again), MBUS_SUCCESS);
    EXPECT_EQ(take(again), MBUS_INVALID_REPLY_ERROR);
    // Individual access takes exactly the object asked for.
    ASSERT_EQ(begin(4, 5), MBUS_SUCCESS);
    EXPECT_EQ(request(), (Bytes{0x0E, 0x04, 0x05}));
    EXPECT_EQ(take({0x0E, 0x04, 0x83, 0x00, 0x00, 0x01, 0x06, 0x01, 'a'}), MBUS_INVALID_REPLY_ERROR);
    EXPECT_EQ(take({0x0E, 0x04, 0x83, 0x00, 0x00, 0x01, 0x05, 0x01, 'a'}), MBUS_SUCCESS);
}

TEST_F(DeviceIdentificationTest, CallerBuffersBoundEverything)
{
    EXPECT_EQ(begin(5, 0), MBUS_ILLEGAL_ARGUMENT);
    EXPECT_EQ(begin(1, 256), MBUS_ILLEGAL_ARGUMENT);
    const Bytes two{0x0E, 0x03, 0x83, 0x00, 0x00, 0x02, 0x00, 0x02, 'a', 'b', 0x01, 0x01, 'c'};
    ASSERT_EQ(begin(3, 0, 1, 8), MBUS_SUCCESS); // one object slot
    EXPECT_EQ(take(two), MBUS_ILLEGAL_ARGUMENT);
    EXPECT_EQ(objects[1].id, -7);
    ASSERT_EQ(begin(3, 0, 8, 2), MBUS_SUCCESS); // two data bytes
    EXPECT_EQ(take(two), MBUS_ILLEGAL_ARGUMENT);
    EXPECT_EQ(data[2], 0xEE);
    EXPECT_EQ(reader.objectCount(), 0);
    ASSERT_EQ(begin(3, 0, 2, 3), MBUS_SUCCESS); // exactly enough
    EXPECT_EQ(take(two), MBUS_SUCCESS);
    EXPECT_EQ(data[3], 0xEE);
}

TEST(ServerIdTest, IdRunIndicatorAndRest)
{
    unsigned char id[8] = {}, rest[8] = {};
    mbus::ServerIdReply out{};
    // One id byte, run indicator on, then a text.
    const Bytes withRest{0x05, 0xB4, 0xFF, 'L', 'M', 'B'};
    ASSERT_EQ(mbus::parseServerIdReply(withRest.data(), 6, 1, id, 8, rest, 8, &out), MBUS_SUCCESS);
    EXPECT_EQ(out.idLen, 1);
    EXPECT_EQ(id[0], 0xB4);
    EXPECT_EQ(out.runIndicator, 0xFF);
    EXPECT_EQ(out.restLen, 3);
    EXPECT_EQ(std::string(rest, rest + 3), "LMB");
    // The id fills everything up to a closing run indicator.
    const Bytes toEnd = Bytes{0x05} + "Sim1" + Bytes{0x00};
    ASSERT_EQ(mbus::parseServerIdReply(toEnd.data(), 6, mbus::kServerIdToRunIndicator, id, 8, rest, 8, &out),
              MBUS_SUCCESS);
    EXPECT_EQ(std::string(id, id + out.idLen), "Sim1");
    EXPECT_EQ(out.runIndicator, 0x00);
    EXPECT_EQ(out.restLen, 0);
    // Run indicator not 00/FF, byte count not what came, no room for the id: nothing copied.
    for (int idLen : {2, 6})
        EXPECT_EQ(mbus::parseServerIdReply(withRest.data(), 6, idLen, id, 8, rest, 8, &out), MBUS_INVALID_REPLY_ERROR);
    EXPECT_EQ(mbus::parseServerIdReply(withRest.data(), 5, 1, id, 8, rest, 8, &out), MBUS_INVALID_REPLY_ERROR);
    unsigned char small[3] = {0xEE, 0xEE, 0xEE};
    EXPECT_EQ(mbus::parseServerIdReply(withRest.data(), 6, 1, id, 8, small, 2, &out), MBUS_ILLEGAL_ARGUMENT);
    EXPECT_EQ(small[0], 0);
    EXPECT_EQ(small[2], 0xEE);
    EXPECT_EQ(out.restLen, 0);
    EXPECT_EQ(mbus::parseServerIdReply(withRest.data(), 6, -2, id, 8, rest, 8, &out), MBUS_ILLEGAL_ARGUMENT);
}

TEST(FileRecordTest, ReadExampleAndLyingLengths)
{
    const mbus::FileSubRequest subs[] = {{4, 1, 2}, {3, 9, 2}};
    unsigned char request[252];
    int requestLen = 0;
    ASSERT_EQ(mbus::buildReadFileRecordRequest(subs, 2, request, 252, &requestLen), MBUS_SUCCESS);
    EXPECT_EQ(Bytes(request, request + requestLen),
              (Bytes{0x0E, 0x06, 0x00, 0x04, 0x00, 0x01, 0x00, 0x02, 0x06, 0x00, 0x03, 0x00, 0x09, 0x00, 0x02}));
    Bytes reply{0x0C, 0x05, 0x06, 0x0D, 0xFE, 0x00, 0x20, 0x05, 0x06, 0x33, 0xCD, 0x00, 0x40};
    Regs regs(5, 0xEEEE);
    ASSERT_EQ(mbus::parseReadFileRecordReply(reply.data(), int(reply.size()), subs, 2, regs.data(), 4), MBUS_SUCCESS);
    EXPECT_EQ(regs, (Regs{0x0DFE, 0x0020, 0x33CD, 0x0040, 0xEEEE}));

    for (std::size_t at : {0u, 1u, 2u, 7u, 8u}) {
        Bytes lie = reply;
        lie[at] = static_cast<unsigned char>(lie[at] + 2);
        EXPECT_EQ(mbus::parseReadFileRecordReply(lie.data(), int(lie.size()), subs, 2, regs.data(), 4),
                  MBUS_INVALID_REPLY_ERROR)
            << "byte " << at;
        EXPECT_EQ(regs[0], 0);
    }
    EXPECT_EQ(mbus::parseReadFileRecordReply(reply.data(), 12, subs, 2, regs.data(), 4), MBUS_INVALID_REPLY_ERROR);
    EXPECT_EQ(mbus::parseReadFileRecordReply(reply.data(), 13, subs, 2, regs.data(), 3), MBUS_ILLEGAL_ARGUMENT);
}

TEST(FileRecordTest, WriteExampleAndArgumentLimits)
{
    const mbus::FileSubRequest sub{4, 7, 3};
    const Regs regs{0x06AF, 0x04BE, 0x100D};
    unsigned char request[252];
    int requestLen = 0;
    ASSERT_EQ(mbus::buildWriteFileRecordRequest(&sub, 1, regs.data(), 3, request, 252, &requestLen), MBUS_SUCCESS);
    const Bytes expected{0x0D, 0x06, 0x00, 0x04, 0x00, 0x07, 0x00, 0x03, 0x06, 0xAF, 0x04, 0xBE, 0x10, 0x0D};
    EXPECT_EQ(Bytes(request, request + requestLen), expected);
    EXPECT_EQ(mbus::checkWriteFileRecordReply(expected.data(), 14, request, requestLen), MBUS_SUCCESS);
    Bytes changed = expected;
    changed[13] = 0x0E;
    EXPECT_EQ(mbus::checkWriteFileRecordReply(changed.data(), 14, request, requestLen), MBUS_INVALID_REPLY_ERROR);
    EXPECT_EQ(mbus::buildWriteFileRecordRequest(&sub, 1, regs.data(), 2, request, 252, &requestLen),
              MBUS_ILLEGAL_ARGUMENT);

    // File 0, records past 9999, an empty record, too many sub-requests, a reply past 252 bytes.
    const std::vector<mbus::FileSubRequest> bad = {{0, 0, 1}, {1, 9999, 2}, {1, 0, 0}, {65536, 0, 1}, {1, 0, 125}};
    for (const mbus::FileSubRequest &b : bad)
        EXPECT_EQ(mbus::buildReadFileRecordRequest(&b, 1, request, 252, &requestLen), MBUS_ILLEGAL_ARGUMENT)
            << b.fileNo << " " << b.recordNo << " " << b.recordLen;
    const mbus::FileSubRequest largest{1, 0, 124};
    EXPECT_EQ(mbus::buildReadFileRecordRequest(&largest, 1, request, 252, &requestLen), MBUS_SUCCESS);
    const std::vector<mbus::FileSubRequest> many(36, mbus::FileSubRequest{1, 0, 1});
    EXPECT_EQ(mbus::buildReadFileRecordRequest(many.data(), 36, request, 252, &requestLen), MBUS_ILLEGAL_ARGUMENT);
    EXPECT_EQ(mbus::buildReadFileRecordRequest(many.data(), 35, request, 252, &requestLen), MBUS_SUCCESS);
    EXPECT_EQ(request[0], 0xF5);
    EXPECT_EQ(mbus::buildReadFileRecordRequest(many.data(), 30, request, 210, &requestLen), MBUS_ILLEGAL_ARGUMENT);
}

TEST(FifoQueueTest, ExampleAndCountLimit)
{
    unsigned char request[2];
    ASSERT_EQ(mbus::buildReadFifoRequest(0x04DE, request), MBUS_SUCCESS);
    EXPECT_EQ(Bytes(request, request + 2), (Bytes{0x04, 0xDE}));
    EXPECT_EQ(mbus::buildReadFifoRequest(65536, request), MBUS_ILLEGAL_ARGUMENT);
    const Bytes reply{0x00, 0x06, 0x00, 0x02, 0x01, 0xB8, 0x12, 0x84};
    Regs values(31, 0xEEEE);
    int count = -1;
    ASSERT_EQ(mbus::parseReadFifoReply(reply.data(), 8, values.data(), 31, &count), MBUS_SUCCESS);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(Regs(values.begin(), values.begin() + 3), (Regs{0x01B8, 0x1284, 0x0000}));

    Bytes overflow{0x00, 0x42, 0x00, 0x20};
    overflow.resize(4 + 64, 0x11);
    EXPECT_EQ(mbus::parseReadFifoReply(overflow.data(), 68, values.data(), 31, &count), MBUS_INVALID_REPLY_ERROR);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(values[0], 0);
    EXPECT_EQ(mbus::parseReadFifoReply(reply.data(), 7, values.data(), 31, &count), MBUS_INVALID_REPLY_ERROR);
    const Bytes countLies{0x00, 0x06, 0x00, 0x03, 0x01, 0xB8, 0x12, 0x84};
    EXPECT_EQ(mbus::parseReadFifoReply(countLies.data(), 8, values.data(), 31, &count), MBUS_INVALID_REPLY_ERROR);
    values.assign(31, 0xEEEE);
    EXPECT_EQ(mbus::parseReadFifoReply(reply.data(), 8, values.data(), 1, &count), MBUS_ILLEGAL_ARGUMENT);
    EXPECT_EQ(values[0], 0);
    EXPECT_EQ(values[1], 0xEEEE); // beyond the capacity of one
}

TEST(ReplyLengthTest, AnnouncedLengthsFoundByteByByte)
{
    // A framing reads what each hint asks for: it must never be told to read past the reply,
    // and must learn the full length exactly.
    const std::vector<std::pair<int, Bytes>> replies = {
        {17, {0x05, 0xB4, 0xFF, 'L', 'M', 'B'}},
        {20, {0x0C, 0x05, 0x06, 0x0D, 0xFE, 0x00, 0x20, 0x05, 0x06, 0x33, 0xCD, 0x00, 0x40}},
        {24, {0x00, 0x06, 0x00, 0x02, 0x01, 0xB8, 0x12, 0x84}},
        {43, {0x0E, 0x03, 0x83, 0xFF, 0x81, 0x02, 0x00, 0x01, 'V', 0x80, 0x02, 'x', 'x'}},
        {43, {0x0E, 0x01, 0x83, 0x00, 0x00, 0x00}},
    };
    for (const auto &r : replies) {
        const int size = int(r.second.size());
        int have = 0;
        mbus::ReplyLengthHint hint{false, 0};
        for (int steps = 0; !hint.complete && steps <= size; ++steps) {
            hint = mbus::announcedReplyLength(r.first, r.second.data(), have);
            ASSERT_LE(hint.length, size) << "function " << r.first;
            ASSERT_TRUE(hint.complete || hint.length > have);
            have = hint.length;
        }
        EXPECT_TRUE(hint.complete);
        EXPECT_EQ(hint.length, size) << "function " << r.first;
    }
    EXPECT_FALSE(mbus::announcedReplyLength(3, nullptr, 0).complete);
}

} // namespace
