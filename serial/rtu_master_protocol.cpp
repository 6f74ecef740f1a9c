#include "serial/rtu_master_protocol.h"

MbusRtuMasterProtocol::~MbusRtuMasterProtocol() = default;

int MbusRtuMasterProtocol::openSerialPort(const char *portName, int baudRate, int dataBits, int stopBits,
                                          int parity)
{
    int interval = rtuSilenceIntervalMs(baudRate);
    if (interval < 0)
        return MBUS_ILLEGAL_ARGUMENT;
    // Kept even when the open below fails.
    silenceInterval = interval;
    // Tested before the open state: an open master asked for 7 data bits also gets 1.
    if (dataBits != 8)
        return MBUS_ILLEGAL_ARGUMENT;
    return MbusSerialClientBase::openSerialPort(portName, baudRate, dataBits, stopBits, parity);
}

int MbusRtuMasterProtocol::transactOnce(int slaveAddr, int functionCode, const unsigned char *requestData,
                                        int requestLen, unsigned char *replyData, int replyLen, int *receivedLen)
{
    if (receivedLen != nullptr)
        *receivedLen = 0;
    // The frame buffer holds at most 252 data bytes each way; longer lengths are refused, not
    // written past its end.
    if (slaveAddr < 0 || slaveAddr > 255 || requestLen < 0 || requestLen > kRtuMaxData ||
        (requestLen > 0 && requestData == nullptr) || replyLen > kRtuMaxData || (replyLen > 0 && replyData == nullptr))
        return MBUS_ILLEGAL_ARGUMENT;
    if (!isOpen())
        return MBUS_ILLEGAL_STATE;

    ++totalCounter;
    int frameLen = buildRtuFrame(rtuFrame, slaveAddr, functionCode, requestData, requestLen);
    int result = sendRequest(rtuFrame, frameLen, silenceInterval);
    if (result != MBUS_SUCCESS)
        return result;
    if (!expectsReply(slaveAddr, replyLen)) {
        ++successCounter;
        return MBUS_SUCCESS;
    }

    // The reply is found by its expected length; its first five bytes tell an exception apart.
    result = receiveBytes(rtuFrame, kRtuExceptionFrame);
    if (result != MBUS_SUCCESS)
        return result;
    int replyFrameLen = rtuReplyFrameLength(rtuFrame[1], replyLen);
    if (replyFrameLen > kRtuExceptionFrame) {
        result = receiveBytes(rtuFrame + kRtuExceptionFrame, replyFrameLen - kRtuExceptionFrame);
        if (result != MBUS_SUCCESS)
            return result;
    }
    result = checkRtuReply(rtuFrame, replyFrameLen, slaveAddr, functionCode);
    if (result != MBUS_SUCCESS)
        return result;
    return deliverReply(rtuFrame + 2, replyFrameLen - 4, replyData, replyLen, receivedLen);
}
