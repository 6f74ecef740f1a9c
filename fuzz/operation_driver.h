// Runs one data-access operation of a master with arguments taken from the fuzzer's bytes, then
// checks what every operation promises whatever the device sent: a known result code, counters
// that add up, cleared outputs after a failure, nothing sent for invalid arguments, and, when
// the reply was a wrapped PDU that the operation accepted, outputs equal to that PDU's data.
#ifndef MBUS_FUZZ_OPERATION_DRIVER_H
#define MBUS_FUZZ_OPERATION_DRIVER_H

#include <cstdint>

#include "fuzz/fuzz_input.h"
#include "fuzz/reply_script.h"
#include "protocol/master_functions.h"

using namespace mbus;

class OperationDriver {
public:
    OperationDriver(MbusMasterFunctions &master, FuzzInput &input, ReplyScript &script)
        : master_(master), input_(input), script_(script)
    {}

    // Settings that can only change while the master is closed: retries (0..2), a poll delay
    // (0..3 ms on the virtual clock) and a short time-out.
    void configure();
    // One operation; returns its result.
    int runOne();

private:
    int run(std::uint8_t choice);
    int slaveArgument();
    int referenceArgument();
    int countArgument(int limit);
    void applyOptions(int slave);
    // replyMayNotFit: the operation also refuses a reply too long for the caller's buffers with
    // MBUS_ILLEGAL_ARGUMENT, which it can only know once the reply is in.
    void checkResult(int result, int slave, int requestsBefore, int totalBefore, int successBefore, int attempts,
                     bool replyMayNotFit = false);
    bool oracleApplies(int result, int slave) const;

    int readBits(bool inputs, bool flat);
    int readRegisters(bool inputs, bool flat);
    int readWriteRegisters();
    int readPairs(int kind);
    int writeCall(int which);
    int readExceptionStatus();
    int returnQueryData();
    int customFunction();
    int sendAsciiCommand();
    int readDeviceIdentification();
    int reportServerId();
    int fileRecords();
    int readFifoQueue();
    int readLayouts(int kind);

    MbusMasterFunctions &master_;
    FuzzInput &input_;
    ReplyScript &script_;
    bool serial_ = false;
    bool extendedSlave_ = false;
};

#endif
