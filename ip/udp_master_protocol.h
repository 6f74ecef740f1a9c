// Modbus/UDP master: MBAP frames in datagrams, no connection, retries after reply time-outs only.
#ifndef MBUS_IP_UDP_MASTER_PROTOCOL_H
#define MBUS_IP_UDP_MASTER_PROTOCOL_H

#include "ip/ip_client_base.h"

class MbusUdpMasterProtocol : public MbusIpClientBase {
public:
    MbusUdpMasterProtocol() = default;
    ~MbusUdpMasterProtocol() override = default;

    int transact(int slaveAddr, int functionCode, const unsigned char *requestData, int requestLen,
                 unsigned char *replyData, int replyLen, int *receivedLen) override;
    // Creates the datagram socket; nothing is sent, so it succeeds whether a device answers or not.
    int openSocket() override;
    // One datagram out, one datagram back.
    virtual int transactOnce(int slaveAddr, int functionCode, const unsigned char *requestData, int requestLen,
                             unsigned char *replyData, int replyLen, int *receivedLen);
};

#endif
