"""velmsim's HTML report: well-formed (it is written as XML-compatible
HTML), self-contained (no scripts, no external resources) and with the four
charts for every output, and the drivers chart for every output that has
contingency drivers; the page of velmsim compare likewise, with its two
charts per output; a correlated model's page with its target and achieved
matrices. Usage: check_html.py VELMSIM MODEL"""
import json
import os
import re
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

SVG = "{http://www.w3.org/2000/svg}svg"


def main():
    velmsim, model = sys.argv[1], sys.argv[2]
    failures = check(velmsim, model)
    failures += check(velmsim, os.path.join(os.path.dirname(model), "warehouse-correlated.toml"))
    # Names and formulas are the user's text: markup characters in them must
    # not break the page.
    with tempfile.TemporaryDirectory() as scratch:
        odd = os.path.join(scratch, "odd.toml")
        with open(odd, "w", encoding="utf-8") as f:
            f.write('[model]\nname = "R&D <phase 1> \\"fit-out\\""\ncurrency = "<GBP>"\n'
                    'base = 2\n[inputs]\na = { dist = "uniform", min = 1, max = 2 }\n'
                    '[outputs]\nx = "a < 1.5 && a > 1.1 ? a : 2 * a"\n')
        failures += check(velmsim, odd)
        odd_b = os.path.join(scratch, "odd_b.toml")
        with open(odd, encoding="utf-8") as f:
            text = f.read()
        with open(odd_b, "w", encoding="utf-8") as f:
            f.write(text.replace('x = "a < 1.5 && a > 1.1 ? a : 2 * a"',
                                 'x = "(a < 1.5 && a > 1.1 ? a : 2 * a) * a"'))
        failures += check_compare(velmsim, odd, odd_b)
    print("HTML report: " + ("FAILED" if failures else "ok"))
    return 1 if failures else 0


def well_formed(where, text):
    """The page as XML, and the failures of a self-contained page."""
    try:
        root = ET.fromstring(text.replace("<!DOCTYPE html>", "", 1))
    except ET.ParseError as e:
        print(f"FAILED: {where}: not well-formed: {e}")
        return None, [str(e)]
    failures = []
    if root.find(".//script") is not None:
        failures.append("has a script")
    if re.search(r'(src|href)\s*=\s*"(https?:)?//', text) or "url(" in text:
        failures.append("refers to an external resource")
    return root, failures


def check_compare(velmsim, a, b):
    with tempfile.TemporaryDirectory() as scratch:
        page = os.path.join(scratch, "compare.html")
        subprocess.run([velmsim, "compare", a, b, "--html", page], check=True,
                       stdout=subprocess.DEVNULL)
        with open(page, encoding="utf-8") as f:
            text = f.read()
    root, failures = well_formed("compare", text)
    if root is None:
        return failures
    charts = [svg.get("data-chart") for svg in root.iter(SVG)]
    if charts != ["s-curves", "histogram"]:
        failures.append(f"charts {charts}, not an S-curve pair and a histogram")
    if [s.find("h2").text for s in root.findall(".//section")] != ["Output x"]:
        failures.append("one section for the output x is missing")
    for message in failures:
        print(f"FAILED: compare: {message}")
    return failures


def check(velmsim, model):
    with tempfile.TemporaryDirectory() as scratch:
        page = os.path.join(scratch, "report.html")
        json_file = os.path.join(scratch, "report.json")
        subprocess.run([velmsim, model, "--html", page, "--json", json_file],
                       check=True, stdout=subprocess.DEVNULL)
        with open(page, encoding="utf-8") as f:
            text = f.read()
        with open(json_file, encoding="utf-8") as f:
            report = json.load(f)["outputs"]
        outputs = [o["name"] for o in report]
        # A chart when some driver has a P80 allocation.
        with_drivers = sum(1 for o in report
                           if any(d["p80_allocation"] is not None for d in o["contingency_drivers"]))
        with open(json_file, encoding="utf-8") as f:
            correlation = json.load(f)["correlation"]
    failures = []
    try:
        root = ET.fromstring(text.replace("<!DOCTYPE html>", "", 1))
    except ET.ParseError as e:
        print(f"FAILED: {model}: not well-formed: {e}")
        return [str(e)]
    if root.find(".//script") is not None:
        failures.append("has a script")
    if re.search(r'(src|href)\s*=\s*"(https?:)?//', text) or "url(" in text:
        failures.append("refers to an external resource")
    charts = [svg.get("data-chart") for svg in root.iter(SVG)]
    for kind in ("s-curve", "histogram", "tornado", "convergence"):
        if charts.count(kind) != len(outputs):
            failures.append(f"{charts.count(kind)} {kind} charts for {len(outputs)} outputs")
    if charts.count("drivers") != with_drivers:
        failures.append(f"{charts.count('drivers')} drivers charts for {with_drivers} outputs with drivers")
    if correlation is not None:
        k = len(correlation["inputs"])
        matrices = [t for t in root.iter("table") if t.get("class") == "matrix"]
        if len(matrices) != 2 or any(len(t.findall(".//td")) != k * k for t in matrices):
            failures.append(f"not the target and achieved {k} x {k} matrices")
    sections = root.findall(".//section")
    if [s.find("h2").text for s in sections] != [f"Output {n}" for n in outputs]:
        failures.append("one section per output, in order, is missing")
    for message in failures:
        print(f"FAILED: {model}: {message}")
    return failures


if __name__ == "__main__":
    sys.exit(main())
