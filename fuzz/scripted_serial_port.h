// A serial port whose far end is the simulated device of a reply script: every attempt of a
// serial master (purge, silence test, write, reads) is played from the fuzzer's bytes. Reads
// that the script cannot fill end at once as time-outs.
#ifndef MBUS_FUZZ_SCRIPTED_SERIAL_PORT_H
#define MBUS_FUZZ_SCRIPTED_SERIAL_PORT_H

#include "fuzz/pending_reply.h"
#include "fuzz/reply_script.h"
#include "serial/serial_port.h"

using namespace mbus;

class ScriptedSerialPort : public MbusSerialPort {
public:
    explicit ScriptedSerialPort(ReplyScript &script) : script_(script) {}

    int openPort(const char *name) override;
    int configure(int baudRate, int dataBits, int stopBits, int parity, int handshake) override;
    int readBytes(unsigned char buf[], int count, int timeoutMs) override;
    int writeBytes(const unsigned char buf[], int count, int timeoutMs) override;
    int drain() override;
    int purge() override;
    int setRts() override;
    int clearRts() override;
    void closePort() override;
    int attachHandle(std::intptr_t osHandle) override;
    bool isPortOpen() const override { return open_; }
    int getBaudRate() const override { return baudRate_; }

private:
    // Before the write: the line-silence test may find noise. After it: the reply.
    enum class Phase { Idle, BeforeWrite, AfterWrite };

    ReplyScript &script_;
    bool open_ = false;
    int baudRate_ = 9600;
    Phase phase_ = Phase::Idle;
    Exchange exchange_;
    int noiseLeft_ = 0;
    PendingReply pending_;
};

#endif
