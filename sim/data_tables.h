// The four data tables of a Modbus device and its exception-status byte.
#pragma once

#include <cstdint>
#include <vector>

namespace sim {

// Wire addresses 0..65535 index every table directly.
struct DataTables {
    static constexpr std::size_t kSize = 65536;

    std::vector<std::uint8_t> coils = std::vector<std::uint8_t>(kSize, 0);
    std::vector<std::uint8_t> discreteInputs = std::vector<std::uint8_t>(kSize, 0);
    std::vector<std::uint16_t> holdingRegisters = std::vector<std::uint16_t>(kSize, 0);
    std::vector<std::uint16_t> inputRegisters = std::vector<std::uint16_t>(kSize, 0);
    std::uint8_t exceptionStatus = 0;
};

} // namespace sim
