// One master of this library against one independent device: a peer (libmodbus or pymodbus)
// serving one transport, started for each test as a child process and stopped after it.
#ifndef MBUS_TESTS_INTEROP_INTEROP_FIXTURE_H
#define MBUS_TESTS_INTEROP_INTEROP_FIXTURE_H

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>

#include "mbus.h"
#include "tests/interop/device_process.h"

enum class Peer { Libmodbus, Pymodbus };

enum class Transport { Tcp, Udp, RtuOverTcp, AsciiOverTcp, RtuPty, AsciiPty };

// What a peer does with a request for a unit it does not serve.
enum class UnknownUnit {
    Answered,         // served like any other unit
    GatewayException, // exception 11, target device failed to respond
    Ignored,          // no reply at all, as on a shared serial line
    // No reply, and the next frame on the line is taken for that unit's reply and dropped.
    IgnoredWithItsReply
};

struct PeerProfile {
    const char *name; // test-name suffix
    Peer peer;
    Transport transport;
    UnknownUnit unknownUnit;
    // Function codes 7 and 8 (sub-functions 0 and 1) are answered normally.
    bool diagnostics;
    // Data bytes behind an unknown function code that the peer's framing needs to find the
    // end of the request (RTU framings delimit requests by function code, not by silence).
    int unknownFunctionDataLen;
};

// Names the peer and transport in test failure messages.
inline void PrintTo(const PeerProfile &peer, std::ostream *out) { *out << peer.name; }

// The device tables both peer programs set up (see libmodbus_device.c, pymodbus_device.py).
namespace device {
constexpr int kUnit = 1;
constexpr int kOtherUnit = 9;
constexpr int kBitCount = 2000;
constexpr int kRegisterCount = 1000;
inline bool discreteInput(int wireAddr) { return wireAddr % 3 == 0; }
inline std::uint16_t inputRegister(int wireAddr) { return static_cast<std::uint16_t>(0x1234 + 0x0203 * wireAddr); }
} // namespace device

class Interop : public ::testing::TestWithParam<PeerProfile> {
protected:
    static constexpr int kTimeoutMs = 2000;       // generous: the device may be slow to get the CPU
    static constexpr int kSilenceTimeoutMs = 100; // where no reply is the expected outcome

    void SetUp() override;
    void TearDown() override;

    // Creates a new master for the transport and connects it to the device.
    void open(int timeoutMs = kTimeoutMs, int retryCnt = 0);

    const PeerProfile &profile() const { return GetParam(); }
    bool isSerialLine() const;
    bool isMbapFramed() const;

    DeviceProcess device;
    MbusHandle master = nullptr;
};

#endif
