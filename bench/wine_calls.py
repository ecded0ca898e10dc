#!/usr/bin/env python3
"""The Windows exe's EnumPrintersW calls, read off a Wine relay log
(WINEDEBUG=+timestamp,+relay with RelayInclude winspool.drv.EnumPrintersW).

  wine_calls.py add TSV LOG EXE PLACEMENT WALL REQUESTS SWITCHES
      pairs each Call line with its thread's next Ret line, sorts the calls
      by kind (a scope call has no name, a by-name call has one; a sizing
      call has no buffer, a filling call has one) and appends a row per kind
      to TSV: the calls' count and the seconds spent inside them, and a row
      for the run's time outside them (the report's lines, the start-up and
      the end). WALL, REQUESTS and SWITCHES are the run's wall time, the
      requests the CUPS server logged and the wineserver's context switches.
  wine_calls.py same LOG...
      says whether the logs hold the same calls with the same arguments, in
      the same order (flags, whether a name is given, level, whether a
      buffer is given, its size), and where the first two differ if not.
  wine_calls.py table TSV
      prints a Markdown table with a row for each run: each kind's calls as
      count x time per call, the time inside all calls and outside them.
      The relay's time stamps have a resolution of a millisecond, so a single
      short call's time is not read off them, only sums over many.
"""
import re
import sys

CALL = re.compile(r"^(\d+\.\d+):([0-9a-f]+):Call winspool\.drv\.EnumPrintersW\("
                  r"([0-9a-f]+),([0-9a-f]+),([0-9a-f]+),([0-9a-f]+),([0-9a-f]+),")
RET = re.compile(r"^(\d+\.\d+):([0-9a-f]+):Ret  winspool\.drv\.EnumPrintersW\(\)")
STAMP = re.compile(r"^(\d+\.\d+):")

KINDS = ["scope sizing", "scope filling", "by-name sizing", "by-name filling"]
COLUMNS = ["exe", "placement", "wall_s", "requests", "server_switches", "kind",
           "calls", "seconds"]


def read_calls(path):
    """Returns {kind: [count, seconds]}, the seconds inside any call and the
    seconds the log spans."""
    stats = {kind: [0, 0.0] for kind in KINDS}
    pending = {}
    first = last = None
    inside = 0.0
    with open(path, errors="replace") as log:
        for line in log:
            stamp = STAMP.match(line)
            if not stamp:
                continue
            t = float(stamp.group(1))
            if first is None:
                first = t
            last = t
            m = CALL.match(line)
            if m:
                name, buffer = int(m.group(4), 16), int(m.group(6), 16)
                kind = ("by-name " if name else "scope ") + ("filling" if buffer else "sizing")
                pending[m.group(2)] = (t, kind)
                continue
            m = RET.match(line)
            if m and m.group(2) in pending:
                start, kind = pending.pop(m.group(2))
                stats[kind][0] += 1
                stats[kind][1] += t - start
                inside += t - start
    if pending:
        sys.exit("%s: %d calls without their return" % (path, len(pending)))
    return stats, inside, (last - first) if first is not None else 0.0


def add(tsv, log, exe, placement, wall, requests, switches):
    stats, inside, _ = read_calls(log)
    calls = sum(count for count, _ in stats.values())
    rows = [(kind, count, seconds) for kind, (count, seconds) in stats.items()]
    rows.append(("all calls", calls, inside))
    rows.append(("outside the calls", "", float(wall) - inside))
    with open(tsv, "a") as out:
        for kind, count, seconds in rows:
            out.write("\t".join(str(v) for v in (exe, placement, wall, requests, switches,
                                                   kind, count, "%.6f" % seconds)) + "\n")
    for kind, count, seconds in rows:
        per = " %8.2f ms a call" % (1000 * seconds / count) if count else ""
        print("  %-18s %6s calls %9.3f s%s" % (kind, count, seconds, per))


def arguments(path):
    """The calls' arguments as the exe chose them, in order."""
    calls = []
    with open(path, errors="replace") as log:
        for line in log:
            m = CALL.match(line)
            if m:
                flags, name, level, buffer, size = m.group(3, 4, 5, 6, 7)
                calls.append("flags=%s name=%s level=%s buffer=%s cbBuf=%d" % (
                    flags, "given" if int(name, 16) else "null", int(level, 16),
                    "given" if int(buffer, 16) else "null", int(size, 16)))
    return calls


def same(logs):
    first = arguments(logs[0])
    for other in logs[1:]:
        calls = arguments(other)
        if calls != first:
            at = next((i for i, (a, b) in enumerate(zip(first, calls)) if a != b),
                      min(len(first), len(calls)))
            print("the calls differ: %s makes %d, %s %d; first difference at call %d"
                  % (logs[0], len(first), other, len(calls), at + 1))
            return
    print("the same %d calls with the same arguments in the same order in all %d runs"
          % (len(first), len(logs)))


def table(tsv):
    with open(tsv) as f:
        header = f.readline().rstrip("\n").split("\t")
        rows = [dict(zip(header, line.rstrip("\n").split("\t"))) for line in f if line.strip()]
    runs = []
    for r in rows:
        key = (r["exe"], r["placement"])
        if not runs or runs[-1][0] != key:
            runs.append((key, r, {}))
        runs[-1][2][r["kind"]] = (r["calls"], float(r["seconds"]))
    print("| exe | exe and wineserver | wall time | IPP requests | wineserver context switches | "
          + " | ".join(KINDS) + " | in the calls | outside them |")
    print("|---|---|" + "---:|" * (5 + len(KINDS)))
    for (exe, placement), r, kinds in runs:
        cells = []
        for kind in KINDS:
            count, seconds = kinds[kind]
            cells.append("%s x %.2f ms" % (count, 1000 * seconds / int(count)) if int(count) else "0")
        print("| %s | %s | %.2f s | %s | %s | %s | %.2f s | %.2f s |" % (
            exe, placement, float(r["wall_s"]), r["requests"],
            "{:,}".format(int(r["server_switches"])), " | ".join(cells),
            kinds["all calls"][1], kinds["outside the calls"][1]))


def main():
    if len(sys.argv) == 9 and sys.argv[1] == "add":
        tsv = sys.argv[2]
        try:
            with open(tsv) as f:
                fresh = not f.readline()
        except FileNotFoundError:
            fresh = True
        if fresh:
            with open(tsv, "w") as f:
                f.write("\t".join(COLUMNS) + "\n")
        add(tsv, *sys.argv[3:])
    elif len(sys.argv) >= 3 and sys.argv[1] == "same":
        same(sys.argv[2:])
    elif len(sys.argv) == 3 and sys.argv[1] == "table":
        table(sys.argv[2])
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main()
