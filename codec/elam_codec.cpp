#include "codec/elam_codec.h"

#include "codec/reply_length.h"
#include "codec/rtu_framing.h"
#include "mbus.h"

namespace mbus {

int ElamCodec::checkLengths(int slaveAddr, int requestLen, int replyLen) const
{
    const int maxData = slaveAddr < kElamFirstExtendedSlave ? kRtuMaxData : kElamMaxData;
    return (slaveAddr < 0 || slaveAddr > kElamMaxSlave || requestLen > maxData || replyLen > maxData)
               ? MBUS_ILLEGAL_ARGUMENT
               : MBUS_SUCCESS;
}

int ElamCodec::buildRequest(int slaveAddr, int functionCode, const unsigned char *data, int dataLen)
{
    extended = slaveAddr >= kElamFirstExtendedSlave;
    requestFunction = functionCode;
    return extended ? buildElamFrame(elamFrame, slaveAddr, functionCode, data, dataLen)
                    : buildRtuFrame(elamFrame, slaveAddr, functionCode, data, dataLen);
}

int ElamCodec::firstReadSize() const
{
    return extended ? kElamExceptionFrame : kRtuExceptionFrame;
}

int ElamCodec::moreToRead(int arrived, int replyLen, int *more)
{
    const int headLen = extended ? 3 : 2;
    int length = extended ? elamReplyFrameLength(elamFrame[2], replyLen) : rtuReplyFrameLength(elamFrame[1], replyLen);
    if (elamFrame[headLen - 1] == requestFunction && isAnnouncedReply(requestFunction)) {
        length = announcedFrameLength(requestFunction, elamFrame + headLen, arrived - headLen, headLen, 2,
                                      extended ? kElamMaxData : kRtuMaxData);
        if (length < 0)
            return MBUS_INVALID_FRAME_ERROR;
    }
    *more = length > arrived ? length - arrived : 0;
    return MBUS_SUCCESS;
}

int ElamCodec::checkReply(int frameLen, int slaveAddr, int functionCode, const unsigned char **data, int *dataLen)
{
    const int headLen = extended ? 3 : 2;
    int checked = extended ? checkElamReply(elamFrame, frameLen, slaveAddr, functionCode)
                           : checkRtuReply(elamFrame, frameLen, slaveAddr, functionCode);
    if (checked != MBUS_SUCCESS)
        return checked;
    *data = elamFrame + headLen;
    *dataLen = frameLen - headLen - 2;
    return MBUS_SUCCESS;
}

} // namespace mbus
