// The flat C interface to the operations that every master has.
#include "capi/flat_handle.h"
#include "mbus.h"

using namespace mbus;

namespace mbus {
namespace {
// Runs an operation that returns a result code; a null handle gives MBUS_ILLEGAL_STATE.
template <class Operation>
int resultOf(MbusHandle handle, Operation operation)
{
    MbusMasterFunctions *master = toMaster(handle);
    return master ? operation(*master) : MBUS_ILLEGAL_STATE;
}

// Runs a getter; a null handle gives 0.
template <class Operation>
int valueOf(MbusHandle handle, Operation operation)
{
    MbusMasterFunctions *master = toMaster(handle);
    return master ? operation(*master) : 0;
}

// Runs an operation without result; a null handle does nothing.
template <class Operation>
void apply(MbusHandle handle, Operation operation)
{
    if (MbusMasterFunctions *master = toMaster(handle))
        operation(*master);
}
} // namespace
} // namespace mbus

extern "C" {

const char *mbusGetErrorText(int code)
{
    return MbusMasterFunctions::getErrorText(code);
}
const char *mbusGetPackageVersion(void)
{
    return MbusMasterFunctions::getPackageVersion();
}

void mbusDestroy(MbusHandle handle)
{
    delete toMaster(handle);
}

int mbusIsOpen(MbusHandle handle)
{
    return valueOf(handle, [](MbusMasterFunctions &m) { return m.isOpen(); });
}
void mbusCloseConnection(MbusHandle handle)
{
    apply(handle, [](MbusMasterFunctions &m) { m.closeConnection(); });
}

int mbusSetTimeout(MbusHandle handle, int timeOut)
{
    return resultOf(handle, [=](MbusMasterFunctions &m) { return m.setTimeout(timeOut); });
}
int mbusGetTimeout(MbusHandle handle)
{
    return valueOf(handle, [](MbusMasterFunctions &m) { return m.getTimeout(); });
}
int mbusSetPollDelay(MbusHandle handle, int pollDelay)
{
    return resultOf(handle, [=](MbusMasterFunctions &m) { return m.setPollDelay(pollDelay); });
}
int mbusGetPollDelay(MbusHandle handle)
{
    return valueOf(handle, [](MbusMasterFunctions &m) { return m.getPollDelay(); });
}
int mbusSetRetryCnt(MbusHandle handle, int retryCnt)
{
    return resultOf(handle, [=](MbusMasterFunctions &m) { return m.setRetryCnt(retryCnt); });
}
int mbusGetRetryCnt(MbusHandle handle)
{
    return valueOf(handle, [](MbusMasterFunctions &m) { return m.getRetryCnt(); });
}
int mbusGetTotalCounter(MbusHandle handle)
{
    return valueOf(handle, [](MbusMasterFunctions &m) { return m.getTotalCounter(); });
}
void mbusResetTotalCounter(MbusHandle handle)
{
    apply(handle, [](MbusMasterFunctions &m) { m.resetTotalCounter(); });
}
int mbusGetSuccessCounter(MbusHandle handle)
{
    return valueOf(handle, [](MbusMasterFunctions &m) { return m.getSuccessCounter(); });
}
void mbusResetSuccessCounter(MbusHandle handle)
{
    apply(handle, [](MbusMasterFunctions &m) { m.resetSuccessCounter(); });
}

void mbusConfigureOneBasedAddressing(MbusHandle handle)
{
    apply(handle, [](MbusMasterFunctions &m) { m.configureOneBasedAddressing(); });
}
int mbusConfigureOneBasedAddressingForSlave(MbusHandle handle, int slaveAddr)
{
    return resultOf(handle, [=](MbusMasterFunctions &m) { return m.configureOneBasedAddressing(slaveAddr); });
}
void mbusConfigureZeroBasedAddressing(MbusHandle handle)
{
    apply(handle, [](MbusMasterFunctions &m) { m.configureZeroBasedAddressing(); });
}
int mbusConfigureZeroBasedAddressingForSlave(MbusHandle handle, int slaveAddr)
{
    return resultOf(handle, [=](MbusMasterFunctions &m) { return m.configureZeroBasedAddressing(slaveAddr); });
}
void mbusConfigureLittleEndianInts(MbusHandle handle)
{
    apply(handle, [](MbusMasterFunctions &m) { m.configureLittleEndianInts(); });
}
int mbusConfigureLittleEndianIntsForSlave(MbusHandle handle, int slaveAddr)
{
    return resultOf(handle, [=](MbusMasterFunctions &m) { return m.configureLittleEndianInts(slaveAddr); });
}
void mbusConfigureBigEndianInts(MbusHandle handle)
{
    apply(handle, [](MbusMasterFunctions &m) { m.configureBigEndianInts(); });
}
int mbusConfigureBigEndianIntsForSlave(MbusHandle handle, int slaveAddr)
{
    return resultOf(handle, [=](MbusMasterFunctions &m) { return m.configureBigEndianInts(slaveAddr); });
}
void mbusConfigureLittleEndianFloats(MbusHandle handle)
{
    apply(handle, [](MbusMasterFunctions &m) { m.configureLittleEndianFloats(); });
}
int mbusConfigureLittleEndianFloatsForSlave(MbusHandle handle, int slaveAddr)
{
    return resultOf(handle, [=](MbusMasterFunctions &m) { return m.configureLittleEndianFloats(slaveAddr); });
}
void mbusConfigureBigEndianFloats(MbusHandle handle)
{
    apply(handle, [](MbusMasterFunctions &m) { m.configureBigEndianFloats(); });
}
int mbusConfigureBigEndianFloatsForSlave(MbusHandle handle, int slaveAddr)
{
    return resultOf(handle, [=](MbusMasterFunctions &m) { return m.configureBigEndianFloats(slaveAddr); });
}
void mbusConfigure32BitRegisterMode(MbusHandle handle)
{
    apply(handle, [](MbusMasterFunctions &m) { m.configure32BitRegisterMode(); });
}
int mbusConfigure32BitRegisterModeForSlave(MbusHandle handle, int slaveAddr)
{
    return resultOf(handle, [=](MbusMasterFunctions &m) { return m.configure32BitRegisterMode(slaveAddr); });
}
void mbusConfigureStandardRegisterMode(MbusHandle handle)
{
    apply(handle, [](MbusMasterFunctions &m) { m.configureStandardRegisterMode(); });
}
int mbusConfigureStandardRegisterModeForSlave(MbusHandle handle, int slaveAddr)
{
    return resultOf(handle, [=](MbusMasterFunctions &m) { return m.configureStandardRegisterMode(slaveAddr); });
}

int mbusReadCoils(MbusHandle handle, int slaveAddr, int startRef, int *bitArr, int refCnt)
{
    return resultOf(handle, [=](MbusMasterFunctions &m) { return m.readCoils(slaveAddr, startRef, bitArr, refCnt); });
}
int mbusReadInputDiscretes(MbusHandle handle, int slaveAddr, int startRef, int *bitArr, int refCnt)
{
    return resultOf(handle,
                    [=](MbusMasterFunctions &m) { return m.readInputDiscretes(slaveAddr, startRef, bitArr, refCnt); });
}
int mbusWriteCoil(MbusHandle handle, int slaveAddr, int bitAddr, int bitVal)
{
    return resultOf(handle, [=](MbusMasterFunctions &m) { return m.writeCoil(slaveAddr, bitAddr, bitVal); });
}
int mbusForceMultipleCoils(MbusHandle handle, int slaveAddr, int startRef, const int *bitArr, int refCnt)
{
    return resultOf(handle,
                    [=](MbusMasterFunctions &m) { return m.forceMultipleCoils(slaveAddr, startRef, bitArr, refCnt); });
}

int mbusReadMultipleRegisters(MbusHandle handle, int slaveAddr, int startRef, short *regArr, int refCnt)
{
    return resultOf(
        handle, [=](MbusMasterFunctions &m) { return m.readMultipleRegisters(slaveAddr, startRef, regArr, refCnt); });
}
int mbusReadInputRegisters(MbusHandle handle, int slaveAddr, int startRef, short *regArr, int refCnt)
{
    return resultOf(handle,
                    [=](MbusMasterFunctions &m) { return m.readInputRegisters(slaveAddr, startRef, regArr, refCnt); });
}
int mbusWriteSingleRegister(MbusHandle handle, int slaveAddr, int regAddr, short regVal)
{
    return resultOf(handle, [=](MbusMasterFunctions &m) { return m.writeSingleRegister(slaveAddr, regAddr, regVal); });
}
int mbusWriteMultipleRegisters(MbusHandle handle, int slaveAddr, int startRef, const short *regArr, int refCnt)
{
    return resultOf(
        handle, [=](MbusMasterFunctions &m) { return m.writeMultipleRegisters(slaveAddr, startRef, regArr, refCnt); });
}
int mbusMaskWriteRegister(MbusHandle handle, int slaveAddr, int regAddr, short andMask, short orMask)
{
    return resultOf(handle,
                    [=](MbusMasterFunctions &m) { return m.maskWriteRegister(slaveAddr, regAddr, andMask, orMask); });
}
int mbusReadWriteRegisters(MbusHandle handle, int slaveAddr, int readRef, short *readArr, int readCnt, int writeRef,
                           const short *writeArr, int writeCnt)
{
    return resultOf(handle, [=](MbusMasterFunctions &m) {
        return m.readWriteRegisters(slaveAddr, readRef, readArr, readCnt, writeRef, writeArr, writeCnt);
    });
}

int mbusReadMultipleLongInts(MbusHandle handle, int slaveAddr, int startRef, int *int32Arr, int refCnt)
{
    return resultOf(
        handle, [=](MbusMasterFunctions &m) { return m.readMultipleLongInts(slaveAddr, startRef, int32Arr, refCnt); });
}
int mbusReadInputLongInts(MbusHandle handle, int slaveAddr, int startRef, int *int32Arr, int refCnt)
{
    return resultOf(handle,
                    [=](MbusMasterFunctions &m) { return m.readInputLongInts(slaveAddr, startRef, int32Arr, refCnt); });
}
int mbusReadMultipleFloats(MbusHandle handle, int slaveAddr, int startRef, float *floatArr, int refCnt)
{
    return resultOf(
        handle, [=](MbusMasterFunctions &m) { return m.readMultipleFloats(slaveAddr, startRef, floatArr, refCnt); });
}
int mbusReadInputFloats(MbusHandle handle, int slaveAddr, int startRef, float *floatArr, int refCnt)
{
    return resultOf(handle,
                    [=](MbusMasterFunctions &m) { return m.readInputFloats(slaveAddr, startRef, floatArr, refCnt); });
}
int mbusReadMultipleMod10000(MbusHandle handle, int slaveAddr, int startRef, int *int32Arr, int refCnt)
{
    return resultOf(
        handle, [=](MbusMasterFunctions &m) { return m.readMultipleMod10000(slaveAddr, startRef, int32Arr, refCnt); });
}
int mbusReadInputMod10000(MbusHandle handle, int slaveAddr, int startRef, int *int32Arr, int refCnt)
{
    return resultOf(handle,
                    [=](MbusMasterFunctions &m) { return m.readInputMod10000(slaveAddr, startRef, int32Arr, refCnt); });
}
int mbusWriteMultipleLongInts(MbusHandle handle, int slaveAddr, int startRef, const int *int32Arr, int refCnt)
{
    return resultOf(
        handle, [=](MbusMasterFunctions &m) { return m.writeMultipleLongInts(slaveAddr, startRef, int32Arr, refCnt); });
}
int mbusWriteMultipleFloats(MbusHandle handle, int slaveAddr, int startRef, const float *floatArr, int refCnt)
{
    return resultOf(
        handle, [=](MbusMasterFunctions &m) { return m.writeMultipleFloats(slaveAddr, startRef, floatArr, refCnt); });
}
int mbusWriteMultipleMod10000(MbusHandle handle, int slaveAddr, int startRef, const int *int32Arr, int refCnt)
{
    return resultOf(
        handle, [=](MbusMasterFunctions &m) { return m.writeMultipleMod10000(slaveAddr, startRef, int32Arr, refCnt); });
}

int mbusReadExceptionStatus(MbusHandle handle, int slaveAddr, unsigned char *statusByte)
{
    return resultOf(handle, [=](MbusMasterFunctions &m) { return m.readExceptionStatus(slaveAddr, statusByte); });
}
int mbusReturnQueryData(MbusHandle handle, int slaveAddr, const unsigned char *queryArr, unsigned char *echoArr,
                        int len)
{
    return resultOf(handle,
                    [=](MbusMasterFunctions &m) { return m.returnQueryData(slaveAddr, queryArr, echoArr, len); });
}
int mbusRestartCommunicationsOption(MbusHandle handle, int slaveAddr, int clearEventLog)
{
    return resultOf(handle,
                    [=](MbusMasterFunctions &m) { return m.restartCommunicationsOption(slaveAddr, clearEventLog); });
}

int mbusCustomFunction(MbusHandle handle, int slaveAddr, int functionCode, const unsigned char *requestData,
                       int requestLen, unsigned char *replyData, int *replyLen)
{
    return resultOf(handle, [=](MbusMasterFunctions &m) {
        // Negative lengths cannot become sizes: they are refused before anything is touched.
        if (replyLen == nullptr || requestLen < 0 || *replyLen < 0)
            return static_cast<int>(MBUS_ILLEGAL_ARGUMENT);
        std::size_t length = static_cast<std::size_t>(*replyLen);
        int result = m.customFunction(slaveAddr, functionCode, requestData, static_cast<std::size_t>(requestLen),
                                      replyData, &length);
        *replyLen = static_cast<int>(length);
        return result;
    });
}

void mbusConfigureSwappedBytes(MbusHandle handle)
{
    apply(handle, [=](MbusMasterFunctions &m) { m.configureSwappedBytes(); });
}
int mbusConfigureSwappedBytesForSlave(MbusHandle handle, int slaveAddr)
{
    return resultOf(handle, [=](MbusMasterFunctions &m) { return m.configureSwappedBytes(slaveAddr); });
}
void mbusConfigureStandardBytes(MbusHandle handle)
{
    apply(handle, [=](MbusMasterFunctions &m) { m.configureStandardBytes(); });
}
int mbusConfigureStandardBytesForSlave(MbusHandle handle, int slaveAddr)
{
    return resultOf(handle, [=](MbusMasterFunctions &m) { return m.configureStandardBytes(slaveAddr); });
}
int mbusReadMultipleUnsigned16(MbusHandle handle, int slaveAddr, int startRef, uint16_t *valueArr, int refCnt)
{
    return resultOf(handle, [=](MbusMasterFunctions &m) {
        return m.readMultipleUnsigned16(slaveAddr, startRef, valueArr, refCnt);
    });
}
int mbusReadInputUnsigned16(MbusHandle handle, int slaveAddr, int startRef, uint16_t *valueArr, int refCnt)
{
    return resultOf(
        handle, [=](MbusMasterFunctions &m) { return m.readInputUnsigned16(slaveAddr, startRef, valueArr, refCnt); });
}
int mbusReadMultipleUnsigned32(MbusHandle handle, int slaveAddr, int startRef, uint32_t *valueArr, int refCnt)
{
    return resultOf(handle, [=](MbusMasterFunctions &m) {
        return m.readMultipleUnsigned32(slaveAddr, startRef, valueArr, refCnt);
    });
}
int mbusReadInputUnsigned32(MbusHandle handle, int slaveAddr, int startRef, uint32_t *valueArr, int refCnt)
{
    return resultOf(
        handle, [=](MbusMasterFunctions &m) { return m.readInputUnsigned32(slaveAddr, startRef, valueArr, refCnt); });
}
int mbusReadMultipleLongLongs(MbusHandle handle, int slaveAddr, int startRef, int64_t *valueArr, int refCnt)
{
    return resultOf(
        handle, [=](MbusMasterFunctions &m) { return m.readMultipleLongLongs(slaveAddr, startRef, valueArr, refCnt); });
}
int mbusReadInputLongLongs(MbusHandle handle, int slaveAddr, int startRef, int64_t *valueArr, int refCnt)
{
    return resultOf(
        handle, [=](MbusMasterFunctions &m) { return m.readInputLongLongs(slaveAddr, startRef, valueArr, refCnt); });
}
int mbusWriteMultipleLongLongs(MbusHandle handle, int slaveAddr, int startRef, const int64_t *valueArr, int refCnt)
{
    return resultOf(handle, [=](MbusMasterFunctions &m) {
        return m.writeMultipleLongLongs(slaveAddr, startRef, valueArr, refCnt);
    });
}
int mbusReadMultipleUnsignedLongLongs(MbusHandle handle, int slaveAddr, int startRef, uint64_t *valueArr, int refCnt)
{
    return resultOf(handle, [=](MbusMasterFunctions &m) {
        return m.readMultipleUnsignedLongLongs(slaveAddr, startRef, valueArr, refCnt);
    });
}
int mbusReadInputUnsignedLongLongs(MbusHandle handle, int slaveAddr, int startRef, uint64_t *valueArr, int refCnt)
{
    return resultOf(handle, [=](MbusMasterFunctions &m) {
        return m.readInputUnsignedLongLongs(slaveAddr, startRef, valueArr, refCnt);
    });
}
int mbusWriteMultipleUnsignedLongLongs(MbusHandle handle, int slaveAddr, int startRef, const uint64_t *valueArr,
                                       int refCnt)
{
    return resultOf(handle, [=](MbusMasterFunctions &m) {
        return m.writeMultipleUnsignedLongLongs(slaveAddr, startRef, valueArr, refCnt);
    });
}
int mbusReadMultipleDoubles(MbusHandle handle, int slaveAddr, int startRef, double *valueArr, int refCnt)
{
    return resultOf(
        handle, [=](MbusMasterFunctions &m) { return m.readMultipleDoubles(slaveAddr, startRef, valueArr, refCnt); });
}
int mbusReadInputDoubles(MbusHandle handle, int slaveAddr, int startRef, double *valueArr, int refCnt)
{
    return resultOf(handle,
                    [=](MbusMasterFunctions &m) { return m.readInputDoubles(slaveAddr, startRef, valueArr, refCnt); });
}
int mbusWriteMultipleDoubles(MbusHandle handle, int slaveAddr, int startRef, const double *valueArr, int refCnt)
{
    return resultOf(
        handle, [=](MbusMasterFunctions &m) { return m.writeMultipleDoubles(slaveAddr, startRef, valueArr, refCnt); });
}
int mbusReadMultipleText(MbusHandle handle, int slaveAddr, int startRef, char *text, int textSize, int regCnt)
{
    return resultOf(handle, [=](MbusMasterFunctions &m) {
        return m.readMultipleText(slaveAddr, startRef, text, textSize, regCnt);
    });
}
int mbusReadInputText(MbusHandle handle, int slaveAddr, int startRef, char *text, int textSize, int regCnt)
{
    return resultOf(
        handle, [=](MbusMasterFunctions &m) { return m.readInputText(slaveAddr, startRef, text, textSize, regCnt); });
}
int mbusWriteMultipleText(MbusHandle handle, int slaveAddr, int startRef, const char *text, int regCnt)
{
    return resultOf(handle,
                    [=](MbusMasterFunctions &m) { return m.writeMultipleText(slaveAddr, startRef, text, regCnt); });
}
int mbusReadDeviceIdentification(MbusHandle handle, int slaveAddr, int readDevIdCode, int objectId,
                                 MbusDeviceIdObject *objects, int objectCap, int *objectCnt, unsigned char *data,
                                 int dataCap, int *conformityLevel)
{
    return resultOf(handle, [=](MbusMasterFunctions &m) {
        return m.readDeviceIdentification(slaveAddr, readDevIdCode, objectId, objects, objectCap, objectCnt, data,
                                          dataCap, conformityLevel);
    });
}
int mbusReportServerId(MbusHandle handle, int slaveAddr, int idLen, unsigned char *id, int idCap, unsigned char *rest,
                       int restCap, MbusServerIdReply *reply)
{
    return resultOf(handle, [=](MbusMasterFunctions &m) {
        return m.reportServerId(slaveAddr, idLen, id, idCap, rest, restCap, reply);
    });
}
int mbusReadFileRecords(MbusHandle handle, int slaveAddr, const MbusFileSubRequest *subs, int subCnt, short *regArr,
                        int regCap)
{
    return resultOf(handle,
                    [=](MbusMasterFunctions &m) { return m.readFileRecords(slaveAddr, subs, subCnt, regArr, regCap); });
}
int mbusWriteFileRecords(MbusHandle handle, int slaveAddr, const MbusFileSubRequest *subs, int subCnt,
                         const short *regArr, int regCnt)
{
    return resultOf(
        handle, [=](MbusMasterFunctions &m) { return m.writeFileRecords(slaveAddr, subs, subCnt, regArr, regCnt); });
}
int mbusReadFifoQueue(MbusHandle handle, int slaveAddr, int fifoRef, short *valueArr, int valueCap, int *valueCnt)
{
    return resultOf(handle, [=](MbusMasterFunctions &m) {
        return m.readFifoQueue(slaveAddr, fifoRef, valueArr, valueCap, valueCnt);
    });
}
void mbusSetFrameTrace(MbusHandle handle, MbusFrameTrace trace, void *user)
{
    apply(handle, [=](MbusMasterFunctions &m) { m.setFrameTrace(trace, user); });
}

} // extern "C"
