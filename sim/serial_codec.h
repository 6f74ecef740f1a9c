// Request recognition and reply encoding for the RTU, ASCII and extended-address RTU frames.
#pragma once

#include "sim/fault.h"
#include "sim/serial_framing.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace sim {

struct SerialRequest {
    int address = 0;               // 0..255, or 248..2295 for an extended address
    bool extended = false;         // the request carried a two-byte address
    std::vector<std::uint8_t> pdu; // function code and data
};

class SerialCodec {
public:
    enum class Scan {
        NeedMore, // the start of the buffer may become a frame
        Frame,    // a whole, valid request frame of `used` bytes
        Garbage,  // drop `used` bytes: junk, a bad check value, an impossible frame
    };

    // Largest request frame: 256 bytes of RTU (257 with an extended address); 513 ASCII chars.
    static constexpr std::size_t kMaxRtuFrame = 257;
    static constexpr std::size_t kMaxAsciiFrame = 513;

    // Looks at the start of `buf`. RTU frames have no delimiter, so their length follows from
    // the function code; codes without a fixed layout (8 among them) count as a frame when the
    // whole buffer carries a valid CRC.
    static Scan scan(SerialFraming framing, const std::uint8_t* buf, std::size_t len,
                     std::size_t& used, SerialRequest& request);

    // The reply frame for `pdu` (function code and data) from `address`, with the frame faults
    // of `fault` applied: BadChecksum, LowerCaseHex, WrongUnitId, UnitIdZero, WrongFunctionCode.
    static std::vector<std::uint8_t> encodeReply(SerialFraming framing, const SerialRequest& request,
                                                 std::vector<std::uint8_t> pdu, const Fault& fault);

private:
    static Scan scanRtu(bool extendedAllowed, const std::uint8_t* buf, std::size_t len,
                        std::size_t& used, SerialRequest& request);
    static Scan scanAscii(const std::uint8_t* buf, std::size_t len, std::size_t& used,
                          SerialRequest& request);
};

} // namespace sim
