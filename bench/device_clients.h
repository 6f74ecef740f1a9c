// The clients measured against one independent device, each on its own connection: this
// library's Modbus/TCP master, the raw blocking client of the same bytes, libmodbus's client
// (where installed) and the three-call exchange prototype.
#ifndef MBUS_BENCH_DEVICE_CLIENTS_H
#define MBUS_BENCH_DEVICE_CLIENTS_H

#include <cstdint>
#include <functional>
#include <string>

#include "ip/tcp_master_protocol.h"
#include "raw_client.h"
#include "tcp_exchange_prototype.h"
#include "workload.h"

#ifdef MBBENCH_HAVE_LIBMODBUS
#include <modbus.h>
#endif

class DeviceClients {
public:
    enum Client { Raw, Library, Libmodbus, Prototype, kClientCount };

    explicit DeviceClients(int port);
    ~DeviceClients();
    DeviceClients(const DeviceClients &) = delete;
    DeviceClients &operator=(const DeviceClients &) = delete;

    // Empty when every client connected, else what failed.
    const std::string &failure() const { return setupFailure; }
    bool has(Client client) const;
    // One transaction of workload number `workload` of Workload::all() by that client; true on
    // success.
    std::function<bool()> operation(Client client, std::size_t workload);

    // One transaction of workload number `workload` by any of this library's masters; registers
    // holds 125.
    static std::function<bool()> masterOperation(mbus::MbusMasterFunctions &master, std::size_t workload,
                                                 short *registers);

    static const char *name(Client client);
    // The client of that name (as name() gives it), or kClientCount.
    static Client byName(const char *text);

private:
    mbus::MbusTcpMasterProtocol master;
    RawClient raw;
    TcpExchangePrototype prototype;
#ifdef MBBENCH_HAVE_LIBMODBUS
    modbus_t *peer = nullptr;
    std::uint16_t peerRegisters[125] = {};
#endif
    short registers[125] = {};
    std::string setupFailure;
};

#endif
