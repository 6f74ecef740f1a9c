#include "sim/serial_codec.h"

#include "sim/checksums.h"

#include <algorithm>

namespace sim {

namespace {

constexpr int kFirstExtended = 248;
constexpr int kLastExtended = 2295;

// Data bytes after the function code of a request with a fixed layout; -1 when the code has
// none, 0 with needMore set when the count byte has not arrived yet.
long requestDataLength(std::uint8_t fc, const std::uint8_t* data, std::size_t avail, bool& needMore)
{
    needMore = false;
    switch (fc) {
    case 1: case 2: case 3: case 4: case 5: case 6: return 4;
    case 7: return 0;
    case 22: return 6;
    case 15: case 16:
        if (avail < 5) { needMore = true; return 0; }
        return 5 + long(data[4]);
    case 23:
        if (avail < 9) { needMore = true; return 0; }
        return 9 + long(data[8]);
    default: return -1;
    }
}

bool crcOk(const std::uint8_t* frame, std::size_t len)
{
    if (len < 4) return false;
    const std::uint16_t crc = crc16(frame, len - 2);
    return frame[len - 2] == (crc & 0xFF) && frame[len - 1] == (crc >> 8);
}

int hexValue(std::uint8_t c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;  // lower case is not Modbus ASCII
}

int otherAddress(int address, int param)
{
    if (param >= 1 && param <= 247 && param != address) return param;
    return address % 247 + 1;  // never 0, never the same
}

} // namespace

SerialCodec::Scan SerialCodec::scan(SerialFraming framing, const std::uint8_t* buf, std::size_t len,
                                    std::size_t& used, SerialRequest& request)
{
    used = 0;
    if (len == 0) return Scan::NeedMore;
    if (framing == SerialFraming::Ascii) return scanAscii(buf, len, used, request);
    return scanRtu(framing == SerialFraming::ExtendedRtu, buf, len, used, request);
}

SerialCodec::Scan SerialCodec::scanRtu(bool extendedAllowed, const std::uint8_t* buf, std::size_t len,
                                       std::size_t& used, SerialRequest& request)
{
    const bool extended = extendedAllowed && buf[0] >= 0xF8;
    const std::size_t head = extended ? 3 : 2;  // address byte(s) and function code
    if (len < head) return Scan::NeedMore;
    const std::uint8_t fc = buf[head - 1];
    bool needMore = false;
    const long n = requestDataLength(fc, buf + head, len - head, needMore);
    std::size_t total = 0;
    if (needMore) return Scan::NeedMore;
    if (n >= 0) {
        total = head + std::size_t(n) + 2;
        if (len < total) return Scan::NeedMore;
        if (!crcOk(buf, total)) {
            // Without a valid frame there is no telling where the next one starts.
            used = len;
            return Scan::Garbage;
        }
    } else {
        if (len >= head + 2 && crcOk(buf, len)) {
            total = len;
        } else if (len >= kMaxRtuFrame) {
            used = len;
            return Scan::Garbage;
        } else {
            return Scan::NeedMore;
        }
    }
    used = total;
    request.extended = extended;
    request.address = extended ? kFirstExtended + (buf[0] - 0xF8) * 256 + buf[1] : buf[0];
    request.pdu.assign(buf + head - 1, buf + total - 2);
    return Scan::Frame;
}

SerialCodec::Scan SerialCodec::scanAscii(const std::uint8_t* buf, std::size_t len, std::size_t& used,
                                         SerialRequest& request)
{
    const std::uint8_t* start = std::find(buf, buf + len, std::uint8_t(':'));
    if (start != buf) {
        used = std::size_t(start - buf);  // junk in front of a frame
        return Scan::Garbage;
    }
    // A new ':' before the line feed starts the frame over.
    for (std::size_t i = 1; i < len; ++i) {
        if (buf[i] == ':') {
            used = i;
            return Scan::Garbage;
        }
        if (buf[i] != '\n') continue;
        used = i + 1;
        const std::size_t digits = i >= 2 ? i - 2 : 0;  // between ':' and CR
        if (buf[i - 1] != '\r' || digits < 6 || digits % 2 != 0) return Scan::Garbage;
        std::vector<std::uint8_t> bytes;
        bytes.reserve(digits / 2);
        for (std::size_t k = 1; k + 1 < i; k += 2) {
            const int hi = hexValue(buf[k]), lo = hexValue(buf[k + 1]);
            if (hi < 0 || lo < 0) return Scan::Garbage;
            bytes.push_back(std::uint8_t(hi * 16 + lo));
        }
        if (lrc(bytes.data(), bytes.size() - 1) != bytes.back()) return Scan::Garbage;
        request.extended = false;
        request.address = bytes[0];
        request.pdu.assign(bytes.begin() + 1, bytes.end() - 1);
        return Scan::Frame;
    }
    if (len > kMaxAsciiFrame) {
        used = len;
        return Scan::Garbage;
    }
    return Scan::NeedMore;
}

std::vector<std::uint8_t> SerialCodec::encodeReply(SerialFraming framing, const SerialRequest& request,
                                                   std::vector<std::uint8_t> pdu, const Fault& fault)
{
    if (fault.kind == FaultKind::WrongFunctionCode && !pdu.empty()) {
        const std::uint8_t fc = pdu[0] & 0x7F;
        std::uint8_t other = fault.param ? std::uint8_t(fault.param & 0x7F) : std::uint8_t(fc % 127 + 1);
        if (other == fc) other = std::uint8_t(fc % 127 + 1);
        pdu[0] = std::uint8_t((pdu[0] & 0x80) | other);
    }

    std::vector<std::uint8_t> body;  // address field, function code, data
    body.reserve(pdu.size() + 2);
    if (fault.kind == FaultKind::UnitIdZero) {
        body.push_back(0);
    } else if (request.extended) {
        int x = request.address - kFirstExtended;
        if (fault.kind == FaultKind::WrongUnitId) {
            const int wanted = fault.param - kFirstExtended;
            x = (fault.param >= kFirstExtended && fault.param <= kLastExtended && wanted != x) ? wanted : (x + 1) % 2048;
        }
        body.push_back(std::uint8_t(0xF8 + x / 256));
        body.push_back(std::uint8_t(x % 256));
    } else {
        const int address = fault.kind == FaultKind::WrongUnitId ? otherAddress(request.address, fault.param)
                                                                 : request.address;
        body.push_back(std::uint8_t(address));
    }
    body.insert(body.end(), pdu.begin(), pdu.end());

    if (framing != SerialFraming::Ascii) {
        const std::uint16_t crc = crc16(body.data(), body.size());
        // The low-order byte of the CRC comes first on the wire.
        std::uint8_t lo = std::uint8_t(crc & 0xFF);
        if (fault.kind == FaultKind::BadChecksum) lo ^= 0x5A;
        body.push_back(lo);
        body.push_back(std::uint8_t(crc >> 8));
        return body;
    }

    std::uint8_t check = lrc(body.data(), body.size());
    if (fault.kind == FaultKind::BadChecksum) check = std::uint8_t(check + 1);
    body.push_back(check);
    const char* digits = fault.kind == FaultKind::LowerCaseHex ? "0123456789abcdef" : "0123456789ABCDEF";
    std::vector<std::uint8_t> out;
    out.reserve(2 * body.size() + 3);
    out.push_back(':');
    for (std::uint8_t b : body) {
        out.push_back(std::uint8_t(digits[b >> 4]));
        out.push_back(std::uint8_t(digits[b & 0x0F]));
    }
    out.push_back('\r');
    out.push_back('\n');
    return out;
}

} // namespace sim
