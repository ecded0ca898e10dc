#!/usr/bin/env python3
"""Checks a report of the Windows exe against what the spooler answered.

Usage: check_report.py DUMP QUEUES REPORT [--console]

DUMP is what spooler_probe.exe wrote (the spooler's answers, request by
request), QUEUES the spooler's queue names, one a line in UTF-8, REPORT the
bytes the exe wrote. The expected report is rendered from DUMP by the rules
below, which are this test's own; the exe's report must match it line by
line, be valid UTF-8 with every line ended by CR LF, and show every queue as
an entry line.

With --console, REPORT is what a pseudo-terminal showed of the exe running in
Wine's console: the cursor and erase sequences Wine's console sends are
interpreted, and a character outside the Basic Multilingual Plane is expected
as two U+FFFD, which is how Wine's console draws one (Wine's, not the exe's:
the exe hands the console the surrogate pair).
"""
import difflib
import re
import sys

BANNER = '######## BELVANTRO - Quelvaro v2 ########'
SCOPES = [
    ('====== Local ======', 0x02),
    ('====== Local | Shared ======', 0x22),
    ('====== Connections ======', 0x04),
    ('====== Network ======', 0x40),
    ('====== Network | Shared ======', 0x60),
    ('====== Remote ======', 0x10),
]
LEVELS = [1, 2, 4, 5]
BY_NAME = 0x08
CLOSING = ['', 'Suche beendet', 'Beenden mit Enter']


class Failure(Exception):
    pass


def units(field):
    """The UTF-16 code units of a dumped string, None for a null pointer."""
    if field == '-':
        return None
    if len(field) % 4:
        raise Failure('bad string in dump: %r' % field)
    return [int(field[i:i + 4], 16) for i in range(0, len(field), 4)]


def text(code_units):
    """The characters of UTF-16 code units; a lone surrogate is U+FFFD."""
    out = []
    i = 0
    while i < len(code_units):
        u = code_units[i]
        if 0xD800 <= u <= 0xDBFF and i + 1 < len(code_units) \
                and 0xDC00 <= code_units[i + 1] <= 0xDFFF:
            out.append(chr(0x10000 + ((u - 0xD800) << 10) + (code_units[i + 1] - 0xDC00)))
            i += 2
            continue
        out.append('\ufffd' if 0xD800 <= u <= 0xDFFF else chr(u))
        i += 1
    return ''.join(out)


def read_dump(path):
    """{(flags, level, name units or None): (needed, [record fields])}."""
    answers = {}
    current = None
    with open(path, encoding='ascii') as f:
        for line in f:
            words = line.split()
            if not words:
                continue
            fields = dict(w.split('=', 1) for w in words[1:])
            if words[0] == 'ASK':
                name = units(fields['name'])
                key = (int(fields['flags'], 16), int(fields['level']),
                       None if name is None else tuple(name))
                current = (int(fields['needed']), [], int(fields['returned']))
                answers[key] = current
            elif words[0] == 'REC' and current is not None:
                current[1].append(fields)
            else:
                raise Failure('bad dump line: %r' % line)
    for key, (_, records, returned) in answers.items():
        if len(records) != returned:
            raise Failure('dump of %r has %d records for %d returned' % (key, len(records), returned))
    return {key: (needed, records) for key, (needed, records, _) in answers.items()}


def expected_lines(answers):
    """The report the spooler's answers call for."""
    def answer(flags, level, name):
        key = (flags, level, name)
        if key not in answers:
            raise Failure('the probe did not ask %r' % (key,))
        return answers[key]

    lines = [BANNER, '']
    for heading, flags in SCOPES:
        lines.append(heading)
        for level in LEVELS:
            lines.append('------ Level %d ------' % level)
            needed, records = answer(flags, level, None)
            if needed == 0:
                continue  # nothing to list: the heading stands alone
            for record in records:
                name = units(record['pName' if level == 1 else 'pPrinterName'])
                if name is None:
                    lines.append('- ')
                    continue
                lines.append('- ' + text(name))
                if name[:2] == [0x21, 0x21]:
                    continue  # a name beginning with "!!" is not expanded
                nested_needed, nested = answer(BY_NAME, 1, tuple(name))
                if nested_needed == 0:
                    continue
                for record in nested:
                    nested_name = units(record['pName'])
                    lines.append('--> ' + text(nested_name or []))
            lines.append('= TOTAL: %d' % len(records))
        lines.append('')
    return lines + CLOSING


def redirected_lines(data):
    """The lines of a report written to a file: UTF-8, each ended by CR LF."""
    try:
        report = data.decode('utf-8')
    except UnicodeDecodeError as e:
        raise Failure('report is not valid UTF-8: %s' % e)
    if not report.endswith('\r\n'):
        raise Failure('report does not end with CR LF: %r' % report[-20:])
    lines = report[:-2].split('\r\n')
    for n, line in enumerate(lines, 1):
        if '\r' in line or '\n' in line:
            raise Failure('line %d is not ended by CR LF alone: %r' % (n, line))
    return lines


SEQUENCE = re.compile(r'\x1b\[([0-9;?]*)([A-Za-z])')


def console_lines(data):
    """The lines a terminal shows for what Wine's console sent it."""
    try:
        screen = data.decode('utf-8')
    except UnicodeDecodeError as e:
        raise Failure('console output is not valid UTF-8: %s' % e)

    def interpret(match):
        args, final = match.groups()
        if args in ('?25', ) and final in 'hl':
            return ''  # cursor shown or hidden
        if final == 'K' and args == '':
            return ''  # erase to the end of the line, where the cursor is
        if final == 'C':
            return ' ' * int(args or '1')  # cursor forward over blank cells
        raise Failure('console sent a sequence this test does not read: %r' % match.group())

    screen = SEQUENCE.sub(interpret, screen)
    if '\x1b' in screen:
        raise Failure('console sent an escape this test does not read')
    return screen.replace('\r', '').split('\n')


def console_form(line):
    """How Wine's console draws a line: two U+FFFD past the BMP."""
    return ''.join(c if ord(c) < 0x10000 else '\ufffd\ufffd' for c in line)


def compare(expected, actual):
    if expected == actual:
        return
    diff = difflib.unified_diff(expected, actual, 'expected', 'report', lineterm='', n=2)
    raise Failure('report differs from the spooler\'s answers:\n' + '\n'.join(list(diff)[:60]))


def main(argv):
    console = '--console' in argv
    args = [a for a in argv if a != '--console']
    if len(args) != 3:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    dump, queues_path, report_path = args
    try:
        expected = expected_lines(read_dump(dump))
        with open(queues_path, encoding='utf-8') as f:
            queues = [q for q in f.read().split('\n') if q]
        with open(report_path, 'rb') as f:
            data = f.read()
        if console:
            actual = console_lines(data)
            expected = [console_form(line) for line in expected]
            queues = [console_form(q) for q in queues]
            # After the prompt the terminal shows the echo of Enter.
            while len(actual) > len(expected) and actual[-1] == '':
                actual.pop()
        else:
            actual = redirected_lines(data)
        compare(expected, actual)
        if not queues:
            raise Failure('no queues to look for')
        for queue in queues:
            if '- ' + queue not in actual:
                raise Failure('queue %r has no intact entry line' % queue)
    except Failure as e:
        print('%s: FAIL: %s' % (report_path, e))
        return 1
    print('%s: %d lines as the spooler answered, %d queues intact%s' % (
        report_path, len(actual), len(queues), ' (console)' if console else ''))
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv[1:]))
