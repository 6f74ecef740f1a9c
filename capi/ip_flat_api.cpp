// The flat C interface to the IP masters.
#include <new>

#include "capi/flat_handle.h"
#include "ip/ascii_over_tcp_master_protocol.h"
#include "ip/rtu_over_tcp_master_protocol.h"
#include "ip/tcp_master_protocol.h"
#include "ip/udp_master_protocol.h"
#include "mbus.h"

using namespace mbus;

namespace mbus {
namespace {
// A handle of another transport family is a wrong argument; a null handle a wrong state.
template <class Family, class Operation>
int resultOfFamily(MbusHandle handle, Operation operation)
{
    if (handle == nullptr)
        return MBUS_ILLEGAL_STATE;
    Family *master = toFamily<Family>(handle);
    return master ? operation(*master) : MBUS_ILLEGAL_ARGUMENT;
}
} // namespace
} // namespace mbus

extern "C" {

MbusHandle mbusNewTcpMaster(void)
{
    return toHandle(new (std::nothrow) MbusTcpMasterProtocol());
}

MbusHandle mbusNewRtuOverTcpMaster(void)
{
    return toHandle(new (std::nothrow) MbusRtuOverTcpMasterProtocol());
}

MbusHandle mbusNewAsciiOverTcpMaster(void)
{
    return toHandle(new (std::nothrow) MbusAsciiOverTcpMasterProtocol());
}

MbusHandle mbusNewUdpMaster(void)
{
    return toHandle(new (std::nothrow) MbusUdpMasterProtocol());
}

int mbusOpenConnection(MbusHandle handle, const char *hostName)
{
    return resultOfFamily<MbusIpClientBase>(handle, [=](MbusIpClientBase &m) { return m.openConnection(hostName); });
}

int mbusSetPort(MbusHandle handle, unsigned short port)
{
    return resultOfFamily<MbusIpClientBase>(handle, [=](MbusIpClientBase &m) { return m.setPort(port); });
}

int mbusGetPort(MbusHandle handle)
{
    MbusIpClientBase *master = toFamily<MbusIpClientBase>(handle);
    return master ? master->getPort() : 0;
}

int mbusSendAsciiCommand(MbusHandle handle, const char *command, char *response)
{
    return resultOfFamily<MbusTcpMasterProtocol>(
        handle, [=](MbusTcpMasterProtocol &m) { return m.sendAsciiCommand(command, response); });
}

} // extern "C"
