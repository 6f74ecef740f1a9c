// The Win32 serial-port driver. Under Wine, scripts/windows-test links serial devices to
// pseudo-terminals: MBUS_SIM_LINE_A and MBUS_SIM_LINE_B are the two ends of one line (the
// driver under test on A, a plain Win32 handle on B as its peer), MBUS_SIM_RTU_LINE and
// MBUS_SIM_ASCII_LINE lead to the device simulator serving RTU and ASCII.
#include <gtest/gtest.h>

#include <windows.h>

#include <array>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include "include/mbus.h"
#include "serial/windows/windows_serial_port.h"
#include "tests/windows/simulator_setting.h"

using namespace mbus;

namespace {

long long millisecondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
}

bool runsUnderWine()
{
    HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

std::string devicePath(const std::string &name)
{
    return "\\\\.\\" + name;
}

DCB lineState(HANDLE handle)
{
    DCB dcb;
    std::memset(&dcb, 0, sizeof dcb);
    dcb.DCBlength = sizeof dcb;
    EXPECT_TRUE(::GetCommState(handle, &dcb));
    return dcb;
}

// The far end of the line, on plain Win32 calls, so that the driver is not checked against
// itself.
class LinePeer {
public:
    explicit LinePeer(const std::string &name)
    {
        handle = ::CreateFileA(devicePath(name).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                               nullptr);
        if (handle == INVALID_HANDLE_VALUE)
            return;
        DCB dcb = lineState(handle);
        dcb.BaudRate = 9600;
        dcb.ByteSize = 8;
        dcb.Parity = NOPARITY;
        dcb.StopBits = ONESTOPBIT;
        dcb.fBinary = 1;
        dcb.fOutX = 0;
        dcb.fInX = 0;
        ::SetCommState(handle, &dcb);
        COMMTIMEOUTS timeouts{};
        timeouts.ReadTotalTimeoutConstant = 500;
        timeouts.WriteTotalTimeoutConstant = 500;
        ::SetCommTimeouts(handle, &timeouts);
        ::PurgeComm(handle, PURGE_RXCLEAR | PURGE_TXCLEAR);
    }
    ~LinePeer()
    {
        if (handle != INVALID_HANDLE_VALUE)
            ::CloseHandle(handle);
    }
    LinePeer(const LinePeer &) = delete;
    LinePeer &operator=(const LinePeer &) = delete;

    bool isOpen() const { return handle != INVALID_HANDLE_VALUE; }
    void write(const std::string &bytes)
    {
        DWORD written = 0;
        EXPECT_TRUE(::WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
        EXPECT_EQ(bytes.size(), written);
    }
    std::string read(std::size_t count)
    {
        std::string bytes(count, '\0');
        DWORD got = 0;
        ::ReadFile(handle, &bytes[0], static_cast<DWORD>(count), &got, nullptr);
        bytes.resize(got);
        return bytes;
    }

    HANDLE handle = INVALID_HANDLE_VALUE;
};

// Shows the driver's handle, so that a test can read the line settings it made.
class InspectablePort : public MbusWindowsSerialPort {
public:
    HANDLE osHandle() const { return handle; }
};

class WindowsSerialPort : public ::testing::Test {
protected:
    void SetUp() override
    {
        lineA = simulatorSetting("MBUS_SIM_LINE_A");
        lineB = simulatorSetting("MBUS_SIM_LINE_B");
        ASSERT_FALSE(lineA.empty() || lineB.empty());
    }

    // Sets line A to 19200 baud, 2 stop bits and XON/XOFF, as another program might have left
    // it. (A pseudo-terminal keeps 8 data bits and no parity whatever it is told, so those two
    // cannot be observed here.)
    void leaveLineAsAnotherProgram()
    {
        HANDLE raw = ::CreateFileA(devicePath(lineA).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                   OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, raw);
        DCB dcb = lineState(raw);
        dcb.BaudRate = 19200;
        dcb.StopBits = TWOSTOPBITS;
        dcb.fOutX = 1;
        dcb.fInX = 1;
        EXPECT_TRUE(::SetCommState(raw, &dcb));
        ::CloseHandle(raw);
    }

    std::string lineA;
    std::string lineB;
    InspectablePort port;
};

} // namespace

TEST(WindowsSerialPath, ComNamesOfFourToEightCharactersGoToTheDeviceNamespace)
{
    char path[MbusWindowsSerialPort::kDevicePathSize];
    const struct {
        const char *name;
        const char *expected; // null: the name is used unchanged
    } cases[] = {
        {"COM3", "\\\\.\\COM3"},     {"com12", "\\\\.\\com12"},   {"CoM12345", "\\\\.\\CoM12345"},
        {"COMX", "\\\\.\\COMX"},     {"COM123456", nullptr},      {"COM", nullptr},
        {"LPT1", nullptr},           {"\\\\.\\COM3", nullptr},    {"", nullptr},
    };
    for (const auto &c : cases) {
        const char *built = MbusWindowsSerialPort::devicePath(c.name, path);
        if (c.expected == nullptr)
            EXPECT_EQ(nullptr, built) << c.name;
        else
            EXPECT_STREQ(c.expected, built) << c.name;
    }
}

TEST(WindowsSerialClosed, EveryOperationNeedsAnOpenPort)
{
    MbusWindowsSerialPort port;
    unsigned char one = 0;
    EXPECT_FALSE(port.isPortOpen());
    EXPECT_EQ(SERIAL_NOT_OPEN, port.configure(9600, 8, 1, 0, 0));
    EXPECT_EQ(SERIAL_NOT_OPEN, port.readBytes(&one, 1, 10));
    EXPECT_EQ(SERIAL_NOT_OPEN, port.writeBytes(&one, 1, 10));
    EXPECT_EQ(SERIAL_NOT_OPEN, port.drain());
    EXPECT_EQ(SERIAL_NOT_OPEN, port.purge());
    EXPECT_EQ(SERIAL_NOT_OPEN, port.setRts());
    EXPECT_EQ(SERIAL_NOT_OPEN, port.clearRts());
    port.closePort(); // nothing to do
    EXPECT_EQ(SERIAL_NO_SUCH_PORT, port.openPort(""));
    EXPECT_EQ(SERIAL_NO_SUCH_PORT, port.openPort(nullptr));
    EXPECT_EQ(SERIAL_NO_SUCH_PORT, port.openPort("COM199"));
    EXPECT_FALSE(port.isPortOpen());
    EXPECT_EQ(SERIAL_IO_ERROR, port.attachHandle(reinterpret_cast<std::intptr_t>(INVALID_HANDLE_VALUE)));
    EXPECT_FALSE(port.isPortOpen());
}

TEST_F(WindowsSerialPort, BytesTravelBothWaysAndShortReadsTimeOut)
{
    ASSERT_EQ(0, port.openPort(lineA.c_str()));
    EXPECT_EQ(9600, port.getBaudRate());
    LinePeer peer(lineB);
    ASSERT_TRUE(peer.isOpen());

    const unsigned char request[] = {0x01, 0x03, 0x00, 0x00, 0x00, 0x01, 0x84, 0x0A};
    ASSERT_EQ(0, port.writeBytes(request, sizeof request, 500));
    EXPECT_EQ(0, port.drain());
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(request), sizeof request), peer.read(sizeof request));

    peer.write(std::string("\x01\x03\x02\x00\x2A", 5));
    unsigned char reply[5] = {};
    ASSERT_EQ(0, port.readBytes(reply, 5, 500));
    EXPECT_EQ(0x2A, reply[4]);

    // Three of five bytes: a time-out after the whole limit, the three kept.
    peer.write("abc");
    unsigned char five[5] = {};
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(SERIAL_TIMEOUT, port.readBytes(five, 5, 200));
    EXPECT_GE(millisecondsSince(start), 190);
    EXPECT_EQ(0, std::memcmp(five, "abc", 3));
}

TEST_F(WindowsSerialPort, PurgeDropsPendingInput)
{
    ASSERT_EQ(0, port.openPort(lineA.c_str()));
    LinePeer peer(lineB);
    ASSERT_TRUE(peer.isOpen());
    peer.write("stale");
    std::this_thread::sleep_for(std::chrono::milliseconds(100)); // let it arrive
    EXPECT_EQ(0, port.purge());
    unsigned char one = 0;
    EXPECT_EQ(SERIAL_TIMEOUT, port.readBytes(&one, 1, 50));
    peer.write("X");
    EXPECT_EQ(0, port.readBytes(&one, 1, 500));
    EXPECT_EQ('X', one);
}

TEST_F(WindowsSerialPort, OpenSetsTheDefaultLineAndCloseRestoresTheOldOne)
{
    leaveLineAsAnotherProgram();
    ASSERT_EQ(0, port.openPort(lineA.c_str()));
    DCB line = lineState(port.osHandle());
    EXPECT_EQ(9600u, line.BaudRate);
    EXPECT_EQ(8, line.ByteSize);
    EXPECT_EQ(NOPARITY, line.Parity);
    EXPECT_EQ(ONESTOPBIT, line.StopBits);
    EXPECT_EQ(0u, line.fOutX);
    EXPECT_EQ(0u, line.fInX);
    EXPECT_EQ(0u, line.fOutxCtsFlow);
    port.closePort();
    EXPECT_FALSE(port.isPortOpen());

    HANDLE raw = ::CreateFileA(devicePath(lineA).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                               0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, raw);
    line = lineState(raw);
    ::CloseHandle(raw);
    EXPECT_EQ(19200u, line.BaudRate);
    EXPECT_EQ(TWOSTOPBITS, line.StopBits);
    EXPECT_EQ(1u, line.fOutX);
}

TEST_F(WindowsSerialPort, ConfigureSetsTheLineAndRefusesBadValuesUnchanged)
{
    ASSERT_EQ(0, port.openPort(lineA.c_str()));
    ASSERT_EQ(0, port.configure(19200, 8, 2, 2, 0));
    EXPECT_EQ(19200, port.getBaudRate());
    // Data bits and parity reach the device too, but a pseudo-terminal does not keep them.
    DCB line = lineState(port.osHandle());
    EXPECT_EQ(19200u, line.BaudRate);
    EXPECT_EQ(TWOSTOPBITS, line.StopBits);
    ASSERT_EQ(0, port.configure(4800, 7, 1, 1, 0));
    line = lineState(port.osHandle());
    EXPECT_EQ(4800u, line.BaudRate);
    EXPECT_EQ(ONESTOPBIT, line.StopBits);

    // Parity 3, 6 data bits, 3 stop bits, handshake 3, no baud rate.
    for (const auto &bad : {std::array<int, 5>{9600, 8, 2, 3, 0}, std::array<int, 5>{9600, 6, 1, 0, 0},
                            std::array<int, 5>{9600, 8, 3, 0, 0}, std::array<int, 5>{9600, 8, 1, 0, 3},
                            std::array<int, 5>{0, 8, 1, 0, 0}}) {
        EXPECT_EQ(SERIAL_CONFIG_ERROR, port.configure(bad[0], bad[1], bad[2], bad[3], bad[4]));
        EXPECT_EQ(4800, port.getBaudRate());
        line = lineState(port.osHandle());
        EXPECT_EQ(4800u, line.BaudRate);
        EXPECT_EQ(ONESTOPBIT, line.StopBits);
    }
}

TEST_F(WindowsSerialPort, HandshakeModeLocksRtsAndDrain)
{
    ASSERT_EQ(0, port.openPort(lineA.c_str()));
    ASSERT_EQ(0, port.configure(9600, 8, 1, 0, MbusSerialPort::kHandshakeRtsCts));
    EXPECT_EQ(1u, lineState(port.osHandle()).fOutxCtsFlow);
    EXPECT_EQ(SERIAL_HANDSHAKE_ACTIVE, port.setRts());
    EXPECT_EQ(SERIAL_HANDSHAKE_ACTIVE, port.clearRts());
    EXPECT_EQ(SERIAL_HANDSHAKE_ACTIVE, port.drain());
    ASSERT_EQ(0, port.configure(9600, 8, 1, 0, MbusSerialPort::kHandshakeNone));
    EXPECT_EQ(0u, lineState(port.osHandle()).fOutxCtsFlow);
    EXPECT_EQ(0, port.drain());
    // A pseudo-terminal has no modem lines, so the system may refuse; the mode no longer does.
    const int rts = port.setRts();
    EXPECT_TRUE(rts == 0 || rts == SERIAL_IO_ERROR) << rts;
}

TEST(WindowsSerialOpen, SystemErrorsMapToPortStatus)
{
    MbusWindowsSerialPort port;
    EXPECT_EQ(SERIAL_NO_SUCH_PORT, port.openPort("COM199"));      // file not found
    EXPECT_EQ(SERIAL_PORT_BUSY, port.openPort("C:\\windows"));    // access denied (a folder)
    EXPECT_EQ(SERIAL_IO_ERROR, port.openPort("C:\\no-such-folder\\COM1")); // path not found
    EXPECT_FALSE(port.isPortOpen());
}

TEST_F(WindowsSerialPort, SecondOpenOfAnOpenDeviceIsRefused)
{
    if (runsUnderWine())
        GTEST_SKIP() << "Wine does not keep a second program off an open serial device";
    ASSERT_EQ(0, port.openPort(lineA.c_str()));
    MbusWindowsSerialPort second;
    const int status = second.openPort(lineA.c_str());
    // No sharing: Windows answers access denied, reported as busy.
    EXPECT_EQ(SERIAL_PORT_BUSY, status);
    EXPECT_FALSE(second.isPortOpen());
    EXPECT_TRUE(port.isPortOpen());
}

TEST_F(WindowsSerialPort, AttachedHandleIsOwnedOnlyWhenItIsASerialDevice)
{
    HANDLE raw = ::CreateFileA(devicePath(lineA).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                               0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, raw);
    ASSERT_EQ(0, port.attachHandle(reinterpret_cast<std::intptr_t>(raw)));
    EXPECT_TRUE(port.isPortOpen());
    EXPECT_EQ(raw, port.osHandle());
    EXPECT_EQ(SERIAL_PORT_BUSY, port.attachHandle(reinterpret_cast<std::intptr_t>(raw)));
    LinePeer peer(lineB);
    ASSERT_TRUE(peer.isOpen());
    peer.write("ok");
    unsigned char two[2] = {};
    EXPECT_EQ(0, port.readBytes(two, 2, 500));
    EXPECT_EQ('k', two[1]);
    port.closePort(); // closes raw

    // A file is no serial device: refused, and the handle stays the caller's.
    char folder[MAX_PATH];
    char file[MAX_PATH];
    ASSERT_NE(0u, ::GetTempPathA(MAX_PATH, folder));
    ASSERT_NE(0u, ::GetTempFileNameA(folder, "mbs", 0, file));
    HANDLE plain = ::CreateFileA(file, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                 FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, plain);
    EXPECT_EQ(SERIAL_IO_ERROR, port.attachHandle(reinterpret_cast<std::intptr_t>(plain)));
    EXPECT_FALSE(port.isPortOpen());
    EXPECT_TRUE(::CloseHandle(plain));
}

// The serial masters through the driver, against the simulator at the other end of the line.
TEST(WindowsSerialMasters, RtuAndAsciiMastersReadAndWrite)
{
    for (const char *variable : {"MBUS_SIM_RTU_LINE", "MBUS_SIM_ASCII_LINE"}) {
        SCOPED_TRACE(variable);
        const std::string line = simulatorSetting(variable);
        ASSERT_FALSE(line.empty());
        const bool ascii = std::string(variable) == "MBUS_SIM_ASCII_LINE";
        MbusHandle master = ascii ? mbusNewAsciiMaster() : mbusNewRtuMaster();
        ASSERT_NE(nullptr, master);
        ASSERT_EQ(MBUS_SUCCESS, mbusSetTimeout(master, 1000));
        ASSERT_EQ(MBUS_SUCCESS, mbusOpenSerialPort(master, line.c_str(), 19200, 8, 1, MBUS_PARITY_EVEN));
        short regs[10] = {};
        ASSERT_EQ(MBUS_SUCCESS, mbusReadMultipleRegisters(master, 1, 1, regs, 10));
        for (int i = 0; i < 10; ++i)
            EXPECT_EQ(i, regs[i]);
        const float value[1] = {-1.5f};
        float back[1] = {};
        ASSERT_EQ(MBUS_SUCCESS, mbusWriteMultipleFloats(master, 3, 81, value, 1));
        ASSERT_EQ(MBUS_SUCCESS, mbusReadMultipleFloats(master, 3, 81, back, 1));
        EXPECT_EQ(-1.5f, back[0]);
        int coils[4] = {};
        ASSERT_EQ(MBUS_SUCCESS, mbusReadCoils(master, 1, 1, coils, 4));
        EXPECT_EQ(1, coils[0]);
        EXPECT_EQ(0, coils[1]);
        // A broadcast write is sent and not answered.
        EXPECT_EQ(MBUS_SUCCESS, mbusWriteSingleRegister(master, 0, 91, 5));
        mbusCloseConnection(master);
        EXPECT_EQ(0, mbusIsOpen(master));
        mbusDestroy(master);
    }
}
