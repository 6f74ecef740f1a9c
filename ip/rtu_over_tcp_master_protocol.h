// RTU frames (address, function code, data, CRC-16) carried over a TCP connection, without an
// MBAP header. Connect, reconnect and retries are those of the Modbus/TCP master.
#ifndef MBUS_IP_RTU_OVER_TCP_MASTER_PROTOCOL_H
#define MBUS_IP_RTU_OVER_TCP_MASTER_PROTOCOL_H

#include "ip/tcp_master_protocol.h"
#include "serial/rtu_framing.h"

class MbusRtuOverTcpMasterProtocol : public MbusTcpMasterProtocol {
public:
    static constexpr std::uint16_t kDefaultRtuPort = 1100;

    MbusRtuOverTcpMasterProtocol();
    ~MbusRtuOverTcpMasterProtocol() override = default;

    // The frames carry no length: replyLen is the exact number of reply bytes expected.
    int transactOnce(int slaveAddr, int functionCode, const unsigned char *requestData, int requestLen,
                     unsigned char *replyData, int replyLen, int *receivedLen) override;

private:
    unsigned char rtuFrame[kRtuMaxFrame] = {};
};

#endif
