#include "codec/ascii_codec.h"

#include "mbus.h"

namespace mbus {

int AsciiCodec::checkLengths(int slaveAddr, int requestLen, int replyLen) const
{
    // 252 data bytes each way fill 513 of the frame buffer's characters.
    return (slaveAddr < 0 || slaveAddr > 255 || requestLen > kAsciiMaxData || replyLen > kAsciiMaxData)
               ? MBUS_ILLEGAL_ARGUMENT
               : MBUS_SUCCESS;
}

int AsciiCodec::buildRequest(int slaveAddr, int functionCode, const unsigned char *data, int dataLen)
{
    return buildAsciiFrame(asciiFrame, slaveAddr, functionCode, data, dataLen);
}

int AsciiCodec::moreToRead(int arrived, int replyLen, int *more)
{
    // The fourth character is the high digit of the function code: 8 and above mark an exception.
    *more = asciiReplyCharCount(asciiFrame[3], replyLen) - arrived;
    if (*more < 0)
        *more = 0;
    return MBUS_SUCCESS;
}

int AsciiCodec::checkReply(int frameLen, int slaveAddr, int functionCode, const unsigned char **data, int *dataLen)
{
    int checked = decodeAsciiReply(asciiFrame, frameLen, slaveAddr, functionCode, dataLen);
    if (checked != MBUS_SUCCESS)
        return checked;
    *data = asciiFrame + 2;
    return MBUS_SUCCESS;
}

} // namespace mbus
