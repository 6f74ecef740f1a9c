// Everything a Modbus device serves: the four data tables, the exception-status byte, its
// identification, its files and its FIFO queues.
#pragma once

#include <cstdint>
#include <map>
#include <vector>

namespace sim {

using ByteString = std::vector<std::uint8_t>;

// Wire addresses 0..65535 index every table directly.
struct DataTables {
    static constexpr std::size_t kSize = 65536;
    // Records per file: record numbers 0..9999.
    static constexpr std::size_t kFileRecords = 10000;

    std::vector<std::uint8_t> coils = std::vector<std::uint8_t>(kSize, 0);
    std::vector<std::uint8_t> discreteInputs = std::vector<std::uint8_t>(kSize, 0);
    std::vector<std::uint16_t> holdingRegisters = std::vector<std::uint16_t>(kSize, 0);
    std::vector<std::uint16_t> inputRegisters = std::vector<std::uint16_t>(kSize, 0);
    std::uint8_t exceptionStatus = 0;

    // Device identification objects by object id (0..2 basic, 3..0x7F regular, 0x80.. extended).
    std::map<std::uint8_t, ByteString> deviceObjects;
    // Report server id: the id bytes, the run indicator (0x00 off, 0xFF on), additional data.
    ByteString serverId{0x5A};
    std::uint8_t runIndicator = 0xFF;
    ByteString serverIdExtra;
    // Files by file number (1..65535), each kFileRecords registers; other numbers do not exist.
    std::map<std::uint16_t, std::vector<std::uint16_t>> files;
    // FIFO queues by pointer address; other addresses hold no queue.
    std::map<std::uint16_t, std::vector<std::uint16_t>> fifos;
};

} // namespace sim
