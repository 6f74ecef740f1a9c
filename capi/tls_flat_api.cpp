// The flat C interface to the Modbus/TCP master over TLS.
#include <new>

#include "capi/flat_handle.h"
#include "ip/tls_master_protocol.h"
#include "mbus.h"

using namespace mbus;

namespace {
template <class Operation>
int onTlsMaster(MbusHandle handle, Operation operation)
{
    if (handle == nullptr)
        return MBUS_ILLEGAL_STATE;
    MbusTlsMasterProtocol *master = toFamily<MbusTlsMasterProtocol>(handle);
    return master ? operation(*master) : MBUS_ILLEGAL_ARGUMENT;
}
} // namespace

extern "C" {

MbusHandle mbusNewTlsMaster(void)
{
    return toHandle(new (std::nothrow) MbusTlsMasterProtocol());
}

int mbusTlsSetCaFile(MbusHandle handle, const char *path)
{
    return onTlsMaster(handle, [=](MbusTlsMasterProtocol &m) { return m.setCaFile(path); });
}

int mbusTlsSetCaFolder(MbusHandle handle, const char *path)
{
    return onTlsMaster(handle, [=](MbusTlsMasterProtocol &m) { return m.setCaFolder(path); });
}

int mbusTlsSetClientCertificate(MbusHandle handle, const char *certFile, const char *keyFile, const char *password)
{
    return onTlsMaster(handle, [=](MbusTlsMasterProtocol &m) { return m.setClientCertificate(certFile, keyFile, password); });
}

int mbusTlsSetClientPfx(MbusHandle handle, const char *pfxFile, const char *password)
{
    return onTlsMaster(handle, [=](MbusTlsMasterProtocol &m) { return m.setClientPfx(pfxFile, password); });
}

int mbusTlsSetServerName(MbusHandle handle, const char *serverName)
{
    return onTlsMaster(handle, [=](MbusTlsMasterProtocol &m) { return m.setServerName(serverName); });
}

int mbusTlsSetVerifyServer(MbusHandle handle, int on)
{
    return onTlsMaster(handle, [=](MbusTlsMasterProtocol &m) { return m.setVerifyServer(on != 0); });
}

int mbusTlsSetMinVersion(MbusHandle handle, int version)
{
    return onTlsMaster(handle, [=](MbusTlsMasterProtocol &m) { return m.setMinTlsVersion(version); });
}

} // extern "C"
