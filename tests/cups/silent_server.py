#!/usr/bin/env python3
"""A server that accepts connections and never answers them.

    silent_server.py DIR [--address ADDRESS] [--port PORT] [--lifetime SECONDS]

Listens on ADDRESS (127.0.0.1 unless told) at PORT (a free one unless
told), and writes the port to DIR/port. For every connection it takes, it
reads what the client sends and, once a whole HTTP request with an IPP
body has arrived, writes a summary of it to
DIR/request-N (N from 1): the IPP operation as "operation 0xNNNN", then
one line per requested attribute. It writes the number of connections it
took to DIR/connections. It never sends a byte back. It stops by itself
after a minute, or after SECONDS (0: never).
"""
import argparse
import os
import select
import struct
import sys
import time

# The shared module is read, never compiled into a cache beside it.
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
import stand_in  # noqa: E402

LIFETIME = 60.0


def ipp_summary(body):
    """The operation and the requested-attributes values of an IPP request."""
    operation = struct.unpack(">H", body[2:4])[0]
    lines = ["operation 0x%04x" % operation]
    at = 8
    current = None
    while at < len(body):
        tag = body[at]
        at += 1
        if tag == 0x03:
            break
        if tag < 0x10:  # the start of an attribute group
            continue
        name_length = struct.unpack(">H", body[at:at + 2])[0]
        name = body[at + 2:at + 2 + name_length].decode("utf-8", "replace")
        at += 2 + name_length
        value_length = struct.unpack(">H", body[at:at + 2])[0]
        value = body[at + 2:at + 2 + value_length]
        at += 2 + value_length
        if name:
            current = name
        if current == "requested-attributes":
            lines.append(value.decode("utf-8", "replace"))
    return "\n".join(lines) + "\n"


def complete_request(data):
    """The IPP body once the whole request has arrived, else None."""
    head, separator, body = data.partition(b"\r\n\r\n")
    if not separator:
        return None
    length = None
    for line in head.split(b"\r\n")[1:]:
        key, _, value = line.partition(b":")
        if key.strip().lower() == b"content-length":
            length = int(value.strip())
    if length is None or len(body) < length:
        return None
    return body[:length]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("folder")
    parser.add_argument("--address", default="127.0.0.1")
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--lifetime", type=float, default=LIFETIME)
    options = parser.parse_args()
    folder = options.folder
    listener = stand_in.listen(folder, options.address, options.port)

    received = {}  # socket -> (number, bytes so far, summary written)
    taken = 0
    end = time.monotonic() + options.lifetime
    while not options.lifetime or time.monotonic() < end:
        readable, _, _ = select.select([listener] + list(received), [], [], 0.2)
        for sock in readable:
            if sock is listener:
                connection, _ = listener.accept()
                taken += 1
                received[connection] = (taken, b"", False)
                stand_in.write_whole(folder, "connections", "%d\n" % taken)
                continue
            number, data, written = received[sock]
            chunk = sock.recv(65536)
            if not chunk:  # the client gave up; keep nothing open for it
                sock.close()
                del received[sock]
                continue
            data += chunk
            body = complete_request(data)
            if body is not None and not written:
                path = os.path.join(folder, "request-%d" % number)
                with open(path, "w") as summary:
                    summary.write(ipp_summary(body))
                written = True
            received[sock] = (number, data, written)


if __name__ == "__main__":
    main()
