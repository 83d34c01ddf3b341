"""velmsim's HTML report: well-formed (it is written as XML-compatible
HTML), self-contained (no scripts, no external resources) and with the four
charts for every output. Usage: check_html.py VELMSIM MODEL"""
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
    with tempfile.TemporaryDirectory() as scratch:
        page = os.path.join(scratch, "report.html")
        json_file = os.path.join(scratch, "report.json")
        subprocess.run([velmsim, model, "--html", page, "--json", json_file],
                       check=True, stdout=subprocess.DEVNULL)
        with open(page, encoding="utf-8") as f:
            text = f.read()
        with open(json_file, encoding="utf-8") as f:
            outputs = [o["name"] for o in json.load(f)["outputs"]]
    failures = []
    try:
        root = ET.fromstring(text.replace("<!DOCTYPE html>", "", 1))
    except ET.ParseError as e:
        print(f"FAILED: not well-formed: {e}")
        return 1
    if root.find(".//script") is not None:
        failures.append("has a script")
    if re.search(r'(src|href)\s*=\s*"(https?:)?//', text) or "url(" in text:
        failures.append("refers to an external resource")
    charts = [svg.get("data-chart") for svg in root.iter(SVG)]
    for kind in ("s-curve", "histogram", "tornado", "convergence"):
        if charts.count(kind) != len(outputs):
            failures.append(f"{charts.count(kind)} {kind} charts for {len(outputs)} outputs")
    sections = root.findall(".//section")
    if [s.find("h2").text for s in sections] != [f"Output {n}" for n in outputs]:
        failures.append("one section per output, in order, is missing")
    for message in failures:
        print("FAILED:", message)
    print("HTML report: " + ("FAILED" if failures else "ok"))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
