// Carries out one Modbus request PDU on the data tables and builds the reply PDU.
#pragma once

#include "sim/data_tables.h"
#include "sim/fault.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace sim {

// Transport-free: takes the function code and its data, gives the reply function code and data.
// Not thread-safe; the devices call it under their own lock.
class PduProcessor {
public:
    // Register address (wire) of the text-command channel.
    static constexpr std::uint16_t kTextRegister = 0x270F;
    // Largest register read answered with a two-byte byte count (extended-address slaves).
    static constexpr unsigned kExtendedReadMax = 2500;
    // Largest device identification object: one object alone must fit in a reply.
    static constexpr std::size_t kMaxObjectLength = 244;
    // Largest report server id data (id bytes, run indicator, additional data).
    static constexpr std::size_t kMaxServerIdData = 251;

    explicit PduProcessor(DataTables& tables) : tables_(tables) {}

    // request: function code followed by its data (len >= 1). reply receives the reply PDU.
    // extendedRead: function codes 3 and 4 take up to 2500 registers and answer with a
    // two-byte byte count, as an extended-address slave does.
    // textAnswer receives the raw text a device sends right behind this reply ("" if none).
    // fault: the faults in the reply data (EndlessIdChain, OversizeObject, LyingFileRecord,
    // FifoOverflow) act here; every other kind is the transport's and is ignored.
    void process(const std::uint8_t* request, std::size_t len, std::vector<std::uint8_t>& reply,
                 std::string& textAnswer, bool extendedRead = false, const Fault& fault = Fault{});

    // Whether the request (function code and data) changes the device: the writes (5, 6, 15,
    // 16, 21, 22, 23) and restart communications (diagnostics 1, which clears the event log).
    static bool writes(const std::uint8_t* request, std::size_t len);

    const std::string& lastTextCommand() const { return lastTextCommand_; }

private:
    void readBits(const std::vector<std::uint8_t>& table, const std::uint8_t* d, std::size_t n,
                  std::vector<std::uint8_t>& reply);
    void readRegisters(const std::vector<std::uint16_t>& table, const std::uint8_t* d,
                       std::size_t n, std::vector<std::uint8_t>& reply, std::string& textAnswer,
                       bool extendedRead);
    void writeCoil(const std::uint8_t* d, std::size_t n, std::vector<std::uint8_t>& reply);
    void writeRegister(const std::uint8_t* d, std::size_t n, std::vector<std::uint8_t>& reply);
    void diagnostics(const std::uint8_t* d, std::size_t n, std::vector<std::uint8_t>& reply);
    void writeCoils(const std::uint8_t* d, std::size_t n, std::vector<std::uint8_t>& reply);
    void writeRegisters(const std::uint8_t* d, std::size_t n, std::vector<std::uint8_t>& reply);
    void maskWrite(const std::uint8_t* d, std::size_t n, std::vector<std::uint8_t>& reply);
    void readWriteRegisters(const std::uint8_t* d, std::size_t n,
                            std::vector<std::uint8_t>& reply);
    void deviceIdentification(const std::uint8_t* d, std::size_t n, std::vector<std::uint8_t>& reply,
                              const Fault& fault);
    void reportServerId(std::size_t n, std::vector<std::uint8_t>& reply);
    void readFileRecord(const std::uint8_t* d, std::size_t n, std::vector<std::uint8_t>& reply,
                        const Fault& fault);
    void writeFileRecord(const std::uint8_t* d, std::size_t n, std::vector<std::uint8_t>& reply);
    void readFifo(const std::uint8_t* d, std::size_t n, std::vector<std::uint8_t>& reply, const Fault& fault);
    void storeTextCommand(const std::uint8_t* text, std::size_t n);

    DataTables& tables_;
    std::string lastTextCommand_;
    std::string pendingTextAnswer_;
};

} // namespace sim
