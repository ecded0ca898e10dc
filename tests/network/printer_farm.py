#!/usr/bin/env python3
"""Many IPP printers, each on a loopback address of its own, in one asyncio
loop: a network at campus scale for the private network's scale case and
its benchmark.

    printer_farm.py DIR HOSTS

HOSTS has a line per printer: ADDRESS NAME DELAY_MS KIND [PORT]. Each
listens on ADDRESS:PORT (631 unless given) and answers like a printer that
is no CUPS server: a CUPS-Get-Printers with "operation not supported", a
Get-Printer-Attributes with itself (printer-name NAME), each DELAY_MS after
the request, over a connection it keeps open. KIND "silent" takes
connections and never answers; "tls" takes TLS only (TLS 1.2 and 1.3, no
session tickets, the certificate FARM_CERT with its key FARM_KEY) and
writes the server name each client sent (SNI) to DIR/sni-NAME. DIR/ready
appears once every printer listens; DIR/counts holds "connections
requests late" so far (rewritten whole as they change), late being the
most milliseconds an answer went out after its due time (its request's
arrival and the delay): a farm that cannot keep up says so there.

It takes as many descriptors as it needs, two a printer: as root it raises
its hard limit on open files (up to the kernel's nr_open).
"""
import asyncio
import os
import resource
import ssl
import struct
import sys

sys.dont_write_bytecode = True
here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(here, ".."))
sys.path.insert(0, os.path.join(here, "..", "ipp"))
import stand_in  # noqa: E402
from stand_in_server import (TEXT, attr, operation_group, printer, whole,  # noqa: E402
                             END_OF_ATTRIBUTES)

CUPS_GET_PRINTERS = 0x4002
NOT_SUPPORTED = 0x0501
counts = [0, 0, 0]


async def read_request(reader):
    """The operation and request-id of one POST; None at the connection's end."""
    head = await reader.readuntil(b"\r\n\r\n")
    length = 0
    for line in head.split(b"\r\n"):
        if line.lower().startswith(b"content-length:"):
            length = int(line.split(b":", 1)[1])
    body = await reader.readexactly(length)
    if len(body) < 8:
        return None
    return struct.unpack(">HI", body[2:8])


def answer_to(operation, request_id, name):
    if operation == CUPS_GET_PRINTERS:
        refused = bytearray(operation_group(request_id))
        refused[2:4] = struct.pack(">H", NOT_SUPPORTED)
        body = bytes(refused) + bytes([END_OF_ATTRIBUTES])
    else:
        body = operation_group(request_id) + printer(
            name, printer_info=attr(TEXT, "printer-info", name + " (farm)")) + \
            bytes([END_OF_ATTRIBUTES])
    return whole(body)


class Printer(asyncio.Protocol):
    """A plain printer's connection, without a coroutine of its own: the
    farm answers thousands at once on one core."""

    def __init__(self, name, delay, silent):
        self.name, self.delay, self.silent = name, delay, silent
        self.data = b""
        self.transport = None

    def connection_made(self, transport):
        counts[0] += 1
        self.transport = transport

    def data_received(self, data):
        self.data += data
        while True:
            end = self.data.find(b"\r\n\r\n")
            if end < 0:
                return
            length = 0
            for line in self.data[:end].split(b"\r\n"):
                if line.lower().startswith(b"content-length:"):
                    length = int(line.split(b":", 1)[1])
            if len(self.data) < end + 4 + length:
                return
            body = self.data[end + 4:end + 4 + length]
            self.data = self.data[end + 4 + length:]
            if len(body) < 8:
                self.transport.close()
                return
            counts[1] += 1
            if self.silent:
                continue
            loop = asyncio.get_running_loop()
            operation, request_id = struct.unpack(">HI", body[2:8])
            loop.call_later(self.delay, self.answer, loop.time() + self.delay,
                            operation, request_id)

    def answer(self, due, operation, request_id):
        late = asyncio.get_running_loop().time() - due
        counts[2] = max(counts[2], int(late * 1000))
        if not self.transport.is_closing():
            self.transport.write(answer_to(operation, request_id, self.name))


def serving(name, delay, silent):
    async def serve(reader, writer):
        counts[0] += 1
        try:
            while True:
                request = await read_request(reader)
                if request is None:
                    break
                counts[1] += 1
                due = asyncio.get_running_loop().time() + delay
                if silent:
                    await asyncio.sleep(3600)
                await asyncio.sleep(delay)
                late = asyncio.get_running_loop().time() - due
                counts[2] = max(counts[2], int(late * 1000))
                writer.write(answer_to(request[0], request[1], name))
                await writer.drain()
        except (asyncio.IncompleteReadError, ConnectionError, ValueError):
            pass
        finally:
            writer.close()
    return serve


async def keep_counts(folder):
    written = None
    while True:
        now = "%d %d %d\n" % tuple(counts)
        if now != written:
            stand_in.write_whole(folder, "counts", now)
            written = now
        await asyncio.sleep(0.1)


def tls_context(folder, name):
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.minimum_version = ssl.TLSVersion.TLSv1_2
    context.load_cert_chain(os.environ["FARM_CERT"], os.environ["FARM_KEY"])
    context.num_tickets = 0

    def sni(_, server_name, __):
        stand_in.write_whole(folder, "sni-" + name, "%s\n" % server_name)
    context.sni_callback = sni
    return context


async def main():
    folder, hosts = sys.argv[1], sys.argv[2]
    with open(hosts) as lines:
        printers = [line.split() for line in lines]
    soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
    wanted = max(hard, 2 * len(printers) + 1024)
    try:
        with open("/proc/sys/fs/nr_open") as nr_open:
            wanted = min(wanted, int(nr_open.read()))
        resource.setrlimit(resource.RLIMIT_NOFILE, (wanted, wanted))
    except (OSError, ValueError):
        resource.setrlimit(resource.RLIMIT_NOFILE, (hard, hard))
    servers = []
    loop = asyncio.get_running_loop()
    for address, name, delay, kind, *port in printers:
        port = int(port[0]) if port else 631
        if kind == "tls":
            servers.append(await asyncio.start_server(
                serving(name, int(delay) / 1000.0, False), address, port,
                backlog=64, reuse_address=True,
                ssl=tls_context(folder, name)))
            continue
        servers.append(await loop.create_server(
            lambda name=name, delay=int(delay) / 1000.0, silent=kind == "silent":
            Printer(name, delay, silent),
            address, port, backlog=64, reuse_address=True))
    counting = asyncio.ensure_future(keep_counts(folder))
    stand_in.write_whole(folder, "ready", "%d\n" % len(servers))
    await counting


if __name__ == "__main__":
    asyncio.run(main())
