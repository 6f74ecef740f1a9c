#include "serial/elam_master_protocol.h"

#include <cstring>

#include "protocol/wire_format.h"

MbusElamMasterProtocol::MbusElamMasterProtocol()
{
    slaveOptionTable = elamSlaveOptions;
}

MbusElamMasterProtocol::MbusElamMasterProtocol(MbusSerialPort *port) : MbusRtuMasterProtocol(port)
{
    slaveOptionTable = elamSlaveOptions;
}

MbusElamMasterProtocol::~MbusElamMasterProtocol() = default;

int MbusElamMasterProtocol::getMaxSlaveAddress()
{
    return kElamMaxSlave;
}

int MbusElamMasterProtocol::readRegisterBlock(int functionCode, int slaveAddr, int startRef, short regArr[],
                                              int regCnt, int countField)
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

int MbusElamMasterProtocol::transactOnce(int slaveAddr, int functionCode, const unsigned char *requestData,
                                         int requestLen, unsigned char *replyData, int replyLen, int *receivedLen)
{
    if (slaveAddr < kElamFirstExtendedSlave)
        return MbusRtuMasterProtocol::transactOnce(slaveAddr, functionCode, requestData, requestLen, replyData,
                                                   replyLen, receivedLen);

    if (receivedLen != nullptr)
        *receivedLen = 0;
    // Lengths beyond the frame buffer are refused, not written past its end.
    if (slaveAddr > kElamMaxSlave || requestLen < 0 || requestLen > kElamMaxData ||
        (requestLen > 0 && requestData == nullptr) || replyLen > kElamMaxData ||
        (replyLen > 0 && replyData == nullptr))
        return MBUS_ILLEGAL_ARGUMENT;
    if (!isOpen())
        return MBUS_ILLEGAL_STATE;

    ++totalCounter;
    int frameLen = buildElamFrame(elamFrame, slaveAddr, functionCode, requestData, requestLen);
    int result = sendRequest(elamFrame, frameLen, silenceInterval);
    if (result != MBUS_SUCCESS)
        return result;
    // No broadcast among extended addresses; only a request without reply data skips the read.
    if (replyLen <= 0) {
        ++successCounter;
        return MBUS_SUCCESS;
    }

    result = receiveBytes(elamFrame, kElamExceptionFrame);
    if (result != MBUS_SUCCESS)
        return result;
    int replyFrameLen = elamReplyFrameLength(elamFrame[2], replyLen);
    if (replyFrameLen > kElamExceptionFrame) {
        result = receiveBytes(elamFrame + kElamExceptionFrame, replyFrameLen - kElamExceptionFrame);
        if (result != MBUS_SUCCESS)
            return result;
    }
    result = checkElamReply(elamFrame, replyFrameLen, slaveAddr, functionCode);
    if (result != MBUS_SUCCESS)
        return result;
    return deliverReply(elamFrame + 3, replyFrameLen - 5, replyData, replyLen, receivedLen);
}
