#include "ip/rtu_over_tcp_master_protocol.h"

#include <cstring>

MbusRtuOverTcpMasterProtocol::MbusRtuOverTcpMasterProtocol()
{
    portNumber = kDefaultRtuPort;
}

int MbusRtuOverTcpMasterProtocol::transactOnce(int slaveAddr, int functionCode, const unsigned char *requestData,
                                               int requestLen, unsigned char *replyData, int replyLen,
                                               int *receivedLen)
{
    ++totalCounter;
    if (receivedLen)
        *receivedLen = 0;
    // Both lengths bound what is built in and read into rtuFrame.
    if (requestLen < 0 || requestLen > kRtuMaxData || replyLen > kRtuMaxData ||
        (requestLen > 0 && requestData == nullptr))
        return MBUS_ILLEGAL_ARGUMENT;
    if (discardPendingInput() != 0)
        return MBUS_CONNECTION_CLOSED;

    int frameLength = buildRtuFrame(rtuFrame, slaveAddr, functionCode, requestData, requestLen);
    waitOutPollDelay();

    int sent = sendBytes(rtuFrame, frameLength);
    if (sent == 0)
        return MBUS_SEND_TIMEOUT;
    if (sent < 0)
        return MBUS_CONNECTION_CLOSED;

    int got = receiveBytes(rtuFrame, kRtuExceptionFrame, false);
    if (got == 0)
        return MBUS_REPLY_TIMEOUT;
    if (got < 0)
        return MBUS_CONNECTION_CLOSED;
    int replyLength = rtuReplyFrameLength(rtuFrame[1], replyLen);
    if (replyLength > kRtuExceptionFrame) {
        got = receiveBytes(rtuFrame + kRtuExceptionFrame, replyLength - kRtuExceptionFrame, true);
        if (got == 0)
            return MBUS_REPLY_TIMEOUT;
        if (got < 0)
            return MBUS_CONNECTION_CLOSED;
    }

    int checked = checkRtuReply(rtuFrame, replyLength, slaveAddr, functionCode);
    if (checked != MBUS_SUCCESS)
        return checked;
    return deliverReply(rtuFrame + 2, replyLength - 4, replyData, replyLen, receivedLen);
}
