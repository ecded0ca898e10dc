#!/usr/bin/env python3
"""Checks the Windows download: the zip cpack made in the 32-bit build.

Usage: check_package.py ZIP README X86_EXE X64_EXE

The zip must hold one folder with the README and each exe under its
architecture's folder, nothing else, each byte for byte the file built, and
each exe of the machine type its folder names.
"""
import struct
import sys
import zipfile

MACHINES = {'x86': 0x14c, 'x64': 0x8664}


def machine(data):
    if data[:2] != b'MZ':
        return None
    pe = struct.unpack_from('<I', data, 0x3c)[0]
    if data[pe:pe + 4] != b'PE\0\0':
        return None
    return struct.unpack_from('<H', data, pe + 4)[0]


def main(argv):
    if len(argv) != 4:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    package, readme, x86, x64 = argv
    wanted = {'README.md': readme, 'x86/quelvaro.exe': x86, 'x64/quelvaro.exe': x64}
    problems = []
    with zipfile.ZipFile(package) as z:
        files = [i.filename for i in z.infolist() if not i.is_dir()]
        tops = {f.split('/', 1)[0] for f in files}
        if len(tops) != 1 or any('/' not in f for f in files):
            problems.append('not one top folder: %s' % sorted(files))
        top = sorted(tops)[0] if tops else ''
        inside = {f.split('/', 1)[1]: f for f in files if '/' in f}
        if sorted(inside) != sorted(wanted):
            problems.append('holds %s, wanted %s' % (sorted(inside), sorted(wanted)))
        for name, built in wanted.items():
            if name not in inside:
                continue
            data = z.read(inside[name])
            with open(built, 'rb') as f:
                if data != f.read():
                    problems.append('%s differs from %s' % (name, built))
            arch = name.split('/')[0]
            if arch in MACHINES and machine(data) != MACHINES[arch]:
                problems.append('%s is not an %s exe' % (name, arch))
    for p in problems:
        print('%s: FAIL: %s' % (package, p))
    if not problems:
        print('%s: %s/ with %s' % (package, top, ', '.join(sorted(wanted))))
    return 1 if problems else 0


if __name__ == '__main__':
    sys.exit(main(sys.argv[1:]))
