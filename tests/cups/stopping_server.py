#!/usr/bin/env python3
"""A server that stops in the middle of a run.

    stopping_server.py TARGET_PORT RELAYED DIR

Listens on a free loopback port, which it writes to DIR/port, and passes
the first RELAYED connections through to the server on 127.0.0.1:TARGET_PORT,
one after another. The connection after those it resets without an answer,
and then it stops listening, so later connections are refused, as from a
server that was shut down. It stops by itself after a minute.
"""
import os
import select
import socket
import struct
import sys
import time

# The shared module is read, never compiled into a cache beside it.
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
import stand_in  # noqa: E402

LIFETIME = 60.0


def relay(client, server):
    """Passes bytes both ways until both sides have finished."""
    open_sides = {client: server, server: client}
    while open_sides:
        readable, _, _ = select.select(list(open_sides), [], [], 5.0)
        if not readable:
            return
        for sock in readable:
            chunk = sock.recv(65536)
            peer = open_sides[sock]
            if chunk:
                peer.sendall(chunk)
            else:
                del open_sides[sock]
                try:
                    peer.shutdown(socket.SHUT_WR)
                except OSError:
                    pass


def main():
    target, relayed, folder = int(sys.argv[1]), int(sys.argv[2]), sys.argv[3]
    listener = stand_in.listen(folder)
    listener.settimeout(LIFETIME)

    taken = 0
    end = time.monotonic() + LIFETIME
    while time.monotonic() < end:
        try:
            client, _ = listener.accept()
        except socket.timeout:
            break
        taken += 1
        if taken > relayed:
            # Reset, not a polite close: the client may still be writing.
            client.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER,
                              struct.pack("ii", 1, 0))
            client.close()
            break
        server = socket.create_connection(("127.0.0.1", target))
        relay(client, server)
        client.close()
        server.close()
    listener.close()


if __name__ == "__main__":
    main()
