#include "serial/serial_link.h"

#include "mbus.h"

namespace mbus {

namespace {
// Purges of the line-silence test before the line counts as busy.
constexpr int kMaxSilencePurges = 100;
} // namespace

void SerialLink::setTransmitterControl(bool rs485, unsigned rtsDelayMs)
{
    rs485Mode = rs485;
    rtsDelay = rtsDelayMs;
}

int SerialLink::discardInput()
{
    port->purge();
    return MBUS_SUCCESS;
}

int SerialLink::waitForSilence()
{
    unsigned char scratch;
    for (int purges = 0;;) {
        // Any failure to read a byte, normally the time-out, means the line is quiet.
        if (port->readBytes(&scratch, 1, silenceIntervalMs) != 0)
            return MBUS_SUCCESS;
        port->purge();
        if (++purges > kMaxSilencePurges)
            return MBUS_LINE_BUSY;
    }
}

int SerialLink::send(const unsigned char *data, int count, int timeoutMs)
{
    if (silenceIntervalMs > 0) {
        int result = waitForSilence();
        if (result != MBUS_SUCCESS)
            return result;
    }
    if (rs485Mode)
        port->setRts();
    int written = port->writeBytes(data, count, timeoutMs);
    port->drain();
    // The transmitter is released even after a failed write, before the failure is reported.
    if (rs485Mode) {
        clock.sleep(rtsDelay);
        port->clearRts();
    }
    if (written == SERIAL_TIMEOUT)
        return MBUS_SEND_TIMEOUT;
    return written == 0 ? MBUS_SUCCESS : MBUS_IO_ERROR;
}

int SerialLink::receive(unsigned char *buffer, int count, int timeoutMs, int *received)
{
    *received = 0;
    int status = port->readBytes(buffer, count, timeoutMs);
    if (status == SERIAL_TIMEOUT)
        return MBUS_REPLY_TIMEOUT;
    if (status != 0)
        return MBUS_IO_ERROR;
    *received = count;
    return MBUS_SUCCESS;
}

} // namespace mbus
