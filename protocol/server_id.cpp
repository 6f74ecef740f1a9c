#include "protocol/server_id.h"

#include <cstring>

#include "mbus.h"

namespace mbus {

int parseServerIdReply(const unsigned char reply[], int replyLen, int idLen, unsigned char id[], int idCap,
                       unsigned char rest[], int restCap, ServerIdReply *out)
{
    if (out == nullptr || idLen < kServerIdToRunIndicator || idCap < 0 || restCap < 0 ||
        (idCap > 0 && id == nullptr) || (restCap > 0 && rest == nullptr))
        return MBUS_ILLEGAL_ARGUMENT;
    *out = ServerIdReply{0, 0, 0};
    if (idCap > 0)
        std::memset(id, 0, static_cast<unsigned>(idCap));
    if (restCap > 0)
        std::memset(rest, 0, static_cast<unsigned>(restCap));
    if (reply == nullptr || replyLen < 1 || reply[0] != replyLen - 1)
        return MBUS_INVALID_REPLY_ERROR;
    const int byteCount = reply[0];
    const int length = idLen == kServerIdToRunIndicator ? byteCount - 1 : idLen;
    if (length < 0 || byteCount < length + 1)
        return MBUS_INVALID_REPLY_ERROR;
    const int run = reply[1 + length];
    if (run != 0x00 && run != 0xFF)
        return MBUS_INVALID_REPLY_ERROR;
    const int restLen = byteCount - length - 1;
    if (length > idCap || restLen > restCap)
        return MBUS_ILLEGAL_ARGUMENT;
    if (length > 0)
        std::memcpy(id, reply + 1, static_cast<unsigned>(length));
    if (restLen > 0)
        std::memcpy(rest, reply + 2 + length, static_cast<unsigned>(restLen));
    *out = ServerIdReply{length, run, restLen};
    return MBUS_SUCCESS;
}

} // namespace mbus
