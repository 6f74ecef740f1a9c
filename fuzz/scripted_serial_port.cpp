#include "fuzz/scripted_serial_port.h"

#include <vector>

#include "fuzz/fuzz_check.h"

using namespace mbus;

int ScriptedSerialPort::openPort(const char *name)
{
    if (name == nullptr || *name == '\0')
        return SERIAL_NO_SUCH_PORT;
    open_ = true;
    baudRate_ = 9600;
    phase_ = Phase::Idle;
    return 0;
}

int ScriptedSerialPort::configure(int baudRate, int dataBits, int stopBits, int parity, int handshake)
{
    fuzzRequire(open_, "configure on an open port");
    if (baudRate <= 0 || (dataBits != 7 && dataBits != 8) || (stopBits != 1 && stopBits != 2) || parity < 0 ||
        parity > 2 || handshake < 0 || handshake > 2)
        return SERIAL_CONFIG_ERROR;
    baudRate_ = baudRate;
    return 0;
}

int ScriptedSerialPort::readBytes(unsigned char buf[], int count, int)
{
    fuzzRequire(open_, "read on an open port");
    fuzzRequire(count > 0, "read of at least one byte");
    if (phase_ == Phase::BeforeWrite) {
        // The line-silence test: a noise byte, or silence.
        if (noiseLeft_ == 0)
            return SERIAL_TIMEOUT;
        --noiseLeft_;
        buf[0] = 0x55;
        return count == 1 ? 0 : SERIAL_TIMEOUT;
    }
    if (phase_ != Phase::AfterWrite)
        return SERIAL_TIMEOUT;
    int got = 0;
    while (got < count) {
        long n = pending_.readStream(buf + got, static_cast<std::size_t>(count - got));
        if (n <= 0)
            break;
        got += static_cast<int>(n);
    }
    if (got == count)
        return 0;
    ReplyEnd end = pending_.end();
    return (end == ReplyEnd::Silent) ? SERIAL_TIMEOUT : SERIAL_IO_ERROR;
}

int ScriptedSerialPort::writeBytes(const unsigned char buf[], int count, int)
{
    fuzzRequire(open_, "write on an open port");
    fuzzRequire(phase_ == Phase::BeforeWrite, "every request is preceded by a purge");
    fuzzRequire(count > 0, "a request has bytes");
    phase_ = Phase::AfterWrite;
    switch (exchange_.send) {
    case SendOutcome::Sent:
        script_.shape(exchange_, buf, static_cast<std::size_t>(count));
        pending_.load(exchange_);
        return 0;
    case SendOutcome::Partial:
    case SendOutcome::TimedOut:
        return SERIAL_TIMEOUT;
    case SendOutcome::Failed:
        return SERIAL_IO_ERROR;
    }
    return SERIAL_IO_ERROR;
}

int ScriptedSerialPort::drain()
{
    return open_ ? 0 : SERIAL_NOT_OPEN;
}

int ScriptedSerialPort::purge()
{
    fuzzRequire(open_, "purge on an open port");
    pending_.clear();
    // A purge outside the silence test starts the next attempt.
    if (phase_ != Phase::BeforeWrite) {
        exchange_ = script_.next();
        noiseLeft_ = exchange_.noise;
        phase_ = Phase::BeforeWrite;
    }
    return 0;
}

int ScriptedSerialPort::setRts()
{
    return open_ ? 0 : SERIAL_NOT_OPEN;
}

int ScriptedSerialPort::clearRts()
{
    return open_ ? 0 : SERIAL_NOT_OPEN;
}

void ScriptedSerialPort::closePort()
{
    open_ = false;
    phase_ = Phase::Idle;
    pending_.clear();
}

int ScriptedSerialPort::attachHandle(std::intptr_t osHandle)
{
    if (open_)
        return SERIAL_PORT_BUSY;
    if (osHandle < 0)
        return SERIAL_IO_ERROR;
    open_ = true;
    phase_ = Phase::Idle;
    return 0;
}
