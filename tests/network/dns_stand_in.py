#!/usr/bin/env python3
"""A DNS server for the private network's printer farm: the names a campus's
DNS server would answer, so that the farm's thousands of names are not
looked up in a hosts file of thousands of lines (which the C library reads
through for every lookup, a millisecond each).

    dns_stand_in.py ADDRESS HOSTS READY

Answers queries on ADDRESS, port 53 (UDP), for the names of HOSTS (lines
ADDRESS NAME ..., as the farm's hosts file has them): an A record for a
name there, no record of another type for it (NOERROR), NXDOMAIN for any
other name. READY is written once it listens.
"""
import asyncio
import socket
import struct
import sys

sys.dont_write_bytecode = True

A, IN = 1, 1


def question(query):
    """The name (lower case), type and end of the first question; None."""
    labels, at = [], 12
    while at < len(query):
        length = query[at]
        at += 1
        if length == 0:
            break
        if length > 63 or at + length > len(query):
            return None
        labels.append(query[at:at + length].decode("ascii", "replace").lower())
        at += length
    if at + 4 > len(query):
        return None
    qtype, _ = struct.unpack(">HH", query[at:at + 4])
    return ".".join(labels), qtype, at + 4


def answer(query, names):
    if len(query) < 12:
        return None
    asked = question(query)
    if asked is None:
        return None
    name, qtype, end = asked
    ident, flags = struct.unpack(">HH", query[:4])
    address = names.get(name.rstrip("."))
    rcode = 0 if address is not None else 3
    answers = b""
    if address is not None and qtype == A:
        answers = b"\xc0\x0c" + struct.pack(">HHIH", A, IN, 60, 4) + \
            socket.inet_aton(address)
    head = struct.pack(">HHHHHH", ident, 0x8180 | (flags & 0x0100) | rcode, 1,
                       1 if answers else 0, 0, 0)
    return head + query[12:end] + answers


class Server(asyncio.DatagramProtocol):
    def __init__(self, names):
        self.names = names
        self.transport = None

    def connection_made(self, transport):
        self.transport = transport

    def datagram_received(self, data, peer):
        reply = answer(data, self.names)
        if reply is not None:
            self.transport.sendto(reply, peer)


async def main():
    address, hosts, ready = sys.argv[1:4]
    names = {}
    with open(hosts) as lines:
        for line in lines:
            fields = line.split()
            if len(fields) >= 2:
                names[fields[1].lower()] = fields[0]
    loop = asyncio.get_running_loop()
    await loop.create_datagram_endpoint(lambda: Server(names),
                                        local_addr=(address, 53))
    with open(ready, "w") as flag:
        flag.write("%d\n" % len(names))
    await asyncio.Event().wait()


if __name__ == "__main__":
    asyncio.run(main())
