#include "sim/mbap_codec.h"

#include <algorithm>

namespace sim {

namespace {

std::uint8_t otherUnit(std::uint8_t unit, int param)
{
    const std::uint8_t wanted = std::uint8_t(param);
    if (param > 0 && param <= 255 && wanted != unit) return wanted;
    // Never 0: a master accepts unit 0 for any request.
    return unit == 255 ? 1 : std::uint8_t(unit + 1);
}

} // namespace

std::vector<std::uint8_t> MbapCodec::reply(const Fault& fault, const std::uint8_t* request,
                                           unsigned previousTransactionId,
                                           std::vector<std::uint8_t> pdu, const std::string& text)
{
    const unsigned tid = transactionId(request);
    unsigned replyTid = tid, protocol = 0;
    std::uint8_t unit = request[6];
    switch (fault.kind) {
    case FaultKind::WrongTransactionId: replyTid = (tid + unsigned(fault.param ? fault.param : 1)) & 0xFFFF; break;
    case FaultKind::LateReply: replyTid = previousTransactionId & 0xFFFF; break;
    case FaultKind::WrongProtocolId: protocol = unsigned(fault.param ? fault.param : 1) & 0xFFFF; break;
    case FaultKind::WrongUnitId: unit = otherUnit(unit, fault.param); break;
    case FaultKind::UnitIdZero: unit = 0; break;
    case FaultKind::WrongFunctionCode:
        if (!pdu.empty()) {
            const std::uint8_t fc = pdu[0] & 0x7F;
            std::uint8_t other = fault.param ? std::uint8_t(fault.param & 0x7F) : std::uint8_t(fc % 127 + 1);
            if (other == fc) other = std::uint8_t(fc % 127 + 1);
            pdu[0] = std::uint8_t((pdu[0] & 0x80) | other);
        }
        break;
    default: break;
    }
    unsigned length = unsigned(pdu.size()) + 1;
    if (fault.kind == FaultKind::LyingLength)
        length = std::min(0xFFFFu, length + unsigned(std::max(0, fault.param)));

    std::vector<std::uint8_t> out;
    out.reserve(kHeader + pdu.size() + text.size());
    out.push_back(std::uint8_t(replyTid >> 8));
    out.push_back(std::uint8_t(replyTid));
    out.push_back(std::uint8_t(protocol >> 8));
    out.push_back(std::uint8_t(protocol));
    out.push_back(std::uint8_t(length >> 8));
    out.push_back(std::uint8_t(length));
    out.push_back(unit);
    out.insert(out.end(), pdu.begin(), pdu.end());
    out.insert(out.end(), text.begin(), text.end());
    return out;
}

} // namespace sim
