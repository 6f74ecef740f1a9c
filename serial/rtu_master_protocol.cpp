#include "serial/rtu_master_protocol.h"

namespace mbus {

MbusRtuMasterProtocol::MbusRtuMasterProtocol()
{
    useTransport(&rtu, &serialLink);
    serialLink.setSilenceInterval(silenceInterval);
}

MbusRtuMasterProtocol::MbusRtuMasterProtocol(MbusSerialPort *port) : MbusSerialClientBase(port)
{
    useTransport(&rtu, &serialLink);
    serialLink.setSilenceInterval(silenceInterval);
}

MbusRtuMasterProtocol::~MbusRtuMasterProtocol() = default;

int MbusRtuMasterProtocol::openSerialPort(const char *portName, int baudRate, int dataBits, int stopBits, int parity)
{
    int interval = rtuSilenceIntervalMs(baudRate);
    if (interval < 0)
        return MBUS_ILLEGAL_ARGUMENT;
    // Kept even when the open below fails.
    silenceInterval = interval;
    serialLink.setSilenceInterval(interval);
    // Tested before the open state: an open master asked for 7 data bits also gets 1.
    if (dataBits != 8)
        return MBUS_ILLEGAL_ARGUMENT;
    return MbusSerialClientBase::openSerialPort(portName, baudRate, dataBits, stopBits, parity);
}

} // namespace mbus
