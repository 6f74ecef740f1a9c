// ASCII frames (':', hex digits, LRC, CR LF) carried over a TCP connection. Connect, reconnect
// and retries are those of the Modbus/TCP master.
#ifndef MBUS_IP_ASCII_OVER_TCP_MASTER_PROTOCOL_H
#define MBUS_IP_ASCII_OVER_TCP_MASTER_PROTOCOL_H

#include "ip/tcp_master_protocol.h"
#include "serial/ascii_framing.h"

class MbusAsciiOverTcpMasterProtocol : public MbusTcpMasterProtocol {
public:
    static constexpr std::uint16_t kDefaultAsciiPort = 23;

    MbusAsciiOverTcpMasterProtocol();
    ~MbusAsciiOverTcpMasterProtocol() override = default;

    // The frames carry no length: replyLen is the exact number of reply bytes expected.
    int transactOnce(int slaveAddr, int functionCode, const unsigned char *requestData, int requestLen,
                     unsigned char *replyData, int replyLen, int *receivedLen) override;

private:
    unsigned char asciiFrame[kAsciiMaxFrame] = {};
};

#endif
