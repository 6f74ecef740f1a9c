// The one transaction routine over every framing, on a scripted link: replies cut at every byte,
// a failure at every operation, the poll delay on a virtual clock, counters.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>

#include "codec/ascii_codec.h"
#include "codec/elam_codec.h"
#include "codec/mbap_codec.h"
#include "codec/rtu_codec.h"
#include "protocol/master_functions.h"
#include "tests/support/scripted_link.h"
#include "tests/support/test_frames.h"

using namespace mbus;

namespace {

// A master whose transport is a codec on a scripted link, open from the start.
class LinkMaster : public MbusMasterFunctions {
public:
    LinkMaster(FrameCodec &frameCodec, Link &byteLink)
    {
        useTransport(&frameCodec, &byteLink);
        slaveOptionTable = options; // extended addresses reach past the standard table
    }
    int getMaxSlaveAddress() override { return 2295; }
    int isOpen() override { return open; }
    void closeConnection() override { open = false; }
    bool open = true;

private:
    unsigned char options[2296] = {};
};

// One framing with the reply that a read of two holding registers (0x1234, 0x5678) gets.
struct Framing {
    const char *name;
    std::function<std::unique_ptr<FrameCodec>()> newCodec;
    int slave;
    Bytes reply;
};

std::vector<Framing> streamFramings()
{
    std::vector<Framing> all;
    all.push_back({"mbap", [] { return std::make_unique<MbapCodec>(MbapCodec::Carrier::Stream); }, 1,
                   {0x00, 0x01, 0x00, 0x00, 0x00, 0x07, 0x01, 0x03, 0x04, 0x12, 0x34, 0x56, 0x78}});
    all.push_back({"rtu", [] { return std::make_unique<RtuCodec>(); }, 1, withCrc({0x01, 0x03, 0x04, 0x12, 0x34, 0x56, 0x78})});
    all.push_back({"ascii", [] { return std::make_unique<AsciiCodec>(); }, 1, asciiFrame({0x01, 0x03, 0x04, 0x12, 0x34, 0x56, 0x78})});
    // Slave 300: x = 52, addressed as F8 34.
    all.push_back({"elam", [] { return std::make_unique<ElamCodec>(); }, 300,
                   withCrc({0xF8, 0x34, 0x03, 0x04, 0x12, 0x34, 0x56, 0x78})});
    return all;
}

std::uint32_t virtualNow = 0;
std::uint32_t slept = 0;
std::uint32_t virtualTicks() { return virtualNow; }
void virtualSleep(std::uint32_t ms)
{
    slept += ms;
    virtualNow += ms;
}

} // namespace

TEST(Transaction, EveryFramingReadsAWholeReply)
{
    for (Framing &f : streamFramings()) {
        ScriptedLink link;
        auto codec = f.newCodec();
        LinkMaster master(*codec, link);
        link.reply(f.reply);
        short regs[2] = {};
        EXPECT_EQ(MBUS_SUCCESS, master.readMultipleRegisters(f.slave, 1, regs, 2)) << f.name;
        EXPECT_EQ(0x1234, regs[0]) << f.name;
        EXPECT_EQ(0x5678, regs[1]) << f.name;
        EXPECT_EQ(1, master.getSuccessCounter()) << f.name;
    }
}

TEST(Transaction, ReplyCutAtEveryByteIsATimeout)
{
    for (Framing &f : streamFramings()) {
        for (int cut = 0; cut < static_cast<int>(f.reply.size()); ++cut) {
            ScriptedLink link;
            auto codec = f.newCodec();
            LinkMaster master(*codec, link);
            link.cutRepliesAt(cut);
            link.reply(f.reply);
            short regs[2] = {7, 7};
            EXPECT_EQ(MBUS_REPLY_TIMEOUT, master.readMultipleRegisters(f.slave, 1, regs, 2)) << f.name << " " << cut;
            EXPECT_EQ(0, regs[0]) << f.name << " " << cut;
            EXPECT_EQ(1, master.getTotalCounter());
            EXPECT_EQ(0, master.getSuccessCounter());
        }
    }
}

TEST(Transaction, FailureAtEveryOperationEndsTheAttempt)
{
    for (Framing &f : streamFramings()) {
        // A good exchange: discard, send, two receives (head and rest).
        for (int n = 0; n < 4; ++n) {
            ScriptedLink link;
            auto codec = f.newCodec();
            LinkMaster master(*codec, link);
            link.reply(f.reply);
            link.failAt(n, MBUS_IO_ERROR);
            short regs[2] = {};
            EXPECT_EQ(MBUS_IO_ERROR, master.readMultipleRegisters(f.slave, 1, regs, 2)) << f.name << " " << n;
            EXPECT_EQ(n < 2 ? 0u : 1u, link.sent.size()) << f.name << " " << n;
            EXPECT_EQ(0, master.getSuccessCounter());
        }
    }
}

TEST(Transaction, DatagramIsReadInOne)
{
    MbapCodec codec(MbapCodec::Carrier::Datagram);
    ScriptedLink link(true);
    LinkMaster master(codec, link);
    link.reply({0x00, 0x01, 0x00, 0x00, 0x00, 0x07, 0x01, 0x03, 0x04, 0x12, 0x34, 0x56, 0x78});
    short regs[2] = {};
    EXPECT_EQ(MBUS_SUCCESS, master.readMultipleRegisters(1, 1, regs, 2));
    EXPECT_EQ(0x5678, regs[1]);
    EXPECT_EQ(std::vector<int>{MbapCodec::kFrameSize}, link.readSizes);
}

TEST(Transaction, ArgumentsAreCheckedBeforeCountingOrSending)
{
    RtuCodec codec;
    ScriptedLink link;
    LinkMaster master(codec, link);
    unsigned char data[253] = {};
    EXPECT_EQ(MBUS_ILLEGAL_ARGUMENT, master.transact(1, 3, data, 253, data, 4, nullptr));
    EXPECT_EQ(MBUS_ILLEGAL_ARGUMENT, master.transact(1, 3, data, 4, data, 253, nullptr));
    EXPECT_EQ(MBUS_ILLEGAL_ARGUMENT, master.transact(256, 3, data, 4, data, 4, nullptr));
    EXPECT_EQ(MBUS_ILLEGAL_ARGUMENT, master.transact(1, 3, nullptr, 4, data, 4, nullptr));
    EXPECT_EQ(0, master.getTotalCounter());
    EXPECT_EQ(0, link.operations);
    master.open = false;
    EXPECT_EQ(MBUS_ILLEGAL_STATE, master.transact(1, 3, data, 4, data, 4, nullptr));
    EXPECT_EQ(0, link.operations);
}

TEST(Transaction, PollDelayOnTheMastersClock)
{
    RtuCodec codec;
    ScriptedLink link;
    LinkMaster master(codec, link);
    master.open = false;
    ASSERT_EQ(MBUS_SUCCESS, master.setPollDelay(200));
    master.open = true;
    master.setClock(Clock{virtualTicks, virtualSleep});
    slept = 0;
    unsigned char status = 0;
    for (int i = 0; i < 3; ++i)
        link.reply(withCrc({0x01, 0x07, 0x5A}));
    ASSERT_EQ(MBUS_SUCCESS, master.readExceptionStatus(1, &status));
    EXPECT_EQ(0u, slept); // the first request never waits
    virtualNow += 50;
    ASSERT_EQ(MBUS_SUCCESS, master.readExceptionStatus(1, &status));
    EXPECT_EQ(150u, slept); // what was left of the interval
    virtualNow += 500;
    ASSERT_EQ(MBUS_SUCCESS, master.readExceptionStatus(1, &status));
    EXPECT_EQ(150u, slept); // long over: no wait
    EXPECT_EQ(0x5A, status);
}
