#include "sim/framed_stream_device.h"

namespace sim {

FramedStreamDevice::~FramedStreamDevice() { stop(); }

void FramedStreamDevice::onReceive(Connection& conn)
{
    const SerialFraming framing = framing_.load();
    if (framing != SerialFraming::Ascii && conn.in.size() > conn.fresh && conn.quietMs > kRtuGapMs) {
        // What was left over belongs to a frame that the line silence ended.
        const std::size_t stale = conn.in.size() - conn.fresh;
        logRequest(conn.in.data(), stale);
        conn.in.erase(conn.in.begin(), conn.in.begin() + long(stale));
    }
    std::size_t pos = 0;
    while (pos < conn.in.size()) {
        std::size_t used = 0;
        const auto result = SerialCodec::scan(framing, conn.in.data() + pos, conn.in.size() - pos, used, request_);
        if (result == SerialCodec::Scan::NeedMore) break;
        if (result == SerialCodec::Scan::Garbage) logRequest(conn.in.data() + pos, used);
        else handleFrame(conn, conn.in.data() + pos, used);
        pos += used;
    }
    conn.in.erase(conn.in.begin(), conn.in.begin() + long(pos));
}

void FramedStreamDevice::handleFrame(Connection& conn, const std::uint8_t* frame, std::size_t len)
{
    const int own = slaveAddress_.load();
    const bool broadcast = request_.address == 0;
    if (!broadcast && own >= 0 && request_.address != own) {
        logRequest(frame, len);  // another slave's business
        return;
    }
    const Fault fault = beginRequest(frame, len);
    execute(fault, request_.pdu.data(), request_.pdu.size(), reply_, text_, request_.extended);
    if (broadcast && !answerBroadcast_.load()) return;
    if (reply_.empty() && fault.kind != FaultKind::Close && fault.kind != FaultKind::Reset) return;
    std::vector<std::uint8_t> out;
    if (!reply_.empty()) out = SerialCodec::encodeReply(framing_.load(), request_, reply_, fault);
    traceFrame("reply", out);
    queueReply(conn, planReply(fault, frame, len, std::move(out)));
}

} // namespace sim
