// Extended-address RTU reply frames (and plain RTU ones for slaves below 248) through the ELAM master.
#include <cstddef>
#include <cstdint>

#include "fuzz/session.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    runSession(MasterKind::Elam, data, size);
    return 0;
}
