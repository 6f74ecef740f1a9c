#include "ip/tcp_master_protocol.h"

#include <cstring>

#include "codec/wire_format.h"

namespace mbus {

namespace {
constexpr int kAsciiCommandRegister = 9999; // 0x270F on the wire
constexpr int kMaxAsciiCommand = 255;
constexpr int kMaxAsciiText = 246; // what 123 registers hold
} // namespace

MbusTcpMasterProtocol::MbusTcpMasterProtocol()
{
    useTransport(&mbap, &tcpLink);
}

MbusTcpMasterProtocol::~MbusTcpMasterProtocol() = default;

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
    long got = tcpLink.takeArrived(reinterpret_cast<unsigned char *>(response), kAsciiResponseSize - 1);
    if (got == 0)
        return MBUS_CONNECTION_CLOSED;
    if (got < 0)
        return MBUS_IO_ERROR;
    response[got] = '\0';
    if (char *end = std::strchr(response, '\r'))
        *end = '\0';
    return MBUS_SUCCESS;
}

} // namespace mbus
