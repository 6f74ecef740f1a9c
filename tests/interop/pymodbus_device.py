#!/usr/bin/python3
"""A Modbus device made of pymodbus's server side, for the interoperability tests.

Serves one transport on loopback or on a pseudo-terminal, prints where it can be reached
("port N" or "pty PATH") once it is ready, and exits by itself after --seconds.

The tables match the libmodbus device of the same folder: unit 1 (and 255 behind MBAP headers); 2000 coils and discrete
inputs, 1000 holding and input registers, all at wire addresses from 0; coils and holding
registers start cleared, discrete input a is on when a % 3 == 0, input register a holds
(0x1234 + 0x0203 * a) mod 65536.

Device identification: the objects of IDENTITY below (basic 0..2, regular 3..6, and two extended
objects of 150 bytes, so that an extended read takes two replies). Report server id: the bytes
SERVER_ID, then the run indicator 0xFF, as pymodbus always sends it, and no additional data.

Runs with the system's /usr/bin/python3 and the pymodbus of the Debian package python3-pymodbus.
"""
import argparse
import asyncio
import os
import sys
import tty
import types

from pymodbus.device import ModbusDeviceIdentification
from pymodbus.datastore import (
    ModbusSequentialDataBlock,
    ModbusServerContext,
    ModbusSlaveContext,
)
from pymodbus.framer.ascii_framer import ModbusAsciiFramer
from pymodbus.framer.rtu_framer import ModbusRtuFramer
from pymodbus.framer.socket_framer import ModbusSocketFramer
from pymodbus.server.async_io import (
    ModbusSerialServer,
    ModbusTcpServer,
    ModbusUdpServer,
)

UNIT = 1
BIT_COUNT = 2000
REGISTER_COUNT = 1000

IDENTITY = {
    0x00: "pymodbus device",
    0x01: "PMD-1",
    0x02: "3.0",
    0x03: "http://localhost/",
    0x04: "Interop device",
    0x05: "PMD",
    0x06: "interop tests",
    0x80: "x" * 150,
    0x81: "y" * 150,
}
SERVER_ID = b"Pymodbus PMD-1"

FRAMERS = {
    "tcp": ModbusSocketFramer,
    "udp": ModbusSocketFramer,
    "rtu-over-tcp": ModbusRtuFramer,
    "ascii-over-tcp": ModbusAsciiFramer,
    "rtu-pty": ModbusRtuFramer,
    "ascii-pty": ModbusAsciiFramer,
}


def make_context(mbap):
    # zero_mode: wire address a is entry a of each block (pymodbus otherwise shifts by one).
    slave = ModbusSlaveContext(
        co=ModbusSequentialDataBlock(0, [0] * BIT_COUNT),
        di=ModbusSequentialDataBlock(0, [1 if a % 3 == 0 else 0 for a in range(BIT_COUNT)]),
        hr=ModbusSequentialDataBlock(0, [0] * REGISTER_COUNT),
        ir=ModbusSequentialDataBlock(0, [(0x1234 + 0x0203 * a) & 0xFFFF for a in range(REGISTER_COUNT)]),
        zero_mode=True,
    )
    # pymodbus otherwise joins every identification object into the id, past one reply's size.
    slave.reportSlaveIdData = SERVER_ID
    # Behind an MBAP header the device also answers unit 255, the identifier Modbus/TCP
    # recommends for a device addressed by its IP address alone; pymodbus then answers any other
    # unit with exception 11. On the line framings other units get no reply, as on a shared bus.
    units = {UNIT: slave, 255: slave} if mbap else {UNIT: slave}
    return ModbusServerContext(slaves=units, single=False)


def make_identity():
    return ModbusDeviceIdentification(info=dict(IDENTITY))


def announce(text):
    print(text, flush=True)


async def serve_stream(context, framer, port):
    server = ModbusTcpServer(
        context, framer=framer, identity=make_identity(), address=("127.0.0.1", port), allow_reuse_address=True
    )
    task = asyncio.create_task(server.serve_forever())
    await server.serving
    announce(f"port {server.server.sockets[0].getsockname()[1]}")
    return task


async def serve_datagram(context, framer, port):
    server = ModbusUdpServer(context, framer=framer, identity=make_identity(), address=("127.0.0.1", port))
    task = asyncio.create_task(server.serve_forever())
    await server.serving
    announce(f"port {server.protocol.get_extra_info('sockname')[1]}")
    return task


class PtyTransport(asyncio.Transport):
    """Writes the device's replies to the controlling side of a pseudo-terminal."""

    def __init__(self, fd, path):
        super().__init__()
        self.fd = fd
        # pymodbus's serial handler names the port from transport.serial.port.
        self.serial = types.SimpleNamespace(port=path)

    def write(self, data):
        view = memoryview(bytes(data))
        while view:
            view = view[os.write(self.fd, view):]

    def close(self):
        pass


async def serve_pty(context, framer):
    # pymodbus opens serial ports by name; a pseudo-terminal's controlling side has none, so its
    # serial request handler (the same one a real port uses) is fed from this descriptor instead.
    controller, line = os.openpty()
    # The line side stays open here too: the tests open and close it without hanging it up,
    # and it is raw before the first client opens it.
    tty.setraw(line)
    path = os.ttyname(line)
    # Requests to unit 0 are carried out without reply, as serial-line broadcasts should be. With
    # broadcasts on, pymodbus takes frames for every unit; other units must then stay unanswered.
    server = ModbusSerialServer(
        context,
        framer=framer,
        identity=make_identity(),
        port=path,
        broadcast_enable=True,
        ignore_missing_slaves=True,
    )
    handler = server.handler(server)
    handler.connection_made(PtyTransport(controller, path))

    def on_readable():
        try:
            data = os.read(controller, 1024)
        except OSError:
            data = b""
        if data:
            handler.data_received(data)

    asyncio.get_running_loop().add_reader(controller, on_readable)
    announce(f"pty {path}")
    return line


async def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--transport", choices=sorted(FRAMERS), required=True)
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--seconds", type=float, default=30.0)
    args = parser.parse_args()
    if not 0 <= args.port <= 65535 or not 0 < args.seconds <= 3600:
        parser.error("port 0..65535 and seconds 0..3600 expected")

    context = make_context(args.transport in ("tcp", "udp"))
    framer = FRAMERS[args.transport]
    if args.transport.endswith("-pty"):
        await serve_pty(context, framer)
    elif args.transport == "udp":
        await serve_datagram(context, framer, args.port)
    else:
        await serve_stream(context, framer, args.port)
    await asyncio.sleep(args.seconds)
    print("stopped after its lifetime", file=sys.stderr, flush=True)
    # Skips pymodbus's own shutdown, which waits on its connections.
    os._exit(0)


if __name__ == "__main__":
    asyncio.run(main())
