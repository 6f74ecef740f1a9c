#include "fuzz/session.h"

#include <memory>

#include "fuzz/fake_network.h"
#include "fuzz/fuzz_check.h"
#include "fuzz/operation_driver.h"
#include "fuzz/reply_script.h"
#include "fuzz/scripted_serial_port.h"
#include "ip/ascii_over_tcp_master_protocol.h"
#include "ip/rtu_over_tcp_master_protocol.h"
#include "ip/tcp_master_protocol.h"
#include "ip/udp_master_protocol.h"
#include "serial/ascii_master_protocol.h"
#include "serial/elam_master_protocol.h"
#include "serial/rtu_master_protocol.h"

using namespace mbus;

namespace {

constexpr int kMaxOperations = 4;

Framing framingOf(MasterKind kind)
{
    switch (kind) {
    case MasterKind::Tcp:
    case MasterKind::Udp:
        return Framing::Mbap;
    case MasterKind::RtuOverTcp:
    case MasterKind::Rtu:
        return Framing::Rtu;
    case MasterKind::AsciiOverTcp:
    case MasterKind::Ascii:
        return Framing::Ascii;
    case MasterKind::Elam:
        return Framing::Elam;
    }
    return Framing::Mbap;
}

std::unique_ptr<MbusMasterFunctions> newMaster(MasterKind kind, ReplyScript &script)
{
    switch (kind) {
    case MasterKind::Tcp:
        return std::make_unique<MbusTcpMasterProtocol>();
    case MasterKind::Udp:
        return std::make_unique<MbusUdpMasterProtocol>();
    case MasterKind::RtuOverTcp:
        return std::make_unique<MbusRtuOverTcpMasterProtocol>();
    case MasterKind::AsciiOverTcp:
        return std::make_unique<MbusAsciiOverTcpMasterProtocol>();
    case MasterKind::Rtu:
        return std::make_unique<MbusRtuMasterProtocol>(new ScriptedSerialPort(script));
    case MasterKind::Ascii:
        return std::make_unique<MbusAsciiMasterProtocol>(new ScriptedSerialPort(script));
    case MasterKind::Elam:
        return std::make_unique<MbusElamMasterProtocol>(new ScriptedSerialPort(script));
    }
    return nullptr;
}

int open(MbusMasterFunctions &master, FuzzInput &input)
{
    if (auto *ip = dynamic_cast<MbusIpClientBase *>(&master))
        return ip->openConnection("127.0.0.1");
    auto *serial = dynamic_cast<MbusSerialClientBase *>(&master);
    static const int kRates[] = {1200, 9600, 19200, 115200};
    int dataBits = (input.byte() & 1) ? 7 : 8; // RTU refuses 7
    const std::uint8_t line = input.byte();
    // RS-485 transmitter control now and then (its turnaround sleeps on the virtual clock).
    if (!serial->isOpen())
        serial->enableRs485Mode((line >> 2) & 3);
    return serial->openSerialPort("fuzz-line", kRates[line & 3], dataBits, 1, 0);
}

} // namespace

void runSession(MasterKind kind, const std::uint8_t *data, std::size_t size, bool wrapEveryReply)
{
    FuzzInput input(data, size);
    ReplyScript script(input, framingOf(kind));
    script.wrapEveryReply(wrapEveryReply);
    FakeNetwork::attach(&script);
    {
        std::unique_ptr<MbusMasterFunctions> master = newMaster(kind, script);
        OperationDriver driver(*master, input, script);
        driver.configure();
        int opened = open(*master, input);
        fuzzRequire((opened == MBUS_SUCCESS) == (master->isOpen() != 0), "open exactly when opening succeeded");
        for (int i = 0; i < kMaxOperations && !input.exhausted(); ++i) {
            driver.runOne();
            // Now and then closed and opened again between operations.
            if ((input.byte() & 0x0F) == 0x0F) {
                master->closeConnection();
                fuzzRequire(!master->isOpen(), "closed after closeConnection");
                open(*master, input);
            }
        }
    }
    FakeNetwork::detach();
}
