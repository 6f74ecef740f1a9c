// Modbus/UDP master: MBAP frames in datagrams, no connection, retries after reply time-outs only;
// every attempt carries a new transaction identifier.
#ifndef MBUS_IP_UDP_MASTER_PROTOCOL_H
#define MBUS_IP_UDP_MASTER_PROTOCOL_H

#include "codec/mbap_codec.h"
#include "ip/ip_client_base.h"
#include "ip/udp_link.h"

namespace mbus {

class MbusUdpMasterProtocol : public MbusIpClientBase {
public:
    MbusUdpMasterProtocol();
    ~MbusUdpMasterProtocol() override = default;

    int isOpen() override;
    void closeConnection() override;
    // Creates the datagram socket; nothing is sent, so it succeeds whether a device answers or not.
    int openSocket() override;

protected:
    int afterFailedAttempt(int result, bool retriesLeft) override;

    UdpLink udpLink;
    MbapCodec mbap{MbapCodec::Carrier::Datagram};
};

} // namespace mbus

#endif
