// The frame formats a device can speak over a byte stream (serial line or TCP).
#pragma once

namespace sim {

enum class SerialFraming {
    Rtu,          // address, function code, data, CRC-16 (low byte first)
    Ascii,        // ':' then upper-case hex of address, code, data, LRC, then CR LF
    ExtendedRtu,  // RTU; slaves 248..2295 carry a two-byte address 0xF8 + x/256, x%256
                  // (x = slave - 248) and read up to 2500 registers with a two-byte byte count
};

} // namespace sim
