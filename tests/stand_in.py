"""What the tests' stand-in servers share: a listener on a loopback port
that the test learns from a file, and files the test reads while the
server runs, each written whole so that it is never read half written."""
import os
import socket


def write_whole(folder, name, text):
    """Writes folder/name at once: to a file beside it, then renamed."""
    path = os.path.join(folder, name)
    with open(path + ".tmp", "w") as out:
        out.write(text)
    os.rename(path + ".tmp", path)


def listen(folder, address="127.0.0.1", port=0):
    """A listening socket on address and port (a free one for 0), whose
    port is written to folder/port."""
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind((address, port))
    listener.listen(16)
    write_whole(folder, "port", "%d\n" % listener.getsockname()[1])
    return listener
