#include "codec/mbap_codec.h"

#include <cstring>

#include "codec/exception_result.h"
#include "codec/wire_format.h"
#include "mbus.h"

namespace mbus {

namespace {
constexpr int kHeadSize = 9; // MBAP header, function code and one more byte
constexpr int kMaxData = 252;
constexpr unsigned char kExceptionFlag = 0x80;
} // namespace

int MbapCodec::checkLengths(int slaveAddr, int requestLen, int) const
{
    return (slaveAddr < 0 || slaveAddr > 255 || requestLen > kMaxData) ? MBUS_ILLEGAL_ARGUMENT : MBUS_SUCCESS;
}

int MbapCodec::buildRequest(int slaveAddr, int functionCode, const unsigned char *data, int dataLen)
{
    ++transactionId; // wraps from 65535 to 0
    putU16(frameBuffer, transactionId);
    putU16(frameBuffer + 2, 0);
    putU16(frameBuffer + 4, static_cast<unsigned>(dataLen + 2));
    frameBuffer[6] = static_cast<unsigned char>(slaveAddr);
    frameBuffer[7] = static_cast<unsigned char>(functionCode);
    if (dataLen > 0)
        std::memmove(frameBuffer + 8, data, static_cast<std::size_t>(dataLen));
    return dataLen + 8;
}

int MbapCodec::firstReadSize() const
{
    return carrier == Carrier::Stream ? kHeadSize : kFrameSize;
}

int MbapCodec::checkIdentifiers() const
{
    if (frameBuffer[2] != 0 || frameBuffer[3] != 0)
        return MBUS_INVALID_MBAP_ID;
    const bool sameId = getU16(frameBuffer) == transactionId;
    // A datagram identifier with a zero byte is accepted whatever its value.
    if (!sameId && (carrier == Carrier::Stream || (frameBuffer[0] != 0 && frameBuffer[1] != 0)))
        return MBUS_INVALID_MBAP_ID;
    return MBUS_SUCCESS;
}

int MbapCodec::moreToRead(int arrived, int, int *more)
{
    *more = 0;
    if (carrier == Carrier::Datagram || arrived > kHeadSize)
        return MBUS_SUCCESS;
    // A mismatching reply is not read further; the next transaction's drain drops the rest.
    int checked = checkIdentifiers();
    if (checked != MBUS_SUCCESS)
        return checked;
    if (frameBuffer[7] & kExceptionFlag)
        return MBUS_SUCCESS;
    int rest = static_cast<int>(getU16(frameBuffer + 4)) - 3;
    // A length field announcing more than one frame would overrun the frame buffer.
    if (kHeadSize + rest > kFrameSize)
        return MBUS_INVALID_REPLY_ERROR;
    *more = rest > 0 ? rest : 0;
    return MBUS_SUCCESS;
}

int MbapCodec::checkReply(int frameLen, int slaveAddr, int functionCode, const unsigned char **data, int *dataLen)
{
    if (carrier == Carrier::Datagram) {
        if (frameLen < kHeadSize)
            return MBUS_INVALID_REPLY_ERROR;
        int checked = checkIdentifiers();
        if (checked != MBUS_SUCCESS)
            return checked;
    }
    const unsigned char replyFunction = frameBuffer[7];
    if ((replyFunction & ~kExceptionFlag) != functionCode)
        return MBUS_INVALID_FRAME_ERROR;
    // A unit identifier of 0 in a reply is accepted for every request.
    if (frameBuffer[6] != slaveAddr && frameBuffer[6] != 0)
        return MBUS_INVALID_FRAME_ERROR;
    if (replyFunction & kExceptionFlag)
        return exceptionResult(frameBuffer[8]);
    // Like the identifier, a datagram's length field with a zero byte is not compared.
    if (carrier == Carrier::Datagram && getU16(frameBuffer + 4) != static_cast<unsigned>(frameLen - 6) &&
        frameBuffer[4] != 0 && frameBuffer[5] != 0)
        return MBUS_INVALID_REPLY_ERROR;
    *data = frameBuffer + 8;
    *dataLen = frameLen - 8;
    return MBUS_SUCCESS;
}

} // namespace mbus
