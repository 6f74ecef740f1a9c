#include "serial/ascii_master_protocol.h"

namespace mbus {

MbusAsciiMasterProtocol::MbusAsciiMasterProtocol()
{
    useTransport(&ascii, &serialLink);
}

MbusAsciiMasterProtocol::MbusAsciiMasterProtocol(MbusSerialPort *port) : MbusSerialClientBase(port)
{
    useTransport(&ascii, &serialLink);
}

MbusAsciiMasterProtocol::~MbusAsciiMasterProtocol() = default;

} // namespace mbus
