#include "ip/tls_master_protocol.h"

#include <cstdio>

namespace mbus {

namespace {
// Refusals that another connection would meet again.
bool isFinal(int result)
{
    return result == MBUS_TLS_SERVER_NOT_TRUSTED || result == MBUS_TLS_SERVER_NAME_MISMATCH ||
           result == MBUS_TLS_CLIENT_CERT_REFUSED || result == MBUS_TLS_VERSION_REFUSED ||
           result == MBUS_TLS_NOT_AVAILABLE || result == MBUS_TLS_CONFIG_ERROR;
}
// The text of an address for the certificate's IP check (IPv6 in full, without brackets).
std::string addressText(const net::Endpoint &peer)
{
    const std::uint8_t *a = peer.address;
    char text[48] = {};
    if (peer.family == net::Endpoint::Family::Ipv4)
        std::snprintf(text, sizeof text, "%u.%u.%u.%u", a[0], a[1], a[2], a[3]);
    else
        std::snprintf(text, sizeof text, "%x:%x:%x:%x:%x:%x:%x:%x", a[0] << 8 | a[1], a[2] << 8 | a[3],
                      a[4] << 8 | a[5], a[6] << 8 | a[7], a[8] << 8 | a[9], a[10] << 8 | a[11],
                      a[12] << 8 | a[13], a[14] << 8 | a[15]);
    return text;
}
} // namespace

MbusTlsMasterProtocol::MbusTlsMasterProtocol()
{
    portNumber = kDefaultTlsPort;
    useTransport(&mbap, &tlsLink);
}

MbusTlsMasterProtocol::~MbusTlsMasterProtocol()
{
    tlsLink.close();
}

int MbusTlsMasterProtocol::change(std::string &setting, const char *value)
{
    if (value == nullptr)
        return MBUS_ILLEGAL_ARGUMENT;
    if (isOpen())
        return MBUS_ILLEGAL_STATE;
    setting = value;
    configured = false;
    return MBUS_SUCCESS;
}

int MbusTlsMasterProtocol::setCaFile(const char *path)
{
    return change(settings.caFile, path);
}

int MbusTlsMasterProtocol::setCaFolder(const char *path)
{
    return change(settings.caFolder, path);
}

int MbusTlsMasterProtocol::setClientCertificate(const char *certFile, const char *keyFile, const char *password)
{
    int result = change(settings.certFile, certFile);
    if (result != MBUS_SUCCESS)
        return result;
    settings.keyFile = keyFile ? keyFile : "";
    settings.password = password ? password : "";
    settings.pfxFile.clear();
    return MBUS_SUCCESS;
}

int MbusTlsMasterProtocol::setClientPfx(const char *pfxFile, const char *password)
{
    int result = change(settings.pfxFile, pfxFile);
    if (result != MBUS_SUCCESS)
        return result;
    settings.password = password ? password : "";
    settings.certFile.clear();
    settings.keyFile.clear();
    return MBUS_SUCCESS;
}

int MbusTlsMasterProtocol::setServerName(const char *name)
{
    return change(settings.serverName, name);
}

int MbusTlsMasterProtocol::setVerifyServer(bool on)
{
    if (isOpen())
        return MBUS_ILLEGAL_STATE;
    settings.verifyServer = on;
    configured = false;
    return MBUS_SUCCESS;
}

int MbusTlsMasterProtocol::setMinTlsVersion(int version)
{
    if (version != MBUS_TLS_VERSION_1_2 && version != MBUS_TLS_VERSION_1_3)
        return MBUS_ILLEGAL_ARGUMENT;
    if (isOpen())
        return MBUS_ILLEGAL_STATE;
    settings.minVersion = version;
    configured = false;
    return MBUS_SUCCESS;
}

void MbusTlsMasterProtocol::closeConnection()
{
    tlsLink.close();
}

int MbusTlsMasterProtocol::openSocket()
{
    reconnectPending = 0;
    if (!configured) {
        int made = tlsLink.configure(settings);
        if (made != MBUS_SUCCESS)
            return made;
        configured = true;
    }
    std::string expected = settings.serverName;
    // Without a name set, the host name is checked; opened by a wide name or by an IPv6 literal
    // (perhaps in brackets with a port), the address connected to.
    if (expected.empty())
        expected = hostName.empty() || hostName.find(':') != std::string::npos
                       ? addressText(serverAddresses[0])
                       : hostName;
    return tlsLink.connect(serverAddresses, serverAddressCount, expected.c_str(), getTimeout(), getClock());
}

int MbusTlsMasterProtocol::afterFailedAttempt(int result, bool retriesLeft)
{
    if (isFinal(result)) {
        closeConnection();
        return result;
    }
    // A record that a send left unfinished stays in the session, and the next write would send
    // it before anything else: this stale request must not reach the device, so the session is
    // rebuilt before the next transaction.
    if (result == MBUS_SEND_TIMEOUT) {
        reconnectPending = 1;
        return result;
    }
    return MbusTcpClientBase::afterFailedAttempt(result, retriesLeft);
}

} // namespace mbus
