#!/usr/bin/env python3
"""The DNS-SD services of one type that avahi knows, resolved and decoded.

    browse.py TYPE            one service a line, sorted:
                              NAME<TAB>HOST<TAB>ADDRESS<TAB>PORT<TAB>TXT
                              (TXT: each string in double quotes, blank-separated)
    browse.py --names TYPE    the instance names only, one a line, sorted

Asks `avahi-browse -rpt TYPE` once (about a second: it waits for the cache to
settle); for the names only `avahi-browse -pt TYPE`, which resolves nothing
(avahi lets one client resolve some thousand services at once, no more). Its parsable output escapes in names and TXT strings a byte that is
not a plain character as \\DDD (decimal) and a dot or backslash as \\. and
\\\\; the lines written here carry the bytes themselves, so a name is exactly
what a DNS-SD client gets. A service seen on more than one interface or
protocol is written once.
"""
import re
import subprocess
import sys


def unescape(data):
    def byte(match):
        code = match.group(1)
        return bytes([int(code)]) if code.isdigit() else code
    return re.sub(rb"\\(\d{3}|.)", byte, data)


def main():
    names_only = sys.argv[1] == "--names"
    service_type = sys.argv[-1]
    output = subprocess.run(["avahi-browse", "-pt" if names_only else "-rpt",
                             service_type],
                            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                            check=False).stdout
    lines = set()
    for line in output.splitlines():
        fields = line.split(b";", 9)
        if names_only and fields[0] == b"+" and len(fields) >= 4:
            lines.add(unescape(fields[3]))
            continue
        if fields[0] != b"=" or len(fields) < 10:
            continue
        name, host, address, port, txt = (
            unescape(fields[3]), fields[6], fields[7], fields[8], unescape(fields[9]))
        if names_only:
            lines.add(name)
        else:
            lines.add(b"\t".join([name, host, address, port, txt]))
    for line in sorted(lines):
        sys.stdout.buffer.write(line + b"\n")


if __name__ == "__main__":
    main()
