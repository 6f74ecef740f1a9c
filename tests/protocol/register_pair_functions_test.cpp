// 32-bit integers, floats and modulo-10000 values over register pairs.
#include <gtest/gtest.h>

#include <cstring>
#include <algorithm>
#include <vector>

#include "scripted_master.h"

using Bytes = std::vector<unsigned char>;

namespace {
// The register values of a write request, after its five header bytes.
std::vector<unsigned> writtenRegisters(const RecordedRequest &request)
{
    std::vector<unsigned> regs;
    for (std::size_t i = 5; i + 1 < request.data.size(); i += 2)
        regs.push_back((request.data[i] << 8) | request.data[i + 1]);
    return regs;
}
} // namespace

class RegisterPairs : public ::testing::Test {
protected:
    ScriptedMaster master;
};

TEST_F(RegisterPairs, LongIntWordOrder)
{
    int value[1];
    master.reply({0x04, 0x12, 0x34, 0x56, 0x78});
    ASSERT_EQ(MBUS_SUCCESS, master.readMultipleLongInts(1, 1, value, 1));
    EXPECT_EQ(0x56781234, value[0]);
    EXPECT_EQ((Bytes{0x00, 0x00, 0x00, 0x02}), master.last().data);

    ASSERT_EQ(MBUS_SUCCESS, master.configureBigEndianInts(1));
    master.reply({0x04, 0x12, 0x34, 0x56, 0x78});
    ASSERT_EQ(MBUS_SUCCESS, master.readInputLongInts(1, 1, value, 1));
    EXPECT_EQ(4, master.last().functionCode);
    EXPECT_EQ(0x12345678, value[0]);

    // The float word order is a flag of its own.
    float number[1];
    master.reply({0x04, 0x00, 0x00, 0x3F, 0x80});
    ASSERT_EQ(MBUS_SUCCESS, master.readMultipleFloats(1, 1, number, 1));
    EXPECT_EQ(1.0f, number[0]);
}

TEST_F(RegisterPairs, FloatWordOrderOnWrite)
{
    const float one[1] = {1.0f};
    master.reply({0x00, 0x00, 0x00, 0x02});
    ASSERT_EQ(MBUS_SUCCESS, master.writeMultipleFloats(1, 1, one, 1));
    EXPECT_EQ((std::vector<unsigned>{0x0000, 0x3F80}), writtenRegisters(master.last()));
    EXPECT_EQ(4, master.last().data[4]); // byte count of one pair

    ASSERT_EQ(MBUS_SUCCESS, master.configureBigEndianFloats(1));
    master.reply({0x00, 0x00, 0x00, 0x02});
    ASSERT_EQ(MBUS_SUCCESS, master.writeMultipleFloats(1, 1, one, 1));
    EXPECT_EQ((std::vector<unsigned>{0x3F80, 0x0000}), writtenRegisters(master.last()));

    float back[1];
    master.reply({0x04, 0x3F, 0x80, 0x00, 0x00});
    ASSERT_EQ(MBUS_SUCCESS, master.readInputFloats(1, 1, back, 1));
    EXPECT_EQ(1.0f, back[0]);
}

TEST_F(RegisterPairs, ThirtyTwoBitModeCountsValues)
{
    std::vector<int> values(10);
    Bytes reply(41, 0);
    reply[0] = 40;
    master.reply(reply);
    ASSERT_EQ(MBUS_SUCCESS, master.readMultipleLongInts(1, 1, values.data(), 10));
    EXPECT_EQ((Bytes{0x00, 0x00, 0x00, 20}), master.last().data);

    ASSERT_EQ(MBUS_SUCCESS, master.configure32BitRegisterMode(1));
    master.reply(reply);
    ASSERT_EQ(MBUS_SUCCESS, master.readMultipleLongInts(1, 1, values.data(), 10));
    EXPECT_EQ((Bytes{0x00, 0x00, 0x00, 10}), master.last().data);
    EXPECT_EQ(41, master.last().replyLen);

    const int out[2] = {1, 2};
    master.reply({0x00, 0x00, 0x00, 0x02});
    ASSERT_EQ(MBUS_SUCCESS, master.writeMultipleLongInts(1, 1, out, 2));
    EXPECT_EQ((Bytes{0x00, 0x00, 0x00, 0x02, 0x08}), Bytes(master.last().data.begin(), master.last().data.begin() + 5));
    // 32-bit mode also sets the word-order bits: high word first.
    EXPECT_EQ((std::vector<unsigned>{0, 1, 0, 2}), writtenRegisters(master.last()));
    master.reply({0x00, 0x00, 0x00, 0x04}); // the quantity echo must be the value count
    EXPECT_EQ(MBUS_INVALID_REPLY_ERROR, master.writeMultipleLongInts(1, 1, out, 2));
}

TEST_F(RegisterPairs, CountLimits)
{
    std::vector<int> values(63);
    Bytes reply(249, 0);
    reply[0] = 248;
    master.reply(reply);
    EXPECT_EQ(MBUS_SUCCESS, master.readMultipleLongInts(1, 1, values.data(), 62));
    EXPECT_EQ((Bytes{0x00, 0x00, 0x00, 124}), master.last().data);
    master.requests.clear();
    EXPECT_EQ(MBUS_ILLEGAL_ARGUMENT, master.readMultipleLongInts(1, 1, values.data(), 63));
    EXPECT_EQ(MBUS_ILLEGAL_ARGUMENT, master.readInputMod10000(1, 1, values.data(), 0));
    EXPECT_EQ(MBUS_ILLEGAL_ARGUMENT, master.writeMultipleLongInts(1, 1, values.data(), 62));
    EXPECT_EQ(MBUS_ILLEGAL_ARGUMENT, master.writeMultipleMod10000(1, 0, values.data(), 1));
    EXPECT_TRUE(master.requests.empty());
    master.reply({0x00, 0x00, 0x00, 122});
    EXPECT_EQ(MBUS_SUCCESS, master.writeMultipleLongInts(1, 1, values.data(), 61));
    EXPECT_EQ(5u + 244u, master.last().data.size());
}

TEST_F(RegisterPairs, Mod10000RoundTrip)
{
    const int values[2] = {123456789, -12345};
    master.reply({0x00, 0x00, 0x00, 0x04});
    ASSERT_EQ(MBUS_SUCCESS, master.writeMultipleMod10000(1, 1, values, 2));
    EXPECT_EQ((std::vector<unsigned>{12345, 6789, 0xFFFF, 0xF6D7}), writtenRegisters(master.last()));

    const Bytes &sent = master.last().data;
    Bytes reply(9, 0x08); // byte count, then the registers as written
    std::copy(sent.begin() + 5, sent.end(), reply.begin() + 1);
    int back[2];
    master.reply(reply);
    ASSERT_EQ(MBUS_SUCCESS, master.readMultipleMod10000(1, 1, back, 2));
    EXPECT_EQ(123456789, back[0]);
    EXPECT_EQ(-12345, back[1]);
}

TEST_F(RegisterPairs, Mod10000IgnoresWordOrder)
{
    master.configure32BitRegisterMode();
    int value[1];
    master.reply({0x04, 0x00, 0x01, 0x00, 0x02});
    ASSERT_EQ(MBUS_SUCCESS, master.readInputMod10000(1, 1, value, 1));
    EXPECT_EQ(10002, value[0]);
}

TEST_F(RegisterPairs, FailedReadLeavesZeros)
{
    int values[2] = {7, 7};
    master.reply({0x04, 0x00, 0x01, 0x00, 0x02}); // byte count of one pair for two
    EXPECT_EQ(MBUS_INVALID_REPLY_ERROR, master.readMultipleLongInts(1, 1, values, 2));
    EXPECT_EQ(0, values[0]);
    EXPECT_EQ(0, values[1]);
    float numbers[1] = {3.0f};
    master.fail(MBUS_REPLY_TIMEOUT);
    EXPECT_EQ(MBUS_REPLY_TIMEOUT, master.readMultipleFloats(1, 1, numbers, 1));
    EXPECT_EQ(0.0f, numbers[0]);
}

TEST_F(RegisterPairs, BroadcastWriteAcceptsAnyReply)
{
    const int values[1] = {1};
    master.reply({0x12, 0x34, 0x56, 0x78});
    EXPECT_EQ(MBUS_SUCCESS, master.writeMultipleLongInts(0, 1, values, 1));
}
