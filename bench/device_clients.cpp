#include "device_clients.h"

#include <cstring>

namespace {
constexpr int kTimeOutMs = 1000;
const char *const kNames[] = {"raw", "library", "libmodbus", "prototype"};
} // namespace

DeviceClients::DeviceClients(int port) : raw(port)
{
    if (master.setPort(static_cast<std::uint16_t>(port)) != MBUS_SUCCESS ||
        master.openConnection("127.0.0.1") != MBUS_SUCCESS)
        setupFailure = "the library cannot connect";
    else if (!raw.ready())
        setupFailure = "the raw client cannot connect";
    else if (prototype.open(port, kTimeOutMs) != MBUS_SUCCESS)
        setupFailure = "the prototype cannot connect";
#ifdef MBBENCH_HAVE_LIBMODBUS
    peer = modbus_new_tcp("127.0.0.1", port);
    if (peer == nullptr || modbus_connect(peer) != 0)
        setupFailure = "libmodbus cannot connect";
    else
        modbus_set_slave(peer, 1);
#endif
}

DeviceClients::~DeviceClients()
{
#ifdef MBBENCH_HAVE_LIBMODBUS
    if (peer != nullptr) {
        modbus_close(peer);
        modbus_free(peer);
    }
#endif
}

bool DeviceClients::has(Client client) const
{
#ifndef MBBENCH_HAVE_LIBMODBUS
    if (client == Libmodbus)
        return false;
#endif
    return client >= Raw && client < kClientCount;
}

const char *DeviceClients::name(Client client)
{
    return client >= Raw && client < kClientCount ? kNames[client] : "?";
}

DeviceClients::Client DeviceClients::byName(const char *text)
{
    for (int c = Raw; c < kClientCount; ++c) {
        if (std::strcmp(kNames[c], text) == 0)
            return static_cast<Client>(c);
    }
    return kClientCount;
}

std::function<bool()> DeviceClients::masterOperation(mbus::MbusMasterFunctions &master, std::size_t kind,
                                                     short *registers)
{
    const std::function<bool()> calls[] = {
        [&master, registers] { return master.readMultipleRegisters(1, 1, registers, 1) == MBUS_SUCCESS; },
        [&master, registers] { return master.readMultipleRegisters(1, 1, registers, 125) == MBUS_SUCCESS; },
        [&master] { return master.writeSingleRegister(1, 1, 42) == MBUS_SUCCESS; },
        [&master, registers] { return master.writeMultipleRegisters(1, 1, registers, 123) == MBUS_SUCCESS; },
    };
    return calls[kind];
}

std::function<bool()> DeviceClients::operation(Client client, std::size_t kind)
{
    // In the order of Workload::all(): read 1, read 125, write 1, write 123.
    const Workload &workload = Workload::all().at(kind);
    switch (client) {
    case Raw:
        return [this, &workload] {
            return raw.exchange(workload.request.data(), workload.request.size(), workload.replyBytes);
        };
    case Library:
        return masterOperation(master, kind, registers);
    case Prototype: {
        const std::function<bool()> calls[] = {
            [this] { return prototype.readHoldingRegisters(1, 0, registers, 1) == MBUS_SUCCESS; },
            [this] { return prototype.readHoldingRegisters(1, 0, registers, 125) == MBUS_SUCCESS; },
            [this] { return prototype.writeSingleRegister(1, 0, 42) == MBUS_SUCCESS; },
            [this] { return prototype.writeMultipleRegisters(1, 0, registers, 123) == MBUS_SUCCESS; },
        };
        return calls[kind];
    }
#ifdef MBBENCH_HAVE_LIBMODBUS
    case Libmodbus: {
        const std::function<bool()> calls[] = {
            [this] { return modbus_read_registers(peer, 0, 1, peerRegisters) == 1; },
            [this] { return modbus_read_registers(peer, 0, 125, peerRegisters) == 125; },
            [this] { return modbus_write_register(peer, 0, 42) == 1; },
            [this] { return modbus_write_registers(peer, 0, 123, peerRegisters) == 123; },
        };
        return calls[kind];
    }
#endif
    default:
        return [] { return false; };
    }
}
