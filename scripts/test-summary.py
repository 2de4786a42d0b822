#!/usr/bin/env python3
"""Sums the GoogleTest XML reports of each build folder and prints the counts.

A folder whose step could not run on this machine holds a file `not-run` with the
reason, printed instead of counts; a folder of a step that counts itself (valgrind)
holds its counts in `result`.
Folders of neither kind that have no reports count as missing, which fails the run."""
import glob
import os
import sys
import xml.etree.ElementTree as ET

total_passed = total_failed = total_skipped = 0
missing = False
for build in sys.argv[1:]:
    name = build.removeprefix("build/")
    if os.path.exists(f"{build}/not-run"):
        with open(f"{build}/not-run") as reason:
            print(f"{name}: not run: {reason.read().strip()}")
        continue
    if os.path.exists(f"{build}/result"):
        with open(f"{build}/result") as result:
            print(f"{name}: {result.read().strip()}")
        continue
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
    print(f"{name}: {passed} passed, {failed} failed, {skipped} skipped ({len(reports)} test programs)")
    total_passed += passed
    total_failed += failed
    total_skipped += skipped
print(f"{total_passed} passed, {total_failed} failed, {total_skipped} skipped")
sys.exit(1 if total_failed or missing else 0)
