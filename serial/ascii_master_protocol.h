// Modbus ASCII master on a serial line: hex-encoded frames between ':' and CR LF, protected by
// the LRC. Accepts 7 or 8 data bits; no line-silence test, frames are delimited by characters.
#ifndef MBUS_SERIAL_ASCII_MASTER_PROTOCOL_H
#define MBUS_SERIAL_ASCII_MASTER_PROTOCOL_H

#include "codec/ascii_codec.h"
#include "serial/serial_client_base.h"

namespace mbus {

class MbusAsciiMasterProtocol : public MbusSerialClientBase {
public:
    MbusAsciiMasterProtocol();
    // Talks through port instead of the platform driver, and owns it.
    explicit MbusAsciiMasterProtocol(MbusSerialPort *port);
    ~MbusAsciiMasterProtocol() override;

private:
    AsciiCodec ascii;
};

} // namespace mbus

#endif
