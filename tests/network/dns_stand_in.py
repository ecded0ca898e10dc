#!/usr/bin/env python3
"""A DNS server for the private network: the names a campus's DNS server
would answer, so that the printer farm's thousands of names are not looked
up in a hosts file of thousands of lines (which the C library reads through
for every lookup, a millisecond each), and the printers a campus publishes
in DNS-SD over unicast DNS.

    dns_stand_in.py ADDRESS HOSTS READY [ZONE]

Answers queries on ADDRESS, port 53, over UDP (an answer larger than 512
bytes truncated, as a name server does) and TCP: for the names of HOSTS
(lines ADDRESS NAME ..., as the farm's hosts file has them) an A record,
and the records of ZONE, lines of NAME, TYPE and DATA separated by tabs:

    NAME  PTR  TARGET
    NAME  SRV  PORT HOST
    NAME  TXT  STRING<tab>STRING...
    NAME  A    ADDRESS

(a dot or a backslash inside a label written "\\." or "\\\\"). A name it has
records for but none of the type asked is answered with no record
(NOERROR), any other name with NXDOMAIN. READY is written once it listens.
"""
import asyncio
import socket
import struct
import sys

sys.dont_write_bytecode = True

A, PTR, TXT, SRV, IN = 1, 12, 16, 33, 1
TYPES = {"A": A, "PTR": PTR, "TXT": TXT, "SRV": SRV}


def labels_of(name):
    """The labels of a name as the zone writes it, as bytes."""
    labels, label, escaped = [], b"", False
    for byte in name.encode():
        char = bytes([byte])
        if escaped:
            label, escaped = label + char, False
        elif char == b"\\":
            escaped = True
        elif char == b".":
            labels.append(label)
            label = b""
        else:
            label += char
    if label:
        labels.append(label)
    return labels


def key(labels):
    return b".".join(label.lower() for label in labels)


def encoded(labels):
    return b"".join(bytes([len(label)]) + label for label in labels) + b"\0"


def record_data(kind, fields):
    if kind == PTR:
        return encoded(labels_of(fields[0]))
    if kind == SRV:
        port, host = fields[0].split(" ", 1)
        return struct.pack(">HHH", 0, 0, int(port)) + encoded(labels_of(host))
    if kind == TXT:
        return b"".join(bytes([len(s.encode())]) + s.encode() for s in fields)
    return socket.inet_aton(fields[0])


def question(query):
    """The name (labels), type and end of the first question; None."""
    labels, at = [], 12
    while at < len(query):
        length = query[at]
        at += 1
        if length == 0:
            break
        if length > 63 or at + length > len(query):
            return None
        labels.append(query[at:at + length])
        at += length
    if at + 4 > len(query):
        return None
    qtype, _ = struct.unpack(">HH", query[at:at + 4])
    return labels, qtype, at + 4


def answer(query, zone, udp):
    if len(query) < 12:
        return None
    asked = question(query)
    if asked is None:
        return None
    labels, qtype, end = asked
    ident, flags = struct.unpack(">HH", query[:4])
    records = zone.get(key(labels))
    rcode = 0 if records is not None else 3
    found = [data for kind, data in records or [] if kind == qtype]
    answers = b"".join(b"\xc0\x0c" + struct.pack(">HHIH", qtype, IN, 60, len(data)) +
                       data for data in found)
    flags = 0x8180 | (flags & 0x0100) | rcode
    if udp and 12 + (end - 12) + len(answers) > 512:
        flags, found, answers = flags | 0x0200, [], b""
    head = struct.pack(">HHHHHH", ident, flags, 1, len(found), 0, 0)
    return head + query[12:end] + answers


class Server(asyncio.DatagramProtocol):
    def __init__(self, zone):
        self.zone = zone
        self.transport = None

    def connection_made(self, transport):
        self.transport = transport

    def datagram_received(self, data, peer):
        reply = answer(data, self.zone, True)
        if reply is not None:
            self.transport.sendto(reply, peer)


async def serve_tcp(zone, reader, writer):
    try:
        while True:
            length, = struct.unpack(">H", await reader.readexactly(2))
            reply = answer(await reader.readexactly(length), zone, False)
            if reply is not None:
                writer.write(struct.pack(">H", len(reply)) + reply)
                await writer.drain()
    except (asyncio.IncompleteReadError, ConnectionError):
        writer.close()


def read_zone(hosts, zone_file):
    zone = {}
    with open(hosts) as lines:
        for line in lines:
            fields = line.split()
            if len(fields) >= 2:
                zone.setdefault(key(labels_of(fields[1])), []).append(
                    (A, socket.inet_aton(fields[0])))
    if zone_file:
        with open(zone_file, encoding="utf-8") as lines:
            for line in lines:
                fields = line.rstrip("\n").split("\t")
                if len(fields) >= 3 and fields[1] in TYPES:
                    kind = TYPES[fields[1]]
                    zone.setdefault(key(labels_of(fields[0])), []).append(
                        (kind, record_data(kind, fields[2:])))
    return zone


async def main():
    address, hosts, ready = sys.argv[1:4]
    zone = read_zone(hosts, sys.argv[4] if len(sys.argv) > 4 else None)
    loop = asyncio.get_running_loop()
    await loop.create_datagram_endpoint(lambda: Server(zone),
                                        local_addr=(address, 53))
    await asyncio.start_server(lambda r, w: serve_tcp(zone, r, w), address, 53)
    with open(ready, "w") as flag:
        flag.write("%d\n" % len(zone))
    await asyncio.Event().wait()


if __name__ == "__main__":
    asyncio.run(main())
