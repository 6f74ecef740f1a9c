// Function codes 7 and 8, and the pass-through for any function code.
#include <cstring>

#include "protocol/master_functions.h"

namespace mbus {

namespace {
constexpr int kReadExceptionStatus = 7;
constexpr int kDiagnostics = 8;
constexpr int kMaxQueryBytes = 250;
constexpr int kMaxFunctionCode = 127;
} // namespace

int MbusMasterFunctions::readExceptionStatus(int slaveAddr, unsigned char *statusByte)
{
    if (!isValidSlave(slaveAddr) || statusByte == nullptr)
        return MBUS_ILLEGAL_ARGUMENT;
    int received = 0;
    int result = transact(slaveAddr, kReadExceptionStatus, pduBuffer, 0, pduBuffer, 1, &received);
    if (result != MBUS_SUCCESS)
        return result;
    // Without its one data byte the reply carries no status; stale buffer bytes are not one.
    if (received < 1 && slaveAddr != 0)
        return MBUS_INVALID_REPLY_ERROR;
    if (received >= 1)
        *statusByte = pduBuffer[0];
    return MBUS_SUCCESS;
}

int MbusMasterFunctions::returnQueryData(int slaveAddr, const unsigned char queryArr[], unsigned char echoArr[],
                                         int len)
{
    if (len > 0 && (queryArr == nullptr || echoArr == nullptr))
        return MBUS_ILLEGAL_ARGUMENT;
    if (len > 0)
        std::memset(echoArr, 0, static_cast<std::size_t>(len));
    if (!isValidSlave(slaveAddr) || len < 1 || len > kMaxQueryBytes)
        return MBUS_ILLEGAL_ARGUMENT;

    pduBuffer[0] = 0x00; // sub-function 0: return query data
    pduBuffer[1] = 0x00;
    std::memcpy(pduBuffer + 2, queryArr, static_cast<std::size_t>(len));
    int received = 0;
    int result = transact(slaveAddr, kDiagnostics, pduBuffer, len + 2, pduBuffer, len + 2, &received);
    if (result != MBUS_SUCCESS)
        return result;
    std::memcpy(echoArr, pduBuffer + 2, static_cast<std::size_t>(len));
    if (received != len + 2 || std::memcmp(echoArr, queryArr, static_cast<std::size_t>(len)) != 0)
        return MBUS_INVALID_REPLY_ERROR;
    return MBUS_SUCCESS;
}

int MbusMasterFunctions::restartCommunicationsOption(int slaveAddr, int clearEventLog)
{
    if (!isValidSlave(slaveAddr))
        return MBUS_ILLEGAL_ARGUMENT;
    pduBuffer[0] = 0x00; // sub-function 1: restart communications option
    pduBuffer[1] = 0x01;
    pduBuffer[2] = clearEventLog ? 0xFF : 0x00;
    pduBuffer[3] = 0x00;
    return transact(slaveAddr, kDiagnostics, pduBuffer, 4, pduBuffer, 4, nullptr);
}

int MbusMasterFunctions::customFunction(int slaveAddr, int functionCode, const unsigned char requestData[],
                                        std::size_t requestLen, unsigned char replyData[], std::size_t *replyLen)
{
    if (replyLen == nullptr)
        return MBUS_ILLEGAL_ARGUMENT;
    // Lengths are checked before anything is cleared, so no length can reach past a buffer.
    const std::size_t expected = *replyLen;
    if (!isValidSlave(slaveAddr) || functionCode < 1 || functionCode > kMaxFunctionCode ||
        requestLen > static_cast<std::size_t>(kMaxPduData) || expected > static_cast<std::size_t>(kMaxPduData) ||
        (requestLen > 0 && requestData == nullptr) || (expected > 0 && replyData == nullptr))
        return MBUS_ILLEGAL_ARGUMENT;
    if (expected > 0)
        std::memset(replyData, 0, expected);

    int received = 0;
    int result = transact(slaveAddr, functionCode, requestData, static_cast<int>(requestLen), replyData,
                          static_cast<int>(expected), &received);
    *replyLen = static_cast<std::size_t>(received);
    return result;
}

} // namespace mbus
