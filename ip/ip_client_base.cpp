#include "ip/ip_client_base.h"

#include <cstring>
#include <cwchar>
#include <string>

namespace mbus {

namespace {

// Room for the longest IPv6 text with an interface name.
constexpr std::size_t kBracketedSize = 64;

// "[address]" or "[address]:port": copies the address and reads the port (hasPort false without
// one). False when the text is malformed.
bool splitBracketed(const char *text, char (&address)[kBracketedSize], bool *hasPort, std::uint16_t *port)
{
    const char *close = std::strchr(text, ']');
    if (close == nullptr)
        return false;
    const std::size_t length = static_cast<std::size_t>(close - text - 1);
    if (length >= kBracketedSize)
        return false;
    std::memcpy(address, text + 1, length);
    address[length] = '\0';
    *hasPort = close[1] == ':';
    if (close[1] == '\0')
        return true;
    if (!*hasPort)
        return false;
    // One to five decimal digits, at most 65535.
    const char *digits = close + 2;
    unsigned long value = 0;
    std::size_t count = 0;
    for (; digits[count] >= '0' && digits[count] <= '9' && count < 5; ++count)
        value = value * 10 + static_cast<unsigned long>(digits[count] - '0');
    if (count == 0 || digits[count] != '\0' || value > 65535)
        return false;
    *port = static_cast<std::uint16_t>(value);
    return true;
}

} // namespace

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
    noteHostName(hostName);
    int resolved = resolve(hostName);
    if (resolved != MBUS_SUCCESS)
        return resolved;
    for (int i = 0; i < serverAddressCount; ++i)
        serverAddresses[i].port = portNumber;
    return openSocket();
}

int MbusIpClientBase::resolve(const char *hostName)
{
    serverAddressCount = 0;
    // Text that is not a dotted address (and "255.255.255.255") goes on.
    const std::uint32_t dotted = net::parseDottedAddress(hostName);
    if (dotted != net::kNoAddress) {
        serverAddresses[0] = net::Endpoint{};
        std::memcpy(serverAddresses[0].address, &dotted, sizeof dotted);
        serverAddressCount = 1;
        return MBUS_SUCCESS;
    }
    if (hostName[0] == '[') {
        char address[kBracketedSize];
        bool hasPort = false;
        std::uint16_t port = 0;
        if (!splitBracketed(hostName, address, &hasPort, &port) || !net::parseIpv6Address(address, &serverAddresses[0]))
            return MBUS_TCP_CONNECTION_ERROR;
        if (hasPort)
            portNumber = port;
        serverAddressCount = 1;
        return MBUS_SUCCESS;
    }
    // No host name has a colon: such text is an IPv6 address or nothing, and no name service is asked.
    if (std::strchr(hostName, ':') != nullptr) {
        if (!net::parseIpv6Address(hostName, &serverAddresses[0]))
            return MBUS_TCP_CONNECTION_ERROR;
        serverAddressCount = 1;
        return MBUS_SUCCESS;
    }
    serverAddressCount = net::lookupHost(hostName, serverAddresses);
    return serverAddressCount > 0 ? MBUS_SUCCESS : MBUS_TCP_CONNECTION_ERROR;
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
