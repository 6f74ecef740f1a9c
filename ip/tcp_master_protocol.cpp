#include "ip/tcp_master_protocol.h"

#include <cstring>

#include "protocol/wire_format.h"

namespace {
constexpr int kReplyHeadSize = 9; // MBAP header, function code and one more byte
constexpr unsigned char kExceptionFlag = 0x80;
constexpr int kAsciiCommandRegister = 9999; // 0x270F on the wire
constexpr int kMaxAsciiCommand = 255;
constexpr int kMaxAsciiText = 246; // what 123 registers hold

bool retriedWithReconnect(int result)
{
    return result == MBUS_INVALID_FRAME_ERROR || result == MBUS_INVALID_REPLY_ERROR;
}
} // namespace

MbusTcpMasterProtocol::MbusTcpMasterProtocol()
{
    socketHandle = net::kInvalidSocket;
    portNumber = kDefaultPort;
    transactionId = 0;
    net::startup();
}

MbusTcpMasterProtocol::~MbusTcpMasterProtocol()
{
    MbusIpClientBase::closeConnection();
    net::cleanup();
}

int MbusTcpMasterProtocol::openSocket()
{
    reconnectPending = 0;
    closeConnection();

    socketHandle = net::openStream();
    if (socketHandle == net::kInvalidSocket)
        return MBUS_OPEN_ERROR;
    if (!net::setNonBlocking(socketHandle)) {
        closeConnection();
        return MBUS_OPEN_ERROR;
    }
    net::ConnectResult started = net::startConnect(socketHandle, serverAddress);
    if (started == net::ConnectResult::Failed) {
        closeConnection();
        return MBUS_TCP_CONNECTION_ERROR;
    }
    if (started == net::ConnectResult::InProgress) {
        net::WaitResult wait = net::waitWritable(socketHandle, timeOut);
        if (wait != net::WaitResult::Ready) {
            closeConnection();
            return wait == net::WaitResult::TimedOut ? MBUS_TCP_CONNECTION_ERROR : MBUS_IO_ERROR;
        }
    }
    if (net::pendingError(socketHandle) != 0) {
        closeConnection();
        return MBUS_TCP_CONNECTION_ERROR;
    }
    net::setStreamOptions(socketHandle, kFrameSize);
    return MBUS_SUCCESS;
}

int MbusTcpMasterProtocol::reconnect()
{
    closeConnection();
    return openSocket();
}

int MbusTcpMasterProtocol::transact(int slaveAddr, int functionCode, const unsigned char *requestData,
                                    int requestLen, unsigned char *replyData, int replyLen, int *receivedLen)
{
    int retriesLeft = retryCnt;
    if (!isOpen())
        return MBUS_ILLEGAL_STATE;
    if (reconnectPending) {
        int opened = reconnect();
        if (opened != MBUS_SUCCESS)
            return opened;
    }
    for (;;) {
        int result = transactOnce(slaveAddr, functionCode, requestData, requestLen, replyData, replyLen, receivedLen);
        if (retriedWithReconnect(result)) {
            int opened = reconnect();
            if (opened != MBUS_SUCCESS)
                return opened;
        } else if (result == MBUS_REPLY_TIMEOUT) {
            // A final time-out leaves the socket alone and rebuilds it before the next transaction.
            if (retriesLeft == 0) {
                reconnectPending = 1;
                return result;
            }
            int opened = reconnect();
            if (opened != MBUS_SUCCESS)
                return opened;
        } else {
            return result;
        }
        if (retriesLeft == 0)
            return result;
        --retriesLeft;
    }
}

int MbusTcpMasterProtocol::transactOnce(int slaveAddr, int functionCode, const unsigned char *requestData,
                                        int requestLen, unsigned char *replyData, int replyLen, int *receivedLen)
{
    ++totalCounter;
    if (receivedLen)
        *receivedLen = 0;
    if (requestLen < 0 || requestLen > kMaxPduData || (requestLen > 0 && requestData == nullptr))
        return MBUS_ILLEGAL_ARGUMENT;

    if (discardPendingInput() != 0)
        return MBUS_CONNECTION_CLOSED;

    const int frameLength = buildMbapRequest(slaveAddr, functionCode, requestData, requestLen);

    waitOutPollDelay();

    int sent = sendBytes(frameBuffer, frameLength);
    if (sent == 0)
        return MBUS_SEND_TIMEOUT;
    if (sent < 0)
        return MBUS_CONNECTION_CLOSED;

    int got = receiveBytes(frameBuffer, kReplyHeadSize, false);
    if (got == 0)
        return MBUS_REPLY_TIMEOUT;
    if (got < 0)
        return MBUS_CONNECTION_CLOSED;
    // A mismatching reply is not read further; the next transaction's drain drops the rest.
    if (frameBuffer[2] != 0 || frameBuffer[3] != 0 || getU16(frameBuffer) != transactionId)
        return MBUS_INVALID_MBAP_ID;

    const unsigned char replyFunction = frameBuffer[7];
    int replyLength = kReplyHeadSize;
    if ((replyFunction & kExceptionFlag) == 0) {
        int rest = static_cast<int>(getU16(frameBuffer + 4)) - 3;
        // A length field announcing more than one frame would overrun frameBuffer.
        if (kReplyHeadSize + rest > kFrameSize)
            return MBUS_INVALID_REPLY_ERROR;
        if (rest > 0) {
            got = receiveBytes(frameBuffer + kReplyHeadSize, rest, true);
            if (got == 0)
                return MBUS_REPLY_TIMEOUT;
            if (got < 0)
                return MBUS_CONNECTION_CLOSED;
            replyLength += rest;
        }
    }

    int checked = checkMbapReply(slaveAddr, functionCode);
    if (checked != MBUS_SUCCESS)
        return checked;

    return deliverReply(frameBuffer + 8, replyLength - 8, replyData, replyLen, receivedLen);
}

int MbusTcpMasterProtocol::discardPendingInput()
{
    for (;;) {
        long got = net::receiveBytes(socketHandle, frameBuffer, sizeof frameBuffer);
        if (got == net::kWouldBlock)
            return 0;
        if (got <= 0)
            return -1; // the peer closed, or the receive failed
    }
}

int MbusTcpMasterProtocol::receiveBytes(unsigned char *buffer, int count)
{
    return receiveBytes(buffer, count, false);
}

int MbusTcpMasterProtocol::receiveBytes(unsigned char *buffer, int count, bool tryBeforeWaiting)
{
    if (count <= 0)
        return 0;
    int got = 0;
    bool mayTry = tryBeforeWaiting;
    while (got < count) {
        if (!mayTry) {
            net::WaitResult wait = net::waitReadable(socketHandle, timeOut);
            if (wait == net::WaitResult::TimedOut)
                return 0;
            if (wait == net::WaitResult::Failed)
                return -1;
        }
        long chunk = net::receiveBytes(socketHandle, buffer + got, static_cast<std::size_t>(count - got));
        if (chunk == net::kWouldBlock) {
            mayTry = false;
            continue;
        }
        if (chunk <= 0)
            return -1;
        got += static_cast<int>(chunk);
        mayTry = true; // more of a reply is usually on its way in the same segment
    }
    return got;
}

int MbusTcpMasterProtocol::sendBytes(const unsigned char *buffer, int count)
{
    // A connected socket with free buffer space is writable: try first, wait only when full.
    long sent = net::sendBytes(socketHandle, buffer, static_cast<std::size_t>(count));
    if (sent == net::kWouldBlock) {
        net::WaitResult wait = net::waitWritable(socketHandle, timeOut);
        if (wait == net::WaitResult::TimedOut)
            return 0;
        if (wait == net::WaitResult::Failed)
            return -1;
        sent = net::sendBytes(socketHandle, buffer, static_cast<std::size_t>(count));
        if (sent == net::kWouldBlock)
            return 0;
    }
    if (sent < 0)
        return -1;
    return sent == count ? count : 0;
}

int MbusTcpMasterProtocol::sendAsciiCommand(const char *command, char *response)
{
    if (command == nullptr || response == nullptr)
        return MBUS_ILLEGAL_ARGUMENT;
    std::size_t length = std::strlen(command);
    if (length == 0 || length > kMaxAsciiCommand)
        return MBUS_ILLEGAL_ARGUMENT;

    // The text ends in a carriage return and is padded to whole registers.
    unsigned char request[5 + kMaxAsciiCommand + 2];
    unsigned char *text = request + 5;
    std::memcpy(text, command, length);
    if (text[length - 1] != '\r')
        text[length++] = '\r';
    if (length % 2 != 0)
        text[length++] = 0;
    // Longer texts fit neither 123 registers nor one frame.
    if (length > kMaxAsciiText)
        return MBUS_ILLEGAL_ARGUMENT;
    if (!isOpen())
        return MBUS_CONNECTION_CLOSED;

    putU16(request, kAsciiCommandRegister);
    putU16(request + 2, static_cast<unsigned>(length / 2));
    request[4] = static_cast<unsigned char>(length);
    unsigned char scratch[4];
    int result = transactOnce(1, 16, request, static_cast<int>(length) + 5, scratch, 4, nullptr);
    if (result != MBUS_SUCCESS)
        return result;
    const unsigned char readText[] = {0x27, 0x0F, 0x00, 0x28}; // 40 registers from 0x270F
    result = transactOnce(1, 3, readText, sizeof readText, scratch, 1, nullptr);
    if (result != MBUS_SUCCESS)
        return result;

    // The answer follows the reply as raw text; it is taken as far as it has arrived.
    long got = net::receiveBytes(socketHandle, response, kAsciiResponseSize - 1);
    if (got == 0)
        return MBUS_CONNECTION_CLOSED;
    if (got < 0)
        return MBUS_IO_ERROR;
    response[got] = '\0';
    if (char *end = std::strchr(response, '\r'))
        *end = '\0';
    return MBUS_SUCCESS;
}
