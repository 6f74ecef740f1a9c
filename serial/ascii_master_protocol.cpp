#include "serial/ascii_master_protocol.h"

MbusAsciiMasterProtocol::~MbusAsciiMasterProtocol() = default;

int MbusAsciiMasterProtocol::transactOnce(int slaveAddr, int functionCode, const unsigned char *requestData,
                                          int requestLen, unsigned char *replyData, int replyLen, int *receivedLen)
{
    if (receivedLen != nullptr)
        *receivedLen = 0;
    // 252 data bytes each way fill 513 of the frame buffer's characters; longer lengths are
    // refused, not written past its end.
    if (slaveAddr < 0 || slaveAddr > 255 || requestLen < 0 || requestLen > kAsciiMaxData ||
        (requestLen > 0 && requestData == nullptr) || replyLen > kAsciiMaxData ||
        (replyLen > 0 && replyData == nullptr))
        return MBUS_ILLEGAL_ARGUMENT;
    if (!isOpen())
        return MBUS_ILLEGAL_STATE;

    ++totalCounter;
    int frameLen = buildAsciiFrame(asciiFrame, slaveAddr, functionCode, requestData, requestLen);
    // No line-silence test in ASCII: frames are delimited by characters, not by pauses.
    int result = sendRequest(asciiFrame, frameLen, 0);
    if (result != MBUS_SUCCESS)
        return result;
    if (!expectsReply(slaveAddr, replyLen)) {
        ++successCounter;
        return MBUS_SUCCESS;
    }

    result = receiveBytes(asciiFrame, kAsciiExceptionFrame);
    if (result != MBUS_SUCCESS)
        return result;
    int charCount = asciiReplyCharCount(asciiFrame[3], replyLen);
    if (charCount > kAsciiExceptionFrame) {
        result = receiveBytes(asciiFrame + kAsciiExceptionFrame, charCount - kAsciiExceptionFrame);
        if (result != MBUS_SUCCESS)
            return result;
    }
    int dataLen = 0;
    result = decodeAsciiReply(asciiFrame, charCount, slaveAddr, functionCode, &dataLen);
    if (result != MBUS_SUCCESS)
        return result;
    return deliverReply(asciiFrame + 2, dataLen, replyData, replyLen, receivedLen);
}
