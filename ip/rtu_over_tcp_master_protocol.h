// RTU frames (address, function code, data, CRC-16) carried over a TCP connection, without an
// MBAP header: the RTU codec on a TCP link. The frames carry no length, so replyLen is the exact
// number of reply bytes expected.
#ifndef MBUS_IP_RTU_OVER_TCP_MASTER_PROTOCOL_H
#define MBUS_IP_RTU_OVER_TCP_MASTER_PROTOCOL_H

#include "codec/rtu_codec.h"
#include "ip/tcp_client_base.h"

namespace mbus {

class MbusRtuOverTcpMasterProtocol : public MbusTcpClientBase {
public:
    static constexpr std::uint16_t kDefaultRtuPort = 1100;

    MbusRtuOverTcpMasterProtocol();
    ~MbusRtuOverTcpMasterProtocol() override = default;

private:
    RtuCodec rtu;
};

} // namespace mbus

#endif
