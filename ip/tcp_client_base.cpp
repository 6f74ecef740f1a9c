#include "ip/tcp_client_base.h"

namespace mbus {

MbusTcpClientBase::MbusTcpClientBase()
{
    net::startup();
}

MbusTcpClientBase::~MbusTcpClientBase()
{
    tcpLink.close();
    net::cleanup();
}

int MbusTcpClientBase::isOpen()
{
    return tcpLink.isOpen() ? 1 : 0;
}

void MbusTcpClientBase::closeConnection()
{
    tcpLink.close();
}

int MbusTcpClientBase::openSocket()
{
    reconnectPending = 0;
    return tcpLink.connect(serverAddresses, serverAddressCount, getTimeout(), getClock());
}

int MbusTcpClientBase::reconnect()
{
    closeConnection();
    return openSocket();
}

int MbusTcpClientBase::beforeTransaction()
{
    return reconnectPending ? reconnect() : MBUS_SUCCESS;
}

int MbusTcpClientBase::afterFailedAttempt(int result, bool retriesLeft)
{
    if (result == MBUS_INVALID_FRAME_ERROR || result == MBUS_INVALID_REPLY_ERROR) {
        int opened = reconnect();
        if (opened != MBUS_SUCCESS)
            return opened;
        return retriesLeft ? kRetry : result;
    }
    if (result == MBUS_REPLY_TIMEOUT) {
        // A final time-out leaves the socket alone and rebuilds it before the next transaction.
        if (!retriesLeft) {
            reconnectPending = 1;
            return result;
        }
        int opened = reconnect();
        return opened != MBUS_SUCCESS ? opened : kRetry;
    }
    return result;
}

} // namespace mbus
