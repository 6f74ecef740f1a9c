// The abstract Modbus master: settings, counters, per-slave options, every data-access function
// and the one transaction routine. Transports derive from it and supply isOpen, closeConnection,
// their framing and link, and their retry rule.
#ifndef MBUS_PROTOCOL_MASTER_FUNCTIONS_H
#define MBUS_PROTOCOL_MASTER_FUNCTIONS_H

#include <cstddef>
#include <cstdint>

#include "codec/frame_codec.h"
#include "mbus.h"
#include "protocol/clock.h"
#include "protocol/link.h"
#include "protocol/poll_timer.h"

namespace mbus {

class MbusMasterFunctions {
public:
    // Largest request or reply data part: a Modbus PDU without its function code byte.
    static constexpr int kMaxPduData = 252;
    static constexpr int kDefaultTimeoutMs = 1000;
    static constexpr int kMaxTimeoutMs = 100000;
    static constexpr int kMaxPollDelayMs = 100000;
    static constexpr int kMaxRetryCnt = 10;

    // Per-slave option bits.
    static constexpr unsigned char kZeroBasedRefs = 0x01;
    static constexpr unsigned char kBigEndianInts = 0x02;
    static constexpr unsigned char kBigEndianFloats = 0x04;
    static constexpr unsigned char k32BitRegisterMode = 0x08;
    // The first byte of each register's pair sits in its low half (BADC, DCBA).
    static constexpr unsigned char kSwappedBytes = 0x10;

    MbusMasterFunctions(const MbusMasterFunctions &) = delete;
    MbusMasterFunctions &operator=(const MbusMasterFunctions &) = delete;

    // Virtual operations, in slot order.
    virtual int getMaxSlaveAddress();
    virtual ~MbusMasterFunctions();
    virtual int isOpen() = 0;
    virtual void closeConnection() = 0;
    // One complete transaction with the transport's retry rule. requestData may alias
    // replyData. receivedLen, when given, receives the number of reply data bytes stored.
    virtual int transact(int slaveAddr, int functionCode, const unsigned char *requestData, int requestLen,
                         unsigned char *replyData, int replyLen, int *receivedLen);
    virtual int readRegisterBlock(int functionCode, int slaveAddr, int startRef, short regArr[], int regCnt,
                                  int countField);

    // Settings: changeable only while closed; the range test comes first.
    int setTimeout(int timeOutMs);
    int getTimeout() const { return timeOut; }
    int setPollDelay(int pollDelayMs);
    int getPollDelay() const { return pollDelay; }
    int setRetryCnt(int retries);
    int getRetryCnt() const { return retryCnt; }

    int getTotalCounter() const { return totalCounter; }
    void resetTotalCounter() { totalCounter = 0; }
    int getSuccessCounter() const { return successCounter; }
    void resetSuccessCounter() { successCounter = 0; }

    // Per-slave options, for one slave or for all.
    int configureOneBasedAddressing(int slaveAddr);
    void configureOneBasedAddressing();
    int configureZeroBasedAddressing(int slaveAddr);
    void configureZeroBasedAddressing();
    int configureLittleEndianInts(int slaveAddr);
    void configureLittleEndianInts();
    int configureBigEndianInts(int slaveAddr);
    void configureBigEndianInts();
    int configureLittleEndianFloats(int slaveAddr);
    void configureLittleEndianFloats();
    int configureBigEndianFloats(int slaveAddr);
    void configureBigEndianFloats();
    int configure32BitRegisterMode(int slaveAddr);
    void configure32BitRegisterMode();
    int configureStandardRegisterMode(int slaveAddr);
    void configureStandardRegisterMode();
    // Byte order inside each register, for every value layout and text: swapped or standard
    // (the first byte in the high half, the default). The word order stays the slave's.
    int configureSwappedBytes(int slaveAddr);
    void configureSwappedBytes();
    int configureStandardBytes(int slaveAddr);
    void configureStandardBytes();

    // Bit access.
    int readCoils(int slaveAddr, int startRef, int bitArr[], int refCnt);
    int readInputDiscretes(int slaveAddr, int startRef, int bitArr[], int refCnt);
    int writeCoil(int slaveAddr, int bitAddr, int bitVal);
    int forceMultipleCoils(int slaveAddr, int startRef, const int bitArr[], int refCnt);

    // 16-bit registers.
    int readMultipleRegisters(int slaveAddr, int startRef, short regArr[], int refCnt);
    int readInputRegisters(int slaveAddr, int startRef, short regArr[], int refCnt);
    int writeSingleRegister(int slaveAddr, int regAddr, short regVal);
    int writeMultipleRegisters(int slaveAddr, int startRef, const short regArr[], int refCnt);
    int maskWriteRegister(int slaveAddr, int regAddr, short andMask, short orMask);
    int readWriteRegisters(int slaveAddr, int readRef, short readArr[], int readCnt, int writeRef,
                           const short writeArr[], int writeCnt);

    // Register pairs.
    int readMultipleLongInts(int slaveAddr, int startRef, int int32Arr[], int refCnt);
    int readInputLongInts(int slaveAddr, int startRef, int int32Arr[], int refCnt);
    int readMultipleFloats(int slaveAddr, int startRef, float floatArr[], int refCnt);
    int readInputFloats(int slaveAddr, int startRef, float floatArr[], int refCnt);
    int readMultipleMod10000(int slaveAddr, int startRef, int int32Arr[], int refCnt);
    int readInputMod10000(int slaveAddr, int startRef, int int32Arr[], int refCnt);
    int writeMultipleLongInts(int slaveAddr, int startRef, const int int32Arr[], int refCnt);
    int writeMultipleFloats(int slaveAddr, int startRef, const float floatArr[], int refCnt);
    int writeMultipleMod10000(int slaveAddr, int startRef, const int int32Arr[], int refCnt);

    // Unsigned 16- and 32-bit values (32-bit: the integer word order and register mode).
    int readMultipleUnsigned16(int slaveAddr, int startRef, std::uint16_t valueArr[], int refCnt);
    int readInputUnsigned16(int slaveAddr, int startRef, std::uint16_t valueArr[], int refCnt);
    int readMultipleUnsigned32(int slaveAddr, int startRef, std::uint32_t valueArr[], int refCnt);
    int readInputUnsigned32(int slaveAddr, int startRef, std::uint32_t valueArr[], int refCnt);
    // 64-bit values over four registers each, in the word order of the slave's integer (or, for
    // doubles, float) flag; reads 1..31, writes 1..30 values.
    int readMultipleLongLongs(int slaveAddr, int startRef, std::int64_t valueArr[], int refCnt);
    int readInputLongLongs(int slaveAddr, int startRef, std::int64_t valueArr[], int refCnt);
    int writeMultipleLongLongs(int slaveAddr, int startRef, const std::int64_t valueArr[], int refCnt);
    int readMultipleUnsignedLongLongs(int slaveAddr, int startRef, std::uint64_t valueArr[], int refCnt);
    int readInputUnsignedLongLongs(int slaveAddr, int startRef, std::uint64_t valueArr[], int refCnt);
    int writeMultipleUnsignedLongLongs(int slaveAddr, int startRef, const std::uint64_t valueArr[], int refCnt);
    int readMultipleDoubles(int slaveAddr, int startRef, double valueArr[], int refCnt);
    int readInputDoubles(int slaveAddr, int startRef, double valueArr[], int refCnt);
    int writeMultipleDoubles(int slaveAddr, int startRef, const double valueArr[], int refCnt);
    // Text, two characters per register: reads regCnt (1..125) registers into 2 * regCnt
    // characters and a closing NUL (textSize at least 2 * regCnt + 1); writes text NUL-padded
    // to regCnt (1..123) registers.
    int readMultipleText(int slaveAddr, int startRef, char text[], int textSize, int regCnt);
    int readInputText(int slaveAddr, int startRef, char text[], int textSize, int regCnt);
    int writeMultipleText(int slaveAddr, int startRef, const char *text, int regCnt);

    // Device identification (43/14): follows a "more follows" chain to its end in one call.
    int readDeviceIdentification(int slaveAddr, int readDevIdCode, int objectId, MbusDeviceIdObject objects[],
                                 int objectCap, int *objectCnt, unsigned char data[], int dataCap,
                                 int *conformityLevel);
    // Report server id (17); idLen as parseServerIdReply takes it.
    int reportServerId(int slaveAddr, int idLen, unsigned char id[], int idCap, unsigned char rest[], int restCap,
                       MbusServerIdReply *reply);
    // File records (20, 21): the registers of all sub-requests lie one after the other.
    int readFileRecords(int slaveAddr, const MbusFileSubRequest subs[], int subCnt, short regArr[], int regCap);
    int writeFileRecords(int slaveAddr, const MbusFileSubRequest subs[], int subCnt, const short regArr[],
                         int regCnt);
    // FIFO queue (24).
    int readFifoQueue(int slaveAddr, int fifoRef, short valueArr[], int valueCap, int *valueCnt);

    // Frame trace: every frame sent and received goes to trace, with user and a monotonic time
    // stamp in milliseconds. A null trace turns it off (the default).
    void setFrameTrace(MbusFrameTrace trace, void *user);

    // Diagnostics.
    int readExceptionStatus(int slaveAddr, unsigned char *statusByte);
    int returnQueryData(int slaveAddr, const unsigned char queryArr[], unsigned char echoArr[], int len);
    int restartCommunicationsOption(int slaveAddr, int clearEventLog);

    // Pass-through: *replyLen is the expected reply length on entry and the stored length on exit.
    int customFunction(int slaveAddr, int functionCode, const unsigned char requestData[], std::size_t requestLen,
                       unsigned char replyData[], std::size_t *replyLen);

    // One request/reply attempt over the transport's framing and link, without retries.
    int transactOnce(int slaveAddr, int functionCode, const unsigned char *requestData, int requestLen,
                     unsigned char *replyData, int replyLen, int *receivedLen);

    // Puts another clock under the poll delay and the transport's sleeps (tests, simulations).
    void setClock(const Clock &newClock);

    static const char *getPackageVersion();
    static const char *getErrorText(int errCode);

protected:
    MbusMasterFunctions();

    // What a transport's retry rule returns for another attempt.
    static constexpr int kRetry = -1;

    // The framing and the byte stream of the transaction routine, owned by the transport.
    void useTransport(FrameCodec *frameCodec, Link *frameLink);
    const Clock &getClock() const { return clock; }

    // Transport rules. Before the first attempt of a transaction: 0 to go on, or the result.
    virtual int beforeTransaction() { return MBUS_SUCCESS; }
    // After a failed attempt: kRetry for another one (only while retries are left), or the result
    // that ends the transaction.
    virtual int afterFailedAttempt(int result, bool retriesLeft);
    // Whether a reply is read at all (serial lines send broadcasts without waiting).
    virtual bool readsReplyTo(int slaveAddr, int replyLen) const;

    // The option byte of a slave already checked against getMaxSlaveAddress().
    unsigned char optionsOf(int slaveAddr) const { return slaveOptionTable[slaveAddr]; }
    bool isValidSlave(int slaveAddr) { return slaveAddr >= 0 && slaveAddr <= getMaxSlaveAddress(); }
    // Wire address of a reference under the slave's addressing option, or -1 when out of range.
    long wireAddress(int slaveAddr, int reference) const;

    int readBits(int functionCode, int slaveAddr, int startRef, int bitArr[], int refCnt);
    int writeRegisterBlock(int slaveAddr, int startRef, const short regArr[], int regCnt, int countField);

    unsigned char pduBuffer[kMaxPduData] = {};
    // A register pair is swapped exactly when the slave's word-order flag differs from these.
    int floatWordOrder = 0;
    int int32WordOrder = 0;
    unsigned char slaveOptions[256] = {};
    // Every option read and write goes through this pointer; a master with a larger address
    // range points it at a table of its own.
    unsigned char *slaveOptionTable = slaveOptions;

private:
    // Reads the reply of an attempt whose request has gone out.
    int receiveReply(int slaveAddr, int functionCode, unsigned char *replyData, int replyLen, int *receivedLen);
    // Ends a good attempt: delivers min(replyLen, available) reply data bytes, reports the count
    // and counts a success.
    int deliverReply(const unsigned char data[], int available, unsigned char *replyData, int replyLen,
                     int *receivedLen);
    // Spaces the sends of consecutive attempts at least pollDelay apart; the first never waits.
    void waitOutPollDelay();

    int totalCounter = 0;
    int successCounter = 0;
    int retryCnt = 0;
    int timeOut = kDefaultTimeoutMs;
    int pollDelay = 0;
    Clock clock;
    PollTimer pollTimer;
    FrameCodec *codec = nullptr;
    Link *link = nullptr;
    MbusFrameTrace frameTrace = nullptr;
    void *frameTraceUser = nullptr;

    int setOptionBits(int slaveAddr, unsigned char setMask, unsigned char clearMask);
    void setOptionBitsForAll(unsigned char setMask, unsigned char clearMask);
    // Register pairs: the raw registers of refCnt values, read into or written from regs.
    // readPairs first clears refCnt 32-bit entries of pairArr.
    int readPairs(int functionCode, int slaveAddr, int startRef, void *pairArr, int refCnt, short regs[]);
    int writePairs(int slaveAddr, int startRef, const short regs[], int refCnt);
    bool isValidPairWrite(int slaveAddr, int startRef, const void *values, int refCnt);
    int readLongIntPairs(int functionCode, int slaveAddr, int startRef, int int32Arr[], int refCnt);
    int readFloatPairs(int functionCode, int slaveAddr, int startRef, float floatArr[], int refCnt);
    int readMod10000Pairs(int functionCode, int slaveAddr, int startRef, int int32Arr[], int refCnt);
    // Value layouts: values of T over consecutive registers, with the word order of flag.
    template <class T>
    int readValues(int functionCode, int slaveAddr, int startRef, T valueArr[], int refCnt, unsigned char flag);
    template <class T>
    int writeValues(int slaveAddr, int startRef, const T valueArr[], int refCnt, unsigned char flag);
    int readText(int functionCode, int slaveAddr, int startRef, char text[], int textSize, int regCnt);
    bool swappedBytes(int slaveAddr) const { return (optionsOf(slaveAddr) & kSwappedBytes) != 0; }
    // Hands a frame to the trace, when one is set.
    void traceFrame(int direction, const unsigned char *bytes, int count);
    bool highWordFirst(int slaveAddr, unsigned char flag, int platformOrder) const;
};

} // namespace mbus

#endif
