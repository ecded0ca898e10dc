#!/usr/bin/env python3
"""WSD devices for the private network, all in one process: it answers the
WS-Discovery Probes and Resolves sent to 239.255.255.250:3702 on one
interface, and the devices' metadata requests (WS-Transfer Get) over HTTP on
port 5357.

    wsd_stand_in.py FOLDER ADDRESS HOST_ADDRESS

ADDRESS is the interface's (where the group is joined), HOST_ADDRESS a
second one of it: a host with 200 endpoints. DEVICES says which devices
answer, each after a wait of up to 0.4 s of its own as the protocol has
them do; the hostile ones and those that must not be listed are among them.
Writes FOLDER/ready once it listens, and appends each datagram's action and
sender port to FOLDER/received ("ACTION PORT", a line each).
"""
import http.server
import os
import random
import re
import select
import socket
import struct
import sys
import threading
import time
import uuid
from xml.sax.saxutils import escape

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
import stand_in  # noqa: E402

GROUP = "239.255.255.250"
PORT = 3702
HTTP_PORT = 5357
SOAP = "http://www.w3.org/2003/05/soap-envelope"
PRINT = "http://schemas.microsoft.com/windows/2006/08/wdp/print"
VERSIONS = {  # discovery: (addressing, devices profile, anonymous)
    "http://schemas.xmlsoap.org/ws/2005/04/discovery":
        ("http://schemas.xmlsoap.org/ws/2004/08/addressing",
         "http://schemas.xmlsoap.org/ws/2006/02/devprof",
         "http://schemas.xmlsoap.org/ws/2004/08/addressing/role/anonymous"),
    "http://docs.oasis-open.org/ws-dd/ns/discovery/2009/01":
        ("http://www.w3.org/2005/08/addressing",
         "http://docs.oasis-open.org/ws-dd/ns/dpws/2009/01",
         "http://www.w3.org/2005/08/addressing/anonymous"),
}
OLD, NEW = list(VERSIONS)


def urn(tail):
    return "urn:uuid:00000000-0000-4000-8000-00000000" + tail


def device(tail, name, path, versions=(OLD,), metadata="name", xaddrs=True,
           model="", types="wsdp:Device wprt:PrintDeviceType"):
    return {"address": urn(tail), "name": name, "path": path, "versions": versions,
            "metadata": metadata, "xaddrs": xaddrs, "model": model, "types": types}


# Büro Drucker 2 speaks WS-Discovery 1.1 only and gives two FriendlyNames;
# Empfang's print type is in the default namespace; Ohne XAddrs answers a
# Resolve with them; Steuerzeichen's name holds tab, line feed, carriage
# return, CSI (U+009B) and a line separator. Of the metadata: an entity bomb
# in a DTD, 3 MiB, none ever, a byte every 100 ms. Not to be listed:
# Rechner (a computer, as wsdd announces one), and (answers_to) a device
# answering with a RelatesTo of no Probe's and one answering unasked.
DEVICES = [
    device("0001", "Büro Drucker 1", "/drucker/1", model="Belvantro WS 1"),
    device("0002", "Büro Drucker 2", "/drucker/2", versions=(NEW,)),
    device("0003", "Empfang ✓ Drucker 3", "/drucker/3", model="Belvantro & Söhne <3>"),
    device("0004", "Ohne XAddrs", "/ohne", xaddrs=False),
    device("0005", "Steuer\tzeichen\n&#13;\u009b2J\u2028Ende", "/steuer"),
    device("b0mb", "Bombe", "/bombe", metadata="bomb"),
    device("0b16", "Riesig", "/riesig", metadata="huge"),
    device("5117", "Still", "/still", metadata="never"),
    device("d10b", "Tröpfelnd", "/tropf", metadata="trickle"),
    device("c0de", "Rechner", "/rechner", types="wsdp:Device pub:Computer"),
]
HOST_DEVICES = [device("%04d" % (1000 + i), "Etage 4 Drucker %03d" % i, "/etage/%03d" % i)
                for i in range(1, 201)]
BY_PATH = {d["path"]: d for d in DEVICES + HOST_DEVICES}


def envelope(discovery, action, relates_to, body, extra_namespaces=""):
    addressing, devices, anonymous = VERSIONS[discovery]
    header = ("<wsa:To>%s</wsa:To><wsa:Action>%s</wsa:Action>"
              "<wsa:MessageID>urn:uuid:%s</wsa:MessageID>" % (anonymous, action, uuid.uuid4()))
    if relates_to is not None:
        header += "<wsa:RelatesTo>%s</wsa:RelatesTo>" % relates_to
    return ('<?xml version="1.0" encoding="utf-8"?><soap:Envelope xmlns:soap="%s" '
            'xmlns:wsa="%s" xmlns:wsd="%s" xmlns:wsdp="%s" xmlns:wprt="%s" '
            'xmlns:pub="http://schemas.microsoft.com/windows/pub/2005/07"%s>'
            "<soap:Header>%s</soap:Header><soap:Body>%s</soap:Body></soap:Envelope>"
            % (SOAP, addressing, discovery, devices, PRINT, extra_namespaces, header, body))


def match(dev, kind, address):
    if dev["address"] == urn("0003"):
        # Prefixes of its own: the print type in the default namespace.
        types = '<wsd:Types xmlns="%s">PrintDeviceType</wsd:Types>' % PRINT
    else:
        types = "<wsd:Types>%s</wsd:Types>" % dev["types"]
    xaddrs = ("<wsd:XAddrs>http://%s:%d%s</wsd:XAddrs>" % (address, HTTP_PORT, dev["path"])
              if dev["xaddrs"] or kind == "Resolve" else "")
    return ("<wsd:%sMatch><wsa:EndpointReference><wsa:Address>%s</wsa:Address>"
            "</wsa:EndpointReference>%s%s<wsd:MetadataVersion>1</wsd:MetadataVersion>"
            "</wsd:%sMatch>" % (kind, dev["address"], types, xaddrs, kind))


def matches(discovery, kind, relates_to, devices, address):
    body = "<wsd:%sMatches>%s</wsd:%sMatches>" % (
        kind, "".join(match(d, kind, address) for d in devices), kind)
    return envelope(discovery, discovery + "/" + kind + "Matches", relates_to,
                    body).encode()


def metadata(dev):
    discovery = dev["versions"][0]
    devices = VERSIONS[discovery][1]
    names = '<wsdp:FriendlyName xml:lang="de">%s</wsdp:FriendlyName>' % (
        dev["name"] if dev["address"] == urn("0005") else escape(dev["name"]))
    if dev["address"] == urn("0002"):
        names = ('<wsdp:FriendlyName xml:lang="en">Büro Drucker 2</wsdp:FriendlyName>'
                 '<wsdp:FriendlyName xml:lang="de">Bürodrucker Zwei</wsdp:FriendlyName>')
    model = "<wsdp:ModelName>%s</wsdp:ModelName>" % escape(dev["model"]) if dev["model"] else ""
    body = ('<wsx:Metadata><wsx:MetadataSection Dialect="%s/ThisDevice"><wsdp:ThisDevice>%s'
            "<wsdp:FirmwareVersion>1.0</wsdp:FirmwareVersion></wsdp:ThisDevice>"
            '</wsx:MetadataSection><wsx:MetadataSection Dialect="%s/ThisModel"><wsdp:ThisModel>'
            "<wsdp:Manufacturer>Belvantro</wsdp:Manufacturer>%s</wsdp:ThisModel>"
            "</wsx:MetadataSection></wsx:Metadata>" % (devices, names, devices, model))
    text = envelope(discovery, "http://schemas.xmlsoap.org/ws/2004/09/transfer/GetResponse",
                    None, body, ' xmlns:wsx="http://schemas.xmlsoap.org/ws/2004/09/mex"')
    if dev["metadata"] == "bomb":
        entities = '<!ENTITY e0 "lol">' + "".join(
            '<!ENTITY e%d "%s">' % (i, ("&e%d;" % (i - 1)) * 10) for i in range(1, 10))
        text = text.replace("?>", "?><!DOCTYPE soap:Envelope [%s]>" % entities, 1)
        text = text.replace("Bombe", "&e9;")
    if dev["metadata"] == "huge":
        text = text.replace("</soap:Body>", "<!--%s--></soap:Body>" % ("x" * (3 << 20)))
    return text.encode()


class Metadata(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *_):
        pass

    def do_POST(self):
        body = self.rfile.read(int(self.headers.get("Content-Length", 0)))
        dev = BY_PATH.get(self.path)
        if (dev is None or not self.headers.get("Content-Type", "").startswith(
                "application/soap+xml") or b"/transfer/Get<" not in body
                or dev["address"].encode() not in body):
            self.send_error(400)
            return
        kind = dev["metadata"]
        if kind == "never":
            time.sleep(60)
            return
        answer = metadata(dev)
        self.send_response(200)
        self.send_header("Content-Type", "application/soap+xml")
        self.send_header("Content-Length", str(len(answer) * (10 if kind == "trickle" else 1)))
        self.end_headers()
        try:
            if kind == "trickle":
                for byte in answer:
                    self.wfile.write(bytes([byte]))
                    self.wfile.flush()
                    time.sleep(0.1)
            else:
                self.wfile.write(answer)
        except OSError:
            pass


def serve_metadata():
    server = http.server.ThreadingHTTPServer(("0.0.0.0", HTTP_PORT), Metadata)
    server.daemon_threads = True
    threading.Thread(target=server.serve_forever, daemon=True).start()


def field(text, name):
    found = re.search(r"<(?:\w+:)?%s\b[^>]*>\s*([^<]*?)\s*</" % name, text)
    return found.group(1) if found else ""


def answers_to(text, address, host_address):
    """(delay, datagram) of every device that answers the message."""
    action = field(text, "Action")
    discovery, _, kind = action.rpartition("/")
    if discovery not in VERSIONS:
        return []
    asked = field(text, "MessageID")
    out = []
    if kind == "Resolve":
        wanted = field(text, "Address")
        for dev in DEVICES:
            if dev["address"] == wanted and discovery in dev["versions"]:
                out.append((0.05, matches(discovery, "Resolve", asked, [dev], address)))
        return out
    if kind != "Probe" or "PrintDeviceType" not in field(text, "Types"):
        return out
    for dev in DEVICES:
        if discovery in dev["versions"]:
            out.append((random.uniform(0, 0.4), matches(discovery, "Probe", asked, [dev], address)))
    if discovery == OLD:
        for first in range(0, len(HOST_DEVICES), 20):
            out.append((random.uniform(0, 0.4), matches(
                discovery, "Probe", asked, HOST_DEVICES[first:first + 20], host_address)))
        stranger = device("0bad", "Falsch bezogen", "/drucker/1")
        out.append((0.1, matches(discovery, "Probe", "urn:uuid:%s" % uuid.uuid4(),
                                 [stranger], address)))
        unasked = device("0a5c", "Ungefragt", "/drucker/1")
        out.append((0.1, matches(discovery, "Probe", None, [unasked], address)))
    return out


def main():
    folder, address, host_address = sys.argv[1:4]
    serve_metadata()
    group = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    group.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    group.bind(("0.0.0.0", PORT))
    group.setsockopt(socket.IPPROTO_IP, socket.IP_ADD_MEMBERSHIP,
                     struct.pack("4s4s", socket.inet_aton(GROUP), socket.inet_aton(address)))
    stand_in.write_whole(folder, "ready", "")
    pending = []  # (when, datagram, to)
    while True:
        timeout = min([when for when, _, _ in pending], default=time.monotonic() + 1)
        if select.select([group], [], [], max(0, timeout - time.monotonic()))[0]:
            data, sender = group.recvfrom(65536)
            text = data.decode("utf-8", "replace")
            with open(os.path.join(folder, "received"), "a") as log:
                log.write("%s %d\n" % (field(text, "Action"), sender[1]))
            now = time.monotonic()
            pending += [(now + delay, datagram, sender)
                        for delay, datagram in answers_to(text, address, host_address)]
        now = time.monotonic()
        for item in [p for p in pending if p[0] <= now]:
            group.sendto(item[1], item[2])
            pending.remove(item)


if __name__ == "__main__":
    main()
