#include "ip/udp_master_protocol.h"

#include <cstring>

#include "protocol/exception_result.h"
#include "protocol/wire_format.h"

namespace {
constexpr int kMinReply = 9; // MBAP header, function code and one byte
constexpr unsigned char kExceptionFlag = 0x80;
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

    ++transactionId;
    putU16(frameBuffer, transactionId);
    putU16(frameBuffer + 2, 0);
    putU16(frameBuffer + 4, static_cast<unsigned>(requestLen + 2));
    frameBuffer[6] = static_cast<unsigned char>(slaveAddr);
    frameBuffer[7] = static_cast<unsigned char>(functionCode);
    if (requestLen > 0)
        std::memmove(frameBuffer + 8, requestData, static_cast<std::size_t>(requestLen));

    if (pollDelay > 0)
        pollTimer.waitUntilExpired();
    pollTimer.restart(static_cast<std::uint32_t>(pollDelay));

    const std::size_t frameLength = static_cast<std::size_t>(requestLen) + 8;
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
    const unsigned char replyFunction = frameBuffer[7];
    if ((replyFunction & ~kExceptionFlag) != functionCode)
        return MBUS_INVALID_FRAME_ERROR;
    if (frameBuffer[6] != slaveAddr && frameBuffer[6] != 0)
        return MBUS_INVALID_FRAME_ERROR;
    if (replyFunction & kExceptionFlag)
        return exceptionResult(frameBuffer[8]);
    // Likewise a length field with a zero byte is not compared.
    if (getU16(frameBuffer + 4) != static_cast<unsigned>(got - 6) && frameBuffer[4] != 0 && frameBuffer[5] != 0)
        return MBUS_INVALID_REPLY_ERROR;

    int stored = static_cast<int>(got) - 8;
    if (stored > replyLen)
        stored = replyLen > 0 ? replyLen : 0;
    if (stored > 0)
        std::memcpy(replyData, frameBuffer + 8, static_cast<std::size_t>(stored));
    if (receivedLen)
        *receivedLen = stored;
    ++successCounter;
    return MBUS_SUCCESS;
}
