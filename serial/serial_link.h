// A serial line as a link, over the port driver: the line-silence test of the RTU framings, the
// RS-485 transmitter switched by RTS around each frame, and reads of an exact length.
#ifndef MBUS_SERIAL_SERIAL_LINK_H
#define MBUS_SERIAL_SERIAL_LINK_H

#include "protocol/clock.h"
#include "protocol/link.h"
#include "serial/serial_port.h"

namespace mbus {

class SerialLink : public Link {
public:
    // port may be null (no driver: the master never opens); clock gives the RTS delay its sleep.
    SerialLink(MbusSerialPort *serialPort, const Clock &sleepClock) : port(serialPort), clock(sleepClock) {}

    // rs485: RTS up only while a frame goes out, and rtsDelayMs after it has drained.
    void setTransmitterControl(bool rs485, unsigned rtsDelayMs);
    // Time a one-byte read must stay empty before a request may go out; 0 skips the test.
    void setSilenceInterval(int intervalMs) { silenceIntervalMs = intervalMs; }

    // Purges the port's input; its result is of no consequence.
    int discardInput() override;
    // MBUS_LINE_BUSY when the line never falls silent, MBUS_SEND_TIMEOUT, MBUS_IO_ERROR.
    int send(const unsigned char *data, int count, int timeoutMs) override;
    // MBUS_REPLY_TIMEOUT or MBUS_IO_ERROR.
    int receive(unsigned char *buffer, int count, int timeoutMs, int *received) override;

private:
    int waitForSilence();

    MbusSerialPort *port;
    const Clock &clock;
    bool rs485Mode = false;
    unsigned rtsDelay = 0;
    int silenceIntervalMs = 0;
};

} // namespace mbus

#endif
