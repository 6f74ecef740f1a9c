#include "tests/extension/fake_library.h"

#include <string>

#include "mbus.h"

namespace {

FakeMaster *master(MbusHandle handle)
{
    return reinterpret_cast<FakeMaster *>(handle);
}

// The scripted result for this function, used once; 0 if none.
int scripted(const std::string &function)
{
    auto &results = fakeLibrary().results;
    const auto found = results.find(function);
    if (found == results.end())
        return 0;
    const int result = found->second;
    results.erase(found);
    return result;
}

void logCall(const std::string &text)
{
    fakeLibrary().calls.push_back(text);
}

// Data calls: null handle 2, start reference beyond 65536 refused as the library does, then the
// scripted result.
int dataCall(const char *function, MbusHandle handle, int slave, int ref, int count)
{
    logCall(std::string(function) + " " + std::to_string(slave) + " " + std::to_string(ref) +
            " " + std::to_string(count));
    if (handle == nullptr)
        return MBUS_ILLEGAL_STATE;
    if (ref < 1 || ref > 65536)
        return MBUS_ILLEGAL_ARGUMENT;
    return scripted(function);
}

} // namespace

int FakeLibrary::liveMasters() const
{
    int live = 0;
    for (const FakeMaster *m : masters)
        live += m->destroyed ? 0 : 1;
    return live;
}

void FakeLibrary::reset()
{
    for (FakeMaster *m : masters)
        delete m;
    *this = FakeLibrary();
}

FakeLibrary &fakeLibrary()
{
    static FakeLibrary library;
    return library;
}

extern "C" {

const char *mbusGetErrorText(int code)
{
    static std::string text;
    text = "library text " + std::to_string(code);
    return text.c_str();
}

MbusHandle mbusNewTcpMaster(void)
{
    if (fakeLibrary().failNew)
        return nullptr;
    fakeLibrary().masters.push_back(new FakeMaster());
    return reinterpret_cast<MbusHandle>(fakeLibrary().masters.back());
}

void mbusDestroy(MbusHandle handle)
{
    if (handle != nullptr) {
        master(handle)->open = false;
        master(handle)->destroyed = true;
    }
}

int mbusIsOpen(MbusHandle handle)
{
    return handle != nullptr && master(handle)->open ? 1 : 0;
}

void mbusCloseConnection(MbusHandle handle)
{
    if (handle != nullptr) {
        master(handle)->open = false;
        ++master(handle)->closes;
    }
}

int mbusOpenConnection(MbusHandle handle, const char *hostName)
{
    if (handle == nullptr)
        return MBUS_ILLEGAL_STATE;
    if (master(handle)->open)
        return MBUS_ILLEGAL_STATE;
    ++master(handle)->opens;
    if (fakeLibrary().openResult != 0)
        return fakeLibrary().openResult;
    master(handle)->open = true;
    master(handle)->openedHost = hostName;
    return 0;
}

int mbusSetPort(MbusHandle handle, unsigned short port)
{
    if (handle == nullptr || master(handle)->open)
        return MBUS_ILLEGAL_STATE;
    master(handle)->port = port;
    return 0;
}

int mbusGetPort(MbusHandle handle)
{
    return handle != nullptr ? master(handle)->port : 0;
}

int mbusSetTimeout(MbusHandle handle, int timeOut)
{
    if (handle == nullptr)
        return MBUS_ILLEGAL_STATE;
    if (timeOut < 1 || timeOut > 100000)
        return MBUS_ILLEGAL_ARGUMENT;
    if (master(handle)->open)
        return MBUS_ILLEGAL_STATE;
    master(handle)->timeout = timeOut;
    return 0;
}

int mbusSetPollDelay(MbusHandle handle, int pollDelay)
{
    if (handle == nullptr)
        return MBUS_ILLEGAL_STATE;
    if (static_cast<unsigned>(pollDelay) > 100000u)
        return MBUS_ILLEGAL_ARGUMENT;
    if (master(handle)->open)
        return MBUS_ILLEGAL_STATE;
    master(handle)->pollDelay = pollDelay;
    return 0;
}

void mbusConfigureLittleEndianFloats(MbusHandle handle)
{
    if (handle != nullptr)
        master(handle)->littleEndianFloats = true;
}

int mbusReadCoils(MbusHandle handle, int slaveAddr, int startRef, int *bitArr, int refCnt)
{
    const int r = dataCall("mbusReadCoils", handle, slaveAddr, startRef, refCnt);
    if (r == 0)
        bitArr[0] = fakeLibrary().bitValue;
    return r;
}

int mbusReadInputDiscretes(MbusHandle handle, int slaveAddr, int startRef, int *bitArr, int refCnt)
{
    const int r = dataCall("mbusReadInputDiscretes", handle, slaveAddr, startRef, refCnt);
    if (r == 0)
        bitArr[0] = fakeLibrary().bitValue;
    return r;
}

int mbusReadMultipleRegisters(MbusHandle handle, int slaveAddr, int startRef, short *regArr,
                              int refCnt)
{
    const int r = dataCall("mbusReadMultipleRegisters", handle, slaveAddr, startRef, refCnt);
    if (r == 0)
        regArr[0] = fakeLibrary().shortValue;
    return r;
}

int mbusReadInputRegisters(MbusHandle handle, int slaveAddr, int startRef, short *regArr,
                           int refCnt)
{
    const int r = dataCall("mbusReadInputRegisters", handle, slaveAddr, startRef, refCnt);
    if (r == 0)
        regArr[0] = fakeLibrary().shortValue;
    return r;
}

int mbusReadMultipleLongInts(MbusHandle handle, int slaveAddr, int startRef, int *int32Arr,
                             int refCnt)
{
    const int r = dataCall("mbusReadMultipleLongInts", handle, slaveAddr, startRef, refCnt);
    if (r == 0)
        int32Arr[0] = fakeLibrary().longValue;
    return r;
}

int mbusReadInputLongInts(MbusHandle handle, int slaveAddr, int startRef, int *int32Arr,
                          int refCnt)
{
    const int r = dataCall("mbusReadInputLongInts", handle, slaveAddr, startRef, refCnt);
    if (r == 0)
        int32Arr[0] = fakeLibrary().longValue;
    return r;
}

int mbusReadMultipleFloats(MbusHandle handle, int slaveAddr, int startRef, float *floatArr,
                           int refCnt)
{
    const int r = dataCall("mbusReadMultipleFloats", handle, slaveAddr, startRef, refCnt);
    if (r == 0)
        floatArr[0] = fakeLibrary().floatValue;
    return r;
}

int mbusReadInputFloats(MbusHandle handle, int slaveAddr, int startRef, float *floatArr,
                        int refCnt)
{
    const int r = dataCall("mbusReadInputFloats", handle, slaveAddr, startRef, refCnt);
    if (r == 0)
        floatArr[0] = fakeLibrary().floatValue;
    return r;
}

int mbusWriteCoil(MbusHandle handle, int slaveAddr, int bitAddr, int bitVal)
{
    logCall("mbusWriteCoil " + std::to_string(slaveAddr) + " " + std::to_string(bitAddr) + " " +
            std::to_string(bitVal));
    if (handle == nullptr)
        return MBUS_ILLEGAL_STATE;
    if (bitAddr < 1 || bitAddr > 65536)
        return MBUS_ILLEGAL_ARGUMENT;
    return scripted("mbusWriteCoil");
}

int mbusWriteSingleRegister(MbusHandle handle, int slaveAddr, int regAddr, short regVal)
{
    logCall("mbusWriteSingleRegister " + std::to_string(slaveAddr) + " " +
            std::to_string(regAddr) + " " + std::to_string(static_cast<unsigned short>(regVal)));
    if (handle == nullptr)
        return MBUS_ILLEGAL_STATE;
    if (regAddr < 1 || regAddr > 65536)
        return MBUS_ILLEGAL_ARGUMENT;
    return scripted("mbusWriteSingleRegister");
}

int mbusReadExceptionStatus(MbusHandle handle, int slaveAddr, unsigned char *statusByte)
{
    logCall("mbusReadExceptionStatus " + std::to_string(slaveAddr));
    if (handle == nullptr)
        return MBUS_ILLEGAL_STATE;
    const int r = scripted("mbusReadExceptionStatus");
    *statusByte = r == 0 ? fakeLibrary().statusByte : 0x77; // junk on failure
    return r;
}

} // extern "C"

// The serial masters and the block transfers: here only so that the module links; their tests
// run the real library through xophost.
extern "C" {

MbusHandle mbusNewRtuMaster(void)
{
    return mbusNewTcpMaster();
}

MbusHandle mbusNewAsciiMaster(void)
{
    return mbusNewTcpMaster();
}

MbusHandle mbusNewElamMaster(void)
{
    return mbusNewTcpMaster();
}

int mbusOpenSerialPort(MbusHandle handle, const char *portName, int, int, int, int)
{
    return mbusOpenConnection(handle, portName);
}

int mbusEnableRs485Mode(MbusHandle handle, int)
{
    return handle == nullptr ? MBUS_ILLEGAL_STATE : 0;
}

int mbusForceMultipleCoils(MbusHandle handle, int slaveAddr, int startRef, const int *, int refCnt)
{
    return dataCall("mbusForceMultipleCoils", handle, slaveAddr, startRef, refCnt);
}

int mbusWriteMultipleRegisters(MbusHandle handle, int slaveAddr, int startRef, const short *, int refCnt)
{
    return dataCall("mbusWriteMultipleRegisters", handle, slaveAddr, startRef, refCnt);
}
}
