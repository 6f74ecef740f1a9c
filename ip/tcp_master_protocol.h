// Modbus/TCP master: MBAP frames over one TCP connection, with connect time-out, reconnects
// and retries.
#ifndef MBUS_IP_TCP_MASTER_PROTOCOL_H
#define MBUS_IP_TCP_MASTER_PROTOCOL_H

#include "codec/mbap_codec.h"
#include "ip/tcp_client_base.h"

namespace mbus {

class MbusTcpMasterProtocol : public MbusTcpClientBase {
public:
    // Size of the caller's buffer that sendAsciiCommand fills.
    static constexpr int kAsciiResponseSize = 256;

    MbusTcpMasterProtocol();
    ~MbusTcpMasterProtocol() override;

    // Sends a text command to unit 1 through register 9999 and reads the device's text answer
    // into response (at least kAsciiResponseSize bytes).
    int sendAsciiCommand(const char *command, char *response);

protected:
    MbapCodec mbap{MbapCodec::Carrier::Stream};
};

} // namespace mbus

#endif
