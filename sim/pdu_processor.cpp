#include "sim/pdu_processor.h"

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

} // namespace

void PduProcessor::process(const std::uint8_t* request, std::size_t len,
                           std::vector<std::uint8_t>& reply, std::string& textAnswer,
                           bool extendedRead)
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
