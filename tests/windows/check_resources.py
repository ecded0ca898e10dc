#!/usr/bin/env python3
"""Checks the version resource and the application manifest of Windows exes.

Usage: check_resources.py [--version X.Y.Z] EXE...

Reads both back from each exe's resource directory and checks:
  - the version resource (RT_VERSION): the fixed part's file and product
    versions are X.Y.Z.0, for a Windows NT application, with no debug or
    pre-release flag; the strings give FileVersion and ProductVersion X.Y.Z,
    OriginalFilename quelvaro.exe, ProductName Quelvaro, and a
    FileDescription, InternalName, CompanyName and LegalCopyright; the
    translation names the string table's language and code page;
  - the manifest (RT_MANIFEST, ID 1): the assembly identity X.Y.Z.0 for the
    exe's processor; requestedExecutionLevel asInvoker without uiAccess, so
    Windows neither elevates nor virtualises the program; supportedOS for
    Windows Vista, 7, 8, 8.1 and 10/11; and the two forms Windows XP refuses
    absent: trustInfo outside a namespace of its own, and an element that
    declares more than one namespace.

X.Y.Z defaults to the project version in the CMakeLists.txt two folders up.
Exits 0 when every exe passes, 1 when one does not, 2 when one cannot be read.
"""
import os
import re
import struct
import sys
import xml.etree.ElementTree as ET

RT_VERSION = 16
RT_MANIFEST = 24
VOS_NT_WINDOWS32 = 0x40004
VFT_APP = 1
ASM_V1 = 'urn:schemas-microsoft-com:asm.v1'
TRUST_NAMESPACES = ('urn:schemas-microsoft-com:asm.v2', 'urn:schemas-microsoft-com:asm.v3')
COMPATIBILITY = 'urn:schemas-microsoft-com:compatibility.v1'
SUPPORTED_OS = {
    '{e2011457-1546-43c5-a5fe-008deee3d3f0}': 'Windows Vista',
    '{35138b9a-5d96-4fbd-8e2d-a2440225f93a}': 'Windows 7',
    '{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}': 'Windows 8',
    '{1f676c76-80e1-4239-95bb-83d0f6d0da78}': 'Windows 8.1',
    '{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}': 'Windows 10 and 11',
}
ARCHITECTURES = {0x14c: 'x86', 0x8664: 'amd64'}


class BadImage(Exception):
    pass


def project_version():
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', '..', 'CMakeLists.txt')
    with open(path, encoding='utf-8') as f:
        found = re.search(r'project\(\s*quelvaro\s+VERSION\s+(\d+\.\d+\.\d+)', f.read())
    if not found:
        raise ValueError('%s: no project(quelvaro VERSION X.Y.Z ...)' % path)
    return found.group(1)


def resources(data):
    """(machine, {(type, name, language): bytes}) of a PE image."""
    if data[:2] != b'MZ':
        raise BadImage('no MZ header')
    pe = struct.unpack_from('<I', data, 0x3c)[0]
    if data[pe:pe + 4] != b'PE\0\0':
        raise BadImage('no PE signature')
    machine, count = struct.unpack_from('<HH', data, pe + 4)
    optional_size = struct.unpack_from('<H', data, pe + 20)[0]
    opt = pe + 24
    wide = struct.unpack_from('<H', data, opt)[0] == 0x20b
    directories = opt + (112 if wide else 96)
    root = struct.unpack_from('<I', data, directories + 8 * 2)[0]
    sections = [struct.unpack_from('<IIII', data, opt + optional_size + 40 * i + 8)
                for i in range(count)]
    if not root:
        return machine, {}

    def offset(rva):
        for virtual_size, address, raw_size, raw_offset in sections:
            if address <= rva < address + max(virtual_size, raw_size) and rva - address < raw_size:
                return raw_offset + rva - address
        raise BadImage('RVA 0x%x is in no section' % rva)

    base = offset(root)

    def entries(at):
        """(ID or name, offset of a subdirectory or None, offset of data entry)."""
        named, numbered = struct.unpack_from('<HH', data, at + 12)
        for i in range(named + numbered):
            key, target = struct.unpack_from('<II', data, at + 16 + 8 * i)
            if key & 0x80000000:
                length = struct.unpack_from('<H', data, base + (key & 0x7fffffff))[0]
                start = base + (key & 0x7fffffff) + 2
                key = data[start:start + 2 * length].decode('utf-16-le')
            if target & 0x80000000:
                yield key, base + (target & 0x7fffffff), None
            else:
                yield key, None, base + target

    found = {}
    for kind, types, _ in entries(base):
        for name, names, _ in entries(types or base):
            for language, _, leaf in entries(names or base):
                rva, size = struct.unpack_from('<II', data, leaf)
                found[(kind, name, language)] = data[offset(rva):offset(rva) + size]
    return machine, found


def version_node(block, at=0):
    """(key, value bytes, [children]) of one VS_VERSIONINFO-style node."""
    length, value_length, text = struct.unpack_from('<HHH', block, at)
    end = at + length
    key_end = at + 6
    while block[key_end:key_end + 2] != b'\0\0':
        key_end += 2
    key = block[at + 6:key_end].decode('utf-16-le')
    value_at = (key_end + 2 + 3) & ~3
    value_size = value_length * 2 if text else value_length
    value = block[value_at:value_at + value_size]
    children = []
    child = (value_at + value_size + 3) & ~3
    while child < end:
        node_length = struct.unpack_from('<H', block, child)[0]
        if node_length == 0:
            break
        children.append(version_node(block, child))
        child = (child + node_length + 3) & ~3
    return key, value, children


def check_version(block, version, problems):
    key, fixed, children = version_node(block)
    if key != 'VS_VERSION_INFO':
        problems.append('version resource key %r' % key)
    if len(fixed) < 52 or struct.unpack_from('<I', fixed)[0] != 0xfeef04bd:
        problems.append('no VS_FIXEDFILEINFO in the version resource')
        return
    (_, _, file_ms, file_ls, product_ms, product_ls, mask, flags, os_kind,
     file_type, _, _, _) = struct.unpack_from('<13I', fixed)
    major, minor, patch = (int(n) for n in version.split('.'))
    wanted = ((major << 16) | minor, patch << 16)
    for what, got in (('file', (file_ms, file_ls)), ('product', (product_ms, product_ls))):
        if got != wanted:
            problems.append('fixed %s version %d.%d.%d.%d, not %s.0' % (
                what, got[0] >> 16, got[0] & 0xffff, got[1] >> 16, got[1] & 0xffff, version))
    if flags & mask:
        problems.append('file flags 0x%x (debug, pre-release or the like)' % (flags & mask))
    if os_kind != VOS_NT_WINDOWS32:
        problems.append('file OS 0x%x, not VOS_NT_WINDOWS32' % os_kind)
    if file_type != VFT_APP:
        problems.append('file type %d, not VFT_APP' % file_type)

    strings, translations = {}, []
    for child_key, _, grandchildren in children:
        if child_key == 'StringFileInfo':
            for table, _, values in grandchildren:
                strings[table] = {k: v.decode('utf-16-le').rstrip('\0') for k, v, _ in values}
        elif child_key == 'VarFileInfo':
            for var, value, _ in grandchildren:
                if var == 'Translation':
                    translations += ['%04X%04X' % struct.unpack_from('<HH', value, i)
                                     for i in range(0, len(value) - 3, 4)]
    if len(strings) != 1:
        problems.append('%d string tables, not one' % len(strings))
        return
    table, values = next(iter(strings.items()))
    if table.upper() not in translations:
        problems.append('string table %s is not among the translations %s' % (table, translations))
    exact = {'FileVersion': version, 'ProductVersion': version,
             'OriginalFilename': 'quelvaro.exe', 'ProductName': 'Quelvaro'}
    for name, value in exact.items():
        if values.get(name) != value:
            problems.append('%s is %r, not %r' % (name, values.get(name), value))
    for name in ('FileDescription', 'InternalName', 'CompanyName', 'LegalCopyright'):
        if not values.get(name, '').strip():
            problems.append('no %s' % name)
    return values


def check_manifest(text, version, architecture, problems):
    # A start tag with two namespace declarations crashes XP SP2's loader.
    for tag in re.findall(r'<[A-Za-z][^>]*>', text):
        if len(re.findall(r'\sxmlns(?::[\w.-]+)?\s*=', tag)) > 1:
            problems.append('an element declares more than one namespace: %s' % tag)
    root = ET.fromstring(text)
    if root.tag != '{%s}assembly' % ASM_V1 or root.get('manifestVersion') != '1.0':
        problems.append('root element %s, manifestVersion %r' % (root.tag, root.get('manifestVersion')))
    identity = root.find('{%s}assemblyIdentity' % ASM_V1)
    if identity is None:
        problems.append('no assemblyIdentity')
    else:
        if identity.get('version') != version + '.0' or identity.get('type') != 'win32':
            problems.append('assemblyIdentity version %r, type %r' % (
                identity.get('version'), identity.get('type')))
        if (identity.get('processorArchitecture') or '').lower() not in (architecture, '*'):
            problems.append('assemblyIdentity for processor %r, not %s' % (
                identity.get('processorArchitecture'), architecture))
    # trustInfo must stand in a namespace of its own: in asm.v1's, XP refuses
    # the program.
    levels = []
    for namespace in TRUST_NAMESPACES:
        path = '/'.join('{%s}%s' % (namespace, e) for e in
                        ('trustInfo', 'security', 'requestedPrivileges', 'requestedExecutionLevel'))
        levels += root.findall(path)
    if root.find('{%s}trustInfo' % ASM_V1) is not None or root.find('trustInfo') is not None:
        problems.append('trustInfo outside the asm.v2 or asm.v3 namespace')
    if len(levels) != 1:
        problems.append('%d requestedExecutionLevel elements, not one' % len(levels))
    elif (levels[0].get('level'), levels[0].get('uiAccess')) != ('asInvoker', 'false'):
        problems.append('requestedExecutionLevel level=%r uiAccess=%r' % (
            levels[0].get('level'), levels[0].get('uiAccess')))
    ids = [e.get('Id', '').lower() for e in root.findall(
        '{0}compatibility/{0}application/{0}supportedOS'.format('{%s}' % COMPATIBILITY))]
    if sorted(ids) != sorted(SUPPORTED_OS):
        problems.append('supportedOS %s; wanted %s' % (ids, ', '.join(SUPPORTED_OS.values())))
    return levels[0].get('level') if levels else None


def check(path, version):
    try:
        with open(path, 'rb') as f:
            machine, found = resources(f.read())
    except (OSError, BadImage, struct.error, UnicodeDecodeError) as e:
        print('%s: cannot read: %s' % (path, e))
        return 2
    problems = []
    versions = [data for (kind, _, _), data in found.items() if kind == RT_VERSION]
    manifests = {(name, language): data for (kind, name, language), data in found.items()
                 if kind == RT_MANIFEST}
    values, level = {}, None
    if len(versions) != 1:
        problems.append('%d version resources, not one' % len(versions))
    else:
        try:
            values = check_version(versions[0], version, problems) or {}
        except (struct.error, UnicodeDecodeError) as e:
            problems.append('unreadable version resource: %s' % e)
    if [name for name, _ in manifests] != [1]:
        problems.append('manifest resources %s; wanted one, ID 1' % sorted(manifests))
    else:
        try:
            level = check_manifest(next(iter(manifests.values())).decode('utf-8'), version,
                                   ARCHITECTURES.get(machine, '?'), problems)
        except (UnicodeDecodeError, ET.ParseError) as e:
            problems.append('unreadable manifest: %s' % e)
    print('%s: %s %s, %s; manifest: %s' % (
        path, values.get('ProductName'), values.get('FileVersion'),
        values.get('FileDescription'), level))
    for problem in problems:
        print('%s: FAIL: %s' % (path, problem))
    return 1 if problems else 0


def main(argv):
    version = None
    if argv[:1] == ['--version'] and len(argv) > 1:
        version, argv = argv[1], argv[2:]
    if not argv or argv[0].startswith('-'):
        print(__doc__.strip(), file=sys.stderr)
        return 2
    if version is None:
        version = project_version()
    return max(check(path, version) for path in argv)


if __name__ == '__main__':
    sys.exit(main(sys.argv[1:]))
