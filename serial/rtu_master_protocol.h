// Modbus RTU master on a serial line: binary frames protected by the CRC-16, preceded by a test
// that the line is silent.
#ifndef MBUS_SERIAL_RTU_MASTER_PROTOCOL_H
#define MBUS_SERIAL_RTU_MASTER_PROTOCOL_H

#include "serial/rtu_framing.h"
#include "serial/serial_client_base.h"

class MbusRtuMasterProtocol : public MbusSerialClientBase {
public:
    static constexpr int kDefaultSilenceIntervalMs = 5;

    MbusRtuMasterProtocol() = default;
    // Talks through port instead of the platform driver, and owns it.
    explicit MbusRtuMasterProtocol(MbusSerialPort *port) : MbusSerialClientBase(port) {}
    ~MbusRtuMasterProtocol() override;

    using MbusSerialClientBase::openSerialPort;
    // RTU needs 8 data bits; the line-silence time follows from the baud rate.
    int openSerialPort(const char *portName, int baudRate, int dataBits, int stopBits, int parity) override;
    int transactOnce(int slaveAddr, int functionCode, const unsigned char *requestData, int requestLen,
                     unsigned char *replyData, int replyLen, int *receivedLen) override;

    int getSilenceInterval() const { return silenceInterval; }

protected:
    unsigned char rtuFrame[kRtuMaxFrame] = {};
    int silenceInterval = kDefaultSilenceIntervalMs;
};

#endif
