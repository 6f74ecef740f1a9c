#include "sim/reply_plan.h"

#include <algorithm>

namespace sim {

namespace {

constexpr std::uint8_t kJunk = 0xA5;

int nonNegative(int v) { return v < 0 ? 0 : v; }

} // namespace

std::vector<ReplyPiece> planReply(const Fault& fault, const std::uint8_t* request,
                                  std::size_t requestLen, std::vector<std::uint8_t> frame)
{
    std::vector<ReplyPiece> pieces;
    const int param = nonNegative(fault.param);
    switch (fault.kind) {
    case FaultKind::Drop:
    case FaultKind::Chatter:
        break;
    case FaultKind::Close:
    case FaultKind::Reset: {
        ReplyPiece p;
        p.action = fault.kind == FaultKind::Close ? ReplyPiece::Action::Close
                                                  : ReplyPiece::Action::Reset;
        pieces.push_back(std::move(p));
        break;
    }
    case FaultKind::Delay:
        pieces.push_back(ReplyPiece{param, std::move(frame), ReplyPiece::Action::None});
        break;
    case FaultKind::CutHalf:
        frame.resize(frame.size() / 2);
        pieces.push_back(ReplyPiece{0, std::move(frame), ReplyPiece::Action::None});
        break;
    case FaultKind::Trickle:
        for (std::size_t i = 0; i < frame.size(); ++i)
            pieces.push_back(ReplyPiece{i == 0 ? 0 : param, {frame[i]}, ReplyPiece::Action::None});
        break;
    case FaultKind::ExtraBytes:
        frame.insert(frame.end(), std::size_t(param), kJunk);
        pieces.push_back(ReplyPiece{0, std::move(frame), ReplyPiece::Action::None});
        break;
    case FaultKind::EchoRequest: {
        std::vector<std::uint8_t> both(request, request + requestLen);
        both.insert(both.end(), frame.begin(), frame.end());
        pieces.push_back(ReplyPiece{0, std::move(both), ReplyPiece::Action::None});
        break;
    }
    case FaultKind::StrayByte:
        frame.insert(frame.begin(), std::uint8_t(param ? param : kJunk));
        pieces.push_back(ReplyPiece{0, std::move(frame), ReplyPiece::Action::None});
        break;
    case FaultKind::ShortReply: {
        const std::size_t cut = std::min<std::size_t>(frame.size(), param ? std::size_t(param) : 1);
        frame.resize(frame.size() - cut);
        pieces.push_back(ReplyPiece{0, std::move(frame), ReplyPiece::Action::None});
        break;
    }
    case FaultKind::SplitReply: {
        // Three pieces of about equal size; a frame of fewer bytes gives fewer pieces.
        const std::size_t size = frame.size();
        std::size_t start = 0;
        for (int i = 0; i < 3 && start < size; ++i) {
            const std::size_t end = i == 2 ? size : std::max(start + 1, size * std::size_t(i + 1) / 3);
            pieces.push_back(ReplyPiece{i == 0 ? 0 : param,
                                        std::vector<std::uint8_t>(frame.begin() + long(start),
                                                                  frame.begin() + long(end)),
                                        ReplyPiece::Action::None});
            start = end;
        }
        break;
    }
    default:
        pieces.push_back(ReplyPiece{0, std::move(frame), ReplyPiece::Action::None});
        break;
    }
    return pieces;
}

} // namespace sim
