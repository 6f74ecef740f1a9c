#include "ip/ip_client_base.h"

#include <cstring>
#include <cwchar>
#include <string>

#include "protocol/exception_result.h"
#include "protocol/wire_format.h"

MbusIpClientBase::MbusIpClientBase()
{
    net::startup();
}

MbusIpClientBase::~MbusIpClientBase()
{
    MbusIpClientBase::closeConnection();
    net::cleanup();
}

int MbusIpClientBase::isOpen()
{
    return socketHandle != net::kInvalidSocket;
}

void MbusIpClientBase::closeConnection()
{
    if (socketHandle != net::kInvalidSocket) {
        net::closeSocket(socketHandle);
        socketHandle = net::kInvalidSocket;
    }
}

int MbusIpClientBase::setPort(std::uint16_t port)
{
    if (isOpen())
        return MBUS_ILLEGAL_STATE;
    portNumber = port;
    return MBUS_SUCCESS;
}

int MbusIpClientBase::openConnection(const char *hostName)
{
    if (isOpen())
        return MBUS_ILLEGAL_STATE;
    if (hostName == nullptr)
        return MBUS_ILLEGAL_ARGUMENT;
    serverAddress.port = portNumber;
    serverAddress.address = net::parseDottedAddress(hostName);
    // Text that is not a dotted address (and "255.255.255.255") goes to the name lookup.
    if (serverAddress.address == net::kNoAddress && !net::lookupHost(hostName, &serverAddress.address))
        return MBUS_TCP_CONNECTION_ERROR;
    return openSocket();
}

int MbusIpClientBase::openConnection(const wchar_t *hostName)
{
    if (hostName == nullptr)
        return MBUS_ILLEGAL_ARGUMENT;
    // Sized by the conversion itself: a wide character may need several bytes.
    std::mbstate_t state{};
    const wchar_t *source = hostName;
    std::size_t length = std::wcsrtombs(nullptr, &source, 0, &state);
    if (length == static_cast<std::size_t>(-1))
        return MBUS_TCP_CONNECTION_ERROR;
    std::string narrow(length, '\0');
    source = hostName;
    state = std::mbstate_t{};
    std::wcsrtombs(&narrow[0], &source, length, &state);
    return openConnection(narrow.c_str());
}

int MbusIpClientBase::buildMbapRequest(int slaveAddr, int functionCode, const unsigned char *requestData,
                                       int requestLen)
{
    ++transactionId; // wraps from 65535 to 0
    putU16(frameBuffer, transactionId);
    putU16(frameBuffer + 2, 0);
    putU16(frameBuffer + 4, static_cast<unsigned>(requestLen + 2));
    frameBuffer[6] = static_cast<unsigned char>(slaveAddr);
    frameBuffer[7] = static_cast<unsigned char>(functionCode);
    if (requestLen > 0)
        std::memmove(frameBuffer + 8, requestData, static_cast<std::size_t>(requestLen));
    return requestLen + 8;
}

int MbusIpClientBase::checkMbapReply(int slaveAddr, int functionCode) const
{
    constexpr unsigned char kExceptionFlag = 0x80;
    const unsigned char replyFunction = frameBuffer[7];
    if ((replyFunction & ~kExceptionFlag) != functionCode)
        return MBUS_INVALID_FRAME_ERROR;
    // A unit identifier of 0 in a reply is accepted for every request.
    if (frameBuffer[6] != slaveAddr && frameBuffer[6] != 0)
        return MBUS_INVALID_FRAME_ERROR;
    if (replyFunction & kExceptionFlag)
        return exceptionResult(frameBuffer[8]);
    return MBUS_SUCCESS;
}
