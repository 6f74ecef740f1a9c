#include "protocol/fifo_queue.h"

#include <cstring>

#include "codec/wire_format.h"
#include "mbus.h"

namespace mbus {

int buildReadFifoRequest(long wireAddr, unsigned char request[kFifoRequestLength])
{
    if (wireAddr < 0 || wireAddr > 0xFFFF || request == nullptr)
        return MBUS_ILLEGAL_ARGUMENT;
    putU16(request, static_cast<unsigned>(wireAddr));
    return MBUS_SUCCESS;
}

int parseReadFifoReply(const unsigned char reply[], int replyLen, std::uint16_t values[], int valueCap,
                       int *valueCnt)
{
    if (valueCnt == nullptr || valueCap < 0 || (valueCap > 0 && values == nullptr))
        return MBUS_ILLEGAL_ARGUMENT;
    *valueCnt = 0;
    if (valueCap > 0)
        std::memset(values, 0, sizeof(std::uint16_t) * static_cast<unsigned>(valueCap));
    if (reply == nullptr || replyLen < 4)
        return MBUS_INVALID_REPLY_ERROR;
    const int byteCount = static_cast<int>(getU16(reply));
    const int count = static_cast<int>(getU16(reply + 2));
    if (byteCount != replyLen - 2 || count > kMaxFifoCount || byteCount != 2 + 2 * count)
        return MBUS_INVALID_REPLY_ERROR;
    if (count > valueCap)
        return MBUS_ILLEGAL_ARGUMENT;
    for (int i = 0; i < count; ++i)
        values[i] = static_cast<std::uint16_t>(getU16(reply + 4 + 2 * i));
    *valueCnt = count;
    return MBUS_SUCCESS;
}

} // namespace mbus
