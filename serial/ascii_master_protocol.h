// Modbus ASCII master on a serial line: hex-encoded frames between ':' and CR LF, protected by
// the LRC. Accepts 7 or 8 data bits.
#ifndef MBUS_SERIAL_ASCII_MASTER_PROTOCOL_H
#define MBUS_SERIAL_ASCII_MASTER_PROTOCOL_H

#include "serial/ascii_framing.h"
#include "serial/serial_client_base.h"

class MbusAsciiMasterProtocol : public MbusSerialClientBase {
public:
    MbusAsciiMasterProtocol() = default;
    // Talks through port instead of the platform driver, and owns it.
    explicit MbusAsciiMasterProtocol(MbusSerialPort *port) : MbusSerialClientBase(port) {}
    ~MbusAsciiMasterProtocol() override;

    int transactOnce(int slaveAddr, int functionCode, const unsigned char *requestData, int requestLen,
                     unsigned char *replyData, int replyLen, int *receivedLen) override;

protected:
    // The request characters, then the reply characters, decoded in place.
    unsigned char asciiFrame[kAsciiMaxFrame] = {};
};

#endif
