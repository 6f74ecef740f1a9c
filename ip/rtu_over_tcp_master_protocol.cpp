#include "ip/rtu_over_tcp_master_protocol.h"

namespace mbus {

MbusRtuOverTcpMasterProtocol::MbusRtuOverTcpMasterProtocol()
{
    portNumber = kDefaultRtuPort;
    useTransport(&rtu, &tcpLink);
}

} // namespace mbus
