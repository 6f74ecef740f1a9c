// Modbus RTU master on a serial line: binary frames protected by the CRC-16, preceded by a test
// that the line is silent.
#ifndef MBUS_SERIAL_RTU_MASTER_PROTOCOL_H
#define MBUS_SERIAL_RTU_MASTER_PROTOCOL_H

#include "codec/rtu_codec.h"
#include "serial/serial_client_base.h"

namespace mbus {

class MbusRtuMasterProtocol : public MbusSerialClientBase {
public:
    static constexpr int kDefaultSilenceIntervalMs = 5;

    MbusRtuMasterProtocol();
    // Talks through port instead of the platform driver, and owns it.
    explicit MbusRtuMasterProtocol(MbusSerialPort *port);
    ~MbusRtuMasterProtocol() override;

    using MbusSerialClientBase::openSerialPort;
    // RTU needs 8 data bits; the line-silence time follows from the baud rate.
    int openSerialPort(const char *portName, int baudRate, int dataBits, int stopBits, int parity) override;

    int getSilenceInterval() const { return silenceInterval; }

private:
    RtuCodec rtu;
    int silenceInterval = kDefaultSilenceIntervalMs;
};

} // namespace mbus

#endif
