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
ready.

NET_RUN_PAUSE (seconds, default 0) is waited before each run: with a loud
device on DNS-SD, avahi goes on sending a client that has ended the
thousands of signals its browsers made, for a second or two, and only then
answers the next client; reports run back to back would measure that.
"""
import os
import subprocess
import sys
import time


def farm_late():
    folder = os.environ.get("NET_FARM_DIR", "")
    try:
        with open(os.path.join(folder, "counts")) as counts:
            return counts.read().split()[2]
    except (OSError, IndexError):
        return "-"


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
    _, _, usage = os.wait4(child.pid, 0)
    child.returncode = 0
    report = time.monotonic() - started
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
    return (report, discovery or report, len(expanded), services, others,
            usage.ru_maxrss)


def main():
    scenario, runs, out = sys.argv[1], int(sys.argv[2]), sys.argv[3]
    programs = [argument.split("=", 1) for argument in sys.argv[4:]]
    with open(out, "a") as results:
        pause = float(os.environ.get("NET_RUN_PAUSE", "0"))
        for run in range(runs):
            for label, program in programs:
                time.sleep(pause)
                report, discovery, expanded, services, others, rss = \
                    one_run(program)
                late = farm_late()
                browsed = os.environ.get("NET_DNSSD_BROWSED", "0")
                results.write("%s\t%s\t%d\t%.0f\t%.0f\t%d\t%d\t%d\t%d\t%s\t%s\n" % (
                    scenario, label, run + 1, report * 1000, discovery * 1000,
                    expanded, services, others, rss, late, browsed))
                results.flush()
                print("%-24s %-8s run %d: report %6.0f ms, discovery %6.0f ms, "
                      "%5d expanded, %5d services, %3d others, %6d KiB, "
                      "farm late %s ms, avahi-browse %s" % (
                          scenario, label, run + 1, report * 1000,
                          discovery * 1000, expanded, services, others, rss,
                          late, browsed))


if __name__ == "__main__":
    os.environ.setdefault("LC_ALL", "C.UTF-8")
    main()
