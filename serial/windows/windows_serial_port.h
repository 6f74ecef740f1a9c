// The serial-port driver on the Win32 communications services. COM1 .. COM99999 (in any letter
// case) are opened in the device namespace; any other name is used as the path unchanged.
#ifndef MBUS_SERIAL_WINDOWS_WINDOWS_SERIAL_PORT_H
#define MBUS_SERIAL_WINDOWS_WINDOWS_SERIAL_PORT_H

#include <windows.h>

#include "serial/serial_port.h"

namespace mbus {

class MbusWindowsSerialPort : public MbusSerialPort {
public:
    // Room for "\\.\", a name of at most 8 characters and the terminator.
    static constexpr int kDevicePathSize = 13;

    MbusWindowsSerialPort();
    ~MbusWindowsSerialPort() override;

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
    bool isPortOpen() const override { return handle != INVALID_HANDLE_VALUE; }
    int getBaudRate() const override { return baudRate; }

    // The path openPort hands to the system for name, in a buffer of kDevicePathSize: the
    // device-namespace form for COM names of 4 to 8 characters, otherwise null (use the name).
    static const char *devicePath(const char *name, char path[kDevicePathSize]);

protected:
    int baudRate = 9600;
    int handshake = kHandshakeNone;
    HANDLE handle = INVALID_HANDLE_VALUE;
    OVERLAPPED overlapped;
    COMMTIMEOUTS timeouts;
    DCB savedState;
    // savedState was read from the device and is written back at close.
    bool haveSavedState = false;

private:
    int switchRts(DWORD function);
    int applyTimeouts(DWORD readTotal, DWORD writeTotal, DWORD readInterval);
};

} // namespace mbus

#endif
