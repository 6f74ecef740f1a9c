#include "tls_benchmark.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "certificate_folder.h"
#include "device_clients.h"
#include "device_process.h"
#include "ip/tcp_master_protocol.h"
#include "ip/tls_master_protocol.h"
#include "measurement.h"
#include "socat_process.h"
#include "syscall_counter.h"
#include "workload.h"

#ifndef MBBENCH_MAKE_CERTIFICATES
#define MBBENCH_MAKE_CERTIFICATES "tests/tls/make_certificates.sh"
#endif

namespace {
using Clock = std::chrono::steady_clock;
constexpr int kTimeOutMs = 1000;
constexpr int kCyclesPerRound = 100; // opens of each kind per round

std::string path(const char *folder, const char *name)
{
    return std::string(folder) + "/" + name;
}

// The CA, and with clientCertificate the master's certificate and key, of that folder.
int setUp(mbus::MbusTlsMasterProtocol &master, const char *folder, bool clientCertificate, int port)
{
    int result = master.setCaFile(path(folder, "ca.pem").c_str());
    if (result == MBUS_SUCCESS && clientCertificate)
        result = master.setClientCertificate(path(folder, "master.pem").c_str(), path(folder, "master.key").c_str(),
                                             nullptr);
    if (result == MBUS_SUCCESS)
        result = master.setTimeout(kTimeOutMs);
    if (result == MBUS_SUCCESS)
        result = master.setPort(static_cast<std::uint16_t>(port));
    return result;
}

double medianOf(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// One cycle, timed: the open and the first read (which also takes in a TLS 1.3 device's session
// tickets, sent after the handshake), then the close. The read is part of the time because a
// plain connect is done before socat has forked the connection's child; the first reply waits
// for it. Microseconds, or a negative result code.
double timedOpen(mbus::MbusTcpClientBase &master, int port)
{
    master.setPort(static_cast<std::uint16_t>(port));
    Clock::time_point start = Clock::now();
    int result = master.openConnection("127.0.0.1");
    short value[1];
    if (result == MBUS_SUCCESS)
        result = master.readMultipleRegisters(1, 1, value, 1);
    double us = std::chrono::duration<double, std::micro>(Clock::now() - start).count();
    master.closeConnection();
    return result == MBUS_SUCCESS ? us : -result;
}
} // namespace

TlsBenchmark::TlsBenchmark(int n, int r, bool calls) : count(n), rounds(r), countSystemCalls(calls) {}

int TlsBenchmark::probe(const char *workloadName, int port, int transactions, const char *certificates)
{
    const Workload *workload = Workload::find(workloadName);
    mbus::MbusTlsMasterProtocol master;
    if (workload == nullptr || setUp(master, certificates, true, port) != MBUS_SUCCESS ||
        master.openConnection("127.0.0.1") != MBUS_SUCCESS)
        return 1;
    short registers[125] = {};
    std::function<bool()> operation =
        DeviceClients::masterOperation(master, static_cast<std::size_t>(workload - Workload::all().data()), registers);
    for (int i = transactions; i > 0; --i) {
        if (!operation())
            return 1;
    }
    return 0;
}

bool TlsBenchmark::run()
{
#ifndef MBBENCH_HAVE_LIBMODBUS
    std::printf("(libmodbus not installed: no TLS row)\n\n");
    return true;
#endif
    if (!SocatProcess::installed("socat") || !SocatProcess::installed("openssl")) {
        std::printf("(socat or openssl not installed: no TLS row)\n\n");
        return true;
    }
    CertificateFolder certificates(MBBENCH_MAKE_CERTIFICATES);
    if (!certificates.failure().empty()) {
        std::printf("(%s: no TLS row)\n\n", certificates.failure().c_str());
        return true;
    }
    folder = certificates.path().c_str();
    DeviceProcess device("libmodbus", 600 + static_cast<int>(std::min(count * rounds * 24.0 / 1000, 86400.0)));
    if (device.port() <= 0) {
        std::fprintf(stderr, "mbbench: libmodbus's server did not start (mbbench-device libmodbus)\n");
        return false;
    }
    const std::string cert = "cert=" + certificates.file("device.pem") + ",key=" + certificates.file("device.key") +
                             ",cafile=" + certificates.file("ca.pem");
    // Mutual authentication for the transactions; server-only devices for the resumption,
    // since socat breaks off every resumed handshake when it asks for a client certificate.
    SocatProcess mutual("OPENSSL-LISTEN", "verify=1,min-version=TLS1.2," + cert, device.port());
    SocatProcess serverOnly("OPENSSL-LISTEN", "verify=0," + cert, device.port());
    SocatProcess otherServerOnly("OPENSSL-LISTEN", "verify=0," + cert, device.port());
    SocatProcess relay("TCP-LISTEN", "", device.port());
    if (mutual.port() <= 0 || serverOnly.port() <= 0 || otherServerOnly.port() <= 0 || relay.port() <= 0) {
        std::fprintf(stderr, "mbbench: socat did not start\n");
        return false;
    }
    mutualPort = mutual.port();
    serverOnlyPorts[0] = serverOnly.port();
    serverOnlyPorts[1] = otherServerOnly.port();

    mbus::MbusTcpMasterProtocol direct, relayed;
    mbus::MbusTlsMasterProtocol secure;
    int opened = setUp(secure, folder, true, mutualPort);
    if (opened == MBUS_SUCCESS)
        opened = secure.openConnection("127.0.0.1");
    if (opened == MBUS_TLS_NOT_AVAILABLE) {
        std::printf("(this build has no TLS, result %d: no TLS row)\n\n", opened);
        return true;
    }
    if (opened != MBUS_SUCCESS || direct.setPort(static_cast<std::uint16_t>(device.port())) != MBUS_SUCCESS ||
        direct.openConnection("127.0.0.1") != MBUS_SUCCESS ||
        relayed.setPort(static_cast<std::uint16_t>(relay.port())) != MBUS_SUCCESS ||
        relayed.openConnection("127.0.0.1") != MBUS_SUCCESS) {
        std::fprintf(stderr, "mbbench: a master cannot reach the device (TLS open: result %d)\n", opened);
        return false;
    }

    const bool tracing = countSystemCalls && SyscallCounter::available();
    std::printf("TLS beside plain TCP, against libmodbus's server in a separate process (pid %d) behind socat: "
                "%d transactions per master and round, median of %d interleaved rounds\n"
                "  tcp        this library's Modbus/TCP master straight to the device\n"
                "  tcp+socat  the same through socat TCP-LISTEN (what the relay alone costs)\n"
                "  tls        the Modbus/TCP master over TLS through socat OPENSSL-LISTEN, client certificate\n"
                "system calls per transaction (the master's process only): %s\n\n",
                static_cast<int>(device.pid()), count, rounds,
                tracing ? "strace -c -f on a probe process, 1000 transactions net of set-up" : "not counted");

    enum { Direct, Relayed, Secure, kMasters };
    const char *names[kMasters] = {"tcp", "tcp+socat", "tls"};
    mbus::MbusMasterFunctions *masters[kMasters] = {&direct, &relayed, &secure};
    short registers[kMasters][125] = {};
    const std::vector<Workload> &workloads = Workload::all();
    for (std::size_t w = 0; w < workloads.size(); ++w) {
        std::vector<Sample> samples[kMasters];
        std::function<bool()> operations[kMasters];
        for (int m = 0; m < kMasters; ++m)
            operations[m] = DeviceClients::masterOperation(*masters[m], w, registers[m]);
        for (int r = 0; r < rounds; ++r) {
            for (int m = 0; m < kMasters; ++m)
                samples[m].push_back(measure(count, operations[m]));
        }
        std::printf("%s\n  %-10s %9s %8s %8s %9s  %s\n", workloads[w].name, "master", "tx/s", "p50 us", "p99 us",
                    "calls/tx", "system calls per transaction");
        Sample result[kMasters];
        for (int m = 0; m < kMasters; ++m) {
            result[m] = median(samples[m]);
            SyscallCounter::Count calls;
            if (tracing) {
                calls = m == Secure ? SyscallCounter::perTransaction("tls", workloads[w].shortName, mutualPort, folder)
                                    : SyscallCounter::perTransaction("library", workloads[w].shortName,
                                                                     m == Direct ? device.port() : relay.port());
            }
            char total[16] = "-";
            if (calls.valid)
                std::snprintf(total, sizeof total, "%.2f", calls.total);
            std::printf("  %-10s %9.0f %8.1f %8.1f %9s  %s\n", names[m], result[m].perSecond, result[m].p50Us,
                        result[m].p99Us, total, calls.breakdown.c_str());
        }
        auto ratio = [](double a, double b) { return b > 0 ? a / b : 0.0; };
        std::printf("  tls/tcp+socat by tx/s %.2f, tls - tcp+socat by p50 %+.1f us; tcp+socat/tcp by tx/s %.2f\n\n",
                    ratio(result[Secure].perSecond, result[Relayed].perSecond),
                    result[Secure].p50Us - result[Relayed].p50Us,
                    ratio(result[Relayed].perSecond, result[Direct].perSecond));
        std::fflush(stdout);
    }
    secure.closeConnection();
    return measureHandshakes(device.port(), relay.port());
}

bool TlsBenchmark::measureHandshakes(int devicePort, int relayPort)
{
    // Every kind has a master of its own, kept across the rounds, so that a round measures
    // reconnects on a context made before.
    mbus::MbusTcpMasterProtocol plain, relayed;
    mbus::MbusTlsMasterProtocol full, resumed, mutualReconnect;
    if (setUp(full, folder, false, serverOnlyPorts[0]) != MBUS_SUCCESS ||
        setUp(resumed, folder, false, serverOnlyPorts[0]) != MBUS_SUCCESS ||
        setUp(mutualReconnect, folder, true, mutualPort) != MBUS_SUCCESS ||
        plain.setTimeout(kTimeOutMs) != MBUS_SUCCESS || relayed.setTimeout(kTimeOutMs) != MBUS_SUCCESS)
        return false;
    enum { Plain, Relayed, Full, Resumed, Mutual, First, kKinds };
    const char *labels[kKinds] = {
        "tcp straight to the device",
        "tcp through socat TCP-LISTEN (socat forks a child per connection)",
        "full handshake (server-only device; the master offers a session the other socat cannot resume)",
        "resumed handshake (server-only device; the master offers the session it had with it)",
        "reconnect to the mutual device (socat refused a resumption once; the master offers none since)",
        "a new master's first open: context set-up from the files + full handshake with client certificate",
    };
    std::vector<double> roundMedians[kKinds];
    for (int r = 0; r < rounds; ++r) {
        std::vector<double> times[kKinds];
        for (int i = 0; i < kCyclesPerRound; ++i) {
            // Two socat processes have separate ticket keys: alternating between them makes every
            // open of `full` a full handshake on the same context.
            const double each[kKinds - 1] = {
                timedOpen(plain, devicePort), timedOpen(relayed, relayPort), timedOpen(full, serverOnlyPorts[i % 2]),
                timedOpen(resumed, serverOnlyPorts[0]), timedOpen(mutualReconnect, mutualPort)};
            for (int k = 0; k < kKinds - 1; ++k) {
                if (each[k] < 0) {
                    std::fprintf(stderr, "mbbench: open for \"%s\" failed: result %d\n", labels[k],
                                 static_cast<int>(-each[k]));
                    return false;
                }
                times[k].push_back(each[k]);
            }
        }
        for (int i = 0; i < 5; ++i) {
            auto fresh = std::make_unique<mbus::MbusTlsMasterProtocol>();
            if (setUp(*fresh, folder, true, mutualPort) != MBUS_SUCCESS)
                return false;
            const double us = timedOpen(*fresh, mutualPort);
            if (us < 0) {
                std::fprintf(stderr, "mbbench: a new master's first open failed: result %d\n", static_cast<int>(-us));
                return false;
            }
            times[First].push_back(us);
        }
        for (int k = 0; k < kKinds; ++k)
            roundMedians[k].push_back(medianOf(times[k]));
    }
    std::printf("Open and first read 1 (then a close): median of %d rounds of the per-round median (%d cycles "
                "of each kind per round, 5 new masters); beside it, less the socat relay's cycle\n",
                rounds, kCyclesPerRound);
    const double relay = medianOf(roundMedians[Relayed]);
    for (int k = 0; k < kKinds; ++k) {
        const double us = medianOf(roundMedians[k]);
        char net[16] = "";
        if (k > Relayed)
            std::snprintf(net, sizeof net, "%8.0f", us - relay);
        std::printf("  %8.0f us %8s  %s\n", us, net, labels[k]);
    }
    std::printf("\n");
    std::fflush(stdout);
    return true;
}
