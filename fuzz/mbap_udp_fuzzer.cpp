// Modbus/UDP reply datagrams through the UDP master's transaction and data-access code.
#include <cstddef>
#include <cstdint>

#include "fuzz/session.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    runSession(MasterKind::Udp, data, size);
    return 0;
}
