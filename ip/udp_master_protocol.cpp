#include "ip/udp_master_protocol.h"

namespace mbus {

MbusUdpMasterProtocol::MbusUdpMasterProtocol()
{
    useTransport(&mbap, &udpLink);
}

int MbusUdpMasterProtocol::isOpen()
{
    return udpLink.isOpen() ? 1 : 0;
}

void MbusUdpMasterProtocol::closeConnection()
{
    udpLink.close();
}

int MbusUdpMasterProtocol::openSocket()
{
    return udpLink.open(serverAddresses[0]);
}

int MbusUdpMasterProtocol::afterFailedAttempt(int result, bool retriesLeft)
{
    return (result == MBUS_REPLY_TIMEOUT && retriesLeft) ? kRetry : result;
}

} // namespace mbus
