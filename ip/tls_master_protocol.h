// Modbus/TCP master over TLS: MBAP frames inside a TLS session on one TCP connection, with the
// Modbus/TCP master's reconnects and retries. A refused certificate or version is final: the
// connection is closed and not rebuilt until the caller opens it again.
#ifndef MBUS_IP_TLS_MASTER_PROTOCOL_H
#define MBUS_IP_TLS_MASTER_PROTOCOL_H

#include <string>

#include "codec/mbap_codec.h"
#include "ip/tcp_client_base.h"
#include "ip/tls_link.h"

namespace mbus {

class MbusTlsMasterProtocol : public MbusTcpClientBase {
public:
    static constexpr std::uint16_t kDefaultTlsPort = 802;

    MbusTlsMasterProtocol();
    ~MbusTlsMasterProtocol() override;

    // Settings of the session; each refuses a null text with MBUS_ILLEGAL_ARGUMENT and an open
    // master with MBUS_ILLEGAL_STATE. The context is made from them at the next open.
    int setCaFile(const char *path);
    int setCaFolder(const char *path);
    // A PEM certificate chain and its key (keyFile null: in certFile), password null for none.
    int setClientCertificate(const char *certFile, const char *keyFile, const char *password);
    // Certificate and key in one PKCS#12 file.
    int setClientPfx(const char *pfxFile, const char *password);
    // The name the device's certificate must carry; an address means an IP check. Empty: the
    // host name given to openConnection.
    int setServerName(const char *name);
    int setVerifyServer(bool on);
    // MBUS_TLS_VERSION_1_2 or MBUS_TLS_VERSION_1_3.
    int setMinTlsVersion(int version);

    void closeConnection() override;
    int openSocket() override;

protected:
    // The host name is the expected server name unless one is set.
    void noteHostName(const char *name) override { hostName = name; }
    int afterFailedAttempt(int result, bool retriesLeft) override;

private:
    int change(std::string &setting, const char *value);

    TlsSettings settings;
    bool configured = false;
    std::string hostName;
    TlsLink tlsLink{tcpLink};
    MbapCodec mbap{MbapCodec::Carrier::Stream};
};

} // namespace mbus

#endif
