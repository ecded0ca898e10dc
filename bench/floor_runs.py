#!/usr/bin/env python3
"""Programs beside the report's floor, run after run in turn (bench/run-floor).

    floor_runs.py QUEUES MEASURED_RUN FLOOR LINES RUNS NAME=PROGRAM...

Runs the FLOOR (bench/cups_floor.cc, given LINES) and each PROGRAM (a build
of the report) one after the other, RUNS rounds after one warm-up each, the
order turned by one every round so that none always runs on a warmer
machine; standard input and output on /dev/null. Each run is measured by
MEASURED_RUN (bench/measured_run.cc). Prints one tab-separated line per
program: its name, queues, the medians of the wall time (ms) of it and of
the floor in the same rounds, their ratio, the medians of the peak resident
set (KiB) of each, and of the processor time (ms, user and system) of each.
Fails when a run fails, or when a program's output, captured once, differs
from LINES.
"""
import os
import statistics
import subprocess
import sys


def run_once(measured_run, figures, argv):
    """Wall time in ms, peak resident set in KiB and processor time in ms
    of one run."""
    with open(os.devnull, "rb") as nothing_in, open(os.devnull, "wb") as nothing_out:
        subprocess.run([measured_run, figures] + argv, stdin=nothing_in,
                       stdout=nothing_out, stderr=subprocess.DEVNULL, check=True)
    with open(figures) as measured:
        elapsed, peak, status, cpu = measured.read().split()
    if status != "0":
        sys.exit(f"{argv[0]} ended with {status}")
    return float(elapsed), int(peak), float(cpu)


def main():
    queues, measured_run, floor, lines, runs = sys.argv[1:6]
    runs = int(runs)
    programs = {"floor": [floor, lines]}
    for named in sys.argv[6:]:
        name, program = named.split("=", 1)
        programs[name] = [program]
    with open(lines, "rb") as expected:
        report = expected.read()
    for name, argv in programs.items():
        if name == "floor":
            continue
        captured = subprocess.run(argv, stdin=subprocess.DEVNULL,
                                  capture_output=True, check=True).stdout
        if captured != report:
            sys.exit(f"{name}: its output differs from the lines the floor writes")
    figures = os.path.join(os.path.dirname(os.path.abspath(lines)), "figures")
    names = list(programs)
    measured = {name: [] for name in names}
    for name in names:
        run_once(measured_run, figures, programs[name])  # warm-up
    for round_number in range(runs):
        turn = round_number % len(names)
        for name in names[turn:] + names[:turn]:
            measured[name].append(run_once(measured_run, figures, programs[name]))

    def median(name, what):
        return statistics.median(run[what] for run in measured[name])

    for name in names[1:]:
        print(f"{name}\t{queues}\t{median(name, 0):.2f}\t{median('floor', 0):.2f}"
              f"\t{median(name, 0) / median('floor', 0):.2f}"
              f"\t{median(name, 1):.0f}\t{median('floor', 1):.0f}"
              f"\t{median(name, 2):.2f}\t{median('floor', 2):.2f}", flush=True)


if __name__ == "__main__":
    main()
