#include "sim/pdu_processor.h"

#include <algorithm>

namespace sim {

namespace {

constexpr std::uint8_t kIllegalFunction = 1;
constexpr std::uint8_t kIllegalDataAddress = 2;
constexpr std::uint8_t kIllegalDataValue = 3;

unsigned be16(const std::uint8_t* p) { return (unsigned(p[0]) << 8) | p[1]; }

void put16(std::vector<std::uint8_t>& out, unsigned v)
{
    out.push_back(std::uint8_t(v >> 8));
    out.push_back(std::uint8_t(v & 0xFF));
}

// The reply already holds the function code; an exception replaces it.
void exception(std::vector<std::uint8_t>& reply, std::uint8_t code)
{
    const std::uint8_t fc = reply.empty() ? 0 : reply[0];
    reply.assign({std::uint8_t(fc | 0x80), code});
}

bool inTable(unsigned addr, unsigned count) { return addr + count <= DataTables::kSize; }

// A reply PDU (function code included) holds at most 253 bytes.
constexpr std::size_t kMaxReplyPdu = 253;
constexpr std::uint8_t kMeiDeviceIdentification = 0x0E;
constexpr std::uint8_t kFileReferenceType = 6;
constexpr unsigned kMaxFifoCount = 31;

// Highest object id of each stream access code: 1 basic, 2 regular, 3 extended.
unsigned lastObjectOf(unsigned readDevIdCode)
{
    return readDevIdCode == 1 ? 0x02 : readDevIdCode == 2 ? 0x7F : 0xFF;
}

// 0x81, 0x82 or 0x83: the highest category the device holds, individual access included.
std::uint8_t conformityLevel(const std::map<std::uint8_t, ByteString>& objects)
{
    const unsigned highest = objects.empty() ? 0 : objects.rbegin()->first;
    return highest >= 0x80 ? 0x83 : highest >= 0x03 ? 0x82 : 0x81;
}

// One file sub-request: reference type, file number, record number, record length.
struct FileRef {
    unsigned file, record, length;
};

FileRef fileRefAt(const std::uint8_t* p) { return {be16(p + 1), be16(p + 3), be16(p + 5)}; }

} // namespace

bool PduProcessor::writes(const std::uint8_t* request, std::size_t len)
{
    if (len == 0) return false;
    switch (request[0]) {
    case 5: case 6: case 15: case 16: case 21: case 22: case 23: return true;
    case 8: return len >= 3 && be16(request + 1) == 1;
    default: return false;
    }
}

void PduProcessor::process(const std::uint8_t* request, std::size_t len,
                           std::vector<std::uint8_t>& reply, std::string& textAnswer,
                           bool extendedRead, const Fault& fault)
{
    reply.clear();
    textAnswer.clear();
    if (len == 0) {
        exception(reply, kIllegalFunction);
        return;
    }
    const std::uint8_t fc = request[0];
    reply.push_back(fc);
    const std::uint8_t* d = request + 1;
    const std::size_t n = len - 1;
    switch (fc) {
    case 1: readBits(tables_.coils, d, n, reply); break;
    case 2: readBits(tables_.discreteInputs, d, n, reply); break;
    case 3: readRegisters(tables_.holdingRegisters, d, n, reply, textAnswer, extendedRead); break;
    case 4: readRegisters(tables_.inputRegisters, d, n, reply, textAnswer, extendedRead); break;
    case 5: writeCoil(d, n, reply); break;
    case 6: writeRegister(d, n, reply); break;
    case 7:
        if (n != 0) exception(reply, kIllegalDataValue);
        else reply.push_back(tables_.exceptionStatus);
        break;
    case 8: diagnostics(d, n, reply); break;
    case 17: reportServerId(n, reply); break;
    case 20: readFileRecord(d, n, reply, fault); break;
    case 21: writeFileRecord(d, n, reply); break;
    case 24: readFifo(d, n, reply, fault); break;
    case 43: deviceIdentification(d, n, reply, fault); break;
    case 15: writeCoils(d, n, reply); break;
    case 16: writeRegisters(d, n, reply); break;
    case 22: maskWrite(d, n, reply); break;
    case 23: readWriteRegisters(d, n, reply); break;
    default: exception(reply, kIllegalFunction); break;
    }
}

void PduProcessor::readBits(const std::vector<std::uint8_t>& table, const std::uint8_t* d,
                            std::size_t n, std::vector<std::uint8_t>& reply)
{
    if (n != 4) return exception(reply, kIllegalDataValue);
    const unsigned addr = be16(d), count = be16(d + 2);
    if (count < 1 || count > 2000) return exception(reply, kIllegalDataValue);
    if (!inTable(addr, count)) return exception(reply, kIllegalDataAddress);
    const unsigned bytes = (count + 7) / 8;
    reply.push_back(std::uint8_t(bytes));
    reply.resize(2 + bytes, 0);
    for (unsigned i = 0; i < count; ++i) {
        if (table[addr + i]) reply[2 + i / 8] |= std::uint8_t(1u << (i % 8));
    }
}

void PduProcessor::readRegisters(const std::vector<std::uint16_t>& table, const std::uint8_t* d,
                                 std::size_t n, std::vector<std::uint8_t>& reply,
                                 std::string& textAnswer, bool extendedRead)
{
    if (n != 4) return exception(reply, kIllegalDataValue);
    const unsigned addr = be16(d), count = be16(d + 2);
    const unsigned max = extendedRead ? kExtendedReadMax : 125;
    if (count < 1 || count > max) return exception(reply, kIllegalDataValue);
    if (!inTable(addr, count)) return exception(reply, kIllegalDataAddress);
    if (extendedRead) put16(reply, 2 * count);
    else reply.push_back(std::uint8_t(2 * count));
    for (unsigned i = 0; i < count; ++i) put16(reply, table[addr + i]);
    // The text channel answers a holding-register read at its address once per command.
    if (&table == &tables_.holdingRegisters && addr == kTextRegister) {
        textAnswer.swap(pendingTextAnswer_);
        pendingTextAnswer_.clear();
    }
}

void PduProcessor::writeCoil(const std::uint8_t* d, std::size_t n, std::vector<std::uint8_t>& reply)
{
    if (n != 4) return exception(reply, kIllegalDataValue);
    const unsigned addr = be16(d), value = be16(d + 2);
    if (value != 0x0000 && value != 0xFF00) return exception(reply, kIllegalDataValue);
    tables_.coils[addr] = value ? 1 : 0;
    reply.insert(reply.end(), d, d + 4);
}

void PduProcessor::writeRegister(const std::uint8_t* d, std::size_t n,
                                 std::vector<std::uint8_t>& reply)
{
    if (n != 4) return exception(reply, kIllegalDataValue);
    tables_.holdingRegisters[be16(d)] = std::uint16_t(be16(d + 2));
    reply.insert(reply.end(), d, d + 4);
}

void PduProcessor::diagnostics(const std::uint8_t* d, std::size_t n,
                               std::vector<std::uint8_t>& reply)
{
    if (n < 2) return exception(reply, kIllegalDataValue);
    const unsigned sub = be16(d);
    if (sub == 0) {
        // Return query data: the whole request comes back.
        reply.insert(reply.end(), d, d + n);
        return;
    }
    if (sub == 1) {
        // Restart communications: the data field is 0000 or FF00 (clear the event log).
        if (n != 4) return exception(reply, kIllegalDataValue);
        const unsigned value = be16(d + 2);
        if (value != 0x0000 && value != 0xFF00) return exception(reply, kIllegalDataValue);
        reply.insert(reply.end(), d, d + 4);
        return;
    }
    exception(reply, kIllegalFunction);
}

void PduProcessor::writeCoils(const std::uint8_t* d, std::size_t n, std::vector<std::uint8_t>& reply)
{
    if (n < 5) return exception(reply, kIllegalDataValue);
    const unsigned addr = be16(d), count = be16(d + 2), bytes = d[4];
    if (count < 1 || count > 1968 || bytes != (count + 7) / 8 || n != 5 + bytes)
        return exception(reply, kIllegalDataValue);
    if (!inTable(addr, count)) return exception(reply, kIllegalDataAddress);
    for (unsigned i = 0; i < count; ++i) tables_.coils[addr + i] = (d[5 + i / 8] >> (i % 8)) & 1;
    reply.insert(reply.end(), d, d + 4);
}

void PduProcessor::writeRegisters(const std::uint8_t* d, std::size_t n,
                                  std::vector<std::uint8_t>& reply)
{
    if (n < 5) return exception(reply, kIllegalDataValue);
    const unsigned addr = be16(d), count = be16(d + 2), bytes = d[4];
    if (count < 1 || count > 123 || bytes != 2 * count || n != 5 + bytes)
        return exception(reply, kIllegalDataValue);
    if (!inTable(addr, count)) return exception(reply, kIllegalDataAddress);
    for (unsigned i = 0; i < count; ++i) tables_.holdingRegisters[addr + i] = std::uint16_t(be16(d + 5 + 2 * i));
    if (addr == kTextRegister) storeTextCommand(d + 5, bytes);
    reply.insert(reply.end(), d, d + 4);
}

void PduProcessor::maskWrite(const std::uint8_t* d, std::size_t n, std::vector<std::uint8_t>& reply)
{
    if (n != 6) return exception(reply, kIllegalDataValue);
    const unsigned addr = be16(d), andMask = be16(d + 2), orMask = be16(d + 4);
    const unsigned current = tables_.holdingRegisters[addr];
    tables_.holdingRegisters[addr] = std::uint16_t((current & andMask) | (orMask & ~andMask));
    reply.insert(reply.end(), d, d + 6);
}

void PduProcessor::readWriteRegisters(const std::uint8_t* d, std::size_t n,
                                      std::vector<std::uint8_t>& reply)
{
    if (n < 9) return exception(reply, kIllegalDataValue);
    const unsigned readAddr = be16(d), readCount = be16(d + 2);
    const unsigned writeAddr = be16(d + 4), writeCount = be16(d + 6), bytes = d[8];
    if (readCount < 1 || readCount > 125 || writeCount < 1 || writeCount > 121 ||
        bytes != 2 * writeCount || n != 9 + bytes)
        return exception(reply, kIllegalDataValue);
    if (!inTable(readAddr, readCount) || !inTable(writeAddr, writeCount))
        return exception(reply, kIllegalDataAddress);
    // The write is carried out before the read.
    for (unsigned i = 0; i < writeCount; ++i)
        tables_.holdingRegisters[writeAddr + i] = std::uint16_t(be16(d + 9 + 2 * i));
    reply.push_back(std::uint8_t(2 * readCount));
    for (unsigned i = 0; i < readCount; ++i) put16(reply, tables_.holdingRegisters[readAddr + i]);
}

void PduProcessor::deviceIdentification(const std::uint8_t* d, std::size_t n,
                                        std::vector<std::uint8_t>& reply, const Fault& fault)
{
    // Other encapsulated interfaces are not served.
    if (n < 1 || d[0] != kMeiDeviceIdentification) return exception(reply, kIllegalFunction);
    if (n != 3 || d[1] < 1 || d[1] > 4) return exception(reply, kIllegalDataValue);
    const unsigned code = d[1], requested = d[2];
    const auto& objects = tables_.deviceObjects;
    std::vector<std::uint8_t> body;
    std::uint8_t count = 0, moreFollows = 0, nextId = 0;
    const std::size_t room = kMaxReplyPdu - 7;  // behind the seven header bytes
    if (code == 4) {
        // Individual access: exactly the object asked for.
        const auto it = objects.find(std::uint8_t(requested));
        if (it == objects.end()) return exception(reply, kIllegalDataAddress);
        body.push_back(it->first);
        body.push_back(std::uint8_t(it->second.size()));
        body.insert(body.end(), it->second.begin(), it->second.end());
        count = 1;
    } else {
        // Stream access: from the object asked for, or from the start when that object is
        // unknown or outside the category, as many objects as fit; the rest follows on request.
        const unsigned last = lastObjectOf(code);
        const bool known = requested <= last && objects.count(std::uint8_t(requested)) != 0;
        for (auto it = objects.lower_bound(std::uint8_t(known ? requested : 0));
             it != objects.end() && it->first <= last; ++it) {
            if (body.size() + 2 + it->second.size() > room) {
                moreFollows = 0xFF;
                nextId = it->first;
                break;
            }
            body.push_back(it->first);
            body.push_back(std::uint8_t(it->second.size()));
            body.insert(body.end(), it->second.begin(), it->second.end());
            ++count;
        }
        if (fault.kind == FaultKind::EndlessIdChain) {
            moreFollows = 0xFF;
            nextId = body.empty() ? std::uint8_t(requested) : body[0];
        }
    }
    if (fault.kind == FaultKind::OversizeObject && !body.empty()) {
        const int param = fault.param;
        body[1] = std::uint8_t(param > body[1] && param <= 255 ? param : 255);
    }
    reply.insert(reply.end(), {kMeiDeviceIdentification, std::uint8_t(code), conformityLevel(objects),
                               moreFollows, nextId, count});
    reply.insert(reply.end(), body.begin(), body.end());
}

void PduProcessor::reportServerId(std::size_t n, std::vector<std::uint8_t>& reply)
{
    if (n != 0) return exception(reply, kIllegalDataValue);
    const ByteString& id = tables_.serverId;
    const ByteString& extra = tables_.serverIdExtra;
    reply.push_back(std::uint8_t(id.size() + 1 + extra.size()));
    reply.insert(reply.end(), id.begin(), id.end());
    reply.push_back(tables_.runIndicator);
    reply.insert(reply.end(), extra.begin(), extra.end());
}

void PduProcessor::readFileRecord(const std::uint8_t* d, std::size_t n, std::vector<std::uint8_t>& reply,
                                  const Fault& fault)
{
    if (n < 1) return exception(reply, kIllegalDataValue);
    const unsigned byteCount = d[0];
    if (byteCount < 7 || byteCount > 0xF5 || byteCount % 7 != 0 || n != 1 + byteCount)
        return exception(reply, kIllegalDataValue);
    std::size_t replySize = 2;
    for (unsigned at = 1; at < n; at += 7) {
        const FileRef ref = fileRefAt(d + at);
        const auto file = tables_.files.find(std::uint16_t(ref.file));
        if (d[at] != kFileReferenceType || file == tables_.files.end() || ref.length < 1 ||
            ref.record + ref.length > DataTables::kFileRecords)
            return exception(reply, kIllegalDataAddress);
        replySize += 2 + 2 * std::size_t(ref.length);
    }
    if (replySize > kMaxReplyPdu) return exception(reply, kIllegalDataValue);
    reply.push_back(std::uint8_t(replySize - 2));
    for (unsigned at = 1; at < n; at += 7) {
        const FileRef ref = fileRefAt(d + at);
        const std::vector<std::uint16_t>& records = tables_.files[std::uint16_t(ref.file)];
        unsigned length = 1 + 2 * ref.length;
        if (fault.kind == FaultKind::LyingFileRecord && at == 1) length += fault.param ? unsigned(fault.param) : 2;
        reply.push_back(std::uint8_t(length));
        reply.push_back(kFileReferenceType);
        for (unsigned i = 0; i < ref.length; ++i) put16(reply, records[ref.record + i]);
    }
}

void PduProcessor::writeFileRecord(const std::uint8_t* d, std::size_t n, std::vector<std::uint8_t>& reply)
{
    if (n < 1) return exception(reply, kIllegalDataValue);
    const unsigned dataLength = d[0];
    if (dataLength < 9 || dataLength > 0xFB || n != 1 + dataLength) return exception(reply, kIllegalDataValue);
    // Every sub-request is checked before the first one is written.
    for (unsigned at = 1; at < n;) {
        if (n - at < 7) return exception(reply, kIllegalDataValue);
        const FileRef ref = fileRefAt(d + at);
        if (ref.length < 1 || n - at - 7 < 2 * std::size_t(ref.length)) return exception(reply, kIllegalDataValue);
        if (d[at] != kFileReferenceType || tables_.files.count(std::uint16_t(ref.file)) == 0 ||
            ref.record + ref.length > DataTables::kFileRecords)
            return exception(reply, kIllegalDataAddress);
        at += 7 + 2 * ref.length;
    }
    for (unsigned at = 1; at < n;) {
        const FileRef ref = fileRefAt(d + at);
        std::vector<std::uint16_t>& records = tables_.files[std::uint16_t(ref.file)];
        for (unsigned i = 0; i < ref.length; ++i)
            records[ref.record + i] = std::uint16_t(be16(d + at + 7 + 2 * i));
        at += 7 + 2 * ref.length;
    }
    reply.insert(reply.end(), d, d + n);
}

void PduProcessor::readFifo(const std::uint8_t* d, std::size_t n, std::vector<std::uint8_t>& reply,
                            const Fault& fault)
{
    if (n != 2) return exception(reply, kIllegalDataValue);
    const auto queue = tables_.fifos.find(std::uint16_t(be16(d)));
    if (queue == tables_.fifos.end()) return exception(reply, kIllegalDataAddress);
    std::vector<std::uint16_t> values = queue->second;
    if (fault.kind == FaultKind::FifoOverflow) {
        // Still within one reply: 4 + 2 * 124 bytes of data.
        values.resize(std::min(124u, fault.param > 0 ? unsigned(fault.param) : kMaxFifoCount + 1), 0);
    } else if (values.size() > kMaxFifoCount) {
        return exception(reply, kIllegalDataValue);
    }
    put16(reply, 2 + 2 * unsigned(values.size()));
    put16(reply, unsigned(values.size()));
    for (std::uint16_t v : values) put16(reply, v);
}

void PduProcessor::storeTextCommand(const std::uint8_t* text, std::size_t n)
{
    // The text is padded with a 0 byte to an even length and ends in a carriage return.
    std::string command(reinterpret_cast<const char*>(text), n);
    while (!command.empty() && command.back() == '\0') command.pop_back();
    if (!command.empty() && command.back() == '\r') command.pop_back();
    lastTextCommand_ = command;
    pendingTextAnswer_ = "OK " + command + "\r";
}

} // namespace sim
