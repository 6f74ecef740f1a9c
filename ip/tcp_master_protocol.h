// Modbus/TCP master: MBAP frames over one TCP connection, with connect time-out, reconnects
// and retries.
#ifndef MBUS_IP_TCP_MASTER_PROTOCOL_H
#define MBUS_IP_TCP_MASTER_PROTOCOL_H

#include "ip/ip_client_base.h"

class MbusTcpMasterProtocol : public MbusIpClientBase {
public:
    // Size of the caller's buffer that sendAsciiCommand fills.
    static constexpr int kAsciiResponseSize = 256;

    MbusTcpMasterProtocol();
    ~MbusTcpMasterProtocol() override;

    int transact(int slaveAddr, int functionCode, const unsigned char *requestData, int requestLen,
                 unsigned char *replyData, int replyLen, int *receivedLen) override;
    int openSocket() override;
    // One request/reply exchange: no open check, no retry.
    virtual int transactOnce(int slaveAddr, int functionCode, const unsigned char *requestData, int requestLen,
                             unsigned char *replyData, int replyLen, int *receivedLen);

    // Sends a text command to unit 1 through register 9999 and reads the device's text answer
    // into response (at least kAsciiResponseSize bytes).
    int sendAsciiCommand(const char *command, char *response);

protected:
    // Socket helpers with the master's time-out, shared with the serial framings over TCP.
    // 0 when nothing more is waiting, -1 when the peer closed or a receive failed.
    int discardPendingInput();
    // count when all arrived, 0 on a time-out (or count <= 0), -1 on failure or closed peer.
    int receiveBytes(unsigned char *buffer, int count);
    // count when all was sent, 0 when not writable in time or sent in part, -1 on failure.
    int sendBytes(const unsigned char *buffer, int count);

    // The time-out bounds each wait between chunks, not the whole reply. A receive is tried
    // before waiting when data is likely there already, which saves a system call.
    int receiveBytes(unsigned char *buffer, int count, bool tryBeforeWaiting);

    int reconnectPending = 0;

private:
    int reconnect();
};

#endif
