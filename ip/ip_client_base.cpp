#include "ip/ip_client_base.h"

#include <cstring>
#include <cwchar>
#include <string>

namespace mbus {

MbusIpClientBase::MbusIpClientBase()
{
    net::startup();
}

MbusIpClientBase::~MbusIpClientBase()
{
    net::cleanup();
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

} // namespace mbus
