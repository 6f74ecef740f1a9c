// The peers and the transports each of them serves, with what each does where devices differ.
#include "tests/interop/interop_fixture.h"

namespace {

// name, peer, transport, unknown unit, diagnostics, data bytes behind an unknown function code
const PeerProfile kPeers[] = {
    {"libmodbus_tcp", Peer::Libmodbus, Transport::Tcp, UnknownUnit::Answered, false, 1},
    // libmodbus's RTU framing sizes a request of an unknown function code as having no data.
    {"libmodbus_rtu_over_tcp", Peer::Libmodbus, Transport::RtuOverTcp, UnknownUnit::Ignored, false, 0},
    // libmodbus's RTU device expects the addressed unit to answer a foreign request and drops the
    // frame that follows it. Over TCP the master's reconnect after its time-out ends that wait.
    {"libmodbus_rtu_pty", Peer::Libmodbus, Transport::RtuPty, UnknownUnit::IgnoredWithItsReply, false, 0},
    {"pymodbus_tcp", Peer::Pymodbus, Transport::Tcp, UnknownUnit::GatewayException, true, 1},
    {"pymodbus_udp", Peer::Pymodbus, Transport::Udp, UnknownUnit::GatewayException, true, 1},
    // pymodbus's RTU framing sizes it as five bytes: address, code, one data byte, CRC.
    {"pymodbus_rtu_over_tcp", Peer::Pymodbus, Transport::RtuOverTcp, UnknownUnit::Ignored, true, 1},
    {"pymodbus_ascii_over_tcp", Peer::Pymodbus, Transport::AsciiOverTcp, UnknownUnit::Ignored, true, 1},
    {"pymodbus_rtu_pty", Peer::Pymodbus, Transport::RtuPty, UnknownUnit::Ignored, true, 1},
    {"pymodbus_ascii_pty", Peer::Pymodbus, Transport::AsciiPty, UnknownUnit::Ignored, true, 1},
};

} // namespace

INSTANTIATE_TEST_SUITE_P(Peers, Interop, ::testing::ValuesIn(kPeers),
                         [](const ::testing::TestParamInfo<PeerProfile> &param) { return std::string(param.param.name); });
