// Modbus/TCP replies (MBAP over a stream) through the TCP master's transaction and data-access code.
#include <cstddef>
#include <cstdint>

#include "fuzz/session.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    runSession(MasterKind::Tcp, data, size);
    return 0;
}
