// RTU reply frames, on a serial line and over TCP, through the RTU masters.
#include <cstddef>
#include <cstdint>

#include "fuzz/session.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // The first byte picks the carrier: a serial line or a TCP connection.
    if (size == 0)
        return 0;
    runSession((data[0] & 1) ? MasterKind::RtuOverTcp : MasterKind::Rtu, data + 1, size - 1);
    return 0;
}
