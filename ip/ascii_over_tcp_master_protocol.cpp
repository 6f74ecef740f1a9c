#include "ip/ascii_over_tcp_master_protocol.h"

#include <cstring>

MbusAsciiOverTcpMasterProtocol::MbusAsciiOverTcpMasterProtocol()
{
    portNumber = kDefaultAsciiPort;
}

int MbusAsciiOverTcpMasterProtocol::transactOnce(int slaveAddr, int functionCode, const unsigned char *requestData,
                                                 int requestLen, unsigned char *replyData, int replyLen,
                                                 int *receivedLen)
{
    ++totalCounter;
    if (receivedLen)
        *receivedLen = 0;
    // Both lengths bound what is built in and read into asciiFrame.
    if (requestLen < 0 || requestLen > kAsciiMaxData || replyLen > kAsciiMaxData ||
        (requestLen > 0 && requestData == nullptr))
        return MBUS_ILLEGAL_ARGUMENT;
    if (discardPendingInput() != 0)
        return MBUS_CONNECTION_CLOSED;

    int frameLength = buildAsciiFrame(asciiFrame, slaveAddr, functionCode, requestData, requestLen);
    waitOutPollDelay();

    int sent = sendBytes(asciiFrame, frameLength);
    if (sent == 0)
        return MBUS_SEND_TIMEOUT;
    if (sent < 0)
        return MBUS_CONNECTION_CLOSED;

    int got = receiveBytes(asciiFrame, kAsciiExceptionFrame, false);
    if (got == 0)
        return MBUS_REPLY_TIMEOUT;
    if (got < 0)
        return MBUS_CONNECTION_CLOSED;
    // The fourth character is the high digit of the function code: 8 and above mark an exception.
    int charCount = asciiReplyCharCount(asciiFrame[3], replyLen);
    if (charCount > kAsciiExceptionFrame) {
        got = receiveBytes(asciiFrame + kAsciiExceptionFrame, charCount - kAsciiExceptionFrame, true);
        if (got == 0)
            return MBUS_REPLY_TIMEOUT;
        if (got < 0)
            return MBUS_CONNECTION_CLOSED;
    }

    int dataLen = 0;
    int checked = decodeAsciiReply(asciiFrame, charCount, slaveAddr, functionCode, &dataLen);
    if (checked != MBUS_SUCCESS)
        return checked;
    return deliverReply(asciiFrame + 2, dataLen, replyData, replyLen, receivedLen);
}
