#!/usr/bin/env python3
"""Draws the CUPS figures as an SVG: wall time against the number of queues,
both axes logarithmic, one line per program (the report, a minimal libcups client, lpstat -l -p) and
any other program as marked points. Standard library only.

    plot_cups.py FIGURES.tsv OUT.svg

FIGURES.tsv has the columns queues, program, seconds, requests (a header
line first; lines starting with # are skipped)."""
import math
import sys

WIDTH, HEIGHT = 720, 420
LEFT, RIGHT, TOP, BOTTOM = 70, 210, 30, 50
LINES = {"report": "#c0392b", "client": "#229954", "lpstat": "#2471a3"}
POINTS = "#7d3c98"
LABELS = {"report": "quelvaro, native", "client": "minimal libcups client",
          "lpstat": "lpstat -l -p",
          "wine": "quelvaro.exe, Wine"}


def read(path):
    rows = []
    with open(path) as f:
        header = None
        for line in f:
            line = line.rstrip("\n")
            if not line or line.startswith("#"):
                continue
            cells = line.split("\t")
            if header is None:
                header = cells
                continue
            row = dict(zip(header, cells))
            rows.append((int(row["queues"]), row["program"], float(row["seconds"])))
    return rows


def decades(low, high):
    return list(range(math.floor(math.log10(low)), math.ceil(math.log10(high)) + 1))


def label_of(exponent, unit):
    value = 10.0 ** exponent
    if unit == "s":
        if value >= 1:
            return "%g s" % value
        if value >= 1e-3:
            return "%g ms" % (value * 1e3)
        return "%g µs" % (value * 1e6)
    return "%g" % value


def main():
    rows = read(sys.argv[1])
    xs = [q for q, _, _ in rows]
    ys = [s for _, _, s in rows]
    xd = decades(min(xs), max(xs))
    yd = decades(min(ys), max(ys))
    plot_w = WIDTH - LEFT - RIGHT
    plot_h = HEIGHT - TOP - BOTTOM

    def px(q):
        return LEFT + (math.log10(q) - xd[0]) / (xd[-1] - xd[0] or 1) * plot_w

    def py(s):
        return TOP + plot_h - (math.log10(s) - yd[0]) / (yd[-1] - yd[0] or 1) * plot_h

    out = ['<svg xmlns="http://www.w3.org/2000/svg" width="%d" height="%d" '
           'viewBox="0 0 %d %d" font-family="sans-serif" font-size="12">'
           % (WIDTH, HEIGHT, WIDTH, HEIGHT),
           '<rect width="100%" height="100%" fill="white"/>']
    for e in xd:
        x = px(10 ** e)
        out.append('<line x1="%.1f" y1="%d" x2="%.1f" y2="%d" stroke="#ddd"/>'
                   % (x, TOP, x, TOP + plot_h))
        out.append('<text x="%.1f" y="%d" text-anchor="middle">%s</text>'
                   % (x, TOP + plot_h + 18, label_of(e, "")))
    for e in yd:
        y = py(10 ** e)
        out.append('<line x1="%d" y1="%.1f" x2="%d" y2="%.1f" stroke="#ddd"/>'
                   % (LEFT, y, LEFT + plot_w, y))
        out.append('<text x="%d" y="%.1f" text-anchor="end" dy="4">%s</text>'
                   % (LEFT - 6, y, label_of(e, "s")))
    out.append('<rect x="%d" y="%d" width="%d" height="%d" fill="none" stroke="#333"/>'
               % (LEFT, TOP, plot_w, plot_h))
    out.append('<text x="%.1f" y="%d" text-anchor="middle">queues</text>'
               % (LEFT + plot_w / 2, HEIGHT - 10))
    out.append('<text transform="translate(16 %.1f) rotate(-90)" '
               'text-anchor="middle">wall time per run</text>' % (TOP + plot_h / 2))

    programs = []
    for _, program, _ in rows:
        if program not in programs:
            programs.append(program)
    legend_y = TOP + 10
    for program in programs:
        points = sorted((q, s) for q, p, s in rows if p == program)
        colour = LINES.get(program, POINTS)
        if program in LINES and len(points) > 1:
            path = " ".join("%.1f,%.1f" % (px(q), py(s)) for q, s in points)
            out.append('<polyline points="%s" fill="none" stroke="%s" '
                       'stroke-width="2"/>' % (path, colour))
        for q, s in points:
            out.append('<circle cx="%.1f" cy="%.1f" r="3.5" fill="%s"/>'
                       % (px(q), py(s), colour))
        out.append('<circle cx="%d" cy="%d" r="4" fill="%s"/>'
                   % (LEFT + plot_w + 14, legend_y, colour))
        out.append('<text x="%d" y="%d" dy="4">%s</text>'
                   % (LEFT + plot_w + 24, legend_y, LABELS.get(program, program)))
        legend_y += 20
    out.append("</svg>")
    with open(sys.argv[2], "w") as f:
        f.write("\n".join(out) + "\n")


if __name__ == "__main__":
    main()
