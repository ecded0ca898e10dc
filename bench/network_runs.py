#!/usr/bin/env python3
"""Runs reports inside the private network and says what each cost.

    network_runs.py SCENARIO RUNS OUT LABEL=PROGRAM...

Run by bench/run-network inside tests/network/private_network.sh. Each
program runs RUNS times, standard input from /dev/null; its standard output
is read line by line as it comes, so the time the Network scopes were done
(discovery over) is known beside the whole report's. Appends to OUT a line a
run: scenario, label, run, report ms, discovery ms, printers expanded
(prn-NNNN entries with a line beneath), services listed (Network, level 1:
the loud device's "Dienst NNNN"), the other hosts' printers listed there
("Drucker NN"), the program's peak resident memory in KiB, how late the
printer farm answered at worst so far (ms; "-" without a farm), and how many
of the loud device's services avahi-browse showed when the network was
ready, how many requests the farm had read by the report's end ("-"
without a farm; fewer than its printers were sent is a farm that did not
keep up), and whether druck-sued, the office server that shares on DNS-SD
with no TLS to offer, was expanded into its queue (1) or not (0).

NET_RUN_PAUSE (seconds, default 0) is waited before each run: with a loud
device on DNS-SD, avahi goes on sending a client that has ended the
thousands of signals its browsers made, for a second or two, and only then
answers the next client; reports run back to back would measure that.
"""
import os
import subprocess
import sys
import threading
import time


def farm_counts():
    """The farm's connections, requests and lateness so far; None without."""
    folder = os.environ.get("NET_FARM_DIR", "")
    try:
        with open(os.path.join(folder, "counts")) as counts:
            return [int(field) for field in counts.read().split()[:3]]
    except (OSError, ValueError):
        return None


def one_run(program):
    farm_before = farm_counts()
    started = time.monotonic()
    child = subprocess.Popen([program], stdin=subprocess.DEVNULL,
                             stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    # A report that never ends is killed at 60 s (and its time says so).
    watchdog = threading.Timer(60, child.kill)
    watchdog.start()
    discovery = None
    lines = []
    for raw in child.stdout:
        line = raw.decode("utf-8", "replace").rstrip("\n")
        if discovery is None and line == "====== Network | Shared ======":
            discovery = time.monotonic() - started
        lines.append(line)
    _, _, usage = os.wait4(child.pid, 0)
    watchdog.cancel()
    child.returncode = 0
    report = time.monotonic() - started
    farm_after = farm_counts()
    # The requests the farm had read by the report's end: fewer than the
    # printers were sent means the farm did not keep up.
    farm = "-"
    if farm_before and farm_after:
        farm = "%d" % (farm_after[1] - farm_before[1])
    expanded = set()
    for line in lines:
        if line.startswith("--> \\\\prn-"):
            expanded.add(line[4:].split("\\")[2])
    network, services, others = False, 0, 0
    for line in lines:
        if line.startswith("====== "):
            network = line == "====== Network ======"
        elif network and line.startswith("------ Level "):
            network = line == "------ Level 1 ------"
        elif network and line.startswith("- Dienst "):
            services += 1
        elif network and line.startswith("- Drucker "):
            others += 1
    office = any(line.startswith("--> \\\\druck-sued.local:8632\\")
                 for line in lines)
    return (report, discovery or report, len(expanded), services, others,
            usage.ru_maxrss, farm,
            "%d" % farm_after[2] if farm_after else "-", int(office))


def main():
    scenario, runs, out = sys.argv[1], int(sys.argv[2]), sys.argv[3]
    programs = [argument.split("=", 1) for argument in sys.argv[4:]]
    with open(out, "a") as results:
        pause = float(os.environ.get("NET_RUN_PAUSE", "0"))
        for run in range(runs):
            for label, program in programs:
                time.sleep(pause)
                report, discovery, expanded, services, others, rss, farm, \
                    late, office = one_run(program)
                browsed = os.environ.get("NET_DNSSD_BROWSED", "0")
                results.write("%s\t%s\t%d\t%.0f\t%.0f\t%d\t%d\t%d\t%d\t%s\t%s\t%s\t%d\n" % (
                    scenario, label, run + 1, report * 1000, discovery * 1000,
                    expanded, services, others, rss, late, browsed, farm, office))
                results.flush()
                print("%-24s %-8s run %d: report %6.0f ms, discovery %6.0f ms, "
                      "%5d expanded, %5d services, %3d others, %6d KiB, "
                      "farm late %s ms, farm read %s requests, "
                      "avahi-browse %s, druck-sued %s" % (
                          scenario, label, run + 1, report * 1000,
                          discovery * 1000, expanded, services, others, rss,
                          late, farm, browsed,
                          "expanded" if office else "NOT expanded"))


if __name__ == "__main__":
    os.environ.setdefault("LC_ALL", "C.UTF-8")
    main()
