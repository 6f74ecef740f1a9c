#include "cli/master_session.h"

#include <algorithm>
#include <cstdio>

namespace {
constexpr int kMaxReadRegisters = 125;
constexpr int kMaxReadBits = 2000;
constexpr int kMaxWriteRegisters = 123;
constexpr int kMaxWriteBits = 1968;
constexpr int kMaxIdentificationObjects = 256; // one per object id
constexpr int kMaxIdentificationBytes = 256 * 255;

// Frames go to standard error as "TIME ms sent HEX" or "TIME ms received HEX" (monotonic time).
void printFrame(void *, int direction, const unsigned char *bytes, int count, uint32_t timeMs)
{
    std::fprintf(stderr, "%lu ms %s", static_cast<unsigned long>(timeMs), direction == MBUS_TRACE_SENT ? "sent" : "received");
    for (int i = 0; i < count; ++i)
        std::fprintf(stderr, " %02X", unsigned(bytes[i]));
    std::fputc('\n', stderr);
}
} // namespace

MasterSession::~MasterSession() { mbusDestroy(handle); }

int MasterSession::applyTls(const TlsOptions &tls)
{
    auto given = [](const std::string &text) { return text.empty() ? nullptr : text.c_str(); };
    int result = MBUS_SUCCESS;
    if (!tls.caFile.empty())
        result = mbusTlsSetCaFile(handle, tls.caFile.c_str());
    if (result == MBUS_SUCCESS && !tls.caFolder.empty())
        result = mbusTlsSetCaFolder(handle, tls.caFolder.c_str());
    if (result == MBUS_SUCCESS && !tls.pfxFile.empty())
        result = mbusTlsSetClientPfx(handle, tls.pfxFile.c_str(), given(tls.password));
    else if (result == MBUS_SUCCESS && !tls.certFile.empty())
        result = mbusTlsSetClientCertificate(handle, tls.certFile.c_str(), given(tls.keyFile), given(tls.password));
    if (result == MBUS_SUCCESS && !tls.serverName.empty())
        result = mbusTlsSetServerName(handle, tls.serverName.c_str());
    if (result == MBUS_SUCCESS && tls.insecure)
        result = mbusTlsSetVerifyServer(handle, 0);
    if (result == MBUS_SUCCESS)
        result = mbusTlsSetMinVersion(handle, tls.minVersion == "1.3" ? MBUS_TLS_VERSION_1_3 : MBUS_TLS_VERSION_1_2);
    return result;
}

int MasterSession::open(const Endpoint &endpoint, int timeoutMs, int retries, bool trace)
{
    switch (endpoint.transport) {
    case Transport::Tcp: handle = mbusNewTcpMaster(); break;
    case Transport::Tls: handle = mbusNewTlsMaster(); break;
    case Transport::Udp: handle = mbusNewUdpMaster(); break;
    case Transport::RtuOverTcp: handle = mbusNewRtuOverTcpMaster(); break;
    case Transport::AsciiOverTcp: handle = mbusNewAsciiOverTcpMaster(); break;
    case Transport::Rtu: handle = mbusNewRtuMaster(); break;
    case Transport::Ascii: handle = mbusNewAsciiMaster(); break;
    case Transport::RtuExtended: handle = mbusNewElamMaster(); break;
    }
    if (handle == nullptr)
        return MBUS_ILLEGAL_STATE;
    if (trace)
        mbusSetFrameTrace(handle, printFrame, nullptr);
    // The tool converts the user's addresses itself; the library gets wire addresses.
    mbusConfigureZeroBasedAddressing(handle);
    int result = MBUS_SUCCESS;
    if (timeoutMs > 0)
        result = mbusSetTimeout(handle, timeoutMs);
    if (result == MBUS_SUCCESS)
        result = mbusSetRetryCnt(handle, retries);
    if (result != MBUS_SUCCESS)
        return result;
    if (endpoint.isSerialLine()) {
        if (endpoint.rs485DelayMs >= 0 && (result = mbusEnableRs485Mode(handle, endpoint.rs485DelayMs)) != MBUS_SUCCESS)
            return result;
        return mbusOpenSerialPort(handle, endpoint.device.c_str(), endpoint.baudRate, endpoint.dataBits,
                                  endpoint.stopBits, endpoint.parity);
    }
    if (endpoint.transport == Transport::Tls && (result = applyTls(endpoint.tls)) != MBUS_SUCCESS)
        return result;
    if (endpoint.port != 0 && (result = mbusSetPort(handle, static_cast<unsigned short>(endpoint.port))) != MBUS_SUCCESS)
        return result;
    return mbusOpenConnection(handle, endpoint.host.c_str());
}

int MasterSession::readRegisters(DataTable table, int unit, int address, int count, int alignment,
                                 std::vector<std::uint16_t> &registers)
{
    registers.assign(std::size_t(count), 0);
    // Units above 255 of the extended-address master have option bytes of their own.
    mbusConfigureZeroBasedAddressingForSlave(handle, unit);
    const int chunk = kMaxReadRegisters / alignment * alignment;
    for (int done = 0; done < count;) {
        const int n = std::min(chunk, count - done);
        auto *into = reinterpret_cast<short *>(registers.data() + done);
        const int result = table == DataTable::InputRegisters
                               ? mbusReadInputRegisters(handle, unit, address + done, into, n)
                               : mbusReadMultipleRegisters(handle, unit, address + done, into, n);
        if (result != MBUS_SUCCESS)
            return result;
        done += n;
    }
    return MBUS_SUCCESS;
}

int MasterSession::readBits(DataTable table, int unit, int address, int count, std::vector<int> &bits)
{
    bits.assign(std::size_t(count), 0);
    mbusConfigureZeroBasedAddressingForSlave(handle, unit);
    for (int done = 0; done < count;) {
        const int n = std::min(kMaxReadBits, count - done);
        const int result = table == DataTable::DiscreteInputs
                               ? mbusReadInputDiscretes(handle, unit, address + done, bits.data() + done, n)
                               : mbusReadCoils(handle, unit, address + done, bits.data() + done, n);
        if (result != MBUS_SUCCESS)
            return result;
        done += n;
    }
    return MBUS_SUCCESS;
}

int MasterSession::writeRegisters(int unit, int address, const std::vector<std::uint16_t> &registers, bool multiple)
{
    mbusConfigureZeroBasedAddressingForSlave(handle, unit);
    // A write is one request, so that a device never holds half of it.
    if (registers.empty() || registers.size() > std::size_t(kMaxWriteRegisters))
        return MBUS_ILLEGAL_ARGUMENT;
    if (registers.size() == 1 && !multiple)
        return mbusWriteSingleRegister(handle, unit, address, static_cast<short>(registers[0]));
    return mbusWriteMultipleRegisters(handle, unit, address, reinterpret_cast<const short *>(registers.data()),
                                      int(registers.size()));
}

int MasterSession::writeBits(int unit, int address, const std::vector<int> &bits, bool multiple)
{
    mbusConfigureZeroBasedAddressingForSlave(handle, unit);
    if (bits.empty() || bits.size() > std::size_t(kMaxWriteBits))
        return MBUS_ILLEGAL_ARGUMENT;
    if (bits.size() == 1 && !multiple)
        return mbusWriteCoil(handle, unit, address, bits[0]);
    return mbusForceMultipleCoils(handle, unit, address, bits.data(), int(bits.size()));
}

int MasterSession::readDeviceIdentification(int unit, int level, std::vector<IdentificationObject> &objects)
{
    objects.clear();
    std::vector<MbusDeviceIdObject> found(kMaxIdentificationObjects);
    std::vector<unsigned char> data(kMaxIdentificationBytes);
    int count = 0;
    const int result = mbusReadDeviceIdentification(handle, unit, level, 0, found.data(), int(found.size()), &count,
                                                    data.data(), int(data.size()), nullptr);
    for (int i = 0; result == MBUS_SUCCESS && i < count; ++i)
        objects.push_back({found[i].id, std::string(reinterpret_cast<const char *>(data.data()) + found[i].offset,
                                                    std::size_t(found[i].length))});
    return result;
}
