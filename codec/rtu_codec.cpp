#include "codec/rtu_codec.h"

#include "codec/reply_length.h"
#include "mbus.h"

namespace mbus {

int RtuCodec::checkLengths(int slaveAddr, int requestLen, int replyLen) const
{
    // The frame buffer holds at most 252 data bytes each way.
    return (slaveAddr < 0 || slaveAddr > 255 || requestLen > kRtuMaxData || replyLen > kRtuMaxData)
               ? MBUS_ILLEGAL_ARGUMENT
               : MBUS_SUCCESS;
}

int RtuCodec::buildRequest(int slaveAddr, int functionCode, const unsigned char *data, int dataLen)
{
    requestFunction = functionCode;
    return buildRtuFrame(rtuFrame, slaveAddr, functionCode, data, dataLen);
}

int RtuCodec::moreToRead(int arrived, int replyLen, int *more)
{
    int length = rtuReplyFrameLength(rtuFrame[1], replyLen);
    if (rtuFrame[1] == requestFunction && isAnnouncedReply(requestFunction)) {
        length = announcedFrameLength(requestFunction, rtuFrame + 2, arrived - 2, 2, 2, kRtuMaxData);
        if (length < 0)
            return MBUS_INVALID_FRAME_ERROR;
    }
    *more = length - arrived;
    if (*more < 0)
        *more = 0;
    return MBUS_SUCCESS;
}

int RtuCodec::checkReply(int frameLen, int slaveAddr, int functionCode, const unsigned char **data, int *dataLen)
{
    int checked = checkRtuReply(rtuFrame, frameLen, slaveAddr, functionCode);
    if (checked != MBUS_SUCCESS)
        return checked;
    *data = rtuFrame + 2;
    *dataLen = frameLen - 4;
    return MBUS_SUCCESS;
}

} // namespace mbus
