#!/usr/bin/env python3
"""Writes the seed corpus of the fuzz targets into fuzz/corpus/<target>/.

Each seed is one run of fuzz/session.cpp: the retry byte, the open bytes, then operations, each
followed by the exchanges that answer its requests (fuzz/reply_script.h describes them). The seeds
are valid transactions of every function code on every master, plus boundary replies: exception
frames, the longest frames, length fields and byte counts that lie. Regression inputs found by
the fuzzer are kept beside them under names starting with "regression-".
"""
import os
import struct
import sys

HERE = os.path.dirname(os.path.abspath(__file__))

# Exchange flags (fuzz/reply_script.h).
SENT, PARTIAL, SEND_TIMEOUT, SEND_FAIL = 0, 1, 2, 3
RAW, FIX_WHOLE, FIX_PREFIX, WRAP = 0, 1, 2, 3
SILENT, CLOSED, RESET, FAIL_AT_ONCE = 0, 1, 2, 3


def u16(v):
    return struct.pack(">H", v & 0xFFFF)


def u32(v):
    return struct.pack(">I", v & 0xFFFFFFFF)


def exchange(reply, mode=None, send=SENT, end=SILENT, chunk=0):
    """An exchange; by default a non-empty reply is a wrapped PDU and an empty one is silence."""
    if mode is None:
        mode = WRAP if reply else RAW
    flags = send | (mode << 2) | (end << 4) | (chunk << 6)
    return bytes([flags]) + u16(len(reply)) + bytes(reply)


def slave(addr):
    return u16(addr + 1)


def ref(r):
    return u16(r) + b"\x00"


# Operation numbers of fuzz/operation_driver.cpp.
OP = dict(readCoils=0, readInputs=1, readHolding=2, readInput=3, readWrite=4, readLongs=5, readInputLongs=6,
          readFloats=7, readInputFloats=8, readMod=9, readInputMod=10, writeCoil=11, forceCoils=12,
          writeSingle=13, writeMultiple=14, mask=15, writeLongs=16, writeFloats=17, writeMod=18,
          status=19, query=20, ascii=21, custom=22)


def operations(extended=False):
    """(name, operation bytes, reply PDUs) of a successful call of every operation; a PDU's first
    byte 0 stands for the request's function code."""
    s = 300 if extended else 1
    ops = []
    n = 10
    ops.append(("read-coils", bytes([OP["readCoils"]]) + slave(1) + b"\x00" + ref(1) + u16(n),
                [bytes([0, 2, 0xCD, 0x01])]))
    ops.append(("read-inputs-2000", bytes([OP["readInputs"] | 0x80]) + slave(1) + b"\x00" + ref(1) + u16(2000),
                [bytes([0, 250]) + bytes(range(250))]))
    regs = 4 if not extended else 300
    data = bytes((i * 7) & 0xFF for i in range(2 * regs))
    count = bytes([2 * regs]) if not extended else u16(2 * regs)
    ops.append(("read-holding", bytes([OP["readHolding"]]) + slave(s) + b"\x00" + ref(18) + u16(regs),
                [bytes([0]) + count + data]))
    ops.append(("read-input-125", bytes([OP["readInput"] | 0x80]) + slave(1) + b"\x01" + ref(0) + u16(125),
                [bytes([0, 250]) + bytes(250)]))
    ops.append(("read-write", bytes([OP["readWrite"]]) + slave(1) + b"\x00" + ref(1) + u16(3) + ref(1) + u16(2)
                + u16(0x1234) + u16(0x5678), [bytes([0, 6, 1, 2, 3, 4, 5, 6])]))
    for name, kind in (("read-longs", "readLongs"), ("read-floats", "readInputFloats"), ("read-mod", "readMod")):
        ops.append((name, bytes([OP[kind]]) + slave(s) + b"\x0a" + ref(1) + u16(2),
                    [bytes([0]) + (bytes([8]) if not extended else u16(8)) + bytes([0x3F, 0x80, 0, 0, 0, 1, 0, 2])]))
    ops.append(("write-coil", bytes([OP["writeCoil"]]) + slave(1) + b"\x00" + ref(1) + u32(7),
                [bytes([0, 0, 0, 0xFF, 0])]))
    ops.append(("write-coil-ack", bytes([OP["writeCoil"]]) + slave(1) + b"\x00" + ref(1) + u32(0),
                [bytes([0, 0, 0, 0, 1])]))
    ops.append(("force-coils", bytes([OP["forceCoils"]]) + slave(1) + b"\x00" + ref(1) + u16(9) + b"\x01" * 9,
                [bytes([0, 0, 0, 0, 9])]))
    ops.append(("write-single", bytes([OP["writeSingle"]]) + slave(1) + b"\x00" + ref(1) + u16(0x1234),
                [bytes([0, 0, 0, 0x12, 0x34])]))
    ops.append(("write-multiple-123", bytes([OP["writeMultiple"]]) + slave(1) + b"\x00" + ref(1) + u16(123)
                + u16(0xBEEF) * 123, [bytes([0, 0, 0, 0, 123])]))
    ops.append(("mask-write", bytes([OP["mask"]]) + slave(1) + b"\x00" + ref(5) + u16(0xF2) + u16(0x25),
                [bytes([0, 0, 4, 0, 0xF2, 0, 0x25])]))
    ops.append(("write-longs", bytes([OP["writeLongs"]]) + slave(1) + b"\x00" + ref(1) + u16(2) + u32(1) + u32(2),
                [bytes([0, 0, 0, 0, 4])]))
    ops.append(("write-floats-32bit", bytes([OP["writeFloats"]]) + slave(1) + b"\x08" + ref(1) + u16(2)
                + u32(0x7FC00000) + u32(0xFF800000), [bytes([0, 0, 0, 0, 2])]))
    ops.append(("write-mod", bytes([OP["writeMod"]]) + slave(1) + b"\x00" + ref(1) + u16(1) + u32(123456789),
                [bytes([0, 0, 0, 0, 2])]))
    ops.append(("status", bytes([OP["status"]]) + slave(1), [bytes([0, 0x6D])]))
    q = bytes(range(1, 21))
    ops.append(("query", bytes([OP["query"]]) + slave(1) + u16(len(q)) + q, [bytes([0, 0, 0]) + q]))
    ops.append(("custom", bytes([OP["custom"]]) + slave(1) + bytes([3, 4, 5]) + bytes([0, 0, 0, 2]),
                [bytes([0, 4, 0, 1, 0, 2])]))
    ops.append(("exception", bytes([OP["readHolding"]]) + slave(1) + b"\x00" + ref(1) + u16(1),
                [bytes([0x83, 0x02])]))
    ops.append(("exception-high-code", bytes([OP["readHolding"]]) + slave(1) + b"\x00" + ref(1) + u16(1),
                [bytes([0x83, 0xE4])]))
    ops.append(("short-byte-count", bytes([OP["readHolding"]]) + slave(1) + b"\x00" + ref(1) + u16(125),
                [bytes([0, 248]) + bytes(248)]))
    ops.append(("broadcast-write", bytes([OP["writeSingle"]]) + slave(0) + b"\x00" + ref(1) + u16(7), [b""]))
    return ops


def session(retry_byte, open_bytes, steps):
    out = bytes([retry_byte]) + open_bytes
    for op, replies in steps:
        out += op
        for r in replies:
            out += r
        out += b"\x00"  # no reopen
    return out


def wrapped_session(open_bytes, op, pdus, retry=0):
    return session(retry, open_bytes, [(op, [exchange(p) for p in pdus])])


def mbap(pdu, unit=1, length=None):
    length = len(pdu) + 1 if length is None else length
    return bytes([0, 0, 0, 0]) + u16(length) + bytes([unit]) + pdu


def rtu(addr_bytes, pdu):
    return bytes(addr_bytes) + pdu + b"\x00\x00"  # CRC fixed up by the script


def ascii_frame(addr, pdu, lower=False):
    digits = "".join("%02X" % b for b in [addr] + list(pdu)) + "00"
    if lower:
        digits = digits.lower()
    return (":" + digits + "\r\n").encode()


def write(target, name, data):
    d = os.path.join(HERE, "corpus", target)
    os.makedirs(d, exist_ok=True)
    with open(os.path.join(d, name), "wb") as f:
        f.write(data)


IP_OPEN = b"\x00"           # connect at once
UDP_OPEN = b""              # nothing to connect
SERIAL_OPEN = b"\x00\x01"   # 8 data bits, 9600 baud
ASCII7_OPEN = b"\x01\x01"   # 7 data bits


def main():
    ops = operations()
    # The data-access target: every operation on every master.
    kinds = {0: ("tcp", IP_OPEN), 1: ("udp", UDP_OPEN), 2: ("rtutcp", IP_OPEN), 3: ("asciitcp", IP_OPEN),
             4: ("rtu", SERIAL_OPEN), 5: ("ascii", ASCII7_OPEN), 6: ("elam", SERIAL_OPEN)}
    for k, (kname, open_bytes) in kinds.items():
        for name, op, pdus in ops:
            if k >= 4 and name == "broadcast-write":
                pdus = []
            write("data_access", "%s-%s" % (kname, name), bytes([k]) + wrapped_session(open_bytes, op, pdus))
    for name, op, pdus in operations(extended=True):
        if name.startswith(("read-holding", "read-longs", "read-floats", "read-mod")):
            write("data_access", "elam-extended-%s" % name, bytes([6]) + wrapped_session(SERIAL_OPEN, op, pdus))
            write("elam", "extended-%s" % name, wrapped_session(SERIAL_OPEN, op, pdus))

    read3 = bytes([OP["readHolding"]]) + slave(1) + b"\x00" + ref(1) + u16(3)
    regs3 = bytes([3, 6, 0, 1, 0, 2, 0, 3])
    status = bytes([OP["status"]]) + slave(1)

    # Modbus/TCP: whole frames, a trickle, a close and a reset mid-reply, lying lengths.
    write("mbap_tcp", "read-registers", session(0, IP_OPEN, [(read3, [exchange(mbap(regs3), FIX_WHOLE)])]))
    write("mbap_tcp", "read-registers-byte-by-byte",
          session(0, IP_OPEN, [(read3, [exchange(mbap(regs3), FIX_WHOLE, chunk=1)])]))
    write("mbap_tcp", "unit-zero", session(0, IP_OPEN, [(read3, [exchange(mbap(regs3, unit=0), FIX_WHOLE)])]))
    write("mbap_tcp", "exception-9-bytes", session(0, IP_OPEN, [(read3, [exchange(mbap(bytes([0x83, 2])), FIX_WHOLE)])]))
    write("mbap_tcp", "length-ffff", session(0, IP_OPEN, [(read3, [exchange(mbap(regs3, length=0xFFFF), FIX_WHOLE)])]))
    write("mbap_tcp", "length-0", session(0, IP_OPEN, [(status, [exchange(mbap(bytes([7, 0x55]), length=0), FIX_WHOLE)])]))
    write("mbap_tcp", "close-mid-reply",
          session(0, IP_OPEN, [(read3, [exchange(mbap(regs3)[:10], FIX_WHOLE, end=CLOSED)])]))
    write("mbap_tcp", "reset-mid-reply",
          session(0, IP_OPEN, [(read3, [exchange(mbap(regs3)[:10], FIX_WHOLE, end=RESET, chunk=2)])]))
    # A wrong identifier is not retried; the next transaction drains what is left of it.
    write("mbap_tcp", "wrong-tid-then-good", session(2, IP_OPEN, [
        (read3, [exchange(mbap(regs3) + b"left over", RAW)]), (read3, [exchange(mbap(regs3), FIX_WHOLE)])]))
    # Each time-out with retries left reconnects: a connect byte follows its exchange.
    write("mbap_tcp", "timeouts-with-retries", session(2, IP_OPEN, [(read3, [exchange(b""), b"\x00", exchange(b""),
                                                                              b"\x00", exchange(mbap(regs3), FIX_WHOLE)])]))
    write("mbap_tcp", "wrong-function-reconnect", session(1, IP_OPEN, [
        (read3, [exchange(mbap(bytes([4, 6, 0, 1, 0, 2, 0, 3])), FIX_WHOLE), b"\x00",
                 exchange(mbap(regs3), FIX_WHOLE)])]))
    write("mbap_tcp", "send-partial-and-timeout", session(0, IP_OPEN, [
        (read3, [exchange(b"", send=PARTIAL)]), (read3, [exchange(b"", send=SEND_TIMEOUT)])]))
    ascii_cmd = bytes([OP["ascii"], 6, 0]) + b"STATUS"
    write("mbap_tcp", "text-command", session(0, IP_OPEN, [(ascii_cmd, [
        exchange(mbap(bytes([0x10, 0x27, 0x0F, 0, 4])), FIX_WHOLE),
        exchange(mbap(bytes([3, 0]), length=3) + b"OK STATUS\r", FIX_WHOLE)])]))
    write("mbap_tcp", "connect-refused", bytes([0, 0xF2]) + read3)
    for name, op, pdus in ops[:8]:
        write("mbap_tcp", "wrapped-" + name, wrapped_session(IP_OPEN, op, pdus))
    tls_seeds(ops, read3, regs3)

    # Modbus/UDP: datagrams of every odd size.
    write("mbap_udp", "read-registers", session(0, UDP_OPEN, [(read3, [exchange(mbap(regs3), FIX_WHOLE)])]))
    write("mbap_udp", "datagram-8-bytes", session(0, UDP_OPEN, [(read3, [exchange(mbap(regs3)[:8], FIX_WHOLE)])]))
    write("mbap_udp", "datagram-300-bytes",
          session(0, UDP_OPEN, [(read3, [exchange(mbap(regs3) + bytes(300 - 15), FIX_WHOLE)])]))
    write("mbap_udp", "split-datagrams",
          session(1, UDP_OPEN, [(read3, [exchange(mbap(regs3), FIX_WHOLE, chunk=3)])]))
    write("mbap_udp", "tid-with-zero-byte", session(0, UDP_OPEN, [(read3, [exchange(
        bytes([0, 9, 0, 0]) + mbap(regs3)[4:], RAW)])]))
    write("mbap_udp", "length-0103", session(0, UDP_OPEN, [(read3, [exchange(mbap(regs3, length=0x0103), FIX_WHOLE)])]))
    write("mbap_udp", "refused", session(0, UDP_OPEN, [(read3, [exchange(b"", end=RESET)])]))
    write("mbap_udp", "exception", session(0, UDP_OPEN, [(read3, [exchange(mbap(bytes([0x83, 4])), FIX_WHOLE)])]))
    for name, op, pdus in ops[8:16]:
        write("mbap_udp", "wrapped-" + name, wrapped_session(UDP_OPEN, op, pdus))

    # RTU: the first byte picks the carrier (0 serial line, 1 TCP).
    for carrier, open_bytes in ((0, SERIAL_OPEN), (1, IP_OPEN)):
        c = bytes([carrier])
        write("rtu", "%d-read-registers" % carrier, c + session(0, open_bytes, [(read3, [exchange(rtu([1], regs3), FIX_WHOLE)])]))
        write("rtu", "%d-exception" % carrier, c + session(0, open_bytes, [(read3, [exchange(bytes([1, 0x83, 2, 0xC0, 0xF1]), RAW)])]))
        write("rtu", "%d-exception-prefix" % carrier, c + session(0, open_bytes, [(read3, [
            exchange(bytes([1, 0x83, 2, 0, 0]) + bytes(6), FIX_PREFIX)])]))
        write("rtu", "%d-bad-crc-then-good" % carrier, c + session(1, open_bytes, [(read3, [
            exchange(rtu([1], regs3), RAW), exchange(rtu([1], regs3), FIX_WHOLE)])]))
        write("rtu", "%d-other-slave" % carrier, c + session(0, open_bytes, [(read3, [exchange(rtu([2], regs3), FIX_WHOLE)])]))
        write("rtu", "%d-status" % carrier, c + session(0, open_bytes, [(status, [exchange(bytes([1, 7, 0x6D, 0, 0]), FIX_WHOLE)])]))
        write("rtu", "%d-short-reply" % carrier, c + session(0, open_bytes, [(read3, [exchange(rtu([1], regs3)[:7], FIX_WHOLE)])]))
        for name, op, pdus in ops:
            write("rtu", "%d-wrapped-%s" % (carrier, name), c + wrapped_session(open_bytes, op, pdus))
    write("rtu", "0-noise-then-request", b"\x00" + session(0, SERIAL_OPEN, [(read3, [exchange(rtu([1], regs3), FIX_WHOLE, chunk=1)])]))
    write("rtu", "0-line-busy", b"\x00" + session(0, SERIAL_OPEN, [(read3, [exchange(b"", chunk=3)])]))

    # ASCII: the first byte picks the carrier.
    for carrier, open_bytes in ((0, ASCII7_OPEN), (1, IP_OPEN)):
        c = bytes([carrier])
        write("ascii", "%d-read-registers" % carrier, c + session(0, open_bytes, [(read3, [exchange(ascii_frame(1, regs3), FIX_WHOLE)])]))
        lettered = bytes([3, 6, 0xAB, 0xCD, 0, 2, 0, 0xEF])
        write("ascii", "%d-lower-case" % carrier, c + session(0, open_bytes, [(read3, [exchange(ascii_frame(1, lettered, lower=True), RAW)])]))
        write("ascii", "%d-exception" % carrier, c + session(0, open_bytes, [(read3, [exchange(ascii_frame(1, bytes([0x83, 2])), FIX_PREFIX)])]))
        write("ascii", "%d-other-closing" % carrier, c + session(0, open_bytes, [(read3, [
            exchange(ascii_frame(1, regs3)[:-2] + b"XY", FIX_WHOLE)])]))
        write("ascii", "%d-no-colon" % carrier, c + session(0, open_bytes, [(read3, [exchange(b"?" + ascii_frame(1, regs3)[1:], FIX_WHOLE)])]))
        write("ascii", "%d-status" % carrier, c + session(0, open_bytes, [(status, [exchange(ascii_frame(1, bytes([7, 0x6D])), FIX_WHOLE)])]))
        for name, op, pdus in ops:
            write("ascii", "%d-wrapped-%s" % (carrier, name), c + wrapped_session(open_bytes, op, pdus))

    # Extended-address RTU.
    ext_read = bytes([OP["readHolding"]]) + slave(548) + b"\x00" + ref(1) + u16(2)
    write("elam", "exception-548", session(0, SERIAL_OPEN, [(ext_read, [exchange(bytes([0xF9, 0x2C, 0x83, 2, 0, 0]), FIX_WHOLE)])]))
    write("elam", "reply-from-549", session(0, SERIAL_OPEN, [(ext_read, [
        exchange(bytes([0xF9, 0x2D, 3, 0, 4, 0, 1, 0, 2, 0, 0]), FIX_WHOLE)])]))
    big = bytes([OP["readHolding"]]) + slave(300) + b"\x00" + ref(1) + u16(2500)
    write("elam", "read-2500", session(0, SERIAL_OPEN, [(big, [exchange(bytes([0]) + u16(5000) + bytes(5000))])]))
    write("elam", "read-2500-count-4998", session(0, SERIAL_OPEN, [(big, [exchange(bytes([0]) + u16(4998) + bytes(5000))])]))
    write("elam", "plain-slave-10", session(0, SERIAL_OPEN, [(read3, [exchange(rtu([1], regs3), FIX_WHOLE)])]))
    for name, op, pdus in ops[:6]:
        write("elam", "wrapped-" + name, wrapped_session(SERIAL_OPEN, op, pdus))
    extension_seeds()
    xophost_seeds()
    return 0


def f64(v):
    return struct.pack("<d", v)


def command(which, flags, given, name_choice, numbers, replies=b""):
    """One command of fuzz/extension_commands_fuzzer.cpp and the replies its transactions get."""
    out = bytes([which, flags, given])
    if given & 1:
        out += name_choice
    for v in numbers:
        out += f64(v)
    return out + replies


LOCAL = b"\x00"  # "127.0.0.1" from the fuzzer's list of names


# The TLS records target (fuzz/tls_records_fuzzer.cpp): a settings byte, then a session whose
# exchanges carry two more bytes, what becomes of the reply's records.
TLS13, CLIENT_CERT, CERT_REQUIRED, RESUMPTION, MIN_TLS13 = 0x01, 0x02, 0x04, 0x08, 0x10
ONE_RECORD, SPLIT, FLIP, CUT, CLOSE_NOTIFY, REKEY, PLAIN_ALERT, LONG_HEADER = range(8)


def tls_exchange(reply, mode=None, send=SENT, end=SILENT, chunk=0, records=ONE_RECORD, argument=0, at=None):
    out = exchange(reply, mode, send, end, chunk) + bytes([records, argument])
    return out + (u16(at) if records == FLIP else b"")


def tls_seeds(ops, read3, regs3):
    for settings, name in ((TLS13 | CLIENT_CERT, "tls13"), (CLIENT_CERT, "tls12")):
        for records, argument, rname in ((ONE_RECORD, 0, "one-record"), (SPLIT, 3, "split"), (FLIP, 2, "flip"),
                                         (CUT, 20, "cut"), (CLOSE_NOTIFY, 0, "close-notify"), (REKEY, 0, "rekey"),
                                         (PLAIN_ALERT, 0x80 | 40, "plain-alert"), (LONG_HEADER, 8, "long-header")):
            write("tls_records", "%s-%s" % (name, rname), bytes([settings]) + session(0, IP_OPEN, [
                (read3, [tls_exchange(mbap(regs3), FIX_WHOLE, records=records, argument=argument, at=30)]),
                (read3, [tls_exchange(mbap(regs3), FIX_WHOLE)])]))
        write("tls_records", name + "-byte-by-byte", bytes([settings]) + session(0, IP_OPEN, [
            (read3, [tls_exchange(mbap(regs3), FIX_WHOLE, chunk=1)])]))
        # Once made the master send the timed-out request later, in place of the next one.
        write("tls_records", "regression-%s-send-timeout-stale-record" % name, bytes([settings]) + session(0, IP_OPEN, [
            (read3, [tls_exchange(mbap(regs3), FIX_WHOLE, send=PARTIAL)]),
            (read3, [tls_exchange(b"", send=SEND_TIMEOUT)]),
            (read3, [b"\x00", tls_exchange(mbap(regs3), FIX_WHOLE)])]))  # reconnects first
        write("tls_records", name + "-close-mid-reply", bytes([settings]) + session(0, IP_OPEN, [
            (read3, [tls_exchange(mbap(regs3), FIX_WHOLE, end=CLOSED, records=CUT, argument=12)])]))
        for op_name, op, pdus in ops[:6]:
            write("tls_records", "%s-wrapped-%s" % (name, op_name), bytes([settings]) + session(0, IP_OPEN, [
                (op, [tls_exchange(p) for p in pdus])]))
    # A reconnect that resumes the session, the certificate the device requires missing (TLS 1.3:
    # refused on the first read), and a version neither side shares.
    write("tls_records", "tls12-resumed-after-reopen", bytes([CLIENT_CERT | RESUMPTION]) + bytes([0]) + IP_OPEN
          + read3 + tls_exchange(mbap(regs3), FIX_WHOLE) + b"\x0f" + IP_OPEN
          + read3 + tls_exchange(mbap(regs3), FIX_WHOLE) + b"\x00")
    write("tls_records", "tls13-resumed-after-reopen", bytes([TLS13 | CLIENT_CERT | RESUMPTION]) + bytes([0]) + IP_OPEN
          + read3 + tls_exchange(mbap(regs3), FIX_WHOLE) + b"\x0f" + IP_OPEN
          + read3 + tls_exchange(mbap(regs3), FIX_WHOLE) + b"\x00")
    write("tls_records", "tls13-cert-required-missing", bytes([TLS13 | CERT_REQUIRED]) + session(0, IP_OPEN, [
        (read3, [tls_exchange(mbap(regs3), FIX_WHOLE)])]))
    write("tls_records", "tls12-cert-required-missing", bytes([CERT_REQUIRED]) + session(0, IP_OPEN, [
        (read3, [tls_exchange(mbap(regs3), FIX_WHOLE)])]))
    write("tls_records", "tls12-device-tls13-master", bytes([MIN_TLS13]) + session(0, IP_OPEN, [
        (read3, [tls_exchange(mbap(regs3), FIX_WHOLE)])]))
    write("tls_records", "tls13-retries-after-bad-function", bytes([TLS13]) + session(2, IP_OPEN, [
        (read3, [tls_exchange(mbap(bytes([4, 6, 0, 1, 0, 2, 0, 3])), FIX_WHOLE), b"\x00",
                 tls_exchange(mbap(regs3), FIX_WHOLE)])]))


def extension_seeds():
    nan, inf = float("nan"), float("inf")
    open_ok = command(0, 0, 0x0F, LOCAL, [502.0, 1000.0, 0.0], IP_OPEN)
    read_hr = command(3, 0, 0x09, LOCAL, [0, 0, 17.0, 0], exchange(bytes([0, 2, 0x12, 0x34])))
    read_long = command(3, 0x02, 0x09, LOCAL, [0, 0, 17.0, 0], exchange(bytes([0, 4, 0, 1, 0, 2])))
    read_float = command(3, 0x04, 0x11, LOCAL, [0, 0, 0, 3.0], exchange(bytes([0, 4, 0x7F, 0xC0, 0, 0])))
    read_coil = command(3, 0, 0x03, LOCAL, [5.0, 0, 0, 0], exchange(bytes([0, 1, 1])))
    write_both = command(4, 0, 0x07, LOCAL, [3.0, 1.0, 9.0, 4660.0],
                         exchange(bytes([0, 0, 3, 0xFF, 0])) + exchange(bytes([0, 0, 9, 0x12, 0x34])))
    status = command(1, 0, 0x01, LOCAL, [], exchange(bytes([0, 0x6D])))
    close = command(2, 0, 0x01, LOCAL, [])
    write("extension_commands", "open-read-write-close", open_ok + read_hr + read_long + read_float + read_coil
          + write_both + status + close)
    write("extension_commands", "quiet-failures", command(3, 0x01, 0x09, LOCAL, [0, 0, 17.0, 0])
          + command(0, 0x01, 0x03, LOCAL, [70000.0, 0, 0]) + command(2, 0x01, 0x01, b"\x02", []))
    write("extension_commands", "odd-numbers", open_ok + command(3, 0, 0x1F, LOCAL, [nan, inf, -inf, 1e300])
          + command(4, 0x06, 0x07, LOCAL, [-1.0, nan, 65536.0, -1e19]) + command(0, 0, 0x0F, b"\x01", [nan, -inf, 1e-320]))
    write("extension_commands", "names", command(0, 0, 0x01, b"\x0b", [0, 0, 0], IP_OPEN)
          + command(0, 0, 0x01, b"\x0c", [0, 0, 0], IP_OPEN) + command(0, 0, 0x01, b"\x0d", [0, 0, 0])
          + command(0, 0, 0x01, b"\xc0\x05pl\x00c1", [0, 0, 0]) + command(0, 0, 0x01, b"\x03", [0, 0, 0]))
    write("extension_commands", "reopen-after-close", open_ok + close + open_ok + read_hr + close + close)
    # Found by the fuzzer: a float register holding NaN (low word first: 0000 7FC0), read with /F
    # and printed to the history, is converted to int in extension/data_commands.cpp.
    write("extension_commands", "regression-float-nan-read",
          open_ok + command(3, 0x04, 0x09, LOCAL, [0, 0, 1.0, 0], exchange(bytes([0, 4, 0, 0, 0x7F, 0xC0]))))
    write("extension_commands", "regression-float-huge-read",
          open_ok + command(3, 0x04, 0x11, LOCAL, [0, 0, 0, 1.0], exchange(bytes([0, 4, 0xFF, 0xFF, 0x7F, 0x7F]))))


def xophost_seeds():
    def seed(name, lines, replies=b""):
        write("xophost_line", name, "\n".join(lines).encode() + b"\x00" + replies)

    ip = 'IP="127.0.0.1"'
    seed("open-read-close", ["MBOpen " + ip, "MBRead " + ip + ", HoldingRegister=17", "print V_MBHoldingRegister",
                             "MBClose " + ip], IP_OPEN + exchange(bytes([0, 2, 0x12, 0x34])))
    seed("flags-and-pairs", ["MBOpen/Q " + ip + ", port=502, timeout=250, delay=0",
                             "MBRead/L/F " + ip + ", InputRegister=0x10",
                             "MBWrite/L " + ip + ", Coil={1, 1}, Register={2, -5}",
                             "MBGetStatus " + ip, "print V_MBstatus"],
         IP_OPEN + exchange(bytes([0, 4, 0x3F, 0x80, 0, 0])) + exchange(bytes([0, 0, 1, 0xFF, 0]))
         + exchange(bytes([0, 0, 2, 0, 4])) + exchange(bytes([0, 0x55])))
    seed("odd-numbers", ["MBOpen " + ip + ", port=NaN", "MBOpen " + ip + ", timeout=Inf, delay=-Inf",
                         "MBRead " + ip + ", Coil=1e300", "MBWrite " + ip + ", Register={-0x1, 1.5e-300}"])
    seed("syntax", ['MBOpen IP="unterminated', "MBRead IP=127.0.0.1", "MBWrite " + ip + ", Coil={1}",
                    "// a comment", "", "print", "print V_MBerr extra", 'mbopen ip="A\\\"b"', "NoSuchCommand"])
    seed("regression-float-nan-read", ["MBOpen " + ip, "MBRead/F " + ip + ", HoldingRegister=1"],
         IP_OPEN + exchange(bytes([0, 4, 0, 0, 0x7F, 0xC0])))
    seed("long-name", ['MBOpen IP="' + "x" * 300 + '"', "MBClose IP=\"\""])


if __name__ == "__main__":
    sys.exit(main())
