// How faults shape the byte stream of one reply.
#include "sim/reply_plan.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using sim::Fault;
using sim::FaultKind;
using sim::ReplyPiece;
using Bytes = std::vector<std::uint8_t>;

const Bytes kRequest{0x01, 0x06, 0x00, 0x01, 0x00, 0x03, 0x98, 0x0B};
const Bytes kFrame{0x01, 0x03, 0x02, 0x12, 0x34, 0xB5, 0x33};

std::vector<ReplyPiece> plan(FaultKind kind, int param = 0)
{
    return sim::planReply(Fault{kind, param}, kRequest.data(), kRequest.size(), kFrame);
}

Bytes joined(const std::vector<ReplyPiece>& pieces)
{
    Bytes all;
    for (const auto& p : pieces) all.insert(all.end(), p.bytes.begin(), p.bytes.end());
    return all;
}

TEST(ReplyPlan, UntouchedAndDelayed)
{
    auto p = plan(FaultKind::None);
    ASSERT_EQ(p.size(), 1u);
    EXPECT_EQ(p[0].bytes, kFrame);
    EXPECT_EQ(p[0].delayMs, 0);
    p = plan(FaultKind::Delay, 40);
    ASSERT_EQ(p.size(), 1u);
    EXPECT_EQ(p[0].delayMs, 40);
    EXPECT_EQ(p[0].bytes, kFrame);
    // Frame faults are not this layer's business: the frame passes unchanged.
    EXPECT_EQ(joined(plan(FaultKind::BadChecksum)), kFrame);
}

TEST(ReplyPlan, SilenceAndConnectionEnds)
{
    EXPECT_TRUE(plan(FaultKind::Drop).empty());
    auto p = plan(FaultKind::Close);
    ASSERT_EQ(p.size(), 1u);
    EXPECT_TRUE(p[0].bytes.empty());
    EXPECT_EQ(p[0].action, ReplyPiece::Action::Close);
    p = plan(FaultKind::Reset);
    ASSERT_EQ(p.size(), 1u);
    EXPECT_EQ(p[0].action, ReplyPiece::Action::Reset);
}

TEST(ReplyPlan, PartialReplies)
{
    EXPECT_EQ(joined(plan(FaultKind::CutHalf)), Bytes(kFrame.begin(), kFrame.begin() + 3));
    EXPECT_EQ(joined(plan(FaultKind::ShortReply)), Bytes(kFrame.begin(), kFrame.end() - 1));
    EXPECT_EQ(joined(plan(FaultKind::ShortReply, 3)), Bytes(kFrame.begin(), kFrame.end() - 3));
    EXPECT_TRUE(joined(plan(FaultKind::ShortReply, 100)).empty());
}

TEST(ReplyPlan, TrickleAndSplitKeepEveryByte)
{
    auto p = plan(FaultKind::Trickle, 5);
    ASSERT_EQ(p.size(), kFrame.size());
    EXPECT_EQ(p[0].delayMs, 0);
    for (std::size_t i = 1; i < p.size(); ++i) {
        EXPECT_EQ(p[i].delayMs, 5);
        EXPECT_EQ(p[i].bytes.size(), 1u);
    }
    EXPECT_EQ(joined(p), kFrame);

    p = plan(FaultKind::SplitReply, 30);
    ASSERT_EQ(p.size(), 3u);
    EXPECT_EQ(p[0].delayMs, 0);
    EXPECT_EQ(p[1].delayMs, 30);
    EXPECT_EQ(p[2].delayMs, 30);
    for (const auto& piece : p) EXPECT_FALSE(piece.bytes.empty());
    EXPECT_EQ(joined(p), kFrame);
}

TEST(ReplyPlan, BytesAddedAroundTheReply)
{
    Bytes extra = joined(plan(FaultKind::ExtraBytes, 4));
    ASSERT_EQ(extra.size(), kFrame.size() + 4);
    EXPECT_TRUE(std::equal(kFrame.begin(), kFrame.end(), extra.begin()));

    Bytes echo = joined(plan(FaultKind::EchoRequest));
    Bytes expected = kRequest;
    expected.insert(expected.end(), kFrame.begin(), kFrame.end());
    EXPECT_EQ(echo, expected);

    Bytes stray = joined(plan(FaultKind::StrayByte, 0x3A));
    ASSERT_EQ(stray.size(), kFrame.size() + 1);
    EXPECT_EQ(stray[0], 0x3A);
    EXPECT_EQ(Bytes(stray.begin() + 1, stray.end()), kFrame);
}

} // namespace
