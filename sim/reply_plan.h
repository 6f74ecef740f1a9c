// Turns a finished reply frame and a fault into the timed pieces a device writes.
#pragma once

#include "sim/fault.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace sim {

// One write of a device: after delayMs (counted from the previous piece, or from the moment the
// request was handled for the first piece) the bytes go out, then the action (if any) ends the
// connection.
struct ReplyPiece {
    enum class Action { None, Close, Reset };
    int delayMs = 0;
    std::vector<std::uint8_t> bytes;
    Action action = Action::None;
};

// Applies the faults that concern timing and the shape of the byte stream (Delay, Drop, CutHalf,
// Trickle, ExtraBytes, Close, Reset, EchoRequest, StrayByte, ShortReply, SplitReply). Faults that
// change fields inside the frame are the framing's business and must already be in `frame`.
// `request` is the raw request frame (requestLen bytes), echoed for EchoRequest.
std::vector<ReplyPiece> planReply(const Fault& fault, const std::uint8_t* request,
                                  std::size_t requestLen, std::vector<std::uint8_t> frame);

} // namespace sim
