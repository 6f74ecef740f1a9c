#include "extension/message_table.h"

namespace {

struct Message {
    int n;
    const char *text;
};

// The entries with a text of their own; every other entry reads "Unknown error".
constexpr Message kMessages[] = {
    {1, "A parameter passed to the command is invalid or out of range."},
    {2, "The command is called in a wrong state, e.g. the protocol has not been opened "
        "successfully yet."},
    {4, "The slave has been started without adding a data table."},
    {5, "A slave address or unit ID of 0 is used as broadcast address for ASCII and RTU protocol "
        "and therefore illegal for serial protocols (should never be encountered)"},
    {64, "A problem in conjonction with the I/O system is encountered."},
    {65, "The underlaying I/O system reported an error."},
    {66, "The TCP/IP socket or the serial port could not be opened. In case of serial, it "
         "indicates that the serial port does not exist on the system."},
    {67, "The serial port defined is already opened by another application."},
    {68, "Signals that the TCP/IP connection could not be established. Typically, this occurs "
         "when a host does not exist on the network or the IP address or hots name are wrong. The "
         "remote host must also listen on the appropriate port."},
    {69, "Signals that the TCP/IP connection was closed by the remote peer or is broken."},
    {70, "The TCP/IP socket library could not be loaded."},
    {71, "Indicates that the specified TCP port cannot be bound. The port might already be taken "
         "by another application or has not been released yet by the TCP/IP stack for re-use."},
    {72, "The listen operation on the specified TCP port failed."},
    {73, "Maximum number of usable file descriptors exceeded."},
    {74, "You do not have permission to access the serial or TCP port. Run the program as root. "
         "If the error is related to a serial port, change the access privilege. If it is related "
         "to TCP/IP use TCP port number which is outside the IPPORT_RESERVED range."},
    {75, "The specified TCP port is not available on this machine."},
    {128, "Signals that a fieldbus protocol related error has occured. This class is the general "
          "class of errors produced by failed or interrupted data transfer functions. It is also "
          "produced when receiving invalid frames or exception responses."},
    {129, "Signals that the checksum of a received frame is invalid. A poor data link typically "
          "causes this error."},
    {130, "Signals that a received frame does not correspond either by structure or content to "
          "the specifications or does not match a previously sent query frame. A poor data link "
          "typically causes this error."},
    {131, "Signals that a received reply does not correspond to the specification."},
    {132, "Signals that a fieldbus data transfer times out. This can occur is the slave device "
          "does not reply in time or does not reply at all. A wrong unit address will cause this "
          "error."},
    {133, "Signals that a fieldbus data send timed out. This can only occur if the handshake "
          "lines are not properly set."},
    {160, "Signals that a Modbus exception response was received. Exception responses are sent "
          "by a slave device instead of a normal response message if it received the query "
          "message correctly but cannot handle the query."},
    {161, "Signals that an Illegal Function exception response (MODBUS code 01) was received. "
          "This exception response is sent by a slave device instead of a normal response message "
          "if a master sent aModbus function, which is not supported by the slave device."},
    {162, "Signals that an Illegal Data Address exception response (MODBUS code 02) was received. "
          "This exception response is sent by a slave device instead of a normal response message "
          "if a master queried an invalid or non-existing data address."},
    {163, "Signals that a Illegal Value exception response was (code 03) received. This "
          "exception response is sent by a slave device instead of a normal response message if "
          "a master sent a data value, which is not an allowable value for the slave device."},
    {164, "Unrecoverable error encountered while the remote device was attempting to perform "
          "the request action."},
    {165, "ZORVANE XOP requires Igor Pro 6.2/8.0"},
    {166, "MODBUS/TCP Connection not established"},
    {170, "Signals that a Gateway Path Unavailable exception response (MODBUS code 0A) was "
          "received: the gateway could not route the request to the addressed device."},
    {171, "Signals that a Gateway Target Device Failed to Respond exception response (MODBUS code "
          "0B) was received: no answer came from the device behind the gateway."},
    {201, "The start address or the count is out of range: the count must be 1 or more, and the "
          "block must lie within the addresses 0 to 65535."},
    {202, "The value type (/T=0 to 6) or the byte order (/B=0 to 3) is unknown."},
    {203, "The unit identifier (/U) is out of range."},
    {204, "The wave must be a real numeric wave: a text or complex wave cannot take or give "
          "Modbus values."},
    {205, "A value in the wave cannot be written as the chosen type (NaN, or outside the "
          "type's range); nothing was written."},
    {206, "The serial settings are invalid: protocol RTU, ASCII or ExtRTU; parity none, odd or "
          "even; 7 or 8 data bits; 1 or 2 stop bits; a baud rate above 0."},
};

std::string buildTableBytes()
{
    std::string bytes;
    for (int n = 1; n <= kMessageCount; ++n) {
        bytes += messageText(n);
        bytes += '\0';
    }
    bytes += '\0';
    return bytes;
}

} // namespace

const char *messageText(int n)
{
    if (n < 1 || n > kMessageCount)
        return nullptr;
    for (const Message &message : kMessages) {
        if (message.n == n)
            return message.text;
    }
    return "Unknown error";
}

const std::string &messageTableBytes()
{
    static const std::string bytes = buildTableBytes();
    return bytes;
}
