#include "serial/elam_master_protocol.h"

#include <cstring>

#include "codec/wire_format.h"

namespace mbus {

MbusElamMasterProtocol::MbusElamMasterProtocol()
{
    slaveOptionTable = elamSlaveOptions;
    useTransport(&elam, &serialLink);
}

MbusElamMasterProtocol::MbusElamMasterProtocol(MbusSerialPort *port) : MbusRtuMasterProtocol(port)
{
    slaveOptionTable = elamSlaveOptions;
    useTransport(&elam, &serialLink);
}

MbusElamMasterProtocol::~MbusElamMasterProtocol() = default;

int MbusElamMasterProtocol::getMaxSlaveAddress()
{
    return kElamMaxSlave;
}

int MbusElamMasterProtocol::readRegisterBlock(int functionCode, int slaveAddr, int startRef, short regArr[], int regCnt,
                                              int countField)
{
    if (slaveAddr < kElamFirstExtendedSlave)
        return MbusMasterFunctions::readRegisterBlock(functionCode, slaveAddr, startRef, regArr, regCnt, countField);

    if (regCnt > 0 && regArr == nullptr)
        return MBUS_ILLEGAL_ARGUMENT;
    if (regCnt > 0)
        std::memset(regArr, 0, sizeof(short) * static_cast<std::size_t>(regCnt));
    if (slaveAddr > kElamMaxSlave)
        return MBUS_ILLEGAL_ARGUMENT;
    long address = wireAddress(slaveAddr, startRef);
    if (address < 0 || regCnt < 1 || regCnt > kElamMaxRegisters)
        return MBUS_ILLEGAL_ARGUMENT;

    putU16(elamData, static_cast<unsigned>(address));
    putU16(elamData + 2, static_cast<unsigned>(countField) & 0xFFFFu);
    const int byteCount = 2 * regCnt;
    int received = 0;
    int result = transact(slaveAddr, functionCode, elamData, 4, elamData, byteCount + 2, &received);
    if (result != MBUS_SUCCESS)
        return result;
    if (received != byteCount + 2 || getU16(elamData) != static_cast<unsigned>(byteCount))
        return MBUS_INVALID_REPLY_ERROR;
    for (int i = 0; i < regCnt; ++i)
        regArr[i] = static_cast<short>(getU16(elamData + 2 + 2 * i));
    return MBUS_SUCCESS;
}

} // namespace mbus
