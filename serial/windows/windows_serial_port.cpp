#include "serial/windows/windows_serial_port.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

namespace mbus {

namespace {

constexpr DWORD kPurgeBoth = PURGE_TXCLEAR | PURGE_RXCLEAR;
constexpr char kDevicePrefix[] = "\\\\.\\COM00000"; // "\\.\" and room for the name

bool isLetter(char c, char upper)
{
    return c == upper || c == upper + ('a' - 'A');
}

int openErrorStatus(DWORD error)
{
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
        return SERIAL_NO_SUCH_PORT;
    case ERROR_ACCESS_DENIED:
        return SERIAL_PORT_BUSY;
    default:
        return SERIAL_IO_ERROR;
    }
}

// The members every mode sets the same way: a raw binary line without software flow control,
// error replacement, NUL stripping or abort on a line error.
void setCommonLineMembers(DCB &dcb)
{
    dcb.fBinary = 1;
    dcb.fOutxDsrFlow = 0;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fDsrSensitivity = 0;
    dcb.fOutX = 0;
    dcb.fInX = 0;
    dcb.fErrorChar = 0;
    dcb.fNull = 0;
    dcb.fAbortOnError = 0;
}

} // namespace

MbusSerialPort *newPlatformSerialPort()
{
    return new (std::nothrow) MbusWindowsSerialPort();
}

MbusWindowsSerialPort::MbusWindowsSerialPort()
{
    std::memset(&overlapped, 0, sizeof overlapped);
    std::memset(&timeouts, 0, sizeof timeouts);
    std::memset(&savedState, 0, sizeof savedState);
}

MbusWindowsSerialPort::~MbusWindowsSerialPort()
{
    closePort();
}

const char *MbusWindowsSerialPort::devicePath(const char *name, char path[kDevicePathSize])
{
    if (name == nullptr)
        return nullptr;
    std::size_t length = 0;
    while (length <= 8 && name[length] != '\0')
        ++length;
    if (length < 4 || length > 8 || !isLetter(name[0], 'C') || !isLetter(name[1], 'O') || !isLetter(name[2], 'M'))
        return nullptr;
    static_assert(sizeof kDevicePrefix <= kDevicePathSize, "prefix fits the path buffer");
    std::memset(path, 0, kDevicePathSize);
    std::memcpy(path, kDevicePrefix, sizeof kDevicePrefix);
    std::memcpy(path + 4, name, length);
    path[4 + length] = '\0';
    return path;
}

int MbusWindowsSerialPort::openPort(const char *name)
{
    closePort();
    if (name == nullptr)
        return SERIAL_NO_SUCH_PORT;
    char pathBuffer[kDevicePathSize];
    const char *path = devicePath(name, pathBuffer);
    if (path == nullptr)
        path = name;

    // The name is text of the current locale; the system wants wide characters.
    const std::size_t wideLength = std::mbstowcs(nullptr, path, 0);
    if (wideLength == static_cast<std::size_t>(-1) || wideLength == 0)
        return SERIAL_NO_SUCH_PORT;
    std::unique_ptr<wchar_t[]> widePath(new (std::nothrow) wchar_t[wideLength + 1]);
    if (!widePath)
        return SERIAL_IO_ERROR;
    std::mbstowcs(widePath.get(), path, wideLength + 1);

    // No sharing: a second opener gets access denied, which is reported as busy.
    HANDLE opened = ::CreateFileW(widePath.get(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (opened == INVALID_HANDLE_VALUE)
        return openErrorStatus(::GetLastError());
    handle = opened;
    // From here on a failure leaves the device open; closePort releases it.
    savedState.DCBlength = sizeof savedState;
    if (!::GetCommState(handle, &savedState))
        return SERIAL_IO_ERROR;
    haveSavedState = true;
    ::PurgeComm(handle, kPurgeBoth);

    DCB dcb;
    std::memset(&dcb, 0, sizeof dcb);
    dcb.DCBlength = sizeof dcb;
    if (!::GetCommState(handle, &dcb))
        return SERIAL_IO_ERROR;
    dcb.BaudRate = 9600;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fParity = 0;
    dcb.fOutxCtsFlow = 0;
    dcb.fRtsControl = RTS_CONTROL_DISABLE;
    setCommonLineMembers(dcb);
    if (!::SetCommState(handle, &dcb))
        return SERIAL_CONFIG_ERROR;
    baudRate = 9600;
    handshake = kHandshakeNone;
    return 0;
}

int MbusWindowsSerialPort::configure(int newBaudRate, int dataBits, int stopBits, int parity, int newHandshake)
{
    if (!isPortOpen())
        return SERIAL_NOT_OPEN;
    DCB dcb;
    std::memset(&dcb, 0, sizeof dcb);
    dcb.DCBlength = sizeof dcb;
    if (!::GetCommState(handle, &dcb))
        return SERIAL_IO_ERROR;

    // Every value is checked before anything is written, so a refused call changes nothing.
    if (newBaudRate <= 0)
        return SERIAL_CONFIG_ERROR;
    dcb.BaudRate = static_cast<DWORD>(newBaudRate);
    if (dataBits != 7 && dataBits != 8)
        return SERIAL_CONFIG_ERROR;
    dcb.ByteSize = static_cast<BYTE>(dataBits);
    if (stopBits == 1)
        dcb.StopBits = ONESTOPBIT;
    else if (stopBits == 2)
        dcb.StopBits = TWOSTOPBITS;
    else
        return SERIAL_CONFIG_ERROR;
    switch (parity) {
    case 0:
        dcb.Parity = NOPARITY;
        dcb.fParity = 0;
        break;
    case 1:
        dcb.Parity = ODDPARITY;
        dcb.fParity = 1;
        break;
    case 2:
        dcb.Parity = EVENPARITY;
        dcb.fParity = 1;
        break;
    default:
        return SERIAL_CONFIG_ERROR;
    }
    switch (newHandshake) {
    case kHandshakeNone:
        dcb.fOutxCtsFlow = 0;
        dcb.fRtsControl = RTS_CONTROL_DISABLE;
        break;
    case kHandshakeRtsCts:
        dcb.fOutxCtsFlow = 1;
        dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
        break;
    case kHandshakeRtsToggle:
        dcb.fOutxCtsFlow = 0;
        dcb.fRtsControl = RTS_CONTROL_TOGGLE;
        break;
    default:
        return SERIAL_CONFIG_ERROR;
    }
    setCommonLineMembers(dcb);
    if (!::SetCommState(handle, &dcb))
        return SERIAL_CONFIG_ERROR;
    baudRate = newBaudRate;
    handshake = newHandshake;
    return 0;
}

int MbusWindowsSerialPort::applyTimeouts(DWORD readTotal, DWORD writeTotal, DWORD readInterval)
{
    timeouts.ReadIntervalTimeout = readInterval;
    timeouts.ReadTotalTimeoutMultiplier = 0;
    timeouts.ReadTotalTimeoutConstant = readTotal;
    timeouts.WriteTotalTimeoutMultiplier = 0;
    timeouts.WriteTotalTimeoutConstant = writeTotal;
    return ::SetCommTimeouts(handle, &timeouts) ? 0 : SERIAL_IO_ERROR;
}

int MbusWindowsSerialPort::readBytes(unsigned char buf[], int count, int timeoutMs)
{
    if (!isPortOpen())
        return SERIAL_NOT_OPEN;
    if (count < 0 || (count > 0 && buf == nullptr))
        return SERIAL_IO_ERROR;
    // One limit for the whole call and none between characters. All-zero time-outs would mean
    // "wait without end", so a limit of 0 takes only what has already arrived.
    const int status =
        timeoutMs > 0 ? applyTimeouts(static_cast<DWORD>(timeoutMs), 0, 0) : applyTimeouts(0, 0, MAXDWORD);
    if (status != 0)
        return status;
    std::memset(&overlapped, 0, sizeof overlapped);
    DWORD transferred = 0;
    BOOL done = ::ReadFile(handle, buf, static_cast<DWORD>(count), &transferred, &overlapped);
    if (!done && ::GetLastError() == ERROR_IO_PENDING)
        done = ::GetOverlappedResult(handle, &overlapped, &transferred, TRUE);
    // Short counts first: a failed call that moved fewer bytes reports the time-out.
    if (transferred != static_cast<DWORD>(count))
        return SERIAL_TIMEOUT;
    return done ? 0 : SERIAL_IO_ERROR;
}

int MbusWindowsSerialPort::writeBytes(const unsigned char buf[], int count, int timeoutMs)
{
    if (!isPortOpen())
        return SERIAL_NOT_OPEN;
    if (count < 0 || (count > 0 && buf == nullptr))
        return SERIAL_IO_ERROR;
    // A write limit of 0 would mean none at all; the shortest real one stands in for it.
    const int status = applyTimeouts(0, timeoutMs > 0 ? static_cast<DWORD>(timeoutMs) : 1, 0);
    if (status != 0)
        return status;
    std::memset(&overlapped, 0, sizeof overlapped);
    DWORD transferred = 0;
    BOOL done = ::WriteFile(handle, buf, static_cast<DWORD>(count), &transferred, &overlapped);
    if (!done && ::GetLastError() == ERROR_IO_PENDING)
        done = ::GetOverlappedResult(handle, &overlapped, &transferred, TRUE);
    if (transferred != static_cast<DWORD>(count))
        return SERIAL_TIMEOUT;
    return done ? 0 : SERIAL_IO_ERROR;
}

int MbusWindowsSerialPort::drain()
{
    if (!isPortOpen())
        return SERIAL_NOT_OPEN;
    if (handshake != kHandshakeNone)
        return SERIAL_HANDSHAKE_ACTIVE;
    const int status = applyTimeouts(0, 0, 0);
    if (status != 0)
        return status;
    return ::FlushFileBuffers(handle) ? 0 : SERIAL_IO_ERROR;
}

int MbusWindowsSerialPort::purge()
{
    if (!isPortOpen())
        return SERIAL_NOT_OPEN;
    return ::PurgeComm(handle, kPurgeBoth) ? 0 : SERIAL_IO_ERROR;
}

int MbusWindowsSerialPort::switchRts(DWORD function)
{
    if (!isPortOpen())
        return SERIAL_NOT_OPEN;
    if (handshake != kHandshakeNone)
        return SERIAL_HANDSHAKE_ACTIVE;
    return ::EscapeCommFunction(handle, function) ? 0 : SERIAL_IO_ERROR;
}

int MbusWindowsSerialPort::setRts()
{
    return switchRts(SETRTS);
}

int MbusWindowsSerialPort::clearRts()
{
    return switchRts(CLRRTS);
}

void MbusWindowsSerialPort::closePort()
{
    if (!isPortOpen())
        return;
    ::PurgeComm(handle, kPurgeBoth);
    if (haveSavedState)
        ::SetCommState(handle, &savedState);
    ::CloseHandle(handle);
    handle = INVALID_HANDLE_VALUE;
    haveSavedState = false;
    handshake = kHandshakeNone;
}

int MbusWindowsSerialPort::attachHandle(std::intptr_t osHandle)
{
    if (isPortOpen())
        return SERIAL_PORT_BUSY;
    HANDLE adopted = reinterpret_cast<HANDLE>(osHandle);
    if (adopted == INVALID_HANDLE_VALUE || adopted == nullptr)
        return SERIAL_IO_ERROR;
    // Checked before the handle is taken over: on failure it stays the caller's, so nobody
    // closes it twice.
    DCB found;
    std::memset(&found, 0, sizeof found);
    found.DCBlength = sizeof found;
    if (!::GetCommState(adopted, &found))
        return SERIAL_IO_ERROR;
    handle = adopted;
    savedState = found;
    haveSavedState = true;
    handshake = kHandshakeNone;
    baudRate = found.BaudRate > static_cast<DWORD>(INT_MAX) ? INT_MAX : static_cast<int>(found.BaudRate);
    ::PurgeComm(handle, kPurgeBoth);
    return 0;
}

} // namespace mbus
