// Function codes 43/14, 17, 20, 21 and 24: device identification, report server id, file records
// and FIFO queues. Their replies announce their own lengths, so each asks for a whole PDU.
#include <cstring>

#include "protocol/device_identification.h"
#include "protocol/fifo_queue.h"
#include "protocol/file_record.h"
#include "protocol/master_functions.h"
#include "protocol/server_id.h"

namespace mbus {

namespace {
// Object ids rise strictly along a chain, so 256 replies name every object there is; a device
// that goes on past that is not followed.
constexpr int kMaxDeviceIdReplies = 256;
constexpr int kMaxFileRegisters = 125;
} // namespace

int MbusMasterFunctions::readDeviceIdentification(int slaveAddr, int readDevIdCode, int objectId,
                                                  MbusDeviceIdObject objects[], int objectCap, int *objectCnt,
                                                  unsigned char data[], int dataCap, int *conformityLevel)
{
    if (objectCnt != nullptr)
        *objectCnt = 0;
    if (conformityLevel != nullptr)
        *conformityLevel = 0;
    DeviceIdentification chain;
    if (objectCnt == nullptr || !isValidSlave(slaveAddr) ||
        chain.begin(readDevIdCode, objectId, objects, objectCap, data, dataCap) != MBUS_SUCCESS)
        return MBUS_ILLEGAL_ARGUMENT;
    int result = MBUS_SUCCESS;
    for (int replies = 0; !chain.finished() && result == MBUS_SUCCESS; ++replies) {
        if (replies == kMaxDeviceIdReplies) {
            result = MBUS_INVALID_REPLY_ERROR;
            break;
        }
        unsigned char request[DeviceIdentification::kRequestLength];
        chain.request(request);
        int received = 0;
        result = transact(slaveAddr, DeviceIdentification::kFunctionCode, request, DeviceIdentification::kRequestLength,
                          pduBuffer, kMaxPduData, &received);
        if (result == MBUS_SUCCESS)
            result = chain.takeReply(pduBuffer, received);
    }
    if (result != MBUS_SUCCESS) {
        chain.clear();
        return result;
    }
    *objectCnt = chain.objectCount();
    if (conformityLevel != nullptr)
        *conformityLevel = chain.conformityLevel();
    return MBUS_SUCCESS;
}

int MbusMasterFunctions::reportServerId(int slaveAddr, int idLen, unsigned char id[], int idCap, unsigned char rest[],
                                        int restCap, MbusServerIdReply *reply)
{
    // The parser checks and clears the buffers first; an empty reply stands in for none.
    int result = parseServerIdReply(nullptr, 0, idLen, id, idCap, rest, restCap, reply);
    if (result == MBUS_ILLEGAL_ARGUMENT || !isValidSlave(slaveAddr))
        return MBUS_ILLEGAL_ARGUMENT;
    int received = 0;
    result = transact(slaveAddr, kReportServerIdFunction, nullptr, 0, pduBuffer, kMaxPduData, &received);
    if (result != MBUS_SUCCESS)
        return result;
    return parseServerIdReply(pduBuffer, received, idLen, id, idCap, rest, restCap, reply);
}

int MbusMasterFunctions::readFileRecords(int slaveAddr, const MbusFileSubRequest subs[], int subCnt, short regArr[],
                                         int regCap)
{
    if (regCap < 0 || (regCap > 0 && regArr == nullptr))
        return MBUS_ILLEGAL_ARGUMENT;
    if (regCap > 0)
        std::memset(regArr, 0, sizeof(short) * static_cast<std::size_t>(regCap));
    int requestLen = 0;
    if (!isValidSlave(slaveAddr) ||
        buildReadFileRecordRequest(subs, subCnt, pduBuffer, kMaxPduData, &requestLen) != MBUS_SUCCESS)
        return MBUS_ILLEGAL_ARGUMENT;
    // A read reply holds at most 125 registers, so the capacity beyond that is not needed.
    std::uint16_t regs[kMaxFileRegisters];
    const int cap = regCap < kMaxFileRegisters ? regCap : kMaxFileRegisters;
    // Checked before sending: the parser would only find out after the transaction.
    if (parseReadFileRecordReply(nullptr, 0, subs, subCnt, regs, cap) == MBUS_ILLEGAL_ARGUMENT)
        return MBUS_ILLEGAL_ARGUMENT;
    int received = 0;
    int result = transact(slaveAddr, kReadFileRecordFunction, pduBuffer, requestLen, pduBuffer, kMaxPduData, &received);
    if (result != MBUS_SUCCESS)
        return result;
    result = parseReadFileRecordReply(pduBuffer, received, subs, subCnt, regs, cap);
    if (result != MBUS_SUCCESS)
        return result;
    int total = 0;
    for (int i = 0; i < subCnt; ++i)
        total += subs[i].recordLen;
    std::memcpy(regArr, regs, sizeof(short) * static_cast<std::size_t>(total));
    return MBUS_SUCCESS;
}

int MbusMasterFunctions::writeFileRecords(int slaveAddr, const MbusFileSubRequest subs[], int subCnt,
                                          const short regArr[], int regCnt)
{
    if (!isValidSlave(slaveAddr) || regCnt < 1 || regCnt > kMaxFileRegisters || regArr == nullptr)
        return MBUS_ILLEGAL_ARGUMENT;
    std::uint16_t regs[kMaxFileRegisters];
    std::memcpy(regs, regArr, sizeof(short) * static_cast<std::size_t>(regCnt));
    unsigned char request[kMaxPduData];
    int requestLen = 0;
    if (buildWriteFileRecordRequest(subs, subCnt, regs, regCnt, request, kMaxPduData, &requestLen) != MBUS_SUCCESS)
        return MBUS_ILLEGAL_ARGUMENT;
    int received = 0;
    // The reply echoes the request, so its length is known.
    int result = transact(slaveAddr, kWriteFileRecordFunction, request, requestLen, pduBuffer, requestLen, &received);
    if (result != MBUS_SUCCESS)
        return result;
    // A broadcast is not answered on a serial line; there is nothing to compare then.
    if (slaveAddr == 0 && received == 0)
        return MBUS_SUCCESS;
    return checkWriteFileRecordReply(pduBuffer, received, request, requestLen);
}

int MbusMasterFunctions::readFifoQueue(int slaveAddr, int fifoRef, short valueArr[], int valueCap, int *valueCnt)
{
    if (valueCnt != nullptr)
        *valueCnt = 0;
    if (valueCnt == nullptr || valueCap < 0 || (valueCap > 0 && valueArr == nullptr))
        return MBUS_ILLEGAL_ARGUMENT;
    if (valueCap > 0)
        std::memset(valueArr, 0, sizeof(short) * static_cast<std::size_t>(valueCap));
    if (!isValidSlave(slaveAddr) || buildReadFifoRequest(wireAddress(slaveAddr, fifoRef), pduBuffer) != MBUS_SUCCESS)
        return MBUS_ILLEGAL_ARGUMENT;
    int received = 0;
    int result =
        transact(slaveAddr, kReadFifoFunction, pduBuffer, kFifoRequestLength, pduBuffer, kMaxPduData, &received);
    if (result != MBUS_SUCCESS)
        return result;
    std::uint16_t values[kMaxFifoCount];
    const int cap = valueCap < kMaxFifoCount ? valueCap : kMaxFifoCount;
    result = parseReadFifoReply(pduBuffer, received, values, cap, valueCnt);
    if (result != MBUS_SUCCESS)
        return result;
    std::memcpy(valueArr, values, sizeof(short) * static_cast<std::size_t>(*valueCnt));
    return MBUS_SUCCESS;
}

} // namespace mbus
