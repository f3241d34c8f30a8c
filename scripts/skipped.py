#!/usr/bin/env python3
"""Names the skipped tests of CTest's JUnit reports, each with the reason
its probe printed last ("skipped: ..."), or "none"."""
import sys
import xml.etree.ElementTree as ET

skipped = []
for path in sys.argv[1:]:
    try:
        suite = ET.parse(path).getroot()
    except (OSError, ET.ParseError):
        skipped.append(f"{path} (no report)")
        continue
    where = " under the sanitizers" if "asan" in path else ""
    for case in suite.iter("testcase"):
        if case.find("skipped") is None:
            continue
        out = case.findtext("system-out") or ""
        reasons = [l[len("skipped: "):] for l in out.splitlines() if l.startswith("skipped: ")]
        skipped.append(f"{case.get('name')}{where} ({reasons[-1] if reasons else 'not run'})")
print(", ".join(skipped) or "none")
