// The MBAP header of Modbus/TCP and Modbus/UDP: request checks and reply frames.
#pragma once

#include "sim/fault.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace sim {

struct MbapCodec {
    static constexpr std::size_t kHeader = 7;         // transaction id, protocol id, length, unit id
    static constexpr unsigned kMaxLengthField = 254;  // unit id + function code + 252 data bytes

    static unsigned transactionId(const std::uint8_t* frame) { return (unsigned(frame[0]) << 8) | frame[1]; }
    static unsigned protocolId(const std::uint8_t* frame) { return (unsigned(frame[2]) << 8) | frame[3]; }
    static unsigned lengthField(const std::uint8_t* frame) { return (unsigned(frame[4]) << 8) | frame[5]; }

    // The reply frame to `request` carrying `pdu` (function code and data) and then `text`,
    // with the identifier and length faults of `fault` applied (WrongTransactionId, LateReply,
    // WrongProtocolId, WrongUnitId, UnitIdZero, WrongFunctionCode, LyingLength).
    static std::vector<std::uint8_t> reply(const Fault& fault, const std::uint8_t* request,
                                           unsigned previousTransactionId,
                                           std::vector<std::uint8_t> pdu, const std::string& text);
};

} // namespace sim
