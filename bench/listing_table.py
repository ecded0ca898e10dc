#!/usr/bin/env python3
"""Reads listing_bench's JSON output and prints, for every sink and size, the
listing's time per line beside the layers beneath it and the floor (one
write(2) per line), with the listing's ratio to the floor and its overhead
over the floor in units of the floor. With repetitions, the medians are
used."""
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


LAYERS = ["TimeListPrinters", "TimeWideOutputPerLine", "TimeNarrowBufferPerLine",
          "TimeWritePerLine"]


def main():
    context, chosen = runs(sys.argv[1])
    print("load average at start: %s" % context.get("load_avg"))
    print("ns per line: the listing, the same lines through the output path "
          "alone (wcout, wide output, cout's buffer), the bytes through cout's "
          "buffer alone, and the floor (one write(2) per line)")
    print()
    print("| sink | records | by-name | lines | listing | output path | cout buffer "
          "| floor | listing/floor | overhead over floor |")
    print("|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|")
    for name, report in chosen.items():
        if not name.startswith(LAYERS[0] + "/"):
            continue
        layers = [chosen.get(name.replace(LAYERS[0], layer, 1)) for layer in LAYERS]
        if None in layers:
            continue
        parts = dict(p.split(":") for p in name.split("/") if ":" in p)
        sink = name.split("/")[1]
        ns = [layer["per_line"] * 1e9 for layer in layers]
        print("| %s | %s | %s | %d | %.0f | %.0f | %.0f | %.0f | %.2fx | %.2fx |"
              % (sink, parts["records"], parts["by_name"], report["lines"],
                 ns[0], ns[1], ns[2], ns[3], ns[0] / ns[3], (ns[0] - ns[3]) / ns[3]))
    spooler = [b for n, b in chosen.items() if n.startswith("TimeSpoolerCalls/")]
    if spooler:
        print()
        print("the bench spooler's share (the listing's calls alone, no output), "
              "ns per entry:")
        for b in spooler:
            print("  %s  %.0f" % (b.get("run_name", b["name"]), b["per_entry"] * 1e9))


if __name__ == "__main__":
    main()
