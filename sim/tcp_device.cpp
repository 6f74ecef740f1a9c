#include "sim/tcp_device.h"

#include "sim/mbap_codec.h"

namespace sim {

namespace {

constexpr std::uint8_t kRefusedByRole = 1;  // illegal function

} // namespace

TcpDevice::~TcpDevice() { stop(); }

void TcpDevice::onReceive(Connection& conn)
{
    std::size_t used = 0;
    while (!conn.closing && conn.in.size() - used >= MbapCodec::kHeader) {
        const std::uint8_t* p = conn.in.data() + used;
        const unsigned length = MbapCodec::lengthField(p);
        if (length < 2 || length > MbapCodec::kMaxLengthField) {
            // Not a Modbus/TCP stream any more: a device gives up on the connection.
            logRequest(p, conn.in.size() - used);
            conn.closing = true;
            used = conn.in.size();
            break;
        }
        const std::size_t frameLen = 6 + length;
        if (conn.in.size() - used < frameLen) break;
        handleFrame(conn, p, frameLen);
        used += frameLen;
    }
    conn.in.erase(conn.in.begin(), conn.in.begin() + long(used));
}

void TcpDevice::handleFrame(Connection& conn, const std::uint8_t* frame, std::size_t len)
{
    if (MbapCodec::protocolId(frame) != 0) {
        logRequest(frame, len);  // not Modbus: no answer, no fault used up
        return;
    }
    const Fault fault = beginRequest(frame, len);
    const unsigned tid = MbapCodec::transactionId(frame);
    const unsigned previousTid = conn.hasLastTransactionId ? conn.lastTransactionId : ((tid - 1) & 0xFFFF);
    conn.lastTransactionId = std::uint16_t(tid);
    conn.hasLastTransactionId = true;

    const std::uint8_t* pdu = frame + MbapCodec::kHeader;
    const std::size_t pduLength = len - MbapCodec::kHeader;
    if (conn.tls && conn.tls->readOnly() && PduProcessor::writes(pdu, pduLength) &&
        fault.kind != FaultKind::Close && fault.kind != FaultKind::Reset) {
        reply_.assign({std::uint8_t(pdu[0] | 0x80), kRefusedByRole});
        text_.clear();
    } else {
        execute(fault, pdu, pduLength, reply_, text_);
    }
    std::vector<std::uint8_t> out;
    if (!reply_.empty()) {
        // The text answer travels in the same write as the reply, so a reader that looks once
        // right after the reply finds it.
        out = MbapCodec::reply(fault, frame, previousTid, reply_, text_);
    } else if (fault.kind != FaultKind::Close && fault.kind != FaultKind::Reset) {
        return;
    }
    traceFrame("reply", out);
    queueReply(conn, planReply(fault, frame, len, std::move(out)));
}

} // namespace sim
