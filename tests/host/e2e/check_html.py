"""velmsim's HTML pages as a reader meets them, on screen and on paper.

Every page: well-formed (it is written as XML-compatible HTML, whatever the
names in the model hold), self-contained (no scripts, no external
resources), every SVG label inside its chart and clear of the labels beside
it, every h3 heading inside a figure (which printing keeps on one page).
The report: the four charts of every output, the drivers chart of every
output that has contingency drivers, a schedule's criticality chart, a costed
schedule's joint-confidence and cash-flow charts, a correlated model's target and
achieved matrices, a point mass at the 1st percentile drawn as a labelled bar
of its own (schedule.toml's `late`, 0 in many iterations), the convergence
trace in tables of at most seven columns. The page of velmsim compare: its
two charts per output, the S-curves' legend above the curves.
Usage: check_html.py VELMSIM MODEL (MODEL: examples/schedule.toml)"""
import csv
import json
import os
import re
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

NS = "{http://www.w3.org/2000/svg}"
TRACE_COLUMNS = 7  # iterations and six outputs
MATRIX_COLUMNS = 11  # names and ten inputs

LONG_INPUT = "a_very_long_input_name_" + "x" * 72
LONG_OUTPUT = "an_output_with_a_long_name_" + "y" * 68
LONG_NAME = 'R&D <phase 1> \\"fit-out\\" ' * 30
# Labels of every kind at once: markup characters in the names, an input's
# and an output's label and unit (the model's name is longer than 500
# characters), names and labels too long for a chart's margin,
# a driver whose allocation is negative, a 0/1 output whose base, target,
# P50 and P80 are all at its maximum.
ODD = f"""[model]
name = "{LONG_NAME}"
currency = "<GBP> & co"
[inputs]
{LONG_INPUT} = {{ dist = "uniform", min = 1, max = 2 }}
discount = {{ dist = "normal", mean = 0, sd = 5, label = "Discount <net> & rebate of the main supplier's trade account", unit = "<k£>" }}
supplier = {{ dist = "risk", p = 0.3, impact = {{ dist = "uniform", min = 3, max = 12 }} }}
flag = {{ dist = "yesno", p = 0.7 }}
[outputs]
flagged = {{ formula = "flag", base = 1, target = 1 }}
total = {{ formula = "{LONG_INPUT} * 100 - 40 * discount + supplier", label = "Total <cost> & fees", unit = "k£ & co" }}
{LONG_OUTPUT} = "total < 150 && total > 100 ? total : 2 * total"
[run]
iterations = 2000
shares = ["{LONG_INPUT}", "discount", "flag"]
"""
# B's risk more likely, its flag less: B - A of flagged is -1 or 0, two point masses.
ODD_B = ODD.replace("p = 0.3,", "p = 0.5,").replace("p = 0.7", "p = 0.6").replace(
    'name = "R&D', 'name = "B: R&D')
# Wider than a page: 22 outputs, 12 correlated inputs.
WIDE = ('[model]\nname = "Many outputs"\n[inputs]\n' +
        "".join(f'a{i} = {{ dist = "uniform", min = 1, max = {i + 2} }}\n' for i in range(12)) +
        '[outputs]\n' + "".join(f'output_number_{i:02d} = "a{i % 12} * {i + 1}"\n' for i in range(22)) +
        '[run]\niterations = 1000\nblock = 100\n[correlation]\n' +
        "".join(f"a{i}.a{i + 1} = 0.3\n" for i in range(11)))


def main():
    velmsim, model = sys.argv[1], sys.argv[2]
    failures = []
    with tempfile.TemporaryDirectory() as scratch:
        def written(name, text):
            path = os.path.join(scratch, name)
            with open(path, "w", encoding="utf-8") as f:
                f.write(text)
            return path
        failures += check_report(velmsim, model, scratch, point_mass="late")
        failures += check_report(velmsim, os.path.join(os.path.dirname(model),
                                                       "warehouse-correlated.toml"), scratch)
        odd, odd_b = written("odd.toml", ODD), written("odd_b.toml", ODD_B)
        failures += check_report(velmsim, odd, scratch)
        failures += check_report(velmsim, written("wide.toml", WIDE), scratch)
        failures += check_report(velmsim, os.path.join(os.path.dirname(model), "substation.toml"),
                                 scratch)
        failures += check_compare(velmsim, odd, odd_b, scratch)
    print("HTML report: " + ("FAILED" if failures else "ok"))
    return 1 if failures else 0


def page_faults(text):
    """The page as XML, and the faults of any page."""
    try:
        root = ET.fromstring(text.replace("<!DOCTYPE html>", "", 1))
    except ET.ParseError as e:
        return None, [f"not well-formed: {e}"]
    faults = []
    if root.find(".//script") is not None:
        faults.append("has a script")
    if re.search(r'(src|href)\s*=\s*"(https?:)?//', text) or "url(" in text:
        faults.append("refers to an external resource")
    parent = {child: node for node in root.iter() for child in node}
    for h3 in root.iter("h3"):
        node = h3
        while node in parent and "figure" not in (node.get("class") or "").split():
            node = parent[node]
        if node not in parent:
            faults.append(f"heading {h3.text!r} is in no figure: printing may leave it alone")
    for svg in root.iter(NS + "svg"):
        faults += label_faults(svg)
    return root, faults


def em(text):
    """A label's width in em, about as DejaVu Sans sets it."""
    return sum(0.3 if c in " .,:;'|!ijl" else 0.4 if c in "()[]-ftr" else 0.95 if c in "mwMW"
               else 0.7 if c.isupper() else 0.6 if c.isascii() else 0.85 for c in text)


def label_faults(svg):
    """Labels cut by the chart's edges or running into each other."""
    width, height = float(svg.get("width")), float(svg.get("height"))
    chart, faults, rows = svg.get("data-chart"), [], {}
    for t in svg.iter(NS + "text"):
        shown = (t.text or "") + "".join(child.tail or "" for child in t)  # not the tooltip
        css = (t.get("class") or "").split()
        size = (11 if "marklabel" in css else 12) * (1.1 if "legend" in css else 1)
        w = size * em(shown)
        if t.get("transform"):  # the rotated label of the vertical axis
            if w > height:
                faults.append(f"{chart}: vertical label {shown[:40]!r}... longer than the chart")
            continue
        x, anchor = float(t.get("x")), t.get("text-anchor", "start")
        left = {"start": x, "middle": x - w / 2, "end": x - w}[anchor]
        if left < -0.5 or left + w > width + 0.5:
            faults.append(f"{chart}: label {shown[:40]!r} cut by the edge ({left:.0f} to "
                          f"{left + w:.0f} of {width:.0f})")
        rows.setdefault(round(float(t.get("y"))), []).append((left, left + w, shown))
    for row in rows.values():
        row.sort()
        for (_, right, a), (left, _, b) in zip(row, row[1:]):
            if left < right - 1:
                faults.append(f"{chart}: labels {a[:30]!r} and {b[:30]!r} run into each other")
    return faults


def run(velmsim, args, scratch):
    page = os.path.join(scratch, "page.html")
    subprocess.run([velmsim] + args + ["--html", page], check=True, stdout=subprocess.DEVNULL)
    with open(page, encoding="utf-8") as f:
        return f.read()


def check_compare(velmsim, a, b, scratch):
    root, faults = page_faults(run(velmsim, ["compare", a, b], scratch))
    if root is not None:
        sections = [s.find("h2").text for s in root.iter("section")]
        charts = [svg.get("data-chart") for svg in root.iter(NS + "svg")]
        if charts != ["s-curves", "histogram"] * len(sections) or len(sections) != 3:
            faults.append(f"charts {charts}, not an S-curve pair and a histogram per output")
        for svg in root.iter(NS + "svg"):
            if svg.get("data-chart") != "s-curves":
                continue
            highest = min(float(p.split(",")[1]) for line in svg.iter(NS + "polyline")
                          for p in line.get("points").split())
            if any(float(t.get("y")) > highest for t in svg.iter(NS + "text")
                   if t.get("class") == "legend"):
                faults.append("the S-curves' legend is over the curves")
    for message in faults:
        print(f"FAILED: compare: {message}")
    return faults


def check_report(velmsim, model, scratch, point_mass=None):
    json_file, csv_file = os.path.join(scratch, "r.json"), os.path.join(scratch, "r.csv")
    root, faults = page_faults(run(velmsim, [model, "--json", json_file, "--csv", csv_file],
                                   scratch))
    with open(json_file, encoding="utf-8") as f:
        report = json.load(f)
    if root is None:
        for message in faults:
            print(f"FAILED: {model}: {message}")
        return faults
    outputs = [o["name"] for o in report["outputs"]]
    with_drivers = sum(1 for o in report["outputs"]
                       if any(d["p80_allocation"] is not None for d in o["contingency_drivers"]))
    charts = [svg.get("data-chart") for svg in root.iter(NS + "svg")]
    for kind in ("s-curve", "histogram", "convergence"):
        if charts.count(kind) != len(outputs):
            faults.append(f"{charts.count(kind)} {kind} charts for {len(outputs)} outputs")
    # A network without inputs has no tornado: the task table ranks the tasks.
    with_inputs = sum(1 for o in report["outputs"] if o["tornado"] or o["constant"])
    if charts.count("tornado") != with_inputs:
        faults.append(f"{charts.count('tornado')} tornado charts for {with_inputs} outputs "
                      "with inputs")
    schedule = report.get("schedule")
    if schedule and schedule["start"]:
        curve = next(svg for svg in root.iter(NS + "svg") if svg.get("data-chart") == "s-curve")
        if not any(re.fullmatch(r"\d{4}-\d\d-\d\d", t.text or "") for t in curve.iter(NS + "text")):
            faults.append("a dated schedule's finish S-curve without dates under its ticks")
    if schedule and charts.count("criticality") != 1:
        faults.append("a schedule without its criticality chart")
    if schedule and schedule["joint_confidence"] is not None and \
            (charts.count("joint"), charts.count("cash")) != (1, 1):
        faults.append("a costed schedule without its joint-confidence and cash-flow charts")
    if charts.count("drivers") != with_drivers:
        faults.append(f"{charts.count('drivers')} drivers charts for {with_drivers} outputs "
                      "with drivers")
    if report["correlation"] is not None:
        k = len(report["correlation"]["inputs"])
        matrices = [t for t in root.iter("table") if t.get("class") == "matrix"]
        if sum(len(t.findall(".//td")) for t in matrices) != 2 * k * k or \
                any(len(t.find("tr")) > MATRIX_COLUMNS for t in matrices):
            faults.append(f"not the target and achieved {k} x {k} matrices in tables of at most "
                          f"{MATRIX_COLUMNS} columns")
    titles = [f"Output {o['label']} ({o['name']})" if "label" in o else f"Output {o['name']}"
              for o in report["outputs"]]
    if [s.find("h2").text for s in root.iter("section")] != titles:
        faults.append("one section per output, in order, is missing")
    body = root.find("body")
    trace = list(body)[[e.text for e in body].index("Convergence trace") + 1:]
    tables = [["".join(th.itertext()) for th in t.iter("th")] for t in trace if t.tag == "table"]
    if any(len(t) > TRACE_COLUMNS for t in tables) or [h for t in tables for h in t[1:]] != outputs:
        faults.append(f"the convergence trace is not in tables of at most {TRACE_COLUMNS} "
                      f"columns: {[len(t) for t in tables]}")
    if point_mass:
        faults += point_mass_faults(root, point_mass, csv_file)
    for message in faults:
        print(f"FAILED: {model}: {message}")
    return faults


def point_mass_faults(root, name, csv_file):
    """The output's minimum, taken by many iterations, drawn as a bar of its
    own with its count, and the note saying so."""
    with open(csv_file, encoding="utf-8") as f:
        values = [float(row[name]) for row in csv.DictReader(f)]
    low = min(values)
    count = values.count(low)
    for figure in root.iter("div"):
        svg = figure.find(NS + "svg")
        if svg is None or svg.find(NS + "title").text != f"Histogram of {name}":
            continue
        labels = ["".join(t.itertext()) for t in svg.iter(NS + "text")]
        note = "".join(figure.find("p").itertext())
        if svg.find(f"{NS}rect[@class='mass']") is None or \
                f"{low:g}: {count:,} iterations" not in labels or \
                f"The {count:,} iterations at exactly {low:g} are drawn" not in note:
            return [f"the {count} iterations of {name} at {low:g} are not drawn as a labelled "
                    f"bar, or the note does not say so: {note!r}"]
        return []
    return [f"no histogram of {name}"]


if __name__ == "__main__":
    sys.exit(main())
