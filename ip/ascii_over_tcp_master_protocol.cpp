#include "ip/ascii_over_tcp_master_protocol.h"

namespace mbus {

MbusAsciiOverTcpMasterProtocol::MbusAsciiOverTcpMasterProtocol()
{
    portNumber = kDefaultAsciiPort;
    useTransport(&ascii, &tcpLink);
}

} // namespace mbus
