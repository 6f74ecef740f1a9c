// This library's Modbus/TCP master over TLS beside its plain Modbus/TCP master, against
// libmodbus's server in a separate process (mbbench-device) behind socat: transactions in
// interleaved rounds (plain TCP straight to the device, plain TCP through a socat relay, TLS
// through socat with client certificates), then the time an open takes: TCP alone, a full
// handshake, a resumed one, a reconnect to the mutual device, and a new master's first open.
#ifndef MBUS_BENCH_TLS_BENCHMARK_H
#define MBUS_BENCH_TLS_BENCHMARK_H

class TlsBenchmark {
public:
    TlsBenchmark(int count, int rounds, bool countSystemCalls);
    // False when a part that is installed could not be set up; true, after a message, when socat,
    // openssl, libmodbus or the library's TLS is missing.
    bool run();

    // mbbench --probe tls WORKLOAD PORT COUNT FOLDER: COUNT transactions of the TLS master with
    // the certificates of FOLDER against a TLS device at PORT, for strace. The exit status.
    static int probe(const char *workload, int port, int count, const char *folder);

private:
    bool measureHandshakes(int devicePort, int relayPort);

    int count;
    int rounds;
    bool countSystemCalls;
    const char *folder = nullptr;
    int mutualPort = -1;
    int serverOnlyPorts[2] = {-1, -1};
};

#endif
