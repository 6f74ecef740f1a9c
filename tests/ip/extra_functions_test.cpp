// Device identification, report server id, file records, FIFO queues, the value layouts and the
// frame trace through the C interface against the simulated device, over MBAP and over the two
// framings that find a reply's end by its length (RTU and ASCII over TCP).
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "mbus.h"
#include "sim/ascii_over_tcp_device.h"
#include "sim/rtu_over_tcp_device.h"
#include "sim/tcp_device.h"

namespace {

using sim::Fault;
using sim::FaultKind;

enum class Framing { Mbap, Rtu, Ascii };

class ExtraFunctions : public ::testing::TestWithParam<Framing> {
protected:
    void SetUp() override
    {
        switch (GetParam()) {
        case Framing::Mbap:
            device = std::make_unique<sim::TcpDevice>();
            master = mbusNewTcpMaster();
            break;
        case Framing::Rtu:
            device = std::make_unique<sim::RtuOverTcpDevice>();
            master = mbusNewRtuOverTcpMaster();
            break;
        case Framing::Ascii:
            device = std::make_unique<sim::AsciiOverTcpDevice>();
            master = mbusNewAsciiOverTcpMaster();
            break;
        }
        const int port = device->start();
        ASSERT_GT(port, 0);
        ASSERT_EQ(MBUS_SUCCESS, mbusSetPort(master, static_cast<unsigned short>(port)));
        ASSERT_EQ(MBUS_SUCCESS, mbusSetTimeout(master, 200));
        ASSERT_EQ(MBUS_SUCCESS, mbusOpenConnection(master, "127.0.0.1"));
    }
    void TearDown() override { mbusDestroy(master); }

    std::vector<std::uint16_t> holding(std::uint16_t addr, int count) const
    {
        std::vector<std::uint16_t> regs;
        for (int i = 0; i < count; ++i)
            regs.push_back(device->holdingRegister(static_cast<std::uint16_t>(addr + i)));
        return regs;
    }

    std::unique_ptr<sim::StreamServer> device;
    MbusHandle master = nullptr;
};

struct Order {
    const char *name;
    bool highWordFirst;
    bool swappedBytes;
    std::vector<std::uint16_t> regs32; // 0x11223344
    std::vector<std::uint16_t> regs64; // 0x0102030405060708
};

TEST_P(ExtraFunctions, EveryOrderRoundTripsByteForByte)
{
    const Order orders[] = {
        {"ABCD", true, false, {0x1122, 0x3344}, {0x0102, 0x0304, 0x0506, 0x0708}},
        {"CDAB", false, false, {0x3344, 0x1122}, {0x0708, 0x0506, 0x0304, 0x0102}},
        {"BADC", true, true, {0x2211, 0x4433}, {0x0201, 0x0403, 0x0605, 0x0807}},
        {"DCBA", false, true, {0x4433, 0x2211}, {0x0807, 0x0605, 0x0403, 0x0201}},
    };
    for (const Order &order : orders) {
        SCOPED_TRACE(order.name);
        if (order.highWordFirst) {
            mbusConfigureBigEndianIntsForSlave(master, 1);
            mbusConfigureBigEndianFloatsForSlave(master, 1);
        } else {
            mbusConfigureLittleEndianInts(master);
            mbusConfigureLittleEndianFloats(master);
        }
        ASSERT_EQ(MBUS_SUCCESS, order.swappedBytes ? mbusConfigureSwappedBytesForSlave(master, 1)
                                                   : mbusConfigureStandardBytesForSlave(master, 1));
        const int int32[2] = {0x11223344, -2};
        int int32Back[2];
        ASSERT_EQ(MBUS_SUCCESS, mbusWriteMultipleLongInts(master, 1, 11, int32, 2));
        EXPECT_EQ(order.regs32, holding(10, 2));
        ASSERT_EQ(MBUS_SUCCESS, mbusReadMultipleLongInts(master, 1, 11, int32Back, 2));
        EXPECT_EQ(0x11223344, int32Back[0]);
        EXPECT_EQ(-2, int32Back[1]);
        std::uint32_t unsigned32[2];
        ASSERT_EQ(MBUS_SUCCESS, mbusReadMultipleUnsigned32(master, 1, 11, unsigned32, 2));
        EXPECT_EQ(0xFFFFFFFEu, unsigned32[1]);
        const float floats[1] = {-1.5f};
        float floatsBack[1];
        ASSERT_EQ(MBUS_SUCCESS, mbusWriteMultipleFloats(master, 1, 21, floats, 1));
        ASSERT_EQ(MBUS_SUCCESS, mbusReadMultipleFloats(master, 1, 21, floatsBack, 1));
        EXPECT_EQ(-1.5f, floatsBack[0]);

        const std::int64_t int64[2] = {0x0102030405060708, -3};
        std::int64_t int64Back[2];
        ASSERT_EQ(MBUS_SUCCESS, mbusWriteMultipleLongLongs(master, 1, 31, int64, 2));
        EXPECT_EQ(order.regs64, holding(30, 4));
        ASSERT_EQ(MBUS_SUCCESS, mbusReadMultipleLongLongs(master, 1, 31, int64Back, 2));
        EXPECT_EQ(int64[0], int64Back[0]);
        EXPECT_EQ(-3, int64Back[1]);
        const std::uint64_t uint64[1] = {0xFEDCBA9876543210u};
        std::uint64_t uint64Back[1];
        ASSERT_EQ(MBUS_SUCCESS, mbusWriteMultipleUnsignedLongLongs(master, 1, 41, uint64, 1));
        ASSERT_EQ(MBUS_SUCCESS, mbusReadMultipleUnsignedLongLongs(master, 1, 41, uint64Back, 1));
        EXPECT_EQ(uint64[0], uint64Back[0]);
        const double doubles[2] = {3.141592653589793, -1e300};
        double doublesBack[2];
        ASSERT_EQ(MBUS_SUCCESS, mbusWriteMultipleDoubles(master, 1, 51, doubles, 2));
        ASSERT_EQ(MBUS_SUCCESS, mbusReadMultipleDoubles(master, 1, 51, doublesBack, 2));
        EXPECT_EQ(0, std::memcmp(doubles, doublesBack, sizeof doubles));

        char text[8];
        ASSERT_EQ(MBUS_SUCCESS, mbusWriteMultipleText(master, 1, 61, "Hello", 3));
        EXPECT_EQ(order.swappedBytes ? (std::vector<std::uint16_t>{0x6548, 0x6C6C, 0x006F})
                                     : (std::vector<std::uint16_t>{0x4865, 0x6C6C, 0x6F00}),
                  holding(60, 3));
        ASSERT_EQ(MBUS_SUCCESS, mbusReadMultipleText(master, 1, 61, text, sizeof text, 3));
        EXPECT_EQ(0, std::memcmp("Hello\0\0", text, 7));
        std::uint16_t unsigned16[1];
        ASSERT_EQ(MBUS_SUCCESS, mbusReadMultipleUnsigned16(master, 1, 62, unsigned16, 1));
        EXPECT_EQ(0x6C6C, unsigned16[0]);
    }
    // Text that does not fit and a text buffer without room for the NUL are refused unsent.
    char small[6];
    EXPECT_EQ(MBUS_ILLEGAL_ARGUMENT, mbusWriteMultipleText(master, 1, 61, "Hello!!", 3));
    EXPECT_EQ(MBUS_ILLEGAL_ARGUMENT, mbusReadMultipleText(master, 1, 61, small, sizeof small, 3));
    std::int64_t tooMany[32];
    EXPECT_EQ(MBUS_ILLEGAL_ARGUMENT, mbusReadMultipleLongLongs(master, 1, 1, tooMany, 32));
    EXPECT_EQ(MBUS_ILLEGAL_ARGUMENT, mbusWriteMultipleLongLongs(master, 1, 1, tooMany, 31));
}

TEST_P(ExtraFunctions, DeviceIdentificationFollowsTheChain)
{
    device->setDeviceObject(0, "Vendor");
    device->setDeviceObject(1, "Product");
    device->setDeviceObject(2, "1.0");
    // Four objects of 100 bytes need three replies.
    for (int id = 0x80; id < 0x84; ++id)
        device->setDeviceObject(static_cast<std::uint8_t>(id), std::string(100, static_cast<char>('a' + id - 0x80)));
    MbusDeviceIdObject objects[8];
    unsigned char data[600];
    int count = -1;
    int conformity = 0;
    ASSERT_EQ(MBUS_SUCCESS, mbusReadDeviceIdentification(master, 1, MBUS_DEVICE_ID_EXTENDED, 0, objects, 8, &count,
                                                         data, sizeof data, &conformity));
    ASSERT_EQ(7, count);
    EXPECT_EQ(0x83, conformity);
    EXPECT_EQ(0x82, objects[5].id);
    EXPECT_EQ(100, objects[5].length);
    EXPECT_EQ(std::string(100, 'c'), std::string(reinterpret_cast<char *>(data) + objects[5].offset, 100));
    EXPECT_EQ("Product", std::string(reinterpret_cast<char *>(data) + objects[1].offset, 7));

    ASSERT_EQ(MBUS_SUCCESS, mbusReadDeviceIdentification(master, 1, MBUS_DEVICE_ID_SPECIFIC, 2, objects, 1, &count,
                                                         data, 3, nullptr));
    EXPECT_EQ(1, count);
    EXPECT_EQ(0, std::memcmp("1.0", data, 3));
    // Objects that do not fit the caller's buffers.
    EXPECT_EQ(MBUS_ILLEGAL_ARGUMENT, mbusReadDeviceIdentification(master, 1, MBUS_DEVICE_ID_EXTENDED, 0, objects, 8,
                                                                  &count, data, 300, nullptr));
    EXPECT_EQ(0, count);
    EXPECT_EQ(0, data[0]);

    // A chain that never moves on, and an object longer than its frame.
    device->pushFault(Fault{FaultKind::EndlessIdChain, 0});
    EXPECT_EQ(MBUS_INVALID_REPLY_ERROR, mbusReadDeviceIdentification(master, 1, MBUS_DEVICE_ID_BASIC, 0, objects, 8,
                                                                     &count, data, sizeof data, nullptr));
    device->pushFault(Fault{FaultKind::OversizeObject, 0});
    // Framings that read by length see a reply longer than a frame; MBAP finds the object past the end.
    EXPECT_EQ(GetParam() == Framing::Mbap ? MBUS_INVALID_REPLY_ERROR : MBUS_INVALID_FRAME_ERROR,
              mbusReadDeviceIdentification(master, 1, MBUS_DEVICE_ID_BASIC, 0, objects, 8, &count, data, sizeof data,
                                           nullptr));
    EXPECT_EQ(0, count);
}

TEST_P(ExtraFunctions, ServerIdFileRecordsAndFifo)
{
    device->setServerId({0x0A, 0x0B}, 0xFF, {'x', 'y', 'z'});
    unsigned char id[4];
    unsigned char rest[8];
    MbusServerIdReply reply;
    ASSERT_EQ(MBUS_SUCCESS, mbusReportServerId(master, 1, 2, id, sizeof id, rest, sizeof rest, &reply));
    EXPECT_EQ(2, reply.idLen);
    EXPECT_EQ(0xFF, reply.runIndicator);
    EXPECT_EQ(3, reply.restLen);
    EXPECT_EQ(0x0B, id[1]);
    EXPECT_EQ('z', rest[2]);
    EXPECT_EQ(MBUS_ILLEGAL_ARGUMENT, mbusReportServerId(master, 1, 2, id, sizeof id, rest, 2, &reply));

    device->setFileRecord(4, 0, 0); // files the device has
    device->setFileRecord(3, 0, 0);
    const MbusFileSubRequest subs[2] = {{4, 1, 2}, {3, 9, 3}};
    const short regs[5] = {1, 2, -3, 4, 5};
    short back[5];
    ASSERT_EQ(MBUS_SUCCESS, mbusWriteFileRecords(master, 1, subs, 2, regs, 5));
    EXPECT_EQ(0xFFFD, device->fileRecord(3, 9));
    ASSERT_EQ(MBUS_SUCCESS, mbusReadFileRecords(master, 1, subs, 2, back, 5));
    EXPECT_EQ(0, std::memcmp(regs, back, sizeof regs));
    EXPECT_EQ(MBUS_ILLEGAL_ARGUMENT, mbusReadFileRecords(master, 1, subs, 2, back, 4));
    device->pushFault(Fault{FaultKind::LyingFileRecord, 0});
    EXPECT_EQ(MBUS_INVALID_REPLY_ERROR, mbusReadFileRecords(master, 1, subs, 2, back, 5));
    EXPECT_EQ(0, back[0]);

    device->setFifo(99, {7, 8, 9});
    short fifo[31];
    int fifoCnt = -1;
    ASSERT_EQ(MBUS_SUCCESS, mbusReadFifoQueue(master, 1, 100, fifo, 31, &fifoCnt));
    EXPECT_EQ(3, fifoCnt);
    EXPECT_EQ(9, fifo[2]);
    EXPECT_EQ(MBUS_ILLEGAL_ARGUMENT, mbusReadFifoQueue(master, 1, 100, fifo, 2, &fifoCnt));
    device->pushFault(Fault{FaultKind::FifoOverflow, 0});
    EXPECT_EQ(MBUS_INVALID_REPLY_ERROR, mbusReadFifoQueue(master, 1, 100, fifo, 31, &fifoCnt));
    EXPECT_EQ(0, fifoCnt);
}

struct Trace {
    std::vector<int> directions;
    std::vector<std::vector<unsigned char>> frames;
    static void record(void *user, int direction, const unsigned char *bytes, int count, std::uint32_t)
    {
        auto *trace = static_cast<Trace *>(user);
        trace->directions.push_back(direction);
        trace->frames.emplace_back(bytes, bytes + count);
    }
};

TEST_P(ExtraFunctions, FrameTraceShowsTheBytesOnTheWire)
{
    Trace trace;
    mbusSetFrameTrace(master, &Trace::record, &trace);
    short reg[1];
    ASSERT_EQ(MBUS_SUCCESS, mbusReadMultipleRegisters(master, 1, 1, reg, 1));
    ASSERT_EQ((std::vector<int>{MBUS_TRACE_SENT, MBUS_TRACE_RECEIVED}), trace.directions);
    const auto requests = device->requests();
    ASSERT_EQ(1u, requests.size());
    EXPECT_EQ(requests[0], trace.frames[0]);
    const std::size_t replyLength[] = {11, 7, 15}; // MBAP, RTU, ASCII of one register
    EXPECT_EQ(replyLength[static_cast<int>(GetParam())], trace.frames[1].size());
    mbusSetFrameTrace(master, nullptr, nullptr);
    ASSERT_EQ(MBUS_SUCCESS, mbusReadMultipleRegisters(master, 1, 1, reg, 1));
    EXPECT_EQ(2u, trace.frames.size());
}

INSTANTIATE_TEST_SUITE_P(Framings, ExtraFunctions, ::testing::Values(Framing::Mbap, Framing::Rtu, Framing::Ascii));

TEST(ExtraFunctionsNullHandle, GiveIllegalState)
{
    MbusDeviceIdObject objects[1];
    int count = 0;
    short regs[1];
    EXPECT_EQ(MBUS_ILLEGAL_STATE,
              mbusReadDeviceIdentification(nullptr, 1, 1, 0, objects, 1, &count, nullptr, 0, nullptr));
    EXPECT_EQ(MBUS_ILLEGAL_STATE, mbusReadFifoQueue(nullptr, 1, 1, regs, 1, &count));
    EXPECT_EQ(MBUS_ILLEGAL_STATE, mbusConfigureSwappedBytesForSlave(nullptr, 1));
    mbusConfigureSwappedBytes(nullptr);
    mbusSetFrameTrace(nullptr, nullptr, nullptr);
}

} // namespace
