// The reply checks of every data-access function (byte counts, echoes, values) on every master.
#include <cstddef>
#include <cstdint>

#include "fuzz/session.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // Every reply is a well-framed PDU, so the input goes straight to the byte-count and echo
    // checks of each function code; the first byte picks the master.
    if (size == 0)
        return 0;
    static const MasterKind kKinds[] = {MasterKind::Tcp, MasterKind::Udp, MasterKind::RtuOverTcp,
                                        MasterKind::AsciiOverTcp, MasterKind::Rtu, MasterKind::Ascii,
                                        MasterKind::Elam, MasterKind::Tcp};
    runSession(kKinds[data[0] & 7], data + 1, size - 1, true);
    return 0;
}
