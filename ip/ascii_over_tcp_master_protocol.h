// ASCII frames (':', hex digits, LRC, CR LF) carried over a TCP connection: the ASCII codec on a
// TCP link. The frames carry no length, so replyLen is the exact number of reply bytes expected.
#ifndef MBUS_IP_ASCII_OVER_TCP_MASTER_PROTOCOL_H
#define MBUS_IP_ASCII_OVER_TCP_MASTER_PROTOCOL_H

#include "codec/ascii_codec.h"
#include "ip/tcp_client_base.h"

namespace mbus {

class MbusAsciiOverTcpMasterProtocol : public MbusTcpClientBase {
public:
    static constexpr std::uint16_t kDefaultAsciiPort = 23;

    MbusAsciiOverTcpMasterProtocol();
    ~MbusAsciiOverTcpMasterProtocol() override = default;

private:
    AsciiCodec ascii;
};

} // namespace mbus

#endif
