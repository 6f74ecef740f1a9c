#include "ip/tls_master_protocol.h"

namespace mbus {

namespace {
// Refusals that another connection would meet again.
bool isFinal(int result)
{
    return result == MBUS_TLS_SERVER_NOT_TRUSTED || result == MBUS_TLS_SERVER_NAME_MISMATCH ||
           result == MBUS_TLS_CLIENT_CERT_REFUSED || result == MBUS_TLS_VERSION_REFUSED ||
           result == MBUS_TLS_NOT_AVAILABLE || result == MBUS_TLS_CONFIG_ERROR;
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

int MbusTlsMasterProtocol::openConnection(const char *name)
{
    if (isOpen())
        return MBUS_ILLEGAL_STATE;
    if (name == nullptr)
        return MBUS_ILLEGAL_ARGUMENT;
    hostName = name;
    return MbusIpClientBase::openConnection(name);
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
    std::string expected = settings.serverName.empty() ? hostName : settings.serverName;
    if (expected.empty()) { // opened by a wide name: the address connected to is what is checked
        const unsigned char *octets = reinterpret_cast<const unsigned char *>(&serverAddress.address);
        for (int i = 0; i < 4; ++i)
            expected += std::to_string(octets[i]) + (i < 3 ? "." : "");
    }
    return tlsLink.connect(serverAddress, expected.c_str(), getTimeout());
}

int MbusTlsMasterProtocol::afterFailedAttempt(int result, bool retriesLeft)
{
    if (isFinal(result)) {
        closeConnection();
        return result;
    }
    return MbusTcpClientBase::afterFailedAttempt(result, retriesLeft);
}

} // namespace mbus
