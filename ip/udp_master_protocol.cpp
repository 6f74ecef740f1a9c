#include "ip/udp_master_protocol.h"

#include <cstring>

#include "protocol/wire_format.h"

namespace {
constexpr int kMinReply = 9; // MBAP header, function code and one byte
} // namespace

int MbusUdpMasterProtocol::openSocket()
{
    closeConnection();
    socketHandle = net::openDatagram();
    if (socketHandle == net::kInvalidSocket)
        return MBUS_OPEN_ERROR;
    if (!net::setNonBlocking(socketHandle)) {
        closeConnection();
        return MBUS_OPEN_ERROR;
    }
    net::setDatagramOptions(socketHandle, kFrameSize);
    return MBUS_SUCCESS;
}

int MbusUdpMasterProtocol::transact(int slaveAddr, int functionCode, const unsigned char *requestData,
                                   int requestLen, unsigned char *replyData, int replyLen, int *receivedLen)
{
    int retriesLeft = retryCnt;
    if (!isOpen())
        return MBUS_ILLEGAL_STATE;
    int result = transactOnce(slaveAddr, functionCode, requestData, requestLen, replyData, replyLen, receivedLen);
    while (result == MBUS_REPLY_TIMEOUT && retriesLeft > 0) {
        --retriesLeft;
        result = transactOnce(slaveAddr, functionCode, requestData, requestLen, replyData, replyLen, receivedLen);
    }
    return result;
}

int MbusUdpMasterProtocol::transactOnce(int slaveAddr, int functionCode, const unsigned char *requestData,
                                       int requestLen, unsigned char *replyData, int replyLen, int *receivedLen)
{
    ++totalCounter;
    if (receivedLen)
        *receivedLen = 0;
    if (requestLen < 0 || requestLen > kMaxPduData || (requestLen > 0 && requestData == nullptr))
        return MBUS_ILLEGAL_ARGUMENT;

    // Datagrams of earlier, timed-out requests are dropped; a failing receive just ends the drain.
    while (net::receiveDatagram(socketHandle, frameBuffer, sizeof frameBuffer) > 0) {
    }

    const std::size_t frameLength =
        static_cast<std::size_t>(buildMbapRequest(slaveAddr, functionCode, requestData, requestLen));

    waitOutPollDelay();

    long sent = net::sendDatagram(socketHandle, frameBuffer, frameLength, serverAddress);
    if (sent == net::kWouldBlock) {
        net::WaitResult wait = net::waitWritable(socketHandle, timeOut);
        if (wait == net::WaitResult::TimedOut)
            return MBUS_SEND_TIMEOUT;
        if (wait == net::WaitResult::Failed)
            return MBUS_IO_ERROR;
        sent = net::sendDatagram(socketHandle, frameBuffer, frameLength, serverAddress);
        if (sent == net::kWouldBlock)
            return MBUS_SEND_TIMEOUT;
    }
    if (sent < 0)
        return MBUS_IO_ERROR;
    if (static_cast<std::size_t>(sent) != frameLength)
        return MBUS_SEND_TIMEOUT;

    net::WaitResult wait = net::waitReadable(socketHandle, timeOut);
    if (wait == net::WaitResult::TimedOut)
        return MBUS_REPLY_TIMEOUT;
    long got = wait == net::WaitResult::Ready ? net::receiveDatagram(socketHandle, frameBuffer, sizeof frameBuffer)
                                              : net::kFailed;
    if (got == net::kWouldBlock) // readable but gone: nothing arrived after all
        return MBUS_REPLY_TIMEOUT;
    if (got <= 0)
        return (got < 0 && net::lastFailureWasReset()) ? MBUS_TCP_CONNECTION_ERROR : MBUS_IO_ERROR;

    if (got < kMinReply)
        return MBUS_INVALID_REPLY_ERROR;
    if (frameBuffer[2] != 0 || frameBuffer[3] != 0)
        return MBUS_INVALID_MBAP_ID;
    // Identifiers with a zero byte are accepted whatever their value, for devices that keep
    // only one byte of it.
    if (getU16(frameBuffer) != transactionId && frameBuffer[0] != 0 && frameBuffer[1] != 0)
        return MBUS_INVALID_MBAP_ID;
    int checked = checkMbapReply(slaveAddr, functionCode);
    if (checked != MBUS_SUCCESS)
        return checked;
    // Likewise a length field with a zero byte is not compared.
    if (getU16(frameBuffer + 4) != static_cast<unsigned>(got - 6) && frameBuffer[4] != 0 && frameBuffer[5] != 0)
        return MBUS_INVALID_REPLY_ERROR;

    return deliverReply(frameBuffer + 8, static_cast<int>(got) - 8, replyData, replyLen, receivedLen);
}
