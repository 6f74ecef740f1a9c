// mbsim: a simulated Modbus device on the command line, for demos and manual tests.
#include "sim/ascii_over_tcp_device.h"
#include "sim/rtu_over_tcp_device.h"
#include "sim/serial_device.h"
#include "sim/tcp_device.h"
#ifdef MBSIM_TLS
#include "sim/tls_device.h"
#endif
#include "sim/udp_device.h"

#include <CLI/CLI.hpp>
#include <pthread.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

const char* const kDescription =
    "Serves a simulated Modbus device until S seconds have passed (default 60), or until\n"
    "SIGINT/SIGTERM.";

const char* const kFooter =
    "The first line printed is \"listening on ADDR:PORT\", or for the pty modes\n"
    "\"serial line on PATH\" (the tty a master opens).\n"
    "Every unit / slave address is answered (serial: broadcasts are not answered).\n"
    "Demo contents (wire addresses):\n"
    "  holding registers 0..99 = 0..99\n"
    "  input registers   0..99 = 1000..1099\n"
    "  coils 0..15 = 1,0,1,0,... (even addresses on)\n"
    "  discrete inputs 0..15 = 0,1,0,1,... (odd addresses on)\n"
    "  exception status = 0x6D\n"
    "  device identification: 0 \"mbsim\", 1 \"MBSIM-1\", 2 \"1.0\", 3..6 regular objects,\n"
    "    0x80 and 0x81 two extended objects of 200 bytes (an extended read takes two replies)\n"
    "  report server id: id 0x5A, run indicator on, additional data \"mbsim\"\n"
    "  file 1 records 0..9999 = record number; FIFO queue at 0x04DE = 0x01B8, 0x1284\n"
    "  everything else 0. Modbus/TCP: a text command written to register 9999 is\n"
    "  answered with \"OK <command>\" right behind the next read of that register.\n"
    "TLS (--mode tls): Modbus/TCP inside TLS 1.2 or later (port 802 by convention; the\n"
    "default is still 0). --cert, --key and --ca are needed: the device's certificate and\n"
    "unencrypted key, and the CAs that sign the masters' certificates. A master must show a\n"
    "certificate unless --client-cert-optional. Its role is read from the certificate\n"
    "(extension 1.3.6.1.4.1.50316.802.1, a UTF8String): a role named by --read-only-role\n"
    "may only read, and every writing request (function codes 5, 6, 15, 16, 21, 22, 23, and\n"
    "diagnostics 1) gets exception 01, illegal function; other roles read and write. A\n"
    "master without a role (no certificate, or none in it) may only read unless\n"
    "--roleless read-write.\n"
    "Faults (--fault, every request): endless-id-chain (device identification always says\n"
    "more follows), oversize-object (an object's length byte runs past the frame),\n"
    "lying-file-record (a file sub-response length is 2 too large), fifo-overflow (a FIFO\n"
    "count of 32).";

// A byte string from hex digits ("5A01"), or false.
bool parseHex(const std::string& text, sim::ByteString& out)
{
    if (text.size() % 2 != 0) return false;
    out.clear();
    for (std::size_t i = 0; i < text.size(); i += 2) {
        char* end = nullptr;
        const std::string pair = text.substr(i, 2);
        const unsigned long v = std::strtoul(pair.c_str(), &end, 16);
        if (end != pair.c_str() + 2) return false;
        out.push_back(std::uint8_t(v));
    }
    return true;
}

// "ID=TEXT" with ID decimal or 0x-hex, 0..255.
bool parseObject(const std::string& text, std::uint8_t& id, std::string& value)
{
    const std::size_t eq = text.find('=');
    if (eq == std::string::npos || eq == 0) return false;
    const std::string number = text.substr(0, eq);
    char* end = nullptr;
    errno = 0;
    const unsigned long v = std::strtoul(number.c_str(), &end, 0);
    if (errno != 0 || *end != '\0' || v > 255 || number[0] == '-') return false;
    id = std::uint8_t(v);
    value = text.substr(eq + 1);
    return true;
}

// --trace: one line per frame on standard error, "request 00 01 ...", written at once so the
// lines of the device thread stay whole.
void printFrame(const char* what, const std::uint8_t* frame, std::size_t len)
{
    std::string line = what;
    char hex[4];
    for (std::size_t i = 0; i < len; ++i) {
        std::snprintf(hex, sizeof hex, " %02X", unsigned(frame[i]));
        line += hex;
    }
    line += '\n';
    std::fputs(line.c_str(), stderr);
}

void fillDemo(sim::DeviceBase& dev)
{
    for (unsigned a = 0; a < 100; ++a) {
        dev.setHoldingRegister(std::uint16_t(a), std::uint16_t(a));
        dev.setInputRegister(std::uint16_t(a), std::uint16_t(1000 + a));
    }
    for (unsigned a = 0; a < 16; ++a) {
        dev.setCoil(std::uint16_t(a), a % 2 == 0);
        dev.setDiscreteInput(std::uint16_t(a), a % 2 == 1);
    }
    dev.setExceptionStatus(0x6D);
    const char* const regular[] = {"mbsim", "MBSIM-1", "1.0", "http://localhost/", "Simulated device",
                                   "SIM", "mbsim demo"};
    for (unsigned id = 0; id < 7; ++id) dev.setDeviceObject(std::uint8_t(id), regular[id]);
    dev.setDeviceObject(0x80, std::string(200, 'x'));
    dev.setDeviceObject(0x81, std::string(200, 'y'));
    dev.setServerId({0x5A}, 0xFF, {'m', 'b', 's', 'i', 'm'});
    for (unsigned r = 0; r < sim::DataTables::kFileRecords; ++r)
        dev.setFileRecord(1, std::uint16_t(r), std::uint16_t(r));
    dev.setFifo(0x04DE, {0x01B8, 0x1284});
}

struct Options {
    long port = 0, seconds = 60;
    std::string host = "127.0.0.1", mode = "tcp";
    std::vector<std::string> objects;
    std::string serverId, serverIdExtra, runIndicator, fault;
    bool trace = false;
    // --mode tls
    std::string cert, key, ca, tlsMax, roleless;
    std::vector<std::string> readOnlyRoles;
    bool clientCertOptional = false;
};

// The device data options, checked before any device starts.
struct DeviceData {
    std::vector<std::pair<std::uint8_t, std::string>> objects;
    bool serverIdGiven = false;
    sim::ByteString serverId{0x5A}, serverIdExtra;
    std::uint8_t runIndicator = 0xFF;
    sim::Fault fault;
    bool trace = false;

    bool parse(const Options& o)
    {
        for (const std::string& text : o.objects) {
            std::uint8_t id = 0;
            std::string value;
            if (!parseObject(text, id, value)) return false;
            objects.emplace_back(id, value);
        }
        serverIdGiven = !o.serverId.empty() || !o.serverIdExtra.empty() || !o.runIndicator.empty();
        if (!o.serverId.empty() && !parseHex(o.serverId, serverId)) return false;
        serverIdExtra.assign(o.serverIdExtra.begin(), o.serverIdExtra.end());
        if (o.runIndicator == "off") runIndicator = 0x00;
        static const std::map<std::string, sim::FaultKind> kFaults = {
            {"endless-id-chain", sim::FaultKind::EndlessIdChain},
            {"oversize-object", sim::FaultKind::OversizeObject},
            {"lying-file-record", sim::FaultKind::LyingFileRecord},
            {"fifo-overflow", sim::FaultKind::FifoOverflow},
        };
        if (!o.fault.empty()) fault.kind = kFaults.at(o.fault);
        trace = o.trace;
        return true;
    }

    // The demo contents, then the options over them.
    void apply(sim::DeviceBase& dev) const
    {
        fillDemo(dev);
        for (const auto& object : objects) dev.setDeviceObject(object.first, object.second);
        if (serverIdGiven) dev.setServerId(serverId, runIndicator, serverIdExtra);
        dev.setPersistentFault(fault);
        if (trace) dev.setFrameTrace(printFrame);
    }
};

} // namespace

int main(int argc, char** argv)
{
    Options o;
    CLI::App app{kDescription, "mbsim"};
    app.footer(kFooter);
    app.add_option("--mode", o.mode,
                   "tcp (Modbus/TCP, default), tls (Modbus/TCP over TLS, see below), udp\n"
                   "(Modbus/UDP), rtu-over-tcp, ascii-over-tcp, rtu-pty, ascii-pty, elam-pty (RTU\n"
                   "with two-byte addresses for slaves 248..2295) on a pseudo-terminal")
        ->check(CLI::IsMember({"tcp", "tls", "udp", "rtu-over-tcp", "ascii-over-tcp", "rtu-pty", "ascii-pty",
                               "elam-pty"}));
    app.add_option("--port", o.port, "TCP/UDP port, 0 = chosen by the system (default 0)")
        ->check(CLI::Range(0L, 65535L));
    app.add_option("--seconds", o.seconds, "lifetime in seconds, 1..86400 (default 60)")
        ->check(CLI::Range(1L, 86400L));
    app.add_option("--host", o.host, "IPv4 or IPv6 address to listen on (default 127.0.0.1)");
    app.add_option("--object", o.objects,
                   "device identification object ID=TEXT (ID 0..255, decimal or 0x..); repeatable");
    app.add_option("--server-id", o.serverId, "report server id: the id bytes in hex (default 5A)");
    app.add_option("--run-indicator", o.runIndicator, "report server id: on (default) or off")
        ->check(CLI::IsMember({"on", "off"}));
    app.add_option("--server-data", o.serverIdExtra, "report server id: additional data text");
    app.add_option("--fault", o.fault, "a fault in every reply it concerns (see below)")
        ->check(CLI::IsMember({"endless-id-chain", "oversize-object", "lying-file-record", "fifo-overflow"}));
    app.add_flag("--trace", o.trace,
                 "print every frame on standard error: \"request\", \"reply\" or \"ignored\" (not\n"
                 "for this device) and its bytes in hex");
    app.add_option("--cert", o.cert, "tls: the device's certificate (PEM, chain allowed)");
    app.add_option("--key", o.key, "tls: the device's private key (PEM, unencrypted)");
    app.add_option("--ca", o.ca, "tls: the CAs that sign the masters' certificates (PEM)");
    app.add_flag("--client-cert-optional", o.clientCertOptional,
                 "tls: serve masters without a certificate too");
    app.add_option("--tls-max", o.tlsMax, "tls: the highest TLS version, 1.2 or 1.3 (default 1.3)")
        ->check(CLI::IsMember({"1.2", "1.3"}));
    app.add_option("--read-only-role", o.readOnlyRoles, "tls: a role that may only read; repeatable");
    app.add_option("--roleless", o.roleless,
                   "tls: a master without a role may do read-only (default) or read-write")
        ->check(CLI::IsMember({"read-only", "read-write"}));
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        app.exit(e);
        return 2;
    }

    const bool tlsOptions = !o.cert.empty() || !o.key.empty() || !o.ca.empty() || o.clientCertOptional ||
                            !o.tlsMax.empty() || !o.readOnlyRoles.empty() || !o.roleless.empty();
    if (o.mode == "tls" ? o.cert.empty() || o.key.empty() || o.ca.empty() : tlsOptions) {
        std::fprintf(stderr, "mbsim: %s\nRun with --help for more information.\n",
                     o.mode == "tls" ? "--mode tls needs --cert, --key and --ca" : "TLS options need --mode tls");
        return 2;
    }

    DeviceData data;
    if (!data.parse(o)) {
        std::fprintf(stderr, "mbsim: malformed --object or --server-id value\nRun with --help for more information.\n");
        return 2;
    }

    // Signals are taken synchronously below, so no handler and no shared flag are needed.
    // Blocked before any thread starts, so the device threads inherit the mask.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    const int lifetime = int(o.seconds) + 1;  // the device stops by itself even if we hang
    const std::string& mode = o.mode;
    std::unique_ptr<sim::DeviceBase> dev;
    std::string where;
    if (mode == "tcp" || mode == "tls" || mode == "rtu-over-tcp" || mode == "ascii-over-tcp") {
        std::unique_ptr<sim::StreamServer> s;
        if (mode == "tls") {
#ifdef MBSIM_TLS
            sim::TlsSettings settings;
            settings.certificateFile = o.cert;
            settings.keyFile = o.key;
            settings.caFile = o.ca;
            settings.requireClientCertificate = !o.clientCertOptional;
            settings.tls12Only = o.tlsMax == "1.2";
            settings.readOnlyRoles = o.readOnlyRoles;
            settings.rolelessReadOnly = o.roleless != "read-write";
            auto t = std::make_unique<sim::TlsDevice>();
            std::string error;
            if (!t->configure(settings, error)) {
                std::fprintf(stderr, "mbsim: %s\n", error.c_str());
                return 1;
            }
            s = std::move(t);
#else
            std::fprintf(stderr, "mbsim: this build has no TLS (OpenSSL 3 was not found)\n");
            return 1;
#endif
        } else if (mode == "tcp") s = std::make_unique<sim::TcpDevice>();
        else if (mode == "rtu-over-tcp") s = std::make_unique<sim::RtuOverTcpDevice>();
        else s = std::make_unique<sim::AsciiOverTcpDevice>();
        data.apply(*s);
        s->setLifetimeSeconds(lifetime);
        const int chosen = s->start(int(o.port), o.host);
        if (chosen >= 0) where = "listening on " + o.host + ":" + std::to_string(chosen);
        dev = std::move(s);
    } else if (mode == "udp") {
        auto u = std::make_unique<sim::UdpDevice>();
        data.apply(*u);
        u->setLifetimeSeconds(lifetime);
        const int chosen = u->start(int(o.port), o.host);
        if (chosen >= 0) where = "listening on " + o.host + ":" + std::to_string(chosen);
        dev = std::move(u);
    } else {
        auto d = std::make_unique<sim::SerialDevice>();
        data.apply(*d);
        d->setLifetimeSeconds(lifetime);
        const std::string path = d->start(mode == "rtu-pty"     ? sim::SerialFraming::Rtu
                                          : mode == "ascii-pty" ? sim::SerialFraming::Ascii
                                                                : sim::SerialFraming::ExtendedRtu);
        if (!path.empty()) where = "serial line on " + path;
        dev = std::move(d);
    }
    if (where.empty()) {
        std::fprintf(stderr, "mbsim: cannot start %s on %s:%ld: %s\n", mode.c_str(), o.host.c_str(),
                     o.port, std::strerror(errno));
        return 1;
    }
    std::printf("%s\n", where.c_str());
    std::fflush(stdout);

    timespec limit{o.seconds, 0};
    const int sig = sigtimedwait(&stopSignals, nullptr, &limit);
    const std::size_t requests = dev->requests().size();
    dev.reset();  // stops and joins the device thread
    std::printf("stopped after %s, %zu request(s)\n", sig > 0 ? "a signal" : "its lifetime", requests);
    return 0;
}
