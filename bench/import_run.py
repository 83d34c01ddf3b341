#!/usr/bin/env python3
"""Reading a large schedule: a generated project XML file of 5,000 tasks
(under 100 summary tasks, links of all four types with lags, a calendar with
a lunch break and holidays), converted by `velmsim convert FILE --to csv`
(read, networked and planned to the minute), beside a Python script doing
the same reading (ElementTree) and the forward pass in working minutes.

    python3 bench/import_run.py build/velmsim
"""
import os
import random
import subprocess
import sys
import tempfile
import time
import xml.etree.ElementTree as ET

TASKS = 5000


def write_schedule(path):
    rnd = random.Random(5000)
    day = "<WeekDay><DayType>{}</DayType><DayWorking>1</DayWorking><WorkingTimes>" \
          "<WorkingTime><FromTime>08:00:00</FromTime><ToTime>12:00:00</ToTime></WorkingTime>" \
          "<WorkingTime><FromTime>13:00:00</FromTime><ToTime>17:00:00</ToTime></WorkingTime>" \
          "</WorkingTimes></WeekDay>"
    holidays = "".join(
        f"<WeekDay><DayType>0</DayType><DayWorking>0</DayWorking><TimePeriod><FromDate>{y}-{md}T00:00:00"
        f"</FromDate><ToDate>{y}-{md}T23:59:00</ToDate></TimePeriod></WeekDay>"
        for y in range(2027, 2040) for md in ("01-01", "05-01", "12-25", "12-26"))
    out = [
        '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>',
        '<Project xmlns="http://schemas.microsoft.com/project"><SaveVersion>14</SaveVersion>',
        "<StartDate>2027-03-01T08:00:00</StartDate><MinutesPerDay>480</MinutesPerDay>",
        "<CalendarUID>1</CalendarUID><Calendars><Calendar><UID>1</UID><Name>Standard</Name>",
        "<IsBaseCalendar>1</IsBaseCalendar><WeekDays>",
        "<WeekDay><DayType>1</DayType><DayWorking>0</DayWorking></WeekDay>",
        "".join(day.format(d) for d in range(2, 7)),
        "<WeekDay><DayType>7</DayType><DayWorking>0</DayWorking></WeekDay>",
        holidays, "</WeekDays></Calendar></Calendars><Tasks>",
        "<Task><UID>0</UID><ID>0</ID><Name>Bench</Name><OutlineLevel>0</OutlineLevel><Summary>1</Summary></Task>"]
    uid = 0
    leaves = []
    for s in range(TASKS // 50):
        uid += 1
        out.append(f"<Task><UID>{uid}</UID><ID>{uid}</ID><Name>Area {s}</Name><WBS>{s + 1}</WBS>"
                   "<OutlineLevel>1</OutlineLevel><Summary>1</Summary></Task>")
        for k in range(49):
            uid += 1
            links = []
            for _ in range(min(len(leaves), rnd.choice((1, 1, 2, 3)))):
                p = rnd.choice(leaves[-200:])
                links.append(f"<PredecessorLink><PredecessorUID>{p}</PredecessorUID><Type>"
                             f"{rnd.choice((1, 1, 1, 0, 3, 2))}</Type><LinkLag>{rnd.choice((0, 0, 4800, -2400, 9600))}"
                             "</LinkLag><LagFormat>7</LagFormat></PredecessorLink>")
            hours = rnd.choice((8, 16, 24, 40, 80, 4))
            out.append(f"<Task><UID>{uid}</UID><ID>{uid}</ID><Name>Task {uid}</Name><WBS>{s + 1}.{k + 1}</WBS>"
                       f"<OutlineLevel>2</OutlineLevel><Duration>PT{hours}H0M0S</Duration>"
                       f"<DurationFormat>7</DurationFormat>{''.join(links)}</Task>")
            leaves.append(uid)
    out.append("</Tasks></Project>\n")
    with open(path, "w", encoding="utf-8") as f:
        f.write("\n".join(out))


def python_peer(path):
    ns = {"p": "http://schemas.microsoft.com/project"}
    root = ET.parse(path).getroot()
    tasks, order = {}, []
    for t in root.find("p:Tasks", ns):
        if t.findtext("p:Summary", namespaces=ns) == "1":
            continue
        d = t.findtext("p:Duration", namespaces=ns)
        minutes = float(d[2:d.index("H")]) * 60
        links = [(l.findtext("p:PredecessorUID", namespaces=ns), int(l.findtext("p:Type", namespaces=ns)),
                  float(l.findtext("p:LinkLag", namespaces=ns)) / 10) for l in t.findall("p:PredecessorLink", ns)]
        uid = t.findtext("p:UID", namespaces=ns)
        tasks[uid] = (minutes, links)
        order.append(uid)
    es, ef = {}, {}
    for uid in order:  # predecessors come first in this file
        d, links = tasks[uid]
        s = 0.0
        for p, kind, lag in links:
            s = max(s, {1: ef[p] + lag, 3: es[p] + lag, 0: ef[p] + lag - d, 2: es[p] + lag - d}[kind])
        es[uid], ef[uid] = s, s + d
    return max(ef.values())


def main():
    velmsim = sys.argv[1] if len(sys.argv) > 1 else "build/velmsim"
    with tempfile.TemporaryDirectory() as scratch:
        path = os.path.join(scratch, "bench.xml")
        write_schedule(path)
        size = os.path.getsize(path)
        best = float("inf")
        for _ in range(3):
            t0 = time.perf_counter()
            run = subprocess.run([velmsim, "convert", path, "--to", "csv"], capture_output=True)
            best = min(best, time.perf_counter() - t0)
            if run.returncode != 0:
                sys.exit(run.stderr.decode())
        peer = float("inf")
        for _ in range(3):
            t0 = time.perf_counter()
            python_peer(path)
            peer = min(peer, time.perf_counter() - t0)
        rows = run.stdout.count(b"\n") - 1
        print(f"{TASKS} tasks ({rows} planned), {size / 1e6:.1f} MB of project XML")
        print(f"velmsim convert --to csv: {best:.3f} s (aim: under 1 s)")
        print(f"Python ElementTree and a forward pass: {peer:.3f} s (ratio {best / peer:.2f})")


if __name__ == "__main__":
    main()
