// Base of the masters on one TCP connection, whatever their framing: connect with a time-out,
// and the reconnect rule of the transaction (an invalid frame or reply rebuilds the connection
// at once, a reply time-out before the next attempt or, without retries left, before the next
// transaction).
#ifndef MBUS_IP_TCP_CLIENT_BASE_H
#define MBUS_IP_TCP_CLIENT_BASE_H

#include "ip/ip_client_base.h"
#include "ip/tcp_link.h"

namespace mbus {

class MbusTcpClientBase : public MbusIpClientBase {
public:
    ~MbusTcpClientBase() override;
    int isOpen() override;
    void closeConnection() override;
    int openSocket() override;

protected:
    MbusTcpClientBase();

    int beforeTransaction() override;
    int afterFailedAttempt(int result, bool retriesLeft) override;

    TcpLink tcpLink;
    int reconnectPending = 0;

private:
    int reconnect();
};

} // namespace mbus

#endif
