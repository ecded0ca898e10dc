#!/usr/bin/env python3
"""Runs reports inside the private network and says what each cost.

    network_runs.py SCENARIO RUNS OUT LABEL=PROGRAM...

Run by bench/run-network inside tests/network/private_network.sh. Each
program runs RUNS times, standard input from /dev/null; its standard output
is read line by line as it comes, so the time the Network scopes were done
(discovery over) is known beside the whole report's. Appends to OUT a line a
run: scenario, label, run, report ms, discovery ms, printers expanded
(prn-NNNN entries with a line beneath), services listed (Network, level 1).
"""
import os
import subprocess
import sys
import time


def one_run(program):
    started = time.monotonic()
    child = subprocess.Popen([program], stdin=subprocess.DEVNULL,
                             stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    discovery = None
    lines = []
    for raw in child.stdout:
        line = raw.decode("utf-8", "replace").rstrip("\n")
        if discovery is None and line == "====== Network | Shared ======":
            discovery = time.monotonic() - started
        lines.append(line)
    child.wait()
    report = time.monotonic() - started
    expanded = set()
    for line in lines:
        if line.startswith("--> \\\\prn-"):
            expanded.add(line[4:].split("\\")[2])
    network, services = False, 0
    for line in lines:
        if line.startswith("====== "):
            network = line == "====== Network ======"
        elif network and line.startswith("------ Level "):
            network = line == "------ Level 1 ------"
        elif network and line.startswith("- Dienst "):
            services += 1
    return report, discovery or report, len(expanded), services


def main():
    scenario, runs, out = sys.argv[1], int(sys.argv[2]), sys.argv[3]
    programs = [argument.split("=", 1) for argument in sys.argv[4:]]
    with open(out, "a") as results:
        for run in range(runs):
            for label, program in programs:
                report, discovery, expanded, services = one_run(program)
                results.write("%s\t%s\t%d\t%.0f\t%.0f\t%d\t%d\n" % (
                    scenario, label, run + 1, report * 1000, discovery * 1000,
                    expanded, services))
                results.flush()
                print("%-24s %-8s run %d: report %6.0f ms, discovery %6.0f ms, "
                      "%4d expanded, %4d services" % (
                          scenario, label, run + 1, report * 1000,
                          discovery * 1000, expanded, services))


if __name__ == "__main__":
    os.environ.setdefault("LC_ALL", "C.UTF-8")
    main()
