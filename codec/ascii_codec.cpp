#include "codec/ascii_codec.h"

#include "codec/hex_digits.h"
#include "codec/reply_length.h"
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
    requestFunction = functionCode;
    return buildAsciiFrame(asciiFrame, slaveAddr, functionCode, data, dataLen);
}

int AsciiCodec::moreToRead(int arrived, int replyLen, int *more)
{
    // The fourth character is the high digit of the function code: 8 and above mark an exception.
    int length = asciiReplyCharCount(asciiFrame[3], replyLen);
    if (isAnnouncedReply(requestFunction) &&
        hexPairToByte(static_cast<char>(asciiFrame[3]), static_cast<char>(asciiFrame[4])) == requestFunction) {
        length = announcedCharCount(arrived);
        if (length < 0)
            return MBUS_INVALID_FRAME_ERROR;
    }
    *more = length - arrived;
    if (*more < 0)
        *more = 0;
    return MBUS_SUCCESS;
}

int AsciiCodec::announcedCharCount(int arrived) const
{
    // ':', address and function code take five characters; data byte k is the pair at 5 + 2k.
    unsigned char data[kAsciiMaxData];
    int have = 0;
    while (have < kAsciiMaxData && 5 + 2 * have + 1 < arrived) {
        const int value =
            hexPairToByte(static_cast<char>(asciiFrame[5 + 2 * have]), static_cast<char>(asciiFrame[6 + 2 * have]));
        if (value < 0)
            break; // the LRC's closing characters, or a fault that the reply check will name
        data[have++] = static_cast<unsigned char>(value);
    }
    const ReplyLengthHint hint = announcedReplyLength(requestFunction, data, have);
    if (hint.length > kAsciiMaxData)
        return -1;
    // Then the LRC pair and CR LF.
    return 5 + 2 * hint.length + (hint.complete ? 4 : 0);
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
