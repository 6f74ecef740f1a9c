#include "fuzz/reply_script.h"

#include "fuzz/fuzz_check.h"

namespace {

// Written here, bit by bit, rather than taken from the library, so that the harness and the
// library cannot share a mistake.
std::uint16_t crc16(const std::uint8_t *data, std::size_t length)
{
    std::uint16_t crc = 0xFFFF;
    for (std::size_t i = 0; i < length; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? static_cast<std::uint16_t>((crc >> 1) ^ 0xA001) : static_cast<std::uint16_t>(crc >> 1);
    }
    return crc;
}

void putCrc(std::uint8_t *frame, std::size_t covered)
{
    std::uint16_t crc = crc16(frame, covered);
    frame[covered] = static_cast<std::uint8_t>(crc & 0xFF);
    frame[covered + 1] = static_cast<std::uint8_t>(crc >> 8);
}

int hexValue(std::uint8_t c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Value of the pair at text[0..1]; invalid digits count as 0 for the checksum fix-up.
int pairValue(const std::uint8_t *text)
{
    int high = hexValue(text[0]);
    int low = hexValue(text[1]);
    return (high < 0 || low < 0) ? -1 : high * 16 + low;
}

const char kDigits[] = "0123456789ABCDEF";

void putHex(std::vector<std::uint8_t> &out, std::uint8_t value)
{
    out.push_back(static_cast<std::uint8_t>(kDigits[value >> 4]));
    out.push_back(static_cast<std::uint8_t>(kDigits[value & 0x0F]));
}

void putHexAt(std::uint8_t *at, std::uint8_t value)
{
    at[0] = static_cast<std::uint8_t>(kDigits[value >> 4]);
    at[1] = static_cast<std::uint8_t>(kDigits[value & 0x0F]);
}

// LRC over the pairs in text[first, end): the two's complement of their sum.
std::uint8_t lrcOfPairs(const std::uint8_t *text, std::size_t first, std::size_t end)
{
    unsigned sum = 0;
    for (std::size_t i = first; i + 2 <= end; i += 2) {
        int value = pairValue(text + i);
        sum += value < 0 ? 0u : static_cast<unsigned>(value);
    }
    return static_cast<std::uint8_t>(0x100u - (sum & 0xFFu));
}

} // namespace

int ReplyScript::connectOutcome()
{
    std::uint8_t b = input_.byte(0);
    // Most connects succeed at once; the failures stay reachable.
    if (b < 0xF0)
        return b < 0xE0 ? 0 : 1;
    return 2 + (b & 0x03) % 3;
}

Exchange ReplyScript::next()
{
    Exchange exchange;
    std::uint8_t flags = input_.byte(0);
    exchange.send = static_cast<SendOutcome>(flags & 0x03);
    exchange.mode = static_cast<ShapeMode>((flags >> 2) & 0x03);
    exchange.end = static_cast<ReplyEnd>((flags >> 4) & 0x03);
    static const int kChunks[] = {0, 1, 7, -1}; // -1: two halves
    static const int kNoise[] = {0, 1, 100, 101};
    exchange.chunk = kChunks[flags >> 6];
    exchange.noise = kNoise[flags >> 6];
    if (wrapAll_) {
        exchange.send = SendOutcome::Sent;
        exchange.mode = ShapeMode::WrapPdu;
        exchange.noise = 0;
    }
    std::size_t length = input_.u16(0);
    if (length > kMaxReply)
        length = kMaxReply;
    if (length > input_.remaining())
        length = input_.remaining();
    exchange.reply.resize(length);
    input_.take(exchange.reply.data(), length);
    return exchange;
}

void ReplyScript::shape(Exchange &exchange, const std::uint8_t *request, std::size_t length)
{
    ++requests_;
    checkRequest(request, length);
    lastPdu_.clear();
    switch (framing_) {
    case Framing::Mbap:
        shapeMbap(exchange, request);
        break;
    case Framing::Rtu:
        shapeRtu(exchange, request, 1);
        break;
    case Framing::Elam:
        // Slaves below 248 are plain RTU; an extended address starts with 0xF8..0xFF.
        shapeRtu(exchange, request, request[0] >= 0xF8 ? 2 : 1);
        break;
    case Framing::Ascii:
        shapeAscii(exchange, request, length);
        break;
    }
}

void ReplyScript::checkRequest(const std::uint8_t *request, std::size_t length)
{
    switch (framing_) {
    case Framing::Mbap: {
        fuzzRequire(length >= 8 && length <= 260, "MBAP request of 8..260 bytes");
        fuzzRequire(request[2] == 0 && request[3] == 0, "MBAP request protocol identifier 0");
        fuzzRequire(((request[4] << 8) | request[5]) == static_cast<int>(length) - 6,
                    "MBAP request length field counts the bytes behind it");
        fuzzRequire(request[7] >= 1 && request[7] <= 127, "request function code 1..127");
        std::uint16_t tid = static_cast<std::uint16_t>((request[0] << 8) | request[1]);
        // Attempts whose request never left also took an identifier: the step is small, never 0.
        if (checkSequence_ && haveTid_) {
            std::uint16_t step = static_cast<std::uint16_t>(tid - lastTid_);
            fuzzRequire(step >= 1 && step <= 32, "transaction identifiers run on");
        }
        haveTid_ = true;
        lastTid_ = tid;
        break;
    }
    case Framing::Rtu:
    case Framing::Elam: {
        fuzzRequire(length >= 4 && length <= ReplyScript::kMaxReply, "RTU request of at least 4 bytes");
        std::uint16_t crc = crc16(request, length - 2);
        fuzzRequire(request[length - 2] == (crc & 0xFF) && request[length - 1] == (crc >> 8),
                    "RTU request CRC, low byte first");
        break;
    }
    case Framing::Ascii: {
        fuzzRequire(length >= 9 && length % 2 == 1, "ASCII request of 2n + 9 characters");
        fuzzRequire(request[0] == ':' && request[length - 2] == '\r' && request[length - 1] == '\n',
                    "ASCII request between ':' and CR LF");
        unsigned sum = 0;
        for (std::size_t i = 1; i + 2 < length - 2; i += 2) {
            int value = pairValue(request + i);
            fuzzRequire(value >= 0, "ASCII request in upper-case hex digits");
            sum += static_cast<unsigned>(value);
        }
        int lrc = pairValue(request + length - 4);
        fuzzRequire(lrc >= 0 && static_cast<std::uint8_t>(0x100u - (sum & 0xFFu)) == lrc, "ASCII request LRC");
        break;
    }
    }
}

void ReplyScript::shapeMbap(Exchange &exchange, const std::uint8_t *request)
{
    std::vector<std::uint8_t> &reply = exchange.reply;
    switch (exchange.mode) {
    case ShapeMode::Raw:
        break;
    case ShapeMode::FixPrefix:
        if (reply.size() >= 6) {
            std::size_t rest = reply.size() - 6;
            reply[4] = static_cast<std::uint8_t>(rest >> 8);
            reply[5] = static_cast<std::uint8_t>(rest & 0xFF);
        }
        [[fallthrough]];
    case ShapeMode::FixWhole:
        if (reply.size() >= 2) {
            reply[0] = request[0];
            reply[1] = request[1];
        }
        break;
    case ShapeMode::WrapPdu: {
        std::vector<std::uint8_t> pdu = reply;
        if (!pdu.empty() && pdu[0] == 0)
            pdu[0] = request[7];
        if (pdu.size() > 253)
            pdu.resize(253);
        lastPdu_ = pdu;
        std::size_t rest = pdu.size() + 1;
        reply.assign({request[0], request[1], 0, 0, static_cast<std::uint8_t>(rest >> 8),
                      static_cast<std::uint8_t>(rest & 0xFF), request[6]});
        reply.insert(reply.end(), pdu.begin(), pdu.end());
        break;
    }
    }
}

void ReplyScript::shapeRtu(Exchange &exchange, const std::uint8_t *request, std::size_t addressBytes)
{
    std::vector<std::uint8_t> &reply = exchange.reply;
    switch (exchange.mode) {
    case ShapeMode::Raw:
        break;
    case ShapeMode::FixWhole:
        if (reply.size() >= 3)
            putCrc(reply.data(), reply.size() - 2);
        break;
    case ShapeMode::FixPrefix: {
        // Address, function code, exception code, CRC.
        std::size_t prefix = addressBytes + 4;
        if (reply.size() >= prefix)
            putCrc(reply.data(), prefix - 2);
        break;
    }
    case ShapeMode::WrapPdu: {
        std::vector<std::uint8_t> pdu = reply;
        if (!pdu.empty() && pdu[0] == 0)
            pdu[0] = request[addressBytes];
        lastPdu_ = pdu;
        reply.assign(request, request + addressBytes);
        reply.insert(reply.end(), pdu.begin(), pdu.end());
        reply.resize(reply.size() + 2);
        putCrc(reply.data(), reply.size() - 2);
        break;
    }
    }
}

void ReplyScript::shapeAscii(Exchange &exchange, const std::uint8_t *request, std::size_t length)
{
    std::vector<std::uint8_t> &reply = exchange.reply;
    switch (exchange.mode) {
    case ShapeMode::Raw:
        break;
    case ShapeMode::FixWhole:
        // The LRC sits just before the two closing characters.
        if (reply.size() >= 5)
            putHexAt(reply.data() + reply.size() - 4, lrcOfPairs(reply.data(), 1, reply.size() - 4));
        break;
    case ShapeMode::FixPrefix:
        // ':' address, function code, exception code, LRC, CR LF: 11 characters.
        if (reply.size() >= 11)
            putHexAt(reply.data() + 7, lrcOfPairs(reply.data(), 1, 7));
        break;
    case ShapeMode::WrapPdu: {
        std::vector<std::uint8_t> pdu = reply;
        int function = length >= 5 ? pairValue(request + 3) : 0;
        if (!pdu.empty() && pdu[0] == 0)
            pdu[0] = static_cast<std::uint8_t>(function < 0 ? 0 : function);
        if (pdu.size() > 253)
            pdu.resize(253);
        lastPdu_ = pdu;
        int address = pairValue(request + 1);
        std::uint8_t addressByte = static_cast<std::uint8_t>(address < 0 ? 0 : address);
        unsigned sum = addressByte;
        reply.assign({':'});
        putHex(reply, addressByte);
        for (std::uint8_t b : pdu) {
            putHex(reply, b);
            sum += b;
        }
        putHex(reply, static_cast<std::uint8_t>(0x100u - (sum & 0xFFu)));
        reply.push_back('\r');
        reply.push_back('\n');
        break;
    }
    }
}
