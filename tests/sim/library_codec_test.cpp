// The library's pure codecs against the simulator's independent implementation: every value
// layout written and read back through a register table, and the extra function codes' replies
// (with their faults) through the library's reply checks.
#include "protocol/device_identification.h"
#include "protocol/fifo_queue.h"
#include "protocol/file_record.h"
#include "protocol/server_id.h"
#include "protocol/value_layout.h"
#include "sim/pdu_processor.h"

#include "mbus.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;
using mbus::ValueLayout;

class LibraryCodecTest : public ::testing::Test {
protected:
    // One request PDU through the simulator; the reply data after the function code, or an
    // empty vector for an exception.
    Bytes exchange(std::uint8_t fc, const Bytes& data, sim::Fault fault = {})
    {
        Bytes request{fc};
        request.insert(request.end(), data.begin(), data.end());
        Bytes reply;
        std::string text;
        processor.process(request.data(), request.size(), reply, text, false, fault);
        if (reply.empty() || reply[0] != fc) return {};
        return Bytes(reply.begin() + 1, reply.end());
    }

    void writeRegisters(unsigned addr, const std::vector<std::uint16_t>& regs)
    {
        Bytes data{std::uint8_t(addr >> 8), std::uint8_t(addr), 0, std::uint8_t(regs.size()),
                   std::uint8_t(2 * regs.size())};
        for (std::uint16_t r : regs) data.insert(data.end(), {std::uint8_t(r >> 8), std::uint8_t(r)});
        ASSERT_EQ(exchange(16, data).size(), 4u);
    }

    std::vector<std::uint16_t> readRegisters(unsigned addr, unsigned count)
    {
        const Bytes reply = exchange(3, {std::uint8_t(addr >> 8), std::uint8_t(addr), 0, std::uint8_t(count)});
        std::vector<std::uint16_t> regs;
        for (std::size_t i = 1; i + 1 < reply.size(); i += 2) regs.push_back(std::uint16_t((reply[i] << 8) | reply[i + 1]));
        return regs;
    }

    // Writes value with the layout, reads the registers back and decodes them.
    template <class T>
    void roundTrip(T value, ValueLayout layout)
    {
        std::vector<std::uint16_t> regs(sizeof(T) / 2);
        mbus::encodeValue(value, layout, regs.data());
        writeRegisters(100, regs);
        const std::vector<std::uint16_t> back = readRegisters(100, unsigned(regs.size()));
        ASSERT_EQ(back, regs);
        const T decoded = mbus::decodeValue<T>(back.data(), layout);
        EXPECT_EQ(std::memcmp(&decoded, &value, sizeof value), 0) << layout.highWordFirst << layout.swappedBytes;
    }

    // Follows a device identification chain through the simulator, at most 300 replies.
    int readDeviceId(int code, int objectId, sim::Fault fault = {})
    {
        int result = reader.begin(code, objectId, objects, 16, idData, sizeof idData);
        for (int round = 0; result == MBUS_SUCCESS && !reader.finished() && round < 300; ++round) {
            Bytes request(mbus::DeviceIdentification::kRequestLength);
            reader.request(request.data());
            const Bytes reply = exchange(43, request, fault);
            result = reader.takeReply(reply.data(), int(reply.size()));
        }
        return result;
    }

    sim::DataTables tables;
    sim::PduProcessor processor{tables};
    mbus::DeviceIdentification reader;
    mbus::DeviceIdObject objects[16];
    unsigned char idData[1024];
};

const ValueLayout kLayouts[] = {ValueLayout::abcd(), ValueLayout::cdab(), ValueLayout::badc(), ValueLayout::dcba()};

TEST_F(LibraryCodecTest, EveryLayoutRoundTripsThroughTheRegisterTable)
{
    for (const ValueLayout layout : kLayouts) {
        roundTrip<std::uint16_t>(0xA1B2, layout);
        roundTrip<std::uint32_t>(0xA1B2C3D4u, layout);
        roundTrip<std::int32_t>(-123456789, layout);
        roundTrip(-1.25e-3f, layout);
        roundTrip<std::uint64_t>(0xF1E2D3C4B5A69788u, layout);
        roundTrip<std::int64_t>(-1234567890123456789, layout);
        roundTrip(6.02214076e23, layout);

        std::vector<std::uint16_t> regs(4);
        ASSERT_EQ(mbus::encodeText("Tank 7", 6, layout, regs.data(), 4), MBUS_SUCCESS);
        writeRegisters(200, regs);
        char text[9];
        ASSERT_EQ(mbus::decodeText(readRegisters(200, 4).data(), 4, layout, text, sizeof text), MBUS_SUCCESS);
        EXPECT_STREQ(text, "Tank 7");
    }
    // The last layout swaps the bytes: the device holds "aT" in the first register.
    EXPECT_EQ(tables.holdingRegisters[200], ('a' << 8) | 'T');
}

TEST_F(LibraryCodecTest, DeviceIdentificationChainAndItsFaults)
{
    const std::string basic[] = {"Vendor", "Product", "1.2"};
    for (std::uint8_t id = 0; id < 3; ++id) tables.deviceObjects[id] = Bytes(basic[id].begin(), basic[id].end());
    tables.deviceObjects[0x80] = Bytes(200, 'x');
    tables.deviceObjects[0x81] = Bytes(200, 'y');
    tables.deviceObjects[0x82] = Bytes(200, 'z');
    ASSERT_EQ(readDeviceId(3, 0), MBUS_SUCCESS);
    ASSERT_EQ(reader.objectCount(), 6);
    EXPECT_EQ(objects[5].id, 0x82);
    EXPECT_EQ(reader.dataLength(), 6 + 7 + 3 + 600);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(idData) + objects[1].offset, std::size_t(objects[1].length)), "Product");
    EXPECT_EQ(reader.conformityLevel(), 0x83);
    ASSERT_EQ(readDeviceId(4, 0x81), MBUS_SUCCESS);
    ASSERT_EQ(reader.objectCount(), 1);
    EXPECT_EQ(idData[199], 'y');

    EXPECT_EQ(readDeviceId(3, 0, {sim::FaultKind::EndlessIdChain, 0}), MBUS_INVALID_REPLY_ERROR);
    EXPECT_EQ(readDeviceId(1, 0, {sim::FaultKind::EndlessIdChain, 0}), MBUS_INVALID_REPLY_ERROR);
    EXPECT_EQ(readDeviceId(4, 0x80, {sim::FaultKind::OversizeObject, 0}), MBUS_INVALID_REPLY_ERROR);
    EXPECT_EQ(readDeviceId(1, 0, {sim::FaultKind::OversizeObject, 0}), MBUS_INVALID_REPLY_ERROR);
}

TEST_F(LibraryCodecTest, ServerIdFileRecordsAndFifoWithTheirFaults)
{
    tables.serverId = {0x11, 0x22};
    tables.serverIdExtra = {'o', 'k'};
    unsigned char id[4], rest[4];
    mbus::ServerIdReply server{};
    Bytes reply = exchange(17, {});
    ASSERT_EQ(mbus::parseServerIdReply(reply.data(), int(reply.size()), 2, id, 4, rest, 4, &server), MBUS_SUCCESS);
    EXPECT_EQ(id[1], 0x22);
    EXPECT_EQ(server.runIndicator, 0xFF);
    EXPECT_EQ(server.restLen, 2);

    tables.files[7].assign(sim::DataTables::kFileRecords, 0);
    const mbus::FileSubRequest subs[] = {{7, 9998, 2}, {7, 0, 3}};
    const std::uint16_t values[] = {1, 2, 3, 4, 5};
    unsigned char request[252];
    int requestLen = 0;
    ASSERT_EQ(mbus::buildWriteFileRecordRequest(subs, 2, values, 5, request, 252, &requestLen), MBUS_SUCCESS);
    reply = exchange(21, Bytes(request, request + requestLen));
    EXPECT_EQ(mbus::checkWriteFileRecordReply(reply.data(), int(reply.size()), request, requestLen), MBUS_SUCCESS);
    EXPECT_EQ(tables.files[7][9999], 2);
    ASSERT_EQ(mbus::buildReadFileRecordRequest(subs, 2, request, 252, &requestLen), MBUS_SUCCESS);
    std::uint16_t back[5];
    reply = exchange(20, Bytes(request, request + requestLen));
    ASSERT_EQ(mbus::parseReadFileRecordReply(reply.data(), int(reply.size()), subs, 2, back, 5), MBUS_SUCCESS);
    EXPECT_EQ(std::vector<std::uint16_t>(back, back + 5), std::vector<std::uint16_t>(values, values + 5));
    reply = exchange(20, Bytes(request, request + requestLen), {sim::FaultKind::LyingFileRecord, 0});
    EXPECT_EQ(mbus::parseReadFileRecordReply(reply.data(), int(reply.size()), subs, 2, back, 5),
              MBUS_INVALID_REPLY_ERROR);

    tables.fifos[0x0100] = {7, 8, 9};
    std::uint16_t queue[mbus::kMaxFifoCount];
    int count = 0;
    reply = exchange(24, {0x01, 0x00});
    ASSERT_EQ(mbus::parseReadFifoReply(reply.data(), int(reply.size()), queue, 31, &count), MBUS_SUCCESS);
    EXPECT_EQ(count, 3);
    EXPECT_EQ(queue[2], 9);
    reply = exchange(24, {0x01, 0x00}, {sim::FaultKind::FifoOverflow, 0});
    EXPECT_EQ(mbus::parseReadFifoReply(reply.data(), int(reply.size()), queue, 31, &count), MBUS_INVALID_REPLY_ERROR);
}

} // namespace
