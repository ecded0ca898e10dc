#!/usr/bin/env python3
"""Checks that Windows exes start on Windows XP.

Usage: check_xp.py EXE...

For each exe, from its PE headers and import tables:
  - the subsystem is the console;
  - the OS and subsystem versions are at most 5.1 for a 32-bit (i386) exe,
    at most 5.2 for a 64-bit (x86-64) one (XP x64 / Server 2003 x64);
  - it imports from KERNEL32.dll, msvcrt.dll and WINSPOOL.DRV only;
  - every function it imports, normally or delay-loaded, is exported by that
    DLL on Windows XP SP3: the lists in xp-exports/ beside this script, one
    name a line, with the changes in xp-exports/x64/ for a 64-bit exe. An
    import by ordinal cannot be checked, so it fails.

Prints what it found and each problem; exits 0 when every exe passes, 1 when
one does not, 2 when one cannot be read as a PE image.
"""
import os
import struct
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
EXPORTS = os.path.join(HERE, 'xp-exports')
DLLS = ('KERNEL32.dll', 'msvcrt.dll', 'WINSPOOL.DRV')
CONSOLE = 3
# machine: (name, highest OS and subsystem version, folder of list changes)
MACHINES = {0x14c: ('i386', (5, 1), None), 0x8664: ('x86-64', (5, 2), 'x64')}


class BadImage(Exception):
    pass


def read_names(path):
    with open(path, encoding='utf-8') as f:
        return [line.strip() for line in f
                if line.strip() and not line.startswith('#')]


def export_lists(changes):
    """{lower-case DLL name: set of names}, with +name/-name changes applied."""
    lists = {}
    for dll in DLLS:
        names = set(read_names(os.path.join(EXPORTS, dll + '.txt')))
        if changes:
            path = os.path.join(EXPORTS, changes, dll + '.txt')
            if os.path.exists(path):
                for line in read_names(path):
                    if line[0] == '+':
                        names.add(line[1:])
                    elif line[0] == '-':
                        names.discard(line[1:])
                    else:
                        raise ValueError('%s: neither +name nor -name: %s' % (path, line))
        lists[dll.lower()] = names
    return lists


class Image:
    """The headers, sections and import tables of a PE file."""

    def __init__(self, data):
        self.data = data
        if data[:2] != b'MZ' or len(data) < 0x40:
            raise BadImage('no MZ header')
        pe = self.u32(0x3c)
        if data[pe:pe + 4] != b'PE\0\0':
            raise BadImage('no PE signature')
        self.machine, count = struct.unpack_from('<HH', data, pe + 4)
        optional_size = self.u16(pe + 20)
        opt = pe + 24
        magic = self.u16(opt)
        if magic not in (0x10b, 0x20b):
            raise BadImage('optional header magic 0x%x' % magic)
        self.wide = magic == 0x20b
        self.os_version = struct.unpack_from('<HH', data, opt + 40)
        self.subsystem_version = struct.unpack_from('<HH', data, opt + 48)
        self.subsystem = self.u16(opt + 68)
        if self.wide:
            self.image_base = struct.unpack_from('<Q', data, opt + 24)[0]
            self.directory_count, self.directories = self.u32(opt + 108), opt + 112
        else:
            self.image_base = self.u32(opt + 28)
            self.directory_count, self.directories = self.u32(opt + 92), opt + 96
        table = opt + optional_size
        # (virtual size, virtual address, raw size, raw offset) of each section
        self.sections = [struct.unpack_from('<IIII', data, table + 40 * i + 8)
                         for i in range(count)]

    def u16(self, offset):
        return struct.unpack_from('<H', self.data, offset)[0]

    def u32(self, offset):
        return struct.unpack_from('<I', self.data, offset)[0]

    def directory(self, index):
        """(RVA, size) of a data directory; (0, 0) when there is none."""
        if index >= self.directory_count:
            return 0, 0
        return struct.unpack_from('<II', self.data, self.directories + 8 * index)

    def offset(self, rva):
        """The file offset of an RVA."""
        for virtual_size, address, raw_size, raw_offset in self.sections:
            if address <= rva < address + max(virtual_size, raw_size):
                if rva - address >= raw_size:
                    raise BadImage('RVA 0x%x has no data in the file' % rva)
                return raw_offset + rva - address
        raise BadImage('RVA 0x%x is in no section' % rva)

    def text(self, rva):
        start = self.offset(rva)
        end = self.data.index(b'\0', start)
        return self.data[start:end].decode('ascii', 'replace')

    def thunks(self, rva, base):
        """The names (str) and ordinals (int) of one import lookup table."""
        size, form, by_ordinal = ((8, '<Q', 1 << 63) if self.wide
                                  else (4, '<I', 1 << 31))
        at = self.offset(rva)
        while True:
            value = struct.unpack_from(form, self.data, at)[0]
            if not value:
                return
            if value & by_ordinal:
                yield value & 0xffff
            else:  # hint (2 bytes), then the name
                yield self.text((value & 0x7fffffff) - base + 2)
            at += size

    def imports(self):
        """(DLL name, delay-loaded, [names and ordinals]) for each DLL."""
        rva = self.directory(1)[0]
        at = self.offset(rva) if rva else None
        while at is not None:
            lookup, _, _, name, address_table = struct.unpack_from('<5I', self.data, at)
            if not name:
                break
            yield self.text(name), False, list(self.thunks(lookup or address_table, 0))
            at += 20
        rva = self.directory(13)[0]
        at = self.offset(rva) if rva else None
        while at is not None:
            attributes, name, _, _, lookup = struct.unpack_from('<5I', self.data, at)
            if not name:
                break
            # Old-style descriptors (attribute bit 0 clear) hold addresses.
            base = 0 if attributes & 1 else self.image_base
            yield self.text(name - base), True, list(self.thunks(lookup - base, base))
            at += 32


def check(path):
    """Prints what PATH is and its problems; returns the exit status."""
    try:
        with open(path, 'rb') as f:
            image = Image(f.read())
        imports = list(image.imports())
    except (OSError, BadImage, struct.error, ValueError) as e:
        print('%s: cannot read: %s' % (path, e))
        return 2
    if image.machine not in MACHINES:
        print('%s: FAIL: machine 0x%x is neither i386 nor x86-64' % (path, image.machine))
        return 1
    machine, highest, changes = MACHINES[image.machine]
    lists = export_lists(changes)
    problems = []
    if image.wide != (image.machine == 0x8664):
        problems.append('a %s exe with a %s header' % (machine, 'PE32+' if image.wide else 'PE32'))
    if image.subsystem != CONSOLE:
        problems.append('subsystem %d, not the console (3)' % image.subsystem)
    for what, version in (('OS', image.os_version), ('subsystem', image.subsystem_version)):
        if version > highest:
            problems.append('%s version %d.%d is above %d.%d' % ((what,) + version + highest))
    count = 0
    for dll, delayed, names in imports:
        known = lists.get(dll.lower())
        label = dll + (' (delay-loaded)' if delayed else '')
        if known is None:
            problems.append('imports from %s, which is not one of %s' % (label, ', '.join(DLLS)))
            continue
        for name in names:
            count += 1
            if isinstance(name, int):
                problems.append('%s ordinal %d: cannot be checked by name' % (label, name))
            elif name not in known:
                problems.append('%s!%s is not exported on Windows XP' % (label, name))
    print('%s: %s, OS version %d.%d, subsystem version %d.%d, subsystem %d; '
          '%d imports from %s' % ((path, machine) + image.os_version + image.subsystem_version
                                  + (image.subsystem, count,
                                     ', '.join(sorted({d for d, _, _ in imports})))))
    for problem in problems:
        print('%s: FAIL: %s' % (path, problem))
    return 1 if problems else 0


def main(argv):
    if not argv or argv[0].startswith('-'):
        print(__doc__.strip(), file=sys.stderr)
        return 2
    return max(check(path) for path in argv)


if __name__ == '__main__':
    sys.exit(main(sys.argv[1:]))
