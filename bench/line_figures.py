#!/usr/bin/env python3
"""The line bench's figures from what its runs left (run-line-bench calls it): runs.txt, the
control's traces, the line's logs and the servers' request logs. Usage:
line_figures.py WORK DRIVE_C ARCH PACKAGE_BYTES PACKAGES VISIT_BOUND_S"""
import datetime
import os
import re
import statistics
import sys

work, drive_c, arch = sys.argv[1:4]
package_bytes, packages, visit_bound = int(sys.argv[4]), int(sys.argv[5]), float(sys.argv[6])

BATCH, IN, TOLD = "package batch starts", "packages in", "the player is told"
LANES = re.compile(r"(\d+) lanes \(WinINet's connections per server: (\d+)\)")


def trace_marks(name):
    """The time of the first line with each mark, of those the trace has."""
    marks = {}
    try:
        lines = open(os.path.join(drive_c, name), encoding="cp949", errors="replace")
    except OSError:
        return marks
    for line in lines:
        try:
            stamp = datetime.datetime.strptime(line[:23], "%Y-%m-%d %H:%M:%S.%f").timestamp()
        except ValueError:
            continue
        for mark in (BATCH, IN, TOLD):
            if mark in line and mark not in marks:
                marks[mark] = stamp
        lanes = LANES.search(line)
        if lanes:
            marks["lanes"] = f"{lanes.group(1)} lanes, WinINet's cap {lanes.group(2)}"
    return marks


def busy_runs(name):
    runs = []
    for line in open(os.path.join(work, name), encoding="utf-8"):
        if line.startswith("BUSY "):
            _, start, end = line.split()
            runs.append((float(start), float(end)))
    return sorted(runs)


def longest_gap(runs, start, end):
    """The longest pause of the line between its first and its last byte within [start, end]."""
    inside = [(max(a, start), min(b, end)) for a, b in runs if b > start and a < end]
    gaps = [b[0] - a[1] for a, b in zip(inside, inside[1:])]
    return max(gaps, default=0.0)


def floor_of(rtt, mbps):
    return package_bytes * 8 / (mbps * 1e6) + 2 * rtt / 1000


def fmt(x):
    return f"{x:.2f}"


rows = [line.split() for line in open(os.path.join(work, "runs.txt"))]
by_kind = {}
for row in rows:
    by_kind.setdefault(row[0], []).append(row)


def installs(kind):
    """(package phase, time to play, gap) of each run that installed; reasons of those that did
    not."""
    done, reasons = [], []
    for _, rtt, mbps, start, end, play, trace, line_log in by_kind.get(kind, []):
        marks = trace_marks(trace)
        lanes_seen.add(marks.get("lanes", "lanes not traced"))
        start, end, play = float(start), float(end), float(play)
        if BATCH not in marks:
            reasons.append("no package batch in the control's trace")
        elif IN not in marks:
            told = marks.get(TOLD)
            reasons.append(f"the player was told of a failure after {told - marks[BATCH]:.1f} s"
                           if told else f"not installed within {end - start:.0f} s")
        elif play <= start:
            reasons.append("installed but the client did not start")
        else:
            phase = marks[IN] - marks[BATCH]
            done.append((phase, play - start, longest_gap(busy_runs(line_log), marks[BATCH],
                                                          marks[IN])))
    return done, reasons


med = statistics.median
lanes_seen = set()
mib = package_bytes / 1048576
for kind, rtt, mbps in (("fast", 60, 40), ("slow", 150, 8)):
    n = len(by_kind.get(kind, []))
    floor = floor_of(rtt, mbps)
    done, reasons = installs(kind)
    head = (f"line ({arch}; {', '.join(sorted(lanes_seen))}) {rtt} ms / {mbps} Mbit/s: floor "
            f"{fmt(floor)} s ({packages} packages, {mib:.1f} MiB)")
    lanes_seen.clear()
    if not done:
        print(f"{head}, package phase n/a: {'; '.join(reasons) or 'no run'}")
        continue
    phase, play, gap = (med(r[i] for r in done) for i in range(3))
    runs = f"median of {len(done)}" if len(done) > 1 else "one run"
    failed = f"; {n - len(done)} of {n} runs did not install: {'; '.join(reasons)}" if reasons else ""
    print(f"{head}: package phase {fmt(phase)} s = {phase / floor:.2f}x floor (goal <= 1.15x), "
          f"time to play {fmt(play)} s = {play / floor:.2f}x floor = floor + {fmt(play - floor)} s "
          f"(goal <= floor + 1.5 s), "
          f"longest idle gap of the line in the package phase {gap * 1000:.0f} ms ({runs}{failed})")

floor = floor_of(60, 40)
done, reasons = installs("mirror")
if done:
    phase, play, gap = done[0]
    print(f"line ({arch}) 60 ms / 40 Mbit/s, the package host down and a healthy mirror: package "
          f"phase {fmt(phase)} s = {phase / floor:.2f}x floor (goal <= 1.3x), time to play "
          f"{fmt(play)} s, longest idle gap {gap * 1000:.0f} ms")
elif by_kind.get("mirror"):
    served = len(re.findall(r"^GET /mirror/\S+ \S+ 200$",
                            open(os.path.join(work, "requests-mirror-1.log")).read(), re.M))
    print(f"line ({arch}) 60 ms / 40 Mbit/s, the package host down and a healthy mirror: n/a: "
          f"{'; '.join(reasons)} (the mirror served {served} of {packages} packages)")

for _, _, _, start, end, _, trace, _ in by_kind.get("silent", []):
    marks = trace_marks(trace)
    head = f"line ({arch}) 60 ms / 40 Mbit/s, every host silent: the player told"
    if BATCH in marks and TOLD in marks:
        told = marks[TOLD] - marks[BATCH]
        print(f"{head} {told:.1f} s after the package batch started (goal: within the visit "
              f"bound, {visit_bound:.0f} s in this run through TAVRIN_TEST_VISIT_MS)")
    else:
        print(f"{head}: n/a: not told within {float(end) - float(start):.0f} s of the visit "
              f"(visit bound {visit_bound:.0f} s through TAVRIN_TEST_VISIT_MS)")

for how, verb in (("stop", "stopped"), ("leave", "left")):
    for kind, what in (("hang", "silent before its headers"), ("stall", "silent mid-body")):
        for _, _, _, start, end, _, _, _, at in by_kind.get(f"{how}-{kind}", []):
            head = f"line ({arch}) 60 ms / 40 Mbit/s, a {how} with the package host {what}"
            at, end = float(at), float(end)
            log = open(os.path.join(work, f"requests-{how}-{kind}.log"), encoding="utf-8").read()
            silent = re.search(r"^(HANG|STALL) \S+ at ([0-9.]+)$", log, re.M)
            # Packages travel side by side: the figure is the last of their connections to go.
            closes = [float(t) for t in re.findall(r"^CLOSED \S+ \d+ at ([0-9.]+)$", log, re.M)
                      if float(t) >= at]
            closed = max(closes, default=None)
            if not at:
                print(f"{head}: n/a: the page was not {verb}")
            elif not silent or float(silent.group(2)) > at:
                print(f"{head}: n/a: the server was not yet silent when the page was {verb}")
            elif not closed:
                print(f"{head}: n/a: the server saw no close ({end - at:.0f} s after)")
            else:
                seconds = closed - at
                # A close as the browser ends is the process's, not the updater's.
                by = " only when the browser ended," if closed >= end - 0.5 else ""
                print(f"{head}: the server saw the close{by} {seconds:.2f} s after (goal <= 2 s)")
