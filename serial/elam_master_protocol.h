// RTU master with extended slave addresses: slaves 248..2295 are reached with a two-byte address
// field and may return up to 2500 registers in one read. Slaves 0..247 are plain RTU.
#ifndef MBUS_SERIAL_ELAM_MASTER_PROTOCOL_H
#define MBUS_SERIAL_ELAM_MASTER_PROTOCOL_H

#include "codec/elam_codec.h"
#include "serial/rtu_master_protocol.h"

namespace mbus {

class MbusElamMasterProtocol : public MbusRtuMasterProtocol {
public:
    MbusElamMasterProtocol();
    // Talks through port instead of the platform driver, and owns it.
    explicit MbusElamMasterProtocol(MbusSerialPort *port);
    ~MbusElamMasterProtocol() override;

    int getMaxSlaveAddress() override;
    // Extended slaves: 1..2500 registers with a two-byte byte count in the reply.
    int readRegisterBlock(int functionCode, int slaveAddr, int startRef, short regArr[], int regCnt,
                          int countField) override;

protected:
    // Request and reply data of an extended register read.
    unsigned char elamData[kElamMaxData] = {};
    // Frames both extended and standard slaves.
    ElamCodec elam;
    // One option byte per slave 0..2295; slaveOptionTable points here.
    unsigned char elamSlaveOptions[kElamMaxSlave + 1] = {};
};

} // namespace mbus

#endif
