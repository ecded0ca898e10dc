#!/usr/bin/env python3
"""Reads listing_bench's JSON output and prints, for every sink and size, the
report's time per line beside the floor's (one write(2) per line) and their
ratio. With repetitions, the medians are used."""
import json
import sys


def runs(path):
    with open(path) as f:
        data = json.load(f)
    chosen = {}
    for b in data["benchmarks"]:
        if b.get("error_occurred"):
            continue
        if b.get("run_type") == "aggregate" and b.get("aggregate_name") != "median":
            continue
        name = b.get("run_name", b["name"])
        # A median replaces the single runs of the same name.
        if name not in chosen or b.get("run_type") == "aggregate":
            chosen[name] = b
    return data["context"], chosen


def main():
    context, chosen = runs(sys.argv[1])
    print("load average at start: %s" % context.get("load_avg"))
    print("| sink | records | by-name | lines | report ns/line | floor ns/line "
          "| report/floor | overhead ns/line |")
    print("|---|---:|---:|---:|---:|---:|---:|---:|")
    for name, report in chosen.items():
        if not name.startswith("TimeListPrinters/"):
            continue
        floor = chosen.get(name.replace("TimeListPrinters/", "TimeWritePerLine/"))
        if floor is None:
            continue
        parts = dict(p.split(":") for p in name.split("/") if ":" in p)
        sink = name.split("/")[1]
        r = report["per_line"] * 1e9
        f = floor["per_line"] * 1e9
        print("| %s | %s | %s | %d | %.0f | %.0f | %.2f | %.0f |"
              % (sink, parts["records"], parts["by_name"], report["lines"],
                 r, f, r / f, r - f))
    spooler = [b for n, b in chosen.items() if n.startswith("TimeSpoolerCalls/")]
    if spooler:
        print()
        print("bench spooler's share (calls only, no output), ns per entry:")
        for b in spooler:
            print("  %s  %.0f" % (b.get("run_name", b["name"]), b["per_entry"] * 1e9))


if __name__ == "__main__":
    main()
