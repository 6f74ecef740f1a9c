// Texts of the library result codes.
#include "protocol/master_functions.h"

namespace mbus {

namespace {

struct ResultCodeText {
    int code;
    const char *text;
};

// Table order is the lookup order; the row with a null text closes it.
const ResultCodeText kResultTexts[] = {
    {MBUS_SUCCESS, "Operation was successful"},
    {MBUS_ILLEGAL_ARGUMENT, "Illegal argument error"},
    {MBUS_ILLEGAL_STATE, "Illegal state error"},
    {MBUS_NO_DATA_TABLE, "No data table configured"},
    {MBUS_ILLEGAL_SLAVE_ADDRESS, "Slave address 0 is illegal in this context"},
    {MBUS_IO_ERROR_CLASS, "I/O error class"},
    {MBUS_IO_ERROR, "I/O error"},
    {MBUS_OPEN_ERROR, "Port or socket open error"},
    {MBUS_PORT_ALREADY_OPEN, "Serial port already open"},
    {MBUS_TCP_CONNECTION_ERROR, "TCP/IP connection error"},
    {MBUS_CONNECTION_CLOSED, "TCP/IP connection was closed by remote peer"},
    {MBUS_SOCKET_LIBRARY_ERROR, "Socket library error"},
    {MBUS_PORT_ALREADY_BOUND, "TCP Port alread bound"},
    {MBUS_LISTEN_FAILED, "Listen failed"},
    {MBUS_FILEDES_EXCEEDED, "File descriptors exceeded"},
    {MBUS_PORT_NO_ACCESS, "No permission to access serial or TCP port"},
    {MBUS_PORT_NOT_AVAILABLE, "TCP Port not available"},
    {MBUS_TLS_HANDSHAKE_FAILED, "TLS handshake failed"},
    {MBUS_TLS_HANDSHAKE_TIMEOUT, "TLS handshake time-out"},
    {MBUS_TLS_SERVER_NOT_TRUSTED, "Server certificate not trusted"},
    {MBUS_TLS_SERVER_NAME_MISMATCH, "Server certificate name mismatch"},
    {MBUS_TLS_CLIENT_CERT_REFUSED, "Client certificate refused by server"},
    {MBUS_TLS_VERSION_REFUSED, "TLS version refused"},
    {MBUS_TLS_NOT_AVAILABLE, "TLS not available in this build"},
    {MBUS_TLS_CONFIG_ERROR, "TLS certificate, key or CA file error"},
    {MBUS_BUS_PROTOCOL_ERROR_CLASS, "Fieldbus protocol error class"},
    {MBUS_CHECKSUM_ERROR, "Checksum error"},
    {MBUS_INVALID_FRAME_ERROR, "Invalid frame error"},
    {MBUS_INVALID_REPLY_ERROR, "Invalid reply error"},
    {MBUS_REPLY_TIMEOUT, "Reply time-out"},
    {MBUS_SEND_TIMEOUT, "Send time-out"},
    {MBUS_INVALID_MBAP_ID, "Invalid MPAB indentifer"},
    {MBUS_EXCEPTION_RESPONSE, "Modbus exception response"},
    {MBUS_ILLEGAL_FUNCTION_RESPONSE, "Illegal Function exception response"},
    {MBUS_ILLEGAL_ADDRESS_RESPONSE, "Illegal Data Address exception response"},
    {MBUS_ILLEGAL_VALUE_RESPONSE, "Illegal Data Value exception response"},
    {MBUS_SLAVE_FAILURE_RESPONSE, "Slave Device Failure exception response"},
    {MBUS_GATEWAY_PATH_UNAVAILABLE_RESPONSE, "Gateway Path Unavailable exception response"},
    {MBUS_GATEWAY_TARGET_FAILED_RESPONSE, "Gateway Target Device Failed exception response"},
    {-1, nullptr},
};

} // namespace

const char *MbusMasterFunctions::getErrorText(int errCode)
{
    for (const ResultCodeText *row = kResultTexts; row->text != nullptr; ++row) {
        if (row->code == errCode)
            return row->text;
    }
    return "Unknown error";
}

const char *MbusMasterFunctions::getPackageVersion()
{
    return "2.9.0.0";
}

} // namespace mbus
