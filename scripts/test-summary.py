#!/usr/bin/env python3
"""Sums the GoogleTest XML reports of each build folder and prints the counts."""
import glob
import sys
import xml.etree.ElementTree as ET

total_passed = total_failed = total_skipped = 0
missing = False
for build in sys.argv[1:]:
    passed = failed = skipped = 0
    reports = sorted(glob.glob(f"{build}/test-results/*.xml"))
    for report in reports:
        root = ET.parse(report).getroot()
        for case in root.iter("testcase"):
            if case.find("failure") is not None:
                failed += 1
            elif case.get("result") == "skipped" or case.find("skipped") is not None:
                skipped += 1
            else:
                passed += 1
    if not reports:
        missing = True
    print(f"{build.removeprefix('build/')}: {passed} passed, {failed} failed, {skipped} skipped"
          f" ({len(reports)} test programs)")
    total_passed += passed
    total_failed += failed
    total_skipped += skipped
print(f"{total_passed} passed, {total_failed} failed, {total_skipped} skipped")
sys.exit(1 if total_failed or missing else 0)
